#pragma once

#include "usb/usb_host.h"

struct libusb_context;

namespace vesk {

// The host's USB stack through libusb-1.0 (usbfs on Linux).
//
// How libusb's outcomes become the status words the device layer reads:
//
//   libusb transfer status       NtStatus                 UsbdStatus
//   COMPLETED (also short)       0                        0
//   CANCELLED (Abort)            0xC0000120 cancelled     0xC0010000 cancelled
//   TIMED_OUT (control seconds)  0xC0000120 cancelled     0xC0010000 cancelled
//   STALL                        0xC0000001 unsuccessful  0xC0000004 stall
//   NO_DEVICE                    0xC000009D not connected 0xC0000005 not responding
//   OVERFLOW                     0xC0000001 unsuccessful  0xC000000C buffer overrun
//   ERROR and anything else      0xC0000001 unsuccessful  0xC0000011 transaction error
//   submit refused               (no transfer: the endpoint reports 0xC0000A00 not started)
//
// Synchronous control reads map libusb error codes the same way (PIPE is a
// stall, TIMEOUT a cancellation, NO_DEVICE not responding, others a
// transaction error).
//
// A transfer maps onto libusb's asynchronous interface: Submit is
// libusb_submit_transfer; Wait handles libusb events until the transfer's
// callback has run or the limit has passed; Abort calls
// libusb_cancel_transfer on every transfer of the endpoint still in flight.
// Bulk, interrupt and isochronous transfers carry no libusb timeout (the
// endpoint's wait and abort time them); control requests carry their timeout
// in whole seconds, as the instrument's protocol defines it.
//
// When libusb cannot start (no usbfs, as on build machines) the host lists no
// devices and opens nothing, silently.
class LibusbHost : public UsbHost {
 public:
  LibusbHost();
  ~LibusbHost() override;
  LibusbHost(const LibusbHost&) = delete;
  LibusbHost& operator=(const LibusbHost&) = delete;

  std::vector<UsbDeviceEntry> ListDevices() override;
  UsbOpenOutcome Open(const UsbDeviceEntry& entry,
                      std::unique_ptr<UsbDeviceHandle>& handle) override;

 private:
  libusb_context* context_ = nullptr;
};

}  // namespace vesk
