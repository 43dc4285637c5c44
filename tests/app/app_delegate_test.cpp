#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "app/home_page_view_controller.h"
#include "app/program_entry.h"
#include "app/storyboard_classes.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/queues.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/ui_testing.h"
#include "platform/uikit/application.h"
#include "service_client/remote_config.h"
#include "shared_library/apps/app_metadata_operation.h"
#include "shared_library/apps/native_apps_tracker.h"
#include "shared_library/support/lks_constants.h"
#include "tests/app/screen_fixture.h"
#include "tests/service_client/exchange_fixture.h"
#include "tools/local_service.h"

namespace {

using orvane_service::LocalService;
using platform::testing::Sandbox;

class StartUpTest : public ::testing::Test {
 public:
  StartUpTest() { service.setServerList(app_testing::premiumList(app_testing::threeServers())); }
  ~StartUpTest() override { end(); }

  Sandbox::Options options(platform::DeviceProfile profile = {}) {
    auto o = app_testing::withResources(service_testing::optionsFor(service.host(), service.certificateFile(), profile));
    o.bundle.info[kStoreLookupBaseInfoKey] = platform::PlistValue(service.storeLookupBase());
    return o;
  }
  void start(Sandbox::Options o) {
    sandbox = std::make_unique<Sandbox>(std::move(o));
    registerStoryboardClasses();
  }
  bool launch() {
    delegate = std::make_shared<AppDelegate>();
    auto app = platform::UIApplication::sharedApplication();
    app->setDelegate(delegate);
    return delegate->didFinishLaunchingWithOptions(*app, std::nullopt);
  }
  void end() {
    delegate.reset();
    sandbox.reset();
  }
  std::shared_ptr<HomePageViewController> home() {
    auto root = delegate->window()->rootViewController();
    return root ? std::dynamic_pointer_cast<HomePageViewController>(root->presentedViewController()) : nullptr;
  }
  bool waitForHome() { return loop().runUntil([&] { return home() != nullptr; }, platform::seconds(30)); }
  platform::RunLoop& loop() { return sandbox->loop(); }
  double now() { return platform::toSeconds(sandbox->clock().now()); }
  std::size_t homePresentations() {
    std::size_t n = 0;
    for (const auto& p : platform::testing::presentations())
      if (p.presented == "HomePageViewController") ++n;
    return n;
  }

  LocalService service;
  std::unique_ptr<Sandbox> sandbox;
  std::shared_ptr<AppDelegate> delegate;
};

TEST_F(StartUpTest, LaunchShowsTheSplashWithTheShieldThenTheHomeScreenOverIt) {
  start(options());
  EXPECT_TRUE(launch());
  const auto window = delegate->window();
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_TRUE(window->isVisible());
  ASSERT_TRUE(delegate->appLoadingSrceen);
  EXPECT_EQ(window->rootViewController(), delegate->appLoadingSrceen);
  EXPECT_EQ(delegate->appLoadingSrceen->appLogoIcon(), "shield");
  EXPECT_EQ(delegate->appLoadingSrceen->appLogo()->image()->name(), "shield");
  EXPECT_TRUE(QVCtrl::oneInst()->qv_refreshAll()->isValid());
  EXPECT_FALSE(home());

  ASSERT_TRUE(waitForHome());
  EXPECT_LT(now(), 9.0);  // the first refresh ended loading
  auto shown = home();
  EXPECT_EQ(shown->modalPresentationStyle(), platform::UIModalPresentationStyle::fullScreen);
  EXPECT_EQ(shown->modalTransitionStyle(), platform::UIModalTransitionStyle::crossDissolve);
  EXPECT_EQ(window->rootViewController(), delegate->appLoadingSrceen);  // the splash stays underneath
  const auto records = platform::testing::presentations();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].presenter, "AppLoadingScreen");
  EXPECT_TRUE(records[0].animated);

  // the list arrives on the home screen; the tracker has its list from the refresh
  ASSERT_TRUE(loop().runUntil([&] { return shown->loadingIndicatorView.lock()->isHidden(); }));
  loop().runFor(1.0);
  ASSERT_TRUE(NativeAppsTracker::shared()->nativeAppsList());
  EXPECT_EQ(NativeAppsTracker::shared()->nativeAppsList()->size(), 3u);
}

