#pragma once

#include <memory>
#include <vector>

#include "usb/usb_host.h"
#include "sim/usb_peer.h"

namespace vesk::test {

using sim::PeerAnswer;
using sim::UsbPeer;

// A USB host in memory: its devices are peers in the same process, every
// transfer is answered at once (or never, when the peer stays silent, until
// the endpoint is aborted), and no wait sleeps. It records what the device
// layer asked of it.
class FakeUsbHost : public UsbHost {
 public:
  struct Transfer {
    UsbTransferType Type;
    uint8_t EndpointAddress;
    UsbSetupPacket Setup;
    uint32_t ControlTimeoutSeconds;
    std::vector<uint8_t> OutData;  // host-to-device bytes
    uint32_t Length;
  };

  void Add(UsbDeviceEntry entry, UsbPeer& peer, bool accessDenied = false);

  std::vector<UsbDeviceEntry> ListDevices() override;
  UsbOpenOutcome Open(const UsbDeviceEntry& entry,
                      std::unique_ptr<UsbDeviceHandle>& handle) override;

  std::vector<Transfer> Transfers;  // every transfer submitted, in order
  std::vector<uint8_t> ClaimedInterfaces;
  int Aborts = 0;
  int OpenHandles = 0;

 private:
  struct Device {
    UsbDeviceEntry Entry;
    UsbPeer* Peer;
    bool AccessDenied;
  };
  std::vector<Device> devices_;
};

}  // namespace vesk::test
