#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "platform/foundation/operation_queue.h"

enum class OperationState : std::int64_t { ready = 0, executing = 1, finished = 2 };

// The member with that raw value, none for any other.
std::optional<OperationState> OperationStateFromRawValue(std::int64_t raw);

// An operation whose work ends after main has returned. It keeps its own state and announces
// each change under the key of the new state only ("isReady", "isExecuting", "isFinished").
class AsyncOperation : public platform::Operation {
 public:
  AsyncOperation() = default;

  OperationState operationState() const { return operationState_.load(); }

  // will-change "isFinished", finished, did-change "isFinished".
  virtual void finish();
  // will-change the new state's key, the new state, did-change the same key.
  virtual void setState(OperationState state);

  bool isAsynchronous() const override { return true; }
  bool isExecuting() const override { return operationState() == OperationState::executing; }
  bool isFinished() const override { return operationState() == OperationState::finished; }

  // Cancelled: finish, and main is not run. Otherwise ready (announced once more), then main.
  void start() override;
  // Cancelled: finish; otherwise executing. Subclasses call it first.
  void main() override;

 private:
  // read by the queue on its own threads
  std::atomic<OperationState> operationState_{OperationState::ready};
};
