// One fault at each phase of the MCU, FPGA and GNSS procedures over
// Ethernet, against the simulated instrument at its fixed address: a refused
// connection, a wrong status, a dropped connection or a missing reply. Every
// case must end with the component's failure line (never "completed"),
// within a bound derived from the link's deadlines, and the instrument must
// hold no more than it accepted.

#include <gtest/gtest.h>

#include <chrono>

#include "catalog/firmware_version.h"
#include "sim/ethernet_front_end.h"
#include "sim/instrument_model.h"
#include "support/recording_platform.h"
#include "support/temp_folder.h"
#include "support/text_count.h"
#include "update/component_sequence.h"
#include "update/fpga_update.h"

namespace vesk {
namespace {

using std::chrono::seconds;
using test::RecordingPlatform;
using test::TempFolder;

// Ethernet command identifiers as the instrument counts them.
enum Command : int32_t {
  kHandshake = 1,
  kClose = 2,
  kIdentity = 5,
  kFpgaEnd = 20,
  kStatusByte = 21,
  kFpgaStart = 22,
  kDataBlock = 23,
  kFlashErase = 25,
  kFlashBlock = 26,
  kFlashFinish = 27,
  kRestartIntoIap = 28,
  kGnssProbe = 29,
  kGnssPacket = 30,
};

enum class Fault { NotListening, Status, Drop, Silent };

struct FaultCase {
  const char* Name;
  UpdateComponent Component;
  Fault Kind;
  int32_t Command = 0;
  int Occurrence = 1;
  int Attempts = 1;  // failure lines expected before the component gives up
};

constexpr int kMcuBlocks = 3;
constexpr int kGnssPackets = 3;
constexpr uint32_t kFpgaBlocks = (kFpgaImageSize + kFpgaPacketSize - 1) / kFpgaPacketSize;
// Every attempt may wait out at most a few 10-second link deadlines: the
// connect attempts (5 x 2 s) and one missing reply (10 s).
constexpr seconds kBoundPerAttempt{25};

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 13);
  return bytes;
}

class FaultMatrixTest : public testing::TestWithParam<FaultCase> {};

TEST_P(FaultMatrixTest, EndsInTheFailureLineWithNothingFalselyWritten) {
  const FaultCase& c = GetParam();
  TempFolder folder;
  sim::InstrumentOptions options;
  options.Ident.McuVersion = PackVersion(0, 55, 56);
  options.Ident.FpgaVersion = PackVersion(0, 55, 22);
  if (c.Kind != Fault::NotListening) {
    sim::CommandFault& fault = options.Faults[c.Command];
    fault.FromOccurrence = c.Occurrence;
    if (c.Kind == Fault::Status) fault.Status = -77;
    if (c.Kind == Fault::Drop) fault.Drop = true;
    if (c.Kind == Fault::Silent) fault.Silent = true;
  }
  sim::InstrumentModel model(options);
  sim::EthernetInstrument instrument(model);
  if (c.Kind != Fault::NotListening) {
    std::string why;
    ASSERT_TRUE(instrument.Start("192.168.1.100", 5000, &why)) << why;
  }

  std::string path;
  switch (c.Component) {
    case UpdateComponent::MCU:  // embedded boot image, then three blocks of application
      path = folder.Write("T70_R4_0.55.61.bin", Pattern(16384 + 128 * kMcuBlocks, 1));
      break;
    case UpdateComponent::FPGA:
      path = folder.Write("T70_R4_0.55.30.rpd", Pattern(5000, 2));
      break;
    case UpdateComponent::GNSS:  // no header, three packets
      path = folder.Write("GNSS_1.2.bin", Pattern(196 * kGnssPackets, 3));
      break;
  }

  RecordingPlatform platform;
  const ComponentDispatcher dispatcher(platform, 0);
  const auto start = std::chrono::steady_clock::now();
  ResultCode result = RunComponentUpdate(dispatcher, c.Component, path);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  instrument.Stop();

  const std::string name = DisplayName(c.Component);
  const std::string out = platform.OutText();
  EXPECT_NE(result, kResultOk);
  EXPECT_EQ(out.find(name + " firmware update completed"), std::string::npos) << out;
  EXPECT_EQ(test::CountOccurrences(out, name + " firmware update failed: "),
            static_cast<size_t>(c.Attempts))
      << out;
  EXPECT_LT(elapsed, kBoundPerAttempt * c.Attempts);

  // The instrument holds nothing beyond what it accepted.
  switch (c.Component) {
    case UpdateComponent::MCU:
      for (const auto& download : model.FlashDownloads()) {
        EXPECT_LE(download.Blocks.size(), static_cast<size_t>(kMcuBlocks));
        if (c.Command == kFlashBlock) {
          EXPECT_LT(download.Blocks.size(), static_cast<size_t>(c.Occurrence));
        }
      }
      break;
    case UpdateComponent::FPGA:
      if (c.Command == kDataBlock) {
        EXPECT_EQ(model.FpgaImage().size(), kFpgaPacketSize * static_cast<size_t>(c.Occurrence - 1));
      }
      EXPECT_LE(model.FpgaImage().size(), static_cast<size_t>(kFpgaImageSize));
      break;
    case UpdateComponent::GNSS:
      if (c.Command == kGnssPacket) {
        // Packets before the faulty one, from the first attempt only.
        EXPECT_EQ(model.GnssBody().size(), 196u * static_cast<size_t>(c.Occurrence - 1));
      }
      break;
  }
}

