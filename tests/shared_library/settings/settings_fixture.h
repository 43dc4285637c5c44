#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/ui_testing.h"
#include "platform/uikit/application.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"
#include "shared_library/settings/settings_cell.h"
#include "shared_library/settings/settings_screen.h"

namespace settings_testing {

using platform::NSIndexPath;
using RowType = SettingsRowData::RowType;
using Rows = std::vector<std::shared_ptr<SettingsRowData>>;

inline std::shared_ptr<SettingsRowData> row(std::optional<RowType> type, std::string title = "Row",
                                            std::optional<std::string> img = "review") {
  return std::make_shared<SettingsRowData>(std::move(title), std::move(img), std::nullopt, type);
}

inline std::shared_ptr<SettingsSectionData> section(std::string title, Rows rows) {
  return std::make_shared<SettingsSectionData>(std::move(title), std::move(rows));
}

// A shown home controller in the key window of a process whose main bundle is the application's
// resources; the settings screen is loaded from its storyboard and presented from home.
class SettingsTest : public ::testing::Test {
 protected:
  static platform::testing::Sandbox::Options options() {
    platform::testing::Sandbox::Options o;
    o.bundle.resourcePath = ORVANE_RESOURCES_DIR;
    o.bundle.info["CFBundleDisplayName"] = platform::PlistValue("Demo");
    o.bundle.info["CFBundleShortVersionString"] = platform::PlistValue("2.1");
    o.echoConsole = false;
    return o;
  }

  explicit SettingsTest(platform::testing::Sandbox::Options o = options()) {
    SettingsScreen::registerClasses();
    start(std::move(o));
  }

  // A new device and process with a shown home controller; what the last one showed is gone.
  void start(platform::testing::Sandbox::Options o = options()) {
    screen.reset();
    navigation.reset();
    home.reset();
    window.reset();
    box.reset();
    box = std::make_unique<platform::testing::Sandbox>(std::move(o));
    window = std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());
    home = std::make_shared<platform::UIViewController>();
    window->setRootViewController(home);
    window->makeKeyAndVisible();
  }
  ~SettingsTest() override {
    screen.reset();
    navigation.reset();
    home.reset();
    window.reset();
  }
  platform::testing::Sandbox& sandbox() { return *box; }

  static std::shared_ptr<platform::Bundle> commonBundle() {
    auto resources = platform::Bundle::forLibraryClasses()->resourcePath();
    return resources ? platform::Bundle::bundleWithPath(*resources / "LKSCommon.bundle") : nullptr;
  }

  // Loads, fills and presents the screen, then lets its table load.
  std::shared_ptr<SettingsScreen> open(std::vector<std::shared_ptr<SettingsSectionData>> sections,
                                       std::optional<std::string> appId = std::nullopt,
                                       std::optional<std::string> faqs = std::nullopt) {
    auto initial = platform::UIStoryboard::storyboardWithName("Settings", commonBundle())
                       ->instantiateInitialViewController();
    navigation = std::dynamic_pointer_cast<platform::UINavigationController>(initial);
    EXPECT_TRUE(navigation);
    if (!navigation) return nullptr;
    screen = std::dynamic_pointer_cast<SettingsScreen>(navigation->childViewControllers().at(0));
    screen->dataArray = std::move(sections);
    screen->appId = std::move(appId);
    screen->FAQsLink = std::move(faqs);
    home->present(navigation, false);
    sandbox().loop().runUntilIdle();
    return screen;
  }

  std::shared_ptr<SettingsCell> card(int section) {
    return std::dynamic_pointer_cast<SettingsCell>(screen->settingsTableView->cellForRowAtIndexPath({section, 0}));
  }
  std::shared_ptr<SettingsInfoCell> rowCell(int section, int r) {
    return std::dynamic_pointer_cast<SettingsInfoCell>(card(section)->tableView.lock()->cellForRowAtIndexPath({0, r}));
  }
  void tap(int section, int r) { platform::testing::tapRow(*card(section)->tableView.lock(), {0, r}); }
  // What the settings navigation controller presents now.
  std::shared_ptr<platform::UIViewController> presented() { return navigation->presentedViewController(); }

  std::unique_ptr<platform::testing::Sandbox> box;
  std::shared_ptr<platform::UIWindow> window;
  std::shared_ptr<platform::UIViewController> home;
  std::shared_ptr<platform::UINavigationController> navigation;
  std::shared_ptr<SettingsScreen> screen;
};

}  // namespace settings_testing
