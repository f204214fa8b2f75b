#include "support/recording_platform.h"

namespace vesk::test {

RecordingPlatform::RecordingPlatform(std::string executableFolder, std::string input)
    : folder_(std::move(executableFolder)), in_(std::move(input)) {}

void RecordingPlatform::Pause(std::chrono::milliseconds duration) {
  std::lock_guard lock(mutex_);
  pauses_.push_back(duration);
}

// The clock moves by the recorded waits, so code that waits for time to pass
// sees it pass without sleeping.
std::chrono::steady_clock::time_point RecordingPlatform::Now() {
  return std::chrono::steady_clock::now() + TotalPaused();
}

std::vector<std::chrono::milliseconds> RecordingPlatform::Pauses() const {
  std::lock_guard lock(mutex_);
  return pauses_;
}

std::chrono::milliseconds RecordingPlatform::TotalPaused() const {
  std::lock_guard lock(mutex_);
  std::chrono::milliseconds total{0};
  for (auto p : pauses_) total += p;
  return total;
}

}  // namespace vesk::test
