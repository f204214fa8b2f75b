// Rules of the component procedures that need no instrument: the GNSS header
// skip, and the MCU flash download as the operator sees it on the VIRTUAL link.

#include <gtest/gtest.h>

#include "support/recording_platform.h"
#include "support/temp_folder.h"
#include "update/gnss_update.h"
#include "update/mcu_update.h"

namespace vesk {
namespace {

using test::RecordingPlatform;
using test::TempFolder;

struct SkipCase {
  std::string Path;
  uint32_t Skip;
};

class GnssHeaderSkipTest : public testing::TestWithParam<SkipCase> {};

TEST_P(GnssHeaderSkipTest, DependsOnFamilyMarkAndVersion) {
  EXPECT_EQ(GnssHeaderSkip(GetParam().Path), GetParam().Skip) << GetParam().Path;
}

INSTANTIATE_TEST_SUITE_P(
    Names, GnssHeaderSkipTest,
    testing::Values(SkipCase{"/x/data/Firmware/GNSS_1.14.bin", 0},
                    SkipCase{"/x/data/Firmware/GNSS_1.15.bin", 10240},
                    SkipCase{"/x/data/Firmware/GNSS_1.2.bin", 0},
                    SkipCase{"/x/data/Firmware/GNSS_2.0.bin", 10240},
                    SkipCase{"/x/data/Firmware/GNSSZ_1.0.bin", 12288},
                    SkipCase{"/x/data/Firmware/GNSSZ_9.9.bin", 12288},
                    SkipCase{"/x/data/Firmware/GNSS_1.bin", 0},  // missing minor counts as 0
                    SkipCase{"/x/data/Firmware/GNSS_3.bin", 10240},
                    SkipCase{"/x/data/Firmware/GNSS_V1.2.bin", 10240}));

TEST(FlashDownloadTest, VirtualLinkDrawsTheProgressOfEveryBlock) {
  TempFolder folder;
  std::string path = folder.Write("T70_R4_0.55.61.bin", std::string(129 + 16384, 'x'));
  RecordingPlatform platform;
  Bus bus(platform);
  bus.Interface = BusInterface::VIRTUAL;
  EXPECT_EQ(FlashDownload(bus, path, 16384, 129), kResultOk);
  EXPECT_EQ(platform.OutText(),
            "Erase Flash, please wait...\n"
            "Erase completed!\n"
            "Updating...  0.00%\b\b\b\b\b\b\b 50.00%\b\b\b\b\b\b\b100.00%\n");
  EXPECT_EQ(platform.Pauses(), std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(100)});
}

TEST(FlashDownloadTest, EmptyRegionSendsNoBlockButStillFinishes) {
  TempFolder folder;
  std::string path = folder.Write("a.bin", "");
  RecordingPlatform platform;
  Bus bus(platform);
  bus.Interface = BusInterface::VIRTUAL;
  EXPECT_EQ(FlashDownload(bus, path, 0, 0), kResultOk);
  EXPECT_EQ(platform.OutText(), "Erase Flash, please wait...\nErase completed!\nUpdating...  0.00%\n");
}

TEST(FlashDownloadTest, MissingFileAndLinksWithoutPathFail) {
  RecordingPlatform platform;
  Bus bus(platform);
  bus.Interface = BusInterface::VIRTUAL;
  EXPECT_EQ(FlashDownload(bus, "/nonexistent/file.bin", 0, 10), kResultFileUnreadable);
  TempFolder folder;
  std::string path = folder.Write("a.bin", "abc");
  bus.Interface = BusInterface::HLVDS;
  EXPECT_EQ(FlashDownload(bus, path, 0, 3), kResultNoInstructionPath);
}

}  // namespace
}  // namespace vesk
