#include "usb/usb_device.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ostream>

#include "common/byte_order.h"

namespace vesk {

namespace {

constexpr uint8_t kDescriptorDevice = 1;
constexpr uint8_t kDescriptorConfiguration = 2;
constexpr uint8_t kDescriptorInterface = 4;
constexpr uint8_t kDescriptorEndpoint = 5;
constexpr uint8_t kDescriptorSsEndpointCompanion = 0x30;

constexpr uint16_t kDeviceDescriptorLength = 18;
constexpr uint16_t kConfigurationHeaderLength = 9;
constexpr uint8_t kInterfaceDescriptorLength = 9;
constexpr uint8_t kEndpointDescriptorLength = 7;
constexpr uint8_t kCompanionDescriptorLength = 6;

constexpr uint8_t kRequestGetDescriptor = 6;
constexpr uint8_t kRequestGetInterface = 0x0A;
constexpr uint8_t kStandardDeviceIn = 0x80;
constexpr uint8_t kStandardInterfaceIn = 0x81;

// Descriptor requests wait as long as the instrument's original host driver
// let them.
constexpr uint32_t kDescriptorTimeoutMs = 5000;

// GET_INTERFACE could not be answered: no alternate setting is current.
constexpr uint8_t kNoAlternateSetting = 0xFF;

constexpr uint16_t kUsb2Major = 0x0200;

// A configuration descriptor set walked descriptor by descriptor. Every read
// is checked against the set's length, and a descriptor too short for its
// type or running past the end makes the whole set unusable.
class ConfigurationWalk {
 public:
  ConfigurationWalk(const std::vector<uint8_t>& block, bool superSpeed, UsbDeviceHandle* handle)
      : block_(block), superSpeed_(superSpeed), handle_(handle) {}

  std::unique_ptr<CCyConfig> Run() {
    if (block_.size() < kConfigurationHeaderLength) return nullptr;
    auto config = std::make_unique<CCyConfig>();
    const uint8_t* h = block_.data();
    config->bLength = h[0];
    config->bDescriptorType = h[1];
    config->wTotalLength = GetLe16(h + 2);
    config->bNumInterfaces = h[4];
    config->bConfigurationValue = h[5];
    config->iConfiguration = h[6];
    config->bmAttributes = h[7];
    config->MaxPower = h[8];
    size_t offset = config->bLength;
    if (config->bLength < kConfigurationHeaderLength || offset > block_.size()) return nullptr;
    while (offset < block_.size() && config->Interfaces.size() < CCyConfig::kInterfaceSlots) {
      uint8_t length = 0;
      uint8_t type = 0;
      if (!DescriptorAt(offset, length, type)) return nullptr;
      if (type == kDescriptorInterface) {
        std::unique_ptr<CCyInterface> interface = WalkInterface(offset);
        if (!interface) return nullptr;
        offset += interface->TotalLength;
        config->Interfaces.push_back(std::move(interface));
      } else {
        offset += length;
      }
    }
    return config;
  }

 private:
  // The descriptor at `offset`, when it is at least a header long and lies
  // wholly inside the set.
  bool DescriptorAt(size_t offset, uint8_t& length, uint8_t& type) const {
    if (block_.size() - offset < 2) return false;
    length = block_[offset];
    type = block_[offset + 1];
    return length >= 2 && offset + length <= block_.size();
  }

  std::unique_ptr<CCyInterface> WalkInterface(size_t offset) {
    const uint8_t* d = block_.data() + offset;
    if (d[0] < kInterfaceDescriptorLength) return nullptr;
    auto interface = std::make_unique<CCyInterface>();
    interface->bLength = d[0];
    interface->bDescriptorType = d[1];
    interface->bInterfaceNumber = d[2];
    interface->bAlternateSetting = d[3];
    interface->bNumEndpoints = d[4];
    interface->bInterfaceClass = d[5];
    interface->bInterfaceSubClass = d[6];
    interface->bInterfaceProtocol = d[7];
    interface->iInterface = d[8];
    if (interface->bNumEndpoints >= CCyInterface::kEndpointSlots) return nullptr;
    size_t total = interface->bLength;
    size_t position = offset + interface->bLength;
    for (size_t slot = 1; slot <= interface->bNumEndpoints;) {
      uint8_t length = 0;
      uint8_t type = 0;
      // Fewer endpoint descriptors than announced before the set (or the
      // next interface) begins: the table contradicts itself.
      if (!DescriptorAt(position, length, type) || type == kDescriptorInterface) return nullptr;
      total += length;
      if (type != kDescriptorEndpoint) {
        position += length;  // class-specific descriptors take no slot
        continue;
      }
      if (length < kEndpointDescriptorLength) return nullptr;
      const uint8_t* endpoint = block_.data() + position;
      position += length;
      const uint8_t* companion = nullptr;
      uint8_t companionLength = 0;
      uint8_t companionType = 0;
      if (superSpeed_ && position < block_.size() &&
          DescriptorAt(position, companionLength, companionType) &&
          companionType == kDescriptorSsEndpointCompanion) {
        if (companionLength < kCompanionDescriptorLength) return nullptr;
        companion = block_.data() + position;
        position += companionLength;
        total += companionLength;
      }
      interface->OwnedEndpoints[slot] = MakeEndpoint(endpoint, companion);
      interface->Endpoints[slot] = interface->OwnedEndpoints[slot].get();
      ++slot;
    }
    if (total > 0xFFFF) return nullptr;
    interface->TotalLength = static_cast<uint16_t>(total);
    return interface;
  }

