#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/process.h"

namespace platform::testing {

// What one process printed on the console and posted, in order; the sandbox installs one in each
// process it launches. Safe from any thread.
class Recorder final : public ProcessObserver {
 public:
  struct Post {
    std::string name;
    bool onMainThread = false;
  };

  void consoleLine(std::string_view line) override;
  void posted(const std::string& name, bool onMainThread) override;

  std::vector<std::string> consoleLines() const;
  std::vector<Post> posts() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::vector<Post> posts_;
};

// The recorder of the current process (a programming error when it has none).
Recorder& recorder();

}  // namespace platform::testing
