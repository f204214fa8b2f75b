#include "net/services/address_assignment.h"

#include <array>
#include <asio.hpp>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "net/services/config_message.h"
#include "net/services/discovery_datagram.h"
#include "net/services/host_udp_socket.h"
#include "vesk/netdev.h"

namespace vesk {

namespace {

// Address-assignment messages are at most a few dozen bytes; longer
// datagrams are cut here and then fail their length check.
constexpr size_t kReceiveBufferBytes = 4096;

// One step of the exchange: what the host sends, which answer it awaits and
// for how long, and whether an unanswered send may be repeated.
struct ConfigStep {
  std::optional<ConfigMessageType> sends;
  std::optional<ConfigMessageType> expects;
  std::chrono::milliseconds firstWait{0};
  bool mayResend = false;
  int sendCount = 1;
};

// The exchange with one instrument from one host address. Every send goes
// to the broadcast address, since the instrument may not yet have an address
// the host can reach.
class ConfigExchange {
 public:
  ConfigExchange(const AssignmentTiming& timing, uint32_t idLow, uint32_t idHigh,
                 const AddressSettings& settings)
      : timing_(timing), idLow_(idLow), idHigh_(idHigh), settings_(settings), socket_(io_) {}

  ResultCode Open(const std::string& hostAddress) {
    resends_ = 0;
    return socket_.Open(hostAddress, kConfigPort, true, 0);
  }

  void StartPhase() { resends_ = 0; }

  // Runs one step; true when its answer arrived (a step that awaits nothing
  // always succeeds). An accepted kSettings answer is kept in Reported().
  bool RunConfigStep(const ConfigStep& step);

  const AddressSettings& Reported() const { return reported_; }

 private:
  void Send(ConfigMessageType type) {
    ConfigMessage message{static_cast<uint8_t>(type), idLow_, idHigh_, {}};
    if (type == ConfigMessageType::kSettings) {
      message.payload.assign(settings_.begin(), settings_.end());
    }
    // A send that fails is treated like one that got no answer.
    (void)socket_.SendTo(BuildConfigMessage(message), kBroadcastDestination);
  }

  // The answer awaited: right type, this instrument, intact, and not the
  // host's own broadcast heard back. Only the settings' 24 bytes are taken
  // from a longer payload; a shorter one cannot carry them and is ignored.
  bool Accept(std::span<const uint8_t> datagram, const asio::ip::udp::endpoint& sender,
              ConfigMessageType expected) {
    if (socket_.IsOwnDatagram(sender)) return false;
    std::optional<ConfigMessage> message = ParseConfigMessage(datagram);
    if (!message || message->type != static_cast<uint8_t>(expected) || message->idLow != idLow_ ||
        message->idHigh != idHigh_) {
      return false;
    }
    if (expected == ConfigMessageType::kSettings) {
      if (message->payload.size() < kAddressSettingsBytes) return false;
      std::memcpy(reported_.data(), message->payload.data(), kAddressSettingsBytes);
    }
    return true;
  }

  inline static const asio::ip::udp::endpoint kBroadcastDestination{
      asio::ip::address_v4::broadcast(), kConfigPort};

