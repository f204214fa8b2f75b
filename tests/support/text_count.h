#pragma once

#include <cstddef>
#include <string>

namespace vesk::test {

// How often `part` stands in `text` (non-overlapping).
inline size_t CountOccurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

}  // namespace vesk::test
