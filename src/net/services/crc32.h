#pragma once

#include <cstdint>
#include <span>

namespace vesk {

// The checksum that protects device lists and address-assignment messages:
// CRC-32 of IEEE 802.3 as zlib computes it ("123456789" gives 0xCBF43926).
uint32_t Crc32(std::span<const uint8_t> bytes);

}  // namespace vesk
