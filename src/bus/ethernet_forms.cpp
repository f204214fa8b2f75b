// ETH forms of the bus operations: each is one command of the Ethernet
// transport, built here and nowhere else.

#include <cstring>
#include <vector>

#include "bus/ethernet_commands.h"
#include "bus/link_forms.h"
#include "common/byte_order.h"

namespace vesk {

namespace {

// Status and data-block reads ask for a one-byte reply payload.
constexpr uint32_t kOneByteReply = 1;
// The instrument's IAP entry code.
constexpr uint8_t kIapEntryCode[] = {0x0C, 0x31};

// The instruction layer passes the link's own results on and folds every
// other status word of the instrument into "transfer failed".
ResultCode PassThrough(ResultCode result) {
  if (result == kResultOk || result == kResultEthConnectFailed ||
      result == kResultEthReplyTimeout || result == kResultEthLinkLoop) {
    return result;
  }
  return kResultTransferFailed;
}

}  // namespace

void EthernetLinkDeleter::operator()(EthernetLink* link) const { delete link; }

ResultCode EthOpen(Bus& bus) {
  EthernetEndpoint endpoint;
  endpoint.IsIpv6 = bus.IsIpv6 != 0;
  endpoint.Address = bus.IpAddress;
  endpoint.Port = bus.Port;
  return LinkOf(bus).ConnectBus(endpoint, bus.NetTimeoutMs);
}

ResultCode EthClose(Bus& bus) { return LinkOf(bus).Close(bus.NetTimeoutMs); }

ResultCode EthReadStatusByte(Bus& bus, uint8_t& out) {
  std::array<uint8_t, sizeof(uint32_t)> payload{};
  PutLe32(payload.data(), kOneByteReply);
  EthReply reply;
  ResultCode result = SendCommand(bus, EthCommand::ReadStatusByte, payload, reply);
  if (reply.Arrived) out = reply.Payload()[0];
  return result;
}

ResultCode EthSendDataBlock(Bus& bus, const uint8_t* data, uint8_t n, uint8_t& echo) {
  std::vector<uint8_t> payload(1 + n + sizeof(uint32_t));
  payload[0] = n;
  if (n != 0) std::memcpy(payload.data() + 1, data, n);
  PutLe32(payload.data() + 1 + n, kOneByteReply);
  EthReply reply;
  ResultCode result = SendCommand(bus, EthCommand::SendDataBlock, payload, reply);
  if (reply.Arrived) echo = reply.Payload()[0];
  return PassThrough(result);
}

ResultCode EthSendRxInstruction(Bus& bus, uint8_t instruction, uint16_t parameter,
                                const RxBody& body) {
  std::array<uint8_t, 3 + kRxBodySize> payload{};
  payload[0] = instruction;
  PutLe16(payload.data() + 1, parameter);
  std::memcpy(payload.data() + 3, body.data(), body.size());
  EthReply reply;
  return PassThrough(SendCommand(bus, EthCommand::RxInstruction, payload, reply));
}

ResultCode EthReadDeviceInfo(Bus& bus, DeviceInfo& out) {
  EthReply reply;
  ResultCode result = SendCommand(bus, EthCommand::ReadDeviceInfo, {}, reply);
  if (reply.Arrived) {
    // The record in field order: u64, u16, u16, u32, u32, u32.
    const uint8_t* record = reply.Payload();
    out.Uid = GetLe64(record);
    out.ModelCode = GetLe16(record + 8);
    out.HardwareCode = GetLe16(record + 10);
    out.McuVersion = GetLe32(record + 12);
    out.FpgaVersion = GetLe32(record + 16);
    out.Reserved = GetLe32(record + 20);
  }
  return PassThrough(result);
}

ResultCode EthApplyReplyTimeout(Bus& bus) {
  std::array<uint8_t, sizeof(uint32_t)> payload{};
  PutLe32(payload.data(), bus.ReplyTimeoutMs);
  EthReply reply;
  return SendCommand(bus, EthCommand::ApplyReplyTimeout, payload, reply);
}

ResultCode EthEnterIapMode(Bus& bus) {
  EthReply reply;
  return SendCommand(bus, EthCommand::EnterIapMode, kIapEntryCode, reply);
}

ResultCode EthWriteFlashBlock(Bus& bus, const uint8_t* data, uint8_t sequence, uint8_t n) {
  std::vector<uint8_t> payload(2 + n);
  payload[0] = sequence;
  payload[1] = n;
  if (n != 0) std::memcpy(payload.data() + 2, data, n);
  EthReply reply;
  return SendCommand(bus, EthCommand::WriteFlashBlock, payload, reply);
}

}  // namespace vesk
