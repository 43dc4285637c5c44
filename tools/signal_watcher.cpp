#include "tools/signal_watcher.h"

#include <pthread.h>
#include <unistd.h>

#include <ctime>

namespace orvane_session {

SignalWatcher::SignalWatcher() {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
  thread_ = std::thread([this] { watch(); });
}

SignalWatcher::~SignalWatcher() {
  done_ = true;
  thread_.join();
}

void SignalWatcher::setHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
  if (handler_ && received_) handler_();
}

void SignalWatcher::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  handler_ = nullptr;
}

void SignalWatcher::watch() {
  const timespec tick{0, 100'000'000};
  while (!done_) {
    const int signal = sigtimedwait(&signals_, nullptr, &tick);
    if (signal <= 0) continue;
    std::lock_guard lock(mutex_);
    // the user asked twice, or the session is already ending: no more waiting
    if (received_ || closed_) ::_exit(128 + signal);
    received_ = signal;
    if (handler_) handler_();
  }
}

}  // namespace orvane_session
