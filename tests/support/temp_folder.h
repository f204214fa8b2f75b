#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk::test {

// A fresh folder under the system's temporary directory, removed with
// everything in it when the object goes away.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }

  // Writes a file below the folder (creating sub-folders) and returns its path.
  std::string Write(const std::string& relative, const std::string& content) const;
  std::string Write(const std::string& relative, const std::vector<uint8_t>& content) const;
  // Creates a sub-folder and returns its path.
  std::string MakeFolder(const std::string& relative) const;

 private:
  std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace vesk::test
