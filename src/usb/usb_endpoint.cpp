#include "usb/usb_endpoint.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/byte_order.h"

namespace vesk {

namespace {

// After a timeout the cancelled transfer normally finishes at once; this is
// how long it may take before the endpoint is aborted a second time.
constexpr std::chrono::milliseconds kAbortGrace{50};

constexpr uint8_t kDirectionBit = 0x80;

uint32_t LengthOf(int32_t length) { return length > 0 ? static_cast<uint32_t>(length) : 0; }

}  // namespace

CCyUSBEndPoint::CCyUSBEndPoint(UsbDeviceHandle* handle, const uint8_t* descriptor,
                               const uint8_t* companion)
    : Handle(handle) {
  bLength = descriptor[0];
  bDescriptorType = descriptor[1];
  Address = descriptor[2];
  Attributes = descriptor[3];
  uint16_t wMaxPacketSize = GetLe16(descriptor + 4);
  bInterval = descriptor[6];
  IsIn = (Address & kDirectionBit) != 0;
  PacketsPerMicroframe = static_cast<uint16_t>(((wMaxPacketSize >> 11) & 3) + 1);
  MaxPacketSize = (wMaxPacketSize & 0x7FFu) * PacketsPerMicroframe;
  if (companion != nullptr) {
    ssbLength = companion[0];
    ssbDescriptorType = companion[1];
    ssbMaxBurst = companion[2];
    ssbmAttributes = companion[3];
    sswBytesPerInterval = GetLe16(companion + 4);
    MaxPacketSize *= ssbMaxBurst + 1u;
    // An isochronous endpoint moves up to three bursts per service interval.
    if ((Attributes & 3) == 1) MaxPacketSize *= (ssbmAttributes & 3) + 1u;
  }
}

CCyUSBEndPoint::CCyUSBEndPoint(UsbDeviceHandle* handle) : Handle(handle) {}

bool CCyUSBEndPoint::Transfer(uint8_t* data, int32_t& length, CCyIsoPktInfo* packets) {
  std::unique_ptr<TransferRequest> request = BeginTransfer(data, length);
  bool waited = WaitForTransfer(request.get());
  bool completed = CompleteTransfer(data, length, std::move(request), packets);
  return waited && completed;
}

bool CCyUSBEndPoint::WaitForTransfer(TransferRequest* request) {
  if (request == nullptr || !request->InFlight) {
    LastError = EIO;
    return false;
  }
  LastError = 0;
  UsbTransfer& transfer = *request->InFlight;
  if (transfer.Wait(std::chrono::milliseconds(TimeoutMs))) return true;
  Abort();
  if (transfer.Wait(kAbortGrace)) return true;
  Abort();
  return transfer.Wait(std::nullopt);
}

bool CCyUSBEndPoint::Abort() {
  if (Handle != nullptr) Handle->Abort(Address);
  return true;
}

std::unique_ptr<TransferRequest> CCyUSBEndPoint::Start(UsbTransferPlan plan,
                                                       std::unique_ptr<TransferRequest> request) {
  request->InFlight = Handle->Submit(plan);
  LastError = request->InFlight ? 0 : EIO;
  return request;
}

std::unique_ptr<TransferRequest> CCyUSBEndPoint::BeginDirectTransfer(uint8_t* data,
                                                                     int32_t length) {
  if (Handle == nullptr) return nullptr;
  UsbTransferPlan plan;
  plan.Type = Type();
  plan.EndpointAddress = Address;
  plan.Data = data;
  plan.Length = LengthOf(length);
  NtStatus = 0;
  UsbdStatus = 0;
  return Start(plan, std::make_unique<TransferRequest>());
}

std::unique_ptr<TransferRequest> CCyUSBEndPoint::BeginBufferedTransfer(uint8_t* data,
                                                                       int32_t length) {
  if (Handle == nullptr) return nullptr;
  auto request = std::make_unique<TransferRequest>();
  request->Buffered = true;
  request->DataArea.assign(data, data + LengthOf(length));
  UsbTransferPlan plan;
  plan.Type = Type();
  plan.EndpointAddress = Address;
  plan.Data = request->DataArea.data();
  plan.Length = LengthOf(length);
  NtStatus = 0;
  UsbdStatus = 0;
  return Start(plan, std::move(request));
}

bool CCyUSBEndPoint::CompleteTransfer(uint8_t* data, int32_t& length,
                                      std::unique_ptr<TransferRequest> request,
                                      CCyIsoPktInfo* packets) {
  bool collected = request && request->InFlight && request->InFlight->Wait(std::chrono::milliseconds(0));
  UsbTransferResult result;
  if (collected) result = request->InFlight->Result();
  uint32_t moved = collected ? result.Length : 0;
  length = static_cast<int32_t>(moved);
  BytesTransferred = moved;
  UsbdStatus = result.UsbdStatus;
  NtStatus = result.NtStatus;
  if (IsIn && TransferMode == kTransferModeBuffered && moved > 0 && request->Buffered) {
    std::memcpy(data, request->DataArea.data(), std::min<size_t>(moved, request->DataArea.size()));
  }
  if (packets != nullptr && moved > 0) {
    for (uint32_t i = 0; i < request->IsoPacketCount; ++i) {
      packets[i] = CCyIsoPktInfo{};
      if (i < result.IsoPackets.size()) {
        packets[i].Status = static_cast<int32_t>(result.IsoPackets[i].UsbdStatus);
        packets[i].Length = static_cast<int32_t>(result.IsoPackets[i].Length);
      }
    }
  }
  return collected && UsbdStatus == 0 && NtStatus == 0;
}

uint32_t CCyControlEndPoint::TimeoutSeconds(uint32_t timeoutMs) {
  if (timeoutMs == 0) return 0;
  if (timeoutMs < 1000) return 1;
  return timeoutMs / 1000;
}

bool CCyControlEndPoint::Read(uint8_t* data, int32_t& length) {
  Direction = kDirectionIn;
  return Transfer(data, length);
}

bool CCyControlEndPoint::Write(uint8_t* data, int32_t& length) {
  Direction = kDirectionOut;
  return Transfer(data, length);
}

std::unique_ptr<TransferRequest> CCyControlEndPoint::BeginTransfer(uint8_t* data,
                                                                   int32_t length) {
  if (Handle == nullptr) return nullptr;
  IsIn = Direction == kDirectionIn;
  // A setup packet carries at most 65535 data bytes.
  uint32_t count = std::min<uint32_t>(LengthOf(length), 0xFFFF);
  auto request = std::make_unique<TransferRequest>();
  request->Buffered = true;
  request->DataArea.assign(data, data + count);
  UsbTransferPlan plan;
  plan.Type = UsbTransferType::Control;
  plan.EndpointAddress = 0;
  plan.Setup.RequestType = static_cast<uint8_t>((Direction << 7) | ((RequestType & 3) << 5) |
                                                (Target & 0x1F));
  plan.Setup.Request = RequestCode;
  plan.Setup.Value = Value;
  plan.Setup.Index = Index;
  plan.Setup.Length = static_cast<uint16_t>(count);
  plan.ControlTimeoutSeconds = TimeoutSeconds(TimeoutMs);
  plan.Data = request->DataArea.data();
  plan.Length = count;
  return Start(plan, std::move(request));
}

std::unique_ptr<TransferRequest> CCyBulkEndPoint::BeginTransfer(uint8_t* data, int32_t length) {
  if (Handle == nullptr) return nullptr;
  return TransferMode == kTransferModeDirect ? BeginDirectTransfer(data, length)
                                             : BeginBufferedTransfer(data, length);
}

std::unique_ptr<TransferRequest> CCyInterruptEndPoint::BeginTransfer(uint8_t* data,
                                                                     int32_t length) {
  if (Handle == nullptr) return nullptr;
  return TransferMode == kTransferModeDirect ? BeginDirectTransfer(data, length)
                                             : BeginBufferedTransfer(data, length);
}

uint32_t CCyIsocEndPoint::PacketCount(int32_t length) const {
  if (MaxPacketSize == 0) return 0;
  uint32_t bytes = LengthOf(length);
  return bytes / MaxPacketSize + (bytes % MaxPacketSize != 0 ? 1 : 0);
}

std::unique_ptr<TransferRequest> CCyIsocEndPoint::BeginTransfer(uint8_t* data, int32_t length) {
  if (Handle == nullptr) return nullptr;
  return TransferMode == kTransferModeDirect ? BeginDirectTransfer(data, length)
                                             : BeginBufferedTransfer(data, length);
}

std::unique_ptr<TransferRequest> CCyIsocEndPoint::BeginDirectTransfer(uint8_t* data,
                                                                      int32_t length) {
  uint32_t packets = PacketCount(length);
  if (Handle == nullptr || packets == 0) return nullptr;
  auto request = std::make_unique<TransferRequest>();
  request->IsoPacketCount = packets;
  UsbTransferPlan plan;
  plan.Type = UsbTransferType::Isochronous;
  plan.EndpointAddress = Address;
  plan.Data = data;
  plan.Length = LengthOf(length);
  plan.IsoPacketCount = packets;
  plan.IsoPacketLength = MaxPacketSize;
  NtStatus = 0;
  UsbdStatus = 0;
  return Start(plan, std::move(request));
}

std::unique_ptr<TransferRequest> CCyIsocEndPoint::BeginBufferedTransfer(uint8_t* data,
                                                                        int32_t length) {
  uint32_t packets = PacketCount(length);
  if (Handle == nullptr || packets == 0) return nullptr;
  auto request = std::make_unique<TransferRequest>();
  request->IsoPacketCount = packets;
  request->Buffered = true;
  request->DataArea.assign(data, data + LengthOf(length));
  UsbTransferPlan plan;
  plan.Type = UsbTransferType::Isochronous;
  plan.EndpointAddress = Address;
  plan.Data = request->DataArea.data();
  plan.Length = LengthOf(length);
  plan.IsoPacketCount = packets;
  plan.IsoPacketLength = MaxPacketSize;
  NtStatus = 0;
  UsbdStatus = 0;
  return Start(plan, std::move(request));
}

}  // namespace vesk
