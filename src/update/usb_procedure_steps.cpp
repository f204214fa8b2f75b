// The USB host layer is not built into this program yet, so no procedure
// ever holds an open USB link; should one be reached, it reports that the
// link has no path for the step rather than pretending to have sent it.

#include "update/usb_procedure_steps.h"

namespace vesk {

ResultCode UsbEraseFlash(Bus&) { return kResultNoInstructionPath; }
ResultCode UsbFinishFlash(Bus&) { return kResultNoInstructionPath; }
ResultCode UsbFpgaStart(Bus&) { return kResultNotAcknowledged; }
ResultCode UsbFpgaEnd(Bus&) { return kResultFpgaEndFailed; }
ResultCode UsbGnssProbe(Bus&) { return kResultNoInstructionPath; }
ResultCode UsbGnssPacket(Bus&, uint8_t, uint8_t, const uint8_t*) {
  return kResultNoInstructionPath;
}

}  // namespace vesk
