// An update run over Ethernet from start to end: the program in-process with
// a recording console and no real waits, the instrument simulated at its
// fixed address. What the instrument recorded is compared byte for byte.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/program_entry.h"
#include "catalog/firmware_version.h"
#include "sim/ethernet_front_end.h"
#include "sim/instrument_model.h"
#include "support/recording_platform.h"
#include "support/temp_folder.h"
#include "update/fpga_update.h"

namespace vesk {
namespace {

using test::RecordingPlatform;
using test::TempFolder;

constexpr uint16_t kT70R4 = 54;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

class EthernetRunTest : public testing::Test {
 protected:
  void SetUp() override {
    options_.Ident.ModelCode = kT70R4;
    options_.Ident.Uid = 0xABCDEF0123ull;
    options_.Ident.McuVersion = PackVersion(0, 55, 56);
    options_.Ident.FpgaVersion = PackVersion(0, 55, 22);
    options_.ServerType = 1;  // a VQ unit
    folder_.Write("Settings.ini",
                  "Interface=ETH\nIndex=0\nIP=192.168.1.100\nPort=5000\nTimeOut=10000\n");
    folder_.MakeFolder("data/Firmware");
  }

  // Runs the whole program with `input` typed by the operator.
  int Run(std::vector<const char*> args = {}, const std::string& input = "\n") {
    model_.SetOptions(options_);
    sim::EthernetInstrument instrument(model_);
    std::string why;
    EXPECT_TRUE(instrument.Start("192.168.1.100", 5000, &why)) << why;
    platform_ = std::make_unique<RecordingPlatform>(folder_.Path(), input);
    Program program(*platform_);
    program.HistoryFile = history_;
    args.insert(args.begin(), "vesk-updater");
    int status = RunProgram(program, static_cast<int>(args.size()), args.data());
    instrument.Stop();
    return status;
  }

  std::string Out() const { return platform_->OutText(); }
  // The output after the banner, the notes and the limits sentence.
  std::string RunOutput() const {
    const std::string marker = "defined by the program.\n\n";
    std::string out = Out();
    size_t at = out.find(marker);
    return at == std::string::npos ? out : out.substr(at + marker.size());
  }

