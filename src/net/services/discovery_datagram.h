#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vesk {

// An instrument announces itself on the host's networks with one UDP
// datagram on this port: a count byte, that many 32-byte device records, and
// a CRC-32 over the records alone.
inline constexpr uint16_t kDiscoveryPort = 50002;
inline constexpr size_t kNetDeviceRecordBytes = 32;
inline constexpr size_t kMaxNetDeviceRecords = 64;
inline constexpr size_t kNetDeviceListBytes = kNetDeviceRecordBytes * kMaxNetDeviceRecords;

// Fields of one `NetDeviceRecord` that the host reads; the rest is handed
// to the caller unchanged.
inline constexpr size_t kRecordIdLowOffset = 0;
inline constexpr size_t kRecordIdHighOffset = 4;
inline constexpr size_t kRecordCurrentAddressOffset = 20;

// A datagram that passed every check: `records` views c × 32 bytes inside
// the received datagram.
struct DiscoveryDatagram {
  uint8_t count = 0;
  std::span<const uint8_t> records;
};

// Checks a received datagram. False when the CRC does not match, or when the
// count claims more records than the datagram carries or than a device list
// can hold (64); such a datagram is never copied.
bool ParseDiscoveryDatagram(std::span<const uint8_t> datagram, DiscoveryDatagram& parsed);

// The datagram an instrument sends for these records (each 32 bytes,
// concatenated). The count byte is records.size() / 32 modulo 256.
std::vector<uint8_t> BuildDiscoveryDatagram(std::span<const uint8_t> records);

// One record with the fields the host reads; the uninterpreted bytes are 0.
std::vector<uint8_t> BuildNetDeviceRecord(uint32_t idLow, uint32_t idHigh,
                                          const uint8_t (&currentAddress)[4]);

}  // namespace vesk
