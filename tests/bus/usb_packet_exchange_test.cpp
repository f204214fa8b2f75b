#include <gtest/gtest.h>

#include <numeric>

#include "bus/usb_packet_exchange.h"
#include "usb/fake_usb_instrument.h"
#include "usb/usb_device.h"

namespace vesk {
namespace {

using test::FakeUsbHost;
using test::FakeUsbInstrument;
using sim::Fx3Instrument;
using sim::Fx3Options;

Fx3Options Controller(uint32_t version) {
  Fx3Options options;
  options.ControllerVersion = version;
  return options;
}

TEST(UsbPacketExchange, OpenReadsControllerInfoAndInitialisesOnlyFastCapableControllers) {
  struct Case {
    uint32_t version;
    int initRequestType;  // -1: no initialisation request
    uint16_t initLength;
  };
  const Case cases[] = {
      {20203, -1, 0}, {14080, -1, 0}, {14081, 0x40, 2}, {0x4E10, 0xA0, 11}, {0x10000, 0x40, 2}};
  for (const Case& c : cases) {
    FakeUsbInstrument usb(Controller(c.version));
    ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk) << c.version;
    EXPECT_EQ(usb.bus.ControllerVersion, c.version);
    EXPECT_EQ(usb.bus.ControllerInfo, 1);
    EXPECT_EQ(usb.bus.FastTransfer, 0);
    auto requests = usb.fx3.ControlRequests();
    ASSERT_GE(requests.size(), 1u);
    EXPECT_EQ(requests[0].Setup.RequestType, 0xA0);
    EXPECT_EQ(requests[0].Setup.Request, 0x82);
    EXPECT_EQ(requests[0].Setup.Value, 16);
    EXPECT_EQ(requests[0].Setup.Length, 16);
    if (c.initRequestType < 0) {
      EXPECT_EQ(requests.size(), 1u) << c.version;
    } else {
      ASSERT_EQ(requests.size(), 2u) << c.version;
      EXPECT_EQ(requests[1].Setup.RequestType, c.initRequestType);
      EXPECT_EQ(requests[1].Setup.Request, 0x89);
      EXPECT_EQ(requests[1].Setup.Length, c.initLength);
      if (c.initRequestType == 0x40) {
        EXPECT_EQ(requests[1].Data, std::vector<uint8_t>(2, 0));
      }
    }
    CCyDevice& device = *usb.bus.Device;
    ASSERT_EQ(device.EndpointCount(), 5);
    for (size_t slot = 0; slot < 5; ++slot) {
      EXPECT_EQ(device.CurrentInterface->Endpoints[slot]->TimeoutMs, 2000u);
    }
    EXPECT_EQ(CloseBus(usb.bus), kResultOk);
    EXPECT_EQ(usb.bus.Device, nullptr);
    EXPECT_EQ(usb.host.OpenHandles, 0);
  }
}

TEST(UsbPacketExchange, FailedOpensReportNoLinkAndCloseStillReleasesTheDevice) {
  FakeUsbInstrument stalled;
  stalled.fx3.StallRequest(0x82);
  EXPECT_EQ(OpenBus(stalled.bus, 0), kResultNoLink);
  EXPECT_EQ(CloseBus(stalled.bus), kResultOk);
  EXPECT_EQ(stalled.host.OpenHandles, 0);

  FakeUsbInstrument present;
  EXPECT_EQ(OpenBus(present.bus, 1), kResultNoLink);  // only one instrument
  EXPECT_NE(present.bus.Device, nullptr);
  EXPECT_EQ(CloseBus(present.bus), kResultOk);
  EXPECT_EQ(present.bus.Device, nullptr);
  EXPECT_EQ(CloseBus(present.bus), kResultOk);
}

TEST(UsbPacketExchange, DeviceIndexCountsInstrumentsThenCypressDevicesShowing04b4_00f1) {
  test::MinimalInstrument model;
  Fx3Instrument instrumentA(model), instrumentB(model);
  Fx3Options bootloader;
  bootloader.ProductId = 0x00F3;
  Fx3Options streamer;
  streamer.ProductId = 0x00F1;
  Fx3Instrument other(model, bootloader), cypress(model, streamer);
  FakeUsbHost host;
  host.Add({1, 2, 0x04B4, 0x00F0}, instrumentA);
  host.Add({1, 3, 0x04B4, 0x00F0}, instrumentB);
  host.Add({1, 5, 0x04B4, 0x00F3}, other);  // Cypress driver number 0, skipped
  host.Add({1, 6, 0x04B4, 0x00F1}, cypress);
  ScopedUsbHost scope(host);
  std::ostringstream errors;
  struct Case {
    int32_t index;
    ResultCode result;
    uint16_t product;
    std::string path;
  };
  const Case cases[] = {{0, kResultOk, 0x00F0, "/dev/bus/usb/001/002"},
                        {1, kResultOk, 0x00F0, "/dev/bus/usb/001/003"},
                        {2, kResultOk, 0x00F1, "/dev/bus/usb/001/006"},
                        {3, kResultNoLink, 0, ""}};
  for (const Case& c : cases) {
    std::unique_ptr<CCyDevice, CCyDeviceDeleter> device;
    EXPECT_EQ(OpenUsbDevice(device, c.index, errors), c.result) << c.index;
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->ProductId, c.product) << c.index;
    if (c.result == kResultOk) {
      EXPECT_EQ(device->DevicePath, c.path);
    }
  }
  EXPECT_EQ(errors.str(), "");
}

