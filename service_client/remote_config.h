#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/foundation/error.h"
#include "platform/foundation/queues.h"
#include "platform/foundation/time.h"

// Keeps the remote configuration fresh: a fetch at launch, then one at the first 5-second tick
// more than 120 seconds after the last success; after three failures in a row it pauses for as
// long.
class QVCtrl : public std::enable_shared_from_this<QVCtrl> {
 public:
  // Posted after every successful fetch, on the transfer's background queue, with no object.
  static constexpr const char kUpdateNotificationName[] = "somenotifweneed";
  static constexpr double kTickInterval = 5.0;
  static constexpr double kRefreshInterval = 120.0;

  // The shared controller, made on first use exactly once; making it starts the timer.
  static std::shared_ptr<QVCtrl> oneInst();
  static void qv_getReady();

  // Starts the repeating timer on the main run loop and queues its first tick; once only.
  void qv_makeCtrl();
  // One tick: starts a fetch unless one is in flight or the last success (or give-up) is at most
  // 120 seconds away.
  void qv_refreshStatus();

  std::shared_ptr<platform::Timer> qv_refreshAll() const;
  // Failed fetches in a row since the last success or pause.
  std::int64_t qv_frequency() const { return frequency_.load(); }
  // Whether a fetch is in flight.
  bool qv_isReady() const { return inFlight_.load(); }
  // When the last fetch succeeded or the controller last gave up.
  std::optional<platform::Date> qv_nextAlertDate() const;

 private:
  struct Token {};

 public:
  explicit QVCtrl(Token) {}

 private:
  void fetchEnded(const std::optional<platform::Error>& error);

  mutable std::mutex mutex_;
  std::shared_ptr<platform::Timer> refreshAll_;
  std::atomic<std::int64_t> frequency_{0};
  std::atomic<bool> inFlight_{false};
  std::optional<platform::Date> nextAlertDate_;
};
