#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "bus/bus.h"
#include "bus/device_info.h"
#include "common/result_code.h"

namespace vesk {

// The instrument's instruction set as the updater speaks it. Each operation
// dispatches on bus.Interface: USB moves a 200-byte request packet, ETH sends
// one transport command, VIRTUAL sends nothing and succeeds, and any other
// link has no instruction path (-1 or -98 as noted).

inline constexpr size_t kRequestPacketSize = 200;
inline constexpr size_t kRxBodySize = 184;
inline constexpr size_t kDeviceRecordSize = 100;

using RxBody = std::array<uint8_t, kRxBodySize>;

// Reads one status byte without sending a request. Other links: -1.
ResultCode ReadStatusByte(Bus& bus, uint8_t& out);

// Sends n data bytes (USB carries at most 198 of them) and reads the echo of
// n. Other links: -1.
ResultCode SendDataBlock(Bus& bus, const uint8_t* data, uint8_t n, uint8_t& echo);

// Sends an instruction with its parameter and a 184-byte body; no reply.
// VIRTUAL reports the instruction on the console. Other links: -98.
ResultCode SendRxInstruction(Bus& bus, uint8_t instruction, uint16_t parameter,
                             const RxBody& body);

// Reads the 100-byte device record (USB only). Other links: -98.
ResultCode ReadDeviceRecord(Bus& bus, std::array<uint8_t, kDeviceRecordSize>& out);

// Reads the instrument's identity and versions. Over USB it also chooses the
// link mode (FastTransfer). Other links: -98.
ResultCode ReadDeviceInfo(Bus& bus, DeviceInfo& out);

// Gives the instrument's reply endpoint bus.ReplyTimeoutMs. Other links: -1.
ResultCode ApplyReplyTimeout(Bus& bus);

// Switches the instrument's MCU into in-application programming. Other: -98.
ResultCode EnterIapMode(Bus& bus);

// Writes one flash block of n (at most 128) bytes with its sequence number.
// Other links: -98.
ResultCode WriteFlashBlock(Bus& bus, const uint8_t* data, uint8_t sequence, uint8_t n);

// The restart pair: instruction 0xF7 with parameter 0, `pause`, then with
// parameter 1. The instrument restarts; callers close the link afterwards.
void RestartPair(Bus& bus, std::chrono::milliseconds pause);

}  // namespace vesk
