#pragma once

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/operation_queue.h"
#include "platform/foundation/queues.h"

namespace platform::testing {

// One announcement of a watched operation, with the operation's state as it stood then.
struct OperationEvent {
  std::string label;
  KeyValueChange change = KeyValueChange::will;
  std::string key;
  bool ready = false;
  bool executing = false;
  bool finished = false;
  bool onMainThread = false;
};

// Records the announcements of the operations it watches, in one order across all of them,
// from whichever thread makes them. Must outlive the operations it watches.
class OperationLog {
 public:
  void watch(Operation& operation, std::string label) {
    operation.addObserver([this, label = std::move(label)](Operation& op, KeyValueChange change, const std::string& key) {
      OperationEvent e{label, change, key, op.isReady(), op.isExecuting(), op.isFinished(), isMainThread()};
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(e));
    });
  }

  std::vector<OperationEvent> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<OperationEvent> events(const std::string& label) const {
    std::vector<OperationEvent> out;
    for (auto& e : events())
      if (e.label == label) out.push_back(e);
    return out;
  }

  // Labels in the order their operations announced executing (did-change "isExecuting" while
  // executing), and the most that were executing at one time.
  std::vector<std::string> startOrder() const {
    std::vector<std::string> out;
    for (auto& e : events())
      if (startsRun(e)) out.push_back(e.label);
    return out;
  }
  std::size_t mostExecutingAtOnce() const {
    std::vector<std::string> executing;
    std::size_t most = 0;
    for (auto& e : events()) {
      if (startsRun(e)) {
        executing.push_back(e.label);
        most = std::max(most, executing.size());
      } else if (e.change == KeyValueChange::did && e.key == "isFinished" && e.finished) {
        std::erase(executing, e.label);
      }
    }
    return most;
  }

 private:
  static bool startsRun(const OperationEvent& e) {
    return e.change == KeyValueChange::did && e.key == "isExecuting" && e.executing;
  }

  mutable std::mutex mutex_;
  std::vector<OperationEvent> events_;
};

}  // namespace platform::testing
