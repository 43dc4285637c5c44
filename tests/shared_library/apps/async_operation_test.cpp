#include "shared_library/apps/async_operation.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/testing/operation_log.h"
#include "platform/testing/sandbox.h"

namespace {

using platform::KeyValueChange;
using platform::testing::OperationLog;
using platform::testing::Sandbox;

// "will:key" / "did:key", in order.
std::vector<std::string> announced(const OperationLog& log) {
  std::vector<std::string> out;
  for (const auto& e : log.events()) out.push_back((e.change == KeyValueChange::will ? "will:" : "did:") + e.key);
  return out;
}

TEST(OperationState, RawValues) {
  EXPECT_EQ(static_cast<int>(OperationState::ready), 0);
  EXPECT_EQ(static_cast<int>(OperationState::executing), 1);
  EXPECT_EQ(static_cast<int>(OperationState::finished), 2);
  EXPECT_EQ(OperationStateFromRawValue(1), OperationState::executing);
  EXPECT_EQ(OperationStateFromRawValue(3), std::nullopt);
  EXPECT_EQ(OperationStateFromRawValue(-1), std::nullopt);
}

TEST(AsyncOperation, StartAnnouncesReadyThenExecutingAndFinishingAnnouncesOnlyFinished) {
  Sandbox sandbox;
  auto op = std::make_shared<AsyncOperation>();
  OperationLog log;
  log.watch(*op, "op");
  EXPECT_TRUE(op->isAsynchronous());
  op->start();
  EXPECT_TRUE(op->isExecuting());
  op->setState(OperationState::finished);
  EXPECT_TRUE(op->isFinished());
  EXPECT_FALSE(op->isExecuting());
  EXPECT_EQ(announced(log), (std::vector<std::string>{"will:isReady", "did:isReady", "will:isExecuting",
                                                      "did:isExecuting", "will:isFinished", "did:isFinished"}));
}

TEST(AsyncOperation, CancelledBeforeStartFinishesWithoutExecuting) {
  Sandbox sandbox;
  auto op = std::make_shared<AsyncOperation>();
  op->cancel();
  OperationLog log;
  log.watch(*op, "op");
  op->start();
  EXPECT_TRUE(op->isFinished());
  EXPECT_EQ(announced(log), (std::vector<std::string>{"will:isFinished", "did:isFinished"}));
}

TEST(AsyncOperation, CancelledMainFinishes) {
  Sandbox sandbox;
  auto op = std::make_shared<AsyncOperation>();
  op->cancel();
  op->main();
  EXPECT_EQ(op->operationState(), OperationState::finished);
}

}  // namespace