TEST_F(StartUpTest, TheHomeScreenIsPresentedOnce) {
  start(options());
  launch();
  ASSERT_TRUE(waitForHome());
  const auto first = home();
  loop().runFor(1.0);
  for (int i = 0; i < 3; ++i)
    platform::DispatchQueue::global().async(
        [] { platform::NotificationCenter::defaultCenter().post(LKSConstants::progressCompleted); });
  platform::NotificationCenter::defaultCenter().post(LKSConstants::progressCompleted);
  loop().runFor(2.0);
  EXPECT_EQ(home(), first);
  EXPECT_FALSE(first->isBeingDismissed());
  EXPECT_EQ(homePresentations(), 1u);
}

TEST_F(StartUpTest, WithoutARefreshTheHomeScreenComesAtTheNinthTick) {
  service.setMode("new", LocalService::Mode::resetConnection);
  start(options());
  launch();
  loop().runFor(8.9);
  EXPECT_FALSE(home());
  ASSERT_TRUE(waitForHome());
  EXPECT_LT(now(), 9.5);
  EXPECT_FALSE(NativeAppsTracker::shared()->nativeAppsList());  // nothing to list yet
}

// Sees, when the launch loads the list, whether the splash is already shown and whether the
// delegate already listens for the end of loading.
class SpyTracker : public NativeAppsTracker {
 public:
  void loadNativeApps() override {
    ++loads;
    auto window = platform::UIApplication::sharedApplication()->keyWindow();
    splashShown = window && window->isVisible() &&
                  std::dynamic_pointer_cast<AppLoadingScreen>(window->rootViewController()) != nullptr;
    platform::NotificationCenter::defaultCenter().post(LKSConstants::progressCompleted);
    NativeAppsTracker::loadNativeApps();
  }
  int loads = 0;
  bool splashShown = false;
};

TEST_F(StartUpTest, TheTrackerLoadsAfterTheWindowShowsAndBeforeTheDelegateListens) {
  service.setMode("new", LocalService::Mode::resetConnection);
  start(options());
  auto spy = std::make_shared<SpyTracker>();
  NativeAppsTracker::setShared(spy);
  launch();
  EXPECT_EQ(spy->loads, 1);
  EXPECT_TRUE(spy->splashShown);
  loop().runFor(5.0);
  EXPECT_FALSE(home());  // the end posted from inside the load was not heard
  ASSERT_TRUE(waitForHome());
}

TEST_F(StartUpTest, ARelaunchStartsAgainFromTheSplashWithTheCachedConfiguration) {
  start(options());
  launch();
  ASSERT_TRUE(waitForHome());
  loop().runFor(2.0);
  delegate.reset();
  sandbox->relaunch();
  registerStoryboardClasses();
  EXPECT_TRUE(launch());
  EXPECT_EQ(delegate->window()->rootViewController(), delegate->appLoadingSrceen);
  EXPECT_FALSE(home());
  // the cache of the last run gives the tracker its list at launch
  ASSERT_TRUE(NativeAppsTracker::shared()->nativeAppsList());
  EXPECT_EQ(NativeAppsTracker::shared()->nativeAppsList()->size(), 3u);
  ASSERT_TRUE(waitForHome());
  EXPECT_EQ(homePresentations(), 1u);
}

TEST_F(StartUpTest, TheEntryRunsTheApplicationWithAppDelegate) {
  start(options());
  platform::DispatchQueue::main().asyncAfter(12.0, [] { platform::UIApplication::sharedApplication()->terminate(3); });
  char name[] = "orvane";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(applicationMain(1, argv), 3);
  delegate = std::dynamic_pointer_cast<AppDelegate>(platform::UIApplication::sharedApplication()->delegate());
  ASSERT_TRUE(delegate);
  EXPECT_TRUE(home());
}

using StartUpDeathTest = StartUpTest;

TEST_F(StartUpDeathTest, AnAppLoadingStoryboardWithoutTheSplashStopsTheLaunch) {
  EXPECT_DEATH(
      {
        platform::DeviceProfile profile;
        profile.missingResourceBundles = {"LKSCommon.bundle"};  // AppLoading then comes from the main bundle
        auto o = options(profile);
        o.bundle.resourcePath = std::filesystem::path(ORVANE_APP_TEST_FIXTURES) / "no_splash";
        start(std::move(o));
        launch();
      },
      "AppLoading gives no AppLoadingScreen");
}

TEST_F(StartUpDeathTest, ALibraryBundleWithoutResourcesStopsTheLaunch) {
  EXPECT_DEATH(
      {
        platform::DeviceProfile profile;
        profile.libraryBundleHasResourceDirectory = false;
        start(options(profile));
        launch();
      },
      "no resource directory");
}

}  // namespace
