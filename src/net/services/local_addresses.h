#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/result_code.h"

namespace vesk {

// Where the network device services learn the host's IPv4 addresses, as
// dotted texts in the order they are to be tried. The exported functions use
// ListLocalIpv4Addresses; tests pass the addresses of their private network.
using HostAddressSource = std::function<ResultCode(std::vector<std::string>& addresses)>;

// The host's own name resolved by the system resolver (address-configured,
// any family, stream, TCP); IPv4 results in resolver order, duplicates kept.
// Fails with VESK_NETDEV_HOST_NAME_FAILED or VESK_NETDEV_RESOLVE_FAILED.
ResultCode ListLocalIpv4Addresses(std::vector<std::string>& addresses);

// Dotted text to a number with the first part most significant. The text is
// not validated: a part above 255 runs into the next byte.
uint32_t Ipv4TextToNumber(const std::string& text);

// The address number as 4 bytes, first dotted part first.
void WriteAddressBytes(uint32_t number, uint8_t* destination);

// Writes the netmask of the interface address equal to `hostAddress` into
// `destination` (4 bytes, first part first); leaves it unchanged when no
// interface has that address. When the interface list cannot be read, sets
// the address-report bit (4) in `flags` and leaves the destination unchanged.
void LookupSubnetMask(const std::string& hostAddress, uint8_t* destination,
                      std::atomic<uint32_t>& flags);

// Bit of the listener flag word that a failed interface list sets.
inline constexpr uint32_t kListenFlagAddressReportFailed = 4;

// Name of the interface that owns `hostAddress`: the interface with exactly
// that address, else the one whose subnet contains it (a resolver may give
// 127.0.1.1 for a loopback configured as 127.0.0.1/8). Empty when none does.
std::string InterfaceOwningAddress(const std::string& hostAddress);

}  // namespace vesk
