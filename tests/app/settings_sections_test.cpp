#include "app/settings_sections.h"

#include <gtest/gtest.h>

#include "platform/testing/sandbox.h"
#include "platform/uikit/control.h"
#include "platform/testing/ui_testing.h"
#include "platform/uikit/application.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/screen_description.h"
#include "shared_library/settings/settings_cell.h"
#include "shared_library/settings/settings_screen.h"

namespace {

using RowType = SettingsRowData::RowType;
using platform::UIColor;

class ApplicationSettings : public ::testing::Test {
 protected:
  static platform::testing::Sandbox::Options options() {
    platform::testing::Sandbox::Options o;
    o.bundle.resourcePath = ORVANE_RESOURCES_DIR;
    o.bundle.info["CFBundleDisplayName"] = platform::PlistValue("OrvaneVPN");
    o.echoConsole = false;
    return o;
  }
  ApplicationSettings() {
    window->setRootViewController(home);
    window->makeKeyAndVisible();
  }
  // Opens settings from home and lets the table load.
  std::shared_ptr<SettingsScreen> open() {
    showSettings(*home);
    sandbox.loop().runUntilIdle();
    auto navigation = std::dynamic_pointer_cast<platform::UINavigationController>(home->presentedViewController());
    if (!navigation) return nullptr;
    return std::dynamic_pointer_cast<SettingsScreen>(navigation->viewControllers().at(0));
  }

  platform::testing::Sandbox sandbox{options()};
  std::shared_ptr<platform::UIWindow> window =
      std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());
  std::shared_ptr<platform::UIViewController> home = std::make_shared<platform::UIViewController>();
};

TEST(SettingsSections, FourSectionsOfNineRowsInOrder) {
  struct Row {
    const char* section;
    const char* title;
    const char* image;
    UIColor colour;
    RowType type;
  };
  const Row expected[] = {
      {"SHARE", "Write a Review", "review", {0.98, 0.81, 0.16, 1}, RowType::writeReview},
      {"SHARE", "Rate Us", "rate-us", {0.93, 0.53, 0.18, 1}, RowType::Rating},
      {"SHARE", "Share with Friends & Family", "share-app", {0.22, 0.83, 0.49, 1}, RowType::Share},
      {"HELP", "Frequently Asked Questions", "Faqs", {0.65, 0.41, 0.74, 1}, RowType::FAQs},
      {"CONTACT", "Report an error", "report-error", {0.91, 0.37, 0.3, 1}, RowType::ReportError},
      {"CONTACT", "Request a new feature", "request-new-feature", {0.98, 0.18, 0.57, 1}, RowType::RequestFeature},
      {"CONTACT", "Contact Us", "reach-us", {0.25, 0.64, 0.89, 1}, RowType::ContactUs},
      {"ABOUT", "Privacy Policy", "privacy-policy", {0.65, 0.41, 0.74, 1}, RowType::PrivacyPolicy},
      {"ABOUT", "Term of Use", "terms-of-use", {0.98, 0.18, 0.57, 1}, RowType::TermsConditions},
  };
  const auto sections = settingsSections();
  size_t i = 0;
  std::vector<std::string> titles;
  for (const auto& s : sections) {
    titles.push_back(s->sectionTitle.value());
    for (const auto& r : s->rows.value()) {
      ASSERT_LT(i, std::size(expected));
      const auto& e = expected[i++];
      EXPECT_EQ(s->sectionTitle, e.section);
      EXPECT_EQ(r->title, e.title);
      EXPECT_EQ(r->img, e.image);
      EXPECT_EQ(r->backgroundColor, e.colour) << e.title;
      EXPECT_EQ(r->rowType, e.type) << e.title;
    }
  }
  EXPECT_EQ(i, std::size(expected));
  EXPECT_EQ(titles, (std::vector<std::string>{"SHARE", "HELP", "CONTACT", "ABOUT"}));
  EXPECT_NE(settingsSections().front(), sections.front());  // afresh on every call
}

