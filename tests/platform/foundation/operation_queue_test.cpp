#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/operation_queue.h"
#include "platform/foundation/queues.h"
#include "platform/testing/operation_log.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

using testing::OperationLog;
using testing::Sandbox;

// Executing once started; finished only when the test says so.
class ManualOperation : public Operation {
 public:
  bool isAsynchronous() const override { return true; }
  bool isExecuting() const override { return executing_.load(); }
  bool isFinished() const override { return finished_.load(); }
  void start() override {
    willChangeValueForKey("isExecuting");
    executing_ = true;
    didChangeValueForKey("isExecuting");
  }
  // "isFinished" alone, as the look-ups announce it.
  void finish() {
    willChangeValueForKey("isFinished");
    executing_ = false;
    finished_ = true;
    didChangeValueForKey("isFinished");
  }

 private:
  std::atomic<bool> executing_{false};
  std::atomic<bool> finished_{false};
};

struct QueueFixture : ::testing::Test {
  Sandbox sandbox;
  OperationLog log;
  OperationQueue queue;
  std::vector<std::shared_ptr<ManualOperation>> ops;

  void add(int count) {
    for (int i = 0; i < count; ++i) {
      auto op = std::make_shared<ManualOperation>();
      log.watch(*op, "op" + std::to_string(ops.size() + 1));
      ops.push_back(op);
      queue.addOperation(op);
    }
  }
  void settle() { sandbox.loop().runUntilIdle(); }
};

TEST_F(QueueFixture, StartsInOrderAndHoldsTheLimitUntilAnOperationFinishes) {
  queue.setMaxConcurrentOperationCount(3);
  add(5);
  settle();
  EXPECT_EQ(log.startOrder(), (std::vector<std::string>{"op1", "op2", "op3"}));
  EXPECT_EQ(queue.operationCount(), 5u);

  ops[1]->finish();
  EXPECT_EQ(queue.operationCount(), 4u);  // let go on the announcing thread, before it returns
  settle();
  EXPECT_EQ(log.startOrder(), (std::vector<std::string>{"op1", "op2", "op3", "op4"}));

  ops[0]->finish();
  ops[2]->finish();
  settle();
  ops[3]->finish();
  ops[4]->finish();
  settle();
  EXPECT_EQ(log.startOrder(), (std::vector<std::string>{"op1", "op2", "op3", "op4", "op5"}));
  EXPECT_EQ(log.mostExecutingAtOnce(), 3u);
  EXPECT_EQ(queue.operationCount(), 0u);
}

TEST_F(QueueFixture, StartsOnWorkersNotTheMainThread) {
  add(1);
  settle();
  auto events = log.events("op1");
  ASSERT_FALSE(events.empty());
  for (const auto& e : events) EXPECT_FALSE(e.onMainThread) << e.key;
}

TEST_F(QueueFixture, OnlyAFinishedAnnouncementFreesTheSlot) {
  queue.setMaxConcurrentOperationCount(1);
  add(2);
  settle();
  // a did-change of "isFinished" while not finished, and "isExecuting" alone, keep the slot
  ops[0]->willChangeValueForKey("isFinished");
  ops[0]->didChangeValueForKey("isFinished");
  ops[0]->didChangeValueForKey("isExecuting");
  settle();
  EXPECT_EQ(queue.operationCount(), 2u);
  EXPECT_TRUE(log.events("op2").empty());

  ops[0]->finish();
  ops[0]->didChangeValueForKey("isFinished");  // a duplicate changes nothing
  settle();
  EXPECT_EQ(queue.operationCount(), 1u);
  EXPECT_TRUE(ops[1]->isExecuting());
}

TEST_F(QueueFixture, RaisingTheLimitStartsWaitingOperations) {
  queue.setMaxConcurrentOperationCount(0);
  add(2);
  settle();
  EXPECT_TRUE(log.startOrder().empty());
  queue.setMaxConcurrentOperationCount(OperationQueue::defaultMaxConcurrentOperationCount);
  settle();
  EXPECT_EQ(log.startOrder().size(), 2u);
  EXPECT_EQ(queue.maxConcurrentOperationCount(), -1);
}

class CountingOperation : public Operation {
 public:
  void main() override {
    ++mains;
    onMain = isMainThread();
  }
  std::atomic<int> mains{0};
  std::atomic<bool> onMain{true};
};

TEST(OperationQueueSynchronous, RunsMainOnAWorkerThenLeavesTheQueue) {
  Sandbox sandbox;
  OperationQueue queue;
  OperationLog log;
  auto op = std::make_shared<CountingOperation>();
  log.watch(*op, "sync");
  queue.addOperation(op);
  sandbox.loop().runUntil([&] { return queue.operationCount() == 0; });
  EXPECT_EQ(op->mains.load(), 1);
  EXPECT_FALSE(op->onMain.load());
  EXPECT_TRUE(op->isFinished());
  EXPECT_FALSE(op->isExecuting());
}

TEST(OperationQueueSynchronous, ACancelledOperationFinishesWithoutMain) {
  Sandbox sandbox;
  OperationQueue queue;
  queue.setMaxConcurrentOperationCount(0);
  auto op = std::make_shared<CountingOperation>();
  queue.addOperation(op);
  op->cancel();
  EXPECT_TRUE(op->isCancelled());
  queue.setMaxConcurrentOperationCount(1);
  sandbox.loop().runUntil([&] { return queue.operationCount() == 0; });
  EXPECT_EQ(op->mains.load(), 0);
  EXPECT_TRUE(op->isFinished());
}

TEST(OperationQueueDeathTest, AddingAnOperationTwiceIsAProgrammingError) {
  EXPECT_DEATH(
      {
        Sandbox sandbox;
        OperationQueue queue;
        queue.setMaxConcurrentOperationCount(0);
        auto op = std::make_shared<CountingOperation>();
        queue.addOperation(op);
        queue.addOperation(op);
      },
      "added to a queue twice");
}

}  // namespace
}  // namespace platform
