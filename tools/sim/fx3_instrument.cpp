#include "sim/fx3_instrument.h"

#include <algorithm>
#include <optional>

#include "common/byte_order.h"

namespace vesk::sim {

namespace {

std::vector<uint8_t> DeviceDescriptorFor(const Fx3Options& o) {
  uint16_t bcd = o.SuperSpeed ? 0x0300 : 0x0210;
  std::vector<uint8_t> d = {0x12, 0x01, 0, 0, 0x00, 0x00, 0x00, uint8_t(o.SuperSpeed ? 0x09 : 0x40),
                            0, 0, 0, 0, 0x00, 0x01, 0x01, 0x02, 0x00, 0x01};
  PutLe16(d.data() + 2, bcd);
  PutLe16(d.data() + 8, o.VendorId);
  PutLe16(d.data() + 10, o.ProductId);
  return d;
}

std::vector<uint8_t> ConfigurationFor(bool superSpeed) {
  std::vector<uint8_t> c = {0x09, 0x02, 0, 0, 0x01, 0x01, 0x00, 0x80, 0x32,
                            0x09, 0x04, 0x00, 0x00, 0x04, 0xFF, 0x00, 0x00, 0x00};
  struct Endpoint {
    uint8_t address, attributes;
    uint16_t size;
    uint8_t burst;
  };
  const Endpoint endpoints[] = {
      {0x01, 3, 64, 0},
      {0x81, 3, 64, 0},
      {0x02, 2, uint16_t(superSpeed ? 1024 : 512), 15},
      {0x82, 2, uint16_t(superSpeed ? 1024 : 512), 15},
  };
  for (const Endpoint& e : endpoints) {
    c.insert(c.end(), {0x07, 0x05, e.address, e.attributes, uint8_t(e.size), uint8_t(e.size >> 8),
                       uint8_t(e.attributes == 3 ? 1 : 0)});
    if (superSpeed) {
      c.insert(c.end(), {0x06, 0x30, uint8_t(e.attributes == 2 ? e.burst : 0), 0x00, 0x00, 0x00});
    }
  }
  PutLe16(c.data() + 2, static_cast<uint16_t>(c.size()));
  return c;
}

constexpr uint8_t kClassOut = 0x20;
constexpr uint8_t kClassIn = 0xA0;
constexpr uint8_t kVendorOut = 0x40;
constexpr size_t kFastHeader = 8;
constexpr uint32_t kFastMagic = 0x5A5A5A5A;
constexpr uint32_t kImageSpace = 8 * 65536;

}  // namespace

Fx3Instrument::Fx3Instrument(InstructionResponder& responder, Fx3Options options)
    : responder_(responder),
      options_(options),
      descriptors_(DeviceDescriptorFor(options), ConfigurationFor(options.SuperSpeed)) {
  descriptors_.AlternateSetting = options.AlternateSetting;
}

void Fx3Instrument::Instruct(const uint8_t* request, bool fast) {
  InstructionRequest instruction;
  std::copy(request, request + kInstructionSize, instruction.begin());
  instructions_.push_back(instruction);
  fastInstructions_.push_back(fast);
  reply_ = responder_.Answer(instruction);
  awaitingUnanswered_ = responder_.LastUnanswered();
}

void Fx3Instrument::TakeReply(uint16_t length, std::vector<uint8_t>& data) {
  if (silent_) {
    data.clear();
    return;
  }
  if (reply_.empty() && awaitingUnanswered_) {
    data.clear();  // a hung instrument: nothing until the next request
    return;
  }
  if (reply_.empty()) {
    // A read without a request: the instrument gives its status, if any.
    if (std::optional<std::vector<uint8_t>> status = responder_.Unprompted()) reply_ = *status;
  }
  data.assign(reply_.begin(), reply_.begin() + std::min<size_t>(reply_.size(), length));
  reply_.clear();
}

PeerAnswer Fx3Instrument::Control(const UsbSetupPacket& setup, std::vector<uint8_t>& data) {
  std::lock_guard lock(mutex_);
  uint8_t kind = setup.RequestType & 0x60;
  if (kind == 0) return descriptors_.Control(setup, data);  // standard requests
  controls_.push_back({setup, (setup.RequestType & 0x80) ? std::vector<uint8_t>{} : data});
  if (stalled_.count(setup.Request)) return PeerAnswer::Stall;

  switch (setup.RequestType) {
    case kClassOut:
      if (setup.Request == 0x01) {
        partialRequest_.insert(partialRequest_.end(), data.begin(), data.end());
        if (partialRequest_.size() >= kInstructionSize) {
          Instruct(partialRequest_.data(), false);
          partialRequest_.clear();
        }
        return PeerAnswer::Done;
      }
      if (setup.Request == 0x02) {
        if (data.size() < kInstructionSize) return PeerAnswer::Stall;
        Instruct(data.data(), false);
        return PeerAnswer::Done;
      }
      break;
    case kClassIn:
      if (setup.Request == 0x81 || setup.Request == 0x86) {
        TakeReply(std::min(setup.Value, setup.Length), data);
        return PeerAnswer::Done;
      }
      if (setup.Request == 0x82) {
        if (!responder_.Reachable()) return PeerAnswer::Stall;
        data.assign(16, 0);
        data[0] = options_.ControllerInfo;
        PutLe32(data.data() + 12, options_.ControllerVersion);
        return PeerAnswer::Done;
      }
      if (setup.Request == 0x89) {
        data.assign(11, 0x4E);
        return PeerAnswer::Done;
      }
      break;
    case kVendorOut:
      if (setup.Request == 0x89) return PeerAnswer::Done;
      if (setup.Request == 0xF0) {
        blocks_.push_back({setup.Value, setup.Index, static_cast<uint32_t>(data.size())});
        uint32_t at = uint32_t{setup.Value} * 65536 + setup.Index;
        if (at + data.size() <= kImageSpace) {
          if (image_.size() < at + data.size()) image_.resize(at + data.size());
          std::copy(data.begin(), data.end(), image_.begin() + at);
        }
        return PeerAnswer::Done;
      }
      break;
    default:
      break;
  }
  return PeerAnswer::Stall;
}

PeerAnswer Fx3Instrument::BulkOut(uint8_t endpoint, const std::vector<uint8_t>& data) {
  std::lock_guard lock(mutex_);
  packets_.push_back(data);
  if (stalledEndpoints_.count(endpoint)) return PeerAnswer::Stall;
  if (endpoint != 0x02) return PeerAnswer::Done;
  if (data.size() >= kFastHeader + kInstructionSize && GetLe32(data.data()) == kFastMagic) {
    Instruct(data.data() + kFastHeader, true);
    if (!reply_.empty()) fastReplies_.push_back(reply_);
    reply_.clear();
  }
  return PeerAnswer::Done;
}

PeerAnswer Fx3Instrument::BulkIn(uint8_t endpoint, uint32_t maxLength, std::vector<uint8_t>& data) {
  std::lock_guard lock(mutex_);
  if (stalledEndpoints_.count(endpoint)) return PeerAnswer::Stall;
  if (endpoint != 0x82 || silent_) return PeerAnswer::Silent;
  if (fastReplies_.empty() && awaitingUnanswered_) return PeerAnswer::Silent;
  if (fastReplies_.empty()) {
    std::optional<std::vector<uint8_t>> status = responder_.Unprompted();
    if (!status) return PeerAnswer::Silent;
    fastReplies_.push_back(*status);
  }
  data = fastReplies_.front();
  fastReplies_.pop_front();
  if (data.size() > maxLength) data.resize(maxLength);
  return PeerAnswer::Done;
}

std::vector<Fx3Instrument::ControlRecord> Fx3Instrument::ControlRequests() const {
  std::lock_guard lock(mutex_);
  return controls_;
}

std::vector<InstructionRequest> Fx3Instrument::Instructions() const {
  std::lock_guard lock(mutex_);
  return instructions_;
}

std::vector<bool> Fx3Instrument::FastInstructions() const {
  std::lock_guard lock(mutex_);
  return fastInstructions_;
}

std::vector<std::vector<uint8_t>> Fx3Instrument::FastPackets() const {
  std::lock_guard lock(mutex_);
  return packets_;
}

std::vector<Fx3Instrument::ImageBlock> Fx3Instrument::ImageBlocks() const {
  std::lock_guard lock(mutex_);
  return blocks_;
}

std::vector<uint8_t> Fx3Instrument::Image() const {
  std::lock_guard lock(mutex_);
  return image_;
}

void Fx3Instrument::StallRequest(uint8_t request) {
  std::lock_guard lock(mutex_);
  stalled_.insert(request);
}

void Fx3Instrument::StallEndpoint(uint8_t address) {
  std::lock_guard lock(mutex_);
  stalledEndpoints_.insert(address);
}

void Fx3Instrument::SilenceReplies(bool silent) {
  std::lock_guard lock(mutex_);
  silent_ = silent;
}

}  // namespace vesk::sim
