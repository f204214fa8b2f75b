// FirmwareUpdateLimit.csv is edited by hand and shipped beside the
// executable; the program reads whatever it holds.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "catalog/update_limits.h"
#include "fuzz_check.h"

using vesk::fuzz::Require;

namespace {

bool Trimmed(const std::string& text) {
  constexpr char kBlanks[] = " \t\r\n";
  return text.empty() || (text.find_first_of(kBlanks) != 0 &&
                          text.find_last_of(kBlanks) != text.size() - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream table(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream warnings;
  vesk::UpdateLimits limits;
  Require(vesk::LoadLimitsFile(table, limits, warnings) == vesk::kResultOk,
          "a readable table is always taken");
  for (const auto* group : {&limits.RB, &limits.KT, &limits.VQ}) {
    for (const vesk::LimitPair& pair : *group) {
      Require(Trimmed(pair.First) && Trimmed(pair.Second), "limit texts carry no blanks");
    }
  }
  vesk::KtUpdatesBlocked(limits);
  vesk::VqCombinationPermitted(limits, vesk::FirmwareVersion{0, 55, 56},
                               vesk::FirmwareVersion{0, 55, 22});
  return 0;
}
