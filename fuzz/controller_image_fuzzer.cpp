// A controller boot image is a file the operator supplies; it is checked
// before a single byte of it goes to the instrument.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "update/controller/controller_image.h"

using vesk::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> image(data, data + size);
  vesk::ResultCode result = vesk::CheckControllerImage(image);
  Require(result == vesk::kResultOk || result == vesk::kResultControllerImageUnsigned,
          "an image is either taken or refused as unsigned");
  if (result == vesk::kResultOk) Require(size >= 2 && data[0] == 'C' && data[1] == 'Y',
                                         "a taken image starts with CY");
  return 0;
}
