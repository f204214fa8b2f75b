#include "update/controller/controller_image.h"

#include "common/byte_order.h"

namespace vesk {

namespace {

constexpr uint8_t kNormalFirmwareImage = 0xB0;
constexpr size_t kHeaderSize = 4;  // "CY", control byte, image type
constexpr size_t kWordSize = 4;

}  // namespace

ResultCode CheckControllerImage(const std::vector<uint8_t>& image) {
  if (image.size() < 2 || image[0] != 'C' || image[1] != 'Y') {
    return kResultControllerImageUnsigned;
  }
  if (image.size() < kHeaderSize || image[3] != kNormalFirmwareImage) return kResultOk;

  // Sections: length in words, load address, the words. A zero length ends
  // the list (its address is the entry point); the checksum follows.
  size_t at = kHeaderSize;
  uint32_t sum = 0;
  for (;;) {
    if (image.size() - at < 2 * kWordSize) return kResultControllerImageUnsigned;
    uint64_t words = GetLe32(&image[at]);
    at += 2 * kWordSize;
    if (words == 0) break;
    if ((image.size() - at) / kWordSize < words) return kResultControllerImageUnsigned;
    for (uint64_t i = 0; i < words; ++i, at += kWordSize) sum += GetLe32(&image[at]);
  }
  if (image.size() - at < kWordSize) return kResultControllerImageUnsigned;
  return GetLe32(&image[at]) == sum ? kResultOk : kResultControllerImageUnsigned;
}

}  // namespace vesk
