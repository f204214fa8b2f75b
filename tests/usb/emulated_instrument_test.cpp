#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

#include "bus/instructions.h"
#include "bus/usb_packet_exchange.h"
#include "support/recording_platform.h"
#include "sim/fx3_instrument.h"
#include "usb/instruction_responder.h"
#include "usb/libusb_host.h"
#include "sim/umockdev_testbed.h"
#include "usb/usb_device.h"

// The umockdev preload library comes before the sanitizer runtime, and glib
// keeps its type system alive until exit.
extern "C" const char* __asan_default_options() {
  return "verify_asan_link_order=0:detect_leaks=0";
}

namespace vesk {
namespace {

using sim::Fx3Instrument;
using sim::Fx3Options;
using test::MinimalInstrument;
using sim::UmockdevTestbed;

// One FX3 instrument behind an emulated usbfs, reached through the real
// libusb host.
struct EmulatedInstrument {
  explicit EmulatedInstrument(Fx3Options options = {})
      : fx3(model, options), testbed(fx3, fx3.DeviceDescriptor(), fx3.ConfigurationDescriptor()) {}
  MinimalInstrument model;
  Fx3Instrument fx3;
  UmockdevTestbed testbed;
  LibusbHost host;
  ScopedUsbHost scope{host};
  test::RecordingPlatform platform;
  Bus bus{platform};
};

class EmulatedUsb : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UmockdevTestbed::Available()) GTEST_SKIP() << "needs LD_PRELOAD=libumockdev-preload.so.0";
  }
};

double MicrosecondsPerExchange(Bus& bus, int rounds) {
  sim::InstructionRequest request{0x09, 0x0C, 0x89};
  uint8_t reply[100];
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    int32_t length = 100;
    EXPECT_EQ(UsbExchange(bus, request.data(), 200, reply, length, 2000), kResultOk);
  }
  auto elapsed = std::chrono::steady_clock::now() - start;
  return std::chrono::duration<double, std::micro>(elapsed).count() / rounds;
}

TEST_F(EmulatedUsb, InstrumentOpensAndAnswersInBothModesThroughLibusb) {
  EmulatedInstrument usb;
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  CCyDevice& device = *usb.bus.Device;
  EXPECT_EQ(device.VendorId, 0x04B4);
  EXPECT_EQ(device.ProductId, 0x00F0);
  EXPECT_EQ(device.DevicePath, "/dev/bus/usb/001/004");
  EXPECT_EQ(device.EndpointCount(), 5);
  EXPECT_EQ(usb.bus.ControllerVersion, 0x373Du);

  DeviceInfo info;
  ASSERT_EQ(ReadDeviceInfo(usb.bus, info), kResultOk);  // control-request mode
  EXPECT_EQ(info.Uid, usb.model.Uid);
  EXPECT_EQ(usb.bus.FastTransfer, 1);
  double control = 0;
  {
    usb.bus.FastTransfer = 0;
    control = MicrosecondsPerExchange(usb.bus, 20);
    usb.bus.FastTransfer = 1;
  }
  info = DeviceInfo{};
  ASSERT_EQ(ReadDeviceInfo(usb.bus, info), kResultOk);  // fast mode, over the bulk pair
  EXPECT_EQ(info.ModelCode, usb.model.ModelCode);
  double fast = MicrosecondsPerExchange(usb.bus, 20);
  std::cout << "emulated round trip: control-request mode " << control << " us, fast mode "
            << fast << " us\n";
  EXPECT_EQ(CloseBus(usb.bus), kResultOk);
}

TEST_F(EmulatedUsb, UnansweredFastReadIsCancelledAfterItsTimeout) {
  EmulatedInstrument usb;
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  usb.bus.FastTransfer = 1;
  usb.fx3.SilenceReplies(true);
  ASSERT_EQ(UsbSetTimeout(usb.bus, 300), kResultOk);
  uint8_t reply[100];
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(UsbRead(usb.bus, reply, 100), kResultUsbReadTimeout);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(300));
  EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
  EXPECT_EQ(usb.bus.Device->CurrentInterface->Endpoints[4]->NtStatus, kNtStatusCancelled);
}

TEST_F(EmulatedUsb, SuperSpeedInstrumentGetsBurstSizedPackets) {
  Fx3Options options;
  options.SuperSpeed = true;
  EmulatedInstrument usb(options);
  ASSERT_EQ(OpenBus(usb.bus, 0), kResultOk);
  EXPECT_EQ(usb.bus.Device->BcdUsb, 0x0300);
  EXPECT_EQ(usb.bus.Device->CurrentInterface->Endpoints[3]->MaxPacketSize, 16384u);
  std::vector<uint8_t> image(5000, 0x11);
  image[0] = 'C';
  image[1] = 'Y';
  EXPECT_EQ(DownloadControllerImage(*usb.bus.Device, image.data(), 5000), kResultOk);
  EXPECT_EQ(usb.fx3.Image(), image);
}

}  // namespace
}  // namespace vesk
