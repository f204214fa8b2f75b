#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vesk {

// The host's USB stack as the device and endpoint classes need it: a handful
// of operations, each with its contract beside it. LibusbHost (libusb-1.0)
// is the program's implementation; tests put an in-memory host in its place
// with ScopedUsbHost.
//
// Status words: every finished transfer reports the pair of words the
// instrument's original host driver reported, so callers judge results the
// same way on every host.
inline constexpr uint32_t kNtStatusSuccess = 0;
inline constexpr uint32_t kNtStatusUnsuccessful = 0xC0000001;
inline constexpr uint32_t kNtStatusCancelled = 0xC0000120;       // aborted after its timeout
inline constexpr uint32_t kNtStatusDeviceGone = 0xC000009D;
inline constexpr uint32_t kUsbdStatusSuccess = 0;
inline constexpr uint32_t kUsbdStatusStall = 0xC0000004;          // the device stalled the pipe
inline constexpr uint32_t kUsbdStatusNotResponding = 0xC0000005;  // the device went away
inline constexpr uint32_t kUsbdStatusBufferOverrun = 0xC000000C;  // more data than asked for
inline constexpr uint32_t kUsbdStatusTransactionError = 0xC0000011;
inline constexpr uint32_t kUsbdStatusCancelled = 0xC0010000;
inline constexpr uint32_t kUsbdStatusNotStarted = 0xC0000A00;  // the host refused the request

// Where a device sits and the numbers its device descriptor gives.
struct UsbDeviceEntry {
  uint8_t BusNumber = 0;
  uint8_t Address = 0;
  uint16_t VendorId = 0;
  uint16_t ProductId = 0;
};

enum class UsbOpenOutcome { Opened, AccessDenied, Failed };

enum class UsbTransferType : uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

struct UsbSetupPacket {
  uint8_t RequestType = 0;  // bmRequestType
  uint8_t Request = 0;      // bRequest
  uint16_t Value = 0;
  uint16_t Index = 0;
  uint16_t Length = 0;
};

// One transfer to start. Data must stay valid until the transfer has
// finished; for device-to-host transfers the host writes into it.
struct UsbTransferPlan {
  UsbTransferType Type = UsbTransferType::Bulk;
  uint8_t EndpointAddress = 0;        // 0 for control requests
  UsbSetupPacket Setup;               // control requests only; Setup.Length == Length
  uint32_t ControlTimeoutSeconds = 0; // control requests only; 0 waits without limit
  uint8_t* Data = nullptr;
  uint32_t Length = 0;
  uint32_t IsoPacketCount = 0;        // isochronous only: Length split into packets
  uint32_t IsoPacketLength = 0;
};

struct UsbIsoPacketResult {
  uint32_t UsbdStatus = 0;
  uint32_t Length = 0;
};

struct UsbTransferResult {
  uint32_t NtStatus = kNtStatusUnsuccessful;
  uint32_t UsbdStatus = kUsbdStatusNotStarted;
  uint32_t Length = 0;  // bytes moved
  std::vector<UsbIsoPacketResult> IsoPackets;
};

// A transfer in flight.
class UsbTransfer {
 public:
  // A transfer still in flight is cancelled and waited for here, so its
  // buffer is never written after the owner lets go of it.
  virtual ~UsbTransfer() = default;

  // Blocks until the transfer has finished or `limit` has passed (no limit
  // when empty). True once it has finished, also when it finished earlier.
  virtual bool Wait(std::optional<std::chrono::milliseconds> limit) = 0;

  // The outcome; meaningful once Wait returned true. A transfer cancelled by
  // Abort reports kNtStatusCancelled/kUsbdStatusCancelled.
  virtual UsbTransferResult Result() const = 0;
};

// An open device.
class UsbDeviceHandle {
 public:
  // Closing releases a claimed interface; transfers must be gone by then.
  virtual ~UsbDeviceHandle() = default;

  // A device-to-host control request on endpoint 0 that blocks until it ends
  // or `timeoutMs` passes (descriptor reads, GET_INTERFACE). True when the
  // device answered; `received` is the byte count, `usbdStatus` the status
  // word (0 on success).
  virtual bool ControlRead(const UsbSetupPacket& setup, uint8_t* data, uint32_t timeoutMs,
                           uint32_t& received, uint32_t& usbdStatus) = 0;

  // Claims an interface for this handle so that its endpoints can carry
  // transfers; a kernel driver bound to it is detached. False when refused.
  virtual bool ClaimInterface(uint8_t interfaceNumber) = 0;

  // Starts a transfer and returns at once; nullptr when the host refused to
  // start it (nothing then reaches the device).
  virtual std::unique_ptr<UsbTransfer> Submit(const UsbTransferPlan& plan) = 0;

  // Cancels every transfer in flight on the endpoint (0: control requests).
  // Returns without waiting; the cancelled transfers finish through Wait.
  virtual void Abort(uint8_t endpointAddress) = 0;
};

class UsbHost {
 public:
  virtual ~UsbHost() = default;

  // The devices present now, in a stable order (bus, then address). A host
  // without USB support lists nothing.
  virtual std::vector<UsbDeviceEntry> ListDevices() = 0;

  // Opens the device at entry's bus and address. AccessDenied when it is
  // present but this user may not open it; Failed for every other reason.
  virtual UsbOpenOutcome Open(const UsbDeviceEntry& entry,
                              std::unique_ptr<UsbDeviceHandle>& handle) = 0;
};

// The host used by devices made without naming one: the libusb host, or the
// one a ScopedUsbHost put in place.
UsbHost& ProcessUsbHost();

// Puts `host` in place of the process's host for its own lifetime. Made and
// destroyed while no device is in use.
class ScopedUsbHost {
 public:
  explicit ScopedUsbHost(UsbHost& host);
  ~ScopedUsbHost();
  ScopedUsbHost(const ScopedUsbHost&) = delete;
  ScopedUsbHost& operator=(const ScopedUsbHost&) = delete;

 private:
  UsbHost* previous_;
};

}  // namespace vesk
