#include <gtest/gtest.h>

#include "common/byte_order.h"
#include "update/controller/controller_image.h"

namespace vesk {
namespace {

// A controller image: "CY", control byte, type, then sections of
// (length in words, address, words), a zero-length section with the entry
// point, and the checksum of all section words.
std::vector<uint8_t> Image(uint8_t type, const std::vector<std::vector<uint32_t>>& sections,
                           int checksumDelta = 0) {
  std::vector<uint8_t> image = {'C', 'Y', 0x1C, type};
  auto put = [&image](uint32_t word) {
    image.resize(image.size() + 4);
    PutLe32(&image[image.size() - 4], word);
  };
  uint32_t sum = 0;
  for (const auto& section : sections) {
    put(static_cast<uint32_t>(section.size()));
    put(0x40000000);
    for (uint32_t word : section) {
      put(word);
      sum += word;
    }
  }
  put(0);
  put(0x40000100);  // entry point
  put(sum + checksumDelta);
  return image;
}

TEST(ControllerImageTest, WholeImageWithMatchingChecksumIsAccepted) {
  EXPECT_EQ(CheckControllerImage(Image(0xB0, {{1, 2, 3}, {0xFFFFFFFF, 5}})), kResultOk);
}

TEST(ControllerImageTest, DamagedImagesAreRefusedBeforeAnythingIsSent) {
  std::vector<uint8_t> good = Image(0xB0, {{1, 2, 3}});
  std::vector<uint8_t> unsigned_ = good;
  unsigned_[1] = 'X';
  std::vector<uint8_t> truncated(good.begin(), good.end() - 6);
  std::vector<uint8_t> overlong = good;
  PutLe32(&overlong[4], 1000);  // first section claims more words than the file has
  std::vector<uint8_t> noChecksum(good.begin(), good.end() - 4);
  for (const auto& image : {unsigned_, truncated, overlong, noChecksum,
                            Image(0xB0, {{1, 2, 3}}, 1), std::vector<uint8_t>{'C'}}) {
    EXPECT_EQ(CheckControllerImage(image), kResultControllerImageUnsigned);
  }
}

TEST(ControllerImageTest, OtherImageTypesNeedOnlyTheSignature) {
  EXPECT_EQ(CheckControllerImage({'C', 'Y', 0x1C, 0xB2, 1, 2}), kResultOk);
  EXPECT_EQ(CheckControllerImage({'C', 'Y'}), kResultOk);
}

}  // namespace
}  // namespace vesk
