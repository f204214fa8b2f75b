#include "support/recording_platform.h"

namespace vesk::test {

SharedConsoleText::SharedConsoleText() = default;
SharedConsoleText::~SharedConsoleText() = default;

std::ostream& SharedConsoleText::Stream() {
  std::lock_guard lock(streamsMutex_);
  std::unique_ptr<std::ostream>& stream = streams_[std::this_thread::get_id()];
  if (!stream) stream = std::make_unique<std::ostream>(&buffer_);
  return *stream;
}

std::string SharedConsoleText::Text() const { return buffer_.Text(); }

std::string SharedConsoleText::Buffer::Text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

SharedConsoleText::Buffer::int_type SharedConsoleText::Buffer::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  std::lock_guard lock(mutex_);
  text_.push_back(traits_type::to_char_type(ch));
  return ch;
}

std::streamsize SharedConsoleText::Buffer::xsputn(const char* s, std::streamsize n) {
  std::lock_guard lock(mutex_);
  text_.append(s, static_cast<size_t>(n));
  return n;
}

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