TEST_F(ApplicationSettings, TheScreenShowsTheFourCardsWithTheirRows) {
  auto screen = open();
  ASSERT_TRUE(screen);
  EXPECT_EQ(screen->appId.value_or("").size(), 10u);
  EXPECT_EQ(screen->FAQsLink, "https://www.orvanevpn.com/support/?cat=30");
  auto& table = *screen->settingsTableView;
  ASSERT_EQ(table.numberOfSections(), 4);
  const char* headings[] = {"SHARE", "HELP", "CONTACT", "ABOUT"};
  const double heights[] = {155, 65, 155, 110};
  std::vector<std::string> titles;
  for (int s = 0; s < 4; ++s) {
    EXPECT_EQ(table.heightForRow({s, 0}), heights[s]);
    auto card = std::dynamic_pointer_cast<SettingsCell>(table.cellForRowAtIndexPath({s, 0}));
    ASSERT_TRUE(card);
    EXPECT_EQ(card->sectionNameLabel.lock()->text(), headings[s]);
    auto inner = card->tableView.lock();
    for (int r = 0; r < inner->numberOfRowsInSection(0); ++r) {
      EXPECT_EQ(inner->heightForRow({0, r}), 45);
      auto cell = std::dynamic_pointer_cast<SettingsInfoCell>(inner->cellForRowAtIndexPath({0, r}));
      ASSERT_TRUE(cell);
      titles.push_back(cell->titleLabel.lock()->text().value_or("?"));
      EXPECT_EQ(cell->accessoryType(), platform::UITableViewCellAccessoryType::none);
      EXPECT_TRUE(cell->badgeLabel.lock()->isHidden());
      // the row's own image, white and centred on its tile
      const auto& draws = cell->SPImage.lock()->image()->rendering()->draws;
      ASSERT_EQ(draws.size(), 2u) << titles.back();
      EXPECT_EQ(draws[1].image->tintColor(), UIColor::whiteColor());
      EXPECT_EQ(draws[1].rect.origin.x * 2 + draws[1].rect.size.width, draws[0].rect.size.width);
      EXPECT_EQ(draws[1].rect.origin.y * 2 + draws[1].rect.size.height, draws[0].rect.size.height);
    }
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"Write a Review", "Rate Us", "Share with Friends & Family",
                                              "Frequently Asked Questions", "Report an error", "Request a new feature",
                                              "Contact Us", "Privacy Policy", "Term of Use"}));
  const auto screenText = platform::describeScreen();
  EXPECT_NE(screenText.find("\"Term of Use\""), std::string::npos) << screenText;
}

TEST_F(ApplicationSettings, EachPressOpensANewScreenAndAClosedOneIsReleased) {
  std::weak_ptr<SettingsScreen> first = open();
  ASSERT_FALSE(first.expired());
  first.lock()->closeButtonTapped(*std::make_shared<platform::UIControl>());
  sandbox.loop().runFor(1.0);
  EXPECT_EQ(home->presentedViewController(), nullptr);
  EXPECT_TRUE(first.expired());
  auto second = open();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->settingsTableView->numberOfSections(), 4);
}

TEST_F(ApplicationSettings, TheFAQRowOpensTheSettingsPage) {
  auto screen = open();
  ASSERT_TRUE(screen);
  auto card = std::dynamic_pointer_cast<SettingsCell>(screen->settingsTableView->cellForRowAtIndexPath({1, 0}));
  platform::testing::tapRow(*card->tableView.lock(), {0, 0});
  EXPECT_NE(platform::describeScreen().find("https://www.orvanevpn.com/support/?cat=30"), std::string::npos);
}

class NoLibraryResources : public ApplicationSettings {};

TEST_F(NoLibraryResources, AMissingResourceDirectoryIsAProgrammingError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  sandbox.device().updateProfile([](platform::DeviceProfile& p) { p.libraryBundleHasResourceDirectory = false; });
  EXPECT_DEATH(showSettings(*home), "no resource directory");
}

}  // namespace
