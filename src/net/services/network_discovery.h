#pragma once

#include <chrono>
#include <cstdint>

#include "common/result_code.h"
#include "net/services/local_addresses.h"

namespace vesk {

// How long each host address is listened on for a device list.
struct DiscoveryTiming {
  std::chrono::milliseconds window{2000};
};

// The caller's output areas: `records` holds 2048 bytes, the addresses 4.
struct DeviceListOutput {
  uint8_t* count = nullptr;
  uint8_t* records = nullptr;
  uint8_t* localAddress = nullptr;
  uint8_t* subnetMask = nullptr;
};

// Bits of the flag word that the listeners of one call share.
inline constexpr uint32_t kListenFlagBadList = 1;
inline constexpr uint32_t kListenFlagReceiveFailed = 2;
// kListenFlagAddressReportFailed (4) lives with LookupSubnetMask.
inline constexpr uint32_t kListenFlagTimedOut = 8;
inline constexpr uint32_t kListenFlagAccepted = 16;

// Listens on every host address at once, each on its own thread, and keeps
// the first device list that passes its checks. Clears the records area
// first; writes the count always, the addresses only with an accepted list.
ResultCode GetNetworkDeviceList(const HostAddressSource& hostAddresses,
                                const DiscoveryTiming& timing, const DeviceListOutput& output);

}  // namespace vesk