TEST(UsbPacketExchange, ControlModeWritesWhole100ByteTransfersOnly) {
  FakeUsbInstrument usb;
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  std::vector<uint8_t> request(250);
  std::iota(request.begin(), request.end(), uint8_t{0});
  size_t before = usb.fx3.ControlRequests().size();
  EXPECT_EQ(UsbWrite(usb.bus, request.data(), 99), kResultOk);
  EXPECT_EQ(usb.fx3.ControlRequests().size(), before);
  EXPECT_EQ(UsbWrite(usb.bus, request.data(), 250), kResultOk);
  auto requests = usb.fx3.ControlRequests();
  ASSERT_EQ(requests.size(), before + 2);
  for (size_t i = 0; i < 2; ++i) {
    const auto& r = requests[before + i];
    EXPECT_EQ(r.Setup.RequestType, 0x20);
    EXPECT_EQ(r.Setup.Request, 0x01);
    EXPECT_EQ(r.Setup.Value, 0);
    EXPECT_EQ(r.Setup.Index, 0);
    EXPECT_EQ(r.Data, std::vector<uint8_t>(request.begin() + 100 * i,
                                           request.begin() + 100 * (i + 1)));
  }
  usb.fx3.StallRequest(0x01);
  EXPECT_EQ(UsbWrite(usb.bus, request.data(), 100), kResultTransferFailed);
}

TEST(UsbPacketExchange, FastModeSendsOne1024BytePacketPer200RequestBytes) {
  FakeUsbInstrument usb;
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  usb.bus.FastTransfer = 1;
  std::vector<uint8_t> request(250);
  std::iota(request.begin(), request.end(), uint8_t{1});
  EXPECT_EQ(UsbWrite(usb.bus, request.data(), 250), kResultOk);
  auto packets = usb.fx3.FastPackets();
  ASSERT_EQ(packets.size(), 1u);
  std::vector<uint8_t> expected(1024, 0);
  const uint8_t header[] = {0x5A, 0x5A, 0x5A, 0x5A, 0x01, 0x00, 0x00, 0x00};
  std::copy(std::begin(header), std::end(header), expected.begin());
  std::copy(request.begin(), request.begin() + 200, expected.begin() + 8);
  EXPECT_EQ(packets[0], expected);
  EXPECT_EQ(usb.host.Transfers.back().EndpointAddress, 0x02);

  usb.fx3.StallEndpoint(0x02);
  EXPECT_EQ(UsbWrite(usb.bus, request.data(), 200), static_cast<ResultCode>(kUsbdStatusStall));
}

