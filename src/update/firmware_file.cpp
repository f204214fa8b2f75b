#include "update/firmware_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace vesk {

namespace {

// Only regular files (also through a symbolic link) hold an image: a folder
// opens for reading on Linux and reports a meaningless length.
bool IsRegularFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::optional<uint64_t> FileLength(const std::string& path) {
  if (!IsRegularFile(path)) return std::nullopt;
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file.is_open()) return std::nullopt;
  std::streamoff end = file.tellg();
  if (end < 0) return std::nullopt;
  return static_cast<uint64_t>(end);
}

std::optional<std::vector<uint8_t>> ReadFileRegion(const std::string& path, uint64_t offset,
                                                   uint64_t size, uint8_t fill) {
  if (!IsRegularFile(path)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return std::nullopt;
  std::vector<uint8_t> bytes(size, fill);
  file.seekg(static_cast<std::streamoff>(offset));
  if (file) file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  return bytes;
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace vesk
