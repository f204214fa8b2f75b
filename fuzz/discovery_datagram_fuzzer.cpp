// Any host on the network can send a datagram to the discovery port.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_check.h"
#include "net/services/discovery_datagram.h"

using vesk::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> datagram(data, size);
  vesk::DiscoveryDatagram parsed;
  if (!vesk::ParseDiscoveryDatagram(datagram, parsed)) return 0;
  Require(parsed.count <= vesk::kMaxNetDeviceRecords, "never more records than a list holds");
  Require(parsed.records.size() == parsed.count * vesk::kNetDeviceRecordBytes,
          "records are whole");
  Require(parsed.records.data() >= data &&
              parsed.records.data() + parsed.records.size() <= data + size,
          "records lie inside the datagram");
  // What an instrument would send for these records is what arrived, up to
  // any trailing bytes.
  std::vector<uint8_t> rebuilt = vesk::BuildDiscoveryDatagram(parsed.records);
  Require(rebuilt.size() <= size && std::equal(rebuilt.begin(), rebuilt.end(), data),
          "an accepted datagram is the one its records make");
  return 0;
}
