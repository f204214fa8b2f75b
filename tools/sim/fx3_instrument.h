#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

#include "sim/instruction_responder.h"
#include "sim/usb_peer.h"

namespace vesk::sim {

struct Fx3Options {
  bool SuperSpeed = false;  // USB 3.0 descriptors with endpoint companions
  uint16_t VendorId = 0x04B4;
  uint16_t ProductId = 0x00F0;
  uint32_t ControllerVersion = 0x0000373D;
  uint8_t ControllerInfo = 0x01;
  uint8_t AlternateSetting = 0;
};

// An FX3-based instrument as its USB controller presents it: one interface
// with interrupt OUT/IN (slots 1, 2) and bulk OUT/IN (slots 3, 4), the class
// and vendor requests of the packet exchange, and fast-mode packets on the
// bulk pair. Instructions are answered by an InstructionResponder. Safe to
// drive from the emulation's thread while a test reads the records.
class Fx3Instrument : public UsbPeer {
 public:
  explicit Fx3Instrument(InstructionResponder& responder, Fx3Options options = {});

  PeerAnswer Control(const UsbSetupPacket& setup, std::vector<uint8_t>& data) override;
  PeerAnswer BulkOut(uint8_t endpoint, const std::vector<uint8_t>& data) override;
  PeerAnswer BulkIn(uint8_t endpoint, uint32_t maxLength, std::vector<uint8_t>& data) override;

  struct ControlRecord {
    UsbSetupPacket Setup;
    std::vector<uint8_t> Data;  // host-to-device data stage
  };
  struct ImageBlock {
    uint16_t Page;
    uint16_t Offset;
    uint32_t Length;
  };

  // Class and vendor requests received, oldest first (descriptor and
  // interface requests are left out).
  std::vector<ControlRecord> ControlRequests() const;
  // Instruction requests received in either mode.
  std::vector<InstructionRequest> Instructions() const;
  // For each of Instructions(): true when it came as a fast-mode packet,
  // false when it came in control requests.
  std::vector<bool> FastInstructions() const;
  // Bulk OUT packets as received.
  std::vector<std::vector<uint8_t>> FastPackets() const;
  std::vector<ImageBlock> ImageBlocks() const;
  // The controller image as written at its page and offset addresses.
  std::vector<uint8_t> Image() const;

  // Faults: the request code is stalled; replies are never given (fast-mode
  // reads stay unanswered, control reads return no bytes).
  void StallRequest(uint8_t request);
  void StallEndpoint(uint8_t address);
  void SilenceReplies(bool silent);

  const std::vector<uint8_t>& DeviceDescriptor() const { return descriptors_.DeviceDescriptor(); }
  const std::vector<uint8_t>& ConfigurationDescriptor() const {
    return descriptors_.ConfigurationDescriptor();
  }

 private:
  void Instruct(const uint8_t* request, bool fast);
  void TakeReply(uint16_t length, std::vector<uint8_t>& data);

  InstructionResponder& responder_;
  Fx3Options options_;
  DescriptorPeer descriptors_;
  mutable std::mutex mutex_;
  std::vector<uint8_t> partialRequest_;  // control-mode requests arrive in 100-byte halves
  std::vector<uint8_t> reply_;           // the reply to the last control-mode instruction
  std::deque<std::vector<uint8_t>> fastReplies_;
  std::set<uint8_t> stalled_;
  std::set<uint8_t> stalledEndpoints_;
  bool silent_ = false;
  // The last instruction's reply will never come: reads get nothing until
  // the next instruction.
  bool awaitingUnanswered_ = false;
  std::vector<ControlRecord> controls_;
  std::vector<InstructionRequest> instructions_;
  std::vector<bool> fastInstructions_;
  std::vector<std::vector<uint8_t>> packets_;
  std::vector<ImageBlock> blocks_;
  std::vector<uint8_t> image_;
};

}  // namespace vesk::sim
