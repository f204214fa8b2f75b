#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk {

// The length of a file, or nothing when it cannot be opened or is not a
// regular file.
std::optional<uint64_t> FileLength(const std::string& path);

// `size` bytes of a file from `offset`; nothing when the file cannot be
// opened or is not a regular file. Bytes the file does not have are left as
// `fill`.
std::optional<std::vector<uint8_t>> ReadFileRegion(const std::string& path, uint64_t offset,
                                                   uint64_t size, uint8_t fill = 0);

// The name part of a path: everything after its last "/".
std::string FileNameOf(const std::string& path);

}  // namespace vesk
