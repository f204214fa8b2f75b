// The USB host layer is not built into this program yet, so no open USB link
// exists; these report failure rather than pretend to reach a controller.

#include "update/controller/usb_controller_access.h"

namespace vesk {

ResultCode UsbReadControllerVersion(Bus&, uint32_t&) { return kResultNoLink; }
bool UsbShowsCypressIdentity(const Bus&) { return false; }
ResultCode UsbDownloadControllerImage(Bus&, const std::vector<uint8_t>&) {
  return kResultTransferFailed;
}

}  // namespace vesk