TEST(UsbPacketExchange, ReadResultsInBothModes) {
  FakeUsbInstrument usb;
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  uint8_t reply[100];

  // Control mode: a reply shorter than asked is padded with zeros; no reply
  // at all is a transfer that moved nothing.
  usb.model.ShortRecords = 1;
  usb.model.ShortRecordLength = 20;
  sim::InstructionRequest record{0x09, 0x0C, 0x89};
  ASSERT_EQ(UsbWrite(usb.bus, record.data(), 200), kResultOk);
  std::fill(std::begin(reply), std::end(reply), 0xEE);
  EXPECT_EQ(UsbRead(usb.bus, reply, 100), kResultOk);
  EXPECT_EQ(reply[0], 0x88);
  EXPECT_EQ(reply[19], 0x00);
  EXPECT_EQ(reply[99], 0x00);
  auto last = usb.fx3.ControlRequests().back().Setup;
  EXPECT_EQ(last.RequestType, 0xA0);
  EXPECT_EQ(last.Request, 0x81);
  EXPECT_EQ(last.Value, 100);
  EXPECT_EQ(UsbRead(usb.bus, reply, 100), kResultTransferFailed);

  // Fast mode: unanswered reads time out (-10), stalled ones fail (-1).
  usb.bus.FastTransfer = 1;
  ASSERT_EQ(UsbWrite(usb.bus, record.data(), 200), kResultOk);
  EXPECT_EQ(UsbRead(usb.bus, reply, 100), kResultOk);
  EXPECT_EQ(reply[0], 0x88);
  EXPECT_EQ(UsbRead(usb.bus, reply, 100), kResultUsbReadTimeout);
  EXPECT_EQ(reply[0], 0x00);
  usb.fx3.StallEndpoint(0x82);
  EXPECT_EQ(UsbRead(usb.bus, reply, 100), kResultNoLink);
}

TEST(UsbPacketExchange, ControlModeExchangeCarriesTimeoutAndReplyLength) {
  FakeUsbInstrument usb;
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  sim::InstructionRequest record{0x09, 0x0C, 0x89};
  uint8_t reply[100] = {};
  int32_t length = 100;
  size_t before = usb.host.Transfers.size();
  EXPECT_EQ(UsbExchange(usb.bus, record.data(), 200, reply, length, 70000), kResultOk);
  EXPECT_EQ(length, 100);
  EXPECT_EQ(reply[0], 0x88);
  ASSERT_EQ(usb.host.Transfers.size(), before + 2);
  const auto& write = usb.host.Transfers[before];
  EXPECT_EQ(write.Setup.RequestType, 0x20);
  EXPECT_EQ(write.Setup.Request, 0x02);
  EXPECT_EQ(write.Setup.Value, 70000 & 0xFFFF);
  EXPECT_EQ(write.Setup.Index, 100);
  EXPECT_EQ(write.Setup.Length, 200);
  EXPECT_EQ(write.ControlTimeoutSeconds, 70u);
  const auto& read = usb.host.Transfers[before + 1];
  EXPECT_EQ(read.Setup.RequestType, 0xA0);
  EXPECT_EQ(read.Setup.Request, 0x86);
  EXPECT_EQ(read.Setup.Value, 100);
  EXPECT_EQ(read.Setup.Index, 1);
  EXPECT_EQ(usb.bus.Device->ControlEndpoint->TimeoutMs, 2000u);

  usb.model.ShortRecords = 1;
  EXPECT_EQ(UsbExchange(usb.bus, record.data(), 200, reply, length, 2000), kResultOk);
  EXPECT_EQ(length, 40);
}

