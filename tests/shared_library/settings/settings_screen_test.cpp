#include "shared_library/settings/settings_screen.h"

#include <gtest/gtest.h>

#include "platform/foundation/process.h"
#include "platform/services/alert_controller.h"
#include "platform/services/mail_compose.h"
#include "platform/services/safari_view_controller.h"
#include "platform/uikit/activity_view_controller.h"
#include "platform/uikit/control.h"
#include "shared_library/settings/settings_cell.h"
#include "tests/shared_library/settings/settings_fixture.h"

namespace {

using namespace settings_testing;
using platform::UIColor;
using platform::testing::canOpenURLQuestions;
using platform::testing::openedURLs;

TEST_F(SettingsTest, CardsAreAsHighAsTheirRowsAndSeparatedByNothing) {
  open({section("ONE", {row(RowType::Share)}), section("EMPTY", {}),
        section("FOUR", {row(RowType::Share), row(RowType::Rating), row(RowType::FAQs), row(std::nullopt)}),
        std::make_shared<SettingsSectionData>("ABSENT", std::nullopt)});
  auto& table = *screen->settingsTableView;
  ASSERT_EQ(table.numberOfSections(), 4);
  const double heights[] = {65, 20, 200, 20};
  for (int s = 0; s < 4; ++s) {
    EXPECT_EQ(table.numberOfRowsInSection(s), 1);
    EXPECT_EQ(table.heightForRow({s, 0}), heights[s]) << s;
    EXPECT_EQ(table.heightForHeader(s), 0.1);
    EXPECT_EQ(table.heightForFooter(s), 0.1);
    ASSERT_TRUE(table.headerViewForSection(s));
    ASSERT_TRUE(table.footerViewForSection(s));
    EXPECT_EQ(screen->viewForHeaderInSection(table, s)->frame(), platform::CGRect{});
    EXPECT_TRUE(screen->viewForFooterInSection(table, s)->subviews().empty());
  }
  EXPECT_EQ(card(0)->sectionNameLabel.lock()->text(), "ONE");
  EXPECT_EQ(card(1)->tableView.lock()->numberOfRowsInSection(0), 0);
  EXPECT_EQ(card(3)->tableView.lock()->numberOfRowsInSection(0), 0);
  auto& inner = *card(2)->tableView.lock();
  ASSERT_EQ(inner.numberOfRowsInSection(0), 4);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(inner.heightForRow({0, r}), 45);
  EXPECT_EQ(card(0)->roundedView.lock()->layer().cornerCurve, platform::CALayerCornerCurve::continuous);
}

TEST_F(SettingsTest, AnEmptyListGivesAnEmptyTableButTheScreenIsStyled) {
  open({});
  EXPECT_EQ(screen->settingsTableView->numberOfSections(), 0);
  EXPECT_EQ(screen->versionLabel.lock()->text(), "Demo \n v2.1");
  EXPECT_TRUE(navigation->navigationBar()->prefersLargeTitles());
}

TEST_F(SettingsTest, RowCellsShowTitleTileAndOnlyCustomRowsADisclosure) {
  auto tinted = std::make_shared<SettingsRowData>("Tinted", "review", UIColor::redColor(), RowType::Share);
  open({section("S", {row(RowType::custom, "Custom"), tinted, row(RowType::Rating), row(std::nullopt, "None"),
                      std::make_shared<SettingsRowData>(std::nullopt, "review", std::nullopt, RowType::FAQs)})});
  const platform::UITableViewCellAccessoryType none = platform::UITableViewCellAccessoryType::none;
  EXPECT_EQ(rowCell(0, 0)->accessoryType(), platform::UITableViewCellAccessoryType::disclosureIndicator);
  for (int r = 1; r < 5; ++r) EXPECT_EQ(rowCell(0, r)->accessoryType(), none) << r;
  EXPECT_EQ(rowCell(0, 0)->titleLabel.lock()->text(), "Custom");
  EXPECT_EQ(rowCell(0, 4)->titleLabel.lock()->text(), "");
  for (int r = 0; r < 5; ++r) EXPECT_TRUE(rowCell(0, r)->badgeLabel.lock()->isHidden());
  auto tile = [&](int r) { return rowCell(0, r)->SPImage.lock()->image()->rendering()->draws.at(0).image->tintColor(); };
  EXPECT_EQ(tile(0), UIColor::blueColor());
  EXPECT_EQ(tile(1), UIColor::redColor());
}

TEST_F(SettingsTest, AReusedCardShowsOnlyTheNewSection) {
  std::vector<std::shared_ptr<SettingsRowData>> tapped;
  open({section("OLD", {row(RowType::custom, "Custom")})});
  screen->rowTappedHandler = [&](const std::shared_ptr<SettingsRowData>& r) { tapped.push_back(r); };
  auto before = card(0);
  auto rowBefore = rowCell(0, 0);
  screen->dataArray = {section("NEW", {row(RowType::Share, "Share")})};
  screen->settingsTableView->reloadData();
  ASSERT_EQ(card(0), before);
  ASSERT_EQ(rowCell(0, 0), rowBefore);
  EXPECT_EQ(card(0)->sectionNameLabel.lock()->text(), "NEW");
  EXPECT_EQ(rowCell(0, 0)->titleLabel.lock()->text(), "Share");
  EXPECT_EQ(rowCell(0, 0)->accessoryType(), platform::UITableViewCellAccessoryType::none);
  tap(0, 0);
  EXPECT_TRUE(tapped.empty());
  EXPECT_TRUE(std::dynamic_pointer_cast<platform::UIActivityViewController>(presented()));
}

// One row of every type, tapped on a fresh screen: what came of it.
struct Outcome {
  std::vector<std::string> questions, opened;
  std::string presentedClass;
  std::string detail;  // the browser's or share sheet's address, the mail's recipient
  size_t reviews = 0;
  int custom = 0;
};

class TapDispatch : public SettingsTest {
 protected:
  Outcome tapOne(RowType type, std::optional<std::string> appId) {
    int custom = 0;
    open({section("S", {row(type)})}, std::move(appId), "https://www.example.com/support/?cat=30");
    screen->rowTappedHandler = [&](const std::shared_ptr<SettingsRowData>&) { ++custom; };
    platform::testing::scriptCanOpenURL("https://apps.apple.com/us/app/id123?action=write-review", true);
    tap(0, 0);
    Outcome o;
    o.questions = canOpenURLQuestions();
    o.opened = openedURLs();
    o.reviews = platform::testing::reviewRequests().size();
    o.custom = custom;
    auto shown = presented();
    if (auto page = std::dynamic_pointer_cast<platform::SFSafariViewController>(shown)) {
      o.presentedClass = "browser";
      o.detail = page->url().absoluteString();
      EXPECT_TRUE(page->configuration().entersReaderIfAvailable);
    } else if (auto sheet = std::dynamic_pointer_cast<platform::UIActivityViewController>(shown)) {
      o.presentedClass = "share";
      EXPECT_EQ(sheet->activityItems().size(), 1u);
      o.detail = std::get<platform::URL>(sheet->activityItems().at(0)).absoluteString();
    } else if (auto mail = std::dynamic_pointer_cast<platform::MFMailComposeViewController>(shown)) {
      o.presentedClass = "mail";
      o.detail = mail->toRecipients().at(0);
    } else if (shown) {
      o.presentedClass = "other";
    }
    EXPECT_EQ(platform::testing::deselections(*card(0)->tableView.lock()).size(), 1u);
    return o;
  }
};

TEST_F(TapDispatch, EveryRowTypeEndToEndWithAStoreIdentifier) {
  const std::string review = "https://apps.apple.com/us/app/id123?action=write-review";
  struct Case {
    RowType type;
    std::vector<std::string> questions, opened;
    std::string presented, detail;
    size_t reviews;
    int custom;
  } cases[] = {
      {RowType::custom, {}, {}, "", "", 0, 1},
      {RowType::writeReview, {review}, {review}, "", "", 0, 0},
      {RowType::Rating, {}, {}, "", "", 1, 0},
      {RowType::Share, {}, {}, "share", "https://apps.apple.com/us/app/id123", 0, 0},
      {RowType::ReportError, {}, {}, "mail", "support@orvanevpn.com", 0, 0},
      {RowType::RequestFeature, {}, {}, "mail", "support@orvanevpn.com", 0, 0},
      {RowType::ContactUs, {}, {}, "mail", "support@orvanevpn.com", 0, 0},
      {RowType::PrivacyPolicy, {}, {}, "browser", "https://www.orvanevpn.com/data/privacy.html", 0, 0},
      {RowType::TermsConditions, {}, {}, "browser", "https://www.orvanevpn.com/data/terms.html", 0, 0},
      {RowType::FAQs, {}, {}, "browser", "https://www.example.com/support/?cat=30", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(SettingsRowData::rawValue(c.type));
    start();  // a process of its own for each row
    const auto o = tapOne(c.type, "123");
    EXPECT_EQ(o.questions, c.questions);
    EXPECT_EQ(o.opened, c.opened);
    EXPECT_EQ(o.presentedClass, c.presented);
    EXPECT_EQ(o.detail, c.detail);
    EXPECT_EQ(o.reviews, c.reviews);
    EXPECT_EQ(o.custom, c.custom);
  }
}

TEST_F(TapDispatch, WithoutAStoreIdentifierTheDefaultOneIsUsed) {
  auto o = tapOne(RowType::writeReview, std::nullopt);
  EXPECT_EQ(o.questions, std::vector<std::string>{"https://apps.apple.com/us/app/id1609457123?action=write-review"});
  EXPECT_TRUE(o.opened.empty());  // the platform cannot open it
  tap(0, 0);
  EXPECT_EQ(canOpenURLQuestions().size(), 2u);
}

TEST_F(TapDispatch, WithoutAStoreIdentifierTheDefaultOneIsShared) {
  EXPECT_EQ(tapOne(RowType::Share, std::nullopt).detail, "https://apps.apple.com/us/app/id1609457123");
}

TEST_F(TapDispatch, AnEmptyStoreIdentifierIsUsedAsItIs) {
  EXPECT_EQ(tapOne(RowType::Share, "").detail, "https://apps.apple.com/us/app/id");
}

TEST_F(SettingsTest, FAQsAndPagesOpenOnlyWebAddresses) {
  for (const char* link : {"", "not a link", "ftp://example.com/faq", "mailto:help@example.com"}) {
    open({section("S", {row(RowType::FAQs)})}, std::nullopt, std::string(link));
    tap(0, 0);
    EXPECT_EQ(presented(), nullptr) << link;
    screen->openWebPage(link);
    EXPECT_EQ(presented(), nullptr) << link;
    home->dismiss(false);
  }
  open({section("S", {row(RowType::FAQs)})});
  tap(0, 0);
  EXPECT_EQ(presented(), nullptr);
  screen->openWebPage("HTTPS://www.example.com/x");
  EXPECT_TRUE(std::dynamic_pointer_cast<platform::SFSafariViewController>(presented()));
}

TEST_F(SettingsTest, CardsHandTheContactKindOnAndEmptySlotsOnlyDeselect) {
  open({section("S", {row(RowType::ReportError), row(RowType::RequestFeature), row(RowType::ContactUs),
                      row(RowType::Share), row(RowType::Rating), row(std::nullopt)})});
  auto c = card(0);
  std::vector<ContactType> kinds;
  c->contactUsRowTappedHandler = [&](ContactType k) { kinds.push_back(k); };
  for (int r = 0; r < 3; ++r) tap(0, r);
  EXPECT_EQ(kinds, (std::vector<ContactType>{ContactType::reportError, ContactType::newFeature, ContactType::contactUs}));
  c->shareRowTappedHandler = nullptr;
  c->contactUsRowTappedHandler = nullptr;
  tap(0, 0);
  tap(0, 3);
  tap(0, 4);  // the review prompt needs no slot
  tap(0, 5);
  EXPECT_EQ(presented(), nullptr);
  EXPECT_EQ(platform::testing::reviewRequests().size(), 1u);
  EXPECT_EQ(platform::testing::deselections(*c->tableView.lock()).size(), 7u);
}

TEST_F(SettingsTest, VersionLabelTakesOnlyTextValues) {
  struct Case {
    std::optional<platform::PlistValue> name, version;
    std::string text;
  } cases[] = {
      {platform::PlistValue("Demo"), platform::PlistValue("2.1"), "Demo \n v2.1"},
      {std::nullopt, std::nullopt, " \n v"},
      {platform::PlistValue(std::int64_t{7}), platform::PlistValue("3"), " \n v3"},
  };
  for (const auto& c : cases) {
    auto o = options();
    o.bundle.info.erase("CFBundleDisplayName");
    o.bundle.info.erase("CFBundleShortVersionString");
    o.bundle.info["CFBundleName"] = platform::PlistValue("Fallback");  // not the display name
    if (c.name) o.bundle.info["CFBundleDisplayName"] = *c.name;
    if (c.version) o.bundle.info["CFBundleShortVersionString"] = *c.version;
    start(o);
    open({});
    EXPECT_EQ(screen->versionLabel.lock()->text(), c.text);
  }
}

TEST_F(SettingsTest, NavigationBarTakesTheLibraryColoursAndEveryBarLosesItsShadow) {
  open({});
  const auto title = UIColor::colorNamed("LKSTitleColor", commonBundle());
  const auto background = UIColor::colorNamed("LKSBGColor", commonBundle());
  ASSERT_TRUE(title && background);
  auto bar = navigation->navigationBar();
  EXPECT_EQ(bar->titleTextAttributes().foregroundColor, title);
  ASSERT_TRUE(bar->scrollEdgeAppearance());
  const auto& edge = *bar->scrollEdgeAppearance();
  EXPECT_EQ(edge.titleTextAttributes.foregroundColor, title);
  EXPECT_EQ(edge.largeTitleTextAttributes.foregroundColor, title);
  EXPECT_EQ(edge.shadowColor, UIColor::clearColor());
  EXPECT_EQ(edge.backgroundColor, background);
  const auto& standard = bar->standardAppearance();
  EXPECT_EQ(standard.largeTitleTextAttributes.foregroundColor, title);
  EXPECT_EQ(standard.shadowColor, UIColor::clearColor());
  EXPECT_EQ(standard.backgroundColor, std::nullopt);
  EXPECT_TRUE(bar->prefersLargeTitles());
  EXPECT_TRUE(bar->isTranslucent());
  EXPECT_GE(screen->statusBarAppearanceUpdateCount(), 1);
  EXPECT_EQ(screen->preferredStatusBarStyle(), platform::UIStatusBarStyle::defaultStyle);

  // the proxy: every bar from now on
  const auto& proxy = platform::UINavigationBar::appearance();
  ASSERT_TRUE(proxy.shadowImage);
  EXPECT_TRUE(proxy.shadowImage->isEmpty());
  auto backgroundImage = proxy.backgroundImageForBarMetrics(platform::UIBarMetrics::defaultMetrics);
  ASSERT_TRUE(backgroundImage);
  EXPECT_TRUE(backgroundImage->isEmpty());
}

TEST_F(SettingsTest, WithoutTheCommonBundleStylingGoesOnWithoutColours) {
  sandbox().device().updateProfile([](platform::DeviceProfile& p) { p.missingResourceBundles = {"LKSCommon.bundle"}; });
  // the storyboard comes from the source tree; the screen looks the colours up itself
  auto initial = platform::UIStoryboard::storyboardWithName(
                     "Settings", std::make_shared<platform::Bundle>(platform::Bundle::Config{
                                     {}, std::filesystem::path(ORVANE_RESOURCES_DIR) / "LKSCommon.bundle"}))
                     ->instantiateInitialViewController();
  navigation = std::dynamic_pointer_cast<platform::UINavigationController>(initial);
  home->present(navigation, false);
  auto bar = navigation->navigationBar();
  EXPECT_EQ(bar->titleTextAttributes().foregroundColor, std::nullopt);
  ASSERT_TRUE(bar->scrollEdgeAppearance());
  EXPECT_EQ(bar->scrollEdgeAppearance()->backgroundColor, std::nullopt);
  EXPECT_TRUE(bar->prefersLargeTitles());
}

TEST_F(SettingsTest, ClosingReleasesTheScreenItsNavigationAndCards) {
  open({section("S", {row(RowType::Share), row(RowType::FAQs)})}, "123", "https://www.example.com/faq");
  std::weak_ptr<SettingsScreen> weakScreen = screen;
  std::weak_ptr<platform::UINavigationController> weakNavigation = navigation;
  std::weak_ptr<SettingsCell> weakCard = card(0);
  auto handler = card(0)->shareRowTappedHandler;
  auto close = std::dynamic_pointer_cast<platform::UIControl>(screen->view()->viewWithAccessibilityIdentifier("close"));
  ASSERT_TRUE(close);
  close->tap();
  sandbox().loop().runFor(1.0);
  EXPECT_EQ(home->presentedViewController(), nullptr);
  screen.reset();
  navigation.reset();
  close.reset();
  EXPECT_TRUE(weakScreen.expired());
  EXPECT_TRUE(weakNavigation.expired());
  EXPECT_TRUE(weakCard.expired());
  handler();  // a handler that outlived its screen does nothing
  EXPECT_EQ(home->presentedViewController(), nullptr);
}

class TabletShare : public SettingsTest {
 protected:
  TabletShare() {
    sandbox().device().updateProfile([](platform::DeviceProfile& p) { p.userInterfaceIdiom = 1; });
  }
};

TEST_F(TabletShare, TheSheetPointsAtTheCardOrAtNothingWhenItIsOutOfSight) {
  open({section("A", {row(RowType::Share)}), section("B", {row(RowType::Share)})}, "123");
  tap(1, 0);
  auto sheet = std::dynamic_pointer_cast<platform::UIActivityViewController>(presented());
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->popoverPresentationController()->sourceView(), card(1));
  EXPECT_EQ(sheet->popoverPresentationController()->sourceRect(), card(1)->bounds());
  navigation->dismiss(false);

  auto shareHandler = card(0)->shareRowTappedHandler;
  platform::testing::setRowVisible(*screen->settingsTableView, {0, 0}, false);
  screen->settingsTableView->reloadData();
  ASSERT_EQ(card(0), nullptr);
  shareHandler();
  sheet = std::dynamic_pointer_cast<platform::UIActivityViewController>(presented());
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->popoverPresentationController()->sourceView(), nullptr);
  EXPECT_EQ(sheet->popoverPresentationController()->sourceRect(), platform::CGRect{});
  const auto lines = platform::Process::current().consoleLines();
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.find("without a source view") != std::string::npos; }),
            lines.end());
}

}  // namespace

