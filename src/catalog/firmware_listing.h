#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/model_table.h"
#include "common/platform.h"
#include "common/result_code.h"

namespace vesk {

// The files of data/Firmware/ beside the executable, in file-system order.
// Entry i of each list describes the same file.
struct FirmwareListing {
  std::vector<std::string> Names;
  std::vector<std::string> Paths;          // folder + name
  std::vector<std::string> ModelPrefixes;  // name up to its second "_"
};

// The part of a file name that names its model: the name up to its second
// "_" (T70_R4_0.55.56.bin gives T70_R4), or the whole name when it holds
// fewer than two.
std::string ModelPrefixOf(const std::string& name);

// The firmware folder with its trailing "/": <exe folder>/data/Firmware/.
std::string FirmwareFolder(Platform& platform);

// Empty when the folder is missing or empty; sub-folders are left out.
FirmwareListing ListFirmwareFiles(Platform& platform);

// "GNSSZ_" or "GNSS_" for an instrument with this hardware word (0 when the
// caller has none), given the device server's answer.
std::string GnssFilePrefix(uint16_t hardwareCode, int32_t serverDeviceType, Platform& platform);

struct GnssImageChoice {
  std::string Name;    // empty when no image was found
  int32_t Index = -1;  // listing index, -1 when none
};
GnssImageChoice SelectNewestGnssImage(const std::vector<std::string>& names,
                                      const std::string& prefix);

struct ModelImageChoice {
  ResultCode Result = kResultNoMcuFpgaImage;  // 0, -10013, -10014 or -10015
  int32_t McuIndex = -1;
  int32_t FpgaIndex = -1;
};
ModelImageChoice SelectModelImages(const std::vector<std::string>& names,
                                   const std::vector<std::string>& modelPrefixes,
                                   uint16_t modelCode, const ModelCodeMap& modelTable);

}  // namespace vesk
