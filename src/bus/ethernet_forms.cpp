// ETH forms of the bus operations. The Ethernet transport is not built into
// this program yet: the link never opens, and every operation reports the
// failure its caller expects for a link without an instruction path.

#include "bus/link_forms.h"

namespace vesk {

// Never created while the transport is not built in.
void EthernetLinkDeleter::operator()(EthernetLink*) const {}

ResultCode EthOpen(Bus&) { return kResultNoLink; }
ResultCode EthClose(Bus&) { return kResultNoLink; }
ResultCode EthReadStatusByte(Bus&, uint8_t&) { return kResultNoLink; }
ResultCode EthSendDataBlock(Bus&, const uint8_t*, uint8_t, uint8_t&) { return kResultNoLink; }
ResultCode EthSendRxInstruction(Bus&, uint8_t, uint16_t, const RxBody&) {
  return kResultNoInstructionPath;
}
ResultCode EthReadDeviceInfo(Bus&, DeviceInfo&) { return kResultNoInstructionPath; }
ResultCode EthApplyReplyTimeout(Bus&) { return kResultNoLink; }
ResultCode EthEnterIapMode(Bus&) { return kResultNoInstructionPath; }
ResultCode EthWriteFlashBlock(Bus&, const uint8_t*, uint8_t, uint8_t) {
  return kResultNoInstructionPath;
}

}  // namespace vesk
