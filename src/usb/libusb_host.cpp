#include "usb/libusb_host.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace vesk {

namespace {

constexpr size_t kSetupLength = LIBUSB_CONTROL_SETUP_SIZE;  // 8
// Without a caller's limit, events are handled in slices of this length.
constexpr std::chrono::milliseconds kEventSlice{1000};

struct StatusWords {
  uint32_t Nt;
  uint32_t Usbd;
};

StatusWords WordsForTransferStatus(int status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
      return {kNtStatusSuccess, kUsbdStatusSuccess};
    case LIBUSB_TRANSFER_CANCELLED:
    case LIBUSB_TRANSFER_TIMED_OUT:
      return {kNtStatusCancelled, kUsbdStatusCancelled};
    case LIBUSB_TRANSFER_STALL:
      return {kNtStatusUnsuccessful, kUsbdStatusStall};
    case LIBUSB_TRANSFER_NO_DEVICE:
      return {kNtStatusDeviceGone, kUsbdStatusNotResponding};
    case LIBUSB_TRANSFER_OVERFLOW:
      return {kNtStatusUnsuccessful, kUsbdStatusBufferOverrun};
    default:
      return {kNtStatusUnsuccessful, kUsbdStatusTransactionError};
  }
}

uint32_t UsbdStatusForError(int error) {
  switch (error) {
    case LIBUSB_ERROR_PIPE:
      return kUsbdStatusStall;
    case LIBUSB_ERROR_TIMEOUT:
      return kUsbdStatusCancelled;
    case LIBUSB_ERROR_NO_DEVICE:
      return kUsbdStatusNotResponding;
    case LIBUSB_ERROR_OVERFLOW:
      return kUsbdStatusBufferOverrun;
    default:
      return kUsbdStatusTransactionError;
  }
}

class LibusbHandle;

class LibusbTransfer : public UsbTransfer {
 public:
  LibusbTransfer(LibusbHandle& owner, libusb_context* context, const UsbTransferPlan& plan);
  ~LibusbTransfer() override;

  bool Submit();
  bool Wait(std::optional<std::chrono::milliseconds> limit) override;
  UsbTransferResult Result() const override { return result_; }
  void Cancel() {
    if (!completed_) libusb_cancel_transfer(transfer_);
  }
  uint8_t Endpoint() const { return endpoint_; }

 private:
  static void LIBUSB_CALL OnComplete(libusb_transfer* transfer);
  void Finish();

  LibusbHandle& owner_;
  libusb_context* context_;
  libusb_transfer* transfer_ = nullptr;
  UsbTransferPlan plan_;
  uint8_t endpoint_;
  std::vector<uint8_t> controlBuffer_;  // setup packet followed by the data stage
  int completed_ = 0;                   // set by the callback, read by libusb's event loop
  bool submitted_ = false;
  UsbTransferResult result_;
};

class LibusbHandle : public UsbDeviceHandle {
 public:
  LibusbHandle(libusb_context* context, libusb_device_handle* handle)
      : context_(context), handle_(handle) {}

  ~LibusbHandle() override {
    for (uint8_t interface : claimed_) libusb_release_interface(handle_, interface);
    libusb_close(handle_);
  }

  bool ControlRead(const UsbSetupPacket& setup, uint8_t* data, uint32_t timeoutMs,
                   uint32_t& received, uint32_t& usbdStatus) override {
    int result = libusb_control_transfer(handle_, setup.RequestType, setup.Request, setup.Value,
                                         setup.Index, data, setup.Length, timeoutMs);
    received = result > 0 ? static_cast<uint32_t>(result) : 0;
    usbdStatus = result >= 0 ? kUsbdStatusSuccess : UsbdStatusForError(result);
    return result >= 0;
  }

  bool ClaimInterface(uint8_t interfaceNumber) override {
    if (std::find(claimed_.begin(), claimed_.end(), interfaceNumber) != claimed_.end()) {
      return true;
    }
    libusb_set_auto_detach_kernel_driver(handle_, 1);
    if (libusb_claim_interface(handle_, interfaceNumber) != 0) return false;
    claimed_.push_back(interfaceNumber);
    return true;
  }

