#pragma once

#include <cstdint>
#include <string>

#include "common/platform.h"
#include "common/result_code.h"

namespace vesk {

// How many leading bytes of a GNSS image file are a header the receiver
// must not get, by the family mark (the character before the last "_" of the
// path: "Z" for the GNSSZ family) and the version in the name.
uint32_t GnssHeaderSkip(const std::string& path);

// Writes new firmware into the instrument's GNSS receiver. Opens and closes
// a link of its own.
ResultCode RunGnssUpdate(Platform& host, int32_t deviceIndex, const std::string& path);

}  // namespace vesk
