#pragma once

#include <functional>
#include <memory>
#include <string>

#include "netdev_peer.h"

namespace vesk::test {

// A second, empty network namespace joined to the test's private namespace
// by a veth pair: the host side keeps `hostInterface` with `hostCidr`, the
// device side `deviceInterface` with `deviceCidr` inside the new namespace.
// Broadcasts from either side reach only the other. Must be created inside
// the test's own private namespace (vesk_add_netns_test).
class PeerNetwork {
 public:
  PeerNetwork() = default;
  ~PeerNetwork();
  PeerNetwork(const PeerNetwork&) = delete;
  PeerNetwork& operator=(const PeerNetwork&) = delete;

  bool Create(const std::string& hostInterface, const std::string& hostCidr,
              const std::string& deviceInterface, const std::string& deviceCidr, std::string& why);

  // Runs `work` on a thread inside the device namespace and waits for it.
  // Sockets opened there stay in that namespace when used from elsewhere.
  bool RunInside(const std::function<void()>& work);

 private:
  int namespaceFd_ = -1;
  std::string hostInterface_;
};

// Addresses of the test network: the host side of the veth pair, its mask,
// and the instrument side.
inline constexpr const char* kHostInterface = "vhost0";
inline constexpr const char* kDeviceInterface = "vdev0";
inline constexpr const char* kHostAddress = "192.168.7.1";
inline constexpr const char* kDeviceAddress = "192.168.7.2";

// Creates the host/instrument network once per process; null on failure.
PeerNetwork* SharedPeerNetwork(std::string& why);

// A peer playing an instrument inside the network's device namespace, on
// its veth end; null (with `why`) when it cannot start.
std::unique_ptr<NetdevPeer> StartPeer(PeerNetwork& network, NetdevPeerOptions options,
                                      std::string& why);

}  // namespace vesk::test
