#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vesk::sim {

inline constexpr size_t kInstructionSize = 200;
using InstructionRequest = std::array<uint8_t, kInstructionSize>;

// The instrument behind the FX3 controller: takes one 200-byte instruction
// request and gives the reply bytes (none when the instruction has no
// reply). Called from the emulation's thread.
class InstructionResponder {
 public:
  virtual ~InstructionResponder() = default;
  virtual std::vector<uint8_t> Answer(const InstructionRequest& request) = 0;

  // What a read that no request asked for delivers (the instrument's status
  // byte while it erases its FPGA flash); none: the read gets nothing.
  virtual std::optional<std::vector<uint8_t>> Unprompted() { return std::nullopt; }

  // True when the instrument left the last request unanswered (a fault):
  // the reply that request asked for never comes, and the read that waits
  // for it gets nothing, not the status byte.
  virtual bool LastUnanswered() const { return false; }

  // False while the instrument restarts: its controller then does not answer
  // the information request that every open begins with.
  virtual bool Reachable() { return true; }
};

}  // namespace vesk::sim
