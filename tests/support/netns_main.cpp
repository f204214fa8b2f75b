// Entry point of the test binaries that need the instrument address
// 192.168.1.100: they run inside a private network namespace or not at all.

#include <gtest/gtest.h>

#include <iostream>

#include "support/private_network.h"

int main(int argc, char** argv) {
  std::string why;
  if (!vesk::test::EnterPrivateNetworkNamespace(why)) {
    std::cerr << "SKIPPED: " << why << "\n";
    return 77;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
