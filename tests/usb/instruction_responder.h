#pragma once

#include <cstdint>
#include <vector>

#include "sim/instruction_responder.h"

namespace vesk::test {

using sim::InstructionRequest;

// A small instrument: it reports its device record, acknowledges the switch
// into in-application programming and each flash block, and echoes the
// length of each data block.
class MinimalInstrument : public sim::InstructionResponder {
 public:
  std::vector<uint8_t> Answer(const InstructionRequest& request) override;

  uint64_t Uid = 0x1122334455667788ull;
  uint16_t ModelCode = 40;
  uint16_t HardwareCode = 0x3000;
  uint32_t McuVersion = 0x00373D;   // 0.55.61
  uint32_t FpgaVersion = 0x003720;  // 0.55.32
  uint8_t IapAcknowledge = 6;
  // Record replies shorter than 100 bytes for this many reads first.
  int ShortRecords = 0;
  size_t ShortRecordLength = 40;
};

}  // namespace vesk::test
