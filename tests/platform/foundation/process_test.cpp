#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/console.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/foundation/weak_callback.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

std::vector<std::string> gReleased;
std::atomic<int> gMade{0};

struct First {
  First() { ++gMade; }
  ~First() { gReleased.push_back("First"); }
};
struct Second {
  std::shared_ptr<First> first = Process::current().shared<First>([] { return std::make_shared<First>(); });
  ~Second() { gReleased.push_back("Second"); }
};

std::shared_ptr<First> first() { return Process::current().shared<First>([] { return std::make_shared<First>(); }); }
std::shared_ptr<Second> second() {
  return Process::current().shared<Second>([] { return std::make_shared<Second>(); });
}

TEST(Process, SharedInstanceIsMadeOnceWhicheverThreadAsksFirst) {
  gMade = 0;
  testing::Sandbox s;
  std::vector<std::thread> threads;
  std::vector<First*> seen(8);
  for (int i = 0; i < 8; ++i) threads.emplace_back([&, i] { seen[static_cast<size_t>(i)] = first().get(); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(gMade.load(), 1);
  for (auto* p : seen) EXPECT_EQ(p, seen[0]);
}

TEST(Process, EndReleasesSharedInstancesNewestFirstAndRelaunchMakesNewOnes) {
  gMade = 0;
  gReleased.clear();
  testing::Sandbox s;
  second();  // makes First inside, so First is older
  std::weak_ptr<Second> old = second();
  s.relaunch();
  EXPECT_TRUE(old.expired());
  EXPECT_EQ(gReleased, (std::vector<std::string>{"Second", "First"}));
  EXPECT_NE(second(), nullptr);
  EXPECT_EQ(gMade.load(), 2);
}

TEST(Process, BackgroundWorkFinishesBeforeSharedInstancesGo) {
  gReleased.clear();
  testing::Sandbox s;
  auto f = first();
  std::atomic<bool> finished{false};
  DispatchQueue::global().async([&finished, keep = std::weak_ptr<First>(f)] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    finished = !keep.expired();
  });
  f.reset();
  s.endProcess();
  EXPECT_TRUE(finished.load());
}

TEST(Process, ConsoleLinesAreKeptWhole) {
  testing::Sandbox s;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 50; ++i) console("line " + std::to_string(t) + " " + std::string(100, 'x'));
    });
  for (auto& t : threads) t.join();
  auto lines = s.consoleLines();
  ASSERT_EQ(lines.size(), 200u);
  for (const auto& l : lines) EXPECT_EQ(l.size(), 107u);
}

TEST(WhileAlive, CallsBackOnlyWhileTheOwnerLivesAndNeverKeepsItAlive) {
  auto owner = std::make_shared<std::vector<int>>();
  auto callback = whileAlive(std::weak_ptr<std::vector<int>>(owner), [](std::vector<int>& self, int value) {
    self.push_back(value);
  });
  callback(1);
  EXPECT_EQ(*owner, std::vector<int>{1});
  std::weak_ptr<std::vector<int>> watch = owner;
  owner.reset();
  EXPECT_TRUE(watch.expired());
  callback(2);  // nothing to call back
}

TEST(Device, IsHeldByOneOwnerAtATime) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(::testing::TempDir()) / ("orvane-device-held-" + std::to_string(::getpid()));
  fs::remove_all(root);
  {
    auto first = Device::open(root);
    try {
      Device::open(root);
      ADD_FAILURE() << "a second open succeeded";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "cannot use the device directory \"" + root.string() +
                                           "\": it is in use by another process");
    }
  }
  EXPECT_NO_THROW(Device::open(root));  // released with its owner
  fs::remove_all(root);
}

TEST(Device, DirectoryThatCannotBeUsedIsAClearError) {
  namespace fs = std::filesystem;
  const fs::path base = fs::path(::testing::TempDir()) / ("orvane-device-bad-" + std::to_string(::getpid()));
  fs::remove_all(base);
  fs::create_directories(base);
  { std::ofstream(base / "file") << "x"; }
  for (const fs::path& bad : {fs::path(), base / "file", base / "file" / "under"}) {
    try {
      Device::open(bad);
      ADD_FAILURE() << bad;
    } catch (const std::runtime_error& e) {
      const std::string what = e.what();
      EXPECT_EQ(what.rfind("cannot use the device directory \"" + bad.string() + "\": ", 0), 0u) << what;
      EXPECT_EQ(what.find('\n'), std::string::npos) << what;
    }
  }
  fs::remove_all(base);
}

TEST(Device, FoldersItMakesAreItsUsersAlone) {
  namespace fs = std::filesystem;
  const fs::path base = fs::path(::testing::TempDir()) / ("orvane-device-modes-" + std::to_string(::getpid()));
  const fs::path root = base / "device";
  fs::remove_all(base);
  auto mode = [](const fs::path& p) { return fs::status(p).permissions(); };
  const std::vector<fs::path> own = {root / "Library", root / "Library" / "Preferences", root / "tmp"};
  {
    auto device = Device::open(root);
    for (const auto& dir : own) EXPECT_EQ(mode(dir), fs::perms::owner_all) << dir;
    EXPECT_EQ(mode(root), fs::perms::owner_all);
    EXPECT_EQ(mode(base), fs::perms::owner_all);  // made on the way
  }
  // folders left open by an earlier version are closed; the device directory is the user's choice
  const auto open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                    fs::perms::others_exec;
  for (const auto& dir : own) fs::permissions(dir, open);
  fs::permissions(root, open);
  {
    auto device = Device::open(root);
    for (const auto& dir : own) EXPECT_EQ(mode(dir), fs::perms::owner_all) << dir;
    EXPECT_EQ(mode(root), open);
  }
  fs::remove_all(base);
}

TEST(ProcessDeathTest, FatalErrorStopsTheProgramWithItsMessage) {
  EXPECT_DEATH(fatalError("missing storyboard \"Main\""), "missing storyboard \"Main\"");
  EXPECT_DEATH(Process::current(), "no process is running");
}

}  // namespace
}  // namespace platform
