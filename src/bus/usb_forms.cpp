// USB forms of the bus operations: every instruction travels as a 200-byte
// request packet through the FX3 packet exchange.

#include <algorithm>
#include <cstring>

#include "bus/link_forms.h"
#include "bus/request_packet.h"
#include "bus/usb_packet_exchange.h"
#include "common/byte_order.h"
#include "usb/usb_device.h"

namespace vesk {

void CCyDeviceDeleter::operator()(CCyDevice* device) const { delete device; }

namespace {

constexpr size_t kRecordUid = 0;
constexpr size_t kRecordModel = 8;
constexpr size_t kRecordHardware = 10;
constexpr size_t kRecordMcu = 12;
constexpr size_t kRecordFpga = 16;

constexpr uint8_t kIapAcknowledge = 6;

constexpr int kEchoAttemptsControlMode = 20;
constexpr int kEchoAttemptsFastMode = 1;
constexpr int kDeviceRecordAttempts = 5;
// The instrument may still be assembling its record; it is asked again
// after this pause.
constexpr std::chrono::milliseconds kDeviceRecordRetryPause{30};
// The MCU needs this long to switch into in-application programming before
// it confirms.
constexpr std::chrono::milliseconds kIapSwitchPause{2000};
constexpr uint32_t kIapRequestTimeoutMs = 1000;
constexpr uint32_t kFlashBlockTimeoutMs = 5000;
constexpr uint32_t kDeviceRecordTimeoutMs = 2000;

// Controllers that cannot carry fast packets, and the firmware versions from
// which the instrument answers them.
constexpr uint32_t kControllerWithoutFastMode = 20203;  // 0x4EEB
constexpr uint32_t kFirstFastController = 14081;        // 0x3701
constexpr uint32_t kFirstFastMcu = 14132;               // 0.55.52
constexpr uint32_t kFirstFastFpga = 14102;              // 0.55.22

bool ControllerTakesFastPackets(uint32_t version) {
  return version != kControllerWithoutFastMode && version >= kFirstFastController;
}

ResultCode Write(Bus& bus, const RequestPacket& packet) {
  return UsbWrite(bus, packet.data(), static_cast<int32_t>(packet.size()));
}

}  // namespace

ResultCode UsbOpen(Bus& bus, int32_t deviceIndex) {
  if (OpenUsbDevice(bus.Device, deviceIndex, bus.Host.Err()) != kResultOk) return kResultNoLink;
  if (ReadControllerInfo(*bus.Device, bus.ControllerInfo, bus.ControllerVersion) != kResultOk) {
    return kResultNoLink;
  }
  bus.FastTransfer = 0;
  if (!ControllerTakesFastPackets(bus.ControllerVersion)) return kResultOk;
  return InitController(*bus.Device, bus.ControllerVersion) == kResultOk ? kResultOk
                                                                         : kResultNoLink;
}

ResultCode UsbClose(Bus& bus) {
  if (bus.Device) {
    bus.Device->Close();
    bus.Device.reset();
  }
  return kResultOk;
}

ResultCode UsbReadStatusByte(Bus& bus, uint8_t& out) { return UsbRead(bus, &out, 1); }

ResultCode UsbSendDataBlock(Bus& bus, const uint8_t* data, uint8_t n, uint8_t& echo) {
  if (Write(bus, DataBlockPacket(data, n)) != kResultOk) return kResultTransferFailed;
  if (Write(bus, DataControlPacket(n)) != kResultOk) return kResultTransferFailed;

  bool fast = bus.FastTransfer == 1;
  int attempts = fast ? kEchoAttemptsFastMode : kEchoAttemptsControlMode;
  ResultCode result = kResultOk;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    uint8_t reply = 0;
    result = UsbRead(bus, &reply, 1);
    echo = reply;
    // In fast mode the instrument may not echo at all; the caller judges
    // the echo byte.
    if (fast && result == kResultUsbReadTimeout) result = kResultOk;
    if (echo == n) break;
  }
  return result;
}

ResultCode UsbSendRxInstruction(Bus& bus, uint8_t instruction, uint16_t parameter,
                                const RxBody& body) {
  return Write(bus, RxInstructionPacket(instruction, parameter, body)) == kResultOk
             ? kResultOk
             : kResultTransferFailed;
}

