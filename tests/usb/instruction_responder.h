#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vesk::test {

inline constexpr size_t kInstructionSize = 200;
using InstructionRequest = std::array<uint8_t, kInstructionSize>;

// The instrument behind the FX3 controller: takes one 200-byte instruction
// request and gives the reply bytes (none when the instruction has no
// reply). Called from the emulation's thread.
class InstructionResponder {
 public:
  virtual ~InstructionResponder() = default;
  virtual std::vector<uint8_t> Answer(const InstructionRequest& request) = 0;
};

// A small instrument: it reports its device record, acknowledges the switch
// into in-application programming and each flash block, and echoes the
// length of each data block.
class MinimalInstrument : public InstructionResponder {
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
