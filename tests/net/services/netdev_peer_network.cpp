#include "netdev_peer_network.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "support/private_network.h"

namespace vesk::test {

namespace {

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

}  // namespace

PeerNetwork::~PeerNetwork() {
  if (!hostInterface_.empty()) Run("ip link del " + hostInterface_ + " 2>/dev/null");
  if (namespaceFd_ >= 0) close(namespaceFd_);
}

bool PeerNetwork::Create(const std::string& hostInterface, const std::string& hostCidr,
                         const std::string& deviceInterface, const std::string& deviceCidr,
                         std::string& why) {
  if (!InPrivateNetworkNamespace()) {
    why = "refusing to add interfaces outside a private network namespace";
    return false;
  }
  // A thread of its own makes the device namespace; the namespace lives on
  // through the descriptor after the thread ends.
  std::thread maker([this] {
    if (unshare(CLONE_NEWNET) == 0) namespaceFd_ = open("/proc/thread-self/ns/net", O_RDONLY);
  });
  maker.join();
  if (namespaceFd_ < 0) {
    why = "cannot create the device namespace";
    return false;
  }
  if (!Run("ip link add " + hostInterface + " type veth peer name " + deviceInterface)) {
    why = "cannot create a veth pair";
    return false;
  }
  hostInterface_ = hostInterface;
  std::string namespacePath =
      "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(namespaceFd_);
  if (!Run("ip link set " + deviceInterface + " netns " + namespacePath) ||
      !Run("ip addr add " + hostCidr + " dev " + hostInterface + " && ip link set " +
           hostInterface + " up")) {
    why = "cannot configure the host side of the veth pair";
    return false;
  }
  bool configured = false;
  RunInside([&] {
    configured = Run("ip link set lo up && ip addr add " + deviceCidr + " dev " + deviceInterface +
                     " && ip link set " + deviceInterface + " up");
  });
  if (!configured) why = "cannot configure the device side of the veth pair";
  return configured;
}

bool PeerNetwork::RunInside(const std::function<void()>& work) {
  bool entered = false;
  std::thread inside([&] {
    if (setns(namespaceFd_, CLONE_NEWNET) != 0) return;
    entered = true;
    work();
  });
  inside.join();
  return entered;
}

PeerNetwork* SharedPeerNetwork(std::string& why) {
  static PeerNetwork network;
  static bool created = network.Create(kHostInterface, std::string(kHostAddress) + "/24",
                                       kDeviceInterface, std::string(kDeviceAddress) + "/24", why);
  if (!created && why.empty()) why = "the test network could not be created";
  return created ? &network : nullptr;
}

std::unique_ptr<NetdevPeer> StartPeer(PeerNetwork& network, NetdevPeerOptions options,
                                      std::string& why) {
  options.interfaceName = kDeviceInterface;
  auto peer = std::make_unique<NetdevPeer>(options);
  bool started = false;
  if (!network.RunInside([&] { started = peer->Start(why); }))
    why = "cannot enter the device namespace";
  return started ? std::move(peer) : nullptr;
}

}  // namespace vesk::test
