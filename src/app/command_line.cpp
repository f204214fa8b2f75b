#include "app/command_line.h"

#include <string>

namespace vesk {

void ApplyArguments(int argc, const char* const* argv, ProgramState& state) {
  if (argc < 2) return;
  const std::string first = argv[1];
  if (first == "-F" || first == "-f") {
    state.ForceUpdate = true;
  } else if (first == "nolimit") {
    state.NoLimit = true;
  }
  if (argc < 3) return;
  const std::string second = argv[2];
  if (second == "0") {
    state.TargetDriverType = "vesk";
  } else if (second == "1") {
    state.TargetDriverType = "cypress";
  }
}

}  // namespace vesk