  std::unique_ptr<UsbTransfer> Submit(const UsbTransferPlan& plan) override {
    auto transfer = std::make_unique<LibusbTransfer>(*this, context_, plan);
    if (!transfer->Submit()) return nullptr;
    return transfer;
  }

  void Abort(uint8_t endpointAddress) override {
    std::lock_guard lock(mutex_);
    for (LibusbTransfer* transfer : inFlight_) {
      if (transfer->Endpoint() == endpointAddress) transfer->Cancel();
    }
  }

  libusb_device_handle* Native() { return handle_; }

  void Track(LibusbTransfer* transfer) {
    std::lock_guard lock(mutex_);
    inFlight_.push_back(transfer);
  }

  void Untrack(LibusbTransfer* transfer) {
    std::lock_guard lock(mutex_);
    inFlight_.erase(std::remove(inFlight_.begin(), inFlight_.end(), transfer), inFlight_.end());
  }

 private:
  libusb_context* context_;
  libusb_device_handle* handle_;
  std::vector<uint8_t> claimed_;
  std::mutex mutex_;
  std::vector<LibusbTransfer*> inFlight_;
};

LibusbTransfer::LibusbTransfer(LibusbHandle& owner, libusb_context* context,
                               const UsbTransferPlan& plan)
    : owner_(owner), context_(context), plan_(plan), endpoint_(plan.EndpointAddress) {
  transfer_ = libusb_alloc_transfer(static_cast<int>(plan.IsoPacketCount));
}

LibusbTransfer::~LibusbTransfer() {
  if (submitted_ && !completed_) {
    libusb_cancel_transfer(transfer_);
    Wait(std::nullopt);
  }
  if (transfer_ != nullptr) libusb_free_transfer(transfer_);
}

bool LibusbTransfer::Submit() {
  if (transfer_ == nullptr) return false;
  int length = static_cast<int>(plan_.Length);
  switch (plan_.Type) {
    case UsbTransferType::Control: {
      controlBuffer_.assign(kSetupLength + plan_.Length, 0);
      libusb_fill_control_setup(controlBuffer_.data(), plan_.Setup.RequestType,
                                plan_.Setup.Request, plan_.Setup.Value, plan_.Setup.Index,
                                plan_.Setup.Length);
      if ((plan_.Setup.RequestType & LIBUSB_ENDPOINT_IN) == 0 && plan_.Length > 0) {
        std::memcpy(controlBuffer_.data() + kSetupLength, plan_.Data, plan_.Length);
      }
      libusb_fill_control_transfer(transfer_, owner_.Native(), controlBuffer_.data(), OnComplete,
                                   this, plan_.ControlTimeoutSeconds * 1000);
      break;
    }
    case UsbTransferType::Isochronous:
      libusb_fill_iso_transfer(transfer_, owner_.Native(), endpoint_, plan_.Data, length,
                               static_cast<int>(plan_.IsoPacketCount), OnComplete, this, 0);
      libusb_set_iso_packet_lengths(transfer_, plan_.IsoPacketLength);
      break;
    case UsbTransferType::Bulk:
      libusb_fill_bulk_transfer(transfer_, owner_.Native(), endpoint_, plan_.Data, length,
                                OnComplete, this, 0);
      break;
    case UsbTransferType::Interrupt:
      libusb_fill_interrupt_transfer(transfer_, owner_.Native(), endpoint_, plan_.Data, length,
                                     OnComplete, this, 0);
      break;
  }
  owner_.Track(this);
  if (libusb_submit_transfer(transfer_) != 0) {
    owner_.Untrack(this);
    return false;
  }
  submitted_ = true;
  return true;
}

void LIBUSB_CALL LibusbTransfer::OnComplete(libusb_transfer* transfer) {
  static_cast<LibusbTransfer*>(transfer->user_data)->Finish();
}

