#include <gtest/gtest.h>

#include <numeric>

#include "bus/instructions.h"
#include "bus/usb_packet_exchange.h"
#include "usb/fake_usb_instrument.h"
#include "usb/usb_device.h"

namespace vesk {
namespace {

using test::FakeUsbInstrument;
using sim::Fx3Options;
using sim::InstructionRequest;

InstructionRequest Packet(std::initializer_list<uint8_t> head) {
  InstructionRequest packet{};
  std::copy(head.begin(), head.end(), packet.begin());
  return packet;
}

// Each case runs in control-request mode and in fast mode.
class UsbInstructions : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
    usb.bus.FastTransfer = GetParam();
  }
  FakeUsbInstrument usb;
};

INSTANTIATE_TEST_SUITE_P(BothLinkModes, UsbInstructions, ::testing::Values(0, 1));

TEST_P(UsbInstructions, DataBlockCarriesAtMost198BytesButAnnouncesTheFullCount) {
  std::vector<uint8_t> data(250);
  std::iota(data.begin(), data.end(), uint8_t{1});
  uint8_t echo = 0;
  EXPECT_EQ(SendDataBlock(usb.bus, data.data(), 250, echo), kResultOk);
  EXPECT_EQ(echo, 250);
  auto sent = usb.fx3.Instructions();
  ASSERT_EQ(sent.size(), 2u);
  InstructionRequest first = Packet({0xFE, 198});
  std::copy(data.begin(), data.begin() + 198, first.begin() + 2);
  EXPECT_EQ(sent[0], first);
  EXPECT_EQ(sent[1], Packet({0xFF, 0x01, 250}));
}

TEST_P(UsbInstructions, FlashBlockCarriesSequenceAndComplement) {
  std::vector<uint8_t> data(100, 0xAB);
  EXPECT_EQ(WriteFlashBlock(usb.bus, data.data(), 255, 100), kResultOk);
  InstructionRequest expected = Packet({0x01, 255, 0});
  std::fill(expected.begin() + 3, expected.begin() + 103, 0xAB);
  ASSERT_EQ(usb.fx3.Instructions().size(), 1u);
  EXPECT_EQ(usb.fx3.Instructions()[0], expected);
  CCyDevice& device = *usb.bus.Device;
  CCyUSBEndPoint* reply = GetParam() == 1 ? device.CurrentInterface->Endpoints[4]
                                          : device.ControlEndpoint.get();
  EXPECT_EQ(reply->TimeoutMs, 2000u);
}

TEST_P(UsbInstructions, IapModeIsEnteredOnlyWhenTheInstrumentAcknowledges) {
  usb.bus.ReplyTimeoutMs = 4000;
  EXPECT_EQ(EnterIapMode(usb.bus), kResultOk);
  auto sent = usb.fx3.Instructions();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], Packet({0x0C, 0x55, 0x55}));
  EXPECT_EQ(sent[1], Packet({0x31, 0x55, 0x55}));
  EXPECT_EQ(usb.platform.Pauses(), std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(2000)});

  usb.model.IapAcknowledge = 5;
  EXPECT_EQ(EnterIapMode(usb.bus), kResultNotAcknowledged);
}

TEST_P(UsbInstructions, RxInstructionLaysOutInstructionParameterAndBody) {
  RxBody body{};
  body[0] = 0x11;
  body[183] = 0x22;
  EXPECT_EQ(SendRxInstruction(usb.bus, 0xF7, 0x0102, body), kResultOk);
  InstructionRequest expected = Packet({0xF7, 0x02, 0x01, 0x11});
  expected[186] = 0x22;
  ASSERT_EQ(usb.fx3.Instructions().size(), 1u);
  EXPECT_EQ(usb.fx3.Instructions()[0], expected);
}

TEST_P(UsbInstructions, DeviceInfoComesFromTheDeviceRecord) {
  DeviceInfo info;
  info.Reserved = 77;
  EXPECT_EQ(ReadDeviceInfo(usb.bus, info), kResultOk);
  EXPECT_EQ(info.Uid, 0x1122334455667788ull);
  EXPECT_EQ(info.ModelCode, 40);
  EXPECT_EQ(info.HardwareCode, 0x3000);
  EXPECT_EQ(info.McuVersion, 0x373Du);
  EXPECT_EQ(info.FpgaVersion, 0x3720u);
  EXPECT_EQ(info.Reserved, 77u);
  ASSERT_EQ(usb.fx3.Instructions().size(), 1u);
  EXPECT_EQ(usb.fx3.Instructions()[0], Packet({0x09, 0x0C, 0x89}));
}

