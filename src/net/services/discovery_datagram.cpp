#include "net/services/discovery_datagram.h"

#include <algorithm>
#include <cstring>

#include "common/byte_order.h"
#include "net/services/crc32.h"

namespace vesk {

namespace {

constexpr size_t kCountOffset = 0;
constexpr size_t kRecordsOffset = 1;
constexpr size_t kCrcBytes = 4;

}  // namespace

bool ParseDiscoveryDatagram(std::span<const uint8_t> datagram, DiscoveryDatagram& parsed) {
  if (datagram.size() < kRecordsOffset) return false;
  uint8_t count = datagram[kCountOffset];
  size_t recordBytes = size_t{count} * kNetDeviceRecordBytes;
  if (count > kMaxNetDeviceRecords) return false;
  if (datagram.size() < kRecordsOffset + recordBytes + kCrcBytes) return false;
  auto records = datagram.subspan(kRecordsOffset, recordBytes);
  if (Crc32(records) != GetLe32(datagram.data() + kRecordsOffset + recordBytes)) return false;
  parsed.count = count;
  parsed.records = records;
  return true;
}

std::vector<uint8_t> BuildDiscoveryDatagram(std::span<const uint8_t> records) {
  std::vector<uint8_t> datagram(kRecordsOffset + records.size() + kCrcBytes);
  datagram[kCountOffset] = static_cast<uint8_t>(records.size() / kNetDeviceRecordBytes);
  std::copy(records.begin(), records.end(), datagram.begin() + kRecordsOffset);
  PutLe32(datagram.data() + kRecordsOffset + records.size(), Crc32(records));
  return datagram;
}

std::vector<uint8_t> BuildNetDeviceRecord(uint32_t idLow, uint32_t idHigh,
                                          const uint8_t (&currentAddress)[4]) {
  std::vector<uint8_t> record(kNetDeviceRecordBytes, 0);
  PutLe32(record.data() + kRecordIdLowOffset, idLow);
  PutLe32(record.data() + kRecordIdHighOffset, idHigh);
  std::memcpy(record.data() + kRecordCurrentAddressOffset, currentAddress, 4);
  return record;
}

}  // namespace vesk
