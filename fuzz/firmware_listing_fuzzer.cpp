// The names in data/Firmware/ are whatever the operator copied there. The
// input's last bytes give the instrument's model and hardware words, the
// server's device type and whether the handheld's calibration folder exists;
// the rest is the processor brand on its first line,
// then one file name per line.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/firmware_listing.h"
#include "catalog/model_table.h"
#include "fuzz_check.h"
#include "fuzz_platform.h"

using vesk::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const vesk::ModelCodeMap kModels = vesk::BuildModelTable();

  FuzzedDataProvider input(data, size);
  const uint16_t modelCode = input.ConsumeIntegral<uint8_t>();
  const uint16_t hardwareCode = input.ConsumeIntegral<uint16_t>();
  const int32_t serverDeviceType = input.ConsumeIntegralInRange<int32_t>(-1, 3);
  const bool calibrationFolder = input.ConsumeBool();
  std::istringstream lines(input.ConsumeRemainingBytesAsString());
  std::string brand;
  std::getline(lines, brand);

  std::vector<std::string> names;
  std::vector<std::string> prefixes;
  for (std::string name; std::getline(lines, name);) {
    prefixes.push_back(vesk::ModelPrefixOf(name));
    Require(name.compare(0, prefixes.back().size(), prefixes.back()) == 0,
            "a model prefix starts its name");
    names.push_back(std::move(name));
  }

  vesk::ModelImageChoice images = vesk::SelectModelImages(names, prefixes, modelCode, kModels);
  for (int32_t index : {images.McuIndex, images.FpgaIndex}) {
    Require(index >= -1 && index < static_cast<int32_t>(names.size()), "an image is listed");
    if (index >= 0) {
      Require(vesk::ModelCodeOf(kModels, prefixes[index]) == modelCode,
              "an image belongs to the instrument's model");
    }
  }
  Require((images.Result == vesk::kResultOk) == (images.McuIndex >= 0 && images.FpgaIndex >= 0),
          "success means both images were found");
  if (images.McuIndex >= 0) Require(names[images.McuIndex].back() == 'n', "MCU image is .bin");

  vesk::fuzz::FuzzPlatform platform(brand, calibrationFolder);
  const std::string prefix = vesk::GnssFilePrefix(hardwareCode, serverDeviceType, platform);
  Require(prefix == "GNSS_" || prefix == "GNSSZ_", "a GNSS prefix is one of the two");
  vesk::GnssImageChoice gnss = vesk::SelectNewestGnssImage(names, prefix);
  Require(gnss.Index >= -1 && gnss.Index < static_cast<int32_t>(names.size()),
          "the GNSS image is listed");
  if (gnss.Index >= 0) {
    Require(gnss.Name == names[gnss.Index] && gnss.Name.compare(0, prefix.size(), prefix) == 0,
            "the GNSS image carries the prefix");
  }
  return 0;
}
