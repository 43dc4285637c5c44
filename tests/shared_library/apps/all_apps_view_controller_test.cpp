#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/services/store_product.h"
#include "platform/testing/image_downloader_testing.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/ui_testing.h"
#include "platform/uikit/application.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"
#include "shared_library/apps/all_apps_view_controller.h"

namespace {

using platform::NSIndexPath;

std::shared_ptr<NativeAppData> record(std::string store, std::string scheme, std::optional<std::string> name,
                                      double rating, std::optional<std::string> artwork) {
  auto app = std::make_shared<NativeAppData>(store, "com.maker." + store, scheme);
  app->setName(std::move(name));
  app->setRating(rating);
  app->setArtworkURL(std::move(artwork));
  return app;
}

class AllAppsTest : public ::testing::Test {
 protected:
  static platform::testing::Sandbox::Options options() {
    platform::testing::Sandbox::Options o;
    o.bundle.resourcePath = ORVANE_RESOURCES_DIR;
    o.profile.installedURLSchemes = {"installed"};
    return o;
  }
  AllAppsTest() : sandbox(options()) {
    AllAppsViewController::registerClasses();
    tracker = std::make_shared<NativeAppsTracker>();
    NativeAppsTracker::setShared(tracker);
    window = std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());
    navigation = std::make_shared<platform::UINavigationController>(std::make_shared<platform::UIViewController>());
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
  }
  ~AllAppsTest() override {
    screen.reset();
    navigation.reset();
    window.reset();
  }

  static std::shared_ptr<platform::Bundle> common() {
    return platform::Bundle::bundleWithPath(*platform::Bundle::forLibraryClasses()->resourcePath() / "LKSCommon.bundle");
  }
  void open() {
    screen = std::dynamic_pointer_cast<AllAppsViewController>(
        platform::UIStoryboard::storyboardWithName("AllApps", common())
            ->instantiateViewControllerWithIdentifier("AllAppsViewController"));
    ASSERT_TRUE(screen);
    navigation->pushViewController(screen, false);
    sandbox.loop().runUntilIdle();
  }
  platform::UITableView& table() { return *screen->allAppsTableView.lock(); }
  std::shared_ptr<AppTableViewCell> cell(int row) {
    return std::dynamic_pointer_cast<AppTableViewCell>(table().cellForRowAtIndexPath({0, row}));
  }
  void wait(double seconds) { sandbox.loop().runFor(seconds); }

  platform::testing::Sandbox sandbox;
  std::shared_ptr<NativeAppsTracker> tracker;
  std::shared_ptr<platform::UIWindow> window;
  std::shared_ptr<platform::UINavigationController> navigation;
  std::shared_ptr<AllAppsViewController> screen;
};

TEST_F(AllAppsTest, RowsArriveWithTheTrackersListWithinFiveSeconds) {
  open();
  EXPECT_EQ(table().numberOfSections(), 1);
  EXPECT_EQ(table().numberOfRowsInSection(0), 0);
  EXPECT_EQ(screen->preferredStatusBarStyle(), platform::UIStatusBarStyle::darkContent);
  tracker->setNativeAppsList(NativeAppsList{record("1", "installed://", "Scanner", 4.68, std::nullopt),
                                            record("2", "missing://", std::nullopt, 0, std::nullopt)});
  wait(5);
  ASSERT_EQ(table().numberOfRowsInSection(0), 2);
  EXPECT_EQ(table().heightForRow({0, 0}), 90);
  EXPECT_EQ(screen->appsArray->at(0), tracker->nativeAppsList()->at(0));
}

TEST_F(AllAppsTest, CellShowsTheRecordByInstallState) {
  tracker->setNativeAppsList(NativeAppsList{record("1", "installed://", "Scanner", 4.68, std::nullopt),
                                            record("2", "missing://", std::nullopt, 0, std::nullopt)});
  open();
  struct Case {
    int row;
    std::optional<std::string> name, rating, image, title;
    platform::UIColor color;
    double stars;
  };
  for (const auto& c : std::vector<Case>{{0, "Scanner", "4.7", "open-btn-bg", "Open", platform::UIColor::blackColor(), 4.68},
                                         {1, std::nullopt, "0.0", "install-btn-bg", "Install",
                                          platform::UIColor::whiteColor(), 0}}) {
    const auto shown = cell(c.row);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->appName.lock()->text(), c.name);
    EXPECT_EQ(shown->ratingLabel.lock()->text(), c.rating);
    EXPECT_EQ(shown->isntallOpenBtnImage.lock()->image().requestedName(), c.image);
    EXPECT_TRUE(shown->isntallOpenBtnImage.lock()->image().found());
    EXPECT_EQ(shown->installOpenButton.lock()->titleForState(), c.title);
    EXPECT_EQ(shown->installOpenButton.lock()->titleColorForState(), c.color);
    EXPECT_DOUBLE_EQ(shown->starRatingView.lock()->rating(), c.stars);
  }
}

