#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "bus/bus.h"
#include "bus/ethernet_commands.h"
#include "bus/instructions.h"
#include "net/instrument_on_loopback.h"
#include "support/recording_platform.h"

namespace vesk {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A deadline short enough to keep the tests quick, long enough for loopback.
constexpr int32_t kShortTimeoutMs = 300;
constexpr int32_t kNormalTimeoutMs = 2000;

class EthernetTransport : public testing::Test {
 protected:
  void StartInstrument(const sim::InstrumentOptions& options = {}) {
    model.SetOptions(options);
    ASSERT_TRUE(instrument.Start("127.0.0.1", 0));
    test::AimAtLoopback(bus, instrument.Port(), kNormalTimeoutMs);
  }

  test::RecordingPlatform platform;
  Bus bus{platform};
  sim::InstrumentModel model;
  sim::EthernetInstrument instrument{model};
};

// A port on which nothing listens: bound once, then released.
uint16_t ClosedLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

TEST_F(EthernetTransport, OpenConnectsAndHandshakesWithCommandOneWithoutPayload) {
  StartInstrument();
  ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  auto commands = model.Commands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].Id, 1);
  EXPECT_TRUE(commands[0].Payload.empty());
  EXPECT_EQ(model.Connections(), 1);
}

TEST_F(EthernetTransport, HandshakeStatusDecidesTheOpenResult) {
  struct Case {
    int32_t status;
    ResultCode open;
  };
  for (Case c : {Case{0, kResultOk}, Case{10062, kResultEthLinkLoop}, Case{10060, 10060},
                 Case{-21, kResultNoLink}, Case{5, kResultNoLink}}) {
    sim::InstrumentModel model;
    sim::InstrumentOptions options;
    options.Faults[1].Status = c.status;
    model.SetOptions(options);
    sim::EthernetInstrument instrument(model);
    ASSERT_TRUE(instrument.Start("127.0.0.1", 0));
    test::RecordingPlatform platform;
    Bus bus(platform);
    test::AimAtLoopback(bus, instrument.Port(), kNormalTimeoutMs);
    EXPECT_EQ(OpenBus(bus, 0), c.open) << "handshake status " << c.status;
  }
}

TEST_F(EthernetTransport, DataFramesBeforeAReplyAreDroppedAndTheReplyIsRead) {
  sim::InstrumentOptions options;
  options.FramesBeforeReply = 2;
  options.Ident.Uid = 0x1122334455667788;
  options.Ident.McuVersion = 0x00373D;
  StartInstrument(options);
  ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  DeviceInfo info;
  ASSERT_EQ(ReadDeviceInfo(bus, info), kResultOk);
  EXPECT_EQ(info.Uid, 0x1122334455667788u);
  EXPECT_EQ(info.McuVersion, 0x00373Du);
  // The next exchange is still in step with the instrument.
  uint8_t status = 0;
  EXPECT_EQ(ReadStatusByte(bus, status), kResultOk);
  EXPECT_EQ(status, 0x55);
  EXPECT_TRUE(bus.Ethernet->FrameQueue.empty());
}

TEST_F(EthernetTransport, MissingOrShortReplyTimesOutAfterTheDeadlineAndTheLinkStaysUsable) {
  struct Case {
    const char* name;
    sim::CommandFault fault;
  };
  sim::CommandFault silent;
  silent.Silent = true;
  sim::CommandFault shortReply;
  shortReply.ShortReply = 100;
  sim::CommandFault flagOnly;
  flagOnly.ShortReply = 1;
  for (const Case& c : {Case{"silent", silent}, Case{"100 bytes", shortReply},
                        Case{"flag byte only", flagOnly}}) {
    SCOPED_TRACE(c.name);
    sim::InstrumentModel model;
    sim::InstrumentOptions options;
    options.Faults[21] = c.fault;
    model.SetOptions(options);
    sim::EthernetInstrument instrument(model);
    ASSERT_TRUE(instrument.Start("127.0.0.1", 0));
    test::RecordingPlatform platform;
    Bus bus(platform);
    test::AimAtLoopback(bus, instrument.Port(), kShortTimeoutMs);
    ASSERT_EQ(OpenBus(bus, 0), kResultOk);

    uint8_t status = 0;
    auto start = Clock::now();
    EXPECT_EQ(ReadStatusByte(bus, status), kResultEthReplyTimeout);
    auto waited = Clock::now() - start;
    EXPECT_GE(waited, milliseconds(kShortTimeoutMs));
    EXPECT_LT(waited, milliseconds(kShortTimeoutMs * 4));
    EXPECT_EQ(bus.Ethernet->Receiving, c.fault.ShortReply ? 1u : 0u);

    // Only the read was abandoned: the same connection answers the next command.
    DeviceInfo info;
    EXPECT_EQ(ReadDeviceInfo(bus, info), kResultOk);
    EXPECT_EQ(info.Uid, sim::Identity{}.Uid);
    EXPECT_EQ(model.Connections(), 1);
  }
}

TEST_F(EthernetTransport, ConnectToAClosedPortFailsWith10054AndCloseReportsTheRefusal) {
  test::AimAtLoopback(bus, ClosedLoopbackPort(), kNormalTimeoutMs);
  auto start = Clock::now();
  EXPECT_EQ(OpenBus(bus, 0), kResultEthConnectFailed);
  EXPECT_LT(Clock::now() - start, milliseconds(kNormalTimeoutMs));  // refusals are immediate
  // Closing returns the last attempt's socket error and sends nothing.
  EXPECT_EQ(CloseBus(bus), 10061);
  EXPECT_EQ(CloseBus(bus), 10061);
}

