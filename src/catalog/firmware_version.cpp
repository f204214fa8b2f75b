#include "catalog/firmware_version.h"

// GCC 12 and 13 with AddressSanitizer at -O1 and above report std::function
// members inside <regex> as maybe uninitialised, though they are always set
// (GCC bug 105616); the warning stays on in the ordinary build.
#if defined(__SANITIZE_ADDRESS__) && defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <cstddef>
#include <regex>
#include <sstream>

namespace vesk {

namespace {

constexpr uint32_t kMajorLimit = 65535;
constexpr uint32_t kMinorPatchLimit = 255;
constexpr uint64_t kWordRange = 0x100000000ULL;  // 2^32: the instrument's version words are 32 bits
constexpr char kPathVersionAnchor[] = "Firmware";

// The leading decimal number of a text as the C library's string-to-number
// routines read it: white space skipped, one optional sign, then digits.
struct LeadingNumber {
  bool HasDigits = false;
  bool Negative = false;
  bool Beyond32Bits = false;  // the digits alone exceed 2^32 - 1
  uint64_t Magnitude = 0;     // meaningful only when !Beyond32Bits
  size_t End = 0;             // index after the last digit read
};

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

LeadingNumber ReadLeadingNumber(const std::string& text) {
  LeadingNumber number;
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    number.Negative = text[i] == '-';
    ++i;
  }
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    number.HasDigits = true;
    if (!number.Beyond32Bits) {
      number.Magnitude = number.Magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
      number.Beyond32Bits = number.Magnitude >= kWordRange;
    }
    ++i;
  }
  number.End = number.HasDigits ? i : 0;
  return number;
}

// One part of a strict version text, read as an unsigned 32-bit conversion
// does: a "-" wraps the value around 2^32, so "-1" is far above any limit.
uint32_t ConvertVersionPart(const std::string& part, uint32_t limit, const char* name) {
  LeadingNumber number = ReadLeadingNumber(part);
  if (!number.HasDigits) throw VersionFormatError("invalid stoul argument");
  if (number.Beyond32Bits) throw VersionRangeError("stoul argument out of range");
  if (number.End != part.size()) throw VersionFormatError("Invalid character");
  uint64_t value =
      number.Negative ? (kWordRange - number.Magnitude) % kWordRange : number.Magnitude;
  if (value > limit) throw VersionRangeError(std::string(name) + " exceeds limit");
  return static_cast<uint32_t>(value);
}

// The leading number as a signed 32-bit integer; false when the text has no
// leading number or the number does not fit.
bool ReadSigned32(const std::string& text, int32_t& value) {
  LeadingNumber number = ReadLeadingNumber(text);
  if (!number.HasDigits || number.Beyond32Bits) return false;
  uint64_t bound = number.Negative ? 0x80000000ULL : 0x7FFFFFFFULL;
  if (number.Magnitude > bound) return false;
  int64_t signedValue = static_cast<int64_t>(number.Magnitude);
  value = static_cast<int32_t>(number.Negative ? -signedValue : signedValue);
  return true;
}

}  // namespace

uint32_t PackVersion(uint32_t major, uint32_t minor, uint32_t patch) {
  return major * 65536u + minor * 256u + patch;
}

std::string FormatVersion(uint32_t major, uint32_t minor, uint32_t patch) {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

uint32_t ParseVersion(const std::string& text) {
  size_t firstDot = text.find('.');
  size_t secondDot =
      firstDot == std::string::npos ? std::string::npos : text.find('.', firstDot + 1);
  if (secondDot == std::string::npos) throw VersionFormatError("Invalid format: must be x.y.z");

  uint32_t major = ConvertVersionPart(text.substr(0, firstDot), kMajorLimit, "x");
  uint32_t minor = ConvertVersionPart(text.substr(firstDot + 1, secondDot - firstDot - 1),
                                      kMinorPatchLimit, "y");
  uint32_t patch = ConvertVersionPart(text.substr(secondDot + 1), kMinorPatchLimit, "z");
  return PackVersion(major, minor, patch);
}

PathVersion ReadPathVersion(const std::string& path) {
  static const std::regex kDottedTriple(R"((\d+)\.(\d+)\.(\d+))", std::regex::ECMAScript);

  size_t anchor = path.find(kPathVersionAnchor);
  if (anchor == std::string::npos) return {};
  size_t start = anchor + sizeof(kPathVersionAnchor) - 1;
  if (start >= path.size()) return {};
  if (path[start] == '/' || path[start] == '\\') ++start;

  std::smatch match;
  auto from = path.begin() + static_cast<std::ptrdiff_t>(start);
  if (!std::regex_search(from, path.end(), match, kDottedTriple)) return {};

  PathVersion version;
  version.Text = match.str();
  for (size_t run = 1; run < match.size(); ++run) {
    int32_t value = 0;
    if (!ReadSigned32(match.str(run), value)) {
      throw std::out_of_range("version number out of range: " + match.str(run));
    }
    version.Numbers.push_back(static_cast<uint16_t>(value));
  }
  return version;
}

std::vector<int32_t> SplitVersionNumbers(const std::string& text) {
  std::vector<int32_t> numbers;
  std::istringstream pieces(text);
  std::string piece;
  while (std::getline(pieces, piece, '.')) {
    int32_t value = 0;
    numbers.push_back(ReadSigned32(piece, value) ? value : 0);
  }
  return numbers;
}

int CompareVersionLists(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
  size_t length = a.size() > b.size() ? a.size() : b.size();
  for (size_t i = 0; i < length; ++i) {
    int32_t left = i < a.size() ? a[i] : 0;
    int32_t right = i < b.size() ? b[i] : 0;
    if (left != right) return left < right ? -1 : 1;
  }
  return 0;
}

}  // namespace vesk
