#pragma once

#include <cstdint>

namespace vesk {

// The instrument's identity as the device-information read returns it.
// Versions are packed: major << 16 | minor << 8 | patch.
struct DeviceInfo {
  uint64_t Uid = 0;
  uint16_t ModelCode = 0;
  uint16_t HardwareCode = 0;  // bits 12-14 choose the GNSS image family
  uint32_t McuVersion = 0;
  uint32_t FpgaVersion = 0;
  uint32_t Reserved = 0;  // filled only over Ethernet; nothing reads it
};

}  // namespace vesk
