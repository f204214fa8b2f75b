#include "update/controller/usb_controller_access.h"

#include "bus/usb_packet_exchange.h"
#include "usb/driver_class.h"
#include "usb/usb_device.h"

namespace vesk {

namespace {

// The identity Cypress's own controller firmware presents.
constexpr uint16_t kCypressFirmwareProduct = 0x00F1;

}  // namespace

ResultCode UsbReadControllerVersion(Bus& bus, uint32_t& version) {
  if (!bus.Device) return kResultNoLink;
  int32_t info = 0;
  return ReadControllerInfo(*bus.Device, info, version);
}

bool UsbShowsCypressIdentity(const Bus& bus) {
  return bus.Device && bus.Device->VendorId == kCypressVendorId &&
         bus.Device->ProductId == kCypressFirmwareProduct;
}

ResultCode UsbDownloadControllerImage(Bus& bus, const std::vector<uint8_t>& image) {
  if (!bus.Device) return kResultNoLink;
  return DownloadControllerImage(*bus.Device, image.data(), static_cast<int32_t>(image.size()));
}

}  // namespace vesk
