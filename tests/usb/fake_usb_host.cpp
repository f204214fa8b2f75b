#include "usb/fake_usb_host.h"

#include <algorithm>
#include <cstring>

namespace vesk::test {

namespace {

class FakeTransfer : public UsbTransfer {
 public:
  bool Wait(std::optional<std::chrono::milliseconds>) override { return Finished; }
  UsbTransferResult Result() const override { return Outcome; }

  void Finish(uint32_t nt, uint32_t usbd, uint32_t length) {
    Finished = true;
    Outcome.NtStatus = nt;
    Outcome.UsbdStatus = usbd;
    Outcome.Length = length;
  }

  bool Finished = false;
  uint8_t Endpoint = 0;
  UsbTransferResult Outcome;
};

class FakeHandle : public UsbDeviceHandle {
 public:
  FakeHandle(FakeUsbHost& host, UsbPeer& peer) : host_(host), peer_(peer) { ++host_.OpenHandles; }
  ~FakeHandle() override { --host_.OpenHandles; }

  bool ControlRead(const UsbSetupPacket& setup, uint8_t* data, uint32_t, uint32_t& received,
                   uint32_t& usbdStatus) override {
    std::vector<uint8_t> reply;
    PeerAnswer answer = peer_.Control(setup, reply);
    received = 0;
    if (answer == PeerAnswer::Stall) usbdStatus = kUsbdStatusStall;
    if (answer == PeerAnswer::Silent) usbdStatus = kUsbdStatusCancelled;
    if (answer != PeerAnswer::Done) return false;
    received = static_cast<uint32_t>(std::min<size_t>(reply.size(), setup.Length));
    if (received > 0) std::memcpy(data, reply.data(), received);
    usbdStatus = kUsbdStatusSuccess;
    return true;
  }

  bool ClaimInterface(uint8_t interfaceNumber) override {
    host_.ClaimedInterfaces.push_back(interfaceNumber);
    return true;
  }

  std::unique_ptr<UsbTransfer> Submit(const UsbTransferPlan& plan) override {
    bool in = plan.Type == UsbTransferType::Control ? (plan.Setup.RequestType & 0x80) != 0
                                                    : (plan.EndpointAddress & 0x80) != 0;
    FakeUsbHost::Transfer record{plan.Type, plan.EndpointAddress, plan.Setup,
                                 plan.ControlTimeoutSeconds, {}, plan.Length};
    if (!in) record.OutData.assign(plan.Data, plan.Data + plan.Length);
    host_.Transfers.push_back(record);

    auto transfer = std::make_unique<FakeTransfer>();
    transfer->Endpoint = plan.EndpointAddress;
    std::vector<uint8_t> data = record.OutData;
    PeerAnswer answer;
    if (plan.Type == UsbTransferType::Control) {
      answer = peer_.Control(plan.Setup, data);
    } else if (in) {
      answer = peer_.BulkIn(plan.EndpointAddress, plan.Length, data);
    } else {
      answer = peer_.BulkOut(plan.EndpointAddress, data);
    }
    if (answer == PeerAnswer::Done) {
      uint32_t moved = plan.Length;
      if (in) {
        moved = static_cast<uint32_t>(std::min<size_t>(data.size(), plan.Length));
        if (moved > 0) std::memcpy(plan.Data, data.data(), moved);
      }
      transfer->Finish(kNtStatusSuccess, kUsbdStatusSuccess, moved);
    } else if (answer == PeerAnswer::Stall) {
      transfer->Finish(kNtStatusUnsuccessful, kUsbdStatusStall, 0);
    } else {
      pending_.push_back(transfer.get());
    }
    return transfer;
  }

  void Abort(uint8_t endpointAddress) override {
    ++host_.Aborts;
    for (FakeTransfer* transfer : pending_) {
      if (transfer->Endpoint == endpointAddress && !transfer->Finished) {
        transfer->Finish(kNtStatusCancelled, kUsbdStatusCancelled, 0);
      }
    }
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [](FakeTransfer* t) { return t->Finished; }),
                   pending_.end());
  }

 private:
  FakeUsbHost& host_;
  UsbPeer& peer_;
  // Unanswered transfers; the endpoint aborts each before it lets go of it.
  std::vector<FakeTransfer*> pending_;
};

}  // namespace

void FakeUsbHost::Add(UsbDeviceEntry entry, UsbPeer& peer, bool accessDenied) {
  devices_.push_back({entry, &peer, accessDenied});
}

std::vector<UsbDeviceEntry> FakeUsbHost::ListDevices() {
  std::vector<UsbDeviceEntry> entries;
  for (const Device& device : devices_) entries.push_back(device.Entry);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return a.BusNumber != b.BusNumber ? a.BusNumber < b.BusNumber : a.Address < b.Address;
  });
  return entries;
}

UsbOpenOutcome FakeUsbHost::Open(const UsbDeviceEntry& entry,
                                 std::unique_ptr<UsbDeviceHandle>& handle) {
  for (const Device& device : devices_) {
    if (device.Entry.BusNumber != entry.BusNumber || device.Entry.Address != entry.Address) {
      continue;
    }
    if (device.AccessDenied) return UsbOpenOutcome::AccessDenied;
    handle = std::make_unique<FakeHandle>(*this, *device.Peer);
    return UsbOpenOutcome::Opened;
  }
  return UsbOpenOutcome::Failed;
}

}  // namespace vesk::test
