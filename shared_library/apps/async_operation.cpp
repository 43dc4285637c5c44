#include "shared_library/apps/async_operation.h"

#include <string>

namespace {
const char* keyFor(OperationState state) {
  switch (state) {
    case OperationState::ready: return "isReady";
    case OperationState::executing: return "isExecuting";
    case OperationState::finished: return "isFinished";
  }
  return "isReady";
}
}  // namespace

std::optional<OperationState> OperationStateFromRawValue(std::int64_t raw) {
  if (raw < 0 || raw > 2) return std::nullopt;
  return static_cast<OperationState>(raw);
}

void AsyncOperation::finish() {
  willChangeValueForKey("isFinished");
  operationState_.store(OperationState::finished);
  didChangeValueForKey("isFinished");
}

void AsyncOperation::setState(OperationState state) {
  const std::string key = keyFor(state);
  willChangeValueForKey(key);
  operationState_.store(state);
  didChangeValueForKey(key);
}

void AsyncOperation::start() {
  if (isCancelled()) {
    finish();
    return;
  }
  setState(OperationState::ready);
  main();
}

void AsyncOperation::main() {
  if (isCancelled()) {
    finish();
    return;
  }
  setState(OperationState::executing);
}
