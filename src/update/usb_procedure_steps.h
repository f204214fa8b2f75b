#pragma once

#include <cstdint>

#include "bus/bus.h"
#include "common/result_code.h"

namespace vesk {

// The USB forms of the procedure steps that are not plain instructions:
// each moves its request packets through the FX3 packet exchange.

// MCU flash erase: the erase request, then up to ten more replies until the
// instrument acknowledges with 6.
ResultCode UsbEraseFlash(Bus& bus);
// MCU download end: instruction 0x04, then 0x33.
ResultCode UsbFinishFlash(Bus& bus);
// FPGA start packet and its 0x01 acknowledge (-21 without it).
ResultCode UsbFpgaStart(Bus& bus);
// FPGA end packet.
ResultCode UsbFpgaEnd(Bus& bus);
// GNSS receiver probe: 0 when a receiver answered with a full reply, -301
// when it did not, -8 when the exchange failed.
ResultCode UsbGnssProbe(Bus& bus);
// One GNSS packet: -8 when the exchange failed, -23 for a short reply.
ResultCode UsbGnssPacket(Bus& bus, uint8_t flag, uint8_t n, const uint8_t* data);

}  // namespace vesk
