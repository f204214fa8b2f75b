#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "usb/usb_host.h"

namespace vesk {

// What an isochronous transfer reports per packet.
struct CCyIsoPktInfo {
  int32_t Status = 0;  // the packet's USBD status word
  int32_t Length = 0;  // bytes moved in the packet
};

// One started transfer and what it owns until it is collected: the host's
// transfer in flight and, for buffered and control transfers, the data area
// the data travels in.
struct TransferRequest {
  std::unique_ptr<UsbTransfer> InFlight;  // none when the host refused to start it
  std::vector<uint8_t> DataArea;          // empty for direct transfers
  bool Buffered = false;
  uint32_t IsoPacketCount = 0;
};

// One endpoint of an open device. Every transfer is started, waited for with
// the endpoint's own timeout, aborted when that passes, and then collected
// with the host's status words. The device creates the endpoints from its
// descriptors and hands each its handle.
class CCyUSBEndPoint {
 public:
  // `descriptor` is a 7-byte endpoint descriptor, `companion` the SuperSpeed
  // endpoint companion that followed it (6 bytes) or none.
  CCyUSBEndPoint(UsbDeviceHandle* handle, const uint8_t* descriptor, const uint8_t* companion);
  // Endpoint 0, which has no descriptor; its creator fills in the fields.
  explicit CCyUSBEndPoint(UsbDeviceHandle* handle);
  virtual ~CCyUSBEndPoint() = default;
  CCyUSBEndPoint(const CCyUSBEndPoint&) = delete;
  CCyUSBEndPoint& operator=(const CCyUSBEndPoint&) = delete;

  // One synchronous transfer of `length` bytes; `length` becomes the bytes
  // moved. True only when the host finished it with both status words 0.
  bool Transfer(uint8_t* data, int32_t& length, CCyIsoPktInfo* packets = nullptr);

  // Waits up to TimeoutMs; on timeout aborts the endpoint, allows 50 ms for
  // the cancellation, then aborts again and waits without limit.
  bool WaitForTransfer(TransferRequest* request);

  // Cancels every transfer in flight on this endpoint. Always true.
  bool Abort();

  virtual std::unique_ptr<TransferRequest> BeginDirectTransfer(uint8_t* data, int32_t length);
  virtual std::unique_ptr<TransferRequest> BeginBufferedTransfer(uint8_t* data, int32_t length);
  virtual std::unique_ptr<TransferRequest> BeginTransfer(uint8_t* data, int32_t length) = 0;
  virtual bool CompleteTransfer(uint8_t* data, int32_t& length,
                                std::unique_ptr<TransferRequest> request,
                                CCyIsoPktInfo* packets);

  UsbDeviceHandle* Handle = nullptr;  // the device's, not owned

  uint8_t bLength = 0;
  uint8_t bDescriptorType = 0;
  uint8_t Address = 0;
  uint8_t Attributes = 0;
  uint8_t bInterval = 0;
  uint16_t PacketsPerMicroframe = 1;
  // Wide enough for every product of the descriptor's factors, so that an
  // odd descriptor cannot wrap it to 0.
  uint32_t MaxPacketSize = 0;

  // The SuperSpeed endpoint companion, all 0 without one.
  uint8_t ssbLength = 0;
  uint8_t ssbDescriptorType = 0;
  uint8_t ssbMaxBurst = 0;
  uint8_t ssbmAttributes = 0;
  uint16_t sswBytesPerInterval = 0;

  uint32_t TimeoutMs = kDefaultTimeoutMs;
  uint32_t UsbdStatus = 0;
  uint32_t NtStatus = 0;
  uint32_t BytesTransferred = 0;
  uint32_t LastError = 0;
  bool IsIn = false;
  uint32_t TransferMode = kTransferModeDirect;

  static constexpr uint32_t kDefaultTimeoutMs = 10000;
  static constexpr uint32_t kTransferModeBuffered = 0;
  static constexpr uint32_t kTransferModeDirect = 1;

 protected:
  UsbTransferType Type() const { return static_cast<UsbTransferType>(Attributes & 3); }
  std::unique_ptr<TransferRequest> Start(UsbTransferPlan plan, std::unique_ptr<TransferRequest> request);
};

// Endpoint 0 and endpoints described as control endpoints. The setup fields
// stay as the caller last set them; Read and Write set only the direction.
class CCyControlEndPoint : public CCyUSBEndPoint {
 public:
  // Control data always travels through the request's data area.
  CCyControlEndPoint(UsbDeviceHandle* handle, const uint8_t* descriptor, const uint8_t* companion)
      : CCyUSBEndPoint(handle, descriptor, companion) {
    TransferMode = kTransferModeBuffered;
  }
  explicit CCyControlEndPoint(UsbDeviceHandle* handle) : CCyUSBEndPoint(handle) {
    TransferMode = kTransferModeBuffered;
  }

  bool Read(uint8_t* data, int32_t& length);
  bool Write(uint8_t* data, int32_t& length);
  std::unique_ptr<TransferRequest> BeginTransfer(uint8_t* data, int32_t length) override;

  // The host's request timeout in whole seconds for a wait of `timeoutMs`:
  // under a second rounds up to one, otherwise the remainder is dropped.
  static uint32_t TimeoutSeconds(uint32_t timeoutMs);

  uint32_t Target = 0;       // recipient: 0 device, 1 interface, 2 endpoint
  uint32_t RequestType = 2;  // 0 standard, 1 class, 2 vendor
  uint32_t Direction = 0;    // 1 device to host, 0 host to device
  uint8_t RequestCode = 0;
  uint16_t Value = 0;
  uint16_t Index = 0;

  static constexpr uint32_t kDirectionIn = 1;
  static constexpr uint32_t kDirectionOut = 0;
  static constexpr uint32_t kRequestTypeStandard = 0;
  static constexpr uint32_t kRequestTypeClass = 1;
  static constexpr uint32_t kRequestTypeVendor = 2;
};

// Bulk and interrupt endpoints: direct transfers unless set to buffered.
class CCyBulkEndPoint : public CCyUSBEndPoint {
 public:
  using CCyUSBEndPoint::CCyUSBEndPoint;
  std::unique_ptr<TransferRequest> BeginTransfer(uint8_t* data, int32_t length) override;
};

class CCyInterruptEndPoint : public CCyUSBEndPoint {
 public:
  using CCyUSBEndPoint::CCyUSBEndPoint;
  std::unique_ptr<TransferRequest> BeginTransfer(uint8_t* data, int32_t length) override;
};

// Isochronous endpoints split a transfer into MaxPacketSize packets and
// report each packet's outcome.
class CCyIsocEndPoint : public CCyUSBEndPoint {
 public:
  using CCyUSBEndPoint::CCyUSBEndPoint;
  std::unique_ptr<TransferRequest> BeginTransfer(uint8_t* data, int32_t length) override;
  std::unique_ptr<TransferRequest> BeginDirectTransfer(uint8_t* data, int32_t length) override;
  std::unique_ptr<TransferRequest> BeginBufferedTransfer(uint8_t* data, int32_t length) override;

 private:
  uint32_t PacketCount(int32_t length) const;
};

}  // namespace vesk
