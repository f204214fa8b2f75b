#include "catalog/firmware_version.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

enum class Outcome { Word, FormatError, RangeError };

struct ParseCase {
  std::string Text;
  Outcome Expected;
  uint32_t Word;        // when Expected is Word
  std::string Message;  // otherwise
};

TEST(ParseVersion, ReadsStrictTriplesAndReportsEachFaultWithItsKindAndText) {
  const ParseCase cases[] = {
      {"0.55.56", Outcome::Word, 0x3738, ""},
      {"0.55.3", Outcome::Word, 0x3703, ""},
      {"65535.255.255", Outcome::Word, 0xFFFFFFFF, ""},
      {" 1.2.3", Outcome::Word, 0x10203, ""},
      {"+1.2.3", Outcome::Word, 0x10203, ""},
      {"\t1. 2.+3", Outcome::Word, 0x10203, ""},
      {"-0.0.1", Outcome::Word, 1, ""},
      {"65536.0.0", Outcome::RangeError, 0, "x exceeds limit"},
      {"1.256.0", Outcome::RangeError, 0, "y exceeds limit"},
      {"1.2.256", Outcome::RangeError, 0, "z exceeds limit"},
      {"-1.0.0", Outcome::RangeError, 0, "x exceeds limit"},
      {"1.-1.0", Outcome::RangeError, 0, "y exceeds limit"},
      {"4294967296.0.0", Outcome::RangeError, 0, "stoul argument out of range"},
      {"-4294967296.0.0", Outcome::RangeError, 0, "stoul argument out of range"},
      {"99999999999999999999999.0.0", Outcome::RangeError, 0, "stoul argument out of range"},
      {"4294967295.0.0", Outcome::RangeError, 0, "x exceeds limit"},
      {"1.2", Outcome::FormatError, 0, "Invalid format: must be x.y.z"},
      {"", Outcome::FormatError, 0, "Invalid format: must be x.y.z"},
      {"1.2.3.4", Outcome::FormatError, 0, "Invalid character"},
      {"1.2.3a", Outcome::FormatError, 0, "Invalid character"},
      {"1 .2.3", Outcome::FormatError, 0, "Invalid character"},
      {"1..3", Outcome::FormatError, 0, "invalid stoul argument"},
      {"1.2.", Outcome::FormatError, 0, "invalid stoul argument"},
      {"+.2.3", Outcome::FormatError, 0, "invalid stoul argument"},
      {"0x1.2.3", Outcome::FormatError, 0, "Invalid character"},
      // The first failing part decides, even when a later part is worse.
      {"1.999.x", Outcome::RangeError, 0, "y exceeds limit"},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE("text \"" + c.Text + "\"");
    try {
      uint32_t word = ParseVersion(c.Text);
      EXPECT_EQ(c.Expected, Outcome::Word);
      EXPECT_EQ(word, c.Word);
    } catch (const VersionFormatError& e) {
      EXPECT_EQ(c.Expected, Outcome::FormatError);
      EXPECT_EQ(std::string(e.what()), c.Message);
    } catch (const VersionRangeError& e) {
      EXPECT_EQ(c.Expected, Outcome::RangeError);
      EXPECT_EQ(std::string(e.what()), c.Message);
    }
  }
}

TEST(PackVersion, PacksMajorMinorPatchIntoOneWordAndFormatsThemDotted) {
  EXPECT_EQ(PackVersion(0, 55, 3), 0x3703u);
  EXPECT_EQ(PackVersion(1, 2, 3), 0x10203u);
  EXPECT_EQ(FormatVersion(0, 55, 56), "0.55.56");
  EXPECT_EQ(FormatVersion(FirmwareVersion::FromPacked(0xFFFF0A00)), "65535.10.0");
}

struct PathCase {
  std::string Path;
  std::string Text;
  std::vector<uint16_t> Numbers;
};

