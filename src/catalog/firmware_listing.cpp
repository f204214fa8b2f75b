#include "catalog/firmware_listing.h"

// GCC 12 and 13 with AddressSanitizer at -O1 and above report std::function
// members inside <regex> as maybe uninitialised, though they are always set
// (GCC bug 105616); the warning stays on in the ordinary build.
#if defined(__SANITIZE_ADDRESS__) && defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <algorithm>
#include <regex>
#include <string_view>

#include "catalog/firmware_version.h"

namespace vesk {

namespace {

constexpr char kFirmwareSubfolder[] = "/data/Firmware/";
constexpr char kGnssPrefix[] = "GNSS_";
constexpr char kGnssZPrefix[] = "GNSSZ_";

// Bits 14..12 of the hardware word tell the kind of GNSS receiver; kind 0x4000
// is the handheld's receiver, whose images carry the GNSSZ_ prefix.
constexpr uint16_t kGnssKindMask = 0x7000;
constexpr uint16_t kGnssKindHandheld = 0x4000;
constexpr int32_t kServerDeviceHandheld = 2;

// Without a receiver kind in the hardware word, a host with the handheld's
// processor and its calibration folder is taken for the handheld itself.
constexpr char kHandheldProcessor[] = "AMD Ryzen Z1 Extreme";
constexpr char kHandheldCalibrationFolder[] = "C:\\Windows\\Configuration\\CalFile";

// Listing indices are 16-bit, so a selection looks at the first 65535 files.
constexpr size_t kMaxSelectableFiles = 65535;

bool EndsWithAnyOf(const std::string& name, std::string_view lastCharacters) {
  return !name.empty() && lastCharacters.find(name.back()) != std::string_view::npos;
}

// The best version among the candidates a pass selects by the name's last
// character; 0 and index -1 when none carries a usable version. A name whose
// version does not read is passed over, so a stray file never stops the run.
struct PassChoice {
  uint32_t BestWord = 0;
  int32_t Index = -1;
};

PassChoice ChooseNewestImage(const std::vector<std::string>& names,
                             const std::vector<size_t>& candidates, std::string_view lastCharacters,
                             const std::regex& versionPattern) {
  PassChoice choice;
  for (size_t index : candidates) {
    const std::string& name = names[index];
    if (!EndsWithAnyOf(name, lastCharacters)) continue;
    std::smatch match;
    if (!std::regex_search(name, match, versionPattern)) continue;
    uint32_t word = 0;
    try {
      word = ParseVersion(match.str(1));
    } catch (const VersionFormatError&) {
      continue;
    } catch (const VersionRangeError&) {
      continue;
    }
    if (word > choice.BestWord) {
      choice.BestWord = word;
      choice.Index = static_cast<int32_t>(index);
    }
  }
  return choice;
}

}  // namespace

std::string ModelPrefixOf(const std::string& name) {
  size_t first = name.find('_');
  if (first == std::string::npos) return name;
  size_t second = name.find('_', first + 1);
  return second == std::string::npos ? name : name.substr(0, second);
}

std::string FirmwareFolder(Platform& platform) {
  return platform.ExecutableFolder() + kFirmwareSubfolder;
}

FirmwareListing ListFirmwareFiles(Platform& platform) {
  FirmwareListing listing;
  std::string folder = FirmwareFolder(platform);
  for (std::string& name : platform.ListFiles(folder)) {
    listing.Paths.push_back(folder + name);
    listing.ModelPrefixes.push_back(ModelPrefixOf(name));
    listing.Names.push_back(std::move(name));
  }
  return listing;
}

std::string GnssFilePrefix(uint16_t hardwareCode, int32_t serverDeviceType, Platform& platform) {
  uint16_t gnssKind = hardwareCode & kGnssKindMask;
  if (serverDeviceType == kServerDeviceHandheld || gnssKind == kGnssKindHandheld) {
    return kGnssZPrefix;
  }
  if (gnssKind != 0) return kGnssPrefix;
  std::string brand = platform.ProcessorBrand();
  bool handheldProcessor =
      brand.compare(0, sizeof(kHandheldProcessor) - 1, kHandheldProcessor) == 0;
  if (handheldProcessor && platform.FolderExists(kHandheldCalibrationFolder)) return kGnssZPrefix;
  return kGnssPrefix;
}

GnssImageChoice SelectNewestGnssImage(const std::vector<std::string>& names,
                                      const std::string& prefix) {
  GnssImageChoice best;
  std::vector<int32_t> bestVersion;
  size_t count = std::min(names.size(), kMaxSelectableFiles);
  for (size_t index = 0; index < count; ++index) {
    const std::string& name = names[index];
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string rest = name.substr(prefix.size());
    std::string versionText = rest.substr(0, rest.rfind('.'));
    if (versionText.empty()) continue;
    std::vector<int32_t> version = SplitVersionNumbers(versionText);
    if (best.Index < 0 || CompareVersionLists(version, bestVersion) > 0) {
      best.Name = name;
      best.Index = static_cast<int32_t>(index);
      bestVersion = std::move(version);
    }
  }
  return best;
}

ModelImageChoice SelectModelImages(const std::vector<std::string>& names,
                                   const std::vector<std::string>& modelPrefixes,
                                   uint16_t modelCode, const ModelCodeMap& modelTable) {
  static const std::regex kMcuVersion(R"(_(\d+\.\d+\.\d+)\.bin$)", std::regex::ECMAScript);
  static const std::regex kFpgaVersion(R"(_(\d+\.\d+\.\d+)\.(jic|rpd))", std::regex::ECMAScript);

  // A prefix that names no model maps to 0, which is no model: such files
  // never count as images of an instrument that reports code 0.
  std::vector<size_t> candidates;
  size_t count = std::min({names.size(), modelPrefixes.size(), kMaxSelectableFiles});
  for (size_t index = 0; index < count; ++index) {
    uint16_t code = ModelCodeOf(modelTable, modelPrefixes[index]);
    if (code != 0 && code == modelCode) candidates.push_back(index);
  }

  PassChoice mcu = ChooseNewestImage(names, candidates, "n", kMcuVersion);
  PassChoice fpga = ChooseNewestImage(names, candidates, "cd", kFpgaVersion);

  ModelImageChoice choice;
  choice.McuIndex = mcu.Index;
  choice.FpgaIndex = fpga.Index;
  int missing = (mcu.Index < 0 ? kComponentBitMcu : 0) | (fpga.Index < 0 ? kComponentBitFpga : 0);
  choice.Result = MissingImagesCode(missing);
  return choice;
}

}  // namespace vesk
