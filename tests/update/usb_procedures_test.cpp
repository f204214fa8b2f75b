// The MCU, FPGA and GNSS procedures against the simulated USB instrument on
// an in-memory USB host: the FX3 controller records every request packet
// and how it travelled (control requests or fast-mode packets), and the
// instrument model records what was written, compared byte for byte with
// what the files prescribe. The console and the waits are recorded.

#include <gtest/gtest.h>

#include <cstdio>

#include "bus/bus.h"
#include "catalog/firmware_version.h"
#include "common/byte_order.h"
#include "sim/instrument_model.h"
#include "sim/usb_front_end.h"
#include "support/recording_platform.h"
#include "support/temp_folder.h"
#include "update/fpga_update.h"
#include "update/gnss_update.h"
#include "update/mcu_update.h"
#include "usb/fake_usb_host.h"

namespace vesk {
namespace {

using std::chrono::milliseconds;
using Pauses = std::vector<milliseconds>;
using test::RecordingPlatform;
using test::TempFolder;

constexpr size_t kBootSize = 16384;
constexpr size_t kFlashBlock = 128;
constexpr uint8_t kExchangeRequest = 0x02;  // class request carrying a request with its wait

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                              bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

// A flash region as the blocks carry it: zero-filled to whole blocks.
std::vector<uint8_t> AsBlocks(std::vector<uint8_t> region) {
  region.resize((region.size() + kFlashBlock - 1) / kFlashBlock * kFlashBlock, 0);
  return region;
}

// The instructions in arrival order: the code in hex, ".N" with the
// parameter of a restart, "*" when it came as a fast-mode packet; runs of
// the same item folded ("01x33").
std::string Trace(const sim::Fx3Instrument& fx3) {
  std::vector<sim::InstructionRequest> requests = fx3.Instructions();
  std::vector<bool> fast = fx3.FastInstructions();
  std::vector<std::pair<std::string, int>> runs;
  for (size_t i = 0; i < requests.size(); ++i) {
    char text[16];
    std::snprintf(text, sizeof(text), "%02X", requests[i][0]);
    std::string item = text;
    if (requests[i][0] == 0xF7) item += "." + std::to_string(GetLe16(&requests[i][1]));
    if (fast[i]) item += "*";
    if (!runs.empty() && runs.back().first == item) {
      ++runs.back().second;
    } else {
      runs.push_back({item, 1});
    }
  }
  std::string trace;
  for (const auto& [item, count] : runs) {
    if (!trace.empty()) trace += " ";
    trace += item;
    if (count > 1) trace += "x" + std::to_string(count);
  }
  return trace;
}

// The waits that control-mode exchanges asked of the instrument, with the
// instruction each carried: "09:2000".
std::vector<std::string> ExchangeWaits(const sim::Fx3Instrument& fx3) {
  std::vector<std::string> waits;
  for (const auto& control : fx3.ControlRequests()) {
    if (control.Setup.RequestType != 0x20 || control.Setup.Request != kExchangeRequest) continue;
    char text[24];
    std::snprintf(text, sizeof(text), "%02X:%u", control.Data.empty() ? 0 : control.Data[0],
                  unsigned{control.Setup.Value});
    waits.push_back(text);
  }
  return waits;
}

// One USB instrument on the in-memory host that stands in for the process's
// USB host.
class UsbProcedureTest : public testing::Test {
 protected:
  void Attach(const sim::InstrumentOptions& options) {
    model_ = std::make_unique<sim::InstrumentModel>(options);
    instrument_ = std::make_unique<sim::UsbInstrument>(*model_);
    host_.Add({1, 4, 0x04B4, 0x00F0}, instrument_->Controller());
  }
  const sim::Fx3Instrument& Fx3() { return instrument_->Controller(); }

