// The MCU, FPGA and GNSS procedures against the simulated Ethernet
// instrument at its fixed address 192.168.1.100:5000 (inside a private
// network namespace). What the instrument recorded is compared byte for
// byte; the console and the waits are recorded instead of shown and slept.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>

#include "bus/instructions.h"
#include "catalog/firmware_version.h"
#include "sim/ethernet_front_end.h"
#include "sim/instrument_model.h"
#include "support/recording_platform.h"
#include "support/temp_folder.h"
#include "update/component_sequence.h"
#include "update/fpga_update.h"
#include "update/gnss_update.h"
#include "update/mcu_update.h"

namespace vesk {
namespace {

using std::chrono::milliseconds;
using Pauses = std::vector<milliseconds>;
using test::RecordingPlatform;
using test::TempFolder;

constexpr uint16_t kKModel = 40;  // boots from the K-series loader
constexpr uint16_t kTModel = 54;  // T70_R4: boots from the T-series loader
constexpr size_t kEmbeddedBoot = 16384;
constexpr uint32_t kFpgaBlocks = 19961;
constexpr uint64_t kJicImageOffset = 4194464;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                              bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

// "label  0.00%" then, per step, seven backspaces and the new percentage.
std::string Progress(const std::string& label, uint32_t steps) {
  auto percent = [](float value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%6.2f%%", static_cast<double>(value));
    return std::string(text);
  };
  std::string line = label + percent(0.0f);
  for (uint32_t i = 1; i <= steps; ++i) {
    line += "\b\b\b\b\b\b\b" + percent(static_cast<float>(i) * 100.0f / static_cast<float>(steps));
  }
  return line;
}

// One MCU flash download as the operator sees it.
std::string FlashText(uint32_t blocks) {
  return "Erase Flash, please wait...\nErase completed!\n" + Progress("Updating...", blocks) + "\n";
}

// The commands the instrument received, runs of one identifier folded
// ("26x8"), instructions with their code and parameter ("4:F7.1").
std::string CommandTrace(const sim::InstrumentModel& model) {
  std::vector<std::string> items;
  for (const sim::ReceivedCommand& c : model.Commands()) {
    std::string item = std::to_string(c.Id);
    if (c.Id == 4 && c.Payload.size() >= 3) {
      char text[16];
      std::snprintf(text, sizeof(text), ":%02X.%u", c.Payload[0],
                    unsigned(c.Payload[1] | c.Payload[2] << 8));
      item += text;
    }
    items.push_back(item);
  }
  std::ostringstream trace;
  for (size_t i = 0; i < items.size();) {
    size_t run = 1;
    while (i + run < items.size() && items[i + run] == items[i]) ++run;
    trace << (i == 0 ? "" : " ") << items[i];
    if (run > 1) trace << "x" << run;
    i += run;
  }
  return trace.str();
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// A recording platform that lets a test act on the instrument at a wait,
// as the real instrument changes while the updater pauses.
class HookedPlatform : public RecordingPlatform {
 public:
  std::function<void(milliseconds)> OnPause;
  void Pause(milliseconds duration) override {
    RecordingPlatform::Pause(duration);
    if (OnPause) OnPause(duration);
  }
};

class ProcedureTest : public testing::Test {
 protected:
  void SetUp() override { options_.Ident.ModelCode = kKModel; }

  // Runs `procedure` while the simulated instrument listens at the address
  // the procedures dial.
  ResultCode Run(const std::function<ResultCode(Platform&)>& procedure) {
    model_.SetOptions(options_);
    sim::EthernetInstrument instrument(model_);
    std::string why;
    EXPECT_TRUE(instrument.Start("192.168.1.100", 5000, &why)) << why;
    ResultCode result = procedure(platform_);
    instrument.Stop();
    return result;
  }
  ResultCode RunMcu(const std::string& path) {
    return Run([&](Platform& host) { return RunMcuUpdate(host, 0, path); });
  }
  ResultCode RunFpga(const std::string& path) {
    return Run([&](Platform& host) { return RunFpgaUpdate(host, 0, path); });
  }
  ResultCode RunGnss(const std::string& path) {
    return Run([&](Platform& host) { return RunGnssUpdate(host, 0, path); });
  }

  sim::InstrumentOptions options_;
  sim::InstrumentModel model_;
  TempFolder folder_;
  HookedPlatform platform_;
};

// ---------------------------------------------------------------- MCU

enum class BootSource { None, Embedded, KFile, TFile };

struct McuCase {
  const char* Name;
  uint32_t Installed;
  std::optional<uint32_t> SecondReading;  // the identity after the first restart instruction
  uint16_t Model;
  const char* File;
  size_t Size;
  BootSource Boot;
};

class McuUpdateTest : public ProcedureTest, public testing::WithParamInterface<McuCase> {};

TEST_P(McuUpdateTest, WritesBootWhenNeededThenApplicationWithNumberedBlocks) {
  const McuCase& c = GetParam();
  options_.Ident.McuVersion = c.Installed;
  options_.Ident.ModelCode = c.Model;
  const std::vector<uint8_t> file = Pattern(c.Size, 1);
  const std::vector<uint8_t> kBoot = Pattern(300, 2);
  const std::vector<uint8_t> tBoot = Pattern(200, 3);
  std::string path = folder_.Write(c.File, file);
  folder_.Write("IAP_BOOT_RBK.bin", kBoot);
  folder_.Write("IAP_BOOT_RBT.bin", tBoot);
  if (c.SecondReading) {
    platform_.OnPause = [&](milliseconds wait) {
      if (wait != milliseconds(10)) return;
      sim::InstrumentOptions changed = options_;
      changed.Ident.McuVersion = *c.SecondReading;
      model_.SetOptions(changed);
    };
  }

  ASSERT_EQ(RunMcu(path), kResultOk) << platform_.OutText() << platform_.ErrText();

  std::vector<std::vector<uint8_t>> regions;
  switch (c.Boot) {
    case BootSource::None: break;
    case BootSource::Embedded: regions.push_back(Slice(file, 0, kEmbeddedBoot)); break;
    case BootSource::KFile: regions.push_back(kBoot); break;
    case BootSource::TFile: regions.push_back(tBoot); break;
  }
  const bool embeddedLayout = c.Boot == BootSource::Embedded || c.Boot == BootSource::None;
  regions.push_back(embeddedLayout ? Slice(file, kEmbeddedBoot, file.size()) : file);

  const std::vector<sim::FlashDownload> downloads = model_.FlashDownloads();
  ASSERT_EQ(downloads.size(), regions.size());
  std::string expectedOut = "Ready to update MCU firmware, please wait...\n";
  std::string expectedTrace = "1 11 4:0B.0 5 4:F7.0 5 4:F7.1 2 1";
  for (size_t d = 0; d < regions.size(); ++d) {
    const bool boot = d + 1 < regions.size();
    const uint32_t blocks = static_cast<uint32_t>((regions[d].size() + 127) / 128);
    EXPECT_EQ(downloads[d].Region, regions[d]) << "download " << d;
    EXPECT_EQ(downloads[d].Written(), regions[d]) << "download " << d;
    EXPECT_TRUE(downloads[d].Finished);
    ASSERT_EQ(downloads[d].Blocks.size(), blocks);
    for (uint32_t i = 0; i < blocks; ++i) {
      // Numbered from 1, wrapping from 255 to 0; full 128-byte blocks but the last.
      ASSERT_EQ(downloads[d].Blocks[i].Sequence, (i + 1) % 256) << "block " << i;
      ASSERT_EQ(downloads[d].Blocks[i].Data.size(),
                std::min<size_t>(128, regions[d].size() - 128 * i));
    }
    std::string flash = " 25 26x" + std::to_string(blocks) + " 27";
    if (boot) {
      expectedOut += "The boot needs to be updated\n" + FlashText(blocks) + "MCU new boot is ready\n";
      expectedTrace += " 24" + flash;
    } else {
      expectedOut += FlashText(blocks);
      expectedTrace += " 28" + flash + " 5 2";
    }
  }
  EXPECT_EQ(platform_.OutText(), expectedOut);
  EXPECT_EQ(CommandTrace(model_), expectedTrace);
  // Restart settle, then (boot) the wait before the boot download, the pause
  // after each download, and the wait for the restarted application.
  Pauses pauses{milliseconds(10), milliseconds(1500)};
  if (regions.size() == 2) pauses.insert(pauses.end(), {milliseconds(5000), milliseconds(100)});
  pauses.insert(pauses.end(), {milliseconds(100), milliseconds(5000)});
  EXPECT_EQ(platform_.Pauses(), pauses);
}

INSTANTIATE_TEST_SUITE_P(
    Instruments, McuUpdateTest,
    testing::Values(
        // 302 blocks: the sequence numbers wrap to 0 and go on from 1.
        McuCase{"CurrentBootMoreThan255Blocks", PackVersion(1, 0, 0), {}, kKModel,
                "T70_R4_0.55.61.bin", kEmbeddedBoot + 128 * 301 + 5, BootSource::None},
        McuCase{"OldBootFromKLoaderBesideFile", PackVersion(0, 30, 5), {}, kKModel,
                "K_0.55.40.bin", 1000, BootSource::KFile},
        McuCase{"OldBootFromTLoaderBesideFile", PackVersion(0, 30, 5), {}, kTModel,
                "T70_R4_0.55.40.bin", 1000, BootSource::TFile},
        McuCase{"OldBootFromFileOwnFirst16KiB", PackVersion(0, 30, 5), {}, kKModel,
                "K_0.55.61.bin", kEmbeddedBoot + 1000, BootSource::Embedded},
        // Only the second reading counts for the power board: 0.55.35 first
        // and 0.56.0 second is accepted.
        McuCase{"PowerBoardJudgedBySecondReading", PackVersion(0, 55, 35), PackVersion(0, 56, 0),
                kKModel, "K_0.55.61.bin", kEmbeddedBoot + 500, BootSource::None}),
    [](const testing::TestParamInfo<McuCase>& info) { return std::string(info.param.Name); });

struct McuRefusalCase {
  const char* Name;
  uint32_t Installed;
  std::optional<uint32_t> SecondReading;
  const char* File;
  size_t Size;
  bool WithBootFiles;
  ResultCode Result;
  const char* Out;    // after the "Ready" line
  const char* Err;    // a part of standard error, or empty
  const char* Trace;
};

class McuRefusalTest : public ProcedureTest, public testing::WithParamInterface<McuRefusalCase> {};

TEST_P(McuRefusalTest, WritesNothingAndClosesTheLink) {
  const McuRefusalCase& c = GetParam();
  options_.Ident.McuVersion = c.Installed;
  std::string path = folder_.Write(c.File, Pattern(c.Size, 1));
  if (c.WithBootFiles) folder_.Write("IAP_BOOT_RBK.bin", Pattern(300, 2));
  if (c.SecondReading) {
    platform_.OnPause = [&](milliseconds wait) {
      if (wait != milliseconds(10)) return;
      sim::InstrumentOptions changed = options_;
      changed.Ident.McuVersion = *c.SecondReading;
      model_.SetOptions(changed);
    };
  }

  EXPECT_EQ(RunMcu(path), c.Result);
  EXPECT_EQ(platform_.OutText(), std::string("Ready to update MCU firmware, please wait...\n") + c.Out);
  if (*c.Err == '\0') {
    EXPECT_EQ(platform_.ErrText(), "");
  } else {
    EXPECT_NE(platform_.ErrText().find(c.Err), std::string::npos) << platform_.ErrText();
    EXPECT_NE(platform_.ErrText().find(path), std::string::npos) << "names the file";
  }
  EXPECT_EQ(CommandTrace(model_), c.Trace);
  EXPECT_TRUE(model_.FlashDownloads().empty());
}

constexpr char kNotAllowed[] = "Upgrade is not allowed\n";
constexpr char kPowerBoard[] = "Powerboad needs to change, 200ohm resistor should be removed\n";

INSTANTIATE_TEST_SUITE_P(
    Refusals, McuRefusalTest,
    testing::Values(
        // Refused by its name before the instrument is asked anything.
        McuRefusalCase{"FileTooOld", PackVersion(1, 0, 0), {}, "K_0.55.25.bin", 1000, true,
                       kResultNotAllowed, kNotAllowed, "", "1 2"},
        McuRefusalCase{"InstalledVersionBarred", PackVersion(0, 55, 28), {}, "K_0.55.40.bin", 1000,
                       true, kResultNotAllowed, kNotAllowed, "", "1 11 4:0B.0 5 2"},
        McuRefusalCase{"PowerBoardOnSecondReading", PackVersion(0, 30, 5), PackVersion(0, 55, 35),
                       "K_0.55.40.bin", 1000, true, kResultNotAllowed, kPowerBoard, "",
                       "1 11 4:0B.0 5 4:F7.0 5 2"},
        McuRefusalCase{"PowerBoardOldMinor", PackVersion(0, 40, 1), {}, "K_0.55.61.bin",
                       kEmbeddedBoot + 100, true, kResultNotAllowed, kPowerBoard, "",
                       "1 11 4:0B.0 5 4:F7.0 5 2"},
        // The boot loader would be needed but is not beside the file.
        McuRefusalCase{"MissingBootFile", PackVersion(0, 30, 5), {}, "K_0.55.40.bin", 1000, false,
                       kResultFileUnreadable, "", "", "1 11 4:0B.0 5 4:F7.0 5 4:F7.1 2 1 2"},
        // Shorter than the boot image it must carry: nothing sane to write.
        McuRefusalCase{"EmbeddedLayoutFileTooShort", PackVersion(1, 0, 0), {}, "K_0.55.61.bin",
                       kEmbeddedBoot - 1, true, kResultFileUnreadable, "", "(-20)", "1 2"}),
    [](const testing::TestParamInfo<McuRefusalCase>& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------- FPGA

struct FpgaCase {
  const char* Name;
  const char* File;
  size_t Size;
  uint8_t StatusByte;  // 0x55: erased at once; anything else: never
  const char* StatusPolls;
};

class FpgaUpdateTest : public ProcedureTest, public testing::WithParamInterface<FpgaCase> {};

TEST_P(FpgaUpdateTest, StreamsTheWholeImageInBlocksThenRestarts) {
  const FpgaCase& c = GetParam();
  options_.StatusByte = c.StatusByte;
  const std::vector<uint8_t> file = Pattern(c.Size, 9);
  std::string path = folder_.Write(c.File, file);

  ASSERT_EQ(RunFpga(path), kResultOk) << platform_.ErrText();

  std::vector<uint8_t> image;
  if (std::string(c.File).find(".rpd") != std::string::npos) {
    image = file;
    image.resize(kFpgaImageSize, 0xFF);  // a raw image is padded with erased flash
  } else {
    image = Slice(file, kJicImageOffset, file.size());
    image.resize(kFpgaImageSize, 0x00);  // bytes the file lacks stay zero
  }
  EXPECT_TRUE(model_.FpgaImage() == image);
  const std::vector<sim::ReceivedCommand> commands = model_.Commands();
  ASSERT_GE(commands.size(), 4u);
  // The last data block carries the 40 bytes from image offset 3932120.
  const sim::ReceivedCommand& last = commands[commands.size() - 5];
  ASSERT_EQ(last.Id, 23);
  EXPECT_EQ(last.Payload[0], 40);
  EXPECT_EQ(CommandTrace(model_), std::string("1 22 ") + c.StatusPolls + " 23x" +
                                      std::to_string(kFpgaBlocks) + " 20 4:F7.0 4:F7.1 2");
  EXPECT_EQ(platform_.OutText(),
            "Ready to update FPGA firmware, please wait for about 10 minutes\n"
            "Application 1 Hardware upgrade in progress...\n"
            "Erase Flash, please wait...\n"
            "Erase completed!\n"
            "Data packet number is 19961\n" +
                Progress("Downloading...", kFpgaBlocks) + "\n");
  EXPECT_EQ(platform_.Pauses(), (Pauses{milliseconds(2000), milliseconds(100), milliseconds(2000)}));
}

INSTANTIATE_TEST_SUITE_P(
    Images, FpgaUpdateTest,
    testing::Values(FpgaCase{"RawImagePadded", "K_0.55.30.rpd", 1000000, 0x55, "21"},
                    // Never reports erased: 300 polls, then streams anyway.
                    FpgaCase{"JicImageFromItsOffset", "K_0.55.30.jic", kJicImageOffset + 1000000,
                             0x00, "21x300"}),
    [](const testing::TestParamInfo<FpgaCase>& info) { return std::string(info.param.Name); });

struct FpgaFailureCase {
  const char* Name;
  size_t Size;
  int32_t FaultCommand;  // answered with status -3; 0: none
  ResultCode Result;
  const char* Trace;
};

class FpgaFailureTest : public ProcedureTest, public testing::WithParamInterface<FpgaFailureCase> {};

TEST_P(FpgaFailureTest, EndsWithItsCodeAndNoRestart) {
  const FpgaFailureCase& c = GetParam();
  if (c.FaultCommand != 0) options_.Faults[c.FaultCommand].Status = -3;
  std::string path = folder_.Write("K_0.55.30.rpd", Pattern(c.Size, 4));
  EXPECT_EQ(RunFpga(path), c.Result);
  EXPECT_EQ(CommandTrace(model_), c.Trace);
  EXPECT_TRUE(platform_.Pauses().empty());
  if (c.Result == kResultFileUnreadable) {
    EXPECT_NE(platform_.ErrText().find(path), std::string::npos) << "names the file";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FpgaFailureTest,
    testing::Values(
        // Longer than the FPGA image: sending a part would leave a broken configuration.
        FpgaFailureCase{"RawImageTooLong", kFpgaImageSize + 1, 0, kResultFileUnreadable, "1 2"},
        FpgaFailureCase{"StartRefused", 1000, 22, kResultNotAcknowledged, "1 22 2"},
        FpgaFailureCase{"DataBlockRefused", 1000, 23, kResultTransferFailed, "1 22 21 23 2"},
        FpgaFailureCase{"EndRefused", 1000, 20, kResultFpgaEndFailed, "1 22 21 23x19961 20 2"}),
    [](const testing::TestParamInfo<FpgaFailureCase>& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------- GNSS

struct GnssCase {
  const char* Name;
  uint32_t Installed;
  const char* File;
  size_t Size;
  size_t Skip;
  std::vector<uint8_t> Flags;
  uint8_t LastCount;
  bool ZFamily;
};

class GnssUpdateTest : public ProcedureTest, public testing::WithParamInterface<GnssCase> {};

TEST_P(GnssUpdateTest, SendsTheBodyAfterItsHeaderInFlaggedPackets) {
  const GnssCase& c = GetParam();
  options_.Ident.McuVersion = c.Installed;
  const std::vector<uint8_t> file = Pattern(c.Size, 6);
  std::string path = folder_.Write(c.File, file);

  ASSERT_EQ(RunGnss(path), kResultOk) << platform_.OutText() << platform_.ErrText();

  EXPECT_EQ(model_.GnssBody(), Slice(file, c.Skip, file.size()));
  EXPECT_EQ(model_.GnssFlags(), c.Flags);
  const std::vector<sim::ReceivedCommand> commands = model_.Commands();
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[commands.size() - 2].Payload[1], c.LastCount);
  EXPECT_EQ(CommandTrace(model_),
            "1 11 5 29" + (c.Flags.size() == 1 ? " 30" : " 30x" + std::to_string(c.Flags.size())) +
                " 2");
  std::string out = "Ready to update GNSS firmware, please wait...\n" +
                    Progress("Updating GNSS Firmware...", static_cast<uint32_t>(c.Flags.size())) +
                    "\n";
  Pauses pauses{milliseconds(200), milliseconds(200)};
  if (c.ZFamily) {
    out += "Wait for the power to be ready\nThe power is ready\n";
    pauses.insert(pauses.begin(), milliseconds(3000));
    pauses.insert(pauses.end(), {milliseconds(2000), milliseconds(4000), milliseconds(2000)});
  }
  EXPECT_EQ(platform_.OutText(), out);
  EXPECT_EQ(platform_.Pauses(), pauses);
}

INSTANTIATE_TEST_SUITE_P(
    Images, GnssUpdateTest,
    testing::Values(
        GnssCase{"Version114SendsWholeFile", PackVersion(0, 55, 49), "GNSS_1.14.bin", 500, 0,
                 {1, 1, 2}, 500 - 392, false},
        GnssCase{"Version115SkipsHeader", PackVersion(0, 55, 51), "GNSS_1.15.bin", 10240 + 197,
                 10240, {1, 2}, 1, false},
        GnssCase{"ZFamilySkipsLongerHeaderAndWaitsForPower", PackVersion(1, 0, 0),
                 "GNSSZ_1.0.bin", 12288 + 196, 12288, {2}, 196, true}),
    [](const testing::TestParamInfo<GnssCase>& info) { return std::string(info.param.Name); });

struct GnssRefusalCase {
  const char* Name;
  uint32_t Installed;
  size_t Size;              // of GNSS_2.0.bin (header 10240)
  int32_t FaultCommand;     // answered with status -21; 0: none
  ResultCode Result;
  const char* Out;          // after the "Ready" line
  const char* Trace;
};

class GnssRefusalTest : public ProcedureTest, public testing::WithParamInterface<GnssRefusalCase> {};

TEST_P(GnssRefusalTest, SendsNoFirmware) {
  const GnssRefusalCase& c = GetParam();
  options_.Ident.McuVersion = c.Installed;
  if (c.FaultCommand != 0) options_.Faults[c.FaultCommand].Status = -21;
  std::string path = folder_.Write("GNSS_2.0.bin", Pattern(c.Size, 6));
  EXPECT_EQ(RunGnss(path), c.Result);
  EXPECT_EQ(platform_.OutText(),
            std::string("Ready to update GNSS firmware, please wait...\n") + c.Out);
  EXPECT_EQ(CommandTrace(model_), c.Trace);
  EXPECT_TRUE(model_.GnssBody().empty());
  if (c.Result == kResultFileUnreadable) {
    EXPECT_NE(platform_.ErrText().find(path), std::string::npos) << "names the file";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, GnssRefusalTest,
    testing::Values(
        GnssRefusalCase{"McuBefore05532", PackVersion(0, 55, 31), 20000, 0, kResultNotAllowed,
                        kNotAllowed, "1 11 5 2"},
        GnssRefusalCase{"Mcu05550", PackVersion(0, 55, 50), 20000, 0, kResultNotAllowed,
                        kNotAllowed, "1 11 5 2"},
        GnssRefusalCase{"IdentityUnreadable", PackVersion(0, 55, 61), 20000, 5, kResultNotAllowed,
                        kNotAllowed, "1 11 5 2"},
        GnssRefusalCase{"NoReceiver", PackVersion(0, 55, 61), 20000, 29, kResultNotAllowed,
                        "No gnss, upgrade is not allowed\n", "1 11 5 29 2"},
        // Nothing but the header: no firmware in it to send.
        GnssRefusalCase{"FileNoLongerThanHeader", PackVersion(0, 55, 61), 10240, 0,
                        kResultFileUnreadable, "", "1 11 5 2"}),
    [](const testing::TestParamInfo<GnssRefusalCase>& info) { return std::string(info.param.Name); });

// ------------------------------------------- retries through the orchestration

struct RetryCase {
  const char* Name;
  UpdateComponent Component;
  const char* File;
  size_t Size;
  std::function<void(sim::InstrumentOptions&)> Fault;
  ResultCode Result;
  const char* FailureLine;
  int Attempts;
};

class ComponentRetryTest : public ProcedureTest, public testing::WithParamInterface<RetryCase> {};

TEST_P(ComponentRetryTest, FailureIsReportedPerAttemptAndNeverAsCompleted) {
  const RetryCase& c = GetParam();
  c.Fault(options_);
  std::string path = folder_.Write(c.File, Pattern(c.Size, 8));
  ResultCode result = Run([&](Platform& host) {
    ComponentDispatcher dispatcher(host, 0);
    return RunComponentUpdate(dispatcher, c.Component, path);
  });
  EXPECT_EQ(result, c.Result);
  const std::string out = platform_.OutText();
  EXPECT_EQ(Count(out, c.FailureLine), static_cast<size_t>(c.Attempts)) << out;
  EXPECT_EQ(Count(out, "Ready to update"), static_cast<size_t>(c.Attempts));
  EXPECT_EQ(out.find("firmware update completed"), std::string::npos);
  EXPECT_EQ(out.find("The power is ready"), std::string::npos);
  EXPECT_EQ(Count(out, "Please reconnect the data cable of the device and restart Updater."),
            c.Component == UpdateComponent::FPGA ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ComponentRetryTest,
    testing::Values(
        // The instrument ends the connection at the 18th flash block.
        RetryCase{"McuConnectionDroppedMidStream", UpdateComponent::MCU, "K_0.55.61.bin",
                  kEmbeddedBoot + 128 * 40,
                  [](sim::InstrumentOptions& o) { o.CloseAfterCommands = 20; },
                  kResultMcuFailed, "MCU firmware update failed: 10060\n", 3},
        RetryCase{"McuBlockRefused", UpdateComponent::MCU, "K_0.55.61.bin", kEmbeddedBoot + 1000,
                  [](sim::InstrumentOptions& o) { o.Faults[26].Status = -5; }, kResultMcuFailed,
                  "MCU firmware update failed: -5\n", 3},
        // The instrument does not come back after its restart: not retried.
        RetryCase{"McuNotBackAfterRestart", UpdateComponent::MCU, "K_0.55.61.bin",
                  kEmbeddedBoot + 1000,
                  [](sim::InstrumentOptions& o) { o.RefuseAfterRestart = milliseconds(60000); },
                  kResultNoReturnAfterRestart, "MCU firmware update failed: -302\n", 1},
        // Without an identity the checks and the first restart are skipped;
        // the application is still written, but the final identification fails.
        RetryCase{"McuIdentityUnreadable", UpdateComponent::MCU, "K_0.55.61.bin",
                  kEmbeddedBoot + 1000,
                  [](sim::InstrumentOptions& o) { o.Faults[5].Status = -3; }, kResultMcuFailed,
                  "MCU firmware update failed: -8\n", 3},
        RetryCase{"McuRefusedOnce", UpdateComponent::MCU, "K_0.55.25.bin", 1000,
                  [](sim::InstrumentOptions&) {}, kResultNotAllowed,
                  "MCU firmware update failed: -301\n", 1},
        RetryCase{"GnssWithoutReceiverOnce", UpdateComponent::GNSS, "GNSS_2.0.bin", 20000,
                  [](sim::InstrumentOptions& o) { o.Faults[29].Status = -21; }, kResultNotAllowed,
                  "GNSS firmware update failed: -301\n", 1},
        // A failed transfer skips the power messages even for the Z family.
        RetryCase{"GnssZPacketRefused", UpdateComponent::GNSS, "GNSSZ_1.0.bin", 13000,
                  [](sim::InstrumentOptions& o) { o.Faults[30].Status = -5; }, kResultGnssFailed,
                  "GNSS firmware update failed: -5\n", 3},
        RetryCase{"GnssConnectionDroppedMidStream", UpdateComponent::GNSS, "GNSS_2.0.bin", 20000,
                  [](sim::InstrumentOptions& o) { o.CloseAfterCommands = 10; }, kResultGnssFailed,
                  "GNSS firmware update failed: 10060\n", 3},
        // The FPGA is never retried: the operator must reconnect.
        RetryCase{"FpgaConnectionDroppedMidStream", UpdateComponent::FPGA, "K_0.55.30.rpd", 1000,
                  [](sim::InstrumentOptions& o) { o.CloseAfterCommands = 500; }, kResultFpgaFailed,
                  "\n\nFPGA firmware update failed: -8\n", 1}),
    [](const testing::TestParamInfo<RetryCase>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace vesk
