#include "net/services/network_discovery.h"

#include <array>
#include <asio.hpp>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/services/discovery_datagram.h"
#include "net/services/host_udp_socket.h"
#include "vesk/netdev.h"

namespace vesk {

namespace {

// The largest device list (64 records) needs 2053 bytes; anything longer
// than this buffer is cut and then fails its length check.
constexpr size_t kReceiveBufferBytes = 4096;

// What the listeners of one call share. The flag word is only ever OR-ed;
// the outputs are written under `outputLock` together with the accepted bit,
// so the first accepted list is the one the caller sees, whole.
struct ListenerShared {
  std::atomic<uint32_t> flags{0};
  std::atomic<uint32_t> count{0};
  std::atomic<bool> setupFailed{false};
  std::mutex outputLock;
  const DeviceListOutput* output = nullptr;

  bool ListAlreadySettled() const {
    return (flags.load() & (kListenFlagAccepted | kListenFlagBadList)) != 0 || count.load() > 0;
  }
};

void KeepDeviceList(const std::string& hostAddress, const DiscoveryDatagram& list,
                    ListenerShared& shared) {
  std::lock_guard<std::mutex> guard(shared.outputLock);
  // Two listeners may receive at the same moment; the later list is dropped
  // rather than mixed into the first one's records.
  if ((shared.flags.load() & kListenFlagAccepted) != 0) return;
  const DeviceListOutput& output = *shared.output;
  std::memcpy(output.records, list.records.data(), list.records.size());
  shared.count.store(list.count);
  WriteAddressBytes(Ipv4TextToNumber(hostAddress), output.localAddress);
  LookupSubnetMask(hostAddress, output.subnetMask, shared.flags);
  shared.flags.fetch_or(kListenFlagAccepted);
}

// One listener: takes at most one datagram on the host address within the
// window. A socket that cannot be set up ends the listener without a flag.
void ListenForDevices(const std::string& hostAddress, const DiscoveryTiming& timing,
                      ListenerShared& shared) {
  asio::io_context io;
  HostUdpSocket socket(io);
  if (socket.Open(hostAddress, kDiscoveryPort, false, static_cast<int>(kReceiveBufferBytes)) !=
      kResultOk) {
    shared.setupFailed.store(true);
    return;
  }
  asio::steady_timer timer(io);
  std::array<uint8_t, kReceiveBufferBytes> buffer{};
  asio::ip::udp::endpoint sender;
  asio::error_code receiveError;
  size_t received = 0;
  socket.Socket().async_receive_from(asio::buffer(buffer), sender,
                                     [&](const asio::error_code& error, size_t bytes) {
                                       receiveError = error;
                                       received = bytes;
                                       if (!error) {
                                         timer.cancel();
                                         socket.Close();
                                       }
                                     });
  if (shared.ListAlreadySettled()) {
    // Another listener has decided the outcome; this receive ends aborted.
    socket.Close();
  } else {
    timer.expires_after(timing.window);
    timer.async_wait([&](const asio::error_code& error) {
      if (error) return;
      shared.flags.fetch_or(kListenFlagTimedOut);
      socket.Close();
    });
  }
  io.run();

  if (receiveError) {
    shared.flags.fetch_or(kListenFlagReceiveFailed);
    return;
  }
  DiscoveryDatagram list;
  if (!ParseDiscoveryDatagram(std::span<const uint8_t>(buffer.data(), received), list)) {
    shared.flags.fetch_or(kListenFlagBadList);
    return;
  }
  KeepDeviceList(hostAddress, list, shared);
}

void ListenQuietly(const std::string& hostAddress, const DiscoveryTiming& timing,
                   ListenerShared& shared) {
  try {
    ListenForDevices(hostAddress, timing, shared);
  } catch (...) {
    shared.setupFailed.store(true);
  }
}

ResultCode ResultOfFlags(uint32_t flags, bool setupFailed) {
  // A call in which no listener could even start has heard nothing: that is
  // a socket failure, not an empty network.
  if (flags == 0) return setupFailed ? VESK_NETDEV_SOCKET_FAILED : kResultOk;
  if (flags & kListenFlagBadList) return VESK_NETDEV_BAD_LIST;
  if (flags & kListenFlagAddressReportFailed) return VESK_NETDEV_ADDRESS_REPORT_FAILED;
  if (flags & kListenFlagAccepted) return kResultOk;
  if (flags & kListenFlagTimedOut) return VESK_NETDEV_TIMEOUT;
  return VESK_NETDEV_RECEIVE_FAILED;
}

}  // namespace

ResultCode GetNetworkDeviceList(const HostAddressSource& hostAddresses,
                                const DiscoveryTiming& timing, const DeviceListOutput& output) {
  std::memset(output.records, 0, kNetDeviceListBytes);
  ListenerShared shared;
  shared.output = &output;

  std::vector<std::string> addresses;
  ResultCode listed = hostAddresses(addresses);
  if (listed != kResultOk) {
    *output.count = 0;
    return listed;
  }

  std::vector<std::thread> listeners;
  ResultCode startFailure = kResultOk;
  for (const std::string& address : addresses) {
    if (shared.ListAlreadySettled()) break;
    try {
      listeners.emplace_back(ListenQuietly, std::cref(address), std::cref(timing),
                             std::ref(shared));
    } catch (...) {
      startFailure = VESK_NETDEV_INTERNAL_ERROR;
      break;
    }
  }
  for (std::thread& listener : listeners) listener.join();

  *output.count = static_cast<uint8_t>(shared.count.load());
  if (startFailure != kResultOk) return startFailure;
  return ResultOfFlags(shared.flags.load(), shared.setupFailed.load());
}

}  // namespace vesk
