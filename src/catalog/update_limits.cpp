#include "catalog/update_limits.h"

#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>

namespace vesk {

namespace {

constexpr char kTrimmedCharacters[] = " \t\r\n";
constexpr char kBlockedWord[] = "none";

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(kTrimmedCharacters);
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(kTrimmedCharacters);
  return text.substr(first, last - first + 1);
}

struct LimitGroup {
  const char* Name;
  std::vector<LimitPair>* Pairs;
};

}  // namespace

ResultCode LoadLimitsFile(const std::string& path, UpdateLimits& limits, std::ostream& err) {
  // A folder of that name opens on Linux but holds no table; it is treated as
  // a missing file so that the built-in table applies.
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return kResultLimitsFileMissing;
  std::ifstream file(path);
  if (!file.is_open()) return kResultLimitsFileMissing;
  return LoadLimitsFile(file, limits, err);
}

ResultCode LoadLimitsFile(std::istream& table, UpdateLimits& limits, std::ostream& err) {
  const LimitGroup groups[] = {{"RB", &limits.RB}, {"KT", &limits.KT}, {"VQ", &limits.VQ}};
  const LimitGroup* current = nullptr;
  std::string line;
  while (std::getline(table, line)) {
    // The table is written on Windows: a carriage return before the line feed
    // belongs to the line end, not to the line.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string trimmed = Trim(line);
    if (trimmed.empty()) {
      current = nullptr;
      continue;
    }
    const LimitGroup* named = nullptr;
    for (const LimitGroup& group : groups) {
      if (trimmed == group.Name) named = &group;
    }
    if (named != nullptr) {
      current = named;
      continue;
    }
    if (current == nullptr) continue;

    // A comma followed by blanks gives an empty second text; a comma that ends
    // the line gives none.
    size_t comma = line.find(',');
    if (comma == std::string::npos || comma + 1 == line.size()) {
      err << "Warning: Invalid version format for the " << current->Name << " group: " << trimmed
          << '\n';
      continue;
    }
    current->Pairs->push_back({Trim(line.substr(0, comma)), Trim(line.substr(comma + 1))});
  }
  return kResultOk;
}

bool LoadBuiltInLimits(UpdateLimits& limits) {
  limits.RB.push_back({"all", "all"});
  limits.KT.push_back({"none", "none"});
  const LimitPair permittedVq[] = {
      {"0.55.56", "0.55.22"}, {"0.55.54", "0.55.22"}, {"0.55.53", "0.55.22"},
      {"0.55.50", "0.55.18"}, {"0.55.49", "0.55.18"}, {"0.55.48", "0.55.18"},
      {"0.55.48", "0.55.17"}, {"0.55.46", "0.55.17"}, {"0.55.45", "0.55.17"},
      {"0.55.45", "0.55.15"}, {"0.55.40", "0.55.15"}, {"0.55.39", "0.55.15"},
      {"0.55.38", "0.55.15"},
  };
  limits.VQ.insert(limits.VQ.end(), std::begin(permittedVq), std::end(permittedVq));
  return true;
}

bool KtUpdatesBlocked(const UpdateLimits& limits) {
  for (const LimitPair& pair : limits.KT) {
    if (pair.First == kBlockedWord || pair.Second == kBlockedWord) return true;
  }
  return false;
}

bool VqCombinationPermitted(const UpdateLimits& limits, const FirmwareVersion& mcu,
                            const FirmwareVersion& fpga) {
  std::string mcuText = FormatVersion(mcu);
  std::string fpgaText = FormatVersion(fpga);
  for (const LimitPair& pair : limits.VQ) {
    if (pair.First == mcuText && pair.Second == fpgaText) return true;
  }
  return false;
}

}  // namespace vesk
