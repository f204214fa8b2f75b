#pragma once

#include "common/platform.h"

namespace vesk {

// The real host: standard streams, real sleeps, /proc/self/exe, readdir.
class SystemPlatform : public Platform {
 public:
  std::ostream& Out() override;
  std::ostream& Err() override;
  std::istream& In() override;
  void Pause(std::chrono::milliseconds duration) override;
  std::chrono::steady_clock::time_point Now() override;
  std::string ExecutableFolder() override;
  std::vector<std::string> ListFiles(const std::string& folder) override;
  bool FolderExists(const std::string& path) override;
  std::string ProcessorBrand() override;
};

}  // namespace vesk