void LibusbTransfer::Finish() {
  StatusWords words = WordsForTransferStatus(transfer_->status);
  result_.NtStatus = words.Nt;
  result_.UsbdStatus = words.Usbd;
  uint32_t moved = transfer_->actual_length > 0 ? static_cast<uint32_t>(transfer_->actual_length) : 0;
  if (plan_.Type == UsbTransferType::Control) {
    moved = std::min(moved, plan_.Length);
    if ((plan_.Setup.RequestType & LIBUSB_ENDPOINT_IN) != 0 && moved > 0) {
      std::memcpy(plan_.Data, controlBuffer_.data() + kSetupLength, moved);
    }
  } else if (plan_.Type == UsbTransferType::Isochronous) {
    moved = 0;
    for (int i = 0; i < transfer_->num_iso_packets; ++i) {
      const libusb_iso_packet_descriptor& packet = transfer_->iso_packet_desc[i];
      StatusWords packetWords = WordsForTransferStatus(packet.status);
      result_.IsoPackets.push_back({packetWords.Usbd, packet.actual_length});
      moved += packet.actual_length;
    }
  }
  result_.Length = moved;
  owner_.Untrack(this);
  completed_ = 1;
}

bool LibusbTransfer::Wait(std::optional<std::chrono::milliseconds> limit) {
  if (!submitted_) return false;
  auto deadline = std::chrono::steady_clock::now() + limit.value_or(kEventSlice);
  while (!completed_) {
    auto now = std::chrono::steady_clock::now();
    if (limit && now >= deadline) break;
    auto slice = limit ? std::chrono::duration_cast<std::chrono::microseconds>(deadline - now)
                       : std::chrono::microseconds(kEventSlice);
    timeval tv{static_cast<time_t>(slice.count() / 1000000),
               static_cast<suseconds_t>(slice.count() % 1000000)};
    if (libusb_handle_events_timeout_completed(context_, &tv, &completed_) != 0 && !completed_) {
      if (limit) break;
    }
  }
  return completed_ != 0;
}

}  // namespace

LibusbHost::LibusbHost() {
  if (libusb_init(&context_) != 0) context_ = nullptr;
}

LibusbHost::~LibusbHost() {
  if (context_ != nullptr) libusb_exit(context_);
}

std::vector<UsbDeviceEntry> LibusbHost::ListDevices() {
  std::vector<UsbDeviceEntry> entries;
  if (context_ == nullptr) return entries;
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(context_, &list);
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) != 0) continue;
    entries.push_back({libusb_get_bus_number(list[i]), libusb_get_device_address(list[i]),
                       descriptor.idVendor, descriptor.idProduct});
  }
  if (list != nullptr) libusb_free_device_list(list, 1);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return a.BusNumber != b.BusNumber ? a.BusNumber < b.BusNumber : a.Address < b.Address;
  });
  return entries;
}

UsbOpenOutcome LibusbHost::Open(const UsbDeviceEntry& entry,
                                std::unique_ptr<UsbDeviceHandle>& handle) {
  handle.reset();
  if (context_ == nullptr) return UsbOpenOutcome::Failed;
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(context_, &list);
  UsbOpenOutcome outcome = UsbOpenOutcome::Failed;
  for (ssize_t i = 0; i < count; ++i) {
    if (libusb_get_bus_number(list[i]) != entry.BusNumber ||
        libusb_get_device_address(list[i]) != entry.Address) {
      continue;
    }
    libusb_device_handle* native = nullptr;
    int result = libusb_open(list[i], &native);
    if (result == 0) {
      handle = std::make_unique<LibusbHandle>(context_, native);
      outcome = UsbOpenOutcome::Opened;
    } else if (result == LIBUSB_ERROR_ACCESS) {
      outcome = UsbOpenOutcome::AccessDenied;
    }
    break;
  }
  if (list != nullptr) libusb_free_device_list(list, 1);
  return outcome;
}

}  // namespace vesk
