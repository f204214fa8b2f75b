// A few phases of the MCU, FPGA and GNSS procedures over USB with one fault
// each (the instrument leaves a request unanswered): every case must end in
// the component's failure line, never "completed", with nothing recorded as
// written that the instrument did not take.

#include <gtest/gtest.h>

#include "catalog/firmware_version.h"
#include "sim/instrument_model.h"
#include "sim/usb_front_end.h"
#include "support/recording_platform.h"
#include "support/temp_folder.h"
#include "support/text_count.h"
#include "update/component_sequence.h"
#include "update/fpga_update.h"
#include "usb/fake_usb_host.h"

namespace vesk {
namespace {

using test::RecordingPlatform;
using test::TempFolder;

// The instrument's commands, numbered as the model counts them.
enum Command : int32_t {
  kIdentity = 5,
  kFpgaStart = 22,
  kDataBlock = 23,
  kFlashBlock = 26,
  kGnssProbe = 29,
  kGnssPacket = 30,
};

struct UsbFaultCase {
  const char* Name;
  UpdateComponent Component;
  int32_t Command;
  int Occurrence;
  int Attempts;
};

constexpr int kMcuBlocks = 3;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 11);
  return bytes;
}

class UsbFaultMatrixTest : public testing::TestWithParam<UsbFaultCase> {};

TEST_P(UsbFaultMatrixTest, UnansweredRequestEndsInTheFailureLine) {
  const UsbFaultCase& c = GetParam();
  sim::InstrumentOptions options;
  options.Ident.McuVersion = PackVersion(0, 55, 61);  // new enough for fast mode
  options.Ident.FpgaVersion = PackVersion(0, 55, 30);
  options.Faults[c.Command].Silent = true;
  options.Faults[c.Command].FromOccurrence = c.Occurrence;
  sim::InstrumentModel model(options);
  sim::UsbInstrument instrument(model);
  test::FakeUsbHost host;
  ScopedUsbHost scope(host);
  host.Add({1, 4, 0x04B4, 0x00F0}, instrument.Controller());

  TempFolder folder;
  std::string path;
  switch (c.Component) {
    case UpdateComponent::MCU:
      path = folder.Write("T70_R4_0.55.61.bin", Pattern(16384 + 128 * kMcuBlocks, 1));
      break;
    case UpdateComponent::FPGA:
      path = folder.Write("T70_R4_0.55.30.rpd", Pattern(3000, 2));
      break;
    case UpdateComponent::GNSS:
      path = folder.Write("GNSS_1.2.bin", Pattern(196 * 3, 3));
      break;
  }
  RecordingPlatform platform;
  const ComponentDispatcher dispatcher(platform, 0);
  EXPECT_NE(RunComponentUpdate(dispatcher, c.Component, path), kResultOk);

  const std::string name = DisplayName(c.Component);
  const std::string out = platform.OutText();
  EXPECT_EQ(out.find(name + " firmware update completed"), std::string::npos) << out;
  EXPECT_EQ(test::CountOccurrences(out, name + " firmware update failed: "),
            static_cast<size_t>(c.Attempts))
      << out;
  EXPECT_EQ(host.OpenHandles, 0) << "every attempt closes its link";

  switch (c.Component) {
    case UpdateComponent::MCU:
      for (const auto& download : model.FlashDownloads()) {
        if (c.Command == kFlashBlock) {
          EXPECT_LT(download.Blocks.size(), static_cast<size_t>(c.Occurrence));
        }
      }
      break;
    case UpdateComponent::FPGA:
      EXPECT_EQ(model.FpgaImage().size(), kFpgaPacketSize * static_cast<size_t>(c.Occurrence - 1));
      break;
    case UpdateComponent::GNSS:
      EXPECT_LE(model.GnssBody().size(), 196u * static_cast<size_t>(c.Occurrence - 1));
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Phases, UsbFaultMatrixTest,
    testing::Values(UsbFaultCase{"McuFinalIdentity", UpdateComponent::MCU, kIdentity, 3, 3},
                    UsbFaultCase{"McuFirstBlock", UpdateComponent::MCU, kFlashBlock, 1, 3},
                    UsbFaultCase{"McuLastBlock", UpdateComponent::MCU, kFlashBlock, kMcuBlocks, 3},
                    UsbFaultCase{"FpgaStart", UpdateComponent::FPGA, kFpgaStart, 1, 1},
                    UsbFaultCase{"FpgaMiddleBlock", UpdateComponent::FPGA, kDataBlock, 10000, 1},
                    UsbFaultCase{"GnssProbe", UpdateComponent::GNSS, kGnssProbe, 1, 3},
                    UsbFaultCase{"GnssMiddlePacket", UpdateComponent::GNSS, kGnssPacket, 2, 3}),
    [](const testing::TestParamInfo<UsbFaultCase>& info) { return info.param.Name; });

}  // namespace
}  // namespace vesk
