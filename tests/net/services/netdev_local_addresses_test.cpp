// Masks and owning interfaces of host addresses, read from the interface
// list of the test's private network (loopback with 192.168.1.100/32, veth
// host side with 192.168.7.1/24).

#include <gtest/gtest.h>

#include <array>
#include <atomic>

#include "net/services/local_addresses.h"
#include "netdev_peer_fixture.h"

namespace vesk {
namespace {

using LocalAddresses = test::PeerNetworkTest;
using Bytes = std::array<uint8_t, 4>;
constexpr Bytes kUnchanged{0xEE, 0xEE, 0xEE, 0xEE};

TEST_F(LocalAddresses, MaskComesFromTheInterfaceAddressEqualToTheHostAddress) {
  struct Case {
    const char* hostAddress;
    Bytes mask;
  };
  const Case cases[] = {
      {"192.168.7.1", {255, 255, 255, 0}},
      {"192.168.1.100", {255, 255, 255, 255}},
      {"127.0.0.1", {255, 0, 0, 0}},
      {"192.168.1.10", kUnchanged},  // a prefix of 192.168.1.100 is no match
      {"192.168.7.2", kUnchanged},   // the instrument's address, not the host's
      {"", kUnchanged},
  };
  for (const Case& c : cases) {
    Bytes mask = kUnchanged;
    std::atomic<uint32_t> flags{0};
    LookupSubnetMask(c.hostAddress, mask.data(), flags);
    EXPECT_EQ(mask, c.mask) << c.hostAddress;
    EXPECT_EQ(flags.load(), 0u) << c.hostAddress;
  }
}

TEST_F(LocalAddresses, SocketsWorkOnTheInterfaceThatOwnsOrContainsTheAddress) {
  struct Case {
    const char* hostAddress;
    const char* interfaceName;
  };
  const Case cases[] = {
      {"192.168.7.1", test::kHostInterface},
      {"192.168.7.200", test::kHostInterface},  // inside the veth's subnet
      {"127.0.1.1", "lo"},                      // a resolver's loopback name
      {"192.168.1.100", "lo"},
      {"10.20.30.40", ""},
      {"not an address", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InterfaceOwningAddress(c.hostAddress), c.interfaceName) << c.hostAddress;
  }
}

}  // namespace
}  // namespace vesk
