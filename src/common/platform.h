#pragma once

#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

namespace vesk {

// The host facilities the updater uses, behind one seam so that tests can
// watch the console, skip the waits and point the program at a folder of
// their own. The production implementation is SystemPlatform; tests use
// RecordingPlatform (tests/support).
class Platform {
 public:
  virtual ~Platform() = default;

  // The operator's console. Out() carries every sentence and progress line;
  // Err() the warnings about the limits file and unreadable images. In() is
  // read only at the Enter prompts and the manual model entry.
  virtual std::ostream& Out() = 0;
  virtual std::ostream& Err() = 0;
  virtual std::istream& In() = 0;

  // Blocks the calling thread for `duration`. Every wait of a procedure goes
  // through here; it may be called from the controller writer's thread.
  virtual void Pause(std::chrono::milliseconds duration) = 0;

  // Monotonic clock for busy-waits and elapsed times.
  virtual std::chrono::steady_clock::time_point Now() = 0;

  // Folder of the running executable without a trailing "/", or empty when
  // the executable's path cannot be read.
  virtual std::string ExecutableFolder() = 0;

  // Names of the entries directly in `folder` that are not directories (also
  // through a symbolic link), in the order the file system returns them.
  // A missing or unreadable folder gives an empty list; never throws.
  virtual std::vector<std::string> ListFiles(const std::string& folder) = 0;

  // True when `path` names an existing directory.
  virtual bool FolderExists(const std::string& path) = 0;

  // The processor's 48-character brand string, or empty where the processor
  // does not report one.
  virtual std::string ProcessorBrand() = 0;
};

// The executable's folder, "/", then `name`.
std::string PathBesideExecutable(Platform& platform, const std::string& name);

}  // namespace vesk
