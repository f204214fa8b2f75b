#pragma once

#include <cstdint>
#include <vector>

#include "bus/bus.h"
#include "common/result_code.h"

namespace vesk {

// What the controller update needs from an open USB link.

// The controller's firmware version word from its information reply.
ResultCode UsbReadControllerVersion(Bus& bus, uint32_t& version);

// True when the open device presents Cypress's own identity 0x04B4:0x00F1,
// i.e. the controller runs the "cypress" firmware type.
bool UsbShowsCypressIdentity(const Bus& bus);

// Downloads a controller image into the FX3 (2048-byte vendor requests).
ResultCode UsbDownloadControllerImage(Bus& bus, const std::vector<uint8_t>& image);

}  // namespace vesk
