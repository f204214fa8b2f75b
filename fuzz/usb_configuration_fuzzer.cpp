// An instrument's descriptors are whatever its controller firmware says;
// a faulty or hostile device must not make the walk over them read or write
// outside the bytes it sent. The input plays the device: a flag byte, its
// device descriptor, its answer to GET_INTERFACE, then the two
// configuration descriptor sets.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

#include "common/byte_order.h"
#include "fuzz_check.h"
#include "usb/driver_class.h"
#include "usb/usb_device.h"
#include "usb/usb_host.h"

using vesk::fuzz::Require;

namespace {

constexpr uint8_t kRequestGetDescriptor = 6;
constexpr uint8_t kRequestGetInterface = 0x0A;
constexpr uint8_t kDescriptorDevice = 1;
constexpr uint8_t kDescriptorConfiguration = 2;
constexpr size_t kDeviceDescriptorLength = 18;
constexpr size_t kTotalLengthOffset = 2;
// Flag bit: the sets' total-length fields are made to match the bytes sent,
// so that most inputs get past the length check to the walk itself.
constexpr uint8_t kMatchTotalLength = 0x01;
// The Cypress driver class takes every device of the Cypress vendor number.
constexpr uint16_t kCypressProduct = 0x00F1;

struct DeviceBytes {
  std::vector<uint8_t> Device;
  uint8_t AlternateSetting = 0;
  std::vector<uint8_t> Configurations[2];
};

// Answers descriptor requests from the input; moves no data.
class DescriptorHandle : public vesk::UsbDeviceHandle {
 public:
  explicit DescriptorHandle(const DeviceBytes& bytes) : bytes_(bytes) {}

  bool ControlRead(const vesk::UsbSetupPacket& setup, uint8_t* data, uint32_t, uint32_t& received,
                   uint32_t& usbdStatus) override {
    received = 0;
    usbdStatus = vesk::kUsbdStatusSuccess;
    const std::vector<uint8_t>* answer = nullptr;
    std::vector<uint8_t> setting{bytes_.AlternateSetting};
    if (setup.Request == kRequestGetInterface) {
      answer = &setting;
    } else if (setup.Request == kRequestGetDescriptor) {
      uint8_t type = static_cast<uint8_t>(setup.Value >> 8);
      uint8_t index = static_cast<uint8_t>(setup.Value & 0xFF);
      if (type == kDescriptorDevice) answer = &bytes_.Device;
      if (type == kDescriptorConfiguration && index < 2) answer = &bytes_.Configurations[index];
    }
    if (answer == nullptr) {
      usbdStatus = vesk::kUsbdStatusStall;
      return false;
    }
    received = static_cast<uint32_t>(std::min<size_t>(answer->size(), setup.Length));
    if (received > 0) std::memcpy(data, answer->data(), received);
    return true;
  }
  bool ClaimInterface(uint8_t) override { return true; }
  std::unique_ptr<vesk::UsbTransfer> Submit(const vesk::UsbTransferPlan&) override {
    return nullptr;
  }
  void Abort(uint8_t) override {}

 private:
  const DeviceBytes& bytes_;
};

class DescriptorHost : public vesk::UsbHost {
 public:
  explicit DescriptorHost(const DeviceBytes& bytes) : bytes_(bytes) {}
  std::vector<vesk::UsbDeviceEntry> ListDevices() override {
    return {{1, 2, vesk::kCypressVendorId, kCypressProduct}};
  }
  vesk::UsbOpenOutcome Open(const vesk::UsbDeviceEntry&,
                            std::unique_ptr<vesk::UsbDeviceHandle>& handle) override {
    handle = std::make_unique<DescriptorHandle>(bytes_);
    return vesk::UsbOpenOutcome::Opened;
  }

 private:
  const DeviceBytes& bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  DeviceBytes bytes;
  const uint8_t flags = input.ConsumeIntegral<uint8_t>();
  bytes.Device = input.ConsumeBytes<uint8_t>(kDeviceDescriptorLength);
  bytes.AlternateSetting = input.ConsumeIntegral<uint8_t>();
  const size_t firstLength = input.ConsumeIntegralInRange<size_t>(0, input.remaining_bytes());
  bytes.Configurations[0] = input.ConsumeBytes<uint8_t>(firstLength);
  bytes.Configurations[1] = input.ConsumeRemainingBytes<uint8_t>();
  if (flags & kMatchTotalLength) {
    for (std::vector<uint8_t>& set : bytes.Configurations) {
      if (set.size() >= kTotalLengthOffset + 2 && set.size() <= 0xFFFF) {
        vesk::PutLe16(set.data() + kTotalLengthOffset, static_cast<uint16_t>(set.size()));
      }
    }
  }

  DescriptorHost host(bytes);
  std::ostringstream errors;
  vesk::CCyDevice device(vesk::CypressDriverGuid, &errors, &host);
  if (!device.Open(0)) return 0;

  Require(device.CurrentInterface == nullptr ||
              device.CurrentInterface->bNumEndpoints < vesk::CCyInterface::kEndpointSlots,
          "the current interface's endpoints fit its slots");
  Require(device.EndpointCount() <= vesk::CCyInterface::kEndpointSlots,
          "no more endpoints than slots");
  // Every alternate setting of both configurations can be made current.
  for (uint8_t config = 0; config < vesk::CCyDevice::kConfigSlots; ++config) {
    device.SelectConfiguration(config);
    if (!device.Configs[config]) continue;
    for (const auto& interface : device.Configs[config]->Interfaces) {
      device.SelectAlternateSetting(interface->bAlternateSetting);
      Require(device.CurrentInterface != nullptr, "a listed setting can be selected");
      for (size_t slot = 1; slot <= device.CurrentInterface->bNumEndpoints; ++slot) {
        if (vesk::CCyUSBEndPoint* endpoint = device.CurrentInterface->Endpoints[slot]) {
          Require(endpoint->Attributes <= 3, "an endpoint has a known transfer type");
        }
      }
    }
  }
  device.Close();
  return 0;
}
