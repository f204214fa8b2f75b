#include "update/progress_line.h"

#include <cstdio>
#include <ostream>

namespace vesk {

namespace {

void PrintPercent(std::ostream& out, float percent) {
  char text[32];
  std::snprintf(text, sizeof(text), "%6.2f%%", static_cast<double>(percent));
  out << text << std::flush;
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& out, const std::string& label) : out_(out) {
  out_ << label;
  PrintPercent(out_, 0.0f);
}

void ProgressLine::Show(uint32_t done, uint32_t total) {
  out_ << "\b\b\b\b\b\b\b";
  PrintPercent(out_, static_cast<float>(done) * 100.0f / static_cast<float>(total));
}

}  // namespace vesk
