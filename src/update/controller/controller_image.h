#pragma once

#include <cstdint>
#include <vector>

#include "common/result_code.h"

namespace vesk {

// Checks a USB controller (FX3) boot image before anything is sent: it must
// start with "CY"; an image of the normal firmware type (0xB0 in byte 3) must
// also hold whole sections ending in a zero-length one, followed by the
// checksum of all section words. 0 when it may be written, -310 otherwise.
ResultCode CheckControllerImage(const std::vector<uint8_t>& image);

}  // namespace vesk
