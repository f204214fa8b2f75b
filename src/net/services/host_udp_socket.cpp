#include "net/services/host_udp_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "net/services/local_addresses.h"
#include "vesk/netdev.h"

namespace vesk {

ResultCode HostUdpSocket::Open(const std::string& hostAddress, uint16_t port, bool allowBroadcast,
                               int receiveBufferBytes) {
  Close();
  asio::error_code error;
  hostAddress_ = asio::ip::make_address_v4(hostAddress, error);
  if (error) return VESK_NETDEV_SOCKET_FAILED;
  port_ = port;
  std::string interfaceName = InterfaceOwningAddress(hostAddress);
  if (interfaceName.empty()) return VESK_NETDEV_SOCKET_FAILED;
  socket_.open(asio::ip::udp::v4(), error);
  if (error) return VESK_NETDEV_SOCKET_FAILED;
  if (setsockopt(socket_.native_handle(), SOL_SOCKET, SO_BINDTODEVICE, interfaceName.c_str(),
                 static_cast<socklen_t>(interfaceName.size())) != 0) {
    Close();
    return VESK_NETDEV_SOCKET_FAILED;
  }
  if (allowBroadcast) socket_.set_option(asio::socket_base::broadcast(true), error);
  if (!error && receiveBufferBytes > 0) {
    socket_.set_option(asio::socket_base::receive_buffer_size(receiveBufferBytes), error);
  }
  if (!error) socket_.bind(asio::ip::udp::endpoint(asio::ip::address_v4::any(), port), error);
  if (error) {
    Close();
    return VESK_NETDEV_SOCKET_FAILED;
  }
  return kResultOk;
}

ResultCode HostUdpSocket::SendTo(std::span<const uint8_t> bytes,
                                 const asio::ip::udp::endpoint& destination) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(destination.port());
  to.sin_addr.s_addr = htonl(destination.address().to_v4().to_uint());

  iovec data{const_cast<uint8_t*>(bytes.data()), bytes.size()};
  // The source address travels as ancillary data, since the socket itself
  // is bound to the wildcard address.
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
  message.msg_name = &to;
  message.msg_namelen = sizeof(to);
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof(control);
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_spec_dst.s_addr = htonl(hostAddress_.to_uint());
  std::memcpy(CMSG_DATA(header), &info, sizeof(info));

  ssize_t sent = sendmsg(socket_.native_handle(), &message, 0);
  return sent == static_cast<ssize_t>(bytes.size()) ? kResultOk : VESK_NETDEV_SOCKET_FAILED;
}

bool HostUdpSocket::IsOwnDatagram(const asio::ip::udp::endpoint& sender) const {
  return sender.address() == asio::ip::address(hostAddress_) && sender.port() == port_;
}

void HostUdpSocket::Close() {
  asio::error_code ignored;
  socket_.close(ignored);
}

}  // namespace vesk
