#include "sim/ethernet_front_end.h"

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <thread>

#include "common/byte_order.h"
#include "net/eth_wire.h"

namespace vesk::sim {

namespace {

using asio::awaitable;
using asio::use_awaitable;
using asio::ip::tcp;
constexpr auto kNoThrow = asio::experimental::as_tuple(use_awaitable);

// Payload layouts the instrument reads after each command identifier.
constexpr size_t kRxInstructionPayload = 3 + 184;
constexpr size_t kRestartIntoIapPayload = 4 + 184;
constexpr size_t kWordPayload = 4;
constexpr size_t kIapEntryPayload = 2;
constexpr size_t kOneBytePayload = 1;
// A flash region larger than this is not believed: the connection is dropped.
constexpr uint32_t kLargestRegion = 64u << 20;
// A server package or desktop file larger than this is not believed.
constexpr uint32_t kLargestFile = 512u << 20;
constexpr uint8_t kTemporaryServerTag = 2;  // a second part follows it
constexpr uint8_t kFrameFlag = 1;

// (Each co_await stands in a statement of its own: the compiler mishandles
// awaits inside a short-circuit expression.)
//
// Appends exactly `count` bytes from the socket to `into`; false at end of
// stream or on error.
awaitable<bool> ReadMore(tcp::socket& socket, std::vector<uint8_t>& into, size_t count) {
  const size_t at = into.size();
  into.resize(at + count);
  if (count == 0) co_return true;
  auto [error, n] = co_await asio::async_read(socket, asio::buffer(into.data() + at, count), kNoThrow);
  co_return !error && n == count;
}

// Reads the payload of command `id`; false for an unknown command or a
// broken connection.
awaitable<bool> ReadPayload(tcp::socket& socket, int32_t id, std::vector<uint8_t>& p) {
  switch (static_cast<EthCommand>(id)) {
    case EthCommand::Handshake:
    case EthCommand::Close:
    case EthCommand::ReadControllerVersion:
    case EthCommand::ReadDeviceInfo:
    case EthCommand::ServerQuery:
    case EthCommand::StageQuery:
      co_return true;
    case EthCommand::RxInstruction:
      co_return co_await ReadMore(socket, p, kRxInstructionPayload);
    case EthCommand::ApplyReplyTimeout:
    case EthCommand::ReadStatusByte:
      co_return co_await ReadMore(socket, p, kWordPayload);
    case EthCommand::RestartIntoIap:
      co_return co_await ReadMore(socket, p, kRestartIntoIapPayload);
    case EthCommand::EnterIapMode:
      co_return co_await ReadMore(socket, p, kIapEntryPayload);
    case EthCommand::FlashFinish:
    case EthCommand::GnssProbe:
      co_return co_await ReadMore(socket, p, kOneBytePayload);
    case EthCommand::FpgaEnd:          // 0xFF, n, n bytes
    case EthCommand::WriteFlashBlock:  // sequence, n, n bytes
    case EthCommand::GnssPacket: {     // flag, n, n bytes
      if (!co_await ReadMore(socket, p, 2)) co_return false;
      const size_t n = p[1];
      co_return co_await ReadMore(socket, p, n);
    }
    case EthCommand::FpgaStart: {  // 0xFF, n, n bytes, reply length
      if (!co_await ReadMore(socket, p, 2)) co_return false;
      const size_t n = p[1];
      co_return co_await ReadMore(socket, p, n + kWordPayload);
    }
    case EthCommand::SendDataBlock: {  // n, n bytes, reply length
      if (!co_await ReadMore(socket, p, 1)) co_return false;
      const size_t n = p[0];
      co_return co_await ReadMore(socket, p, n + kWordPayload);
    }
    case EthCommand::FlashErase: {  // size, region
      if (!co_await ReadMore(socket, p, kWordPayload)) co_return false;
      const uint32_t size = GetLe32(p.data());
      if (size > kLargestRegion) co_return false;
      co_return co_await ReadMore(socket, p, size);
    }
    case EthCommand::ServerPackage: {  // parts of tag, length, file
      for (bool more = true; more;) {
        const size_t at = p.size();
        if (!co_await ReadMore(socket, p, 1 + kWordPayload)) co_return false;
        const uint32_t length = GetLe32(p.data() + at + 1);
        if (length > kLargestFile) co_return false;
        if (!co_await ReadMore(socket, p, length)) co_return false;
        more = p[at] == kTemporaryServerTag;
      }
      co_return true;
    }
    case EthCommand::DesktopPackage: {  // name length, name, block length, block
      for (int piece = 0; piece < 2; ++piece) {
        const size_t at = p.size();
        if (!co_await ReadMore(socket, p, kWordPayload)) co_return false;
        const uint32_t length = GetLe32(p.data() + at);
        if (length > kLargestFile) co_return false;
        if (!co_await ReadMore(socket, p, length)) co_return false;
      }
      co_return true;
    }
  }
  co_return false;
}

// The bytes that answer one command.
std::vector<uint8_t> ReplyBytes(int32_t id, const Answer& answer) {
  std::vector<uint8_t> bytes;
  if (id == static_cast<int32_t>(EthCommand::ServerPackage)) {
    // The server confirms a package with its status before the reply block.
    bytes.resize(kWordPayload);
    PutLe32(bytes.data(), static_cast<uint32_t>(answer.Status));
  }
  for (int frame = 0; frame < answer.Frames; ++frame) {
    const size_t at = bytes.size();
    bytes.resize(at + kEthFlagSize + kEthFrameFixedSize);  // header all zero: nothing to keep
    bytes[at] = kFrameFlag;
    PutLe32(bytes.data() + at + kEthFlagSize, static_cast<uint32_t>(frame));
  }
  const size_t reply = bytes.size();
  bytes.resize(reply + kEthReplyBlockSize);  // flag 0, then the reply
  PutLe32(bytes.data() + reply + kEthFlagSize, static_cast<uint32_t>(answer.Status));
  const size_t room = kEthReplySize - kEthReplyPayloadOffset;
  std::copy_n(answer.Payload.begin(), std::min(room, answer.Payload.size()),
              bytes.begin() + static_cast<std::ptrdiff_t>(reply + kEthFlagSize +
                                                           kEthReplyPayloadOffset));
  if (answer.ShortReply && *answer.ShortReply < bytes.size()) bytes.resize(*answer.ShortReply);
  return bytes;
}

}  // namespace

struct EthernetInstrument::Server {
  explicit Server(InstrumentModel& model) : model(model) {}

