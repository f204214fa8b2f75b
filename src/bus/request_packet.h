#pragma once

#include <array>
#include <cstdint>

#include "bus/instructions.h"

namespace vesk {

// The 200-byte request packet of a USB instruction: byte 0 the instruction,
// its fields after it, all other bytes zero.
using RequestPacket = std::array<uint8_t, kRequestPacketSize>;

// Instruction bytes of the instruction operations.
inline constexpr uint8_t kInstrReadDeviceRecord = 0x09;
inline constexpr uint16_t kDeviceRecordParameter = 0x890C;
inline constexpr uint8_t kInstrIapRequest = 0x0C;
inline constexpr uint8_t kInstrIapConfirm = 0x31;
inline constexpr uint16_t kIapKey = 0x5555;

// Instruction bytes the procedures send besides the instruction operations.
inline constexpr uint8_t kInstrFlashEnd = 0x04;
inline constexpr uint8_t kInstrFlashEndConfirm = 0x33;
inline constexpr uint8_t kInstrGnss = 0x24;
// The second byte of a 0xFF packet, and its third byte for the FPGA.
inline constexpr uint8_t kFpgaStart = 0x01;
inline constexpr uint8_t kFpgaEnd = 0x05;

// An IAP flash block: sequence, its complement, 128 data bytes (zero-filled).
RequestPacket IapBlockPacket(uint8_t sequence, const uint8_t* data, uint8_t n);

// The flash erase request: an IAP block with sequence 0 whose first data
// byte is 0xFF.
RequestPacket FlashErasePacket();

// An instruction byte with its 16-bit parameter, everything else zero.
RequestPacket InstructionPacket(uint8_t instruction, uint16_t parameter = 0);

// The general instruction form: instruction, parameter, a 184-byte body.
RequestPacket RxInstructionPacket(uint8_t instruction, uint16_t parameter, const RxBody& body);

// The first packet of a data block: 0xFE, the count carried (at most 198 of
// the n bytes), the data. Its end is DataControlPacket(n).
RequestPacket DataBlockPacket(const uint8_t* data, uint8_t n);

// 0xFF, 0x01, value: the end of a data block (value = its length) and the
// FPGA start (1) and end (5) packets.
RequestPacket DataControlPacket(uint8_t value);

// A GNSS firmware packet: flag (1 more follow, 2 last), count, data.
RequestPacket GnssPacket(uint8_t flag, uint8_t n, const uint8_t* data);

}  // namespace vesk
