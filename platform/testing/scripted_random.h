#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/foundation/console.h"
#include "platform/foundation/random.h"

namespace platform::testing {

// Answers the scripted draws in order, then 0; records the count of every question. A draw not
// below its count is a mistake of the test.
class ScriptedRandom final : public RandomSource {
 public:
  explicit ScriptedRandom(std::vector<std::size_t> draws = {}) : draws_(draws.begin(), draws.end()) {}

  void push(std::size_t draw) {
    std::lock_guard lock(mutex_);
    draws_.push_back(draw);
  }
  std::vector<std::size_t> countsAsked() const {
    std::lock_guard lock(mutex_);
    return asked_;
  }

  std::size_t uniformIndex(std::size_t count) override {
    std::lock_guard lock(mutex_);
    asked_.push_back(count);
    if (draws_.empty() || count == 0) return 0;
    const auto draw = draws_.front();
    draws_.pop_front();
    if (draw >= count) fatalError("a scripted draw is not below its count");
    return draw;
  }

 private:
  mutable std::mutex mutex_;
  std::deque<std::size_t> draws_;
  std::vector<std::size_t> asked_;
};

}  // namespace platform::testing
