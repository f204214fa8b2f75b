#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/services/local_addresses.h"
#include "netdev_peer_network.h"

namespace vesk::test {

// Tests against a peer instrument on the far side of the shared veth pair.
class PeerNetworkTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    network_ = SharedPeerNetwork(why);
    ASSERT_NE(network_, nullptr) << why;
  }

  std::unique_ptr<NetdevPeer> Peer(const NetdevPeerOptions& options) {
    std::string why;
    auto peer = StartPeer(*network_, options, why);
    EXPECT_NE(peer, nullptr) << why;
    return peer;
  }

  // Host addresses as the test names them, in place of the host name's.
  static HostAddressSource Addresses(std::vector<std::string> list) {
    return [list](std::vector<std::string>& out) {
      out = list;
      return kResultOk;
    };
  }

  PeerNetwork* network_ = nullptr;
};

}  // namespace vesk::test
