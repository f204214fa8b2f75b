#pragma once

#include <chrono>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "common/system_platform.h"

namespace vesk::test {

// A platform for tests: console streams in memory, waits recorded instead of
// slept, and the executable's folder set by the test. Listing and folder
// checks use the real file system, so tests work on real temporary folders.
class RecordingPlatform : public SystemPlatform {
 public:
  explicit RecordingPlatform(std::string executableFolder = "", std::string input = "");

  std::ostream& Out() override { return out_; }
  std::ostream& Err() override { return err_; }
  std::istream& In() override { return in_; }
  void Pause(std::chrono::milliseconds duration) override;
  std::chrono::steady_clock::time_point Now() override;
  std::string ExecutableFolder() override { return folder_; }
  std::string ProcessorBrand() override { return brand_; }

  std::string OutText() const { return out_.str(); }
  std::string ErrText() const { return err_.str(); }
  std::vector<std::chrono::milliseconds> Pauses() const;
  std::chrono::milliseconds TotalPaused() const;
  void SetProcessorBrand(std::string brand) { brand_ = std::move(brand); }

 private:
  std::string folder_;
  std::string brand_;
  std::ostringstream out_;
  std::ostringstream err_;
  std::istringstream in_;
  mutable std::mutex mutex_;
  std::vector<std::chrono::milliseconds> pauses_;
};

}  // namespace vesk::test
