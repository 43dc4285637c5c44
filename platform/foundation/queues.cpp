#include "platform/foundation/queues.h"

#include <exception>
#include <string>

#include "platform/foundation/console.h"
#include "platform/foundation/process.h"

namespace platform {

namespace {
using Steady = std::chrono::steady_clock;
constexpr auto kBackgroundPoll = std::chrono::milliseconds(20);
constexpr auto kRealPoll = std::chrono::milliseconds(100);
}  // namespace

RunLoop::RunLoop(std::shared_ptr<Clock> clock, BackgroundQueue& background)
    : clock_(std::move(clock)), virtual_(dynamic_cast<VirtualClock*>(clock_.get())), background_(background) {}

RunLoop::~RunLoop() { clear(); }

void RunLoop::async(Task task) { asyncAt(clock_->now(), std::move(task)); }

void RunLoop::asyncAfter(Duration delay, Task task) {
  if (delay < Duration::zero()) delay = Duration::zero();
  asyncAt(clock_->now() + delay, std::move(task));
}

RunLoop::TaskId RunLoop::asyncAt(Duration due, Task task) {
  TaskId id;
  {
    std::lock_guard lock(mutex_);
    id = TaskId{due, nextSeq_++};
    tasks_.emplace(id, std::move(task));
  }
  cv_.notify_all();
  return id;
}

bool RunLoop::cancel(TaskId id) {
  Task dropped;  // destroyed after the lock is released: it may own the caller
  std::lock_guard lock(mutex_);
  auto it = tasks_.find(id);
  if (it == tasks_.end()) return false;
  dropped = std::move(it->second);
  tasks_.erase(it);
  return true;
}

bool RunLoop::runOneDue() {
  Task task;
  {
    std::lock_guard lock(mutex_);
    if (tasks_.empty() || tasks_.begin()->first.due > clock_->now()) return false;
    task = std::move(tasks_.begin()->second);
    tasks_.erase(tasks_.begin());
  }
  task();
  return true;
}

size_t RunLoop::pendingCount() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

std::optional<Duration> RunLoop::nextDue() const {
  std::lock_guard lock(mutex_);
  if (tasks_.empty()) return std::nullopt;
  return tasks_.begin()->first.due;
}

void RunLoop::wake() {
  { std::lock_guard lock(mutex_); }
  cv_.notify_all();
}

void RunLoop::clear() {
  std::map<TaskId, Task> dropped;
  std::lock_guard lock(mutex_);
  dropped.swap(tasks_);
}

void RunLoop::waitForWork(std::optional<Duration> until, std::chrono::milliseconds maxWait) {
  std::unique_lock lock(mutex_);
  const auto now = clock_->now();
  if (stopRequested_ || (!tasks_.empty() && tasks_.begin()->first.due <= now)) return;
  auto wait = maxWait;
  if (!virtual_) {
    // the real clock moves by itself: wake for the next due task or the caller's deadline
    std::optional<Duration> target = until;
    if (!tasks_.empty()) target = target ? std::min(*target, tasks_.begin()->first.due) : tasks_.begin()->first.due;
    if (target) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(*target - now);
      wait = std::max(std::chrono::milliseconds(0), std::min(wait, left));
    }
  }
  const auto seq = nextSeq_;
  const auto busy = background_.inFlight();
  cv_.wait_for(lock, wait, [&] {
    return stopRequested_ || nextSeq_ != seq || background_.inFlight() < busy;
  });
}

bool RunLoop::runUntil(const std::function<bool()>& done, Duration limit, std::chrono::milliseconds realLimit) {
  const auto deadline = clock_->now() + limit;
  const auto realDeadline = Steady::now() + realLimit;
  for (;;) {
    if (done()) return true;
    if (runOneDue()) continue;
    if (Steady::now() >= realDeadline || clock_->now() >= deadline) return done();
    if (background_.inFlight() > 0) {
      waitForWork(deadline, kBackgroundPoll);
      continue;
    }
    auto next = nextDue();
    if (virtual_) {
      if (!next || *next > deadline) return done();
      virtual_->advanceTo(*next);
      continue;
    }
    if (!next) return done();  // nothing can ever arrive: every source of work is idle
    waitForWork(deadline, kRealPoll);
  }
}

void RunLoop::runFor(Duration d) {
  const auto end = clock_->now() + d;
  for (;;) {
    if (runOneDue()) continue;
    if (background_.inFlight() > 0) {
      waitForWork(end, kBackgroundPoll);
      continue;
    }
    if (virtual_) {
      auto next = nextDue();
      if (next && *next <= end) {
        virtual_->advanceTo(*next);
        continue;
      }
      virtual_->advanceTo(end);
      return;
    }
    if (clock_->now() >= end) return;
    waitForWork(end, kRealPoll);
  }
}