  const AssignmentTiming& timing_;
  uint32_t idLow_;
  uint32_t idHigh_;
  AddressSettings settings_;
  AddressSettings reported_{};
  asio::io_context io_;
  HostUdpSocket socket_;
  int resends_ = 0;
};

bool ConfigExchange::RunConfigStep(const ConfigStep& step) {
  if (step.sends) {
    for (int i = 0; i < step.sendCount; ++i) Send(*step.sends);
  }
  if (!step.expects) return true;

  // The receive handler and the timer both decide the step's outcome; they
  // share it, and the phase's resend count, under one lock.
  std::mutex lock;
  bool done = false;
  bool answered = false;
  asio::steady_timer timer(io_);
  std::array<uint8_t, kReceiveBufferBytes> buffer{};
  asio::ip::udp::endpoint sender;

  std::function<void()> receive = [&] {
    socket_.Socket().async_receive_from(
        asio::buffer(buffer), sender, [&](const asio::error_code& error, size_t bytes) {
          if (error) return;  // the step has ended
          std::lock_guard<std::mutex> guard(lock);
          if (done) return;
          if (Accept(std::span<const uint8_t>(buffer.data(), bytes), sender, *step.expects)) {
            done = answered = true;
            timer.cancel();
            return;
          }
          receive();
        });
  };
  std::function<void(std::chrono::milliseconds)> wait = [&](std::chrono::milliseconds length) {
    timer.expires_after(length);
    timer.async_wait([&](const asio::error_code& error) {
      if (error) return;
      std::lock_guard<std::mutex> guard(lock);
      if (done) return;
      if (step.mayResend && step.sends && resends_ < kResendsPerPhase) {
        ++resends_;
        Send(*step.sends);
        wait(timing_.answerWait);
        return;
      }
      done = true;
      asio::error_code ignored;
      socket_.Socket().cancel(ignored);
    });
  };

  receive();
  wait(step.firstWait);
  io_.run();
  io_.restart();
  return answered;
}

}  // namespace

ResultCode ResultOfReportedStatus(int8_t status) {
  if (status == 0) return kResultOk;
  if (status == 1) return VESK_NETDEV_NO_ANSWER;
  if (status > 1) return VESK_NETDEV_STATUS_BASE + status;
  return VESK_NETDEV_NEGATIVE_STATUS_BASE - status;
}

ResultCode SetNetworkDeviceIp(const HostAddressSource& hostAddresses,
                              const AssignmentTiming& timing, uint32_t idLow, uint32_t idHigh,
                              int32_t firstWord, int32_t secondWord) {
  ConfigExchange exchange(timing, idLow, idHigh,
                          BuildAddressSettings(idLow, idHigh, firstWord, secondWord));
  std::vector<std::string> addresses;
  ResultCode listed = hostAddresses(addresses);
  if (listed != kResultOk) return listed;

  const ConfigStep settingsRequest{ConfigMessageType::kSettings, ConfigMessageType::kSettingsAck,
                                   timing.answerWait, true};
  const ConfigStep confirmRequest{ConfigMessageType::kConfirm, ConfigMessageType::kConfirmAck,
                                  timing.answerWait, true};
  bool taken = false;
  for (const std::string& address : addresses) {
    ResultCode opened = exchange.Open(address);
    if (opened != kResultOk) return opened;
    exchange.StartPhase();
    if (exchange.RunConfigStep(settingsRequest) && exchange.RunConfigStep(confirmRequest)) {
      taken = true;
      break;
    }
  }
  if (!taken) return VESK_NETDEV_NO_ANSWER;

  // The instrument applies the settings, then reports them with its status.
  const ConfigStep settingsReport{std::nullopt, ConfigMessageType::kSettings,
                                  kSettingsReportWaitFactor * timing.secondPhaseWait, false};
  const ConfigStep reportAck{ConfigMessageType::kSettingsAck, ConfigMessageType::kConfirm,
                             timing.answerWait, true};
  const ConfigStep finalNotice{ConfigMessageType::kConfirmAck, std::nullopt,
                               std::chrono::milliseconds{0}, false, kConfirmAckRepeats};
  exchange.StartPhase();
  if (!exchange.RunConfigStep(settingsReport) || !exchange.RunConfigStep(reportAck) ||
      !exchange.RunConfigStep(finalNotice)) {
    return VESK_NETDEV_CONFIRMATION_FAILED;
  }
  return ResultOfReportedStatus(ReportedStatus(exchange.Reported()));
}

ResultCode SetNetworkDeviceIpAtAddress(const HostAddressSource& hostAddresses,
                                       const DiscoveryTiming& discoveryTiming,
                                       const AssignmentTiming& assignmentTiming,
                                       const uint8_t* currentAddress, int32_t firstWord,
                                       int32_t secondWord) {
  uint8_t count = 0;
  std::vector<uint8_t> records(kNetDeviceListBytes);
  uint8_t localAddress[4] = {};
  uint8_t subnetMask[4] = {};
  ResultCode listed =
      GetNetworkDeviceList(hostAddresses, discoveryTiming,
                           DeviceListOutput{&count, records.data(), localAddress, subnetMask});
  if (listed != kResultOk) return listed;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* record = records.data() + i * kNetDeviceRecordBytes;
    if (std::memcmp(record + kRecordCurrentAddressOffset, currentAddress, 4) == 0) {
      return SetNetworkDeviceIp(hostAddresses, assignmentTiming,
                                GetLe32(record + kRecordIdLowOffset),
                                GetLe32(record + kRecordIdHighOffset), firstWord, secondWord);
    }
  }
  return VESK_NETDEV_ADDRESS_NOT_LISTED;
}

}  // namespace vesk