constexpr UpdateComponent kMcu = UpdateComponent::MCU;
constexpr UpdateComponent kFpga = UpdateComponent::FPGA;
constexpr UpdateComponent kGnss = UpdateComponent::GNSS;

INSTANTIATE_TEST_SUITE_P(
    Phases, FaultMatrixTest,
    testing::Values(
        FaultCase{"McuConnect", kMcu, Fault::NotListening, 0, 1, 3},
        FaultCase{"McuHandshake", kMcu, Fault::Status, kHandshake, 1, 3},
        FaultCase{"McuIdentityDropped", kMcu, Fault::Drop, kIdentity, 1, 3},
        FaultCase{"McuRestart", kMcu, Fault::Status, kRestartIntoIap, 1, 3},
        FaultCase{"McuEraseMissingReply", kMcu, Fault::Silent, kFlashErase, 1, 3},
        FaultCase{"McuFirstBlock", kMcu, Fault::Status, kFlashBlock, 1, 3},
        FaultCase{"McuMiddleBlockDropped", kMcu, Fault::Drop, kFlashBlock, 2, 3},
        FaultCase{"McuLastBlock", kMcu, Fault::Status, kFlashBlock, kMcuBlocks, 3},
        FaultCase{"McuFinish", kMcu, Fault::Status, kFlashFinish, 1, 3},
        // The identification after the download (the third identity read).
        FaultCase{"McuFinalIdentity", kMcu, Fault::Status, kIdentity, 3, 3},
        FaultCase{"FpgaConnect", kFpga, Fault::NotListening},
        FaultCase{"FpgaHandshake", kFpga, Fault::Status, kHandshake},
        FaultCase{"FpgaStart", kFpga, Fault::Status, kFpgaStart},
        FaultCase{"FpgaEraseDropped", kFpga, Fault::Drop, kStatusByte},
        FaultCase{"FpgaFirstBlock", kFpga, Fault::Status, kDataBlock, 1},
        FaultCase{"FpgaMiddleBlockDropped", kFpga, Fault::Drop, kDataBlock, 10000},
        FaultCase{"FpgaLastBlock", kFpga, Fault::Status, kDataBlock, static_cast<int>(kFpgaBlocks)},
        FaultCase{"FpgaEndMissingReply", kFpga, Fault::Silent, kFpgaEnd},
        FaultCase{"FpgaClose", kFpga, Fault::Status, kClose},
        FaultCase{"GnssConnect", kGnss, Fault::NotListening, 0, 1, 3},
        FaultCase{"GnssHandshake", kGnss, Fault::Status, kHandshake, 1, 3},
        FaultCase{"GnssIdentity", kGnss, Fault::Status, kIdentity, 1, 1},  // refused: -301
        FaultCase{"GnssProbe", kGnss, Fault::Status, kGnssProbe, 1, 3},
        FaultCase{"GnssFirstPacket", kGnss, Fault::Status, kGnssPacket, 1, 3},
        FaultCase{"GnssMiddlePacketDropped", kGnss, Fault::Drop, kGnssPacket, 2, 3},
        FaultCase{"GnssLastPacket", kGnss, Fault::Status, kGnssPacket, kGnssPackets, 3},
        FaultCase{"GnssClose", kGnss, Fault::Status, kClose, 1, 3}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.Name; });

}  // namespace
}  // namespace vesk
