#include "platform/foundation/operation_queue.h"

#include <algorithm>
#include <deque>

#include "platform/foundation/console.h"
#include "platform/foundation/queues.h"

namespace platform {

namespace {
const std::string kIsExecuting = "isExecuting";
const std::string kIsFinished = "isFinished";
const std::string kIsCancelled = "isCancelled";
}  // namespace

void Operation::start() {
  if (isCancelled()) {
    willChangeValueForKey(kIsFinished);
    finished_.store(true);
    didChangeValueForKey(kIsFinished);
    return;
  }
  willChangeValueForKey(kIsExecuting);
  executing_.store(true);
  didChangeValueForKey(kIsExecuting);
  main();
  willChangeValueForKey(kIsExecuting);
  willChangeValueForKey(kIsFinished);
  executing_.store(false);
  finished_.store(true);
  didChangeValueForKey(kIsExecuting);
  didChangeValueForKey(kIsFinished);
}

void Operation::cancel() {
  if (cancelled_.load()) return;
  willChangeValueForKey(kIsCancelled);
  cancelled_.store(true);
  didChangeValueForKey(kIsCancelled);
}

void Operation::willChangeValueForKey(const std::string& key) { announce(KeyValueChange::will, key); }

void Operation::didChangeValueForKey(const std::string& key) { announce(KeyValueChange::did, key); }

void Operation::addObserver(ValueObserver observer) {
  std::lock_guard lock(observersMutex_);
  observers_.push_back(std::make_shared<const ValueObserver>(std::move(observer)));
}

void Operation::announce(KeyValueChange change, const std::string& key) {
  // an observer (the queue) may drop the last other reference to this operation
  auto self = weak_from_this().lock();
  std::vector<std::shared_ptr<const ValueObserver>> observers;
  {
    std::lock_guard lock(observersMutex_);
    observers = observers_;
  }
  for (const auto& o : observers) (*o)(*this, change, key);
}

struct OperationQueue::State : std::enable_shared_from_this<OperationQueue::State> {
  mutable std::mutex mutex;
  long maxConcurrent = defaultMaxConcurrentOperationCount;
  std::deque<std::shared_ptr<Operation>> waiting;
  std::vector<std::shared_ptr<Operation>> running;

  std::deque<std::shared_ptr<Operation>> toStart;  // admitted, start() not yet called
  bool starterActive = false;

  // Admits what fits into the running set. One starter task at a time calls start() on the
  // admitted operations, so they start in the order added; a synchronous operation, whose
  // start() runs its work, gets a worker of its own.
  void launchWhatFits() {
    bool needStarter = false;
    {
      std::lock_guard lock(mutex);
      while (!waiting.empty() && (maxConcurrent < 0 || running.size() < static_cast<std::size_t>(maxConcurrent))) {
        running.push_back(waiting.front());
        toStart.push_back(std::move(waiting.front()));
        waiting.pop_front();
      }
      if (!toStart.empty() && !starterActive) needStarter = starterActive = true;
    }
    if (needStarter) DispatchQueue::global().async([self = shared_from_this()] { self->startAdmitted(); });
  }

  void startAdmitted() {
    for (;;) {
      std::shared_ptr<Operation> op;
      {
        std::lock_guard lock(mutex);
        if (toStart.empty()) {
          starterActive = false;
          return;
        }
        op = std::move(toStart.front());
        toStart.pop_front();
      }
      if (op->isAsynchronous())
        op->start();
      else
        DispatchQueue::global().async([op = std::move(op)] { op->start(); });
    }
  }

  void finished(Operation& op) {
    std::shared_ptr<Operation> released;  // let go outside the lock
    {
      std::lock_guard lock(mutex);
      auto same = [&](const std::shared_ptr<Operation>& p) { return p.get() == &op; };
      if (auto it = std::find_if(running.begin(), running.end(), same); it != running.end()) {
        released = std::move(*it);
        running.erase(it);
      } else if (auto w = std::find_if(waiting.begin(), waiting.end(), same); w != waiting.end()) {
        released = std::move(*w);
        waiting.erase(w);
      } else {
        return;  // announced once more: already gone
      }
    }
    launchWhatFits();
  }
};

OperationQueue::OperationQueue() : state_(std::make_shared<State>()) {}

OperationQueue::~OperationQueue() = default;

long OperationQueue::maxConcurrentOperationCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->maxConcurrent;
}

void OperationQueue::setMaxConcurrentOperationCount(long count) {
  {
    std::lock_guard lock(state_->mutex);
    state_->maxConcurrent = count < 0 ? defaultMaxConcurrentOperationCount : count;
  }
  state_->launchWhatFits();
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
  if (!operation) fatalError("OperationQueue::addOperation needs an operation");
  if (operation->enqueued_.exchange(true) || operation->isFinished())
    fatalError("an operation was added to a queue twice, or after it had finished");
  operation->addObserver([weak = std::weak_ptr<State>(state_)](Operation& op, KeyValueChange change,
                                                               const std::string& key) {
    if (change != KeyValueChange::did || key != kIsFinished || !op.isFinished()) return;
    if (auto state = weak.lock()) state->finished(op);
  });
  {
    std::lock_guard lock(state_->mutex);
    state_->waiting.push_back(std::move(operation));
  }
  state_->launchWhatFits();
}

std::size_t OperationQueue::operationCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->waiting.size() + state_->running.size();
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
  std::lock_guard lock(state_->mutex);
  std::vector<std::shared_ptr<Operation>> all(state_->running.begin(), state_->running.end());
  all.insert(all.end(), state_->waiting.begin(), state_->waiting.end());
  return all;
}

}  // namespace platform
