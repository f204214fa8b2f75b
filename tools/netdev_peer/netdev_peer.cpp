#include "netdev_peer.h"

#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "common/byte_order.h"
#include "net/services/config_message.h"
#include "net/services/discovery_datagram.h"

namespace vesk {

namespace {

// A count the list cannot hold even when the datagram is long enough.
constexpr uint8_t kCountAbove64 = 65;

}  // namespace

NetdevPeer::NetdevPeer(NetdevPeerOptions options)
    : options_(std::move(options)),
      listSocket_(io_),
      configSocket_(io_),
      announceTimer_(io_),
      reportTimer_(io_) {}

NetdevPeer::~NetdevPeer() { Stop(); }

bool NetdevPeer::OpenSocket(asio::ip::udp::socket& socket, uint16_t port, std::string& why) {
  asio::error_code error;
  socket.open(asio::ip::udp::v4(), error);
  if (!error && !options_.interfaceName.empty() &&
      setsockopt(socket.native_handle(), SOL_SOCKET, SO_BINDTODEVICE,
                 options_.interfaceName.c_str(),
                 static_cast<socklen_t>(options_.interfaceName.size())) != 0) {
    why = "cannot tie a socket to " + options_.interfaceName;
    return false;
  }
  if (!error) socket.set_option(asio::socket_base::broadcast(true), error);
  if (!error) socket.bind(asio::ip::udp::endpoint(asio::ip::address_v4::any(), port), error);
  if (error) {
    why = "cannot open UDP port " + std::to_string(port) + ": " + error.message();
    return false;
  }
  return true;
}

bool NetdevPeer::Start(std::string& why) {
  // The instrument hears its own broadcasts; it must not take them for the
  // host's messages.
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
      if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
      const auto* address = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
      ownAddresses_.push_back(asio::ip::address_v4(ntohl(address->sin_addr.s_addr)));
    }
    freeifaddrs(list);
  }
  if (!OpenSocket(listSocket_, 0, why) || !OpenSocket(configSocket_, kConfigPort, why)) {
    return false;
  }
  if (options_.announceInterval.count() > 0) Announce();
  Receive();
  thread_ = std::thread([this] { io_.run(); });
  return true;
}

void NetdevPeer::Stop() {
  io_.stop();
  if (thread_.joinable()) thread_.join();
}

std::vector<uint8_t> NetdevPeer::ListDatagram() const {
  std::vector<uint8_t> records;
  for (int i = 0; i < options_.recordCount; ++i) {
    uint8_t address[4] = {options_.currentAddress[0], options_.currentAddress[1],
                          options_.currentAddress[2],
                          static_cast<uint8_t>(options_.currentAddress[3] + i)};
    auto record =
        BuildNetDeviceRecord(options_.idLow + static_cast<uint32_t>(i), options_.idHigh, address);
    records.insert(records.end(), record.begin(), record.end());
  }
  std::vector<uint8_t> datagram = BuildDiscoveryDatagram(records);
  switch (options_.listFault) {
    case NetdevPeerOptions::ListFault::kNone:
      break;
    case NetdevPeerOptions::ListFault::kBadCrc:
      datagram.back() ^= 0x01;
      break;
    case NetdevPeerOptions::ListFault::kCountBeyondDatagram:
      datagram[0] = static_cast<uint8_t>(datagram[0] + 1);
      break;
    case NetdevPeerOptions::ListFault::kCountAbove64:
      // Long enough for 65 records and with a CRC that matches them, so
      // only the count limit can refuse it.
      {
        std::vector<uint8_t> many(size_t{kCountAbove64} * kNetDeviceRecordBytes, 0xA5);
        datagram = BuildDiscoveryDatagram(many);
      }
      break;
  }
  return datagram;
}

void NetdevPeer::Announce() {
  asio::ip::udp::endpoint to(asio::ip::address_v4::broadcast(), kDiscoveryPort);
  if (!options_.announceTo.empty()) {
    to = asio::ip::udp::endpoint(asio::ip::make_address_v4(options_.announceTo), kDiscoveryPort);
  }
  asio::error_code ignored;
  listSocket_.send_to(asio::buffer(ListDatagram()), to, 0, ignored);
  {
    std::lock_guard<std::mutex> guard(lock_);
    ++listsSent_;
  }
  announceTimer_.expires_after(options_.announceInterval);
  announceTimer_.async_wait([this](const asio::error_code& error) {
    if (!error) Announce();
  });
}

