// Settings.ini is written by hand beside the executable: any bytes may be in
// it. Every value must end up usable, whatever the file says.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "app/settings.h"
#include "fuzz_check.h"
#include "fuzz_platform.h"

using vesk::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  vesk::fuzz::FuzzPlatform platform;
  vesk::Bus bus(platform);
  bus.NetTimeoutMs = 10000;
  int32_t deviceIndex = 0;
  std::istringstream file(text);
  vesk::ApplySettingsText(bus, deviceIndex, file);
  Require(bus.NetTimeoutMs >= 10000, "the reply timeout is never below 10 s");
  Require(bus.Interface == vesk::BusInterface::USB || bus.Interface == vesk::BusInterface::QSFP ||
              bus.Interface == vesk::BusInterface::ETH ||
              bus.Interface == vesk::BusInterface::HLVDS ||
              bus.Interface == vesk::BusInterface::VIRTUAL,
          "the link kind is one the program knows");

  // An address that reads must read back the same from its dotted form.
  std::array<uint8_t, 16> address{};
  if (vesk::ParseIpv4(text, address)) {
    std::string dotted = std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
                         std::to_string(address[2]) + "." + std::to_string(address[3]);
    std::array<uint8_t, 16> again{};
    Require(vesk::ParseIpv4(dotted, again) && again == address, "an address reads back");
  }
  return 0;
}
