#include "usb/instruction_responder.h"

#include "common/byte_order.h"

namespace vesk::test {

std::vector<uint8_t> MinimalInstrument::Answer(const InstructionRequest& request) {
  constexpr size_t kReplySize = 100;
  std::vector<uint8_t> reply(kReplySize, 0);
  switch (request[0]) {
    case 0x09:
      PutLe64(reply.data(), Uid);
      PutLe16(reply.data() + 8, ModelCode);
      PutLe16(reply.data() + 10, HardwareCode);
      PutLe32(reply.data() + 12, McuVersion);
      PutLe32(reply.data() + 16, FpgaVersion);
      if (ShortRecords > 0) {
        --ShortRecords;
        reply.resize(ShortRecordLength);
      }
      return reply;
    case 0x31:
      reply[0] = IapAcknowledge;
      return reply;
    case 0x01:
    case 0x04:
    case 0x33:
    case 0x24:
      reply[0] = 6;
      return reply;
    case 0xFF:
      return {request[2]};  // the echo of the data block's length
    default:
      return {};
  }
}

}  // namespace vesk::test
