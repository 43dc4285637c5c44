#include "shared_library/loading/app_loading_screen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/queues.h"
#include "platform/testing/collected.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/scripted_random.h"
#include "platform/uikit/application.h"
#include "platform/uikit/storyboard.h"
#include "shared_library/loading/progress_step.h"
#include "shared_library/support/lks_constants.h"

namespace {

using platform::testing::Collected;
using platform::testing::Sandbox;
using platform::testing::ScriptedRandom;
using Change = platform::UIProgressView::Change;

constexpr std::size_t kTop = 1u << 24;
constexpr double kLow = 0.070000000298023224;    // draw 0
constexpr double kMid = 0.094999998807907104;    // draw 2^23
constexpr double kHigh = 0.11999999731779099;    // draw 2^24

struct SplashFixture : ::testing::Test {
  std::shared_ptr<ScriptedRandom> random = std::make_shared<ScriptedRandom>();
  std::unique_ptr<Sandbox> sandbox;
  std::shared_ptr<platform::UIWindow> window;
  std::shared_ptr<AppLoadingScreen> screen;
  Collected<bool> completions;  // on the main thread?

  void SetUp() override {
    Sandbox::Options options;
    options.random = random;
    options.bundle.resourcePath = ORVANE_RESOURCES_DIR;
    sandbox = std::make_unique<Sandbox>(std::move(options));
    AppLoadingScreen::registerStoryboardClass();
    platform::NotificationCenter::defaultCenter().addObserver(
        LKSConstants::progressCompleted, [this](const auto&) { completions.add(platform::isMainThread()); });
  }
  void TearDown() override {
    screen.reset();
    window.reset();
    sandbox.reset();
  }

  void makeScreen(const std::string& logo = "shield") {
    auto bundle = platform::Bundle::bundleWithPath(std::filesystem::path(ORVANE_RESOURCES_DIR) / "LKSCommon.bundle");
    ASSERT_TRUE(bundle);
    screen = std::dynamic_pointer_cast<AppLoadingScreen>(
        platform::UIStoryboard::storyboardWithName("AppLoading", bundle)->instantiateInitialViewController());
    ASSERT_TRUE(screen);
    screen->setAppLogoIcon(logo);
  }
  void show() {
    window = std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());
    window->setRootViewController(screen);
    window->makeKeyAndVisible();
  }
  std::vector<Change> history() const { return screen->progressBar()->progressHistory(); }
  void postRefreshFromBackground() {
    platform::DispatchQueue::global().async(
        [] { platform::NotificationCenter::defaultCenter().post("somenotifweneed"); });
  }
};

TEST_F(SplashFixture, NineTicksOneSecondApartThenTheEnd) {
  for (auto d : {std::size_t{0}, kTop / 2, kTop, std::size_t{0}, kTop / 2, kTop, std::size_t{0}, kTop / 2, kTop})
    random->push(d);
  makeScreen();
  show();
  const double steps[] = {kLow, kMid, kHigh, kLow, kMid, kHigh, kLow, kMid, kHigh};
  std::vector<Change> expected{{0.0f, false}};
  double total = 0;
  for (int tick = 1; tick <= 9; ++tick) {
    SCOPED_TRACE(tick);
    sandbox->loop().runFor(0.999);
    EXPECT_EQ(history().size(), expected.size());  // not yet
    sandbox->loop().runFor(0.001);
    total += steps[tick - 1];
    expected.push_back({static_cast<float>(total), true});
    if (tick < 9) {
      EXPECT_EQ(history(), expected);
    }
  }
  sandbox->loop().runUntilIdle();
  expected.push_back({1.0f, false});
  EXPECT_EQ(history(), expected);
  EXPECT_EQ(completions.all(), std::vector<bool>{true});
  EXPECT_FALSE(screen->timer()->isValid());

  sandbox->loop().runFor(20.0);
  EXPECT_EQ(history(), expected);  // no tick after the ninth
  EXPECT_EQ(completions.count(), 1u);
  EXPECT_EQ(random->countsAsked().size(), 9u);
  for (auto count : random->countsAsked()) EXPECT_EQ(count, kTop + 1);
}

