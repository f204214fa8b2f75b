// Runs a command against the real exported functions inside a private
// network: a new network namespace joined by a veth pair to a peer
// instrument, and a host name that resolves to exactly the host side of the
// pair. Exits 77 (skipped) when such a network cannot be made.
//
//   netdev_private_run COMMAND [ARGS...]

#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "netdev_peer_network.h"
#include "support/private_network.h"

extern char** environ;

namespace {

constexpr int kSkipped = 77;
constexpr int kFailed = 1;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: netdev_private_run COMMAND [ARGS...]\n");
    return kFailed;
  }
  std::string why;
  if (!vesk::test::EnterPrivateNetworkNamespace(why)) {
    std::fprintf(stderr, "SKIPPED: %s\n", why.c_str());
    return kSkipped;
  }
  // A numeric host name resolves to itself without any hosts file.
  if (unshare(CLONE_NEWUTS) != 0 ||
      sethostname(vesk::test::kHostAddress, std::strlen(vesk::test::kHostAddress)) != 0) {
    std::fprintf(stderr, "SKIPPED: cannot give the private network its own host name\n");
    return kSkipped;
  }
  vesk::test::PeerNetwork* network = vesk::test::SharedPeerNetwork(why);
  if (network == nullptr) {
    std::fprintf(stderr, "SKIPPED: %s\n", why.c_str());
    return kSkipped;
  }
  vesk::NetdevPeerOptions options;
  options.recordCount = 2;
  auto peer = vesk::test::StartPeer(*network, options, why);
  if (peer == nullptr) {
    std::fprintf(stderr, "cannot start the peer instrument: %s\n", why.c_str());
    return kFailed;
  }
  pid_t child = 0;
  if (posix_spawnp(&child, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
    std::fprintf(stderr, "cannot run %s\n", argv[1]);
    return kFailed;
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) return kFailed;
  return WIFEXITED(status) ? WEXITSTATUS(status) : kFailed;
}
