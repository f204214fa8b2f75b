// The device-side server's answer block comes from the instrument over the
// network.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"
#include "net/services/device_server_update.h"

using vesk::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The block is read into a zeroed buffer of its full size.
  std::array<uint8_t, vesk::kEthReplyBlockSize> block{};
  std::memcpy(block.data(), data, std::min(size, block.size()));
  vesk::ServerQueryAnswer answer = vesk::ReadServerQueryAnswer(block);
  constexpr size_t kNameOffset = 9;
  Require(answer.InstalledPackage.size() <= block.size() - kNameOffset,
          "the installed name lies within the block");
  Require(answer.InstalledPackage.empty() ||
              std::memcmp(answer.InstalledPackage.data(), block.data() + kNameOffset,
                          answer.InstalledPackage.size()) == 0,
          "the installed name is the block's bytes");
  return 0;
}
