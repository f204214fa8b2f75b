// vesk-netdev-peer: plays an Ethernet instrument for the network device
// services. It announces device lists on port 50002 and answers the address
// exchange on port 50003 until it is interrupted. Run it only on an isolated
// network (a private namespace or a lab segment): it broadcasts.

#include <arpa/inet.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "netdev_peer.h"

namespace {

constexpr const char* kUsage =
    "Usage: vesk-netdev-peer [options]\n"
    "  --interface NAME    interface the instrument sits on\n"
    "  --id LOW:HIGH       identifier of the first device (default 287454020:1432778632)\n"
    "  --address A.B.C.D   current address of the first device (default 192.168.7.2)\n"
    "  --records N         devices in each list (default 1)\n"
    "  --announce-ms N     interval between lists, 0 for none (default 100)\n"
    "  --announce-to A.B.C.D  send lists to this address instead of broadcasting\n"
    "  --list-fault bad-crc|count-beyond-datagram|count-above-64\n"
    "  --silent            never answer the address exchange\n"
    "  --late N            ignore the first N settings requests\n"
    "  --late-confirm N    ignore the first N confirm requests\n"
    "  --status S          status reported after applying settings (-128..127)\n"
    "  --unicast           answer the sender instead of broadcasting\n"
    "  --oversize N        add N bytes behind the reported settings\n"
    "  --report-ms N       time taken to apply settings (default 50)\n"
    "  --answer-id LOW     answer with this low identifier word instead\n";

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

bool Number(const char* text, long long low, long long high, long long& value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text, &end, 0);
  return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool Address(const char* text, std::array<uint8_t, 4>& bytes) {
  in_addr parsed{};
  if (text == nullptr || inet_pton(AF_INET, text, &parsed) != 1) return false;
  std::memcpy(bytes.data(), &parsed.s_addr, 4);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  vesk::NetdevPeerOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    long long n = 0;
    bool ok = true;
    bool takesValue = true;
    if (option == "--help") {
      std::printf("%s", kUsage);
      return 0;
    } else if (option == "--interface" && value) {
      options.interfaceName = value;
    } else if (option == "--id" && value) {
      std::string text = value;
      size_t colon = text.find(':');
      long long low = 0, high = 0;
      ok = colon != std::string::npos &&
           Number(text.substr(0, colon).c_str(), 0, UINT32_MAX, low) &&
           Number(text.substr(colon + 1).c_str(), 0, UINT32_MAX, high);
      options.idLow = static_cast<uint32_t>(low);
      options.idHigh = static_cast<uint32_t>(high);
    } else if (option == "--address") {
      ok = Address(value, options.currentAddress);
    } else if (option == "--records") {
      ok = Number(value, 0, 255, n);
      options.recordCount = static_cast<int>(n);
    } else if (option == "--announce-ms") {
      ok = Number(value, 0, 3600000, n);
      options.announceInterval = std::chrono::milliseconds(n);
    } else if (option == "--announce-to") {
      std::array<uint8_t, 4> ignored{};
      ok = Address(value, ignored);
      if (ok) options.announceTo = value;
    } else if (option == "--list-fault" && value) {
      std::string fault = value;
      using Fault = vesk::NetdevPeerOptions::ListFault;
      if (fault == "bad-crc")
        options.listFault = Fault::kBadCrc;
      else if (fault == "count-beyond-datagram")
        options.listFault = Fault::kCountBeyondDatagram;
      else if (fault == "count-above-64")
        options.listFault = Fault::kCountAbove64;
      else
        ok = false;
    } else if (option == "--silent") {
      options.silent = true;
      takesValue = false;
    } else if (option == "--late") {
      ok = Number(value, 0, 1000, n);
      options.ignoredSettingsRequests = static_cast<int>(n);
    } else if (option == "--late-confirm") {
      ok = Number(value, 0, 1000, n);
      options.ignoredConfirmRequests = static_cast<int>(n);
    } else if (option == "--status") {
      ok = Number(value, -128, 255, n);
      options.finalStatus = static_cast<int8_t>(static_cast<uint8_t>(n & 0xFF));
    } else if (option == "--unicast") {
      options.unicastAnswers = true;
      takesValue = false;
    } else if (option == "--oversize") {
      ok = Number(value, 0, 1024, n);
      options.extraPayloadBytes = static_cast<size_t>(n);
    } else if (option == "--report-ms") {
      ok = Number(value, 0, 60000, n);
      options.reportDelay = std::chrono::milliseconds(n);
    } else if (option == "--answer-id") {
      ok = Number(value, 0, UINT32_MAX, n);
      options.answerIdLow = static_cast<uint32_t>(n);
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "vesk-netdev-peer: bad option %s\n%s", option.c_str(), kUsage);
      return 2;
    }
    if (takesValue) ++i;
  }

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  vesk::NetdevPeer peer(options);
  std::string why;
  if (!peer.Start(why)) {
    std::fprintf(stderr, "vesk-netdev-peer: %s\n", why.c_str());
    return 1;
  }
  std::printf("vesk-netdev-peer: playing device %u:%u\n", options.idLow, options.idHigh);
  std::fflush(stdout);
  while (!g_stop) pause();
  peer.Stop();
  return 0;
}
