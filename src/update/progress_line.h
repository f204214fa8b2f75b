#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace vesk {

// A percentage redrawn in place: the label and "%6.2f%%" once, then for each
// step seven backspaces (exactly what "%6.2f%%" printed) and the new value.
class ProgressLine {
 public:
  ProgressLine(std::ostream& out, const std::string& label);

  // Redraws the value as done * 100 / total, computed in single precision.
  void Show(uint32_t done, uint32_t total);

 private:
  std::ostream& out_;
};

}  // namespace vesk