TEST_F(SplashFixture, ARefreshEndsLoadingAtOnce) {
  makeScreen();
  show();
  sandbox->loop().runFor(2.5);
  postRefreshFromBackground();
  sandbox->loop().runUntilIdle();
  ASSERT_EQ(completions.count(), 1u);
  EXPECT_TRUE(completions.all()[0]);  // the end moved to the main thread
  EXPECT_EQ(history().size(), 4u);    // reset, two ticks, full
  EXPECT_EQ(history().back(), (Change{1.0f, false}));
  EXPECT_EQ(screen->progressBar()->progress(), 1.0f);

  sandbox->loop().runFor(20.0);
  postRefreshFromBackground();  // no longer observed
  sandbox->loop().runUntilIdle();
  EXPECT_EQ(history().size(), 4u);
  EXPECT_EQ(completions.count(), 1u);
}

TEST_F(SplashFixture, RefreshAndNinthTickTogetherEndOnce) {
  makeScreen();
  show();
  sandbox->loop().runFor(8.99);
  std::atomic<bool> go{false};
  for (int i = 0; i < 4; ++i) {
    platform::DispatchQueue::global().async([&go] {
      while (!go.load()) {
      }
      for (int n = 0; n < 20; ++n) platform::NotificationCenter::defaultCenter().post("somenotifweneed");
    });
  }
  go = true;
  sandbox->loop().runFor(0.02);  // the ninth tick, while the posts arrive
  sandbox->loop().runUntilIdle();
  sandbox->loop().runFor(5.0);
  EXPECT_EQ(completions.count(), 1u);
  EXPECT_EQ(history().back(), (Change{1.0f, false}));
}

TEST_F(SplashFixture, ASecondStartProgressStopsTheFirstTimer) {
  makeScreen();
  show();
  sandbox->loop().runFor(3.0);
  screen->startProgress();
  EXPECT_EQ(history().back(), (Change{0.0f, false}));
  sandbox->loop().runFor(8.5);  // 11.5 s: the first timer would have ended loading at 9 s
  EXPECT_EQ(completions.count(), 0u);
  EXPECT_EQ(history().size(), 1u + 3u + 1u + 8u);
  sandbox->loop().runFor(0.5);  // the new timer's ninth tick, at 12 s
  sandbox->loop().runUntilIdle();
  EXPECT_EQ(completions.count(), 1u);
  sandbox->loop().runFor(20.0);
  EXPECT_EQ(completions.count(), 1u);
  EXPECT_EQ(history().size(), 1u + 3u + 1u + 9u + 1u);
}

TEST_F(SplashFixture, ARefreshBeforeTheViewLoadedIsNotSeen) {
  makeScreen();
  postRefreshFromBackground();
  sandbox->loop().runUntilIdle();
  show();
  sandbox->loop().runFor(8.5);
  EXPECT_EQ(completions.count(), 0u);
  sandbox->loop().runFor(1.0);
  EXPECT_EQ(completions.count(), 1u);
}

TEST_F(SplashFixture, TheLogoPresentOrMissing) {
  struct Case {
    const char* name;
    const char* logo;
    bool found;
  };
  for (const auto& c : {Case{"shield", "shield", true}, Case{"unknown", "no-such-logo", false}, Case{"empty", "", false}}) {
    SCOPED_TRACE(c.name);
    makeScreen(c.logo);
    show();
    const auto& image = screen->appLogo()->image();
    EXPECT_EQ(image.found(), c.found);
    if (c.found) {
      EXPECT_EQ(image->name(), "shield");
    }
    // loading goes on either way
    sandbox->loop().runFor(9.0);
    sandbox->loop().runUntilIdle();
    EXPECT_EQ(screen->progressBar()->progress(), 1.0f);
  }
  EXPECT_EQ(completions.count(), 3u);
}

}  // namespace
