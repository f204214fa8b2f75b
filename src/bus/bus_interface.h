#pragma once

#include <cstdint>

namespace vesk {

// Link kind of a Bus. QSFP and HLVDS are accepted by Settings.ini but never
// open; any other stored value is treated like them.
enum class BusInterface : int32_t {
  USB = 0,
  QSFP = 2,
  ETH = 3,
  HLVDS = 4,
  VIRTUAL = 7,
};

}  // namespace vesk
