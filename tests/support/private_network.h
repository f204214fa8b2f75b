#pragma once

#include <string>

namespace vesk::test {

// The address every component procedure dials for an Ethernet instrument.
inline constexpr const char* kInstrumentAddress = "192.168.1.100";

// Moves the calling process (which must still have a single thread) into a
// new, empty network namespace, brings its loopback up and gives the loopback
// 192.168.1.100/32 as well. Inside it nothing can reach the real network.
// Returns false with the reason when the namespace cannot be made or does not
// look private (any interface besides "lo").
bool EnterPrivateNetworkNamespace(std::string& why);

// True once EnterPrivateNetworkNamespace succeeded in this process.
bool InPrivateNetworkNamespace();

}  // namespace vesk::test
