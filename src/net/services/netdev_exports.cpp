// The exported C functions: fixed timings, the host's real addresses, and no
// C++ exception past the boundary.

#include <new>

#include "net/services/address_assignment.h"
#include "net/services/local_addresses.h"
#include "net/services/network_discovery.h"
#include "vesk/netdev.h"

namespace {

// Runs `body`; anything it throws becomes a result code.
template <typename Body>
int32_t Guarded(Body body) {
  try {
    return body();
  } catch (...) {
    return VESK_NETDEV_INTERNAL_ERROR;
  }
}

}  // namespace

extern "C" {

int32_t Device_GetNetworkDeviceList(uint8_t* count, uint8_t* records, uint8_t* localAddress,
                                    uint8_t* subnetMask) {
  if (count == nullptr || records == nullptr || localAddress == nullptr || subnetMask == nullptr) {
    return VESK_NETDEV_INVALID_ARGUMENT;
  }
  return Guarded([&] {
    return vesk::GetNetworkDeviceList(
        vesk::ListLocalIpv4Addresses, vesk::DiscoveryTiming{},
        vesk::DeviceListOutput{count, records, localAddress, subnetMask});
  });
}

int32_t Device_SetNetworkDeviceIP(uint32_t idLow, uint32_t idHigh, const int32_t* firstWord,
                                  const int32_t* secondWord) {
  if (firstWord == nullptr || secondWord == nullptr) return VESK_NETDEV_INVALID_ARGUMENT;
  int32_t first = *firstWord;
  int32_t second = *secondWord;
  return Guarded([&] {
    return vesk::SetNetworkDeviceIp(vesk::ListLocalIpv4Addresses, vesk::AssignmentTiming{}, idLow,
                                    idHigh, first, second);
  });
}

int32_t Device_SetNetworkDeviceIP_PM1(const uint8_t* currentAddress, const int32_t* firstWord,
                                      const int32_t* secondWord) {
  if (currentAddress == nullptr || firstWord == nullptr || secondWord == nullptr) {
    return VESK_NETDEV_INVALID_ARGUMENT;
  }
  int32_t first = *firstWord;
  int32_t second = *secondWord;
  return Guarded([&] {
    return vesk::SetNetworkDeviceIpAtAddress(vesk::ListLocalIpv4Addresses, vesk::DiscoveryTiming{},
                                             vesk::AssignmentTiming{}, currentAddress, first,
                                             second);
  });
}

}  // extern "C"
