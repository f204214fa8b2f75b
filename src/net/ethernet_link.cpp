#include "net/ethernet_link.h"

#include <algorithm>
#include <asio.hpp>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cmath>
#include <cstring>

#include <poll.h>

#include "common/byte_order.h"
#include "net/net_error.h"

namespace vesk {

namespace {

constexpr int kConnectAttempts = 5;
constexpr size_t kWritePieceSize = 65536;
// The instrument sends its replies in large bursts; a big receive buffer
// keeps the peer from stalling on a slow reader.
constexpr int kReceiveBufferSize = 33554432;

std::chrono::milliseconds Deadline(int32_t milliseconds) {
  return std::chrono::milliseconds(std::max<int32_t>(milliseconds, 0));
}

}  // namespace

struct EthernetLink::Io {
  asio::io_context context;
  asio::steady_timer timer{context};
  asio::ip::tcp::socket socket{context};
  // Set once the instrument has ended the connection: nothing more can
  // arrive, so later reads fail at once instead of waiting out their deadline
  // (the socket reports the end only once).
  asio::error_code ended;

  struct Outcome {
    asio::error_code error;
    size_t bytes = 0;
  };

  // Starts one socket operation and runs the context until it has completed
  // or `deadline` has passed; in the latter case the operation is cancelled
  // and its completion collected, so nothing is left pending on the socket.
  template <typename Start>
  Outcome RunWithDeadline(Start start, std::chrono::milliseconds deadline) {
    Outcome outcome;
    bool done = false;
    timer.expires_after(deadline);
    start([&](const asio::error_code& error, size_t bytes) {
      outcome.error = error;
      outcome.bytes = bytes;
      done = true;
      timer.cancel();
    });
    timer.async_wait([&](const asio::error_code& error) {
      if (!error && !done) {
        asio::error_code ignored;
        socket.cancel(ignored);
      }
    });
    context.restart();
    context.run();
    return outcome;
  }

  // Moves bytes with `step` (one non-blocking read_some or write_some that
  // returns true once everything is moved) until it is done, the socket
  // fails, or `deadline` has passed. Each command costs four such transfers,
  // so the data is moved straight away whenever the socket is ready and the
  // thread sleeps in poll() only while it is not: no timer is armed and no
  // event loop is run per transfer. A deadline that passes reports the
  // transfer as cancelled, as an abandoned asynchronous operation would be.
  template <typename Step>
  asio::error_code Transfer(Step step, short readiness, std::chrono::milliseconds deadline) {
    asio::error_code error;
    if (!socket.non_blocking()) {  // set once per connection: it costs a system call
      socket.non_blocking(true, error);
      if (error) return error;
    }
    const auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
      error.clear();
      if (step(error) && !error) return {};
      if (error && error != asio::error::would_block && error != asio::error::try_again &&
          error != asio::error::interrupted) {
        return error;
      }
      if (!error) continue;  // partial progress: try again at once
      // Poll in whole milliseconds rounded up, and look at the clock again
      // after each wake-up, so the deadline is never cut short.
      auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return asio::error::operation_aborted;
      pollfd ready{socket.native_handle(), readiness, 0};
      int polled = ::poll(&ready, 1, static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)));
      if (polled < 0 && errno != EINTR) return asio::error_code(errno, asio::system_category());
    }
  }
};

EthernetLink::EthernetLink() : io_(std::make_unique<Io>()) {}

EthernetLink::~EthernetLink() = default;

uint32_t EthernetLink::FrameKeepLength() const {
  return GetLe32(FrameHeader.data() + kEthFrameKeepLengthOffset);
}

bool EthernetLink::IsOpen() const { return io_->socket.is_open(); }

size_t EthernetLink::ReadExactly(uint8_t* buffer, size_t count, int32_t deadlineMs) {
  if (io_->ended) {
    NetError = NetErrorCode(io_->ended);
    return 0;
  }
  size_t received = 0;
  asio::error_code error = io_->Transfer(
      [&](asio::error_code& step) {
        received += io_->socket.read_some(asio::buffer(buffer + received, count - received), step);
        return received == count;
      },
      POLLIN, Deadline(deadlineMs));
  NetError = NetErrorCode(error);
  if (error == asio::error::eof || error == asio::error::connection_reset) io_->ended = error;
  return received;
}

void EthernetLink::Write(std::span<const uint8_t> bytes, int32_t deadlineMs) {
  NetError = 0;
  for (size_t sent = 0; sent < bytes.size();) {
    const size_t piece = std::min(kWritePieceSize, bytes.size() - sent);
    size_t written = 0;
    asio::error_code error = io_->Transfer(
        [&](asio::error_code& step) {
          written += io_->socket.write_some(
              asio::buffer(bytes.data() + sent + written, piece - written), step);
          return written == piece;
        },
        POLLOUT, Deadline(deadlineMs));
    NetError = NetErrorCode(error);
    if (NetError != 0) return;
    sent += piece;
  }
}

void EthernetLink::WriteCommandId(int32_t deadlineMs) {
  std::array<uint8_t, kEthCommandIdSize> id{};
  PutLe32(id.data(), static_cast<uint32_t>(CommandId));
  Write(id, deadlineMs);
}

