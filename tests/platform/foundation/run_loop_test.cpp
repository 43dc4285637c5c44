#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/queues.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

using testing::Sandbox;

double nowSeconds(Sandbox& s) { return toSeconds(s.clock().now()); }

TEST(RunLoop, TasksRunByDueTimeThenFirstInFirstOut) {
  Sandbox s;
  std::vector<std::string> order;
  auto& q = DispatchQueue::main();
  q.asyncAfter(0.5, [&] { order.push_back("0.5@" + std::to_string(nowSeconds(s))); });
  q.asyncAfter(0.3, [&] { order.push_back("0.3a"); });
  q.asyncAfter(0.3, [&] {
    order.push_back("0.3b");
    // 0.3 + 0.2 lands exactly on 0.5, after the task already due there
    q.asyncAfter(0.2, [&] { order.push_back("nested@" + std::to_string(nowSeconds(s))); });
  });
  q.async([&] { order.push_back("now"); });
  s.loop().runFor(1.0);
  EXPECT_EQ(order, (std::vector<std::string>{"now", "0.3a", "0.3b", "0.5@0.500000", "nested@0.500000"}));
  EXPECT_EQ(s.clock().now(), seconds(1.0));
}

TEST(RunLoop, RunUntilIdleDoesNotMoveTime) {
  Sandbox s;
  int ran = 0;
  DispatchQueue::main().async([&] { ++ran; });
  DispatchQueue::main().asyncAfter(1.0, [&] { ran += 10; });
  s.loop().runUntilIdle();
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(s.clock().now(), Duration::zero());
  EXPECT_EQ(s.loop().pendingCount(), 1u);
}

TEST(RunLoop, RunUntilGivesUpWhenNothingCanHappen) {
  Sandbox s;
  bool flag = false;
  EXPECT_FALSE(s.loop().runUntil([&] { return flag; }));
  DispatchQueue::main().asyncAfter(30.0, [&] { flag = true; });
  EXPECT_FALSE(s.loop().runUntil([&] { return flag; }, seconds(10)));
  EXPECT_TRUE(s.loop().runUntil([&] { return flag; }));
  EXPECT_EQ(s.clock().now(), seconds(30));
}

TEST(RunLoop, VirtualTimeWaitsForBackgroundWorkInFlight) {
  Sandbox s;
  std::atomic<bool> workerOnMain{true};
  std::vector<std::string> order;
  DispatchQueue::main().asyncAfter(1.0, [&] { order.push_back("timer@" + std::to_string(nowSeconds(s))); });
  DispatchQueue::global().async([&] {
    workerOnMain = isMainThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    DispatchQueue::main().async([&] { order.push_back("reply@" + std::to_string(nowSeconds(s))); });
  });
  s.loop().runFor(2.0);
  EXPECT_FALSE(workerOnMain);
  EXPECT_EQ(order, (std::vector<std::string>{"reply@0.000000", "timer@1.000000"}));
  EXPECT_TRUE(isMainThread());
}

TEST(RunLoop, BackgroundTasksMayRunAtTheSameTime) {
  Sandbox s;
  std::atomic<int> arrived{0};
  // each task waits for the other: a serial queue would never finish
  for (int i = 0; i < 2; ++i)
    DispatchQueue::global().async([&] {
      ++arrived;
      for (int k = 0; k < 1000 && arrived.load() < 2; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
  s.loop().runUntilIdle();
  EXPECT_EQ(arrived.load(), 2);
}

TEST(Timer, RepeatingScheduleIsNotShiftedByFire) {
  Sandbox s;
  std::vector<double> fires;
  auto timer = Timer::scheduledTimer(5.0, true, [&](Timer&) { fires.push_back(nowSeconds(s)); });
  DispatchQueue::main().async([&] { timer->fire(); });
  DispatchQueue::main().asyncAfter(7.0, [&] { timer->fire(); });
  s.loop().runFor(16.0);
  EXPECT_EQ(fires, (std::vector<double>{0, 5, 7, 10, 15}));
  EXPECT_TRUE(timer->isValid());
  EXPECT_EQ(timer->fireCount(), 5u);
}

TEST(Timer, InvalidateStopsFiringsAlreadyDue) {
  Sandbox s;
  int fires = 0;
  auto timer = Timer::scheduledTimer(1.0, true, [&](Timer&) { ++fires; });
  s.loop().runFor(2.0);
  EXPECT_EQ(fires, 2);
  s.clock().advanceTo(seconds(3.0));  // the third firing is due but has not run
  timer->invalidate();
  timer->invalidate();
  s.loop().runFor(5.0);
  EXPECT_EQ(fires, 2);
  timer->fire();
  EXPECT_EQ(fires, 2);
  EXPECT_EQ(s.loop().pendingCount(), 0u);
}

TEST(Timer, OneShotFiresOnceAndInvalidatesItself) {
  Sandbox s;
  std::vector<double> fires;
  auto timer = Timer::scheduledTimer(0.5, false, [&](Timer&) { fires.push_back(nowSeconds(s)); });
  s.loop().runFor(3.0);
  EXPECT_EQ(fires, (std::vector<double>{0.5}));
  EXPECT_FALSE(timer->isValid());
}

TEST(Timer, InvalidateFromItsOwnBlock) {
  Sandbox s;
  int fires = 0;
  auto timer = Timer::scheduledTimer(1.0, true, [&](Timer& t) {
    if (++fires == 3) t.invalidate();
  });
  s.loop().runFor(10.0);
  EXPECT_EQ(fires, 3);
}

}  // namespace
}  // namespace platform