TEST_F(AllAppsTest, IconsLoadOnlyIntoTheCellStillShowingTheirRecord) {
  auto first = record("1", "installed://", "A", 3, "https://img.example/a.png");
  auto second = record("2", "missing://", "B", 3, "https://img.example/b.png");
  tracker->setNativeAppsList(NativeAppsList{first});
  open();
  auto shown = cell(0);
  const auto loads = platform::testing::imageLoads();
  ASSERT_FALSE(loads.empty());
  EXPECT_EQ(loads.back().url, "https://img.example/a.png");
  const auto picture = platform::UIImageRef(std::make_shared<platform::UIImage>());
  platform::testing::deliverImage("https://img.example/a.png", picture);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(shown->appIcon.lock()->image(), picture);

  // The cell goes to another record before its load ends: the late icon is dropped.
  tracker->setNativeAppsList(NativeAppsList{second});
  screen->loadTableData();
  shown = cell(0);
  EXPECT_FALSE(shown->appIcon.lock()->image());
  screen->appsArray = NativeAppsList{first};
  shown->configure(first);
  shown->configure(second);
  platform::testing::deliverImage("https://img.example/a.png", picture);
  sandbox.loop().runUntilIdle();
  EXPECT_FALSE(shown->appIcon.lock()->image());

  // No artwork: the icon is left as it is, and nothing is asked for.
  const auto before = platform::testing::imageLoads().size();
  shown->configure(record("3", "x://", "C", 1, std::nullopt));
  EXPECT_EQ(platform::testing::imageLoads().size(), before);
  // An absent record keeps what the cell showed.
  shown->configure(nullptr);
  EXPECT_EQ(shown->appName.lock()->text(), "C");
}

// Nothing delivers icons outside tests: the reloads every 5 s must not pile up loads.
TEST_F(AllAppsTest, ReloadsWhileShownKeepWhatTheDownloaderHoldsFlat) {
  tracker->setNativeAppsList(NativeAppsList{record("1", "installed://", "A", 3, "https://img.example/a.png"),
                                            record("2", "missing://", "B", 3, "https://img.example/b.png")});
  open();
  wait(5);
  const auto held = platform::testing::imageLoads().size();
  EXPECT_EQ(held, 2u);
  wait(100);
  EXPECT_EQ(platform::testing::imageLoads().size(), held);
  // one load a row still waits, and it still shows its icon
  const auto picture = platform::UIImageRef(std::make_shared<platform::UIImage>());
  EXPECT_EQ(platform::testing::deliverImage("https://img.example/a.png", picture), 1u);
  EXPECT_EQ(platform::testing::deliverImage("https://img.example/b.png", picture), 1u);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(cell(0)->appIcon.lock()->image(), picture);
}

TEST_F(AllAppsTest, ButtonOpensOrShowsTheStorePage) {
  auto app = record("42", "later://", "A", 3, std::nullopt);
  tracker->setNativeAppsList(NativeAppsList{app});
  open();
  auto shown = cell(0);
  shown->installOpenButton.lock()->tap();
  sandbox.loop().runUntilIdle();
  EXPECT_TRUE(std::dynamic_pointer_cast<platform::SKStoreProductViewController>(navigation->presentedViewController()));
  navigation->dismiss(false);

  // Installed while the screen shows: the next tick shows Open, and a press opens it.
  sandbox.device().updateProfile([](auto& p) { p.installedURLSchemes.push_back("later"); });
  wait(5);
  shown = cell(0);
  EXPECT_EQ(shown->installOpenButton.lock()->titleForState(), "Open");
  shown->installOpenButton.lock()->tap();
  EXPECT_EQ(platform::testing::openedURLs(), (std::vector<std::string>{"later://"}));

  // The screen gone, the cell's press does nothing.
  shown->delegate.reset();
  shown->installOpenButton.lock()->tap();
  EXPECT_EQ(platform::testing::openedURLs().size(), 1u);
}

TEST_F(AllAppsTest, RefreshStopsOnceAnotherScreenCovers) {
  open();
  const int reloads = table().reloadCount();
  wait(10);
  EXPECT_EQ(table().reloadCount(), reloads + 2);
  navigation->pushViewController(std::make_shared<platform::UIViewController>(), false);
  navigation->popViewControllerAnimated(false);
  sandbox.loop().runUntilIdle();
  const int after = table().reloadCount();
  wait(15);
  EXPECT_EQ(table().reloadCount(), after);
  EXPECT_FALSE(screen->appStatusTimer->isValid());
}

TEST_F(AllAppsTest, TimerLetsTheScreenGo) {
  open();
  std::weak_ptr<AllAppsViewController> weak = screen;
  auto timer = screen->appStatusTimer;
  screen->goBackPressed(*std::make_shared<platform::UIButton>());
  screen.reset();
  sandbox.loop().runUntilIdle();
  wait(5);
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(timer->isValid());
}

TEST_F(AllAppsTest, RowOutsideTheListConfiguresNothing) {
  tracker->setNativeAppsList(NativeAppsList{record("1", "installed://", "A", 3, std::nullopt)});
  open();
  auto stray = screen->cellForRowAtIndexPath(table(), {0, 7});
  EXPECT_FALSE(std::dynamic_pointer_cast<AppTableViewCell>(stray)->nativeApp);
}

using ModuleBundleDeathTest = AllAppsTest;

TEST_F(ModuleBundleDeathTest, FatalMessages) {
  EXPECT_TRUE(moduleResourceBundle("LKSCommon.AppTableViewCell"));
  EXPECT_DEATH(moduleResourceBundle("."), "Couldn't determine module name from class ");
  EXPECT_DEATH(moduleResourceBundle("Other.AppTableViewCell"), "Other.bundle not found in ");
}

}  // namespace
