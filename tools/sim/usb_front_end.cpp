#include "sim/usb_front_end.h"

#include <algorithm>

#include "common/byte_order.h"
#include "sim/instrument_commands.h"

namespace vesk::sim {

namespace {

// First bytes of the request packets.
enum : uint8_t {
  kInstrIapBlock = 0x01,
  kInstrFlashEnd = 0x04,
  kInstrDeviceRecord = 0x09,
  kInstrPrelude = 0x0B,
  kInstrIapRequest = 0x0C,
  kInstrGnss = 0x24,
  kInstrIapConfirm = 0x31,
  kInstrFlashEndConfirm = 0x33,
  kInstrRestart = 0xF7,
  kInstrDataBlock = 0xFE,
  kInstrDataControl = 0xFF,
};

constexpr size_t kReplySize = 100;
constexpr size_t kIdentitySize = 24;  // the model's identity record
constexpr uint8_t kAck = 6;
constexpr uint8_t kNak = 0x15;
constexpr size_t kRxInstructionLength = 3 + 184;  // instruction, parameter, body
constexpr size_t kIapDataOffset = 3;
constexpr size_t kIapBlockSize = 128;
constexpr uint8_t kEraseMarker = 0xFF;
constexpr uint8_t kLastSequence = 255;
constexpr size_t kDataOffset = 2;
constexpr uint8_t kFpgaStartValue = 0x01;
constexpr uint8_t kFpgaEndValue = 0x05;
constexpr size_t kGnssDataOffset = 3;
// Without a GNSS receiver the instrument answers the probe this short.
constexpr size_t kNoReceiverReply = 4;

std::vector<uint8_t> Bytes(const InstructionRequest& request, size_t from, size_t count) {
  return std::vector<uint8_t>(request.begin() + static_cast<std::ptrdiff_t>(from),
                              request.begin() + static_cast<std::ptrdiff_t>(from + count));
}

}  // namespace

std::optional<std::vector<uint8_t>> ModelResponder::Command(int32_t id,
                                                            std::vector<uint8_t> payload,
                                                            bool& accepted) {
  sim::Answer answer = model_.Handle(ReceivedCommand{id, std::move(payload)}, 0);
  accepted = answer.Status == 0;
  unanswered_ = answer.Silent || answer.Drop;
  if (unanswered_) return std::nullopt;
  std::vector<uint8_t> reply = answer.Payload;
  if (answer.ShortReply) reply.resize(std::min(reply.size(), *answer.ShortReply));
  return reply;
}

std::vector<uint8_t> ModelResponder::Acknowledge(int32_t id, std::vector<uint8_t> payload) {
  bool accepted = false;
  std::optional<std::vector<uint8_t>> answer = Command(id, std::move(payload), accepted);
  if (!answer) return {};
  std::vector<uint8_t> reply(kReplySize, 0);
  reply[0] = accepted ? kAck : kNak;
  return reply;
}

std::vector<uint8_t> ModelResponder::FlashBlock(const InstructionRequest& request) {
  const uint8_t sequence = request[1];
  const bool eraseShape = sequence == 0 && request[kIapDataOffset] == kEraseMarker &&
                          std::all_of(request.begin() + kIapDataOffset + 1, request.end(),
                                      [](uint8_t b) { return b == 0; });
  if (eraseShape && lastSequence_ != kLastSequence) {
    lastSequence_.reset();
    // Over USB the region is not handed over with the erase: size 0.
    return Acknowledge(kFlashErase, std::vector<uint8_t>(4, 0));
  }
  lastSequence_ = sequence;
  std::vector<uint8_t> payload = {sequence, static_cast<uint8_t>(kIapBlockSize)};
  std::vector<uint8_t> data = Bytes(request, kIapDataOffset, kIapBlockSize);
  payload.insert(payload.end(), data.begin(), data.end());
  return Acknowledge(kFlashBlock, std::move(payload));
}

std::vector<uint8_t> ModelResponder::Answer(const InstructionRequest& request) {
  bool accepted = false;
  unanswered_ = false;
  switch (request[0]) {
    case kInstrDeviceRecord: {
      std::optional<std::vector<uint8_t>> record = Command(kDeviceInfo, {}, accepted);
      if (!record) return {};
      // A record cut short by a fault arrives as a short reply.
      std::vector<uint8_t> reply(record->size() < kIdentitySize ? record->size() : kReplySize, 0);
      std::copy_n(record->begin(), std::min(record->size(), reply.size()), reply.begin());
      return reply;
    }
    case kInstrPrelude:
    case kInstrRestart:
      Command(kRxInstruction, Bytes(request, 0, kRxInstructionLength), accepted);
      return {};
    case kInstrIapRequest:
      return {};  // the MCU confirms the switch with the second packet
    case kInstrIapConfirm:
      return Acknowledge(kEnterIap, {});
    case kInstrIapBlock:
      return FlashBlock(request);
    case kInstrFlashEnd: {
      std::vector<uint8_t> reply(kReplySize, 0);
      reply[0] = kAck;
      return reply;
    }
    case kInstrFlashEndConfirm:
      return Acknowledge(kFlashFinish, {});
    case kInstrGnss: {
      const uint8_t flag = request[1];
      if (flag == 0) {
        std::optional<std::vector<uint8_t>> answer = Command(kGnssProbe, {kInstrGnss}, accepted);
        if (!answer) return {};
        return std::vector<uint8_t>(accepted ? kReplySize : kNoReceiverReply, 0);
      }
      const uint8_t n = request[2];
      std::vector<uint8_t> payload = {flag, n};
      std::vector<uint8_t> data = Bytes(request, kGnssDataOffset, n);
      payload.insert(payload.end(), data.begin(), data.end());
      return Acknowledge(kGnssPacket, std::move(payload));
    }
    case kInstrDataBlock:
      pendingData_ = Bytes(request, kDataOffset, request[1]);
      return {};
    case kInstrDataControl: {
      const uint8_t value = request[2];
      if (pendingData_) {
        std::vector<uint8_t> payload = {value};
        payload.insert(payload.end(), pendingData_->begin(), pendingData_->end());
        pendingData_.reset();
        return Command(kDataBlock, std::move(payload), accepted).value_or(std::vector<uint8_t>{});
      }
      if (value == kFpgaStartValue) {
        return Command(kFpgaStart, {value}, accepted).value_or(std::vector<uint8_t>{});
      }
      if (value == kFpgaEndValue) Command(kFpgaEnd, {value}, accepted);
      return {};
    }
    default:
      return {};
  }
}

std::optional<std::vector<uint8_t>> ModelResponder::Unprompted() {
  bool accepted = false;
  return Command(kStatusByte, {}, accepted);
}

bool ModelResponder::Reachable() { return !model_.Restarting(); }

UsbInstrument::UsbInstrument(InstrumentModel& model, Fx3Options options)
    : responder_(model), controller_(responder_, [&] {
        options.ControllerVersion = model.Options().Ident.ControllerVersion;
        return options;
      }()) {}

}  // namespace vesk::sim
