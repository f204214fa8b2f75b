#include "catalog/firmware_listing.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/recording_platform.h"
#include "support/temp_folder.h"

namespace vesk {
namespace {

using test::RecordingPlatform;
using test::TempFolder;

// Answers the calibration-folder question as a handheld would and remembers
// what was asked.
class HandheldPlatform : public RecordingPlatform {
 public:
  bool FolderExists(const std::string& path) override {
    asked.push_back(path);
    return calibrationFolderPresent;
  }
  bool calibrationFolderPresent = true;
  std::vector<std::string> asked;
};

TEST(ListFirmwareFiles, ListsFilesOfTheFirmwareFolderWithPathsAndModelPrefixes) {
  TempFolder exe;
  exe.Write("data/Firmware/T70_R4_0.55.56.bin", "m");
  exe.Write("data/Firmware/GNSS_1.2.3.bin", "g");
  exe.Write("data/Firmware/README", "r");
  exe.MakeFolder("data/Firmware/T70_R4_0.55.99.bin");
  RecordingPlatform platform(exe.Path());

  FirmwareListing listing = ListFirmwareFiles(platform);

  std::string folder = exe.Path() + "/data/Firmware/";
  EXPECT_EQ(FirmwareFolder(platform), folder);
  ASSERT_EQ(listing.Names.size(), 3u);
  ASSERT_EQ(listing.Paths.size(), 3u);
  ASSERT_EQ(listing.ModelPrefixes.size(), 3u);
  std::vector<std::string> rows;
  for (size_t i = 0; i < listing.Names.size(); ++i) {
    EXPECT_EQ(listing.Paths[i], folder + listing.Names[i]);
    rows.push_back(listing.Names[i] + " -> " + listing.ModelPrefixes[i]);
  }
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{"GNSS_1.2.3.bin -> GNSS_1.2.3.bin", "README -> README",
                                            "T70_R4_0.55.56.bin -> T70_R4"}));
}

TEST(ListFirmwareFiles, MissingFolderGivesAnEmptyListingAndNoExecutableFolderLooksAtTheRoot) {
  TempFolder exe;
  RecordingPlatform missing(exe.Path());
  EXPECT_TRUE(ListFirmwareFiles(missing).Names.empty());

  RecordingPlatform unknownExecutable("");
  EXPECT_EQ(FirmwareFolder(unknownExecutable), "/data/Firmware/");
}

struct PrefixCase {
  uint16_t HardwareCode;
  int32_t ServerDeviceType;
  std::string Brand;
  bool CalibrationFolder;
  std::string Prefix;
};

TEST(GnssFilePrefix, ChoosesTheHandheldPrefixByReceiverKindServerAnswerOrHandheldHost) {
  const std::string z1 = "AMD Ryzen Z1 Extreme w/ Radeon 780M Graphics      ";
  const PrefixCase cases[] = {
      {0x4000, 0, "", false, "GNSSZ_"},
      {0xC123, 0, "", false, "GNSSZ_"},
      {0x1000, 0, z1, true, "GNSS_"},
      {0x7000, 0, "", false, "GNSS_"},
      {0x1000, 2, "", false, "GNSSZ_"},
      {0x0000, 2, "", false, "GNSSZ_"},
      {0x0000, 0, z1, true, "GNSSZ_"},
      {0x0FFF, 1, z1, true, "GNSSZ_"},
      {0x0000, 0, z1, false, "GNSS_"},
      {0x0000, 0, "AMD Ryzen Z1 Extrem", true, "GNSS_"},
      {0x0000, 0, "Intel(R) Core(TM) i7", true, "GNSS_"},
      {0x0000, 0, "", true, "GNSS_"},
  };
  for (const PrefixCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "hardware 0x" << std::hex << c.HardwareCode << " server "
                                    << c.ServerDeviceType << " brand \"" << c.Brand << "\"");
    HandheldPlatform platform;
    platform.SetProcessorBrand(c.Brand);
    platform.calibrationFolderPresent = c.CalibrationFolder;
    EXPECT_EQ(GnssFilePrefix(c.HardwareCode, c.ServerDeviceType, platform), c.Prefix);
  }
}

TEST(GnssFilePrefix, AsksForTheHandheldCalibrationFolderByItsWindowsPath) {
  HandheldPlatform platform;
  platform.SetProcessorBrand("AMD Ryzen Z1 Extreme");
  GnssFilePrefix(0, 0, platform);
  EXPECT_EQ(platform.asked, (std::vector<std::string>{"C:\\Windows\\Configuration\\CalFile"}));
}

struct GnssCase {
  std::vector<std::string> Names;
  std::string Prefix;
  std::string Name;
  int32_t Index;
};

