// Version texts come from firmware file names and folder paths the operator
// puts beside the executable. ParseVersion may refuse a text only with its
// two error kinds, ReadPathVersion only with std::out_of_range; anything else
// escaping is a fault.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "catalog/firmware_version.h"
#include "fuzz_check.h"

using vesk::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  try {
    uint32_t word = vesk::ParseVersion(text);
    vesk::FirmwareVersion version = vesk::FirmwareVersion::FromPacked(word);
    Require(vesk::ParseVersion(vesk::FormatVersion(version)) == word,
            "an accepted version reads back from its written form");
  } catch (const vesk::VersionFormatError&) {
  } catch (const vesk::VersionRangeError&) {
  }

  try {
    vesk::PathVersion path = vesk::ReadPathVersion(text);
    Require(path.Text.empty() == path.Numbers.empty(), "a path version has text and numbers");
    Require(path.Numbers.empty() || path.Numbers.size() == 3, "a path version is a triple");
    Require(path.Text.empty() || text.find(path.Text) != std::string::npos,
            "a path version is taken from the path");
  } catch (const std::out_of_range&) {
  }

  // The text split at its middle gives two GNSS versions to order.
  const std::string left = text.substr(0, text.size() / 2);
  const std::string right = text.substr(text.size() / 2);
  std::vector<int32_t> a = vesk::SplitVersionNumbers(left);
  std::vector<int32_t> b = vesk::SplitVersionNumbers(right);
  Require(vesk::CompareVersionLists(a, a) == 0, "a version equals itself");
  int forward = vesk::CompareVersionLists(a, b);
  int backward = vesk::CompareVersionLists(b, a);
  Require((forward > 0) == (backward < 0) && (forward == 0) == (backward == 0),
          "version order is antisymmetric");
  return 0;
}