ResultCode EthernetLink::WaitReply(EthReply& reply, int32_t netTimeoutMs) {
  reply.Arrived = false;
  InFrame = 0;
  uint8_t flag = 0;
  if (ReadExactly(&flag, kEthFlagSize, netTimeoutMs) != kEthFlagSize || NetError != 0) {
    return kResultEthReplyTimeout;
  }
  Receiving = 1;
  while (flag != 0) {
    InFrame = 1;
    const size_t frameLength = kEthFrameFixedSize + FrameSize;
    if (frameLength > Frames.Size()) return kResultEthReplyTimeout;  // cannot be received
    if (ReadExactly(Frames.Data(), frameLength, netTimeoutMs) != frameLength || NetError != 0) {
      return kResultEthReplyTimeout;
    }
    if (ReadExactly(&flag, kEthFlagSize, netTimeoutMs) != kEthFlagSize || NetError != 0) {
      return kResultEthReplyTimeout;
    }
    Receiving = 1;
    if (KeepFrames == 1) {
      std::memcpy(FrameHeader.data(), Frames.Data() + kEthFrameTagSize, kEthFrameHeaderSize);
      // Never queue more than the frame carried.
      const size_t kept = std::min<size_t>(FrameKeepLength(), FrameSize);
      const uint8_t* payload = Frames.Data() + kEthFrameFixedSize;
      FrameQueue.emplace_back(payload, payload + kept);
      FrameTagQueue.push_back(GetLe32(Frames.Data()));
    }
  }
  if (ReadExactly(reply.Bytes.data(), kEthReplySize, netTimeoutMs) != kEthReplySize ||
      NetError != 0) {
    return kResultEthReplyTimeout;
  }
  Receiving = 0;
  reply.Arrived = true;
  return kResultOk;
}

ResultCode EthernetLink::SendCommand(int32_t identifier, std::span<const uint8_t> payload,
                                     EthReply& reply, int32_t netTimeoutMs) {
  CommandId = identifier;
  reply = EthReply{};
  // A failed write is not reported on its own: the reply wait then fails.
  WriteCommandId(netTimeoutMs);
  if (!payload.empty()) Write(payload, netTimeoutMs);
  ResultCode waited = WaitReply(reply, netTimeoutMs);
  if (waited != kResultOk) return waited;
  return reply.Status();
}

ResultCode EthernetLink::ConnectBus(const EthernetEndpoint& endpoint, int32_t netTimeoutMs) {
  Frames.Reset(kEthReceiveAreaSize);
  CommandId = static_cast<int32_t>(EthCommand::Handshake);

  asio::ip::tcp::endpoint remote;
  if (!endpoint.IsIpv6) {
    asio::ip::address_v4::bytes_type v4;
    std::copy_n(endpoint.Address.begin(), v4.size(), v4.begin());
    remote = asio::ip::tcp::endpoint(asio::ip::address_v4(v4), endpoint.Port);
  } else {
    asio::ip::address_v6::bytes_type v6;
    std::copy_n(endpoint.Address.begin(), v6.size(), v6.begin());
    remote = asio::ip::tcp::endpoint(asio::ip::address_v6(v6), endpoint.Port);
  }

  // Each attempt gets a fifth of the timeout, rounded up.
  const auto attemptDeadline = Deadline(
      static_cast<int32_t>(std::ceil(static_cast<float>(netTimeoutMs) / kConnectAttempts)));
  io_->socket = asio::ip::tcp::socket(io_->context);
  io_->ended.clear();
  bool connected = false;
  for (int attempt = 0; attempt < kConnectAttempts && !connected; ++attempt) {
    asio::error_code ignored;
    io_->socket.close(ignored);  // a failed attempt leaves the socket unusable
    Io::Outcome outcome = io_->RunWithDeadline(
        [&](auto handler) {
          io_->socket.async_connect(remote, [handler = std::move(handler)](
                                                const asio::error_code& error) mutable {
            handler(error, 0);
          });
        },
        attemptDeadline);
    NetError = NetErrorCode(outcome.error);
    connected = NetError == 0;
  }
  if (!connected) return kResultEthConnectFailed;

  asio::error_code optionError;
  io_->socket.set_option(asio::socket_base::receive_buffer_size(kReceiveBufferSize), optionError);
  if (!optionError) io_->socket.set_option(asio::ip::tcp::no_delay(true), optionError);
  if (optionError) {
    NetError = NetErrorCode(optionError);
    return kResultEthConnectFailed;
  }

  WriteCommandId(netTimeoutMs);
  EthReply reply;
  ResultCode waited = WaitReply(reply, netTimeoutMs);
  if (waited != kResultOk) return waited;
  return reply.Status();
}

ResultCode EthernetLink::Close(int32_t netTimeoutMs) {
  if (NetError != 0) return NetError;
  CommandId = static_cast<int32_t>(EthCommand::Close);
  WriteCommandId(netTimeoutMs);
  if (NetError != 0) return NetError;
  EthReply reply;
  ResultCode result = WaitReply(reply, netTimeoutMs);
  if (result == kResultOk) result = reply.Status();
  ShutdownAndClose();
  return result;
}

void EthernetLink::ShutdownAndClose() {
  asio::error_code ignored;
  io_->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  io_->socket.close(ignored);
}

}  // namespace vesk