TEST(SelectNewestGnssImage, ChoosesTheGreatestVersionListAndKeepsTheEarlierOnTies) {
  const GnssCase cases[] = {
      {{"GNSS_2.9.bin", "GNSS_3.bin"}, "GNSS_", "GNSS_3.bin", 1},
      {{"GNSS_1.2", "GNSS_0.9.9.bin"}, "GNSS_", "GNSS_1.2", 0},
      {{"GNSS_1.2.0.bin", "GNSS_1.2.bin"}, "GNSS_", "GNSS_1.2.0.bin", 0},
      {{"GNSS_1.10.bin", "GNSS_1.9.bin"}, "GNSS_", "GNSS_1.10.bin", 0},
      {{"GNSSZ_1.0.bin"}, "GNSS_", "", -1},
      {{"GNSS_1.0.bin", "GNSSZ_2.0.bin"}, "GNSSZ_", "GNSSZ_2.0.bin", 1},
      {{"GNSS_.bin", "GNSS_", "GNS", "gnss_5.bin"}, "GNSS_", "", -1},
      {{"GNSS_V0.bin", "GNSS_.1.bin"}, "GNSS_", "GNSS_.1.bin", 1},
      {{}, "GNSS_", "", -1},
  };
  for (const GnssCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Names) + " prefix " + c.Prefix);
    GnssImageChoice choice = SelectNewestGnssImage(c.Names, c.Prefix);
    EXPECT_EQ(choice.Name, c.Name);
    EXPECT_EQ(choice.Index, c.Index);
  }
}

TEST(SelectNewestGnssImage, LooksAtNoMoreThan65535Files) {
  std::vector<std::string> names(65535, "other.bin");
  names[65534] = "GNSS_1.bin";
  names.push_back("GNSS_2.bin");
  GnssImageChoice choice = SelectNewestGnssImage(names, "GNSS_");
  EXPECT_EQ(choice.Index, 65534);
  EXPECT_EQ(choice.Name, "GNSS_1.bin");
}

struct ModelCase {
  std::string Title;
  std::vector<std::string> Names;
  uint16_t ModelCode;
  ResultCode Result;
  int32_t McuIndex;
  int32_t FpgaIndex;
};

std::vector<std::string> PrefixesOf(const std::vector<std::string>& names) {
  std::vector<std::string> prefixes;
  for (const std::string& name : names) prefixes.push_back(ModelPrefixOf(name));
  return prefixes;
}

TEST(SelectModelImages, ChoosesTheNewestMcuAndFpgaImagesOfTheModel) {
  const uint16_t t70r4 = 54;
  const ModelCase cases[] = {
      {"both found", {"T70_R4_0.55.56.bin", "T70_R4_0.55.22.rpd"}, t70r4, kResultOk, 0, 1},
      {"numeric compare",
       {"T70_R4_0.55.9.bin", "T70_R4_0.55.56.bin", "T70_R4_0.55.22.jic"},
       t70r4,
       kResultOk,
       1,
       2},
      {"equal versions keep the earlier",
       {"T70_R4_a_0.55.56.bin", "T70_R4_b_0.55.56.bin"},
       t70r4,
       kResultNoFpgaImage,
       0,
       -1},
      {"only FPGA", {"T70_R4_0.55.22.jic"}, t70r4, kResultNoMcuImage, -1, 0},
      {"unanchored FPGA pattern", {"T70_R4_0.55.22.jic.old"}, t70r4, kResultNoMcuImage, -1, 0},
      {"other model and upper-case extension",
       {"W70_R4_0.55.56.bin", "T70_R4_0.55.56.BIN", "T70_R5_0.55.22.rpd"},
       t70r4,
       kResultNoMcuFpgaImage,
       -1,
       -1},
      {"version 0.0.0 counts as absent",
       {"T70_R4_0.0.0.bin", "T70_R4_0.0.0.rpd"},
       t70r4,
       kResultNoMcuFpgaImage,
       -1,
       -1},
      {"unusable versions are passed over",
       {"T70_R4_0.256.1.bin", "T70_R4_1.2.bin", "T70_R4_9.9.9.bin.bin", "T70_R4_0.55.1.bin",
        "T70_R4_70000.1.1.rpd", "T70_R4_notes.txt.old"},
       t70r4,
       kResultNoFpgaImage,
       3,
       -1},
      {"unknown prefixes are no model, not model 0",
       {"GNSS_1.2.3.bin", "XYZ_R9_0.1.2.bin", "Q_1.2.3.rpd"},
       0,
       kResultNoMcuFpgaImage,
       -1,
       -1},
      {"empty listing", {}, t70r4, kResultNoMcuFpgaImage, -1, -1},
  };
  ModelCodeMap table = BuildModelTable();
  for (const ModelCase& c : cases) {
    SCOPED_TRACE(c.Title);
    ModelImageChoice choice = SelectModelImages(c.Names, PrefixesOf(c.Names), c.ModelCode, table);
    EXPECT_EQ(choice.Result, c.Result);
    EXPECT_EQ(choice.McuIndex, c.McuIndex);
    EXPECT_EQ(choice.FpgaIndex, c.FpgaIndex);
  }
  EXPECT_EQ(table.size(), 14u) << "selection must never add rows to the model table";
}

}  // namespace
}  // namespace vesk
