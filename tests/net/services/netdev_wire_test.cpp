// Byte layouts of the device list and the address-assignment messages, and
// the host-side conversions, checked against tables written out by hand.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/services/address_assignment.h"
#include "net/services/config_message.h"
#include "net/services/crc32.h"
#include "net/services/discovery_datagram.h"
#include "net/services/local_addresses.h"
#include "vesk/netdev.h"

namespace vesk {
namespace {

TEST(NetdevWire, ChecksumIsTheIeeeCrc32) {
  const std::string text = "123456789";
  EXPECT_EQ(Crc32(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())),
            0xCBF43926u);
}

TEST(NetdevWire, SettingsRequestHasTheInstrumentsByteLayout) {
  ConfigMessage message{1, 0x11223344, 0x55667788, {}};
  AddressSettings settings = BuildAddressSettings(0x11223344, 0x55667788, 0x0A07A8C0, -256);
  message.payload.assign(settings.begin(), settings.end());
  const std::vector<uint8_t> expected = {
      0x01, 0x18, 0x00, 0x00, 0x00, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66,
      0x55, 0xC0, 0xA8, 0x07, 0x0A, 0x00, 0xFF, 0xFF, 0xFF, 0x5F, 0x0A, 0x4D, 0x55};
  EXPECT_EQ(BuildConfigMessage(message), expected);
}

TEST(NetdevWire, ConfirmRequestCarriesNoPayload) {
  const std::vector<uint8_t> expected = {0x05, 0x00, 0x00, 0x00, 0x00, 0x44, 0x33, 0x22, 0x11,
                                         0x88, 0x77, 0x66, 0x55, 0x1D, 0x15, 0x16, 0x60};
  EXPECT_EQ(BuildConfigMessage({5, 0x11223344, 0x55667788, {}}), expected);
  auto parsed = ParseConfigMessage(expected);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->type, 5);
  EXPECT_EQ(parsed->idLow, 0x11223344u);
  EXPECT_EQ(parsed->idHigh, 0x55667788u);
  EXPECT_TRUE(parsed->payload.empty());
}

TEST(NetdevWire, DamagedOrMisframedMessagesAreIgnored) {
  const std::vector<uint8_t> good = BuildConfigMessage({7, 1, 2, {9, 9}});
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  cases.push_back(
      {"too short for a header and CRC", std::vector<uint8_t>(good.begin(), good.begin() + 16)});
  auto flipped = good;
  flipped[14] ^= 0x40;
  cases.push_back({"payload byte changed", flipped});
  auto trailing = good;
  trailing.push_back(0);
  cases.push_back({"a byte behind the CRC", trailing});
  auto hugeLength = good;
  hugeLength[1] = 0xFF, hugeLength[2] = 0xFF, hugeLength[3] = 0xFF, hugeLength[4] = 0xFF;
  cases.push_back({"length field near 2^32", hugeLength});
  for (const Case& c : cases) {
    EXPECT_FALSE(ParseConfigMessage(c.bytes).has_value()) << c.what;
  }
  EXPECT_TRUE(ParseConfigMessage(good).has_value());
}

std::vector<uint8_t> TwoRecords() {
  const uint8_t first[4] = {192, 168, 7, 2};
  const uint8_t second[4] = {192, 168, 7, 3};
  auto records = BuildNetDeviceRecord(1, 2, first);
  auto more = BuildNetDeviceRecord(3, 4, second);
  records.insert(records.end(), more.begin(), more.end());
  return records;
}

TEST(NetdevWire, DeviceListCarriesCountRecordsAndRecordCrc) {
  const uint8_t address[4] = {192, 168, 7, 2};
  auto record = BuildNetDeviceRecord(1, 2, address);
  std::vector<uint8_t> expected = {0x01, 1, 0, 0, 0, 2, 0, 0, 0};
  expected.insert(expected.end(), 12, 0);
  expected.insert(expected.end(), {192, 168, 7, 2});
  expected.insert(expected.end(), 8, 0);
  expected.insert(expected.end(), {0xDF, 0x1A, 0x8B, 0x3C});
  EXPECT_EQ(BuildDiscoveryDatagram(record), expected);
}

TEST(NetdevWire, DeviceListChecksRefuseWhatCannotBeCopiedSafely) {
  const auto good = BuildDiscoveryDatagram(TwoRecords());
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    bool accepted;
  };
  std::vector<Case> cases;
  cases.push_back({"intact", good, true});
  auto badCrc = good;
  badCrc[good.size() - 2] ^= 0x10;
  cases.push_back({"one CRC byte changed", badCrc, false});
  auto countBeyond = good;
  countBeyond[0] = 3;
  cases.push_back({"count larger than the datagram", countBeyond, false});
  cases.push_back({"empty datagram", {}, false});
  std::vector<uint8_t> many(65 * kNetDeviceRecordBytes, 0xA5);
  cases.push_back({"65 records with a matching CRC", BuildDiscoveryDatagram(many), false});
  std::vector<uint8_t> full(64 * kNetDeviceRecordBytes, 0x5A);
  cases.push_back({"64 records", BuildDiscoveryDatagram(full), true});
  cases.push_back({"no records", BuildDiscoveryDatagram({}), true});
  for (const Case& c : cases) {
    DiscoveryDatagram parsed;
    bool accepted = ParseDiscoveryDatagram(c.bytes, parsed);
    EXPECT_EQ(accepted, c.accepted) << c.what;
    if (accepted) {
      EXPECT_EQ(parsed.records.size(), size_t{parsed.count} * kNetDeviceRecordBytes) << c.what;
      EXPECT_LE(parsed.count, kMaxNetDeviceRecords) << c.what;
    }
  }
}

TEST(NetdevWire, AddressTextBecomesNumberFirstPartMostSignificant) {
  struct Case {
    const char* text;
    uint32_t number;
  };
  const Case cases[] = {
      {"192.168.1.10", 0xC0A8010A},
      {"10.0.0.1", 0x0A000001},
      {"", 0},
      {"1.256.0.0", 0x02000000},  // a part above 255 runs into the byte before
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Ipv4TextToNumber(c.text), c.number) << c.text;
    uint8_t bytes[4];
    WriteAddressBytes(c.number, bytes);
    EXPECT_EQ(bytes[0], c.number >> 24) << c.text;
    EXPECT_EQ(bytes[3], c.number & 0xFF) << c.text;
  }
}

TEST(NetdevWire, InstrumentStatusMapsToResult) {
  struct Case {
    int8_t status;
    ResultCode result;
  };
  const Case cases[] = {{0, 0},       {1, 10065},  {2, 10065},   {5, 10068},
                        {127, 10190}, {-1, 10071}, {-128, 10198}};
  for (const Case& c : cases) {
    EXPECT_EQ(ResultOfReportedStatus(c.status), c.result) << int{c.status};
  }
}

}  // namespace
}  // namespace vesk
