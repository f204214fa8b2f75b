#pragma once

#include <memory>
#include <string>

#include "sim/usb_peer.h"

namespace vesk::sim {

// An emulated usbfs for an unmodified libusb in this process: umockdev
// provides a sysfs USB device with the peer's descriptors and a /dev node
// whose usbfs requests are answered by the peer. The process must run with
// LD_PRELOAD=libumockdev-preload.so.0 (Available() tells).
class UmockdevTestbed {
 public:
  // Adds the peer as device `address` on bus 1. The device and configuration
  // descriptors are the ones the peer answers with.
  UmockdevTestbed(UsbPeer& peer, const std::vector<uint8_t>& device,
                  const std::vector<uint8_t>& configuration, uint8_t address = 4);
  ~UmockdevTestbed();
  UmockdevTestbed(const UmockdevTestbed&) = delete;
  UmockdevTestbed& operator=(const UmockdevTestbed&) = delete;

  static bool Available();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace vesk::sim
