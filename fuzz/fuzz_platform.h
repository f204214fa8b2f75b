#pragma once

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "common/platform.h"

namespace vesk::fuzz {

// The host as a fuzz target sees it: the console is kept in memory, waits
// return at once, no file is listed, and the processor brand and whether
// folders exist are whatever the input says. Nothing an input does can reach
// the machine.
class FuzzPlatform : public Platform {
 public:
  explicit FuzzPlatform(std::string processorBrand = "", bool foldersExist = false)
      : brand_(std::move(processorBrand)), foldersExist_(foldersExist) {}

  std::ostream& Out() override { return out_; }
  std::ostream& Err() override { return err_; }
  std::istream& In() override { return in_; }
  void Pause(std::chrono::milliseconds) override {}
  std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
  std::string ExecutableFolder() override { return "/nonexistent-fuzz-folder"; }
  std::vector<std::string> ListFiles(const std::string&) override { return {}; }
  bool FolderExists(const std::string&) override { return foldersExist_; }
  std::string ProcessorBrand() override { return brand_; }

 private:
  std::string brand_;
  bool foldersExist_;
  std::ostringstream out_;
  std::ostringstream err_;
  std::istringstream in_;
};

}  // namespace vesk::fuzz
