#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "usb/driver_class.h"
#include "usb/fake_usb_host.h"
#include "usb/usb_device.h"

namespace vesk {
namespace {

TEST(DriverClass, UsbIdListsKeepWellFormedPairsOnly) {
  struct Case {
    const char* text;
    std::vector<UsbId> expected;
  };
  const Case cases[] = {
      {"04b4:00f0", {{0x04B4, 0x00F0}}},
      {" 04B4:00F1 , 1234:abcd", {{0x04B4, 0x00F1}, {0x1234, 0xABCD}}},
      {"", {}},
      {"04b4", {}},
      {"04b4:00f0:1,zzzz:0001,12345:0001,1:2", {{0x0001, 0x0002}}},
      {",,04b4:00f0,", {{0x04B4, 0x00F0}}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseUsbIds(c.text), c.expected) << c.text;
}

TEST(DriverClass, InstrumentPairsBelongToTheInstrumentDriverAndNotToCypress) {
  const std::vector<UsbId> instruments = {{0x04B4, 0x00F0}, {0x1D50, 0x6000}};
  struct Case {
    uint16_t vendor, product;
    bool instrument, cypress;
  };
  const Case cases[] = {
      {0x04B4, 0x00F0, true, false}, {0x1D50, 0x6000, true, false},
      {0x04B4, 0x00F1, false, true}, {0x04B4, 0x00F3, false, true},
      {0x1234, 0x00F1, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DriverClassSelects(InstrumentDriverGuid, c.vendor, c.product, instruments),
              c.instrument);
    EXPECT_EQ(DriverClassSelects(CypressDriverGuid, c.vendor, c.product, instruments), c.cypress);
  }
  DriverGuid other{};
  EXPECT_FALSE(DriverClassSelects(other, 0x04B4, 0x00F0, instruments));
}

TEST(DriverClass, UdevRulesGrantAccessToEveryBuiltInPairAndTheCypressIdentity) {
  std::ifstream file(VESK_UDEV_RULES_PATH);
  ASSERT_TRUE(file) << VESK_UDEV_RULES_PATH;
  std::stringstream text;
  text << file.rdbuf();
  std::vector<UsbId> ids = ParseUsbIds(VESK_BUILT_IN_USB_IDS);
  ids.push_back({0x04B4, 0x00F1});
  for (const UsbId& id : ids) {
    char line[128];
    std::snprintf(line, sizeof line,
                  "SUBSYSTEM==\"usb\", ATTR{idVendor}==\"%04x\", ATTR{idProduct}==\"%04x\", "
                  "TAG+=\"uaccess\"\n",
                  unsigned{id.VendorId}, unsigned{id.ProductId});
    EXPECT_NE(text.str().find(line), std::string::npos) << line;
  }
}

TEST(DriverClass, HostWithoutUsbSupportHasNoDevicesAndSaysNothing) {
  // This process uses the real libusb host; build machines have no usbfs.
  if (std::filesystem::exists("/dev/bus/usb") || std::getenv("LD_PRELOAD") != nullptr) {
    GTEST_SKIP() << "this machine has USB devices";
  }
  std::ostringstream errors;
  CCyDevice instrument(InstrumentDriverGuid, &errors);
  CCyDevice cypress(CypressDriverGuid, &errors);
  EXPECT_EQ(instrument.CountDevices(), 0);
  EXPECT_EQ(cypress.CountDevices(), 0);
  EXPECT_FALSE(instrument.Open(0));
  EXPECT_FALSE(instrument.IsOpen());
  EXPECT_EQ(errors.str(), "");
}

}  // namespace
}  // namespace vesk
