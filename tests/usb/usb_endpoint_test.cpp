#include <gtest/gtest.h>

#include <numeric>

#include "usb/fake_usb_host.h"
#include "usb/usb_device.h"
#include "sim/usb_peer.h"

namespace vesk {
namespace {

using test::FakeUsbHost;
using sim::PeerAnswer;
using sim::UsbPeer;

// Answers control reads with a counting pattern, accepts control writes,
// and never answers bulk reads.
class PatternPeer : public UsbPeer {
 public:
  PeerAnswer Control(const UsbSetupPacket& setup, std::vector<uint8_t>& data) override {
    if (setup.RequestType & 0x80) {
      data.resize(setup.Length);
      std::iota(data.begin(), data.end(), uint8_t{1});
    }
    return PeerAnswer::Done;
  }
  PeerAnswer BulkOut(uint8_t, const std::vector<uint8_t>&) override { return PeerAnswer::Done; }
  PeerAnswer BulkIn(uint8_t, uint32_t, std::vector<uint8_t>&) override {
    return PeerAnswer::Silent;
  }
};

struct Endpoints {
  Endpoints() {
    host.Add({1, 2, 0x04B4, 0x00F0}, peer);
    host.Open({1, 2, 0x04B4, 0x00F0}, handle);
  }
  PatternPeer peer;
  FakeUsbHost host;
  std::unique_ptr<UsbDeviceHandle> handle;
};

TEST(UsbEndpoint, ControlTimeoutIsGivenToTheHostInWholeSeconds) {
  struct Case {
    uint32_t timeoutMs, seconds;
  };
  const Case cases[] = {{500, 1}, {2000, 2}, {1999, 1}, {0, 0}, {1, 1}, {10000, 10}};
  for (const Case& c : cases) {
    Endpoints e;
    CCyControlEndPoint control(e.handle.get());
    control.TimeoutMs = c.timeoutMs;
    uint8_t data[4] = {};
    int32_t length = 4;
    control.Write(data, length);
    ASSERT_EQ(e.host.Transfers.size(), 1u);
    EXPECT_EQ(e.host.Transfers[0].ControlTimeoutSeconds, c.seconds) << c.timeoutMs;
  }
}

TEST(UsbEndpoint, ControlSetupPacketCarriesTypeDirectionAndFields) {
  Endpoints e;
  CCyControlEndPoint control(e.handle.get());
  control.RequestType = CCyControlEndPoint::kRequestTypeClass;
  control.RequestCode = 1;
  control.Target = 0;
  control.Value = 0x1234;
  control.Index = 0x00C8;
  std::vector<uint8_t> request(100, 0x5A);
  int32_t length = 100;
  EXPECT_TRUE(control.Write(request.data(), length));
  EXPECT_EQ(length, 100);
  EXPECT_TRUE(control.Read(request.data(), length));
  ASSERT_EQ(e.host.Transfers.size(), 2u);
  const auto& write = e.host.Transfers[0];
  EXPECT_EQ(write.Setup.RequestType, 0x20);
  EXPECT_EQ(write.Setup.Request, 1);
  EXPECT_EQ(write.Setup.Value, 0x1234);
  EXPECT_EQ(write.Setup.Index, 0x00C8);
  EXPECT_EQ(write.Setup.Length, 100);
  EXPECT_EQ(write.EndpointAddress, 0);
  EXPECT_EQ(write.OutData, std::vector<uint8_t>(100, 0x5A));
  EXPECT_EQ(e.host.Transfers[1].Setup.RequestType, 0xA0);
}

TEST(UsbEndpoint, ControlReadAnsweredInFullDeliversTheBytes) {
  Endpoints e;
  CCyControlEndPoint control(e.handle.get());
  uint8_t data[16] = {};
  int32_t length = 16;
  EXPECT_TRUE(control.Read(data, length));
  EXPECT_EQ(length, 16);
  EXPECT_EQ(control.BytesTransferred, 16u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(data[i], i + 1);
  EXPECT_EQ(control.UsbdStatus, 0u);
  EXPECT_EQ(control.NtStatus, 0u);
}

TEST(UsbEndpoint, BulkReadNeverAnsweredIsCancelledAfterItsTimeout) {
  Endpoints e;
  const uint8_t descriptor[] = {0x07, 0x05, 0x82, 0x02, 0x00, 0x02, 0x00};
  CCyBulkEndPoint bulk(e.handle.get(), descriptor, nullptr);
  bulk.TimeoutMs = 2000;
  uint8_t data[1024] = {};
  int32_t length = 1024;
  EXPECT_FALSE(bulk.Transfer(data, length));
  EXPECT_EQ(length, 0);
  EXPECT_EQ(bulk.BytesTransferred, 0u);
  EXPECT_EQ(bulk.NtStatus, kNtStatusCancelled);
  EXPECT_NE(bulk.UsbdStatus, 0u);
  EXPECT_GE(e.host.Aborts, 1);
  ASSERT_EQ(e.host.Transfers.size(), 1u);
  EXPECT_EQ(e.host.Transfers[0].EndpointAddress, 0x82);
  EXPECT_EQ(e.host.Transfers[0].Type, UsbTransferType::Bulk);
}

TEST(UsbEndpoint, TransferWithoutHandleFailsWithoutReachingTheHost) {
  Endpoints e;
  const uint8_t descriptor[] = {0x07, 0x05, 0x02, 0x02, 0x00, 0x02, 0x00};
  CCyBulkEndPoint bulk(nullptr, descriptor, nullptr);
  CCyControlEndPoint control(nullptr);
  uint8_t data[8] = {};
  int32_t length = 8;
  EXPECT_FALSE(bulk.Transfer(data, length));
  EXPECT_EQ(length, 0);
  length = 8;
  EXPECT_FALSE(control.Read(data, length));
  EXPECT_TRUE(e.host.Transfers.empty());
}

TEST(UsbEndpoint, MaxPacketSizeFollowsDescriptorAndCompanion) {
  struct Case {
    uint8_t attributes;
    uint16_t wMaxPacketSize;
    bool companion;
    uint8_t burst, companionAttributes;
    uint32_t expected;
  };
  const Case cases[] = {
      {2, 1024, true, 15, 0, 16384},  // SuperSpeed bulk with bursts
      {2, 1024, false, 0, 0, 1024},
      {1, 1024, true, 15, 2, 49152},    // isochronous: three bursts per interval
      {1, 0x1400, false, 0, 0, 3072},   // high-bandwidth: three packets per microframe
      {2, 0x7FF | 0x1800, true, 15, 3, 2047 * 4 * 16},  // odd values do not wrap
  };
  for (const Case& c : cases) {
    const uint8_t descriptor[] = {0x07, 0x05, 0x81, c.attributes,
                                  static_cast<uint8_t>(c.wMaxPacketSize),
                                  static_cast<uint8_t>(c.wMaxPacketSize >> 8), 0x01};
    const uint8_t companion[] = {0x06, 0x30, c.burst, c.companionAttributes, 0x00, 0x00};
    CCyBulkEndPoint endpoint(nullptr, descriptor, c.companion ? companion : nullptr);
    EXPECT_EQ(endpoint.MaxPacketSize, c.expected);
  }
}

}  // namespace
}  // namespace vesk