TEST(UsbDeviceInfo, FastModeNeedsAFastControllerAndNewEnoughFirmware) {
  struct Case {
    uint32_t controller, mcu, fpga;
    int32_t fast;
  };
  const Case cases[] = {
      {14081, 14132, 14102, 1},   {0x4E10, 0x10000, 0x10000, 1}, {20203, 0x10000, 0x10000, 0},
      {14080, 0x10000, 0x10000, 0}, {14081, 14131, 14102, 0},      {14081, 14132, 14101, 0},
  };
  for (const Case& c : cases) {
    Fx3Options options;
    options.ControllerVersion = c.controller;
    FakeUsbInstrument usb(options);
    usb.model.McuVersion = c.mcu;
    usb.model.FpgaVersion = c.fpga;
    ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
    usb.bus.FastTransfer = 1 - c.fast;  // the read decides, whatever was before
    DeviceInfo info;
    EXPECT_EQ(ReadDeviceInfo(usb.bus, info), kResultOk);
    EXPECT_EQ(usb.bus.FastTransfer, c.fast) << c.controller << " " << c.mcu << " " << c.fpga;
  }
}

TEST(UsbDeviceInfo, ShortRecordsAreAskedForAgainAfter30Milliseconds) {
  FakeUsbInstrument usb;
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  usb.model.ShortRecords = 2;
  std::array<uint8_t, kDeviceRecordSize> record{};
  EXPECT_EQ(ReadDeviceRecord(usb.bus, record), kResultOk);
  EXPECT_EQ(usb.fx3.Instructions().size(), 3u);
  EXPECT_EQ(usb.platform.Pauses(), std::vector<std::chrono::milliseconds>(2, std::chrono::milliseconds(30)));
  EXPECT_EQ(record[0], 0x88);

  // Replies of a single byte all five times: the identity is unreadable.
  FakeUsbInstrument oneByte;
  ASSERT_EQ(OpenBus(oneByte.bus, 0), kResultOk);
  oneByte.model.ShortRecords = 5;
  oneByte.model.ShortRecordLength = 1;
  DeviceInfo info;
  EXPECT_EQ(ReadDeviceInfo(oneByte.bus, info), kResultTransferFailed);
  EXPECT_EQ(oneByte.fx3.Instructions().size(), 5u);

  // No reply at all, five times: unreadable too, not an identity of zeros.
  FakeUsbInstrument silent;
  ASSERT_EQ(OpenBus(silent.bus, 0), kResultOk);
  silent.model.ShortRecords = 5;
  silent.model.ShortRecordLength = 0;
  EXPECT_EQ(ReadDeviceInfo(silent.bus, info), kResultTransferFailed);
}

TEST(UsbDataBlock, FastModeReadsTheEchoOnceAndForgivesItsTimeout) {
  FakeUsbInstrument usb;
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  usb.bus.FastTransfer = 1;
  usb.fx3.SilenceReplies(true);
  uint8_t data[4] = {1, 2, 3, 4};
  uint8_t echo = 9;
  EXPECT_EQ(SendDataBlock(usb.bus, data, 4, echo), kResultOk);
  EXPECT_EQ(echo, 0);
  size_t reads = 0;
  for (const auto& t : usb.host.Transfers) reads += t.EndpointAddress == 0x82;
  EXPECT_EQ(reads, 1u);

  // Control mode asks up to 20 times for an echo that never comes.
  usb.bus.FastTransfer = 0;
  size_t before = usb.fx3.ControlRequests().size();
  EXPECT_EQ(SendDataBlock(usb.bus, data, 4, echo), kResultTransferFailed);
  EXPECT_EQ(usb.fx3.ControlRequests().size(), before + 4 + 20);
}

TEST(UsbReplyTimeout, AppliesToTheBulkReplyEndpoint) {
  FakeUsbInstrument usb;
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  usb.bus.ReplyTimeoutMs = 7000;
  EXPECT_EQ(ApplyReplyTimeout(usb.bus), kResultOk);
  EXPECT_EQ(usb.bus.Device->BulkIn, usb.bus.Device->CurrentInterface->Endpoints[4]);
  EXPECT_EQ(usb.bus.Device->BulkIn->TimeoutMs, 7000u);
}

}  // namespace
}  // namespace vesk
