#include "net/services/crc32.h"

#include <zlib.h>

#include <algorithm>
#include <cstddef>

namespace vesk {

uint32_t Crc32(std::span<const uint8_t> bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes the length as uInt; feed larger buffers in pieces.
  constexpr size_t kPiece = size_t{1} << 30;
  for (size_t done = 0; done < bytes.size(); done += kPiece) {
    size_t piece = std::min(kPiece, bytes.size() - done);
    crc = crc32(crc, bytes.data() + done, static_cast<uInt>(piece));
  }
  return static_cast<uint32_t>(crc);
}

}  // namespace vesk
