#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/notification_center.h"
#include "platform/foundation/queues.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

struct Owner {};

TEST(NotificationCenter, DeliversInRegistrationOrderOnThePostingThread) {
  testing::Sandbox s;
  auto& center = NotificationCenter::defaultCenter();
  std::vector<std::string> got;
  std::vector<std::thread::id> threads;
  auto a = std::make_shared<Owner>();
  center.addObserver(a, "ping", [&](const Notification&) { got.push_back("a"); threads.push_back(std::this_thread::get_id()); });
  center.addObserver("ping", [&](const Notification&) { got.push_back("b"); threads.push_back(std::this_thread::get_id()); });
  center.addObserver(a, "other", [&](const Notification&) { got.push_back("other"); });

  std::thread poster([&] { center.post("ping"); });
  const auto posterId = poster.get_id();
  poster.join();
  EXPECT_EQ(got, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(threads, (std::vector<std::thread::id>{posterId, posterId}));

  center.post("ping");
  ASSERT_EQ(testing::recorder().posts().size(), 2u);
  EXPECT_FALSE(testing::recorder().posts()[0].onMainThread);
  EXPECT_TRUE(testing::recorder().posts()[1].onMainThread);
}

TEST(NotificationCenter, SkipsObserversWhoseOwnerIsGoneAndRemovedOnes) {
  testing::Sandbox s;
  auto& center = NotificationCenter::defaultCenter();
  int aCalls = 0, bCalls = 0, cCalls = 0;
  auto a = std::make_shared<Owner>();
  auto b = std::make_shared<Owner>();
  auto c = std::make_shared<Owner>();
  center.addObserver(a, "n", [&](const Notification&) { ++aCalls; });
  center.addObserver(b, "n", [&](const Notification&) { ++bCalls; });
  center.addObserver(b, "m", [&](const Notification&) { ++bCalls; });
  center.addObserver(c, "n", [&](const Notification&) { ++cCalls; });
  center.post("n");
  a.reset();
  center.removeObserver(b.get());
  center.post("n");
  center.post("m");
  EXPECT_EQ(aCalls, 1);
  EXPECT_EQ(bCalls, 1);
  EXPECT_EQ(cCalls, 2);
}

TEST(NotificationCenter, ObserverRegisteredTwiceHearsTwiceAndSenderFilters) {
  testing::Sandbox s;
  auto& center = NotificationCenter::defaultCenter();
  int calls = 0, filtered = 0;
  int sender = 0, otherSender = 0;
  auto a = std::make_shared<Owner>();
  center.addObserver(a, "n", [&](const Notification&) { ++calls; });
  center.addObserver(a, "n", [&](const Notification&) { ++calls; });
  center.addObserver(a, "n", [&](const Notification&) { ++filtered; }, &sender);
  center.post("n", &otherSender);
  center.post("n", &sender);
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(filtered, 1);
}

TEST(NotificationCenter, RegisteringWhilePostingFromOtherThreads) {
  testing::Sandbox s;
  auto& center = NotificationCenter::defaultCenter();
  std::atomic<int> calls{0};
  std::vector<std::shared_ptr<Owner>> owners;
  for (int i = 0; i < 100; ++i) owners.push_back(std::make_shared<Owner>());
  std::thread poster([&] {
    for (int i = 0; i < 200; ++i) center.post("n");
  });
  for (auto& o : owners) center.addObserver(o, "n", [&](const Notification&) { ++calls; });
  poster.join();
  const int before = calls.load();
  center.post("n");
  EXPECT_EQ(calls.load() - before, 100);
}

TEST(NotificationCenter, ObserverMayRegisterAndPostFromItsCallback) {
  testing::Sandbox s;
  auto& center = NotificationCenter::defaultCenter();
  std::vector<std::string> got;
  center.addObserver("first", [&](const Notification&) {
    got.push_back("first");
    center.addObserver("second", [&](const Notification&) { got.push_back("second"); });
    center.post("second");
  });
  center.post("first");
  EXPECT_EQ(got, (std::vector<std::string>{"first", "second"}));
}

}  // namespace
}  // namespace platform