  std::optional<std::string> history_;
  sim::InstrumentOptions options_;
  sim::InstrumentModel model_;
  TempFolder folder_;
  std::unique_ptr<RecordingPlatform> platform_;
};

const char kIdentity[] =
    "\n"
    "Device Model: T70_R4\n"
    "Device UID: abcdef0123\n"
    "MCU firmware version: 0.55.56\n"
    "FPGA firmware version: 0.55.22\n"
    "\n";

TEST_F(EthernetRunTest, KtInstrumentIsRefusedByTheBuiltInLimits) {
  options_.ServerType = 0;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(RunOutput(), std::string(kIdentity) +
                             "This device is KT type, which currently does not support firmware "
                             "updates.\n\n"
                             "Press Enter to end");
  // Handshake, server query, identity, close: nothing was written.
  EXPECT_EQ(model_.CommandIds(), (std::vector<int32_t>{1, 102, 5, 2}));
}

TEST_F(EthernetRunTest, SilentServerIsRefusedAsVqzButStillIdentified) {
  options_.ServerType.reset();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(RunOutput(), std::string(kIdentity) +
                             "This device is VQZ type(-1000), which currently does not support "
                             "firmware updates.\n\n"
                             "Press Enter to end");
}

TEST_F(EthernetRunTest, VqOutsideThePermittedClusterIsRefused) {
  options_.Ident.McuVersion = PackVersion(0, 55, 57);
  EXPECT_EQ(Run(), 0);
  EXPECT_NE(Out().find("This device is VQ type, but its current firmware combination is not "
                       "within the permitted update cluster. Therefore, firmware updates are "
                       "temporarily unsupported.\n\nPress Enter to end"),
            std::string::npos);
}

TEST_F(EthernetRunTest, LimitsFileDecidesInsteadOfTheBuiltInTable) {
  options_.ServerType = 0;
  folder_.Write("FirmwareUpdateLimit.csv", "KT\nall,all\n");
  EXPECT_EQ(Run(), kResultNoImages);
  EXPECT_EQ(Out().find("not found"), std::string::npos);
  EXPECT_NE(Out().find("No MCU, FPGA and GNSS firmware is available\n\nPress Enter to end"),
            std::string::npos);
}

TEST_F(EthernetRunTest, NoLimitSkipsEveryRefusal) {
  options_.ServerType = 2;
  EXPECT_EQ(Run({"nolimit"}), kResultNoImages);
  EXPECT_EQ(Out().find("does not support"), std::string::npos);
}

TEST_F(EthernetRunTest, TooOldFirmwareEndsTheRunBeforeAnythingIsWritten) {
  options_.Ident.FpgaVersion = PackVersion(0, 53, 20);
  options_.Ident.McuVersion = PackVersion(0, 55, 10);
  EXPECT_EQ(Run(), kResultFpgaTooOld);
  EXPECT_NE(Out().find("FPGA Firmware is too old to update\n\nPress Enter to end"),
            std::string::npos);
  EXPECT_EQ(model_.CommandIds(), (std::vector<int32_t>{1, 102, 5, 2}));
}

TEST_F(EthernetRunTest, GnssOnlyPromptHasNoEmptyLineBeforeIt) {
  folder_.Write("data/Firmware/GNSS_1.14.bin", Pattern(500, 3));
  EXPECT_EQ(Run(), kResultNoMcuFpgaImage);
  EXPECT_NE(Out().find("FPGA firmware version: 0.55.22\n\nPress Enter to try updating GNSS "
                       "firmware\nReady to update GNSS firmware, please wait...\n"),
            std::string::npos);
  EXPECT_EQ(model_.GnssBody(), Pattern(500, 3));
  EXPECT_NE(Out().find("GNSS firmware update completed\n\nNo MCU and FPGA firmware is "
                       "available\n\nPress Enter to end"),
            std::string::npos);
}

TEST_F(EthernetRunTest, FullUpdateWritesEveryImageByteForByte) {
  const std::vector<uint8_t> mcu = Pattern(16384 + 1000, 1);
  const std::vector<uint8_t> fpga = Pattern(1000000, 2);
  const std::vector<uint8_t> gnss = Pattern(10240 + 400, 5);
  folder_.Write("data/Firmware/T70_R4_0.55.61.bin", mcu);
  folder_.Write("data/Firmware/T70_R4_0.55.30.rpd", fpga);
  folder_.Write("data/Firmware/GNSS_2.1.bin", gnss);

  EXPECT_EQ(Run(), 0);
  EXPECT_NE(Out().find("New MCU firmware version: 0.55.61\n"
                       "New FPGA firmware version: 0.55.30\n"
                       "\n"
                       "Press Enter to update firmware\n"),
            std::string::npos);
  // MCU, then GNSS (the new MCU image speaks to the receiver), then FPGA.
  for (const char* outcome : {"MCU firmware update completed\n\nReady to update GNSS",
                              "GNSS firmware update completed\n\nReady to update FPGA",
                              "FPGA firmware update completed\n\nPress Enter to end"}) {
    EXPECT_NE(Out().find(outcome), std::string::npos) << outcome;
  }

  // The MCU application is everything after the embedded 16 KiB boot image.
  const std::vector<uint8_t> application(mcu.begin() + 16384, mcu.end());
  auto downloads = model_.FlashDownloads();
  ASSERT_EQ(downloads.size(), 1u);
  EXPECT_EQ(downloads[0].Region, application);
  EXPECT_EQ(downloads[0].Written(), application);
  EXPECT_TRUE(downloads[0].Finished);

  std::vector<uint8_t> image = fpga;
  image.resize(kFpgaImageSize, 0xFF);
  EXPECT_EQ(model_.FpgaImage(), image);
  EXPECT_EQ(model_.FpgaStarts(), 1);
  EXPECT_EQ(model_.FpgaEnds(), 1);

  EXPECT_EQ(model_.GnssBody(), std::vector<uint8_t>(gnss.begin() + 10240, gnss.end()));
  EXPECT_EQ(model_.GnssFlags(), (std::vector<uint8_t>{1, 1, 2}));
}

TEST_F(EthernetRunTest, FailingFpgaIsReportedNeverAsSuccess) {
  folder_.Write("data/Firmware/T70_R4_0.55.30.rpd", Pattern(1000, 2));
  options_.Faults[23].Status = -5;  // every data block refused
  EXPECT_EQ(Run(), kResultFpgaFailed);
  EXPECT_EQ(Out().find("FPGA firmware update completed"), std::string::npos);
  EXPECT_NE(Out().find("\n\nFPGA firmware update failed: -8\nPlease reconnect the data cable of "
                       "the device and restart Updater.\n\nFPGA firmware update failed.\n\n"),
            std::string::npos)
      << Out();
}

// The SHA-256 as the system's own tool computes it.
std::string Sha256Sum(const std::string& path) {
  std::string command = "sha256sum '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  char text[65] = {};
  if (pipe == nullptr || fread(text, 1, 64, pipe) != 64) text[0] = 0;
  if (pipe != nullptr) pclose(pipe);
  return text;
}

TEST_F(EthernetRunTest, EachRunThatReachedTheInstrumentAppendsOneHistoryLine) {
  history_ = folder_.Path() + "/state/vesk-updater/history.jsonl";
  const std::string mcu = folder_.Write("data/Firmware/T70_R4_0.55.61.bin", Pattern(16384 + 300, 9));
  options_.ServerType = 0;
  EXPECT_EQ(Run(), 0);  // refused: KT
  options_.ServerType = 1;
  EXPECT_EQ(Run(), -10025);  // MCU written; no FPGA and no GNSS image

  std::istringstream lines(test::ReadWholeFile(*history_));
  std::string first, second, extra;
  ASSERT_TRUE(std::getline(lines, first));
  ASSERT_TRUE(std::getline(lines, second));
  EXPECT_FALSE(std::getline(lines, extra));
  auto refused = nlohmann::json::parse(first);
  EXPECT_EQ(refused["link"], "ETH");
  EXPECT_EQ(refused["uid"], "abcdef0123");
  EXPECT_EQ(refused["model"], "T70_R4");
  EXPECT_EQ(refused["mcu_version_before"], "0.55.56");
  EXPECT_EQ(refused["fpga_version_before"], "0.55.22");
  EXPECT_TRUE(refused["components"].empty());
  EXPECT_EQ(refused["result"], 0);
  auto updated = nlohmann::json::parse(second);
  ASSERT_EQ(updated["components"].size(), 1u);
  EXPECT_EQ(updated["components"][0]["component"], "MCU");
  EXPECT_EQ(updated["components"][0]["image"], "T70_R4_0.55.61.bin");
  EXPECT_EQ(updated["components"][0]["sha256"], Sha256Sum(mcu));
  EXPECT_EQ(updated["components"][0]["result"], 0);
  EXPECT_EQ(updated["result"], -10025);
}

TEST_F(EthernetRunTest, UnwritableHistoryCostsOneErrorLineAndChangesNothingElse) {
  options_.ServerType = 0;
  EXPECT_EQ(Run(), 0);
  const std::string expected = Out();
  folder_.Write("blocker", "a file where the history folder would be");
  history_ = folder_.Path() + "/blocker/vesk-updater/history.jsonl";
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Out(), expected);
  const std::string err = platform_->ErrText();
  EXPECT_EQ(err.rfind("Run history not written to " + *history_ + ": ", 0), 0u);
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
}

}  // namespace
}  // namespace vesk
