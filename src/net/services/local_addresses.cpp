#include "net/services/local_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "vesk/netdev.h"

namespace vesk {

namespace {

constexpr size_t kHostNameBufferBytes = 1024;

// The IPv4 address of an interface entry in host order, if it has one.
bool EntryAddress(const sockaddr* address, uint32_t& number) {
  if (address == nullptr || address->sa_family != AF_INET) return false;
  number = ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
  return true;
}

// The host address as a number, or false when the text is not a dotted
// IPv4 address (the resolver's texts always are).
bool ParseStrict(const std::string& text, uint32_t& number) {
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  number = ntohl(parsed.s_addr);
  return true;
}

}  // namespace

ResultCode ListLocalIpv4Addresses(std::vector<std::string>& addresses) {
  addresses.clear();
  std::array<char, kHostNameBufferBytes> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return VESK_NETDEV_HOST_NAME_FAILED;
  addrinfo hints{};
  hints.ai_flags = AI_ADDRCONFIG;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* results = nullptr;
  if (getaddrinfo(name.data(), nullptr, &hints, &results) != 0) return VESK_NETDEV_RESOLVE_FAILED;
  for (addrinfo* it = results; it != nullptr; it = it->ai_next) {
    if (it->ai_family != AF_INET) continue;
    std::array<char, INET_ADDRSTRLEN> text{};
    const auto* address = reinterpret_cast<const sockaddr_in*>(it->ai_addr);
    if (inet_ntop(AF_INET, &address->sin_addr, text.data(), text.size()) != nullptr) {
      addresses.emplace_back(text.data());
    }
  }
  freeaddrinfo(results);
  return kResultOk;
}

uint32_t Ipv4TextToNumber(const std::string& text) {
  uint32_t result = 0;
  uint32_t part = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      part = part * 10 + static_cast<uint32_t>(c - '0');
    } else {
      result = result * 256 + part;
      part = 0;
    }
  }
  return result * 256 + part;
}

void WriteAddressBytes(uint32_t number, uint8_t* destination) {
  for (int i = 0; i < 4; ++i) destination[i] = static_cast<uint8_t>(number >> (24 - 8 * i));
}

void LookupSubnetMask(const std::string& hostAddress, uint8_t* destination,
                      std::atomic<uint32_t>& flags) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    flags.fetch_or(kListenFlagAddressReportFailed);
    return;
  }
  uint32_t wanted = 0;
  if (ParseStrict(hostAddress, wanted)) {
    for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
      uint32_t address = 0;
      uint32_t mask = 0;
      if (EntryAddress(it->ifa_addr, address) && address == wanted &&
          EntryAddress(it->ifa_netmask, mask)) {
        WriteAddressBytes(mask, destination);
        break;
      }
    }
  }
  freeifaddrs(list);
}

std::string InterfaceOwningAddress(const std::string& hostAddress) {
  uint32_t wanted = 0;
  if (!ParseStrict(hostAddress, wanted)) return {};
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return {};
  std::string exact;
  std::string containing;
  for (ifaddrs* it = list; it != nullptr && exact.empty(); it = it->ifa_next) {
    uint32_t address = 0;
    uint32_t mask = 0;
    if (!EntryAddress(it->ifa_addr, address) || it->ifa_name == nullptr) continue;
    if (address == wanted) {
      exact = it->ifa_name;
    } else if (containing.empty() && EntryAddress(it->ifa_netmask, mask) &&
               (address & mask) == (wanted & mask)) {
      containing = it->ifa_name;
    }
  }
  freeifaddrs(list);
  return exact.empty() ? containing : exact;
}

}  // namespace vesk
