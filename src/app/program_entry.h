#pragma once

#include "app/program.h"

namespace vesk {

// The whole program: arguments, banner and notes, limits, the update run,
// the USB controller step (unless the instrument was reached over Ethernet),
// result sentences and the final Enter. Returns the exit status.
int RunProgram(Program& program, int argc, const char* const* argv);

}  // namespace vesk
