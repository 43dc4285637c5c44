#include "shared_library/settings/settings_screen.h"

#include <mutex>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/network/url.h"
#include "platform/services/safari_view_controller.h"
#include "platform/uikit/activity_view_controller.h"
#include "platform/uikit/application.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"
#include "shared_library/settings/settings_cell.h"
#include "shared_library/support/lks_constants.h"
#include "shared_library/support/lks_deployment.h"
#include "shared_library/support/upgrade_utils.h"

using platform::NSIndexPath;
using platform::TextAttributes;
using platform::UIColor;
using platform::URL;

namespace {

constexpr const char kVersionSeparator[] = " \n v";
constexpr const char kWriteReviewQuery[] = "?action=write-review";

// The library's resource bundle inside the bundle of its classes, or none.
std::shared_ptr<platform::Bundle> commonBundle() {
  const auto resources = platform::Bundle::forLibraryClasses()->resourcePath();
  if (!resources) return nullptr;
  return platform::Bundle::bundleWithPath(*resources / "LKSCommon.bundle");
}

std::optional<UIColor> libraryColor(const char* name, const platform::UITraitCollection& traits) {
  return UIColor::colorNamed(name, commonBundle(), traits);
}

}  // namespace

void SettingsScreen::registerClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    platform::UIStoryboard::registerViewControllerClass<SettingsScreen>("SettingsScreen");
    platform::UIStoryboard::registerViewClass<SettingsCell>("SettingsCell");
    platform::UIStoryboard::registerViewClass<SettingsInfoCell>("SettingsInfoCell");
  });
}

void SettingsScreen::connectOutlets(platform::OutletConnector& connector) {
  UIViewController::connectOutlets(connector);
  connector.outlet("versionLabel", versionLabel);
  std::weak_ptr<platform::UITableView> table;
  connector.outlet("settingsTableView", table);
  if (auto t = table.lock()) settingsTableView = t;
  connector.action("closeButtonTapped", this, &SettingsScreen::closeButtonTapped);
}

void SettingsScreen::viewDidLoad() {
  UIViewController::viewDidLoad();
  const auto titleColor = libraryColor("LKSTitleColor", traitCollection());
  if (auto navigation = navigationController()) {
    // a colour that cannot be found leaves the attribute out
    TextAttributes attributes;
    attributes.foregroundColor = titleColor;
    navigation->navigationBar()->setTitleTextAttributes(attributes);
  }
  auto label = versionLabel.lock();
  if (!label) platform::fatalError("the settings outlet versionLabel is not connected");
  const auto bundle = platform::Bundle::main();
  label->setText(bundle->infoString("CFBundleDisplayName").value_or("") + kVersionSeparator +
                 bundle->infoString("CFBundleShortVersionString").value_or(""));
}

void SettingsScreen::viewWillAppear(bool animated) {
  UIViewController::viewWillAppear(animated);
  setNeedsStatusBarAppearanceUpdate();
  const auto traits = traitCollection();
  const auto titleColor = libraryColor("LKSTitleColor", traits);
  const auto barColor = libraryColor("LKSBGColor", traits);

  // every navigation bar of the application from now on
  auto& proxy = platform::UINavigationBar::appearance();
  proxy.shadowImage = platform::UIImageRef(std::make_shared<const platform::UIImage>());
  proxy.setBackgroundImage(platform::UIImageRef(std::make_shared<const platform::UIImage>()),
                           platform::UIBarMetrics::defaultMetrics);

  TextAttributes attributes;
  attributes.foregroundColor = titleColor;
  platform::UINavigationBarAppearance scrollEdge;
  scrollEdge.titleTextAttributes = attributes;
  scrollEdge.largeTitleTextAttributes = attributes;
  scrollEdge.shadowColor = UIColor::clearColor();
  scrollEdge.backgroundColor = barColor;
  platform::UINavigationBarAppearance standard;
  standard.titleTextAttributes = attributes;
  standard.largeTitleTextAttributes = attributes;
  standard.shadowColor = UIColor::clearColor();

  auto navigation = navigationController();
  if (!navigation) return;
  auto bar = navigation->navigationBar();
  bar->setScrollEdgeAppearance(scrollEdge);
  bar->setStandardAppearance(standard);
  bar->setPrefersLargeTitles(true);
  bar->setTranslucent(true);
}

int SettingsScreen::numberOfSectionsInTableView(platform::UITableView&) { return static_cast<int>(dataArray.size()); }

std::optional<double> SettingsScreen::heightForRowAtIndexPath(platform::UITableView&, NSIndexPath indexPath) {
  if (indexPath.section < 0 || indexPath.section >= static_cast<int>(dataArray.size())) return 20.0;
  const auto& rows = dataArray[static_cast<size_t>(indexPath.section)]->rows;
  // absent rows count as an empty card
  const long count = rows ? static_cast<long>(rows->size()) : 0;
  return static_cast<double>(count * 45) + 20.0;
}

std::shared_ptr<platform::UIView> SettingsScreen::viewForHeaderInSection(platform::UITableView&, int) {
  return std::make_shared<platform::UIView>(platform::CGRect{});
}

