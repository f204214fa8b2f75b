// Any host on the network can answer on the address-assignment port.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "fuzz_check.h"
#include "net/services/config_message.h"

using vesk::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::optional<vesk::ConfigMessage> message = vesk::ParseConfigMessage({data, size});
  if (!message) return 0;
  std::vector<uint8_t> rebuilt = vesk::BuildConfigMessage(*message);
  Require(rebuilt.size() == size && std::equal(rebuilt.begin(), rebuilt.end(), data),
          "an accepted message is exactly the one its fields make");
  if (message->payload.size() == vesk::kAddressSettingsBytes) {
    vesk::AddressSettings settings{};
    std::copy(message->payload.begin(), message->payload.end(), settings.begin());
    vesk::ReportedStatus(settings);
    vesk::SettingsFirstWord(settings);
    vesk::SettingsSecondWord(settings);
  }
  return 0;
}