  TempFolder folder_;
  RecordingPlatform platform_;
  test::FakeUsbHost host_;
  ScopedUsbHost scope_{host_};
  std::unique_ptr<sim::InstrumentModel> model_;
  std::unique_ptr<sim::UsbInstrument> instrument_;
};

struct McuCase {
  const char* Name;
  uint32_t Installed;
  const char* FileVersion;
  size_t FileSize;
  // The regions written, as (offset, size) in the firmware file; offset -1:
  // the separate boot image file.
  std::vector<std::pair<int64_t, size_t>> Regions;
  const char* Trace;
  std::vector<std::string> Waits;
};

class UsbMcuTest : public UsbProcedureTest, public testing::WithParamInterface<McuCase> {};

TEST_P(UsbMcuTest, RestartsIntoProgrammingModeAndWritesEachRegionByteForByte) {
  const McuCase& c = GetParam();
  sim::InstrumentOptions options;
  options.Ident.McuVersion = c.Installed;
  Attach(options);
  const std::vector<uint8_t> file = Pattern(c.FileSize, 3);
  const std::vector<uint8_t> boot = Pattern(kBootSize - 1000, 91);
  folder_.Write("IAP_BOOT_RBK.bin", boot);
  const std::string path = folder_.Write(std::string("MCU_K_") + c.FileVersion + ".bin", file);

  ASSERT_EQ(RunMcuUpdate(platform_, 0, path), kResultOk) << platform_.OutText();

  std::vector<sim::FlashDownload> downloads = model_->FlashDownloads();
  ASSERT_EQ(downloads.size(), c.Regions.size());
  for (size_t i = 0; i < downloads.size(); ++i) {
    auto [offset, size] = c.Regions[i];
    std::vector<uint8_t> region =
        offset < 0 ? boot : Slice(file, static_cast<size_t>(offset), static_cast<size_t>(offset) + size);
    EXPECT_EQ(downloads[i].Written(), AsBlocks(region)) << "region " << i;
    EXPECT_TRUE(downloads[i].Finished);
    for (size_t b = 0; b < downloads[i].Blocks.size(); ++b) {
      ASSERT_EQ(downloads[i].Blocks[b].Sequence, static_cast<uint8_t>(b + 1));
    }
  }
  EXPECT_EQ(Trace(Fx3()), c.Trace);
  EXPECT_EQ(ExchangeWaits(Fx3()), c.Waits);
  EXPECT_EQ(host_.OpenHandles, 0) << "the procedure closes its link";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbMcuTest,
    testing::Values(
        // A current instrument: the first readings switch to fast mode; every
        // reopen after a restart is back in control-request mode, and only
        // the last reading switches again.
        McuCase{"CurrentBootEmbeddedLayout", PackVersion(0, 55, 61), "0.55.61", kBootSize + 4096,
                {{kBootSize, 4096}},
                "0B 09 F7.0* 09* F7.1* F7.0 F7.1 0C 31 01x33 04 33 09",
                {"09:2000", "31:1000", "01:10000", "04:1000", "33:1000", "09:2000"}},
        // An old boot loader: the boot image is the file's first 16 KiB. The
        // instrument is too old for fast mode, so all goes in control requests.
        McuCase{"OldBootEmbeddedLayout", PackVersion(0, 30, 5), "0.55.61", kBootSize + 300,
                {{0, kBootSize}, {kBootSize, 300}},
                "0B 09 F7.0 09 F7.1 0C 31 01x129 04 33 F7.0 F7.1 0C 31 01x4 04 33 09",
                {"09:2000", "09:2000", "31:1000", "01:10000", "04:1000", "33:1000", "31:1000",
                 "01:10000", "04:1000", "33:1000", "09:2000"}},
        // An old boot loader and a file without its own boot image: the boot
        // image comes from the separate boot file beside it.
        McuCase{"OldBootSeparateBootFile", PackVersion(0, 30, 5), "0.55.40", 129, {{-1, 0}, {0, 129}},
                "0B 09 F7.0 09 F7.1 0C 31 01x122 04 33 F7.0 F7.1 0C 31 01x3 04 33 09",
                {"09:2000", "09:2000", "31:1000", "01:10000", "04:1000", "33:1000", "31:1000",
                 "01:10000", "04:1000", "33:1000", "09:2000"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(UsbProcedureTest, McuUpdateWaitsTheFixedTimesOfTheRestartsAndTheProgrammingSwitch) {
  Attach({});
  const std::string path = folder_.Write("MCU_K_0.55.61.bin", Pattern(kBootSize + 256, 1));
  ASSERT_EQ(RunMcuUpdate(platform_, 0, path), kResultOk);
  EXPECT_EQ(platform_.Pauses(),
            (Pauses{milliseconds(10), milliseconds(1500), milliseconds(100), milliseconds(860),
                    milliseconds(2000), milliseconds(100), milliseconds(50), milliseconds(5000)}));
}

TEST_F(UsbProcedureTest, InstrumentThatDoesNotComeBackAfterTheRestartGives302) {
  sim::InstrumentOptions options;
  options.RefuseAfterRestart = milliseconds(60000);  // the recorded waits take no time
  Attach(options);
  const std::string path = folder_.Write("MCU_K_0.55.61.bin", Pattern(kBootSize + 256, 1));
  EXPECT_EQ(RunMcuUpdate(platform_, 0, path), kResultNoReturnAfterRestart);
  EXPECT_TRUE(model_->FlashDownloads().empty());
  EXPECT_EQ(host_.OpenHandles, 0);
}

TEST_F(UsbProcedureTest, FpgaImageStreamsInControlRequestsAndIsRecordedWhole) {
  Attach({});
  const std::vector<uint8_t> raw = Pattern(1000000, 5);
  const std::string path = folder_.Write("FPGA_K_0.55.40.rpd", raw);

  ASSERT_EQ(RunFpgaUpdate(platform_, 0, path), kResultOk) << platform_.OutText();

  std::vector<uint8_t> image = raw;
  image.resize(kFpgaImageSize, 0xFF);
  EXPECT_EQ(model_->FpgaImage(), image);
  EXPECT_EQ(model_->FpgaStarts(), 1);
  EXPECT_EQ(model_->FpgaEnds(), 1);
  // No device-information read: the link stays in control-request mode.
  const std::string trace = Trace(Fx3());
  EXPECT_EQ(trace.find('*'), std::string::npos);
  std::vector<sim::InstructionRequest> requests = Fx3().Instructions();
  const size_t blocks = (kFpgaImageSize + kFpgaPacketSize - 1) / kFpgaPacketSize;
  ASSERT_EQ(requests.size(), 1 + 2 * blocks + 1 + 2);
  EXPECT_EQ(trace.substr(0, 9), "FF FE FF ");
  // The last block's end packet, then the FPGA end packet, then the restart.
  EXPECT_EQ(trace.substr(trace.size() - 17), "FE FFx2 F7.0 F7.1");
  EXPECT_EQ(requests.front()[2], 0x01);  // start
  EXPECT_EQ(requests[requests.size() - 3][2], 0x05);  // end
  const sim::InstructionRequest& last = requests[requests.size() - 4];
  EXPECT_EQ(last[0], 0xFF);
  EXPECT_EQ(last[2], 40) << "the last block carries the 40 bytes left";
  EXPECT_EQ(platform_.Pauses(), (Pauses{milliseconds(2000), milliseconds(100), milliseconds(2000)}));
  EXPECT_EQ(host_.OpenHandles, 0);
}

TEST_F(UsbProcedureTest, FpgaStartWithoutAcknowledgeGives21AndSendsNoData) {
  sim::InstrumentOptions options;
  options.Faults[22].Silent = true;  // the start packet is never acknowledged
  options.StatusByte = 0x00;
  Attach(options);
  const std::string path = folder_.Write("FPGA_K_0.55.40.rpd", Pattern(1000, 5));
  EXPECT_EQ(RunFpgaUpdate(platform_, 0, path), kResultNotAcknowledged);
  EXPECT_TRUE(model_->FpgaImage().empty());
  EXPECT_EQ(Trace(Fx3()), "FF");
}

struct GnssCase {
  const char* Name;
  const char* FileName;
  size_t Skip;
  size_t Body;
  std::vector<uint8_t> Flags;
};

class UsbGnssTest : public UsbProcedureTest, public testing::WithParamInterface<GnssCase> {};

TEST_P(UsbGnssTest, SendsTheBodyInFlaggedFastPacketsAfterTheProbe) {
  const GnssCase& c = GetParam();
  Attach({});
  const std::vector<uint8_t> file = Pattern(c.Skip + c.Body, 9);
  const std::string path = folder_.Write(c.FileName, file);

  ASSERT_EQ(RunGnssUpdate(platform_, 0, path), kResultOk) << platform_.OutText();

  EXPECT_EQ(model_->GnssBody(), Slice(file, c.Skip, file.size()));
  EXPECT_EQ(model_->GnssFlags(), c.Flags);
  // The device-information read switches the link to fast mode for the
  // probe and the packets.
  EXPECT_EQ(Trace(Fx3()), "09 24*x" + std::to_string(c.Flags.size() + 1));
  EXPECT_EQ(host_.OpenHandles, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbGnssTest,
    testing::Values(GnssCase{"WholeFileUpTo1_14", "GNSS_K_1.14.bin", 0, 196, {2}},
                    GnssCase{"HeaderSkippedFrom1_15", "GNSS_K_1.15.bin", 10240, 197, {1, 2}},
                    GnssCase{"LongerHeaderOfZFamily", "GNSSZ_1.02.bin", 12288, 1000,
                             {1, 1, 1, 1, 1, 2}}),
    [](const auto& info) { return std::string(info.param.Name); });

// Only a control-request exchange reports how long the reply was (a fast-mode
// read always delivers the full length), so this instrument's MCU firmware is
// too old for fast mode.
TEST_F(UsbProcedureTest, GnssProbeWithoutReceiverRefusesWithoutSendingFirmware) {
  sim::InstrumentOptions options;
  options.Ident.McuVersion = PackVersion(0, 55, 40);
  options.Faults[29].Status = -21;  // no receiver: the probe's reply comes short
  Attach(options);
  const std::string path = folder_.Write("GNSS_K_1.15.bin", Pattern(10240 + 500, 9));
  EXPECT_EQ(RunGnssUpdate(platform_, 0, path), kResultNotAllowed);
  EXPECT_NE(platform_.OutText().find("No gnss, upgrade is not allowed\n"), std::string::npos);
  EXPECT_TRUE(model_->GnssBody().empty());
  EXPECT_EQ(host_.OpenHandles, 0);
}

}  // namespace
}  // namespace vesk