void RunLoop::runUntilIdle(std::chrono::milliseconds realLimit) {
  const auto realDeadline = Steady::now() + realLimit;
  for (;;) {
    if (runOneDue()) continue;
    if (background_.inFlight() == 0 || Steady::now() >= realDeadline) return;
    waitForWork(std::nullopt, kBackgroundPoll);
  }
}

void RunLoop::run() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopRequested_) {
        stopRequested_ = false;
        return;
      }
    }
    if (runOneDue()) continue;
    waitForWork(std::nullopt, kRealPoll);
  }
}

void RunLoop::stop() {
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  cv_.notify_all();
}

BackgroundQueue::BackgroundQueue(size_t maxThreads) : maxThreads_(maxThreads == 0 ? 1 : maxThreads) {}

BackgroundQueue::~BackgroundQueue() { shutdown(); }

void BackgroundQueue::setOnTaskDone(std::function<void()> f) {
  std::lock_guard lock(mutex_);
  onTaskDone_ = std::move(f);
}

void BackgroundQueue::async(Task task) {
  std::lock_guard lock(mutex_);
  if (stopping_ && threads_.empty()) return;  // the process has ended
  inFlight_.fetch_add(1);
  queue_.push_back(std::move(task));
  if (queue_.size() > idle_ && threads_.size() < maxThreads_) threads_.emplace_back([this] { worker(); });
  cv_.notify_one();
}

void runReportingEscapes(const Task& task, const char* where) {
  try {
    task();
  } catch (const std::exception& e) {
    console(std::string("Uncaught exception ") + where + ": " + e.what());
  } catch (...) {
    console(std::string("Uncaught exception ") + where);
  }
}

void BackgroundQueue::worker() {
  for (;;) {
    Task task;
    std::function<void()> done;
    {
      std::unique_lock lock(mutex_);
      ++idle_;
      cv_.wait(lock, [&] { return !queue_.empty() || stopping_; });
      --idle_;
      if (queue_.empty()) return;
      task = std::move(queue_.front());
      queue_.pop_front();
      done = onTaskDone_;
    }
    runReportingEscapes(task, "on a background queue");
    task = nullptr;  // what the task held goes before it counts as done
    inFlight_.fetch_sub(1);
    if (done) done();
  }
}

void BackgroundQueue::shutdown() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  cv_.notify_all();
  // Workers drain the queue first; tasks they add on the way still run.
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (threads_.empty()) break;
      threads.swap(threads_);
    }
    cv_.notify_all();
    for (auto& t : threads) t.join();
    threads.clear();
  }
}

RunLoop& DispatchQueue::main() { return Process::current().mainLoop(); }

BackgroundQueue& DispatchQueue::global() { return Process::current().background(); }

bool isMainThread() {
  auto* p = Process::currentOrNull();
  return p && p->mainThreadId() == std::this_thread::get_id();
}

Timer::Timer(RunLoop& loop, Duration interval, bool repeats, Block block)
    : loop_(loop), interval_(std::max(interval, Duration(100))), repeats_(repeats), block_(std::move(block)) {}

std::shared_ptr<Timer> Timer::scheduledTimer(double interval, bool repeats, Block block) {
  auto& loop = DispatchQueue::main();
  auto timer = std::make_shared<Timer>(loop, seconds(interval), repeats, std::move(block));
  std::lock_guard lock(timer->mutex_);
  timer->start_ = loop.clock().now();
  timer->scheduleNext();
  return timer;
}

// Caller holds mutex_. The loop holds the timer strongly while it is scheduled.
void Timer::scheduleNext() {
  const auto now = loop_.clock().now();
  std::uint64_t k = periods_ + 1;
  if (start_ + interval_ * static_cast<std::int64_t>(k) <= now) {
    // firings missed while the loop was busy collapse into the next one
    k = static_cast<std::uint64_t>((now - start_) / interval_) + 1;
  }
  periods_ = k;
  pending_ = loop_.asyncAt(start_ + interval_ * static_cast<std::int64_t>(k),
                           [self = shared_from_this()] { self->tick(); });
}

void Timer::tick() {
  {
    std::lock_guard lock(mutex_);
    pending_.reset();
  }
  if (!valid_.load()) return;
  fires_.fetch_add(1);
  block_(*this);
  if (!repeats_) {
    valid_.store(false);
    return;
  }
  std::lock_guard lock(mutex_);
  if (valid_.load() && !pending_) scheduleNext();
}

void Timer::fire() {
  if (!valid_.load()) return;
  fires_.fetch_add(1);
  block_(*this);
  if (!repeats_) invalidate();
}

void Timer::invalidate() {
  auto keep = weak_from_this().lock();
  valid_.store(false);
  std::optional<RunLoop::TaskId> pending;
  {
    std::lock_guard lock(mutex_);
    pending.swap(pending_);
  }
  if (pending) loop_.cancel(*pending);
}

}  // namespace platform
