#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

enum class KeyValueChange { will, did };

// A unit of work for an operation queue. Its state is read through the properties below, and
// every change of it is announced under the property's key ("isExecuting", "isFinished",
// "isReady", "isCancelled") to the operation's observers, on the thread that makes the change.
// Operations are owned by std::shared_ptr.
class Operation : public std::enable_shared_from_this<Operation> {
 public:
  using ValueObserver = std::function<void(Operation& operation, KeyValueChange change, const std::string& key)>;

  Operation() = default;
  virtual ~Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  // The platform's own start, for synchronous operations: a cancelled operation finishes
  // without running main; otherwise executing, main, finished, each announced.
  virtual void start();
  virtual void main() {}

  virtual bool isAsynchronous() const { return false; }
  virtual bool isReady() const { return true; }
  virtual bool isExecuting() const { return executing_.load(); }
  virtual bool isFinished() const { return finished_.load(); }
  bool isCancelled() const { return cancelled_.load(); }
  // Marks the operation cancelled (announced under "isCancelled"); what it does about it is its own.
  void cancel();

  void willChangeValueForKey(const std::string& key);
  void didChangeValueForKey(const std::string& key);
  // Called for every announcement from now on, in the order added, outside any lock.
  void addObserver(ValueObserver observer);

 private:
  friend class OperationQueue;
  void announce(KeyValueChange change, const std::string& key);

  std::atomic<bool> executing_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> enqueued_{false};
  std::mutex observersMutex_;
  std::vector<std::shared_ptr<const ValueObserver>> observers_;
};

// Runs operations on the process's background workers, started in the order added, at most
// maxConcurrentOperationCount at a time (-1: no limit). An operation holds its slot until it
// announces "isFinished" (did-change) while finished; the queue then lets it go at once, on
// the announcing thread, and starts the next one. Safe from any thread.
class OperationQueue {
 public:
  static constexpr long defaultMaxConcurrentOperationCount = -1;

  OperationQueue();
  ~OperationQueue();
  OperationQueue(const OperationQueue&) = delete;
  OperationQueue& operator=(const OperationQueue&) = delete;

  long maxConcurrentOperationCount() const;
  // Raising the limit starts waiting operations at once.
  void setMaxConcurrentOperationCount(long count);

  // An operation already added to a queue, or finished, is a programming error.
  void addOperation(std::shared_ptr<Operation> operation);

  // Operations added and not yet finished, waiting or running.
  std::size_t operationCount() const;
  std::vector<std::shared_ptr<Operation>> operations() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace platform
