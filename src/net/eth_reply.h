#pragma once

#include <array>
#include <cstdint>

#include "common/byte_order.h"
#include "net/eth_wire.h"

namespace vesk {

// The reply to one command, received into a zeroed 8192-byte buffer.
// Arrived tells a complete reply from a transport failure, so that callers
// can copy payload bytes whatever the status word says.
struct EthReply {
  std::array<uint8_t, kEthReplyBlockSize> Bytes{};
  bool Arrived = false;

  int32_t Status() const {
    return static_cast<int32_t>(GetLe32(Bytes.data() + kEthReplyStatusOffset));
  }
  const uint8_t* Payload() const { return Bytes.data() + kEthReplyPayloadOffset; }
};

}  // namespace vesk
