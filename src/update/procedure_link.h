#pragma once

#include <cstdint>

#include "bus/bus.h"
#include "common/result_code.h"

namespace vesk {

// Opens a procedure's own link: USB first; when that fails, Ethernet to the
// fixed instrument address 192.168.1.100:5000 with a 10 s timeout (these do
// not come from Settings.ini). The caller sets ReplyTimeoutMs beforehand.
// On failure the link is closed again and the result is -1.
ResultCode OpenProcedureBus(Bus& bus, int32_t deviceIndex);

}  // namespace vesk
