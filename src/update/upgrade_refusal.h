#pragma once

#include <iosfwd>

namespace vesk {

// The sentence with which the MCU and GNSS procedures refuse an instrument
// or a file; the procedure then ends with -301.
void PrintUpgradeRefused(std::ostream& out);

}  // namespace vesk
