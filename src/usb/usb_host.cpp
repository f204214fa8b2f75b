#include "usb/usb_host.h"

#include "usb/libusb_host.h"

namespace vesk {

namespace {

UsbHost* replacement = nullptr;

}  // namespace

UsbHost& ProcessUsbHost() {
  if (replacement != nullptr) return *replacement;
  static LibusbHost host;
  return host;
}

ScopedUsbHost::ScopedUsbHost(UsbHost& host) : previous_(replacement) { replacement = &host; }

ScopedUsbHost::~ScopedUsbHost() { replacement = previous_; }

}  // namespace vesk
