// vesk-fpga-bench: what the updater's link layers cost when a whole FPGA
// image is streamed. The image (19961 data blocks, each one command 23
// exchange: a request, then a flag byte and an 8191-byte reply) goes to the
// instrument simulator on loopback twice per round:
//   - through the Bus and instruction layer (SendDataBlock on an ETH Bus),
//   - by a minimal client doing the same exchanges on a plain blocking
//     socket (the two writes of identifier and payload, then one read of
//     the 8192-byte reply block),
// and the best times and their ratio are printed. Every run's image is
// checked against what the simulator recorded.
//
//   vesk-fpga-bench [--rounds N] [--only bus|plain]
//
// --only runs one side alone, for a profiler or a system-call count.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "bus/bus.h"
#include "bus/instructions.h"
#include "common/byte_order.h"
#include "common/system_platform.h"
#include "net/eth_wire.h"
#include "sim/ethernet_front_end.h"
#include "sim/instrument_model.h"
#include "update/fpga_update.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBlockCount = (vesk::kFpgaImageSize + vesk::kFpgaPacketSize - 1) /
                                 vesk::kFpgaPacketSize;
constexpr int32_t kNetTimeoutMs = 10000;
constexpr uint32_t kEchoLength = 1;  // each data block asks for a one-byte echo
constexpr double kGoalRatio = 1.2;

std::vector<uint8_t> Image() {
  std::vector<uint8_t> image(vesk::kFpgaImageSize);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  return image;
}

uint8_t BlockLength(uint32_t block) {
  return static_cast<uint8_t>(
      std::min(vesk::kFpgaPacketSize, vesk::kFpgaImageSize - vesk::kFpgaPacketSize * block));
}

// Streams the image through the updater's own layers; seconds, or nothing.
std::optional<double> StreamThroughBus(uint16_t port, const std::vector<uint8_t>& image) {
  vesk::SystemPlatform host;
  vesk::Bus bus(host);
  bus.Interface = vesk::BusInterface::ETH;
  const uint8_t loopback[4] = {127, 0, 0, 1};
  std::copy(std::begin(loopback), std::end(loopback), bus.IpAddress.begin());
  bus.Port = port;
  bus.NetTimeoutMs = kNetTimeoutMs;
  if (vesk::OpenBus(bus, 0) != vesk::kResultOk) return std::nullopt;
  const Clock::time_point start = Clock::now();
  for (uint32_t i = 0; i < kBlockCount; ++i) {
    uint8_t echo = 0;
    if (vesk::SendDataBlock(bus, image.data() + vesk::kFpgaPacketSize * i, BlockLength(i),
                            echo) != vesk::kResultOk) {
      vesk::CloseBus(bus);
      return std::nullopt;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  vesk::CloseBus(bus);
  return seconds;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::recv(fd, data, size, 0);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The same exchanges on a plain blocking socket; seconds, or nothing.
std::optional<double> StreamOnPlainSocket(uint16_t port, const std::vector<uint8_t>& image) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return std::nullopt;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int on = 1;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on)) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  uint8_t id[vesk::kEthCommandIdSize];
  vesk::PutLe32(id, static_cast<uint32_t>(vesk::EthCommand::SendDataBlock));
  std::vector<uint8_t> payload(1 + vesk::kFpgaPacketSize + sizeof(uint32_t));
  std::vector<uint8_t> reply(vesk::kEthReplyBlockSize);
  bool ok = true;
  const Clock::time_point start = Clock::now();
  for (uint32_t i = 0; ok && i < kBlockCount; ++i) {
    const uint8_t n = BlockLength(i);
    payload[0] = n;
    std::memcpy(payload.data() + 1, image.data() + vesk::kFpgaPacketSize * i, n);
    vesk::PutLe32(payload.data() + 1 + n, kEchoLength);
    ok = WriteAll(fd, id, sizeof(id)) && WriteAll(fd, payload.data(), 1 + n + sizeof(uint32_t)) &&
         ReadAll(fd, reply.data(), reply.size()) && reply[0] == 0 &&
         vesk::GetLe32(reply.data() + vesk::kEthFlagSize) == 0;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(fd);
  if (!ok) return std::nullopt;
  return seconds;
}

// One streaming run against a fresh simulated instrument; the time, or
// nothing (with the reason printed) when it failed or the image arrived
// altered.
template <typename Stream>
std::optional<double> Measure(const char* what, Stream stream, const std::vector<uint8_t>& image) {
  vesk::sim::InstrumentModel model;
  vesk::sim::EthernetInstrument instrument(model);
  std::string why;
  if (!instrument.Start("127.0.0.1", 0, &why)) {
    std::cerr << "cannot start the simulator: " << why << "\n";
    return std::nullopt;
  }
  std::optional<double> seconds = stream(instrument.Port(), image);
  instrument.Stop();
  if (!seconds) {
    std::cerr << what << ": the stream failed\n";
  } else if (model.FpgaImage() != image) {
    std::cerr << what << ": the simulator received a different image\n";
    seconds.reset();
  }
  return seconds;
}

void PrintTime(const char* what, double seconds) {
  std::printf("%-28s %7.3f s  %6.1f us per block\n", what, seconds,
              seconds * 1e6 / kBlockCount);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  std::string only;
  bool usage = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) {
      usage = true;
    } else if (option == "--rounds") {
      rounds = std::atoi(argv[++i]);
    } else if (option == "--only") {
      only = argv[++i];
    } else {
      usage = true;
    }
  }
  if (usage || rounds < 1 || (only != "" && only != "bus" && only != "plain")) {
    std::cerr << "usage: vesk-fpga-bench [--rounds N] [--only bus|plain]\n";
    return 2;
  }
  const std::vector<uint8_t> image = Image();
  std::printf("FPGA image: %u bytes in %u blocks (command 23), simulator on 127.0.0.1\n",
              vesk::kFpgaImageSize, kBlockCount);
  double bestBus = 0;
  double bestPlain = 0;
  for (int round = 1; round <= rounds; ++round) {
    std::optional<double> bus = 0.0;
    std::optional<double> plain = 0.0;
    if (only != "plain") bus = Measure("Bus", StreamThroughBus, image);
    if (only != "bus") plain = Measure("plain socket", StreamOnPlainSocket, image);
    if (!bus || !plain) return 1;
    std::printf("round %d: Bus %.3f s, plain socket %.3f s\n", round, *bus, *plain);
    bestBus = round == 1 ? *bus : std::min(bestBus, *bus);
    bestPlain = round == 1 ? *plain : std::min(bestPlain, *plain);
  }
  if (only != "") return 0;
  PrintTime("Bus/instruction layer:", bestBus);
  PrintTime("Plain blocking socket:", bestPlain);
  const double ratio = bestBus / bestPlain;
  std::printf("Ratio (best of %d): %.2f (goal <= %.1f): %s\n", rounds, ratio, kGoalRatio,
              ratio <= kGoalRatio ? "met" : "NOT met");
  return 0;
}