TEST(UsbPacketExchange, FastModeExchangeKeepsItsTimeoutOnTheReplyEndpoint) {
  FakeUsbInstrument usb;
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  usb.bus.FastTransfer = 1;
  sim::InstructionRequest record{0x09, 0x0C, 0x89};
  uint8_t reply[100] = {};
  int32_t length = 100;
  usb.model.ShortRecords = 1;  // the reply length is not reported in fast mode
  EXPECT_EQ(UsbExchange(usb.bus, record.data(), 200, reply, length, 3000), kResultOk);
  EXPECT_EQ(length, 100);
  EXPECT_EQ(reply[0], 0x88);
  EXPECT_EQ(usb.bus.Device->CurrentInterface->Endpoints[4]->TimeoutMs, 3000u);
  EXPECT_EQ(UsbSetTimeout(usb.bus, 1000), kResultOk);
  EXPECT_EQ(usb.bus.Device->CurrentInterface->Endpoints[4]->TimeoutMs, 1000u);
  usb.fx3.SilenceReplies(true);
  EXPECT_EQ(UsbExchange(usb.bus, record.data(), 200, reply, length, 3000), kResultUsbReadTimeout);
}

TEST(UsbPacketExchange, ControllerImageGoesOutInPagedBlocks) {
  struct Case {
    int32_t length;
    std::vector<Fx3Instrument::ImageBlock> firstBlocks;
    Fx3Instrument::ImageBlock lastBlock;
  };
  const Case cases[] = {
      {5000, {{0, 0, 2048}, {0, 2048, 2048}}, {0, 4096, 904}},
      {33 * 2048 + 10, {{0, 0, 2048}}, {1, 2048, 10}},
  };
  for (const Case& c : cases) {
    FakeUsbInstrument usb;
    ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
    std::vector<uint8_t> image(c.length);
    std::iota(image.begin(), image.end(), uint8_t{7});
    image[0] = 'C';
    image[1] = 'Y';
    EXPECT_EQ(DownloadControllerImage(*usb.bus.Device, image.data(), c.length), kResultOk);
    auto blocks = usb.fx3.ImageBlocks();
    ASSERT_GE(blocks.size(), c.firstBlocks.size() + 1);
    for (size_t i = 0; i < c.firstBlocks.size(); ++i) {
      EXPECT_EQ(blocks[i].Page, c.firstBlocks[i].Page);
      EXPECT_EQ(blocks[i].Offset, c.firstBlocks[i].Offset);
      EXPECT_EQ(blocks[i].Length, c.firstBlocks[i].Length);
    }
    EXPECT_EQ(blocks.back().Page, c.lastBlock.Page);
    EXPECT_EQ(blocks.back().Offset, c.lastBlock.Offset);
    EXPECT_EQ(blocks.back().Length, c.lastBlock.Length);
    if (blocks.size() > 32) {
      EXPECT_EQ(blocks[32].Page, 1);  // block 33 starts page 1
      EXPECT_EQ(blocks[32].Offset, 0);
    }
    EXPECT_EQ(usb.fx3.Image(), image);
    EXPECT_EQ(usb.fx3.ControlRequests().back().Setup.RequestType, 0x40);
    EXPECT_EQ(usb.fx3.ControlRequests().back().Setup.Request, 0xF0);
  }
}

TEST(UsbPacketExchange, ControllerImageRefusedWithoutSignatureOrWhenABlockIsNotTaken) {
  FakeUsbInstrument usb;
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  std::vector<uint8_t> image(4096, 0);
  image[0] = 'C';
  image[1] = 'X';
  EXPECT_EQ(DownloadControllerImage(*usb.bus.Device, image.data(), 4096),
            kResultControllerImageUnsigned);
  EXPECT_EQ(DownloadControllerImage(*usb.bus.Device, image.data(), 1),
            kResultControllerImageUnsigned);
  EXPECT_TRUE(usb.fx3.ImageBlocks().empty());
  image[1] = 'Y';
  usb.fx3.StallRequest(0xF0);
  EXPECT_EQ(DownloadControllerImage(*usb.bus.Device, image.data(), 4096), kResultTransferFailed);
}

}  // namespace
}  // namespace vesk