ResultCode UsbReadDeviceRecord(Bus& bus, std::array<uint8_t, kDeviceRecordSize>& out) {
  const RequestPacket packet = InstructionPacket(kInstrReadDeviceRecord, kDeviceRecordParameter);
  std::array<uint8_t, kDeviceRecordSize> reply{};
  int32_t received = 0;
  for (int attempt = 0; attempt < kDeviceRecordAttempts; ++attempt) {
    if (attempt > 0) bus.Host.Pause(kDeviceRecordRetryPause);
    received = static_cast<int32_t>(reply.size());
    if (UsbExchange(bus, packet.data(), static_cast<int32_t>(packet.size()), reply.data(),
                    received, kDeviceRecordTimeoutMs) != kResultOk) {
      return kResultTransferFailed;
    }
    if (received == static_cast<int32_t>(kDeviceRecordSize)) break;
  }
  // A one-byte reply is the instrument's refusal; a reply that never came is
  // no record either (taking it would report an identity of zeros).
  if (received <= 1) return kResultTransferFailed;
  out = reply;
  return kResultOk;
}

ResultCode UsbReadDeviceInfo(Bus& bus, DeviceInfo& out) {
  std::array<uint8_t, kDeviceRecordSize> record{};
  if (UsbReadDeviceRecord(bus, record) != kResultOk) return kResultTransferFailed;
  out.Uid = GetLe64(record.data() + kRecordUid);
  out.ModelCode = GetLe16(record.data() + kRecordModel);
  out.HardwareCode = GetLe16(record.data() + kRecordHardware);
  out.McuVersion = GetLe32(record.data() + kRecordMcu);
  out.FpgaVersion = GetLe32(record.data() + kRecordFpga);
  bus.FastTransfer = ControllerTakesFastPackets(bus.ControllerVersion) &&
                             out.McuVersion >= kFirstFastMcu && out.FpgaVersion >= kFirstFastFpga
                         ? 1
                         : 0;
  return kResultOk;
}

ResultCode UsbApplyReplyTimeout(Bus& bus) {
  if (!bus.Device) return kResultNoLink;
  if (bus.Device->BulkIn != nullptr) bus.Device->BulkIn->TimeoutMs = bus.ReplyTimeoutMs;
  return static_cast<ResultCode>(bus.Device->UsbdStatus);
}

ResultCode UsbEnterIapMode(Bus& bus) {
  UsbSetTimeout(bus, kIapRequestTimeoutMs);
  Write(bus, InstructionPacket(kInstrIapRequest, kIapKey));
  bus.Host.Pause(kIapSwitchPause);
  const RequestPacket packet = InstructionPacket(kInstrIapConfirm, kIapKey);
  std::array<uint8_t, kDeviceRecordSize> reply{};
  int32_t received = static_cast<int32_t>(reply.size());
  ResultCode result = UsbExchange(bus, packet.data(), static_cast<int32_t>(packet.size()),
                                  reply.data(), received, bus.ReplyTimeoutMs);
  UsbSetTimeout(bus, kUsbDefaultTimeoutMs);
  if (reply[0] != kIapAcknowledge) return kResultNotAcknowledged;
  return result == kResultOk ? kResultOk : kResultTransferFailed;
}

ResultCode UsbWriteFlashBlock(Bus& bus, const uint8_t* data, uint8_t sequence, uint8_t n) {
  const RequestPacket packet = IapBlockPacket(sequence, data, n);
  UsbSetTimeout(bus, kFlashBlockTimeoutMs);
  std::array<uint8_t, kDeviceRecordSize> reply{};
  ResultCode result = Write(bus, packet);
  if (result == kResultOk) result = UsbRead(bus, reply.data(), static_cast<int32_t>(reply.size()));
  // The reply endpoint goes back to its normal wait also after a failure.
  UsbSetTimeout(bus, kUsbDefaultTimeoutMs);
  if (result != kResultOk) return result;
  return static_cast<ResultCode>(bus.Device->UsbdStatus);
}

}  // namespace vesk
