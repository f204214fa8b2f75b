// vesk-netdev: lists the Ethernet instruments on the host's networks and
// assigns address settings to one of them through the exported functions.

#include <arpa/inet.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vesk/netdev.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage:\n"
    "  vesk-netdev list\n"
    "      Listens 2 seconds for instruments and prints their records.\n"
    "  vesk-netdev assign --id LOW:HIGH --first N --second N\n"
    "  vesk-netdev assign --current A.B.C.D --first N --second N\n"
    "      Sends the two settings words to the instrument with that identifier\n"
    "      or that current address.\n"
    "  vesk-netdev --help\n"
    "Exit status: 0 on success, 1 when the result is a failure, 2 on bad usage.\n";

std::string DottedBytes(const uint8_t* bytes) {
  return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
         std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

uint32_t Le32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
         (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

// Whole-text number in any base strtoll accepts (decimal, 0x hex).
bool ParseNumber(const char* text, long long low, long long high, long long& value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text, &end, 0);
  return errno == 0 && *end == '\0' && value >= low && value <= high;
}

int Finish(int32_t result) {
  std::printf("Result: %d\n", result);
  return result == VESK_NETDEV_OK ? kExitSuccess : kExitFailure;
}

int RunList() {
  uint8_t count = 0;
  std::vector<uint8_t> records(VESK_NETDEV_LIST_BYTES);
  uint8_t localAddress[4] = {};
  uint8_t subnetMask[4] = {};
  int32_t result = Device_GetNetworkDeviceList(&count, records.data(), localAddress, subnetMask);
  for (unsigned i = 0; i < count; ++i) {
    const uint8_t* record = records.data() + i * VESK_NETDEV_RECORD_BYTES;
    std::printf("Device %u: id %u:%u address %s\n", i + 1, Le32(record), Le32(record + 4),
                DottedBytes(record + 20).c_str());
  }
  if (result == VESK_NETDEV_OK && count > 0) {
    std::printf("Host address: %s mask %s\n", DottedBytes(localAddress).c_str(),
                DottedBytes(subnetMask).c_str());
  }
  std::printf("Devices: %u\n", count);
  return Finish(result);
}

int RunAssign(int argc, char** argv) {
  bool haveId = false, haveCurrent = false, haveFirst = false, haveSecond = false;
  uint32_t idLow = 0, idHigh = 0;
  uint8_t current[4] = {};
  int32_t first = 0, second = 0;
  // Options come in pairs: the option, then its value.
  for (int i = 2; i < argc; i += 2) {
    std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    long long number = 0;
    if (option == "--id" && value != nullptr) {
      std::string text = value;
      size_t colon = text.find(':');
      long long low = 0, high = 0;
      if (colon == std::string::npos ||
          !ParseNumber(text.substr(0, colon).c_str(), 0, UINT32_MAX, low) ||
          !ParseNumber(text.substr(colon + 1).c_str(), 0, UINT32_MAX, high)) {
        std::fprintf(stderr, "vesk-netdev: --id needs LOW:HIGH\n");
        return kExitUsage;
      }
      idLow = static_cast<uint32_t>(low);
      idHigh = static_cast<uint32_t>(high);
      haveId = true;
    } else if (option == "--current" && value != nullptr) {
      in_addr parsed{};
      if (inet_pton(AF_INET, value, &parsed) != 1) {
        std::fprintf(stderr, "vesk-netdev: --current needs A.B.C.D\n");
        return kExitUsage;
      }
      std::memcpy(current, &parsed.s_addr, 4);  // network order: first part first
      haveCurrent = true;
    } else if ((option == "--first" || option == "--second") && value != nullptr) {
      if (!ParseNumber(value, INT32_MIN, UINT32_MAX, number)) {
        std::fprintf(stderr, "vesk-netdev: %s needs a 32-bit number\n", option.c_str());
        return kExitUsage;
      }
      (option == "--first" ? first : second) = static_cast<int32_t>(static_cast<uint32_t>(number));
      (option == "--first" ? haveFirst : haveSecond) = true;
    } else {
      std::fprintf(stderr, "vesk-netdev: unknown or incomplete option %s\n%s", option.c_str(),
                   kUsage);
      return kExitUsage;
    }
  }
  if (haveId == haveCurrent || !haveFirst || !haveSecond) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitUsage;
  }
  int32_t result = haveId ? Device_SetNetworkDeviceIP(idLow, idHigh, &first, &second)
                          : Device_SetNetworkDeviceIP_PM1(current, &first, &second);
  return Finish(result);
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "--help" || command == "-h") {
    std::printf("%s", kUsage);
    return kExitSuccess;
  }
  if (command == "list" && argc == 2) return RunList();
  if (command == "assign") return RunAssign(argc, argv);
  std::fprintf(stderr, "%s", kUsage);
  return kExitUsage;
}
