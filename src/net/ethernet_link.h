#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

#include "common/result_code.h"
#include "net/eth_reply.h"
#include "net/eth_wire.h"
#include "net/receive_area.h"

namespace vesk {

// Where an Ethernet instrument listens: an IPv4 address in the first four
// bytes of Address (network order) unless IsIpv6, then all sixteen.
struct EthernetEndpoint {
  bool IsIpv6 = false;
  std::array<uint8_t, 16> Address{};
  uint16_t Port = 0;
};

// The TCP connection to one Ethernet instrument and its framing state. Every
// operation blocks the calling thread, running the link's own I/O context
// until the operation completes or its deadline passes; an operation that
// misses its deadline is cancelled and abandoned, and the connection stays
// usable for the next command. One command is in flight at a time.
class EthernetLink {
 public:
  EthernetLink();
  ~EthernetLink();
  EthernetLink(const EthernetLink&) = delete;
  EthernetLink& operator=(const EthernetLink&) = delete;

  // The outcome of the last connect, write or read as a socket error number
  // (see NetErrorCode); 0 when it succeeded. Closing refuses to talk to the
  // instrument while it is not 0.
  int32_t NetError = 0;
  // The command being sent; its four bytes are the first thing written.
  int32_t CommandId = 0;
  // 0: data frames before a reply are read and dropped; 1: they are queued.
  int32_t KeepFrames = 0;
  // Header of the last kept data frame; FrameKeepLength() is read from it.
  std::array<uint8_t, kEthFrameHeaderSize> FrameHeader{};
  std::deque<std::vector<uint8_t>> FrameQueue;  // payloads of kept frames, oldest first
  std::deque<uint32_t> FrameTagQueue;           // their tags
  uint64_t Receiving = 0;  // 1 from the first flag byte until the reply has been read
  uint8_t InFrame = 0;     // 1 while a data frame is being read
  uint32_t FrameSize = 0;  // payload length of a data frame
  // Where data frames are received; reset to zero bytes at every connect.
  ReceiveArea Frames;

  // How many payload bytes of a kept frame are queued (header bytes 100-103).
  uint32_t FrameKeepLength() const;

  // Connects afresh (a new socket replaces any previous one): up to five
  // attempts, each bounded by a fifth of netTimeoutMs, then the handshake.
  // 0 or the handshake's status word; 10054 after five failed attempts;
  // 10060 when the handshake reply does not arrive.
  ResultCode ConnectBus(const EthernetEndpoint& endpoint, int32_t netTimeoutMs);

  // Writes the command identifier, then the payload (when not empty), and
  // waits for the reply. The transport's failure code, or the reply's status
  // word when the reply arrived (reply.Arrived).
  ResultCode SendCommand(int32_t identifier, std::span<const uint8_t> payload, EthReply& reply,
                         int32_t netTimeoutMs);

  // Reads the flag bytes, any data frames and the reply; each read has its
  // own deadline. 0, or 10060 when any piece did not arrive in time.
  ResultCode WaitReply(EthReply& reply, int32_t netTimeoutMs);

  // Reads exactly `count` bytes within `deadlineMs`. Returns the number of
  // bytes received; the read succeeded only when NetError is 0 and all
  // `count` bytes arrived.
  size_t ReadExactly(uint8_t* buffer, size_t count, int32_t deadlineMs);

  // Writes CommandId's four bytes, then writes `bytes`; each write sends all
  // its bytes in pieces of at most 64 KiB, each piece accepted by the peer
  // within `deadlineMs`. A failure is recorded in NetError only.
  void WriteCommandId(int32_t deadlineMs);
  void Write(std::span<const uint8_t> bytes, int32_t deadlineMs);

  // The closing exchange: with a pending NetError nothing is sent and
  // NetError is the result; otherwise the close command goes out, a write
  // failure ends there with NetError, else the reply is awaited, the socket
  // shut down and closed, and the result is the reply's status word (or
  // 10060).
  ResultCode Close(int32_t netTimeoutMs);

  // Shuts the connection down in both directions and closes the socket.
  // Harmless when the socket is not open.
  void ShutdownAndClose();

  bool IsOpen() const;

 private:
  struct Io;
  std::unique_ptr<Io> io_;
};

}  // namespace vesk
