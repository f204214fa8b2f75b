#include <gtest/gtest.h>

#include <vector>

#include "app/command_line.h"

namespace vesk {
namespace {

struct ArgumentCase {
  std::vector<const char*> Args;
  bool Force;
  bool NoLimit;
  std::string DriverType;
};

class CommandLineTest : public testing::TestWithParam<ArgumentCase> {};

TEST_P(CommandLineTest, SetsOnlyTheFlagsItsArgumentsNameExactly) {
  const ArgumentCase& c = GetParam();
  std::vector<const char*> argv = {"vesk-updater"};
  argv.insert(argv.end(), c.Args.begin(), c.Args.end());
  ProgramState state;
  ApplyArguments(static_cast<int>(argv.size()), argv.data(), state);
  EXPECT_EQ(state.ForceUpdate, c.Force);
  EXPECT_EQ(state.NoLimit, c.NoLimit);
  EXPECT_EQ(state.TargetDriverType, c.DriverType);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineTest,
    testing::Values(ArgumentCase{{}, false, false, ""},
                    ArgumentCase{{"-f", "1"}, true, false, "cypress"},
                    ArgumentCase{{"-F"}, true, false, ""},
                    ArgumentCase{{"nolimit", "0"}, false, true, "vesk"},
                    ArgumentCase{{"NOLIMIT"}, false, false, ""},
                    ArgumentCase{{"-F "}, false, false, ""},
                    ArgumentCase{{"whatever", "0"}, false, false, "vesk"},
                    ArgumentCase{{"nolimit", "-F"}, false, true, ""},
                    ArgumentCase{{"-f", "2"}, true, false, ""}));

}  // namespace
}  // namespace vesk
