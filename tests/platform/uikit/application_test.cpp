#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/files.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/queues.h"
#include "platform/uikit/screen_description.h"
#include "tests/platform/uikit/ui_fixture.h"

namespace platform::uitest {
namespace {

using ApplicationTest = UITest;

// A two-screen application: the storyboard's first screen in a window, the second presented over
// it, animated, once launched. What the screen showed before and after is kept.
class FixtureAppDelegate : public UIApplicationDelegate {
 public:
  static inline std::vector<std::string> screens;

  bool didFinishLaunchingWithOptions(UIApplication&, const std::optional<UIApplicationLaunchOptions>& options) override {
    launchedWithOptions = options.has_value();
    window_ = std::make_shared<UIWindow>(UIScreen::mainScreen().bounds());
    auto storyboard = UIStoryboard::storyboardWithName("Fixture");
    window_->setRootViewController(storyboard->instantiateInitialViewController());
    window_->makeKeyAndVisible();
    DispatchQueue::main().async([this, storyboard] {
      screens.push_back(describeScreen());
      window_->rootViewController()->present(storyboard->instantiateViewControllerWithIdentifier("Second"), true,
                                             [] { screens.push_back(describeScreen()); });
    });
    DispatchQueue::main().asyncAfter(1.0, [] { UIApplication::sharedApplication()->terminate(7); });
    return true;
  }
  bool respondsToWindow() const override { return true; }
  std::shared_ptr<UIWindow> window() override { return window_; }

  bool launchedWithOptions = true;

 private:
  std::shared_ptr<UIWindow> window_;
};

TEST_F(ApplicationTest, UIApplicationMainLaunchesTheDelegateAndRunsUntilTerminated) {
  registerApplicationDelegateClass<FixtureAppDelegate>("FixtureAppDelegate");
  FixtureAppDelegate::screens.clear();
  char arg0[] = "orvane";
  char* argv[] = {arg0, nullptr};
  EXPECT_EQ(UIApplicationMain(1, argv, std::nullopt, std::string("FixtureAppDelegate")), 7);
  EXPECT_EQ(now(), 1.0);
  ASSERT_EQ(FixtureAppDelegate::screens.size(), 2u);
  EXPECT_EQ(FixtureAppDelegate::screens[0], kFirstScreenShown);
  EXPECT_EQ(FixtureAppDelegate::screens[1], kSecondScreenShown);

  auto app = UIApplication::sharedApplication();
  auto delegate = std::dynamic_pointer_cast<FixtureAppDelegate>(app->delegate());
  ASSERT_NE(delegate, nullptr);
  EXPECT_FALSE(delegate->launchedWithOptions);
  EXPECT_EQ(app->windows(), std::vector<std::shared_ptr<UIWindow>>{delegate->window()});
  EXPECT_EQ(app->keyWindow(), delegate->window());
}

TEST_F(ApplicationTest, AnUnknownDelegateClassIsAProgrammingError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(UIApplicationMain(0, nullptr, std::nullopt, std::string("NoSuchDelegate")),
               "unknown application delegate class NoSuchDelegate");
}

TEST_F(ApplicationTest, CanOpenURLAnswersFromInstalledSchemesAndScriptsAndKeepsEveryQuestion) {
  sandbox.device().updateProfile([](DeviceProfile& p) { p.installedURLSchemes = {"fb", "mailto"}; });
  auto app = UIApplication::sharedApplication();
  auto url = [](const char* text) { return *URL::parse(text); };
  testing::scriptCanOpenURL("https://example.com/x", true);
  testing::scriptCanOpenURL("FB://profile", false);
  EXPECT_TRUE(app->canOpenURL(url("fb://page")));
  EXPECT_TRUE(app->canOpenURL(url("MAILTO:a@b.c")));
  EXPECT_FALSE(app->canOpenURL(url("twitter://x")));
  EXPECT_TRUE(app->canOpenURL(url("https://example.com/x")));
  EXPECT_FALSE(app->canOpenURL(url("FB://profile")));
  // and from another thread
  std::thread([&] { EXPECT_FALSE(app->canOpenURL(url("tg://x"))); }).join();
  EXPECT_EQ(testing::canOpenURLQuestions(),
            (std::vector<std::string>{"fb://page", "MAILTO:a@b.c", "twitter://x", "https://example.com/x",
                                      "FB://profile", "tg://x"}));

  bool opened = false;
  app->openURL(url(UIApplicationOpenSettingsURLString));
  app->openURL(url("https://example.com/y"), [&](bool ok) { opened = ok; });
  sandbox.loop().runUntilIdle();
  EXPECT_TRUE(opened);
  EXPECT_EQ(testing::openedURLs(), (std::vector<std::string>{"app-settings:", "https://example.com/y"}));
}

TEST_F(ApplicationTest, BadgeNumberKeepsItsHistory) {
  auto app = UIApplication::sharedApplication();
  EXPECT_EQ(app->applicationIconBadgeNumber(), 0);
  app->setApplicationIconBadgeNumber(3);
  app->setApplicationIconBadgeNumber(0);
  EXPECT_EQ(app->applicationIconBadgeNumber(), 0);
  EXPECT_EQ(testing::badgeNumberHistory(), (std::vector<long>{3, 0}));
}

TEST_F(ApplicationTest, DidBecomeActiveIsPostedByTheHelper) {
  int seen = 0;
  NotificationCenter::defaultCenter().addObserver(UIApplicationDidBecomeActiveNotification,
                                                  [&](const Notification&) { ++seen; });
  testing::postDidBecomeActive();
  EXPECT_EQ(seen, 1);
}

TEST_F(ApplicationTest, ScreenAndDeviceComeFromTheProfile) {
  sandbox.device().updateProfile([](DeviceProfile& p) {
    p.userInterfaceIdiom = 1;
    p.screenWidth = 1024;
    p.screenHeight = 1366;
    p.screenScale = 2;
    p.systemVersion = "15.2";
  });
  EXPECT_EQ(UIScreen::mainScreen().bounds(), CGRectMake(0, 0, 1024, 1366));
  EXPECT_EQ(UIScreen::mainScreen().scale(), 2);
  const auto device = UIDevice::currentDevice();
  EXPECT_EQ(device.userInterfaceIdiom(), UIUserInterfaceIdiom::pad);
  EXPECT_EQ(device.systemVersion(), "15.2");
}

TEST_F(ApplicationTest, VendorIdentifierIsAUUIDKeptAcrossLaunches) {
  const auto first = UIDevice::currentDevice().identifierForVendor();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size(), 36u);
  EXPECT_EQ(first->find_first_not_of("0123456789ABCDEF-"), std::string::npos);
  EXPECT_EQ((*first)[14], '4');
  sandbox.relaunch();
  EXPECT_EQ(UIDevice::currentDevice().identifierForVendor(), first);

