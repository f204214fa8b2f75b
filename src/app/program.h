#pragma once

#include "app/program_state.h"
#include "bus/bus.h"
#include "common/platform.h"

namespace vesk {

// One run of the updater: the host it runs on, its program-wide state and
// its own link to the instrument, which lives as long as the program.
struct Program {
  explicit Program(Platform& platform) : Host(platform), ProgramBus(platform) {}

  Platform& Host;
  ProgramState State;
  Bus ProgramBus;
};

}  // namespace vesk
