#pragma once

#include "app/program_state.h"

namespace vesk {

// Applies the two optional positional arguments: first "-F"/"-f" (force) or
// "nolimit"; second "0" (vesk) or "1" (cypress) as the controller firmware
// type. Anything else is ignored without a message.
void ApplyArguments(int argc, const char* const* argv, ProgramState& state);

}  // namespace vesk
