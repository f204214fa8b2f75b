#pragma once

#include <chrono>
#include <thread>

#include "bus/bus.h"
#include "sim/ethernet_front_end.h"
#include "sim/instrument_model.h"

namespace vesk::test {

// Points an ETH bus at a simulated instrument listening on 127.0.0.1.
inline void AimAtLoopback(Bus& bus, uint16_t port, int32_t netTimeoutMs) {
  bus.Interface = BusInterface::ETH;
  bus.IsIpv6 = 0;
  bus.IpAddress = {127, 0, 0, 1};
  bus.Port = port;
  bus.NetTimeoutMs = netTimeoutMs;
}

// Waits (really, briefly) until `done` holds or a second has passed: the
// instrument notices a closed connection on its own thread.
template <typename Condition>
bool Eventually(Condition done) {
  for (int i = 0; i < 100; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

}  // namespace vesk::test
