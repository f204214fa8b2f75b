#include "app/decimal_text.h"

#include <cctype>
#include <limits>

namespace vesk {

std::optional<int32_t> ReadDecimal(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) return std::nullopt;
  int64_t value = 0;
  const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()}
                                 : int64_t{std::numeric_limits<int32_t>::max()};
  bool overflow = false;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
    value = value * 10 + (text[at] - '0');
    if (value > limit) overflow = true;  // keep consuming digits, like strtol
    if (overflow) value = limit + 1;
  }
  if (overflow) return std::nullopt;
  return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace vesk
