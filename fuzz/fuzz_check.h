#pragma once

#include <cstdio>
#include <cstdlib>

namespace vesk::fuzz {

// Stops the run when a property every input must keep does not hold, so that
// libFuzzer records the input like a crash.
inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

}  // namespace vesk::fuzz
