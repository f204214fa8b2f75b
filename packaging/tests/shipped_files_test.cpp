// The settings file and the permitted-version table that the package installs
// beside the updater, read the way the program reads them at start.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "bus/bus.h"
#include "catalog/update_limits.h"
#include "support/recording_platform.h"

namespace vesk {
namespace {

using test::RecordingPlatform;

const std::string kShippedFolder = VESK_SHIPPED_FILES_DIR;

using PairList = std::vector<std::pair<std::string, std::string>>;

PairList Pairs(const std::vector<LimitPair>& group) {
  PairList pairs;
  for (const LimitPair& pair : group) pairs.emplace_back(pair.First, pair.Second);
  return pairs;
}

// An operator who installs the package and attaches an RB instrument over USB
// gets the documented defaults, and the explanatory header lines are not
// mistaken for values (a stray "=" there would shift every value and draw
// correction sentences).
TEST(ShippedSettings, SelectUsbWithTheDefaultLinkValuesAndNoCorrection) {
  RecordingPlatform platform(kShippedFolder);
  Bus bus(platform);
  bus.Interface = BusInterface::VIRTUAL;
  int32_t deviceIndex = 3;  // only the file's Index value resets it
  LoadSettings(bus, deviceIndex);
  EXPECT_EQ(bus.Interface, BusInterface::USB);
  EXPECT_EQ(deviceIndex, 0);
  EXPECT_EQ(std::vector<uint8_t>(bus.IpAddress.begin(), bus.IpAddress.begin() + 4),
            (std::vector<uint8_t>{192, 168, 1, 100}));
  EXPECT_EQ(bus.Port, 5000);
  EXPECT_EQ(bus.NetTimeoutMs, 10000);
  EXPECT_EQ(platform.OutText(), "\n");
}

// Installing the table file must not change which instruments are refused:
// it holds exactly the built-in table, group by group and in order.
TEST(ShippedLimitsTable, HoldsExactlyTheBuiltInTable) {
  UpdateLimits shipped;
  std::ostringstream warnings;
  ASSERT_EQ(LoadLimitsFile(kShippedFolder + "/FirmwareUpdateLimit.csv", shipped, warnings),
            kResultOk);
  EXPECT_EQ(warnings.str(), "");

  UpdateLimits builtIn;
  ASSERT_TRUE(LoadBuiltInLimits(builtIn));
  EXPECT_EQ(Pairs(shipped.RB), Pairs(builtIn.RB));
  EXPECT_EQ(Pairs(shipped.KT), Pairs(builtIn.KT));
  EXPECT_EQ(Pairs(shipped.VQ), Pairs(builtIn.VQ));
}

}  // namespace
}  // namespace vesk
