#include "bus/instructions.h"

#include <ostream>

#include "bus/link_forms.h"

namespace vesk {

ResultCode ReadStatusByte(Bus& bus, uint8_t& out) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbReadStatusByte(bus, out);
    case BusInterface::ETH:
      return EthReadStatusByte(bus, out);
    case BusInterface::VIRTUAL:
      return kResultOk;
    default:
      return kResultNoLink;
  }
}

ResultCode SendDataBlock(Bus& bus, const uint8_t* data, uint8_t n, uint8_t& echo) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbSendDataBlock(bus, data, n, echo);
    case BusInterface::ETH:
      return EthSendDataBlock(bus, data, n, echo);
    case BusInterface::VIRTUAL:
      return kResultOk;
    default:
      return kResultNoLink;
  }
}

ResultCode SendRxInstruction(Bus& bus, uint8_t instruction, uint16_t parameter,
                             const RxBody& body) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbSendRxInstruction(bus, instruction, parameter, body);
    case BusInterface::ETH:
      return EthSendRxInstruction(bus, instruction, parameter, body);
    case BusInterface::VIRTUAL:
      bus.Host.Out() << "Virtual bus SendRxInstruction, Instr " << unsigned{instruction}
                     << ", InstrParam " << unsigned{parameter} << " \n";
      return kResultOk;
    default:
      return kResultNoInstructionPath;
  }
}

ResultCode ReadDeviceRecord(Bus& bus, std::array<uint8_t, kDeviceRecordSize>& out) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbReadDeviceRecord(bus, out);
    case BusInterface::VIRTUAL:
      return kResultOk;  // the record is left untouched
    default:
      return kResultNoInstructionPath;  // no caller reads the record over ETH
  }
}

ResultCode ReadDeviceInfo(Bus& bus, DeviceInfo& out) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbReadDeviceInfo(bus, out);
    case BusInterface::ETH:
      return EthReadDeviceInfo(bus, out);
    case BusInterface::VIRTUAL: {
      // A fixed identity, so that an update run can be walked without hardware.
      uint32_t reserved = out.Reserved;
      out = DeviceInfo{};
      out.Uid = 0x12345678;
      out.Reserved = reserved;
      return kResultOk;
    }
    default:
      return kResultNoInstructionPath;
  }
}

ResultCode ApplyReplyTimeout(Bus& bus) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbApplyReplyTimeout(bus);
    case BusInterface::ETH:
      return EthApplyReplyTimeout(bus);
    case BusInterface::VIRTUAL:
      return kResultOk;
    default:
      return kResultNoLink;
  }
}

ResultCode EnterIapMode(Bus& bus) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbEnterIapMode(bus);
    case BusInterface::ETH:
      return EthEnterIapMode(bus);
    case BusInterface::VIRTUAL:
      return kResultOk;
    default:
      return kResultNoInstructionPath;
  }
}

ResultCode WriteFlashBlock(Bus& bus, const uint8_t* data, uint8_t sequence, uint8_t n) {
  switch (bus.Interface) {
    case BusInterface::USB:
      return UsbWriteFlashBlock(bus, data, sequence, n);
    case BusInterface::ETH:
      return EthWriteFlashBlock(bus, data, sequence, n);
    case BusInterface::VIRTUAL:
      return kResultOk;
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
