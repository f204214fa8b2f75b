#pragma once

#include <optional>
#include <string>

#include "app/program_state.h"
#include "app/run_history.h"
#include "bus/bus.h"
#include "common/platform.h"
#include "update/component_sequence.h"

namespace vesk {

// One run of the updater: the host it runs on, its program-wide state and
// its own link to the instrument, which lives as long as the program.
struct Program {
  explicit Program(Platform& platform) : Host(platform), ProgramBus(platform) {}

  Platform& Host;
  ProgramState State;
  Bus ProgramBus;

  // Where the run is recorded for traceability; none: not recorded.
  std::optional<std::string> HistoryFile;
  RunHistory History;
};

// The component procedures for this program's instrument, each attempt
// recorded in the run history.
ComponentDispatcher ProgramDispatcher(Program& program);

}  // namespace vesk
