#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "catalog/firmware_version.h"
#include "common/result_code.h"

namespace vesk {

struct LimitPair {
  std::string First;   // VQ: MCU version text
  std::string Second;  // VQ: FPGA version text
};

// Permitted firmware versions per product group, filled once at start.
struct UpdateLimits {
  std::vector<LimitPair> RB;
  std::vector<LimitPair> KT;
  std::vector<LimitPair> VQ;
};

// Reads FirmwareUpdateLimit.csv into `limits`. 0 when the file was read;
// -999 when it cannot be opened (limits unchanged). Warnings go to `err`.
ResultCode LoadLimitsFile(const std::string& path, UpdateLimits& limits, std::ostream& err);

// Reads the table's text from `table` into `limits`; always 0.
ResultCode LoadLimitsFile(std::istream& table, UpdateLimits& limits, std::ostream& err);

// Appends the built-in table; always true.
bool LoadBuiltInLimits(UpdateLimits& limits);

bool KtUpdatesBlocked(const UpdateLimits& limits);
bool VqCombinationPermitted(const UpdateLimits& limits, const FirmwareVersion& mcu,
                            const FirmwareVersion& fpga);

}  // namespace vesk
