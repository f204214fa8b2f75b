#include "bus/request_packet.h"

#include <algorithm>
#include <cstring>

namespace vesk {

namespace {

constexpr uint8_t kInstrIapBlock = 0x01;
constexpr uint8_t kInstrDataControl = 0xFF;
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

RequestPacket InstructionPacket(uint8_t instruction) {
  RequestPacket packet{};
  packet[0] = instruction;
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
