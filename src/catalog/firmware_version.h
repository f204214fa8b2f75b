#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vesk {

// A firmware version as the instrument reports it: packed into one word as
// major << 16 | minor << 8 | patch (minor and patch at most 255).
struct FirmwareVersion {
  uint16_t Major = 0;
  uint16_t Minor = 0;
  uint16_t Patch = 0;

  static FirmwareVersion FromPacked(uint32_t word) {
    return {static_cast<uint16_t>(word >> 16), static_cast<uint16_t>((word >> 8) & 0xFF),
            static_cast<uint16_t>(word & 0xFF)};
  }
};

// ParseVersion's two failure kinds; what() is the operator-facing message.
class VersionFormatError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};
class VersionRangeError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

uint32_t PackVersion(uint32_t major, uint32_t minor, uint32_t patch);
std::string FormatVersion(uint32_t major, uint32_t minor, uint32_t patch);
inline std::string FormatVersion(const FirmwareVersion& v) {
  return FormatVersion(v.Major, v.Minor, v.Patch);
}

// Strict "x.y.z" reader: x at most 65535, y and z at most 255. Throws
// VersionFormatError or VersionRangeError with the exact message texts.
uint32_t ParseVersion(const std::string& text);

// The first dotted triple after the first "Firmware" in a path; both fields
// are empty when there is none. Throws std::out_of_range only for a digit run
// beyond the signed 32-bit range.
struct PathVersion {
  std::string Text;
  std::vector<uint16_t> Numbers;
};
PathVersion ReadPathVersion(const std::string& path);

// Lenient reader for GNSS versions of any length ("3rc1.4" gives 3, 4).
std::vector<int32_t> SplitVersionNumbers(const std::string& text);

// Negative, zero or positive as a is less than, equal to or greater than b;
// missing positions count as 0.
int CompareVersionLists(const std::vector<int32_t>& a, const std::vector<int32_t>& b);

}  // namespace vesk