namespace {

using namespace settings_testing;

TEST_F(SettingsTest, IconTileIsTheTintedTileWithTheWhiteGlyphCentredAtItsOwnSize) {
  struct Case {
    const char* image;
    platform::CGSize glyph;  // none drawn when zero
  } cases[] = {{"reach-us", {18, 14}}, {"terms-of-use", {14, 18}}, {"no-such-image", {}}, {"", {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.image);
    const auto icon = makeSettingsIcon(c.image, platform::UIColor::redColor());
    ASSERT_TRUE(icon && icon->rendering());
    const auto& r = *icon->rendering();
    EXPECT_EQ(r.size, platform::CGSizeMake(32, 32));
    EXPECT_FALSE(r.opaque);
    EXPECT_EQ(r.scale, platform::UIScreen::mainScreen().scale());
    ASSERT_EQ(r.draws.size(), c.glyph.width > 0 ? 2u : 1u);
    const auto& tile = *r.draws[0].image;
    EXPECT_EQ(tile.source(), platform::UIImage::Source::symbol);
    EXPECT_EQ(tile.name(), "app.fill");
    EXPECT_EQ(tile.symbolConfiguration()->pointSize, 32);
    EXPECT_EQ(tile.tintColor(), platform::UIColor::redColor());
    EXPECT_EQ(tile.renderingMode(), platform::UIImageRenderingMode::alwaysOriginal);
    EXPECT_EQ(r.draws[0].rect, platform::CGRectMake(0, 0, 32, 32));
    if (r.draws.size() < 2) continue;
    const auto& glyph = *r.draws[1].image;
    EXPECT_EQ(glyph.name(), c.image);
    EXPECT_EQ(glyph.symbolConfiguration()->pointSize, 16);
    EXPECT_EQ(glyph.tintColor(), platform::UIColor::whiteColor());
    EXPECT_EQ(glyph.renderingMode(), platform::UIImageRenderingMode::alwaysOriginal);
    EXPECT_EQ(r.draws[1].rect, platform::CGRectMake((32 - c.glyph.width) * 0.5, (32 - c.glyph.height) * 0.5,
                                                    c.glyph.width, c.glyph.height));
  }
}

}  // namespace
