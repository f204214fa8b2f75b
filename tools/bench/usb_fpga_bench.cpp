// vesk-usb-fpga-bench: what the updater's USB layers cost when FPGA data
// blocks are streamed to the emulated USB instrument (umockdev, in this
// process). In control-request mode each block is the 0xFE packet and the
// 0xFF end packet, each two 100-byte class requests, then a one-byte echo
// read: five control transfers. The same blocks go out
//   - through the Bus and instruction layer (SendDataBlock on a USB Bus),
//   - by a bare libusb loop doing the same five control transfers,
// in the same run against the same emulated device, and both times and
// their ratio are printed. The image the instrument recorded is checked
// after each side.
//
//   LD_PRELOAD=libumockdev-preload.so.0 vesk-usb-fpga-bench [--blocks N]
//
// N defaults to 2000 blocks (a whole image is 19961; each emulated transfer
// costs about a millisecond and a half, so a whole image takes minutes).

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "bus/bus.h"
#include "bus/instructions.h"
#include "bus/request_packet.h"
#include "common/system_platform.h"
#include "sim/instrument_model.h"
#include "sim/umockdev_testbed.h"
#include "sim/usb_front_end.h"
#include "update/fpga_update.h"
#include "usb/libusb_host.h"

namespace {

using Clock = std::chrono::steady_clock;

// Wall time and the process's processor time (the emulation's thread
// included, the same for both sides) of one side.
struct Cost {
  double Wall = 0;
  double Cpu = 0;
};

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

constexpr uint16_t kVendor = 0x04B4;
constexpr uint16_t kProduct = 0x00F0;
constexpr uint8_t kClassOut = 0x20;
constexpr uint8_t kClassIn = 0xA0;
constexpr uint8_t kWriteRequest = 0x01;
constexpr uint8_t kReadRequest = 0x81;
constexpr uint16_t kControlChunk = 100;
constexpr unsigned kTimeoutMs = 2000;

std::vector<uint8_t> Image(uint32_t blocks) {
  std::vector<uint8_t> image(static_cast<size_t>(blocks) * vesk::kFpgaPacketSize);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  return image;
}

Cost StreamThroughBus(const std::vector<uint8_t>& image, uint32_t blocks) {
  vesk::SystemPlatform platform;
  vesk::Bus bus(platform);
  bus.Interface = vesk::BusInterface::USB;
  if (vesk::OpenBus(bus, 0) != vesk::kResultOk) {
    std::cerr << "the emulated instrument does not open\n";
    std::exit(1);
  }
  auto start = Clock::now();
  const double cpuStart = CpuSeconds();
  for (uint32_t i = 0; i < blocks; ++i) {
    uint8_t echo = 0;
    if (vesk::SendDataBlock(bus, image.data() + vesk::kFpgaPacketSize * i,
                            static_cast<uint8_t>(vesk::kFpgaPacketSize), echo) != vesk::kResultOk) {
      std::cerr << "block " << i << " failed\n";
      std::exit(1);
    }
  }
  Cost cost{std::chrono::duration<double>(Clock::now() - start).count(), CpuSeconds() - cpuStart};
  vesk::CloseBus(bus);
  return cost;
}

Cost StreamBare(const std::vector<uint8_t>& image, uint32_t blocks) {
  libusb_context* context = nullptr;
  if (libusb_init(&context) != 0) std::exit(1);
  libusb_device_handle* handle = libusb_open_device_with_vid_pid(context, kVendor, kProduct);
  if (handle == nullptr || libusb_claim_interface(handle, 0) != 0) {
    std::cerr << "bare libusb cannot open the emulated instrument\n";
    std::exit(1);
  }
  auto start = Clock::now();
  const double cpuStart = CpuSeconds();
  for (uint32_t i = 0; i < blocks; ++i) {
    const uint8_t n = static_cast<uint8_t>(vesk::kFpgaPacketSize);
    for (const vesk::RequestPacket& packet :
         {vesk::DataBlockPacket(image.data() + vesk::kFpgaPacketSize * i, n),
          vesk::DataControlPacket(n)}) {
      for (size_t at = 0; at < packet.size(); at += kControlChunk) {
        libusb_control_transfer(handle, kClassOut, kWriteRequest, 0, 0,
                                const_cast<uint8_t*>(packet.data() + at), kControlChunk,
                                kTimeoutMs);
      }
    }
    uint8_t echo = 0;
    libusb_control_transfer(handle, kClassIn, kReadRequest, 1, 0, &echo, 1, kTimeoutMs);
  }
  Cost cost{std::chrono::duration<double>(Clock::now() - start).count(), CpuSeconds() - cpuStart};
  libusb_release_interface(handle, 0);
  libusb_close(handle);
  libusb_exit(context);
  return cost;
}

bool Check(vesk::sim::InstrumentModel& model, const std::vector<uint8_t>& image, size_t before) {
  std::vector<uint8_t> recorded = model.FpgaImage();
  return recorded.size() == before + image.size() &&
         std::equal(image.begin(), image.end(), recorded.begin() + static_cast<std::ptrdiff_t>(before));
}

}  // namespace

// The umockdev preload library comes before the sanitizer runtime.
extern "C" const char* __asan_default_options() {
  return "verify_asan_link_order=0:detect_leaks=0";
}

int main(int argc, char** argv) {
  uint32_t blocks = 2000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::string(argv[i]) == "--blocks") blocks = static_cast<uint32_t>(std::atoi(argv[i + 1]));
  }
  if (!vesk::sim::UmockdevTestbed::Available()) {
    std::cerr << "run with LD_PRELOAD=libumockdev-preload.so.0\n";
    return 2;
  }
  const std::vector<uint8_t> image = Image(blocks);
  vesk::sim::InstrumentModel model;
  vesk::sim::UsbInstrument instrument(model);
  vesk::sim::Fx3Instrument& fx3 = instrument.Controller();
  vesk::sim::UmockdevTestbed testbed(fx3, fx3.DeviceDescriptor(), fx3.ConfigurationDescriptor());
  vesk::LibusbHost host;
  vesk::ScopedUsbHost scope(host);

  const Cost bus = StreamThroughBus(image, blocks);
  const bool busOk = Check(model, image, 0);
  const Cost bare = StreamBare(image, blocks);
  const bool bareOk = Check(model, image, image.size());
  const double transfers = blocks * 5.0;
  std::cout << blocks << " FPGA blocks in control requests (" << transfers << " transfers)\n"
            << "  Bus and instruction layer: " << bus.Wall << " s wall, " << bus.Cpu << " s cpu, "
            << bus.Wall / transfers * 1e6 << " us per transfer"
            << (busOk ? "" : "  IMAGE MISMATCH") << "\n"
            << "  bare libusb loop:          " << bare.Wall << " s wall, " << bare.Cpu
            << " s cpu, " << bare.Wall / transfers * 1e6 << " us per transfer"
            << (bareOk ? "" : "  IMAGE MISMATCH") << "\n"
            << "  ratio (Bus / bare): wall " << bus.Wall / bare.Wall << ", cpu " << bus.Cpu / bare.Cpu
            << "\n"
            << "  a whole image (19961 blocks) through the Bus: about "
            << bus.Wall / blocks * 19961 << " s\n";
  return busOk && bareOk ? 0 : 1;
}
