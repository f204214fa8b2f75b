#include "bus/usb_packet_exchange.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "common/byte_order.h"
#include "usb/usb_device.h"

namespace vesk {

namespace {

// Class requests of the FX3 controller's packet exchange (control-request
// mode), and its vendor requests.
constexpr uint8_t kRequestWrite = 0x01;           // 100 request bytes
constexpr uint8_t kRequestRead = 0x81;            // Value: reply length
constexpr uint8_t kRequestExchangeWrite = 0x02;   // Value: timeout, Index: reply length
constexpr uint8_t kRequestExchangeRead = 0x86;    // Value: reply length, Index: 1
constexpr uint8_t kRequestControllerInfo = 0x82;  // 16 bytes
constexpr uint8_t kRequestInitController = 0x89;
constexpr uint8_t kRequestImageBlock = 0xF0;  // Value: 64 KiB page, Index: offset in the page

constexpr int32_t kControlPacketSize = 100;
constexpr int32_t kFastRequestSize = 200;
constexpr int32_t kFastPacketSize = 1024;
constexpr uint32_t kFastPacketMagic = 0x5A5A5A5A;
constexpr uint32_t kFastPacketCount = 1;
constexpr size_t kFastMagicOffset = 0;
constexpr size_t kFastCountOffset = 4;
constexpr size_t kFastRequestOffset = 8;

constexpr size_t kRequestOutSlot = 3;  // fast-mode requests
constexpr size_t kReplyInSlot = 4;     // fast-mode replies

constexpr int32_t kControllerInfoSize = 16;
constexpr size_t kControllerVersionOffset = 12;
constexpr int32_t kInitReadSize = 11;   // 0x4Exx controllers answer 11 bytes
constexpr int32_t kInitWriteSize = 2;   // the others take two zero bytes
constexpr uint32_t kInitReadFamilyBelow = 0x3700;
constexpr uint32_t kInitReadFamily = 0x4E00;

constexpr int32_t kImageBlockSize = 2048;
constexpr int32_t kImagePageSize = 65536;
constexpr uint16_t kImagePages = 8;

// After a fast-mode request the controller needs a moment before its reply
// endpoint is read.
constexpr std::chrono::nanoseconds kFastReplySettle{5000};

constexpr uint16_t kCypressProductId = 0x00F1;

bool Fast(const Bus& bus) { return bus.FastTransfer == 1; }

CCyUSBEndPoint* Slot(Bus& bus, size_t slot) {
  if (!bus.Device || bus.Device->CurrentInterface == nullptr) return nullptr;
  if (slot >= bus.Device->EndpointCount()) return nullptr;
  return bus.Device->CurrentInterface->Endpoints[slot];
}

// One request on the control endpoint with the device as recipient: -8 when
// it moved nothing, else the endpoint's USBD status.
ResultCode ControlRequest(CCyControlEndPoint& control, uint32_t type, uint32_t direction,
                          uint8_t code, uint16_t value, uint16_t index, uint8_t* data,
                          int32_t& length) {
  control.Target = 0;
  control.RequestType = type;
  control.RequestCode = code;
  control.Value = value;
  control.Index = index;
  if (direction == CCyControlEndPoint::kDirectionIn) {
    control.Read(data, length);
  } else {
    control.Write(data, length);
  }
  if (length <= 0) return kResultTransferFailed;
  return static_cast<ResultCode>(control.UsbdStatus);
}

constexpr uint32_t kClass = CCyControlEndPoint::kRequestTypeClass;
constexpr uint32_t kVendor = CCyControlEndPoint::kRequestTypeVendor;
constexpr uint32_t kIn = CCyControlEndPoint::kDirectionIn;
constexpr uint32_t kOut = CCyControlEndPoint::kDirectionOut;

}  // namespace

ResultCode OpenUsbDevice(std::unique_ptr<CCyDevice, CCyDeviceDeleter>& device, int32_t deviceIndex,
                         std::ostream& errors) {
  int32_t instruments = CCyDevice(InstrumentDriverGuid).CountDevices();
  std::vector<int32_t> skipped;
  {
    // Opened only to read its identity; closed again before the chosen
    // device is opened, so that the chosen one can claim its interface.
    CCyDevice cypress(CypressDriverGuid);
    int32_t count = cypress.CountDevices();
    for (int32_t i = 0; i < count; ++i) {
      cypress.Open(static_cast<uint8_t>(i));
      if (cypress.VendorId != kCypressVendorId || cypress.ProductId != kCypressProductId) {
        skipped.push_back(i);
      }
    }
  }

  uint8_t number;
  if (deviceIndex < instruments) {
    device.reset(new CCyDevice(InstrumentDriverGuid, &errors));
    number = static_cast<uint8_t>(deviceIndex);
  } else {
    device.reset(new CCyDevice(CypressDriverGuid, &errors));
    number = static_cast<uint8_t>(deviceIndex - instruments);
    for (int32_t listed : skipped) {
      if (listed > number) break;
      ++number;
    }
  }
  device->Open(number);
  if (device->CountDevices() == 0 || !device->IsOpen()) return kResultNoLink;
  for (size_t slot = 0; slot < device->EndpointCount(); ++slot) {
    if (CCyUSBEndPoint* endpoint = device->CurrentInterface->Endpoints[slot]) {
      endpoint->TimeoutMs = kUsbDefaultTimeoutMs;
    }
  }
  return kResultOk;
}

ResultCode ReadControllerInfo(CCyDevice& device, int32_t& controllerInfo,
                              uint32_t& controllerVersion) {
  if (!device.ControlEndpoint) return kResultNoLink;
  std::array<uint8_t, kControllerInfoSize> info{};
  int32_t length = kControllerInfoSize;
  ResultCode result = ControlRequest(*device.ControlEndpoint, kClass, kIn, kRequestControllerInfo,
                                     kControllerInfoSize, 0, info.data(), length);
  controllerInfo = info[0];
  controllerVersion = GetLe32(info.data() + kControllerVersionOffset);
  return result;
}

ResultCode InitController(CCyDevice& device, uint32_t controllerVersion) {
  if (!device.ControlEndpoint) return kResultNoLink;
  std::array<uint8_t, kInitReadSize> buffer{};
  uint32_t family = controllerVersion & 0xFF00;
  int32_t length;
  if (controllerVersion <= 0xFFFF && (family < kInitReadFamilyBelow || family == kInitReadFamily)) {
    length = kInitReadSize;
    return ControlRequest(*device.ControlEndpoint, kClass, kIn, kRequestInitController, 0, 0,
                          buffer.data(), length);
  }
  length = kInitWriteSize;
  return ControlRequest(*device.ControlEndpoint, kVendor, kOut, kRequestInitController, 0, 0,
                        buffer.data(), length);
}

ResultCode UsbWrite(Bus& bus, const uint8_t* request, int32_t length) {
  if (!bus.Device || !bus.Device->ControlEndpoint) return kResultNoLink;
  ResultCode result = kResultOk;
  if (Fast(bus)) {
    CCyUSBEndPoint* out = Slot(bus, kRequestOutSlot);
    for (int32_t sent = 0; sent + kFastRequestSize <= length; sent += kFastRequestSize) {
      if (out == nullptr) return kResultTransferFailed;
      std::array<uint8_t, kFastPacketSize> packet{};
      PutLe32(packet.data() + kFastMagicOffset, kFastPacketMagic);
      PutLe32(packet.data() + kFastCountOffset, kFastPacketCount);
      std::memcpy(packet.data() + kFastRequestOffset, request + sent, kFastRequestSize);
      int32_t count = kFastPacketSize;
      out->Transfer(packet.data(), count);
      result = static_cast<ResultCode>(out->UsbdStatus);
    }
    return result;
  }
  for (int32_t sent = 0; sent + kControlPacketSize <= length; sent += kControlPacketSize) {
    std::array<uint8_t, kControlPacketSize> packet;
    std::memcpy(packet.data(), request + sent, kControlPacketSize);
    int32_t count = kControlPacketSize;
    result = ControlRequest(*bus.Device->ControlEndpoint, kClass, kOut, kRequestWrite, 0, 0,
                            packet.data(), count);
  }
  return result;
}

ResultCode UsbRead(Bus& bus, uint8_t* reply, int32_t length) {
  if (!bus.Device || !bus.Device->ControlEndpoint) return kResultNoLink;
  // One transfer carries at most one reply buffer; a longer request gets
  // only that much.
  int32_t wanted = std::clamp(length, 0, kUsbReplyBufferSize);
  std::array<uint8_t, kUsbReplyBufferSize> buffer{};
  ResultCode result;
  if (Fast(bus)) {
    CCyUSBEndPoint* in = Slot(bus, kReplyInSlot);
    int32_t count = kUsbReplyBufferSize;
    bool done = in != nullptr && in->Transfer(buffer.data(), count);
    if (done && in->NtStatus == kNtStatusSuccess) {
      result = kResultOk;
    } else if (in != nullptr && in->NtStatus == kNtStatusCancelled) {
      result = kResultUsbReadTimeout;
    } else {
      result = kResultNoLink;
    }
  } else {
    int32_t count = wanted;
    result = ControlRequest(*bus.Device->ControlEndpoint, kClass, kIn, kRequestRead,
                            static_cast<uint16_t>(wanted), 0, buffer.data(), count);
  }
  if (wanted > 0) std::memcpy(reply, buffer.data(), static_cast<size_t>(wanted));
  return result;
}

ResultCode UsbSetTimeout(Bus& bus, uint32_t timeoutMs) {
  if (!bus.Device) return kResultNoLink;
  CCyUSBEndPoint* endpoint =
      Fast(bus) ? Slot(bus, kReplyInSlot) : bus.Device->ControlEndpoint.get();
  if (endpoint != nullptr) endpoint->TimeoutMs = timeoutMs;
  return static_cast<ResultCode>(bus.Device->UsbdStatus);
}

ResultCode UsbExchange(Bus& bus, const uint8_t* request, int32_t requestLength, uint8_t* reply,
                       int32_t& replyLength, uint32_t timeoutMs) {
  if (!bus.Device || !bus.Device->ControlEndpoint) return kResultNoLink;
  if (Fast(bus)) {
    if (CCyUSBEndPoint* in = Slot(bus, kReplyInSlot)) in->TimeoutMs = timeoutMs;
    UsbWrite(bus, request, requestLength);
    auto written = bus.Host.Now();
    while (bus.Host.Now() - written <= kFastReplySettle) {
    }
    return UsbRead(bus, reply, replyLength);
  }
  CCyControlEndPoint& control = *bus.Device->ControlEndpoint;
  control.TimeoutMs = timeoutMs;
  std::vector<uint8_t> copy(request, request + std::max(requestLength, 0));
  int32_t count = requestLength;
  ControlRequest(control, kClass, kOut, kRequestExchangeWrite, static_cast<uint16_t>(timeoutMs),
                 static_cast<uint16_t>(replyLength), copy.data(), count);
  ControlRequest(control, kClass, kIn, kRequestExchangeRead, static_cast<uint16_t>(replyLength), 1,
                 reply, replyLength);
  control.TimeoutMs = kUsbDefaultTimeoutMs;
  return static_cast<ResultCode>(bus.Device->UsbdStatus);
}

ResultCode DownloadControllerImage(CCyDevice& device, const uint8_t* image, int32_t length) {
  if (length < 2 || image[0] != 'C' || image[1] != 'Y') return kResultControllerImageUnsigned;
  if (!device.ControlEndpoint) return kResultNoLink;
  CCyControlEndPoint& control = *device.ControlEndpoint;
  control.Target = 0;
  control.RequestType = kVendor;
  control.RequestCode = kRequestImageBlock;
  control.Direction = kOut;
  control.Value = 0;
  control.Index = 0;
  std::array<uint8_t, kImageBlockSize> block;
  int32_t offset = 0;
  for (; offset + kImageBlockSize <= length;) {
    std::memcpy(block.data(), image + offset, kImageBlockSize);
    int32_t count = kImageBlockSize;
    if (!control.Transfer(block.data(), count)) return kResultTransferFailed;
    control.Index = static_cast<uint16_t>(control.Index + count);
    offset += kImageBlockSize;
    if (offset % kImagePageSize == 0) {
      control.Value = static_cast<uint16_t>((control.Value + 1) % kImagePages);
      control.Index = 0;
    }
  }
  int32_t rest = length - offset;
  if (rest > 0) {
    std::memcpy(block.data(), image + offset, static_cast<size_t>(rest));
    if (!control.Transfer(block.data(), rest)) return kResultTransferFailed;
  }
  return kResultOk;
}

}  // namespace vesk
