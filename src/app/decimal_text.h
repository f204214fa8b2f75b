#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vesk {

// A base-10 integer read the way the settings file has always been read:
// leading white space skipped, an optional sign, at least one digit, any
// characters after the digits ignored. Empty when there is no digit or the
// number does not fit a signed 32-bit integer.
std::optional<int32_t> ReadDecimal(std::string_view text);

}  // namespace vesk
