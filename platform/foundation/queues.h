#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/foundation/time.h"

namespace platform {

using Task = std::function<void()>;

// Runs the task; an exception escaping it is reported on the console ("Uncaught exception "
// followed by `where`) instead of ending the program.
void runReportingEscapes(const Task& task, const char* where);

class BackgroundQueue;

// The main run loop and its queue. Posting is safe from any thread; running happens on the main
// thread only. Tasks run in order of due time, first in first out within one time.
class RunLoop {
 public:
  struct TaskId {
    Duration due{};
    std::uint64_t seq = 0;
    auto operator<=>(const TaskId&) const = default;
  };

  RunLoop(std::shared_ptr<Clock> clock, BackgroundQueue& background);
  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  const Clock& clock() const { return *clock_; }

  void async(Task task);
  void asyncAfter(Duration delay, Task task);
  void asyncAfter(double delaySeconds, Task task) { asyncAfter(seconds(delaySeconds), std::move(task)); }
  TaskId asyncAt(Duration due, Task task);
  bool cancel(TaskId id);

  // Drivers, main thread only. With a virtual clock, time moves to the next due task only while
  // nothing is due now and no background work is in flight; background work is waited for in
  // real time. With the real clock they wait for real.
  //
  // Runs until `done` holds; false when it cannot ever hold (nothing left to run), or when
  // `limit` of clock time or `realLimit` of real time passes first.
  bool runUntil(const std::function<bool()>& done, Duration limit = seconds(3600),
                std::chrono::milliseconds realLimit = std::chrono::seconds(60));
  // Runs everything due within `d`, then leaves the clock at now + d.
  void runFor(Duration d);
  void runFor(double s) { runFor(seconds(s)); }
  // Runs what is due now, and what background work in flight brings, without moving time.
  void runUntilIdle(std::chrono::milliseconds realLimit = std::chrono::seconds(60));
  // The application's loop: runs until stop().
  void run();
  void stop();

  size_t pendingCount() const;
  std::optional<Duration> nextDue() const;
  // Wakes a waiting driver (background work finished).
  void wake();

  // Drops every pending task (the process is ending).
  void clear();

 private:
  bool runOneDue();
  // Waits (real time) until something is due, background work finishes, or `until` (clock time).
  void waitForWork(std::optional<Duration> until, std::chrono::milliseconds maxWait);

  std::shared_ptr<Clock> clock_;
  VirtualClock* virtual_;
  BackgroundQueue& background_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::map<TaskId, Task> tasks_;
  std::uint64_t nextSeq_ = 0;
  bool stopRequested_ = false;
};

// A pool of worker threads: every task runs on some thread other than the main one, and tasks may
// run at the same time. Tasks queued or running count as background work in flight.
class BackgroundQueue {
 public:
  explicit BackgroundQueue(size_t maxThreads = 64);
  ~BackgroundQueue();
  BackgroundQueue(const BackgroundQueue&) = delete;
  BackgroundQueue& operator=(const BackgroundQueue&) = delete;

  void async(Task task);
  size_t inFlight() const { return inFlight_.load(); }
  void setOnTaskDone(std::function<void()> f);
  // Waits for every task, then ends the workers. No task may be added afterwards.
  void shutdown();

 private:
  void worker();

  const size_t maxThreads_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Task> queue_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  bool stopping_ = false;
  std::atomic<size_t> inFlight_{0};
  std::function<void()> onTaskDone_;
};

// The platform's queue names over the current process's loop and pool.
class DispatchQueue {
 public:
  // The main queue.
  static RunLoop& main();
  // The shared concurrent queue of background workers.
  static BackgroundQueue& global();
};

bool isMainThread();

// A timer on the main run loop. Repeating timers fire at start + k * interval, without drift.
class Timer : public std::enable_shared_from_this<Timer> {
 public:
  using Block = std::function<void(Timer&)>;
  static std::shared_ptr<Timer> scheduledTimer(double interval, bool repeats, Block block);

  // Runs the block now. A repeating timer keeps its schedule; a one-shot timer is spent.
  void fire();
  // Idempotent; a firing already due does not happen.
  void invalidate();
  bool isValid() const { return valid_.load(); }
  double timeInterval() const { return toSeconds(interval_); }
  std::uint64_t fireCount() const { return fires_.load(); }

  Timer(RunLoop& loop, Duration interval, bool repeats, Block block);

 private:
  void scheduleNext();
  void tick();

  RunLoop& loop_;
  const Duration interval_;
  const bool repeats_;
  Block block_;
  std::atomic<bool> valid_{true};
  std::atomic<std::uint64_t> fires_{0};
  Duration start_{};
  std::uint64_t periods_ = 0;  // scheduled firings so far
  std::mutex mutex_;
  std::optional<RunLoop::TaskId> pending_;
};

}  // namespace platform