void NetdevPeer::Receive() {
  configSocket_.async_receive_from(asio::buffer(buffer_), sender_,
                                   [this](const asio::error_code& error, size_t size) {
                                     if (error == asio::error::operation_aborted) return;
                                     if (!error) Handle(buffer_.data(), size, sender_);
                                     Receive();
                                   });
}

bool NetdevPeer::IsOwnAddress(const asio::ip::address& address) const {
  for (const auto& own : ownAddresses_) {
    if (own == address) return true;
  }
  return false;
}

void NetdevPeer::Handle(const uint8_t* bytes, size_t size, const asio::ip::udp::endpoint& sender) {
  if (IsOwnAddress(sender.address())) return;
  auto message = ParseConfigMessage(std::span<const uint8_t>(bytes, size));
  if (!message || message->idLow != options_.idLow || message->idHigh != options_.idHigh) return;
  std::unique_lock<std::mutex> guard(lock_);
  received_.push_back(message->type);
  if (options_.silent) return;
  switch (static_cast<ConfigMessageType>(message->type)) {
    case ConfigMessageType::kSettings:
      if (++settingsRequests_ <= options_.ignoredSettingsRequests) return;
      if (message->payload.size() >= kAddressSettingsBytes) {
        AddressSettings settings{};
        std::copy_n(message->payload.begin(), kAddressSettingsBytes, settings.begin());
        appliedWords_ = std::make_pair(SettingsFirstWord(settings), SettingsSecondWord(settings));
      }
      guard.unlock();
      Answer(static_cast<uint8_t>(ConfigMessageType::kSettingsAck), {}, sender);
      return;
    case ConfigMessageType::kConfirm:
      if (++confirmRequests_ <= options_.ignoredConfirmRequests) return;
      guard.unlock();
      Answer(static_cast<uint8_t>(ConfigMessageType::kConfirmAck), {}, sender);
      ScheduleReport(sender);
      return;
    case ConfigMessageType::kSettingsAck:
      guard.unlock();
      Answer(static_cast<uint8_t>(ConfigMessageType::kConfirm), {}, sender);
      return;
    case ConfigMessageType::kConfirmAck:
      // The host has closed the exchange; a later one starts afresh.
      reportScheduled_ = false;
      return;
    default:
      return;
  }
}

void NetdevPeer::ScheduleReport(const asio::ip::udp::endpoint& sender) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (reportScheduled_) return;
    reportScheduled_ = true;
  }
  reportTimer_.expires_after(options_.reportDelay);
  reportTimer_.async_wait([this, sender](const asio::error_code& error) {
    if (error) return;
    std::pair<int32_t, int32_t> words{0, 0};
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (appliedWords_) words = *appliedWords_;
    }
    AddressSettings settings = BuildReportedSettings(options_.idLow, options_.idHigh, words.first,
                                                     words.second, options_.finalStatus);
    std::vector<uint8_t> payload(settings.begin(), settings.end());
    for (size_t i = 0; i < options_.extraPayloadBytes; ++i) {
      payload.push_back(static_cast<uint8_t>(0xE0 + i));
    }
    Answer(static_cast<uint8_t>(ConfigMessageType::kSettings), std::move(payload), sender);
  });
}

void NetdevPeer::Answer(uint8_t type, std::vector<uint8_t> payload,
                        const asio::ip::udp::endpoint& sender) {
  ConfigMessage message{type, options_.answerIdLow.value_or(options_.idLow), options_.idHigh,
                        std::move(payload)};
  asio::ip::udp::endpoint to =
      options_.unicastAnswers
          ? sender
          : asio::ip::udp::endpoint(asio::ip::address_v4::broadcast(), kConfigPort);
  asio::error_code ignored;
  configSocket_.send_to(asio::buffer(BuildConfigMessage(message)), to, 0, ignored);
}

std::vector<uint8_t> NetdevPeer::ReceivedTypes() const {
  std::lock_guard<std::mutex> guard(lock_);
  return received_;
}

std::optional<std::pair<int32_t, int32_t>> NetdevPeer::AppliedWords() const {
  std::lock_guard<std::mutex> guard(lock_);
  return appliedWords_;
}

int NetdevPeer::ListsSent() const {
  std::lock_guard<std::mutex> guard(lock_);
  return listsSent_;
}

}  // namespace vesk
