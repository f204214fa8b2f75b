#pragma once

#include <cstdint>
#include <string>

#include "common/platform.h"
#include "common/result_code.h"

namespace vesk {

// The FPGA image always has this size; a raw file is padded with 0xFF.
inline constexpr uint32_t kFpgaImageSize = 3932160;
inline constexpr uint32_t kFpgaPacketSize = 197;

// Writes a new FPGA image (from a raw ".rpd" file or the image inside a jic
// file) into the instrument's configuration flash, then restarts it. Opens
// and closes a link of its own.
ResultCode RunFpgaUpdate(Platform& host, int32_t deviceIndex, const std::string& path);

}  // namespace vesk
