#include <gtest/gtest.h>

#include "app/settings.h"
#include "support/recording_platform.h"
#include "support/temp_folder.h"

namespace vesk {
namespace {

using test::RecordingPlatform;
using test::TempFolder;

struct AddressCase {
  std::string Text;
  bool Valid;
  std::array<uint8_t, 4> Bytes;
};

class ParseIpv4Test : public testing::TestWithParam<AddressCase> {};

TEST_P(ParseIpv4Test, AcceptsOnlyFourNumbersFrom0To255) {
  const AddressCase& c = GetParam();
  std::array<uint8_t, 16> destination{};
  destination.fill(0xEE);
  EXPECT_EQ(ParseIpv4(c.Text, destination), c.Valid) << c.Text;
  if (c.Valid) {
    EXPECT_EQ(std::vector<uint8_t>(destination.begin(), destination.begin() + 4),
              std::vector<uint8_t>(c.Bytes.begin(), c.Bytes.end()));
  } else {
    EXPECT_EQ(destination[0], 0xEE) << "an invalid text must leave the destination unchanged";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, ParseIpv4Test,
    testing::Values(AddressCase{"10.0.0.7", true, {10, 0, 0, 7}},
                    AddressCase{" 192.168.1.7", true, {192, 168, 1, 7}},
                    AddressCase{"192.168.1.7 ", true, {192, 168, 1, 7}},
                    AddressCase{"192.168.1.7x", true, {192, 168, 1, 7}},
                    AddressCase{"192.168.1", false, {}}, AddressCase{"192.168.1.256", false, {}},
                    AddressCase{"192.168..1", false, {}}, AddressCase{"192.168.1.1.5", false, {}},
                    AddressCase{"192.168.1.1.", false, {}}, AddressCase{"1.2.-1.4", false, {}},
                    AddressCase{"", false, {}},
                    AddressCase{"99999999999.1.1.1", false, {}}));

struct SettingsCase {
  std::string Name;
  std::string File;  // empty: no Settings.ini at all
  BusInterface Interface;
  int32_t DeviceIndex;
  std::array<uint8_t, 4> Address;
  uint16_t Port;
  int32_t TimeoutMs;
  std::string Output;
};

class LoadSettingsTest : public testing::TestWithParam<SettingsCase> {};

TEST_P(LoadSettingsTest, StoresPositionalValuesAndPrintsEachCorrection) {
  const SettingsCase& c = GetParam();
  TempFolder folder;
  if (!c.File.empty()) folder.Write("Settings.ini", c.File);
  RecordingPlatform platform(folder.Path());
  Bus bus(platform);
  bus.Interface = BusInterface::HLVDS;  // must be reset to the default first
  bus.NetTimeoutMs = 1;
  int32_t deviceIndex = 3;
  LoadSettings(bus, deviceIndex);
  EXPECT_EQ(bus.Interface, c.Interface);
  EXPECT_EQ(deviceIndex, c.DeviceIndex);
  EXPECT_EQ(std::vector<uint8_t>(bus.IpAddress.begin(), bus.IpAddress.begin() + 4),
            std::vector<uint8_t>(c.Address.begin(), c.Address.end()));
  EXPECT_EQ(bus.Port, c.Port);
  EXPECT_EQ(bus.NetTimeoutMs, c.TimeoutMs);
  EXPECT_EQ(bus.IsIpv6, 0);
  EXPECT_EQ(platform.OutText(), c.Output);
}

const std::string kInterfaceMessage =
    "The Interface in Settings.ini is invalid, the default USB interface will be used.\n";
const std::string kAddressMessage =
    "The IP Address format in Settings.ini is incorrect, it has been changed to the default IP "
    "address 192.168.1.100.\n";
const std::string kTimeoutMessage =
    "The TimeOut in Settings.ini must be greater than 10000ms, it has been changed to the "
    "default 10000ms.\n";

INSTANTIATE_TEST_SUITE_P(
    Files, LoadSettingsTest,
    testing::Values(
        SettingsCase{"NoFile", "", BusInterface::USB, 3, {192, 168, 1, 100}, 5000, 10000, ""},
        SettingsCase{"Ethernet",
                     "Interface=ETH\nIndex=0\nIP=10.0.0.7\nPort=5000\nTimeOut=20000\n",
                     BusInterface::ETH, 0, {10, 0, 0, 7}, 5000, 20000, "\n"},
        SettingsCase{"CommentsAndCrLf",
                     "[Bus]\r\n# comment\r\nInterface=VIRTUAL\r\n\r\nIndex=1\r\nIP=10.1.2.3\r\n"
                     "Port=6000\r\nTimeOut=10000",
                     BusInterface::VIRTUAL, 1, {10, 1, 2, 3}, 6000, 10000, "\n"},
        SettingsCase{"Corrections",
                     "Interface= USB\nIndex=2\nIP=192.168.1.256\nPort=70000\nTimeOut=9999\n",
                     BusInterface::USB, 2, {192, 168, 1, 100}, 4464, 10000,
                     kInterfaceMessage + kAddressMessage + kTimeoutMessage + "\n"},
        SettingsCase{"LowerCaseAndNegatives",
                     "Interface=usb\nIndex=0\nIP=1.2.3.4\nPort=-1\nTimeOut=-5\nExtra=ignored\n",
                     BusInterface::USB, 0, {1, 2, 3, 4}, 65535, 10000,
                     kInterfaceMessage + kTimeoutMessage + "\n"},
        SettingsCase{"SecondEqualsBelongsToTheValue", "Interface=QSFP=x\nIndex=0\n",
                     BusInterface::USB, 0, {192, 168, 1, 100}, 5000, 10000,
                     kInterfaceMessage + "\n"},
        SettingsCase{"MissingValuesKeepDefaults", "Interface=HLVDS\n", BusInterface::HLVDS, 3,
                     {192, 168, 1, 100}, 5000, 10000, "\n"},
        SettingsCase{"UnreadableNumbers", "Interface=ETH\nIndex=x\nIP=1.1.1.1\nPort=\nTimeOut=abc\n",
                     BusInterface::ETH, 0, {1, 1, 1, 1}, 5000, 10000,
                     "The Index in Settings.ini is invalid, the default index 0 will be used.\n"
                     "The Port in Settings.ini is invalid, the default port 5000 will be used.\n" +
                         kTimeoutMessage + "\n"}),
    [](const testing::TestParamInfo<SettingsCase>& info) { return info.param.Name; });

}  // namespace
}  // namespace vesk
