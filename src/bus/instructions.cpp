#include "bus/instructions.h"

#include <ostream>

namespace vesk {

namespace {

// The two link kinds whose instruction paths are not built into this program
// yet. OpenBus never opens them, so these branches are reached only by a
// caller that ignored a failed open.
constexpr ResultCode kNoPathYet = kResultNoInstructionPath;

}  // namespace

ResultCode ReadStatusByte(Bus& bus, uint8_t& /*out*/) {
  switch (bus.Interface) {
    case BusInterface::VIRTUAL:
      return kResultOk;
    case BusInterface::USB:
    case BusInterface::ETH:
      return kResultNoLink;
    default:
      return kResultNoLink;
  }
}

ResultCode SendDataBlock(Bus& bus, const uint8_t* /*data*/, uint8_t /*n*/, uint8_t& /*echo*/) {
  switch (bus.Interface) {
    case BusInterface::VIRTUAL:
      return kResultOk;
    case BusInterface::USB:
    case BusInterface::ETH:
      return kResultNoLink;
    default:
      return kResultNoLink;
  }
}

ResultCode SendRxInstruction(Bus& bus, uint8_t instruction, uint16_t parameter,
                             const RxBody& /*body*/) {
  switch (bus.Interface) {
    case BusInterface::VIRTUAL:
      bus.Host.Out() << "Virtual bus SendRxInstruction, Instr " << unsigned{instruction}
                     << ", InstrParam " << unsigned{parameter} << " \n";
      return kResultOk;
    case BusInterface::USB:
    case BusInterface::ETH:
      return kNoPathYet;
    default:
      return kResultNoInstructionPath;
  }
}

ResultCode ReadDeviceRecord(Bus& bus, std::array<uint8_t, kDeviceRecordSize>& /*out*/) {
  switch (bus.Interface) {
    case BusInterface::VIRTUAL:
      return kResultOk;  // the record is left untouched
    case BusInterface::USB:
      return kNoPathYet;
    default:
      return kResultNoInstructionPath;  // no caller reads the record over ETH
  }
}

ResultCode ReadDeviceInfo(Bus& bus, DeviceInfo& out) {
  switch (bus.Interface) {
    case BusInterface::VIRTUAL: {
      uint32_t reserved = out.Reserved;
      out = DeviceInfo{};
      out.Uid = 0x12345678;
      out.Reserved = reserved;
      return kResultOk;
    }
    case BusInterface::USB:
    case BusInterface::ETH:
      return kNoPathYet;
    default:
      return kResultNoInstructionPath;
  }
}

ResultCode ApplyReplyTimeout(Bus& bus) {
  switch (bus.Interface) {
    case BusInterface::VIRTUAL:
      return kResultOk;
    case BusInterface::USB:
    case BusInterface::ETH:
      return kResultNoLink;
    default:
      return kResultNoLink;
  }
}

ResultCode EnterIapMode(Bus& bus) {
  switch (bus.Interface) {
    case BusInterface::VIRTUAL:
      return kResultOk;
    case BusInterface::USB:
    case BusInterface::ETH:
      return kNoPathYet;
    default:
      return kResultNoInstructionPath;
  }
}

ResultCode WriteFlashBlock(Bus& bus, const uint8_t* /*data*/, uint8_t /*sequence*/,
                           uint8_t /*n*/) {
  switch (bus.Interface) {
    case BusInterface::VIRTUAL:
      return kResultOk;
    case BusInterface::USB:
    case BusInterface::ETH:
      return kNoPathYet;
    default:
      return kResultNoInstructionPath;
  }
}

void RestartPair(Bus& bus, std::chrono::milliseconds pause) {
  const RxBody zero{};
  SendRxInstruction(bus, 0xF7, 0, zero);
  bus.Host.Pause(pause);
  SendRxInstruction(bus, 0xF7, 1, zero);
}

}  // namespace vesk
