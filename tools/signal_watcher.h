#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace orvane_session {

// Waits for SIGINT and SIGTERM on its own thread (blocked on every thread made after it), so an
// interrupted session still ends through its own teardown. A second signal, or one after close(),
// ends the program at once with 128 + the signal.
class SignalWatcher {
 public:
  SignalWatcher();
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

  int received() const { return received_.load(); }
  // Called on the watcher's thread at the first signal, at once when one came before.
  void setHandler(std::function<void()> handler);
  // Drops the handler: what it reached is going away.
  void close();

 private:
  void watch();

  sigset_t signals_;
  std::atomic<bool> done_{false};
  std::atomic<int> received_{0};
  std::mutex mutex_;
  bool closed_ = false;
  std::function<void()> handler_;
  std::thread thread_;
};

}  // namespace orvane_session
