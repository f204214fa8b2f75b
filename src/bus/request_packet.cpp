#include "bus/request_packet.h"

#include <algorithm>
#include <cstring>

#include "common/byte_order.h"

namespace vesk {

namespace {

constexpr uint8_t kInstrIapBlock = 0x01;
constexpr uint8_t kInstrDataControl = 0xFF;
constexpr uint8_t kInstrDataBlock = 0xFE;

constexpr size_t kParameterOffset = 1;
constexpr size_t kRxBodyOffset = 3;

constexpr size_t kDataCountOffset = 1;
constexpr size_t kDataOffset = 2;
constexpr uint8_t kDataBlockCapacity = 198;
constexpr uint8_t kDataControlMarker = 0x01;

constexpr size_t kIapSequenceOffset = 1;
constexpr size_t kIapComplementOffset = 2;
constexpr size_t kIapDataOffset = 3;
constexpr uint8_t kIapBlockSize = 128;

constexpr size_t kGnssFlagOffset = 1;
constexpr size_t kGnssCountOffset = 2;
constexpr size_t kGnssDataOffset = 3;
constexpr uint8_t kGnssCapacity = 196;

}  // namespace

RequestPacket IapBlockPacket(uint8_t sequence, const uint8_t* data, uint8_t n) {
  RequestPacket packet{};
  packet[0] = kInstrIapBlock;
  packet[kIapSequenceOffset] = sequence;
  packet[kIapComplementOffset] = static_cast<uint8_t>(~sequence);
  if (n > 0) std::memcpy(packet.data() + kIapDataOffset, data, std::min(n, kIapBlockSize));
  return packet;
}

RequestPacket FlashErasePacket() {
  const uint8_t erase = 0xFF;
  return IapBlockPacket(0, &erase, 1);
}

RequestPacket InstructionPacket(uint8_t instruction, uint16_t parameter) {
  RequestPacket packet{};
  packet[0] = instruction;
  PutLe16(packet.data() + kParameterOffset, parameter);
  return packet;
}

RequestPacket RxInstructionPacket(uint8_t instruction, uint16_t parameter, const RxBody& body) {
  RequestPacket packet = InstructionPacket(instruction, parameter);
  std::memcpy(packet.data() + kRxBodyOffset, body.data(), body.size());
  return packet;
}

RequestPacket DataBlockPacket(const uint8_t* data, uint8_t n) {
  RequestPacket packet{};
  packet[0] = kInstrDataBlock;
  const uint8_t carried = std::min(n, kDataBlockCapacity);
  packet[kDataCountOffset] = carried;
  if (carried > 0) std::memcpy(packet.data() + kDataOffset, data, carried);
  return packet;
}

RequestPacket DataControlPacket(uint8_t value) {
  RequestPacket packet{};
  packet[0] = kInstrDataControl;
  packet[1] = kDataControlMarker;
  packet[2] = value;
  return packet;
}

RequestPacket GnssPacket(uint8_t flag, uint8_t n, const uint8_t* data) {
  RequestPacket packet{};
  packet[0] = kInstrGnss;
  packet[kGnssFlagOffset] = flag;
  packet[kGnssCountOffset] = n;
  if (n > 0) std::memcpy(packet.data() + kGnssDataOffset, data, std::min(n, kGnssCapacity));
  return packet;
}

}  // namespace vesk