TEST_F(EthernetTransport, CloseSendsCommandTwoReturnsItsStatusAndEndsTheConnection) {
  for (int32_t status : {0, 7}) {
    sim::InstrumentModel model;
    sim::InstrumentOptions options;
    options.Faults[2].Status = status;
    model.SetOptions(options);
    sim::EthernetInstrument instrument(model);
    ASSERT_TRUE(instrument.Start("127.0.0.1", 0));
    test::RecordingPlatform platform;
    Bus bus(platform);
    test::AimAtLoopback(bus, instrument.Port(), kNormalTimeoutMs);
    ASSERT_EQ(OpenBus(bus, 0), kResultOk);
    EXPECT_EQ(CloseBus(bus), status);
    EXPECT_EQ(model.CommandIds(), (std::vector<int32_t>{1, 2}));
    EXPECT_FALSE(bus.Ethernet->IsOpen());
    EXPECT_TRUE(test::Eventually([&] { return model.OpenConnections() == 0; }));
  }
}

TEST_F(EthernetTransport, CloseWithAPendingSocketErrorReturnsItWithoutSendingAnything) {
  sim::InstrumentOptions options;
  options.Faults[21].Silent = true;
  StartInstrument(options);
  bus.NetTimeoutMs = kShortTimeoutMs;
  ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  uint8_t status = 0;
  ASSERT_EQ(ReadStatusByte(bus, status), kResultEthReplyTimeout);
  const int32_t pending = bus.Ethernet->NetError;
  EXPECT_EQ(pending, 995);  // the abandoned read
  EXPECT_EQ(CloseBus(bus), pending);
  EXPECT_EQ(model.CommandIds(), (std::vector<int32_t>{1, 21}));
  EXPECT_TRUE(bus.Ethernet->IsOpen());  // left as it was
}

TEST_F(EthernetTransport, ConnectionDroppedByTheInstrumentFailsTheWaitAtOnce) {
  sim::InstrumentOptions options;
  options.CloseAfterCommands = 1;  // only the handshake is answered
  StartInstrument(options);
  ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  DeviceInfo info;
  auto start = Clock::now();
  EXPECT_EQ(ReadDeviceInfo(bus, info), kResultEthReplyTimeout);
  // A second command on the ended connection fails as quickly.
  EXPECT_EQ(ReadDeviceInfo(bus, info), kResultEthReplyTimeout);
  EXPECT_LT(Clock::now() - start, milliseconds(kNormalTimeoutMs));
  EXPECT_NE(CloseBus(bus), kResultOk);
}

TEST_F(EthernetTransport, ReopeningReplacesTheConnection) {
  StartInstrument();
  ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  ASSERT_EQ(CloseBus(bus), kResultOk);
  ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  ASSERT_EQ(OpenBus(bus, 0), kResultOk);  // without closing: the old socket is released
  EXPECT_EQ(model.Connections(), 3);
  EXPECT_TRUE(test::Eventually([&] { return model.OpenConnections() == 1; }));
  EXPECT_EQ(CloseBus(bus), kResultOk);
}

TEST_F(EthernetTransport, InstrumentRestartingIntoIapRefusesConnectionsForAWhile) {
  sim::InstrumentOptions options;
  options.RefuseAfterRestart = milliseconds(1500);
  StartInstrument(options);
  ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  ASSERT_EQ(EthRestartIntoIap(bus, 0), kResultOk);
  // The connection in use stays up; new ones are refused until it is back.
  DeviceInfo info;
  EXPECT_EQ(ReadDeviceInfo(bus, info), kResultOk);
  Bus other(platform);
  test::AimAtLoopback(other, instrument.Port(), kShortTimeoutMs);
  EXPECT_EQ(OpenBus(other, 0), kResultEthConnectFailed);
  EXPECT_TRUE(test::Eventually([&] {
    std::this_thread::sleep_for(milliseconds(20));
    return OpenBus(other, 0) == kResultOk;
  }));
}

TEST_F(EthernetTransport, ManySequentialCommandsEachGetTheirOwnReply) {
  StartInstrument();
  ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  constexpr int kBlocks = 2000;
  auto start = Clock::now();
  for (int i = 0; i < kBlocks; ++i) {
    const uint8_t data[2] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)};
    ASSERT_EQ(WriteFlashBlock(bus, data, static_cast<uint8_t>(i + 1), 2), kResultOk);
  }
  auto perCommand = std::chrono::duration<double, std::micro>(Clock::now() - start) / kBlocks;
  std::cout << "one command round trip on loopback: " << perCommand.count() << " us\n";
  auto downloads = model.FlashDownloads();
  ASSERT_EQ(downloads.size(), 1u);
  ASSERT_EQ(downloads[0].Blocks.size(), static_cast<size_t>(kBlocks));
  for (int i = 0; i < kBlocks; ++i) {
    EXPECT_EQ(downloads[0].Blocks[i].Sequence, static_cast<uint8_t>(i + 1));
    EXPECT_EQ(downloads[0].Blocks[i].Data,
              (std::vector<uint8_t>{static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)}));
  }
  EXPECT_EQ(CloseBus(bus), kResultOk);
}

}  // namespace
}  // namespace vesk
