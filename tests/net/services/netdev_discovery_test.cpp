// Device lists heard from a peer instrument behind a veth pair inside the
// test's private network namespace.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <vector>

#include "net/services/discovery_datagram.h"
#include "net/services/host_udp_socket.h"
#include "net/services/network_discovery.h"
#include "netdev_peer_fixture.h"
#include "vesk/netdev.h"

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::kHostAddress;

constexpr DiscoveryTiming kShortWindow{400ms};
constexpr uint8_t kUntouched = 0xEE;

// The caller's areas, filled with a marker so that writes show.
struct ListAreas {
  uint8_t count = kUntouched;
  std::vector<uint8_t> records = std::vector<uint8_t>(kNetDeviceListBytes, kUntouched);
  std::array<uint8_t, 4> localAddress{kUntouched, kUntouched, kUntouched, kUntouched};
  std::array<uint8_t, 4> subnetMask{kUntouched, kUntouched, kUntouched, kUntouched};
  DeviceListOutput Output() {
    return {&count, records.data(), localAddress.data(), subnetMask.data()};
  }
};

using NetdevDiscovery = test::PeerNetworkTest;

TEST_F(NetdevDiscovery, TwoRecordsAreListedWhetherBroadcastOrSentToTheHostAddress) {
  for (const char* announceTo : {"", kHostAddress}) {
    SCOPED_TRACE(*announceTo ? "unicast" : "broadcast");
    NetdevPeerOptions options;
    options.recordCount = 2;
    options.announceTo = announceTo;
    auto peer = Peer(options);
    ASSERT_NE(peer, nullptr);
    ListAreas areas;
    EXPECT_EQ(GetNetworkDeviceList(Addresses({kHostAddress}), kShortWindow, areas.Output()), 0);
    EXPECT_EQ(areas.count, 2);
    const uint8_t first[4] = {192, 168, 7, 2};
    const uint8_t second[4] = {192, 168, 7, 3};
    auto expected = BuildNetDeviceRecord(options.idLow, options.idHigh, first);
    auto more = BuildNetDeviceRecord(options.idLow + 1, options.idHigh, second);
    expected.insert(expected.end(), more.begin(), more.end());
    expected.resize(kNetDeviceListBytes, 0);
    EXPECT_EQ(areas.records, expected);
    EXPECT_EQ(areas.localAddress, (std::array<uint8_t, 4>{192, 168, 7, 1}));
    EXPECT_EQ(areas.subnetMask, (std::array<uint8_t, 4>{255, 255, 255, 0}));
  }
}

TEST_F(NetdevDiscovery, FaultyListIsRefusedWithoutTouchingTheOutputs) {
  using Fault = NetdevPeerOptions::ListFault;
  const std::pair<Fault, const char*> cases[] = {
      {Fault::kBadCrc, "one CRC byte changed"},
      {Fault::kCountBeyondDatagram, "count larger than the datagram"},
      {Fault::kCountAbove64, "65 records with a matching CRC"},
  };
  for (const auto& [fault, what] : cases) {
    SCOPED_TRACE(what);
    NetdevPeerOptions options;
    options.recordCount = 2;
    options.listFault = fault;
    auto peer = Peer(options);
    ASSERT_NE(peer, nullptr);
    ListAreas areas;
    EXPECT_EQ(GetNetworkDeviceList(Addresses({kHostAddress}), kShortWindow, areas.Output()),
              VESK_NETDEV_BAD_LIST);
    EXPECT_EQ(areas.count, 0);
    EXPECT_EQ(areas.records, std::vector<uint8_t>(kNetDeviceListBytes, 0));
    EXPECT_EQ(areas.localAddress[0], kUntouched);
    EXPECT_EQ(areas.subnetMask[0], kUntouched);
  }
}

TEST_F(NetdevDiscovery, SilenceForTheFullTwoSecondsIsATimeout) {
  ListAreas areas;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(GetNetworkDeviceList(Addresses({kHostAddress}), DiscoveryTiming{}, areas.Output()),
            VESK_NETDEV_TIMEOUT);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 2000ms);
  EXPECT_LT(elapsed, 3000ms);
  EXPECT_EQ(areas.count, 0);
  EXPECT_EQ(areas.localAddress[0], kUntouched);
}

TEST_F(NetdevDiscovery, OneAddressHearingAListOutweighsAnotherTimingOut) {
  auto peer = Peer(NetdevPeerOptions{});
  ASSERT_NE(peer, nullptr);
  ListAreas areas;
  // The loopback's 192.168.1.100 hears nothing and times out.
  EXPECT_EQ(GetNetworkDeviceList(Addresses({"192.168.1.100", kHostAddress}), kShortWindow,
                                 areas.Output()),
            0);
  EXPECT_EQ(areas.count, 1);
  EXPECT_EQ(areas.localAddress, (std::array<uint8_t, 4>{192, 168, 7, 1}));
}

TEST_F(NetdevDiscovery, NoListenerAbleToStartIsASocketFailureNotAnEmptyNetwork) {
  asio::io_context io;
  HostUdpSocket occupant(io);
  ASSERT_EQ(occupant.Open(kHostAddress, kDiscoveryPort, false, 0), kResultOk);
  ListAreas areas;
  EXPECT_EQ(GetNetworkDeviceList(Addresses({kHostAddress}), kShortWindow, areas.Output()),
            VESK_NETDEV_SOCKET_FAILED);
  EXPECT_EQ(areas.count, 0);
}

TEST_F(NetdevDiscovery, HostWithoutAddressesListsNothingSuccessfully) {
  ListAreas areas;
  EXPECT_EQ(GetNetworkDeviceList(Addresses({}), kShortWindow, areas.Output()), 0);
  EXPECT_EQ(areas.count, 0);
  EXPECT_EQ(areas.records, std::vector<uint8_t>(kNetDeviceListBytes, 0));
}

}  // namespace
}  // namespace vesk