  InstrumentModel& model;
  asio::io_context context;
  tcp::acceptor acceptor{context};
  tcp::endpoint endpoint;
  asio::steady_timer reopen{context};
  std::thread thread;

  bool Listen(std::string* why) {
    asio::error_code error;
    acceptor.open(endpoint.protocol(), error);
    if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    if (!error) acceptor.bind(endpoint, error);
    if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
      if (why != nullptr) *why = error.message();
      asio::error_code ignored;
      acceptor.close(ignored);
      return false;
    }
    endpoint = acceptor.local_endpoint();  // the port chosen when 0 was asked for
    asio::co_spawn(context, AcceptLoop(), asio::detached);
    return true;
  }

  awaitable<void> AcceptLoop() {
    for (;;) {
      auto [error, socket] = co_await acceptor.async_accept(kNoThrow);
      if (error) co_return;  // closed: stopping or restarting
      if (!model.AcceptConnection()) continue;  // the socket closes as it goes
      asio::co_spawn(context, Serve(std::move(socket)), asio::detached);
    }
  }

  // The instrument restarts: nobody can connect until it is back.
  void RefuseConnections(std::chrono::milliseconds duration) {
    if (duration.count() <= 0 || !acceptor.is_open()) return;
    asio::error_code ignored;
    acceptor.close(ignored);
    reopen.expires_after(duration);
    reopen.async_wait([this](const asio::error_code& error) {
      if (!error) Listen(nullptr);
    });
  }

  awaitable<void> Serve(tcp::socket socket) {
    asio::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    for (int answered = 0;; ++answered) {
      std::vector<uint8_t> id(kEthCommandIdSize);
      auto [error, n] = co_await asio::async_read(socket, asio::buffer(id), kNoThrow);
      if (error || n != id.size()) break;
      ReceivedCommand command;
      command.Id = static_cast<int32_t>(GetLe32(id.data()));
      if (!co_await ReadPayload(socket, command.Id, command.Payload)) break;
      Answer answer = model.Handle(command, answered);
      if (answer.Drop) break;
      // A restarting instrument is gone for new connections by the time its
      // answer arrives, so a quick reconnect cannot slip in before it.
      RefuseConnections(answer.RefuseFor);
      if (!answer.Silent) {
        std::vector<uint8_t> reply = ReplyBytes(command.Id, answer);
        auto [writeError, written] = co_await asio::async_write(socket, asio::buffer(reply), kNoThrow);
        if (writeError) break;
      }
    }
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
    model.ConnectionEnded();
  }
};

EthernetInstrument::EthernetInstrument(InstrumentModel& model) : model_(model) {}

EthernetInstrument::~EthernetInstrument() { Stop(); }

bool EthernetInstrument::Start(const std::string& address, uint16_t port, std::string* why) {
  Stop();
  auto server = std::make_unique<Server>(model_);
  asio::error_code error;
  asio::ip::address ip = asio::ip::make_address(address, error);
  if (error) {
    if (why != nullptr) *why = "not an address: " + address;
    return false;
  }
  server->endpoint = tcp::endpoint(ip, port);
  if (!server->Listen(why)) return false;
  Server* running = server.get();
  server->thread = std::thread([running] { running->context.run(); });
  server_ = std::move(server);
  return true;
}

uint16_t EthernetInstrument::Port() const { return server_ ? server_->endpoint.port() : 0; }

void EthernetInstrument::Stop() {
  if (!server_) return;
  server_->context.stop();
  server_->thread.join();
  server_.reset();
}

}  // namespace vesk::sim