std::shared_ptr<platform::UIView> SettingsScreen::viewForFooterInSection(platform::UITableView&, int) {
  return std::make_shared<platform::UIView>(platform::CGRect{});
}

std::shared_ptr<platform::UITableViewCell> SettingsScreen::cellForRowAtIndexPath(platform::UITableView& table,
                                                                                 NSIndexPath indexPath) {
  auto card = std::dynamic_pointer_cast<SettingsCell>(table.dequeueReusableCellWithIdentifier("SettingsCell"));
  if (!card) platform::fatalError("the settings prototype SettingsCell is not a SettingsCell");
  if (indexPath.section < 0 || indexPath.section >= static_cast<int>(dataArray.size())) return card;
  const auto section = dataArray[static_cast<size_t>(indexPath.section)];
  card->data = section->rows;
  auto inner = card->tableView.lock();
  auto heading = card->sectionNameLabel.lock();
  if (!inner) platform::fatalError("the settings outlet tableView is not connected");
  if (!heading) platform::fatalError("the settings outlet sectionNameLabel is not connected");
  inner->reloadData();
  heading->setText(section->sectionTitle.value_or(""));

  // weak: a closed screen and its table go, and its cards' handlers then do nothing
  std::weak_ptr<SettingsScreen> self = std::static_pointer_cast<SettingsScreen>(shared_from_this());
  std::weak_ptr<platform::UITableView> weakTable =
      std::static_pointer_cast<platform::UITableView>(table.shared_from_this());
  card->customRowTappedHandler = [self](const std::shared_ptr<SettingsRowData>& row) {
    auto screen = self.lock();
    if (!screen) return;
    if (auto handler = screen->rowTappedHandler) handler(row);
  };
  card->contactUsRowTappedHandler = [self](ContactType) {
    if (self.lock()) UpgradeUtils::shared()->contactSupport();
  };
  card->FAQsRowTappedHandler = [self] {
    if (auto screen = self.lock()) screen->openFAQs();
  };
  card->writeReviewRowTappedHandler = [self] {
    if (auto screen = self.lock()) screen->openWriteReview();
  };
  card->shareRowTappedHandler = [self, weakTable, indexPath] {
    auto screen = self.lock();
    auto t = weakTable.lock();
    if (screen && t) screen->shareApp(*t, indexPath);
  };
  card->privacyPolicyRowTappedHandler = [self] {
    if (auto screen = self.lock()) screen->openWebPage(privacyPageAddress());
  };
  card->termConditionsRowTappedHandler = [self] {
    if (auto screen = self.lock()) screen->openWebPage(termsPageAddress());
  };
  return card;
}

void SettingsScreen::mailComposeController(platform::MFMailComposeViewController& controller,
                                           platform::MFMailComposeResult, const std::optional<platform::Error>&) {
  controller.dismiss(true);
}

void SettingsScreen::closeButtonTapped(platform::UIControl&) { dismiss(true); }

std::string SettingsScreen::storeIdentifier() const { return appId.value_or(LKSDeployment::defaultStoreIdentifier); }

std::string SettingsScreen::storePageAddress(const std::string& identifier) {
  return std::string("https://") + LKSDeployment::storeWebHost + "/us/app/id" + identifier;
}

std::string SettingsScreen::privacyPageAddress() {
  return std::string("https://") + LKSDeployment::makerWebHost + "/data/privacy.html";
}

std::string SettingsScreen::termsPageAddress() {
  return std::string("https://") + LKSDeployment::makerWebHost + "/data/terms.html";
}

void SettingsScreen::openWriteReview() {
  const auto url = URL::parse(storePageAddress(storeIdentifier()) + kWriteReviewQuery);
  if (!url) return;
  auto application = platform::UIApplication::sharedApplication();
  if (application->canOpenURL(*url)) application->openURL(*url);
}

void SettingsScreen::shareApp(platform::UITableView& table, NSIndexPath indexPath) {
  const auto url = URL::parse(storePageAddress(storeIdentifier()));
  if (!url || url->absoluteString().empty()) return;
  auto sheet = std::make_shared<platform::UIActivityViewController>(
      std::vector<platform::UIActivityViewController::Item>{*url}, std::nullopt);
  if (LKSConstants::isIPad()) {
    // a card scrolled out of sight has no cell: no source view and a zero rectangle
    auto cell = table.cellForRowAtIndexPath(indexPath);
    auto popover = sheet->popoverPresentationController();
    popover->setSourceView(cell);
    popover->setSourceRect(cell ? cell->bounds() : platform::CGRect{});
  }
  present(sheet, true);
}

void SettingsScreen::openFAQs() {
  const auto address = FAQsLink.value_or("");
  if (!URL::parse(address)) return;
  openWebPage(address);
}

void SettingsScreen::openWebPage(const std::string& address) {
  const auto url = URL::parse(address);
  if (!url || !UpgradeUtils::opensInBrowser(*url)) return;
  platform::SFSafariViewControllerConfiguration configuration;
  configuration.entersReaderIfAvailable = true;
  present(std::make_shared<platform::SFSafariViewController>(*url, configuration), true);
}
