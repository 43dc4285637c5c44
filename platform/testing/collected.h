#pragma once

#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

namespace platform::testing {

// What callbacks bring, gathered from whichever thread they run on.
template <class T>
class Collected {
 public:
  void add(T value) {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(value));
  }
  std::size_t count() const {
    std::lock_guard lock(mutex_);
    return items_.size();
  }
  std::vector<T> all() const {
    std::lock_guard lock(mutex_);
    return items_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<T> items_;
};

}  // namespace platform::testing
