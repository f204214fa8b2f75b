#pragma once

#include <cstdint>
#include <string>

#include "catalog/firmware_version.h"
#include "catalog/model_table.h"
#include "common/platform.h"
#include "common/result_code.h"

namespace vesk {

// Which components to write, with their images and new versions.
struct UpdatePlan {
  bool UpdateMcu = false;
  bool UpdateFpga = false;
  std::string McuImagePath;
  std::string FpgaImagePath;
  std::string GnssImagePath;
  uint32_t NewMcuVersion = 0;
  uint32_t NewFpgaVersion = 0;
};

// What planning reads besides the instrument's identity.
struct PlanningContext {
  Platform& Host;
  const ModelCodeMap& ModelTable;
  bool ForceUpdate = false;
  int32_t ServerDeviceType = 0;
};

// Finds the newest images for the instrument, plans the MCU and FPGA images
// whose versions differ from the installed ones (or all with ForceUpdate),
// prints "New ... firmware version: " lines, and returns the code naming the
// images that were not found (0 when all three exist).
ResultCode PlanUpdate(const PlanningContext& context, uint16_t hardwareCode, uint16_t modelCode,
                      const FirmwareVersion& installedMcu, const FirmwareVersion& installedFpga,
                      UpdatePlan& plan);

}  // namespace vesk
