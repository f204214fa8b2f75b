#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "usb/driver_class.h"
#include "usb/usb_endpoint.h"
#include "usb/usb_host.h"

namespace vesk {

// One interface descriptor (one alternate setting) with its endpoints.
class CCyInterface {
 public:
  uint8_t bLength = 0;
  uint8_t bDescriptorType = 0;
  uint8_t bInterfaceNumber = 0;
  uint8_t bAlternateSetting = 0;
  uint8_t bNumEndpoints = 0;
  uint8_t bInterfaceClass = 0;
  uint8_t bInterfaceSubClass = 0;
  uint8_t bInterfaceProtocol = 0;
  uint8_t iInterface = 0;
  uint16_t TotalLength = 0;  // bytes of every descriptor the interface spans, its own included

  static constexpr size_t kEndpointSlots = 32;
  // Slot 0: the device's control endpoint once the interface is current.
  // Slots 1..bNumEndpoints: the interface's endpoints in descriptor order;
  // empty where the descriptor names no known transfer type.
  std::array<CCyUSBEndPoint*, kEndpointSlots> Endpoints{};

  std::array<std::unique_ptr<CCyUSBEndPoint>, kEndpointSlots> OwnedEndpoints;
};

// One configuration descriptor set, parsed.
class CCyConfig {
 public:
  uint8_t bLength = 0;
  uint8_t bDescriptorType = 0;
  uint16_t wTotalLength = 0;
  uint8_t bNumInterfaces = 0;
  uint8_t bConfigurationValue = 0;
  uint8_t iConfiguration = 0;
  uint8_t bmAttributes = 0;
  uint8_t MaxPower = 0;

  static constexpr size_t kInterfaceSlots = 255;
  std::vector<std::unique_ptr<CCyInterface>> Interfaces;  // one per alternate setting, in order
  uint8_t AltInterfaces() const { return static_cast<uint8_t>(Interfaces.size()); }
};

// The USB device of an instrument, bound to one driver class for its life.
// Open finds the index-th device of the class, reads its descriptors, and
// makes the active alternate setting of the first configuration current.
class CCyDevice {
 public:
  // `errors` receives the lines that tell the operator why a present device
  // could not be used (none when null); `host` defaults to the process's.
  explicit CCyDevice(const DriverGuid& interfaceGuid, std::ostream* errors = nullptr,
                     UsbHost* host = nullptr);
  ~CCyDevice();
  CCyDevice(const CCyDevice&) = delete;
  CCyDevice& operator=(const CCyDevice&) = delete;

  uint8_t CountDevices();
  bool Open(uint8_t index);
  bool IsOpen() const { return Handle != nullptr; }
  void Close();
  uint8_t EndpointCount() const;

  void SelectConfiguration(uint8_t index);
  uint8_t QueryAlternateSetting();
  void SelectAlternateSetting(uint8_t setting);

  DriverGuid InterfaceGuid;
  std::unique_ptr<UsbDeviceHandle> Handle;
  std::string DevicePath;  // "/dev/bus/usb/BBB/DDD"
  uint8_t DeviceNumber = 0;

  uint16_t VendorId = 0;
  uint16_t ProductId = 0;
  uint16_t BcdUsb = 0;
  uint8_t ConfigCount = 0;

  static constexpr size_t kConfigSlots = 2;
  std::array<std::vector<uint8_t>, kConfigSlots> ConfigBlocks;  // as read; empty when unread
  std::array<std::unique_ptr<CCyConfig>, kConfigSlots> Configs;
  uint8_t CurrentConfigIndex = 0;
  uint8_t CurrentInterfaceIndex = 0;
  CCyInterface* CurrentInterface = nullptr;

  std::unique_ptr<CCyControlEndPoint> ControlEndpoint;
  CCyUSBEndPoint* BulkIn = nullptr;
  CCyUSBEndPoint* BulkOut = nullptr;
  CCyUSBEndPoint* InterruptIn = nullptr;
  CCyUSBEndPoint* InterruptOut = nullptr;
  CCyUSBEndPoint* IsocIn = nullptr;
  CCyUSBEndPoint* IsocOut = nullptr;

  uint32_t UsbdStatus = 0;  // of the most recent descriptor request
  uint32_t LastError = 0;   // errno-style code of the most recent failed host call

 private:
  std::vector<UsbDeviceEntry> SelectedDevices();
  bool ReadDescriptor(uint16_t value, uint8_t* data, uint16_t length);
  void ReportWrongConfiguration();

  UsbHost& host_;
  std::ostream* errors_;
};

}  // namespace vesk
