#pragma once

#include <cstdint>
#include <string>

#include "catalog/model_table.h"
#include "catalog/update_limits.h"

namespace vesk {

// The program-wide state: set by the entry from the command line, the limits
// file and the model table before the update run starts, and only read
// afterwards (except ServerDeviceType, which the device-server update sets).
struct ProgramState {
  bool ForceUpdate = false;      // "-F" / "-f": write images even at equal versions
  bool NoLimit = false;          // "nolimit": skip the permitted-version tests
  std::string TargetDriverType;  // "vesk", "cypress" or empty (second argument)
  bool LimitsFromFile = true;
  bool BuiltInLimitsLoaded = false;
  ModelCodeMap ModelTable;
  vesk::UpdateLimits UpdateLimits;
  int32_t DeviceIndex = 0;        // which USB instrument, from Settings.ini
  int32_t ServerDeviceType = 0;   // the device server's answer: 0 KT, 1 VQ, 2 VQZ, -1000 silent
};

}  // namespace vesk
