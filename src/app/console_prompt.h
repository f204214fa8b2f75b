#pragma once

#include <string>

#include "common/platform.h"

namespace vesk {

// Writes `prompt` as it is (no line end added), then reads one character:
// a line end, any key, or the end of input all continue.
void WaitForEnter(Platform& platform, const std::string& prompt);

}  // namespace vesk
