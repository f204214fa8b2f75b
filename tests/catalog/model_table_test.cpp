#include "catalog/model_table.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace vesk {
namespace {

TEST(ModelTable, HoldsTheFourteenModelsInByteWiseNameOrder) {
  const std::vector<std::pair<std::string, uint16_t>> expected = {
      {"K15_R2", 12}, {"K15_R3", 13}, {"K250_R2", 22}, {"K250_R3", 23}, {"K250_R4", 24},
      {"T70_R4", 54}, {"T70_R5", 57}, {"T90_R5", 56},  {"W500_R1", 91}, {"W500_R2V2", 94},
      {"W55_R4", 55}, {"W55_R5", 59}, {"W70_R4", 53},  {"W70_R5", 58},
  };
  ModelCodeMap table = BuildModelTable();
  std::vector<std::pair<std::string, uint16_t>> rows(table.begin(), table.end());
  EXPECT_EQ(rows, expected);
}

TEST(ModelCodeOf, GivesZeroForANameThatIsNoModelWithoutAddingIt) {
  ModelCodeMap table = BuildModelTable();
  EXPECT_EQ(ModelCodeOf(table, "W500_R2V2"), 94);
  EXPECT_EQ(ModelCodeOf(table, "t70_r4"), 0);
  EXPECT_EQ(ModelCodeOf(table, "T70"), 0);
  EXPECT_EQ(ModelCodeOf(table, ""), 0);
  EXPECT_EQ(table.size(), 14u);
}

}  // namespace
}  // namespace vesk
