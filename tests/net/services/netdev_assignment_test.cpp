// The address exchange with a peer instrument behind a veth pair inside the
// test's private network namespace.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "net/services/address_assignment.h"
#include "netdev_peer_fixture.h"
#include "vesk/netdev.h"

namespace vesk {
namespace {

using namespace std::chrono_literals;
using test::kHostAddress;

// A tenth of the instrument's waits: 100 ms per answer, 200 ms second phase
// (600 ms for the instrument's report).
constexpr AssignmentTiming kShortWaits{100ms, 200ms};
constexpr DiscoveryTiming kShortWindow{400ms};
constexpr int32_t kFirstWord = 0x0A07A8C0;
constexpr int32_t kSecondWord = -256;
constexpr int kNeverAnswer = 1000;

// The peer hears the host's last sends a moment after the call returns.
std::vector<uint8_t> SettledTypes(const NetdevPeer& peer, size_t expectedCount) {
  auto deadline = std::chrono::steady_clock::now() + 1s;
  while (peer.ReceivedTypes().size() < expectedCount &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(50ms);  // anything beyond the expected count shows as well
  return peer.ReceivedTypes();
}

class NetdevAssignment : public test::PeerNetworkTest {
 protected:
  ResultCode Assign(const NetdevPeerOptions& options, const std::vector<std::string>& addresses,
                    const AssignmentTiming& timing = kShortWaits) {
    return SetNetworkDeviceIp(Addresses(addresses), timing, options.idLow, options.idHigh,
                              kFirstWord, kSecondWord);
  }
};

TEST_F(NetdevAssignment, FullExchangeReportsTheInstrumentsStatus) {
  struct Case {
    int8_t status;
    bool unicast;
    size_t extraPayload;
    ResultCode result;
  };
  const Case cases[] = {
      {0, false, 0, 0},
      {0, true, 0, 0},
      {5, false, 0, 10068},
      {5, true, 16, 10068},  // settings with 16 bytes behind them
      {-1, true, 0, 10071},  // 0xFF
      {1, false, 0, VESK_NETDEV_NO_ANSWER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "status " << int{c.status} << (c.unicast ? " unicast" : " broadcast")
                 << " extra " << c.extraPayload);
    NetdevPeerOptions options;
    options.finalStatus = c.status;
    options.unicastAnswers = c.unicast;
    options.extraPayloadBytes = c.extraPayload;
    auto peer = Peer(options);
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(Assign(options, {kHostAddress}), c.result);
    EXPECT_EQ(SettledTypes(*peer, 6), (std::vector<uint8_t>{1, 5, 3, 7, 7, 7}));
    EXPECT_EQ(peer->AppliedWords(), std::make_pair(kFirstWord, kSecondWord));
  }
}

TEST_F(NetdevAssignment, BothFirstPhaseRequestsShareThreeResends) {
  NetdevPeerOptions options;
  options.ignoredSettingsRequests = 2;
  options.ignoredConfirmRequests = kNeverAnswer;
  auto peer = Peer(options);
  ASSERT_NE(peer, nullptr);
  EXPECT_EQ(Assign(options, {kHostAddress}), VESK_NETDEV_NO_ANSWER);
  EXPECT_EQ(SettledTypes(*peer, 5), (std::vector<uint8_t>{1, 1, 1, 5, 5}));
}

TEST_F(NetdevAssignment, SilentNetworkGetsFourSettingsRequestsPerHostAddress) {
  NetdevPeerOptions options;
  options.silent = true;
  auto peer = Peer(options);
  ASSERT_NE(peer, nullptr);
  auto start = std::chrono::steady_clock::now();
  // The loopback's 192.168.1.100 is tried as well; the peer hears only the
  // veth address's requests.
  EXPECT_EQ(Assign(options, {kHostAddress, "192.168.1.100"}), VESK_NETDEV_NO_ANSWER);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(SettledTypes(*peer, 4), (std::vector<uint8_t>{1, 1, 1, 1}));
  EXPECT_GE(elapsed, 2 * 4 * kShortWaits.answerWait);
}

TEST_F(NetdevAssignment, SilentNetworkWithTheInstrumentsOwnWaitsTakesFourSeconds) {
  NetdevPeerOptions options;
  options.silent = true;
  auto peer = Peer(options);
  ASSERT_NE(peer, nullptr);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Assign(options, {kHostAddress}, AssignmentTiming{}), VESK_NETDEV_NO_ANSWER);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 4000ms);
  EXPECT_LT(elapsed, 5500ms);
  EXPECT_EQ(SettledTypes(*peer, 4), (std::vector<uint8_t>{1, 1, 1, 1}));
}

TEST_F(NetdevAssignment, InstrumentThatNeverReportsItsSettingsFailsTheSecondPhase) {
  NetdevPeerOptions options;
  options.reportDelay = 3 * kSettingsReportWaitFactor * kShortWaits.secondPhaseWait;
  auto peer = Peer(options);
  ASSERT_NE(peer, nullptr);
  EXPECT_EQ(Assign(options, {kHostAddress}), VESK_NETDEV_CONFIRMATION_FAILED);
  EXPECT_EQ(SettledTypes(*peer, 2), (std::vector<uint8_t>{1, 5}));
}

TEST_F(NetdevAssignment, AnswersCarryingAnotherIdentifierAreIgnored) {
  NetdevPeerOptions options;
  options.answerIdLow = options.idLow + 1;
  auto peer = Peer(options);
  ASSERT_NE(peer, nullptr);
  EXPECT_EQ(Assign(options, {kHostAddress}), VESK_NETDEV_NO_ANSWER);
  EXPECT_EQ(SettledTypes(*peer, 4), (std::vector<uint8_t>{1, 1, 1, 1}));
}

TEST_F(NetdevAssignment, AssignmentByCurrentAddressFindsTheListedInstrument) {
  NetdevPeerOptions options;
  options.recordCount = 2;
  auto peer = Peer(options);
  ASSERT_NE(peer, nullptr);
  const uint8_t listed[4] = {192, 168, 7, 2};
  const uint8_t unlisted[4] = {192, 168, 7, 9};
  EXPECT_EQ(SetNetworkDeviceIpAtAddress(Addresses({kHostAddress}), kShortWindow, kShortWaits,
                                        unlisted, kFirstWord, kSecondWord),
            VESK_NETDEV_ADDRESS_NOT_LISTED);
  EXPECT_TRUE(peer->ReceivedTypes().empty());
  EXPECT_EQ(SetNetworkDeviceIpAtAddress(Addresses({kHostAddress}), kShortWindow, kShortWaits,
                                        listed, kFirstWord, kSecondWord),
            0);
  EXPECT_EQ(SettledTypes(*peer, 6), (std::vector<uint8_t>{1, 5, 3, 7, 7, 7}));
}

TEST_F(NetdevAssignment, FailedListingIsPassedOnByAssignmentByAddress) {
  const uint8_t address[4] = {192, 168, 7, 2};
  EXPECT_EQ(SetNetworkDeviceIpAtAddress(Addresses({kHostAddress}), kShortWindow, kShortWaits,
                                        address, kFirstWord, kSecondWord),
            VESK_NETDEV_TIMEOUT);
}

}  // namespace
}  // namespace vesk
