// USB forms of the bus operations. No USB host layer is built into this
// program yet: no instrument is ever found (as on a machine without USB
// support), and every operation reports the failure of a missing path.

#include "bus/link_forms.h"

namespace vesk {

// Never created while the USB host layer is not built in.
void CCyDeviceDeleter::operator()(CCyDevice*) const {}

ResultCode UsbOpen(Bus&, int32_t) { return kResultNoLink; }
ResultCode UsbClose(Bus&) { return kResultOk; }
ResultCode UsbReadStatusByte(Bus&, uint8_t&) { return kResultNoLink; }
ResultCode UsbSendDataBlock(Bus&, const uint8_t*, uint8_t, uint8_t&) { return kResultNoLink; }
ResultCode UsbSendRxInstruction(Bus&, uint8_t, uint16_t, const RxBody&) {
  return kResultNoInstructionPath;
}
ResultCode UsbReadDeviceRecord(Bus&, std::array<uint8_t, kDeviceRecordSize>&) {
  return kResultNoInstructionPath;
}
ResultCode UsbReadDeviceInfo(Bus&, DeviceInfo&) { return kResultNoInstructionPath; }
ResultCode UsbApplyReplyTimeout(Bus&) { return kResultNoLink; }
ResultCode UsbEnterIapMode(Bus&) { return kResultNoInstructionPath; }
ResultCode UsbWriteFlashBlock(Bus&, const uint8_t*, uint8_t, uint8_t) {
  return kResultNoInstructionPath;
}

}  // namespace vesk
