#include "support/private_network.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace vesk::test {

namespace {

bool g_private = false;

bool WriteFile(const char* path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  return static_cast<bool>(out.flush());
}

// Only the loopback may exist in a freshly made namespace.
bool OnlyLoopback() {
  struct if_nameindex* list = if_nameindex();
  if (list == nullptr) return false;
  bool only = true;
  for (auto* it = list; it->if_index != 0; ++it) {
    if (std::strcmp(it->if_name, "lo") != 0) only = false;
  }
  if_freenameindex(list);
  return only;
}

}  // namespace

bool EnterPrivateNetworkNamespace(std::string& why) {
  if (g_private) return true;
  if (unshare(CLONE_NEWNET) != 0) {
    // Without CAP_SYS_ADMIN: a user namespace of our own grants it.
    uid_t uid = getuid();
    gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
      why = std::string("cannot create a network namespace: ") + std::strerror(errno);
      return false;
    }
    WriteFile("/proc/self/setgroups", "deny");
    WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
    WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
  }
  if (!OnlyLoopback()) {
    why = "the new network namespace is not empty; refusing to send anything";
    return false;
  }
  if (std::system("ip link set lo up && ip addr add 192.168.1.100/32 dev lo") != 0) {
    why = "cannot configure the loopback of the private namespace (is iproute2 installed?)";
    return false;
  }
  g_private = true;
  return true;
}

bool InPrivateNetworkNamespace() { return g_private; }

}  // namespace vesk::test
