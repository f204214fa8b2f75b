#include "catalog/update_plan.h"

#include <gtest/gtest.h>

#include "support/recording_platform.h"
#include "support/temp_folder.h"

namespace vesk {
namespace {

using test::RecordingPlatform;
using test::TempFolder;

constexpr uint16_t kT70R4 = 54;

struct PlanCase {
  std::string Title{};
  std::vector<std::string> Files{};  // in data/Firmware/
  uint16_t HardwareCode = 0;
  int32_t ServerDeviceType = 0;
  bool ForceUpdate = false;
  FirmwareVersion InstalledMcu{};
  FirmwareVersion InstalledFpga{};
  ResultCode Result = kResultOk;
  bool UpdateMcu = false;
  bool UpdateFpga = false;
  std::string McuFile{};  // empty when no path is expected
  std::string FpgaFile{};
  std::string GnssFile{};
  uint32_t NewMcuVersion = 0;
  uint32_t NewFpgaVersion = 0;
  std::string Out{};
};

const std::vector<std::string> kAllThree = {"T70_R4_0.55.56.bin", "T70_R4_0.55.22.rpd",
                                            "GNSS_1.2.3.bin"};

TEST(PlanUpdate, PlansImagesWhoseVersionsDifferAndNamesTheMissingOnes) {
  const PlanCase cases[] = {
      {.Title = "equal versions: nothing planned, all found",
       .Files = kAllThree,
       .InstalledMcu = {0, 55, 56},
       .InstalledFpga = {0, 55, 22},
       .McuFile = "T70_R4_0.55.56.bin",
       .FpgaFile = "T70_R4_0.55.22.rpd",
       .GnssFile = "GNSS_1.2.3.bin",
       .NewMcuVersion = 0x3738,
       .NewFpgaVersion = 0x3716},
      {.Title = "equal versions with ForceUpdate: both planned, MCU line first",
       .Files = kAllThree,
       .ForceUpdate = true,
       .InstalledMcu = {0, 55, 56},
       .InstalledFpga = {0, 55, 22},
       .UpdateMcu = true,
       .UpdateFpga = true,
       .McuFile = "T70_R4_0.55.56.bin",
       .FpgaFile = "T70_R4_0.55.22.rpd",
       .GnssFile = "GNSS_1.2.3.bin",
       .NewMcuVersion = 0x3738,
       .NewFpgaVersion = 0x3716,
       .Out = "New MCU firmware version: 0.55.56\nNew FPGA firmware version: 0.55.22\n"},
      {.Title = "installed MCU newer than the image is planned too",
       .Files = kAllThree,
       .InstalledMcu = {0, 55, 60},
       .InstalledFpga = {0, 55, 22},
       .UpdateMcu = true,
       .McuFile = "T70_R4_0.55.56.bin",
       .FpgaFile = "T70_R4_0.55.22.rpd",
       .GnssFile = "GNSS_1.2.3.bin",
       .NewMcuVersion = 0x3738,
       .NewFpgaVersion = 0x3716,
       .Out = "New MCU firmware version: 0.55.56\n"},
      {.Title = "no GNSS image: both planned, result names GNSS",
       .Files = {"T70_R4_0.55.56.bin", "T70_R4_0.55.22.jic", "W70_R4_0.55.99.bin"},
       .Result = kResultNoGnssImage,
       .UpdateMcu = true,
       .UpdateFpga = true,
       .McuFile = "T70_R4_0.55.56.bin",
       .FpgaFile = "T70_R4_0.55.22.jic",
       .NewMcuVersion = 0x3738,
       .NewFpgaVersion = 0x3716,
       .Out = "New MCU firmware version: 0.55.56\nNew FPGA firmware version: 0.55.22\n"},
      {.Title = "only an FPGA image",
       .Files = {"T70_R4_0.55.22.rpd", "GNSS_1.bin"},
       .Result = kResultNoMcuImage,
       .UpdateFpga = true,
       .FpgaFile = "T70_R4_0.55.22.rpd",
       .GnssFile = "GNSS_1.bin",
       .NewFpgaVersion = 0x3716,
       .Out = "New FPGA firmware version: 0.55.22\n"},
      {.Title = "only an FPGA image and no GNSS image",
       .Files = {"T70_R4_0.55.22.rpd"},
       .Result = -10024,
       .UpdateFpga = true,
       .FpgaFile = "T70_R4_0.55.22.rpd",
       .NewFpgaVersion = 0x3716,
       .Out = "New FPGA firmware version: 0.55.22\n"},
      {.Title = "only an MCU image; the version is printed as the name writes it",
       .Files = {"T70_R4_0.55.056.bin", "GNSS_1.bin"},
       .InstalledMcu = {0, 55, 50},
       .Result = kResultNoFpgaImage,
       .UpdateMcu = true,
       .McuFile = "T70_R4_0.55.056.bin",
       .GnssFile = "GNSS_1.bin",
       .NewMcuVersion = 0x3738,
       .Out = "New MCU firmware version: 0.55.056\n"},
      {.Title = "a sub-folder named like a newer image is ignored",
       .Files = {"T70_R4_0.55.56.bin", "T70_R4_0.55.99.bin/inner"},
       .InstalledMcu = {0, 55, 56},
       .Result = -10025,
       .McuFile = "T70_R4_0.55.56.bin",
       .NewMcuVersion = 0x3738},
      {.Title = "the handheld's receiver takes GNSSZ_ images",
       .Files = {"GNSS_9.bin", "GNSSZ_1.bin"},
       .HardwareCode = 0x4000,
       .Result = kResultNoMcuFpgaImage,
       .GnssFile = "GNSSZ_1.bin"},
      {.Title = "the handheld's server answer takes GNSSZ_ images",
       .Files = {"GNSS_9.bin", "GNSSZ_1.bin"},
       .HardwareCode = 0x1000,
       .ServerDeviceType = 2,
       .Result = kResultNoMcuFpgaImage,
       .GnssFile = "GNSSZ_1.bin"},
      {.Title = "a number too large to read ahead of the version makes the image absent",
       .Files = {"T70_R4_99999999999.1.1_0.55.56.bin", "GNSS_1.bin"},
       .Result = kResultNoMcuFpgaImage,
       .GnssFile = "GNSS_1.bin"},
      {.Title = "empty folder", .Files = {}, .Result = kResultNoImages},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.Title);
    TempFolder exe;
    exe.MakeFolder("data/Firmware");
    for (const std::string& file : c.Files) exe.Write("data/Firmware/" + file, "image");
    RecordingPlatform platform(exe.Path());
    ModelCodeMap table = BuildModelTable();
    PlanningContext context{platform, table, c.ForceUpdate, c.ServerDeviceType};
    UpdatePlan plan;

    ResultCode result =
        PlanUpdate(context, c.HardwareCode, kT70R4, c.InstalledMcu, c.InstalledFpga, plan);

    auto pathOf = [&](const std::string& file) {
      return file.empty() ? std::string() : exe.Path() + "/data/Firmware/" + file;
    };
    EXPECT_EQ(result, c.Result);
    EXPECT_EQ(plan.UpdateMcu, c.UpdateMcu);
    EXPECT_EQ(plan.UpdateFpga, c.UpdateFpga);
    EXPECT_EQ(plan.McuImagePath, pathOf(c.McuFile));
    EXPECT_EQ(plan.FpgaImagePath, pathOf(c.FpgaFile));
    EXPECT_EQ(plan.GnssImagePath, pathOf(c.GnssFile));
    EXPECT_EQ(plan.NewMcuVersion, c.NewMcuVersion);
    EXPECT_EQ(plan.NewFpgaVersion, c.NewFpgaVersion);
    EXPECT_EQ(platform.OutText(), c.Out);
    EXPECT_EQ(platform.ErrText(), "");
  }
}

TEST(PlanUpdate, MissingFolderGivesNothingAndClearsAPlanLeftFromAnEarlierAttempt) {
  TempFolder exe;
  RecordingPlatform platform(exe.Path());
  ModelCodeMap table = BuildModelTable();
  PlanningContext context{platform, table, true, 0};
  UpdatePlan plan;
  plan.UpdateMcu = true;
  plan.UpdateFpga = true;
  plan.McuImagePath = "/old/T70_R4_0.55.56.bin";
  plan.GnssImagePath = "/old/GNSS_1.bin";
  plan.NewMcuVersion = 0x3738;

  EXPECT_EQ(PlanUpdate(context, 0, kT70R4, {}, {}, plan), kResultNoImages);
  EXPECT_FALSE(plan.UpdateMcu);
  EXPECT_FALSE(plan.UpdateFpga);
  EXPECT_EQ(plan.McuImagePath, "");
  EXPECT_EQ(plan.GnssImagePath, "");
  EXPECT_EQ(plan.NewMcuVersion, 0u);
  EXPECT_EQ(platform.OutText(), "");
}

}  // namespace
}  // namespace vesk
