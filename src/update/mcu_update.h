#pragma once

#include <cstdint>
#include <string>

#include "bus/bus.h"
#include "common/platform.h"
#include "common/result_code.h"

namespace vesk {

// Replaces the instrument's MCU application firmware from `path` (and, when
// the instrument's boot loader is too old, the boot loader first) through its
// in-application-programming mode. Opens and closes a link of its own.
ResultCode RunMcuUpdate(Platform& host, int32_t deviceIndex, const std::string& path);

// Erases the MCU flash and writes `size` bytes of `path` from `offset` as
// numbered 128-byte blocks, then ends the download.
ResultCode FlashDownload(Bus& bus, const std::string& path, uint32_t offset, uint32_t size);

}  // namespace vesk