TEST(ReadPathVersion, TakesTheFirstDottedTripleAfterTheFirstFirmwareWord) {
  const PathCase cases[] = {
      {"/opt/vesk/data/Firmware/T70_R4_0.55.56.bin", "0.55.56", {0, 55, 56}},
      {"C:\\vesk\\data\\Firmware\\T70_R4_0.55.56.bin", "0.55.56", {0, 55, 56}},
      {"/opt/vesk/data/Firmware/T70_R4_0.55.056.bin", "0.55.056", {0, 55, 56}},
      {"/opt/Firmware 1.2.3/data/Firmware/T70_R4_0.55.56.bin", "1.2.3", {1, 2, 3}},
      {"/opt/1.2.3/data/Firmware/T70_R4_0.55.56.bin", "0.55.56", {0, 55, 56}},
      {"/opt/vesk/data/Firmware/CX3_vesk_1.2.3.4.img", "1.2.3", {1, 2, 3}},
      {"/opt/vesk/data/Firmware/x_65537.2.70000.bin", "65537.2.70000", {1, 2, 4464}},
      {"/opt/vesk/data/Firmware5.6.7", "5.6.7", {5, 6, 7}},
      {"/opt/vesk/data/firmware/T70_R4_0.55.56.bin", "", {}},
      {"/opt/vesk/data/Firmware", "", {}},
      {"/opt/vesk/data/Firmware/", "", {}},
      {"/opt/vesk/data/Firmware/T70_R4_0.55.bin", "", {}},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.Path);
    PathVersion version = ReadPathVersion(c.Path);
    EXPECT_EQ(version.Text, c.Text);
    EXPECT_EQ(version.Numbers, c.Numbers);
  }
}

TEST(ReadPathVersion, ReportsANumberBeyondTheSigned32BitRangeAsOutOfRange) {
  EXPECT_EQ(ReadPathVersion("/d/Firmware/x_2147483647.0.0.bin").Numbers,
            (std::vector<uint16_t>{0xFFFF, 0, 0}));
  EXPECT_THROW(ReadPathVersion("/d/Firmware/x_2147483648.0.0.bin"), std::out_of_range);
}

struct SplitCase {
  std::string Text;
  std::vector<int32_t> Numbers;
};

TEST(SplitVersionNumbers, ReadsEachDottedPieceLeniently) {
  const SplitCase cases[] = {
      {"", {}},
      {"1.2.3", {1, 2, 3}},
      {"1.2.", {1, 2}},
      {"1..2", {1, 0, 2}},
      {"V1.2", {0, 2}},
      {"3rc1.4", {3, 4}},
      {" -5.+6", {-5, 6}},
      {"2147483647.2147483648.-2147483648.-2147483649", {2147483647, 0, -2147483647 - 1, 0}},
      {".", {0}},
      {"3", {3}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE("text \"" + c.Text + "\"");
    EXPECT_EQ(SplitVersionNumbers(c.Text), c.Numbers);
  }
}

struct CompareCase {
  std::string Left;
  std::string Right;
  int Sign;
};

TEST(CompareVersionLists, OrdersByFirstDifferingPositionWithMissingPositionsAsZero) {
  const CompareCase cases[] = {
      {"1.2", "1.2.0", 0}, {"1.10", "1.9", 1}, {"2", "1.99.99", 1},   {"1.2", "1.2.1", -1},
      {"", "0.0", 0},      {"-1", "0", -1},    {"1.2.3", "1.2.3", 0}, {"0.9", "1", -1},
  };
  for (const CompareCase& c : cases) {
    SCOPED_TRACE(c.Left + " vs " + c.Right);
    std::vector<int32_t> left = SplitVersionNumbers(c.Left);
    std::vector<int32_t> right = SplitVersionNumbers(c.Right);
    int forward = CompareVersionLists(left, right);
    int backward = CompareVersionLists(right, left);
    EXPECT_EQ((forward > 0) - (forward < 0), c.Sign);
    EXPECT_EQ((backward > 0) - (backward < 0), -c.Sign);
  }
}

}  // namespace
}  // namespace vesk
