#include <gtest/gtest.h>

#include "app/result_messages.h"
#include "catalog/model_table.h"
#include "support/recording_platform.h"
#include "support/temp_folder.h"

namespace vesk {
namespace {

using test::RecordingPlatform;
using test::TempFolder;

struct SentenceCase {
  ResultCode Code;
  std::string Text;
};

class ResultSentenceTest : public testing::TestWithParam<SentenceCase> {};

TEST_P(ResultSentenceTest, DescribesEachCodeWithItsSentence) {
  RecordingPlatform platform;
  Program program(platform);
  std::string text;
  EXPECT_EQ(DescribeResult(program, GetParam().Code, text), GetParam().Code);
  EXPECT_EQ(text, GetParam().Text);
  EXPECT_EQ(platform.OutText(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ResultSentenceTest,
    testing::Values(SentenceCase{-1, "Device not connected."},
                    SentenceCase{-10010, "MCU Firmware is too old to update"},
                    SentenceCase{-10011, "FPGA Firmware is too old to update"},
                    SentenceCase{-10012, "MCU and FPGA Firmware is too old to update"},
                    SentenceCase{-10013, "No MCU firmware is available"},
                    SentenceCase{-10014, "No FPGA firmware is available"},
                    SentenceCase{-10015, "No MCU and FPGA firmware is available"},
                    SentenceCase{-10016, "MCU firmware update failed."},
                    SentenceCase{-10017, "FPGA firmware update failed."},
                    SentenceCase{-10018, "MCU and FPGA firmware update failed."},
                    SentenceCase{-10019, "GNSS firmware update failed."},
                    SentenceCase{-10020, "MCU and GNSS firmware update failed."},
                    SentenceCase{-10021, "FPGA and GNSS firmware update failed."},
                    SentenceCase{-10022, "MCU, FPGA and GNSS firmware update failed."},
                    SentenceCase{-10023, "No GNSS firmware is available"},
                    SentenceCase{-10024, "No MCU and GNSS firmware is available"},
                    SentenceCase{-10025, "No FPGA and GNSS firmware is available"},
                    SentenceCase{-10026, "No MCU, FPGA and GNSS firmware is available"},
                    SentenceCase{-10027, "Other error code: -10027"},
                    SentenceCase{-10028, "Other error code: -10028"},
                    SentenceCase{-10029, "FX3 driver is too old to update"},
                    SentenceCase{-10030, "No FX3 driver is available"},
                    SentenceCase{-10031, "FX3 driver update failed."},
                    SentenceCase{-310, "Other error code: -310"},
                    SentenceCase{5, "Other error code: 5"},
                    SentenceCase{10060, "Other error code: 10060"}));

TEST(ResultSentenceTest, ZeroLeavesTheTextUnchanged) {
  RecordingPlatform platform;
  Program program(platform);
  std::string text = "kept";
  EXPECT_EQ(DescribeResult(program, 0, text), 0);
  EXPECT_EQ(text, "kept");
}

const char kDeviceMap[] =
    "\nDevice Map (Grouped)\n"
    "====================\n"
    "K15 Series:\n"
    "  \xE2\x94\x9C\xE2\x94\x80 K15_R2    : 12\n"
    "  \xE2\x94\x9C\xE2\x94\x80 K15_R3    : 13\n"
    "K250 Series:\n"
    "  \xE2\x94\x9C\xE2\x94\x80 K250_R2   : 22\n"
    "  \xE2\x94\x9C\xE2\x94\x80 K250_R3   : 23\n"
    "  \xE2\x94\x9C\xE2\x94\x80 K250_R4   : 24\n"
    "T70 Series:\n"
    "  \xE2\x94\x9C\xE2\x94\x80 T70_R4    : 54\n"
    "  \xE2\x94\x9C\xE2\x94\x80 T70_R5    : 57\n"
    "T90 Series:\n"
    "  \xE2\x94\x9C\xE2\x94\x80 T90_R5    : 56\n"
    "W500 Series:\n"
    "  \xE2\x94\x9C\xE2\x94\x80 W500_R1   : 91\n"
    "  \xE2\x94\x9C\xE2\x94\x80 W500_R2V2 : 94\n"
    "W55 Series:\n"
    "  \xE2\x94\x9C\xE2\x94\x80 W55_R4    : 55\n"
    "  \xE2\x94\x9C\xE2\x94\x80 W55_R5    : 59\n"
    "W70 Series:\n"
    "  \xE2\x94\x9C\xE2\x94\x80 W70_R4    : 53\n"
    "  \xE2\x94\x9C\xE2\x94\x80 W70_R5    : 58\n"
    "====================\n";

const char kPrompt[] =
    "Unable to update firmware, please input device type or model (e.g. T70_R4 or 54):";
const char kWrongAnswer[] = "Device model input error, please try again.\n\n";

// An unreadable identity: the device map and the manual model entry, run in
// a folder whose firmware folder is empty, so that no component is started.
struct ManualEntry {
  explicit ManualEntry(std::string input) : platform(folder.Path(), std::move(input)), program(platform) {
    folder.MakeFolder("data/Firmware");
    program.State.ModelTable = BuildModelTable();
  }
  TempFolder folder;
  RecordingPlatform platform;
  Program program;
};

TEST(ManualModelEntryTest, FiveWrongAnswersGiveUpWithTheRestartSentence) {
  ManualEntry entry("054 t70_r4 +54 T70 99\n");
  std::string text;
  EXPECT_EQ(DescribeResult(entry.program, kResultTransferFailed, text), kResultTransferFailed);
  EXPECT_EQ(text, "Multiple incorrect inputs, please restart Updater.");
  std::string expected = kDeviceMap;
  for (int i = 0; i < 5; ++i) expected += std::string(kPrompt) + kWrongAnswer;
  EXPECT_EQ(entry.platform.OutText(), expected);
}

TEST(ManualModelEntryTest, EndOfInputCountsAsWrongAnswersInsteadOfWaiting) {
  ManualEntry entry("");
  std::string text;
  EXPECT_EQ(DescribeResult(entry.program, kResultTransferFailed, text), kResultTransferFailed);
  EXPECT_EQ(text, "Multiple incorrect inputs, please restart Updater.");
}

TEST(ManualModelEntryTest, ModelNameOrCodeIsPlannedAndMissingImagesAreReported) {
  for (const char* answer : {"T70_R4\n", "54\n", "nonsense\n54\n"}) {
    ManualEntry entry(answer);
    std::string text;
    EXPECT_EQ(DescribeResult(entry.program, kResultTransferFailed, text), kResultTransferFailed);
    EXPECT_EQ(text, "") << answer;
    const std::string out = entry.platform.OutText();
    EXPECT_NE(out.find(std::string(kPrompt) + "\nNo MCU, FPGA and GNSS firmware is available\n\n"),
              std::string::npos)
        << out;
    // The line end after the answer stays unread for the final Enter.
    EXPECT_EQ(entry.platform.In().get(), '\n');
  }
}

}  // namespace
}  // namespace vesk
