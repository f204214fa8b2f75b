#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "common/system_platform.h"

namespace vesk::test {

// A console stream's text in memory that several threads may write at once
// (the controller writer and its progress display do): each thread gets an
// ostream of its own, so formatting state is never shared, and every write
// into the common text is whole.
class SharedConsoleText {
 public:
  SharedConsoleText();
  ~SharedConsoleText();
  // The calling thread's stream into the text.
  std::ostream& Stream();
  std::string Text() const;

 private:
  class Buffer : public std::streambuf {
   public:
    std::string Text() const;

   protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;

   private:
    mutable std::mutex mutex_;
    std::string text_;
  };
  Buffer buffer_;
  std::mutex streamsMutex_;
  std::map<std::thread::id, std::unique_ptr<std::ostream>> streams_;
};

// A platform for tests: console streams in memory, waits recorded instead of
// slept, and the executable's folder set by the test. Listing and folder
// checks use the real file system, so tests work on real temporary folders.
class RecordingPlatform : public SystemPlatform {
 public:
  explicit RecordingPlatform(std::string executableFolder = "", std::string input = "");

  std::ostream& Out() override { return out_.Stream(); }
  std::ostream& Err() override { return err_.Stream(); }
  std::istream& In() override { return in_; }
  void Pause(std::chrono::milliseconds duration) override;
  std::chrono::steady_clock::time_point Now() override;
  std::string ExecutableFolder() override { return folder_; }
  std::string ProcessorBrand() override { return brand_; }

  std::string OutText() const { return out_.Text(); }
  std::string ErrText() const { return err_.Text(); }
  std::vector<std::chrono::milliseconds> Pauses() const;
  std::chrono::milliseconds TotalPaused() const;
  void SetProcessorBrand(std::string brand) { brand_ = std::move(brand); }

 private:
  std::string folder_;
  std::string brand_;
  SharedConsoleText out_;
  SharedConsoleText err_;
  std::istringstream in_;
  mutable std::mutex mutex_;
  std::vector<std::chrono::milliseconds> pauses_;
};

}  // namespace vesk::test
