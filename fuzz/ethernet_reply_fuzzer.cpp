// Everything an Ethernet instrument sends back: flag bytes, data frames and
// 8191-byte replies. The input is the instrument's side of one connection,
// sent over a real loopback TCP connection to the real link: the handshake
// reply, then replies to a few commands and to the closing command. The
// instrument ends its side after the input, so no read waits out a deadline.
// The first three bytes choose whether data frames are kept and the frame
// payload size the caller expects.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "fuzz_check.h"
#include "net/ethernet_link.h"

using vesk::fuzz::Require;

namespace {

// Short: a missed read only means the peer stopped early, never a slow peer.
constexpr int32_t kNetTimeoutMs = 1000;
constexpr int kCommandsAfterHandshake = 3;
constexpr size_t kOptionBytes = 3;

// The instrument's side: accepts one connection per input, sends the input,
// ends its side and reads until the link closes.
class LoopbackInstrument {
 public:
  LoopbackInstrument() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Require(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                listen(listener_, 4) == 0,
            "a loopback listener can be made");
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    std::thread([this] { Serve(); }).detach();
  }

  uint16_t Port() const { return port_; }

  // Hands the bytes for the next connection over.
  void Offer(std::string stream) {
    std::lock_guard<std::mutex> lock(mutex_);
    stream_ = std::move(stream);
    pending_ = true;
    changed_.notify_all();
  }

  // Waits until the connection of the last offer has ended.
  void AwaitEnd() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !pending_; });
  }

 private:
  void Serve() {
    for (;;) {
      int connection = accept(listener_, nullptr, nullptr);
      if (connection < 0) continue;
      std::string stream;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return pending_; });
        stream = stream_;
      }
      for (size_t sent = 0; sent < stream.size();) {
        ssize_t n = send(connection, stream.data() + sent, stream.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      shutdown(connection, SHUT_WR);
      char sink[4096];
      while (recv(connection, sink, sizeof sink, 0) > 0) {
      }
      close(connection);
      std::lock_guard<std::mutex> lock(mutex_);
      pending_ = false;
      changed_.notify_all();
    }
  }

  int listener_ = -1;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string stream_;
  bool pending_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static LoopbackInstrument* instrument = new LoopbackInstrument;
  if (size < kOptionBytes) return 0;

  vesk::EthernetLink link;
  link.KeepFrames = data[0] & 1;
  link.FrameSize = static_cast<uint32_t>(data[1] | data[2] << 8);
  instrument->Offer(std::string(reinterpret_cast<const char*>(data) + kOptionBytes,
                                size - kOptionBytes));

  vesk::EthernetEndpoint endpoint;
  endpoint.Address = {127, 0, 0, 1};
  endpoint.Port = instrument->Port();
  vesk::EthReply reply;
  link.ConnectBus(endpoint, kNetTimeoutMs);
  for (int command = 0; command < kCommandsAfterHandshake && link.NetError == 0; ++command) {
    link.SendCommand(static_cast<int32_t>(vesk::EthCommand::ReadDeviceInfo), {}, reply,
                     kNetTimeoutMs);
  }
  if (link.IsOpen()) link.Close(kNetTimeoutMs);
  link.ShutdownAndClose();
  instrument->AwaitEnd();

  Require(link.FrameQueue.size() == link.FrameTagQueue.size(), "every kept frame has its tag");
  for (const auto& payload : link.FrameQueue) {
    Require(payload.size() <= link.FrameSize, "a kept frame holds no more than it carried");
  }
  return 0;
}
