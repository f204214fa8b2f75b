#pragma once

#include <asio.hpp>
#include <cstdint>
#include <span>
#include <string>

#include "common/result_code.h"

namespace vesk {

// A UDP socket that works on one host address: it hears every datagram that
// reaches that address's interface on its port, whether the instrument
// answers by unicast to the address or by broadcast, and its sends leave
// from that address and port. Linux hands broadcasts only to sockets bound
// to the wildcard address, so the socket binds the wildcard and is tied to
// the interface instead.
class HostUdpSocket {
 public:
  explicit HostUdpSocket(asio::io_context& io) : socket_(io) {}

  // Opens, ties to the interface of `hostAddress`, binds 0.0.0.0:`port`.
  // `receiveBufferBytes` of 0 keeps the system's buffer size.
  // Fails with VESK_NETDEV_SOCKET_FAILED.
  ResultCode Open(const std::string& hostAddress, uint16_t port, bool allowBroadcast,
                  int receiveBufferBytes);

  // Sends one datagram from the host address and port to `destination`.
  ResultCode SendTo(std::span<const uint8_t> bytes, const asio::ip::udp::endpoint& destination);

  // True for a datagram this socket itself sent: the host hears its own
  // broadcasts on the interface they leave by.
  bool IsOwnDatagram(const asio::ip::udp::endpoint& sender) const;

  void Close();

  asio::ip::udp::socket& Socket() { return socket_; }

 private:
  asio::ip::udp::socket socket_;
  asio::ip::address_v4 hostAddress_;
  uint16_t port_ = 0;
};

}  // namespace vesk
