#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bus/bus.h"
#include "bus/ethernet_commands.h"
#include "bus/instructions.h"
#include "net/instrument_on_loopback.h"
#include "support/recording_platform.h"

namespace vesk {
namespace {

using Bytes = std::vector<uint8_t>;
using Operation = std::function<ResultCode(Bus&)>;

constexpr int32_t kTimeoutMs = 2000;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

RxBody MarkedBody() {
  RxBody body{};
  body[0] = 0x11;
  body[183] = 0x22;
  return body;
}

const uint8_t kData[] = {0xA1, 0xA2, 0xA3};

// Every Ethernet operation, the command it sends and whether the instruction
// layer folds the instrument's other status words into -8.
struct Row {
  const char* name;
  Operation run;
  int32_t id;
  Bytes payload;
  bool passThroughRule;
};

std::vector<Row> Rows() {
  Bytes markedBody(184, 0);
  markedBody[0] = 0x11;
  markedBody[183] = 0x22;
  return {
      {"ReadStatusByte", [](Bus& b) { uint8_t s; return ReadStatusByte(b, s); }, 21,
       {0x01, 0, 0, 0}, false},
      {"SendDataBlock", [](Bus& b) { uint8_t e; return SendDataBlock(b, kData, 3, e); }, 23,
       {0x03, 0xA1, 0xA2, 0xA3, 0x01, 0, 0, 0}, true},
      {"SendRxInstruction",
       [](Bus& b) { return SendRxInstruction(b, 0xF7, 0x0102, MarkedBody()); }, 4,
       Concat({{0xF7, 0x02, 0x01}, markedBody}), true},
      {"ReadDeviceInfo", [](Bus& b) { DeviceInfo i; return ReadDeviceInfo(b, i); }, 5, {}, true},
      {"ApplyReplyTimeout",
       [](Bus& b) {
         b.ReplyTimeoutMs = 0x01020304;
         return ApplyReplyTimeout(b);
       },
       11, {0x04, 0x03, 0x02, 0x01}, false},
      {"EnterIapMode", [](Bus& b) { return EnterIapMode(b); }, 24, {0x0C, 0x31}, false},
      {"WriteFlashBlock", [](Bus& b) { return WriteFlashBlock(b, kData, 255, 2); }, 26,
       {0xFF, 0x02, 0xA1, 0xA2}, false},
      {"EthFlashErase", [](Bus& b) { return EthFlashErase(b, kData, 3); }, 25,
       {0x03, 0, 0, 0, 0xA1, 0xA2, 0xA3}, false},
      {"EthFlashFinish", [](Bus& b) { return EthFlashFinish(b); }, 27, {0x33}, false},
      {"EthRestartIntoIap", [](Bus& b) { return EthRestartIntoIap(b, 7); }, 28,
       Concat({{0x07, 0, 0, 0}, Bytes(184, 0)}), false},
      {"EthFpgaStart", [](Bus& b) { return EthFpgaStart(b); }, 22,
       {0xFF, 0x01, 0x01, 0x01, 0, 0, 0}, false},
      {"EthFpgaEnd", [](Bus& b) { return EthFpgaEnd(b); }, 20, {0xFF, 0x01, 0x05}, false},
      {"EthGnssProbe", [](Bus& b) { return EthGnssProbe(b); }, 29, {0x24}, false},
      {"EthGnssPacket", [](Bus& b) { return EthGnssPacket(b, 2, 3, kData); }, 30,
       {0x02, 0x03, 0xA1, 0xA2, 0xA3}, false},
      {"EthReadControllerVersion",
       [](Bus& b) { uint32_t v; return EthReadControllerVersion(b, v); }, 3, {}, false},
  };
}

class EthInstructions : public testing::Test {
 protected:
  void Open(const sim::InstrumentOptions& options = {}) {
    model.SetOptions(options);
    ASSERT_TRUE(instrument.Start("127.0.0.1", 0));
    test::AimAtLoopback(bus, instrument.Port(), kTimeoutMs);
    ASSERT_EQ(OpenBus(bus, 0), kResultOk);
  }

  test::RecordingPlatform platform;
  Bus bus{platform};
  sim::InstrumentModel model;
  sim::EthernetInstrument instrument{model};
};

TEST_F(EthInstructions, EachOperationSendsItsCommandAndPayloadBytes) {
  Open();
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.run(bus), kResultOk);
    auto commands = model.Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back().Id, row.id);
    EXPECT_EQ(commands.back().Payload, row.payload);
  }
}

TEST_F(EthInstructions, StatusWordsAreFoldedOnlyWhereThePassThroughRuleApplies) {
  struct Status {
    int32_t instrument;
    ResultCode folded;
  };
  const Status statuses[] = {{5, kResultTransferFailed},
                             {-21, kResultTransferFailed},
                             {10054, kResultEthConnectFailed},
                             {10060, kResultEthReplyTimeout},
                             {10062, kResultEthLinkLoop}};
  sim::InstrumentOptions options;
  Open(options);
  for (const Row& row : Rows()) {
    for (const Status& s : statuses) {
      SCOPED_TRACE(std::string(row.name) + " status " + std::to_string(s.instrument));
      options.Faults[row.id].Status = s.instrument;
      model.SetOptions(options);
      EXPECT_EQ(row.run(bus), row.passThroughRule ? s.folded : s.instrument);
    }
    options.Faults.erase(row.id);
  }
}

TEST_F(EthInstructions, ReplyPayloadsReachTheCaller) {
  sim::InstrumentOptions options;
  options.Ident = {0x0102030405060708, 0x3344, 0x5566, 0x00373D, 0x003716, 0xCAFEBABE, 0x004EEB};
  options.StatusByte = 0x42;
  options.Faults[5].Status = 9;  // the record is read whatever the status says
  Open(options);

  DeviceInfo info;
  EXPECT_EQ(ReadDeviceInfo(bus, info), kResultTransferFailed);
  EXPECT_EQ(info.Uid, 0x0102030405060708u);
  EXPECT_EQ(info.ModelCode, 0x3344);
  EXPECT_EQ(info.HardwareCode, 0x5566);
  EXPECT_EQ(info.McuVersion, 0x00373Du);
  EXPECT_EQ(info.FpgaVersion, 0x003716u);
  EXPECT_EQ(info.Reserved, 0xCAFEBABEu);

  uint8_t status = 0;
  EXPECT_EQ(ReadStatusByte(bus, status), kResultOk);
  EXPECT_EQ(status, 0x42);
  uint8_t echo = 0;
  EXPECT_EQ(SendDataBlock(bus, kData, 3, echo), kResultOk);
  EXPECT_EQ(echo, 3);
  uint32_t version = 0;
  EXPECT_EQ(EthReadControllerVersion(bus, version), kResultOk);
  EXPECT_EQ(version, 0x004EEBu);
}

TEST_F(EthInstructions, TransportTimeoutPassesThroughEveryForm) {
  sim::InstrumentOptions options;
  for (const Row& row : Rows()) options.Faults[row.id].Silent = true;
  Open(options);
  bus.NetTimeoutMs = 50;
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.run(bus), kResultEthReplyTimeout);
  }
}

TEST(EthInstructionsUnopened, CommandsOnABusNeverOpenedFailWithoutCrashing) {
  test::RecordingPlatform platform;
  Bus bus(platform);
  bus.Interface = BusInterface::ETH;
  bus.NetTimeoutMs = 50;
  DeviceInfo info;
  EXPECT_EQ(ReadDeviceInfo(bus, info), kResultEthReplyTimeout);
  EXPECT_NE(CloseBus(bus), kResultOk);
}

}  // namespace
}  // namespace vesk
