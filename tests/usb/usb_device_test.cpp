#include <gtest/gtest.h>

#include <sstream>

#include "usb/fake_usb_host.h"
#include "usb/usb_device.h"
#include "sim/usb_peer.h"

namespace vesk {
namespace {

using sim::DescriptorPeer;
using test::FakeUsbHost;

std::vector<uint8_t> DeviceDescriptor(uint16_t bcdUsb, uint16_t vendor = 0x04B4,
                                      uint16_t product = 0x00F0) {
  return {0x12,
          0x01,
          static_cast<uint8_t>(bcdUsb),
          static_cast<uint8_t>(bcdUsb >> 8),
          0x00,
          0x00,
          0x00,
          0x40,
          static_cast<uint8_t>(vendor),
          static_cast<uint8_t>(vendor >> 8),
          static_cast<uint8_t>(product),
          static_cast<uint8_t>(product >> 8),
          0x00,
          0x01,
          0x01,
          0x02,
          0x03,
          0x01};
}

// Alternate setting 0: a class-specific descriptor, then bulk OUT 0x02 and
// bulk IN 0x82. Alternate setting 1: interrupt OUT/IN, bulk OUT/IN.
const std::vector<uint8_t> kTwoAlternateSettings = {
    0x09, 0x02, 0x4A, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,  //
    0x09, 0x04, 0x00, 0x00, 0x02, 0xFF, 0x00, 0x00, 0x00,  //
    0x05, 0x24, 0x01, 0x02, 0x03,                          //
    0x07, 0x05, 0x02, 0x02, 0x00, 0x02, 0x00,              //
    0x07, 0x05, 0x82, 0x02, 0x00, 0x02, 0x00,              //
    0x09, 0x04, 0x00, 0x01, 0x04, 0xFF, 0x00, 0x00, 0x00,  //
    0x07, 0x05, 0x01, 0x03, 0x40, 0x00, 0x01,              //
    0x07, 0x05, 0x81, 0x03, 0x40, 0x00, 0x01,              //
    0x07, 0x05, 0x02, 0x02, 0x00, 0x02, 0x00,              //
    0x07, 0x05, 0x82, 0x02, 0x00, 0x02, 0x00,              //
};

// Bulk OUT 0x02 (1024 bytes, companion with bMaxBurst 15) and bulk IN 0x82
// (1024 bytes, companion without bursts).
const std::vector<uint8_t> kSuperSpeedBulkPair = {
    0x09, 0x02, 0x2C, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,  //
    0x09, 0x04, 0x00, 0x00, 0x02, 0xFF, 0x00, 0x00, 0x00,  //
    0x07, 0x05, 0x02, 0x02, 0x00, 0x04, 0x00,              //
    0x06, 0x30, 0x0F, 0x00, 0x00, 0x00,                    //
    0x07, 0x05, 0x82, 0x02, 0x00, 0x04, 0x00,              //
    0x06, 0x30, 0x00, 0x00, 0x00, 0x00,                    //
};

constexpr UsbDeviceEntry kEntry{1, 4, 0x04B4, 0x00F0};

struct OpenedDevice {
  OpenedDevice(std::vector<uint8_t> device, std::vector<uint8_t> configuration, int alternate = 0)
      : peer(std::move(device), std::move(configuration)) {
    peer.AlternateSetting = alternate;
    host.Add(kEntry, peer);
  }
  DescriptorPeer peer;
  FakeUsbHost host;
  std::ostringstream errors;
  CCyDevice device{InstrumentDriverGuid, &errors, &host};
};

TEST(UsbDevice, ActiveAlternateSettingOneBecomesCurrentWithItsEndpointsInDescriptorOrder) {
  OpenedDevice d(DeviceDescriptor(0x0210), kTwoAlternateSettings, 1);
  ASSERT_TRUE(d.device.Open(0));
  EXPECT_EQ(d.device.VendorId, 0x04B4);
  EXPECT_EQ(d.device.ProductId, 0x00F0);
  EXPECT_EQ(d.device.BcdUsb, 0x0210);
  EXPECT_EQ(d.device.DevicePath, "/dev/bus/usb/001/004");
  ASSERT_NE(d.device.CurrentInterface, nullptr);
  CCyInterface& current = *d.device.CurrentInterface;
  EXPECT_EQ(current.bAlternateSetting, 1);
  EXPECT_EQ(d.device.CurrentInterfaceIndex, 1);
  EXPECT_EQ(d.device.EndpointCount(), 5);
  EXPECT_EQ(current.Endpoints[0], d.device.ControlEndpoint.get());
  const uint8_t addresses[] = {0x01, 0x81, 0x02, 0x82};
  for (size_t slot = 1; slot <= 4; ++slot) {
    ASSERT_NE(current.Endpoints[slot], nullptr);
    EXPECT_EQ(current.Endpoints[slot]->Address, addresses[slot - 1]);
    EXPECT_EQ(current.Endpoints[slot]->TransferMode, CCyUSBEndPoint::kTransferModeDirect);
    EXPECT_EQ(current.Endpoints[slot]->TimeoutMs, 10000u);
  }
  EXPECT_NE(dynamic_cast<CCyInterruptEndPoint*>(current.Endpoints[1]), nullptr);
  EXPECT_NE(dynamic_cast<CCyBulkEndPoint*>(current.Endpoints[4]), nullptr);
  EXPECT_EQ(d.device.InterruptOut, current.Endpoints[1]);
  EXPECT_EQ(d.device.InterruptIn, current.Endpoints[2]);
  EXPECT_EQ(d.device.BulkOut, current.Endpoints[3]);
  EXPECT_EQ(d.device.BulkIn, current.Endpoints[4]);
  EXPECT_EQ(current.Endpoints[4]->MaxPacketSize, 512u);
  EXPECT_EQ(current.Endpoints[2]->MaxPacketSize, 64u);
  EXPECT_EQ(d.host.ClaimedInterfaces, std::vector<uint8_t>{0});

  // The class-specific descriptor of alternate setting 0 takes no slot.
  CCyInterface& first = *d.device.Configs[0]->Interfaces[0];
  EXPECT_EQ(first.TotalLength, 9 + 5 + 7 + 7);
  EXPECT_EQ(first.Endpoints[1]->Address, 0x02);
  EXPECT_EQ(first.Endpoints[2]->Address, 0x82);
  EXPECT_EQ(d.device.Configs[0]->AltInterfaces(), 2);
  EXPECT_EQ(d.errors.str(), "");
}

TEST(UsbDevice, UnreportedAlternateSettingLeavesNoInterfaceCurrent) {
  OpenedDevice d(DeviceDescriptor(0x0210), kTwoAlternateSettings, -1);
  EXPECT_TRUE(d.device.Open(0));
  EXPECT_TRUE(d.device.IsOpen());
  EXPECT_EQ(d.device.CurrentInterface, nullptr);
  EXPECT_EQ(d.device.EndpointCount(), 0);
}

TEST(UsbDevice, CompanionsCountOnlyOnSuperSpeedDevices) {
  struct Case {
    uint16_t bcdUsb;
    uint32_t outMaxPacket;
    uint8_t burst;
    uint16_t totalLength;  // a USB 2 walk leaves the trailing companion to the configuration
  };
  const Case cases[] = {
      {0x0300, 16384, 15, 35}, {0x0320, 16384, 15, 35}, {0x0210, 1024, 0, 29}};
  for (const Case& c : cases) {
    OpenedDevice d(DeviceDescriptor(c.bcdUsb), kSuperSpeedBulkPair);
    ASSERT_TRUE(d.device.Open(0)) << std::hex << c.bcdUsb;
    CCyInterface& current = *d.device.CurrentInterface;
    EXPECT_EQ(current.TotalLength, c.totalLength);
    ASSERT_NE(current.Endpoints[2], nullptr);
    EXPECT_EQ(current.Endpoints[1]->MaxPacketSize, c.outMaxPacket) << std::hex << c.bcdUsb;
    EXPECT_EQ(current.Endpoints[1]->ssbMaxBurst, c.burst);
    EXPECT_EQ(current.Endpoints[2]->MaxPacketSize, 1024u);
    EXPECT_EQ(current.Endpoints[2]->Address, 0x82);
  }
}

TEST(UsbDevice, UntraversableDescriptorTableIsRefusedWithOneLineAndTheDeviceClosed) {
  std::vector<uint8_t> zeroLength = kTwoAlternateSettings;
  zeroLength[18] = 0x00;  // the class-specific descriptor claims 0 bytes
  std::vector<uint8_t> pastTheEnd = kTwoAlternateSettings;
  pastTheEnd[67] = 0x09;  // the last endpoint runs two bytes past the set
  std::vector<uint8_t> missingEndpoint = kTwoAlternateSettings;
  missingEndpoint[13] = 0x03;  // alternate setting 0 announces three endpoints
  std::vector<uint8_t> shorterThanItsHeader = {0x09, 0x02, 0x05, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32};
  for (const auto& table : {zeroLength, pastTheEnd, missingEndpoint, shorterThanItsHeader}) {
    OpenedDevice d(DeviceDescriptor(0x0210), table);
    EXPECT_FALSE(d.device.Open(0));
    EXPECT_FALSE(d.device.IsOpen());
    EXPECT_EQ(d.host.OpenHandles, 0);
    EXPECT_EQ(d.errors.str(),
              "Wrong Device Configuration: Please correct firmware descriptor table\n");
  }
}

TEST(UsbDevice, DevicesAreCountedPerDriverClassInBusAndAddressOrder) {
  DescriptorPeer cypressA(DeviceDescriptor(0x0210, 0x04B4, 0x00F3), kTwoAlternateSettings);
  DescriptorPeer cypressB(DeviceDescriptor(0x0210, 0x04B4, 0x00F1), kTwoAlternateSettings);
  DescriptorPeer instrument(DeviceDescriptor(0x0210), kTwoAlternateSettings);
  DescriptorPeer other(DeviceDescriptor(0x0210, 0x1234, 0x5678), kTwoAlternateSettings);
  FakeUsbHost host;
  host.Add({2, 9, 0x04B4, 0x00F1}, cypressB);
  host.Add({1, 7, 0x04B4, 0x00F0}, instrument);
  host.Add({1, 3, 0x1234, 0x5678}, other);
  host.Add({1, 5, 0x04B4, 0x00F3}, cypressA);
  CCyDevice instruments(InstrumentDriverGuid, nullptr, &host);
  CCyDevice cypress(CypressDriverGuid, nullptr, &host);
  EXPECT_EQ(instruments.CountDevices(), 1);
  EXPECT_EQ(cypress.CountDevices(), 2);

  ASSERT_TRUE(cypress.Open(1));
  EXPECT_EQ(cypress.ProductId, 0x00F1);
  EXPECT_EQ(cypress.DeviceNumber, 1);
  ASSERT_TRUE(cypress.Open(0));  // reopening closes the first handle
  EXPECT_EQ(cypress.ProductId, 0x00F3);
  EXPECT_EQ(host.OpenHandles, 1);
  EXPECT_FALSE(cypress.Open(2));
  EXPECT_EQ(cypress.DeviceNumber, 0);
  EXPECT_EQ(host.OpenHandles, 0);
  cypress.Close();
  cypress.Close();
  EXPECT_EQ(cypress.VendorId, 0);
}

TEST(UsbDevice, DeviceWithoutPermissionGetsOneLineNamingBusAddressIdsAndRules) {
  DescriptorPeer peer(DeviceDescriptor(0x0210), kTwoAlternateSettings);
  FakeUsbHost host;
  host.Add({3, 12, 0x04B4, 0x00F0}, peer, /*accessDenied=*/true);
  std::ostringstream errors;
  CCyDevice device(InstrumentDriverGuid, &errors, &host);
  EXPECT_EQ(device.CountDevices(), 1);
  EXPECT_FALSE(device.Open(0));
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(errors.str(),
            "USB device 04b4:00f0 on bus 003 address 012 cannot be opened: permission denied; "
            "install the udev rules file /etc/udev/rules.d/70-vesk-instruments.rules and plug "
            "the instrument in again\n");
}

TEST(UsbDevice, DeviceWithoutConfigurationStaysOpenWithoutInterface) {
  std::vector<uint8_t> noConfigurations = DeviceDescriptor(0x0210);
  noConfigurations[17] = 0;
  OpenedDevice d(noConfigurations, kTwoAlternateSettings);
  EXPECT_FALSE(d.device.Open(0));
  EXPECT_TRUE(d.device.IsOpen());
  EXPECT_NE(d.device.ControlEndpoint, nullptr);
  EXPECT_EQ(d.device.EndpointCount(), 0);
}

}  // namespace
}  // namespace vesk
