#pragma once

#include <array>
#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vesk {

// How the played instrument behaves, including the faults it can show.
struct NetdevPeerOptions {
  // Interface the instrument sits on; its broadcasts leave only there.
  // Empty: no tie to an interface.
  std::string interfaceName;

  // Identity of the first announced device; further devices count up the
  // low word and the last address byte.
  uint32_t idLow = 0x11223344;
  uint32_t idHigh = 0x55667788;
  std::array<uint8_t, 4> currentAddress{192, 168, 7, 2};

  // Device lists on port 50002, one every `announceInterval` (0: none).
  enum class ListFault { kNone, kBadCrc, kCountBeyondDatagram, kCountAbove64 };
  int recordCount = 1;
  ListFault listFault = ListFault::kNone;
  std::chrono::milliseconds announceInterval{100};
  // Unicast target of the lists; broadcast when empty.
  std::string announceTo;

  // Address assignment on port 50003.
  bool silent = false;                        // never answers
  int ignoredSettingsRequests = 0;            // settings requests heard before the first answer
  int ignoredConfirmRequests = 0;             // confirm requests heard before the first answer
  int8_t finalStatus = 0;                     // status reported with the applied settings
  bool unicastAnswers = false;                // answer the sender instead of broadcasting
  size_t extraPayloadBytes = 0;               // bytes added behind the reported settings
  std::chrono::milliseconds reportDelay{50};  // time to apply the settings
  // Low identifier word written into answers, when it differs from the
  // played one (a confused or foreign instrument).
  std::optional<uint32_t> answerIdLow;
};

// A device-side peer for the network device services: announces device
// lists and plays the instrument's side of the address exchange, on its own
// thread. Its sockets belong to the network namespace of the thread that
// calls Start.
class NetdevPeer {
 public:
  explicit NetdevPeer(NetdevPeerOptions options);
  ~NetdevPeer();
  NetdevPeer(const NetdevPeer&) = delete;
  NetdevPeer& operator=(const NetdevPeer&) = delete;

  // Opens the sockets and starts playing. False with the reason on failure.
  bool Start(std::string& why);
  void Stop();

  // Types of the intact address-assignment messages for this instrument
  // that arrived from others, in arrival order.
  std::vector<uint8_t> ReceivedTypes() const;
  // The settings words of the last settings request answered, if any.
  std::optional<std::pair<int32_t, int32_t>> AppliedWords() const;
  int ListsSent() const;

 private:
  void Announce();
  void Receive();
  void Handle(const uint8_t* bytes, size_t size, const asio::ip::udp::endpoint& sender);
  void Answer(uint8_t type, std::vector<uint8_t> payload, const asio::ip::udp::endpoint& sender);
  void ScheduleReport(const asio::ip::udp::endpoint& sender);
  std::vector<uint8_t> ListDatagram() const;
  bool IsOwnAddress(const asio::ip::address& address) const;
  bool OpenSocket(asio::ip::udp::socket& socket, uint16_t port, std::string& why);

  NetdevPeerOptions options_;
  asio::io_context io_;
  asio::ip::udp::socket listSocket_;
  asio::ip::udp::socket configSocket_;
  asio::steady_timer announceTimer_;
  asio::steady_timer reportTimer_;
  std::array<uint8_t, 4096> buffer_{};
  asio::ip::udp::endpoint sender_;
  std::vector<asio::ip::address> ownAddresses_;
  std::thread thread_;

  mutable std::mutex lock_;
  std::vector<uint8_t> received_;
  std::optional<std::pair<int32_t, int32_t>> appliedWords_;
  int settingsRequests_ = 0;
  int confirmRequests_ = 0;
  bool reportScheduled_ = false;
  int listsSent_ = 0;
};

}  // namespace vesk