  std::unique_ptr<CCyUSBEndPoint> MakeEndpoint(const uint8_t* endpoint, const uint8_t* companion) {
    switch (endpoint[3]) {
      case 0:
        return std::make_unique<CCyControlEndPoint>(handle_, endpoint, nullptr);
      case 1:
        return std::make_unique<CCyIsocEndPoint>(handle_, endpoint, companion);
      case 2:
        return std::make_unique<CCyBulkEndPoint>(handle_, endpoint, companion);
      case 3:
        return std::make_unique<CCyInterruptEndPoint>(handle_, endpoint, companion);
      default:
        return nullptr;
    }
  }

  const std::vector<uint8_t>& block_;
  bool superSpeed_;
  UsbDeviceHandle* handle_;
};

}  // namespace

CCyDevice::CCyDevice(const DriverGuid& interfaceGuid, std::ostream* errors, UsbHost* host)
    : InterfaceGuid(interfaceGuid),
      host_(host != nullptr ? *host : ProcessUsbHost()),
      errors_(errors) {}

CCyDevice::~CCyDevice() { Close(); }

std::vector<UsbDeviceEntry> CCyDevice::SelectedDevices() {
  std::vector<UsbDeviceEntry> selected;
  const std::vector<UsbId>& instrumentIds = InstrumentIdTable();
  for (const UsbDeviceEntry& entry : host_.ListDevices()) {
    if (DriverClassSelects(InterfaceGuid, entry.VendorId, entry.ProductId, instrumentIds)) {
      selected.push_back(entry);
    }
  }
  return selected;
}

uint8_t CCyDevice::CountDevices() {
  return static_cast<uint8_t>(std::min<size_t>(SelectedDevices().size(), 0xFF));
}

bool CCyDevice::ReadDescriptor(uint16_t value, uint8_t* data, uint16_t length) {
  UsbSetupPacket setup{kStandardDeviceIn, kRequestGetDescriptor, value, 0, length};
  uint32_t received = 0;
  uint32_t status = 0;
  bool answered = Handle->ControlRead(setup, data, kDescriptorTimeoutMs, received, status);
  UsbdStatus = status;
  return answered && received == length;
}

void CCyDevice::ReportWrongConfiguration() {
  if (errors_ != nullptr) {
    *errors_ << "Wrong Device Configuration: Please correct firmware descriptor table" << std::endl;
  }
}

bool CCyDevice::Open(uint8_t index) {
  if (IsOpen()) Close();
  std::vector<UsbDeviceEntry> devices = SelectedDevices();
  if (devices.empty() || index >= devices.size()) {
    DeviceNumber = 0;
    return false;
  }
  const UsbDeviceEntry& entry = devices[index];
  char path[40];
  std::snprintf(path, sizeof path, "/dev/bus/usb/%03u/%03u", unsigned{entry.BusNumber},
                unsigned{entry.Address});
  DevicePath = path;
  UsbOpenOutcome outcome = host_.Open(entry, Handle);
  if (outcome != UsbOpenOutcome::Opened || !Handle) {
    Handle.reset();
    DeviceNumber = 0;
    LastError = outcome == UsbOpenOutcome::AccessDenied ? EACCES : EIO;
    if (outcome == UsbOpenOutcome::AccessDenied && errors_ != nullptr) {
      char line[200];
      std::snprintf(line, sizeof line,
                    "USB device %04x:%04x on bus %03u address %03u cannot be opened: permission "
                    "denied; install the udev rules file %s and plug the instrument in again",
                    unsigned{entry.VendorId}, unsigned{entry.ProductId},
                    unsigned{entry.BusNumber}, unsigned{entry.Address}, kUdevRulesFile);
      *errors_ << line << std::endl;
    }
    return false;
  }
  DeviceNumber = index;

  uint8_t device[kDeviceDescriptorLength] = {};
  if (ReadDescriptor(kDescriptorDevice << 8, device, kDeviceDescriptorLength)) {
    BcdUsb = GetLe16(device + 2);
    VendorId = GetLe16(device + 8);
    ProductId = GetLe16(device + 10);
    ConfigCount = device[17];
  }
  bool superSpeed = (BcdUsb & 0xFF00) != kUsb2Major;
  size_t configs = std::min<size_t>(ConfigCount, kConfigSlots);
  for (size_t i = 0; i < configs; ++i) {
    uint16_t value = static_cast<uint16_t>((kDescriptorConfiguration << 8) + i);
    uint8_t header[kConfigurationHeaderLength] = {};
    if (!ReadDescriptor(value, header, kConfigurationHeaderLength)) continue;
    uint16_t totalLength = GetLe16(header + 2);
    std::vector<uint8_t> block(totalLength);
    if (!ReadDescriptor(value, block.data(), totalLength)) continue;
    ConfigBlocks[i] = std::move(block);
    Configs[i] = ConfigurationWalk(ConfigBlocks[i], superSpeed, Handle.get()).Run();
    if (!Configs[i]) {
      ReportWrongConfiguration();
      Close();
      return false;
    }
  }

  ControlEndpoint = std::make_unique<CCyControlEndPoint>(Handle.get());
  ControlEndpoint->Address = 0;
  ControlEndpoint->Attributes = 0;
  ControlEndpoint->bLength = kEndpointDescriptorLength;
  ControlEndpoint->bDescriptorType = kDescriptorEndpoint;
  ControlEndpoint->bInterval = 0;

  if (!Configs[0] || Configs[0]->Interfaces.empty()) return false;
  SelectConfiguration(0);
  return true;
}

void CCyDevice::SelectConfiguration(uint8_t index) {
  if (index >= kConfigSlots || !Configs[index]) return;
  CurrentConfigIndex = index;
  SelectAlternateSetting(QueryAlternateSetting());
}

uint8_t CCyDevice::QueryAlternateSetting() {
  CCyConfig* config = Configs[CurrentConfigIndex].get();
  if (!IsOpen() || config == nullptr || config->Interfaces.empty()) return kNoAlternateSetting;
  UsbSetupPacket setup{kStandardInterfaceIn, kRequestGetInterface, 0,
                       config->Interfaces[0]->bInterfaceNumber, 1};
  uint8_t setting = 0;
  uint32_t received = 0;
  uint32_t status = 0;
  if (!Handle->ControlRead(setup, &setting, kDescriptorTimeoutMs, received, status) ||
      received != 1) {
    return kNoAlternateSetting;
  }
  return setting;
}

void CCyDevice::SelectAlternateSetting(uint8_t setting) {
  CCyConfig* config = Configs[CurrentConfigIndex].get();
  if (config == nullptr) return;
  auto found = std::find_if(config->Interfaces.begin(), config->Interfaces.end(),
                            [&](const auto& i) { return i->bAlternateSetting == setting; });
  if (found == config->Interfaces.end()) return;
  CurrentInterfaceIndex = static_cast<uint8_t>(found - config->Interfaces.begin());
  CurrentInterface = found->get();
  CurrentInterface->Endpoints[0] = ControlEndpoint.get();
  // The interface must belong to this handle before its endpoints carry
  // transfers; a refusal shows up as failed transfers.
  if (Handle) Handle->ClaimInterface(CurrentInterface->bInterfaceNumber);

  BulkIn = BulkOut = InterruptIn = InterruptOut = IsocIn = IsocOut = nullptr;
  for (size_t slot = 1; slot <= CurrentInterface->bNumEndpoints; ++slot) {
    CCyUSBEndPoint* endpoint = CurrentInterface->Endpoints[slot];
    if (endpoint == nullptr) continue;
    endpoint->TransferMode = CCyUSBEndPoint::kTransferModeDirect;
    bool in = (endpoint->Address & 0x80) != 0;
    CCyUSBEndPoint** first = nullptr;
    switch (endpoint->Attributes) {
      case 1:
        first = in ? &IsocIn : &IsocOut;
        break;
      case 2:
        first = in ? &BulkIn : &BulkOut;
        break;
      case 3:
        first = in ? &InterruptIn : &InterruptOut;
        break;
      default:
        break;
    }
    if (first != nullptr && *first == nullptr) *first = endpoint;
  }
}

uint8_t CCyDevice::EndpointCount() const {
  if (!IsOpen() || CurrentInterface == nullptr) return 0;
  return static_cast<uint8_t>(CurrentInterface->bNumEndpoints + 1);
}

void CCyDevice::Close() {
  VendorId = ProductId = BcdUsb = 0;
  ConfigCount = 0;
  CurrentInterface = nullptr;
  BulkIn = BulkOut = InterruptIn = InterruptOut = IsocIn = IsocOut = nullptr;
  for (size_t i = 0; i < kConfigSlots; ++i) {
    Configs[i].reset();
    ConfigBlocks[i].clear();
  }
  ControlEndpoint.reset();
  CurrentConfigIndex = CurrentInterfaceIndex = 0;
  Handle.reset();
}

}  // namespace vesk
