#include "catalog/update_limits.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/temp_folder.h"

namespace vesk {
namespace {

using test::TempFolder;

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs AsPairs(const std::vector<LimitPair>& list) {
  Pairs pairs;
  for (const LimitPair& pair : list) pairs.emplace_back(pair.First, pair.Second);
  return pairs;
}

struct FileCase {
  std::string Title;
  std::string Content;
  Pairs RB;
  Pairs KT;
  Pairs VQ;
  std::string Warnings;
};

TEST(LoadLimitsFile, ReadsGroupsAndPairsLineByLineAndWarnsAboutPairsWithoutSecondText) {
  const FileCase cases[] = {
      {"example table",
       "VQ\n0.55.56,0.55.22\n0.55.54 , 0.55.22\n\nKT\nnone,none\n",
       {},
       {{"none", "none"}},
       {{"0.55.56", "0.55.22"}, {"0.55.54", "0.55.22"}},
       ""},
      {"group names with blanks and tabs around them count; CRLF line ends",
       "  RB\t\r\nall,all\r\n\r\n\tKT \r\nx,none\r\ny,\r\n",
       {{"all", "all"}},
       {{"x", "none"}},
       {},
       "Warning: Invalid version format for the KT group: y,\n"},
      {"lower-case group name is a data line without a comma inside a group",
       "vq\n0.1.2,0.1.3\nVQ\nvq\n",
       {},
       {},
       {},
       "Warning: Invalid version format for the VQ group: vq\n"},
      {"a group name followed by a comma is data", "VQ\nVQ,1\n", {}, {}, {{"VQ", "1"}}, ""},
      {"the second text runs to the line end, commas included",
       "VQ\n0.55.56,0.55.22,x\n",
       {},
       {},
       {{"0.55.56", "0.55.22,x"}},
       ""},
      {"a comma that ends the line warns; a comma followed by blanks gives an empty text",
       "KT\n0.55.56,\n0.55.56,   \n ,x\nnone\n",
       {},
       {{"0.55.56", ""}, {"", "x"}},
       {},
       "Warning: Invalid version format for the KT group: 0.55.56,\n"
       "Warning: Invalid version format for the KT group: none\n"},
      {"an empty line ends the group so the pairs after it are ignored silently",
       "VQ\n\n0.55.56,0.55.22\n",
       {},
       {},
       {},
       ""},
      {"a group may come back and continue its list; last line without line feed",
       "RB\na,b\n\nKT\nc,d\nRB\ne,f",
       {{"a", "b"}, {"e", "f"}},
       {{"c", "d"}},
       {},
       ""},
      {"empty file", "", {}, {}, {}, ""},
  };
  TempFolder folder;
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.Title);
    std::string path = folder.Write("FirmwareUpdateLimit.csv", c.Content);
    UpdateLimits limits;
    std::ostringstream err;
    EXPECT_EQ(LoadLimitsFile(path, limits, err), kResultOk);
    EXPECT_EQ(AsPairs(limits.RB), c.RB);
    EXPECT_EQ(AsPairs(limits.KT), c.KT);
    EXPECT_EQ(AsPairs(limits.VQ), c.VQ);
    EXPECT_EQ(err.str(), c.Warnings);
  }
}

TEST(LoadLimitsFile, AFileThatCannotBeOpenedGivesMinus999AndLeavesTheTableAlone) {
  TempFolder folder;
  folder.MakeFolder("FirmwareUpdateLimit.csv");
  for (const std::string& path :
       {folder.Path() + "/absent.csv", folder.Path() + "/FirmwareUpdateLimit.csv"}) {
    SCOPED_TRACE(path);
    UpdateLimits limits;
    limits.KT.push_back({"all", "all"});
    std::ostringstream err;
    EXPECT_EQ(LoadLimitsFile(path, limits, err), kResultLimitsFileMissing);
    EXPECT_EQ(AsPairs(limits.KT), (Pairs{{"all", "all"}}));
    EXPECT_TRUE(limits.RB.empty());
    EXPECT_TRUE(limits.VQ.empty());
    EXPECT_EQ(err.str(), "");
  }
}

TEST(LoadBuiltInLimits, BlocksKtAndPermitsTheKnownVqCombinations) {
  UpdateLimits limits;
  EXPECT_TRUE(LoadBuiltInLimits(limits));
  EXPECT_EQ(AsPairs(limits.RB), (Pairs{{"all", "all"}}));
  EXPECT_TRUE(KtUpdatesBlocked(limits));
  ASSERT_EQ(limits.VQ.size(), 13u);
  EXPECT_EQ(AsPairs(limits.VQ).front(),
            (std::pair<std::string, std::string>{"0.55.56", "0.55.22"}));
  EXPECT_EQ(AsPairs(limits.VQ).back(), (std::pair<std::string, std::string>{"0.55.38", "0.55.15"}));
  EXPECT_TRUE(VqCombinationPermitted(limits, {0, 55, 48}, {0, 55, 17}));
  EXPECT_TRUE(VqCombinationPermitted(limits, {0, 55, 45}, {0, 55, 15}));
  EXPECT_FALSE(VqCombinationPermitted(limits, {0, 55, 56}, {0, 55, 18}));
  EXPECT_FALSE(VqCombinationPermitted(limits, {0, 55, 57}, {0, 55, 22}));
}

struct KtCase {
  Pairs KT;
  bool Blocked;
};

TEST(KtUpdatesBlocked, BlocksWhenAnyKtPairHoldsNoneOnEitherSide) {
  const KtCase cases[] = {
      {{}, false},
      {{{"all", "all"}}, false},
      {{{"none", "x"}}, true},
      {{{"x", "none"}}, true},
      {{{"all", "all"}, {"x", "none"}}, true},
      {{{"None", "NONE"}}, false},
  };
  for (const KtCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.KT));
    UpdateLimits limits;
    for (const auto& [first, second] : c.KT) limits.KT.push_back({first, second});
    limits.VQ.push_back({"none", "none"});
    EXPECT_EQ(KtUpdatesBlocked(limits), c.Blocked);
  }
}

TEST(VqCombinationPermitted, ComparesVersionTextsExactly) {
  UpdateLimits limits;
  limits.VQ.push_back({"0.55.056", "0.55.22"});
  limits.VQ.push_back({"0.55.56", "0.55.21"});
  limits.KT.push_back({"0.55.56", "0.55.22"});
  EXPECT_FALSE(VqCombinationPermitted(limits, {0, 55, 56}, {0, 55, 22}));
  EXPECT_TRUE(VqCombinationPermitted(limits, {0, 55, 56}, {0, 55, 21}));
  EXPECT_FALSE(VqCombinationPermitted(UpdateLimits{}, {0, 0, 0}, {0, 0, 0}));
}

}  // namespace
}  // namespace vesk
