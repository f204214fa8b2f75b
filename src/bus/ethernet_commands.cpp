#include "bus/ethernet_commands.h"

#include <array>
#include <cstring>
#include <vector>

#include "bus/instructions.h"
#include "common/byte_order.h"

namespace vesk {

namespace {

// Control packets of the FPGA download: marker, data count, data.
constexpr uint8_t kFpgaControlMarker = 0xFF;
constexpr uint8_t kFpgaStartCode = 0x01;
constexpr uint8_t kFpgaEndCode = 0x05;
constexpr uint32_t kFpgaStartReplyLength = 1;
constexpr uint8_t kFlashFinishCode = 0x33;
constexpr uint8_t kGnssProbeCode = 0x24;
// The controller version word sits at reply bytes 8-11.
constexpr size_t kControllerVersionOffset = 8;

}  // namespace

EthernetLink& LinkOf(Bus& bus) {
  if (!bus.Ethernet) bus.Ethernet.reset(new EthernetLink());
  return *bus.Ethernet;
}

ResultCode SendCommand(Bus& bus, EthCommand command, std::span<const uint8_t> payload,
                       EthReply& reply) {
  return LinkOf(bus).SendCommand(static_cast<int32_t>(command), payload, reply,
                                 bus.NetTimeoutMs);
}

ResultCode EthFlashErase(Bus& bus, const uint8_t* region, uint32_t size) {
  std::vector<uint8_t> payload(sizeof(uint32_t) + size);
  PutLe32(payload.data(), size);
  if (size != 0) std::memcpy(payload.data() + sizeof(uint32_t), region, size);
  EthReply reply;
  return SendCommand(bus, EthCommand::FlashErase, payload, reply);
}

ResultCode EthFlashFinish(Bus& bus) {
  const std::array<uint8_t, 1> payload{kFlashFinishCode};
  EthReply reply;
  return SendCommand(bus, EthCommand::FlashFinish, payload, reply);
}

ResultCode EthRestartIntoIap(Bus& bus, int32_t deviceIndex) {
  std::array<uint8_t, sizeof(uint32_t) + kRxBodySize> payload{};  // the body is all zero
  PutLe32(payload.data(), static_cast<uint32_t>(deviceIndex));
  EthReply reply;
  return SendCommand(bus, EthCommand::RestartIntoIap, payload, reply);
}

ResultCode EthFpgaStart(Bus& bus) {
  std::array<uint8_t, 3 + sizeof(uint32_t)> payload{kFpgaControlMarker, 1, kFpgaStartCode};
  PutLe32(payload.data() + 3, kFpgaStartReplyLength);
  EthReply reply;
  return SendCommand(bus, EthCommand::FpgaStart, payload, reply);
}

ResultCode EthFpgaEnd(Bus& bus) {
  const std::array<uint8_t, 3> payload{kFpgaControlMarker, 1, kFpgaEndCode};
  EthReply reply;
  return SendCommand(bus, EthCommand::FpgaEnd, payload, reply);
}

ResultCode EthGnssProbe(Bus& bus) {
  const std::array<uint8_t, 1> payload{kGnssProbeCode};
  EthReply reply;
  return SendCommand(bus, EthCommand::GnssProbe, payload, reply);
}

ResultCode EthGnssPacket(Bus& bus, uint8_t flag, uint8_t n, const uint8_t* data) {
  std::vector<uint8_t> payload(2 + n);
  payload[0] = flag;
  payload[1] = n;
  if (n != 0) std::memcpy(payload.data() + 2, data, n);
  EthReply reply;
  return SendCommand(bus, EthCommand::GnssPacket, payload, reply);
}

ResultCode EthReadControllerVersion(Bus& bus, uint32_t& version) {
  EthReply reply;
  ResultCode result = SendCommand(bus, EthCommand::ReadControllerVersion, {}, reply);
  if (result == kResultOk) version = GetLe32(reply.Bytes.data() + kControllerVersionOffset);
  return result;
}

}  // namespace vesk