  sandbox.device().updateProfile([](DeviceProfile& p) { p.identifierForVendor = "00000000-0000-4000-8000-000000000001"; });
  sandbox.relaunch();
  EXPECT_EQ(UIDevice::currentDevice().identifierForVendor(), "00000000-0000-4000-8000-000000000001");
}

TEST_F(ApplicationTest, VendorIdentifierFileThatHoldsNoUUIDIsKeptAsideAndANewOneMade) {
  namespace fs = std::filesystem;
  const std::string lower = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
  const std::string upper = "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D";
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> damage;
    std::optional<std::string> read;  // none: replaced
  };
  auto text = [](std::string t) { return [t](const fs::path& p) { ASSERT_TRUE(writeFileAtomically(p, t)); }; };
  const std::vector<Case> cases = {
      {"lower case", text(lower), upper},
      {"mixed case", text("0a1B2c3D-4E5f-4a6b-8C7d-9e0F1a2b3C4d"), upper},
      {"not hexadecimal", text("zzzzzzzz-zzzz-zzzz-zzzz-zzzzzzzzzzzz"), std::nullopt},
      {"dashes out of place", text("0a1b2c3d4-e5f-4a6b-8c7d-9e0f1a2b3c4d"), std::nullopt},
      {"a line end after it", text(lower + "\n"), std::nullopt},
      {"cut short", text(lower.substr(0, 35)), std::nullopt},
      {"empty", text(""), std::nullopt},
      {"larger than an identifier", text(std::string(100, 'A')), std::nullopt},
      {"a directory", [](const fs::path& p) { fs::create_directory(p); }, std::nullopt},
      {"a symbolic link",
       [&](const fs::path& p) {
         ASSERT_TRUE(writeFileAtomically(fs::path(p).concat(".target"), upper));
         fs::create_symlink(fs::path(p).concat(".target"), p);
       },
       std::nullopt},
  };
  const fs::path file = sandbox.device().root() / "identifier-for-vendor";
  const fs::path aside = fs::path(file).concat(".damaged");
  for (const auto& c : cases) {
    sandbox.endProcess();
    for (const auto& p : {file, aside, fs::path(file).concat(".target")}) fs::remove_all(p);
    c.damage(file);
    const auto type = fs::symlink_status(file).type();
    const auto bytes = readFile(file, ReadLimits{false, std::nullopt});
    sandbox.launch();
    const auto read = UIDevice::currentDevice().identifierForVendor();
    ASSERT_TRUE(read) << c.name;
    const auto lines = consoleLines();
    if (c.read) {
      EXPECT_EQ(read, c.read) << c.name;
      EXPECT_TRUE(lines.empty()) << c.name << ::testing::PrintToString(lines);
      EXPECT_FALSE(fs::exists(aside)) << c.name;
    } else {
      EXPECT_EQ(read->size(), 36u) << c.name;
      EXPECT_EQ(read->find_first_not_of("0123456789ABCDEF-"), std::string::npos) << *read;
      EXPECT_NE(read, upper) << c.name;
      ASSERT_EQ(lines.size(), 1u) << c.name << ::testing::PrintToString(lines);
      EXPECT_NE(lines[0].find(file.string() + " is damaged"), std::string::npos) << lines[0];
      EXPECT_NE(lines[0].find("kept it as " + aside.string()), std::string::npos) << lines[0];
      EXPECT_EQ(fs::symlink_status(aside).type(), type) << c.name;
      EXPECT_EQ(readFile(aside, ReadLimits{false, std::nullopt}), bytes) << c.name;
    }
    sandbox.relaunch();
    EXPECT_EQ(UIDevice::currentDevice().identifierForVendor(), read) << c.name;
    EXPECT_TRUE(consoleLines().empty()) << c.name;
  }
}

}  // namespace
}  // namespace platform::uitest
