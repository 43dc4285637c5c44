#include "platform/testing/recorder.h"

#include "platform/foundation/console.h"

namespace platform::testing {

void Recorder::consoleLine(std::string_view line) {
  std::lock_guard lock(mutex_);
  lines_.emplace_back(line);
}

void Recorder::posted(const std::string& name, bool onMainThread) {
  std::lock_guard lock(mutex_);
  posts_.push_back(Post{name, onMainThread});
}

std::vector<std::string> Recorder::consoleLines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<Recorder::Post> Recorder::posts() const {
  std::lock_guard lock(mutex_);
  return posts_;
}

Recorder& recorder() {
  auto* recorder = dynamic_cast<Recorder*>(Process::current().observer());
  if (!recorder) fatalError("the current process has no recorder");
  return *recorder;
}

}  // namespace platform::testing
