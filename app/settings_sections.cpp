#include "app/settings_sections.h"

#include <string>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/uikit/storyboard.h"
#include "shared_library/settings/settings_screen.h"
#include "shared_library/support/lks_deployment.h"

using platform::UIColor;
using RowType = SettingsRowData::RowType;

std::string settingsFAQsLink() { return std::string("https://") + LKSDeployment::makerWebHost + "/support/?cat=30"; }

namespace {

std::shared_ptr<SettingsRowData> row(const char* title, const char* image, double r, double g, double b,
                                     RowType type) {
  return std::make_shared<SettingsRowData>(title, image, UIColor::colorWithRed(r, g, b, 1), type);
}

}  // namespace

std::vector<std::shared_ptr<SettingsSectionData>> settingsSections() {
  using Rows = std::vector<std::shared_ptr<SettingsRowData>>;
  return {
      std::make_shared<SettingsSectionData>(
          "SHARE", Rows{row("Write a Review", "review", 0.98, 0.81, 0.16, RowType::writeReview),
                        row("Rate Us", "rate-us", 0.93, 0.53, 0.18, RowType::Rating),
                        row("Share with Friends & Family", "share-app", 0.22, 0.83, 0.49, RowType::Share)}),
      std::make_shared<SettingsSectionData>(
          "HELP", Rows{row("Frequently Asked Questions", "Faqs", 0.65, 0.41, 0.74, RowType::FAQs)}),
      std::make_shared<SettingsSectionData>(
          "CONTACT", Rows{row("Report an error", "report-error", 0.91, 0.37, 0.30, RowType::ReportError),
                          row("Request a new feature", "request-new-feature", 0.98, 0.18, 0.57,
                              RowType::RequestFeature),
                          row("Contact Us", "reach-us", 0.25, 0.64, 0.89, RowType::ContactUs)}),
      std::make_shared<SettingsSectionData>(
          "ABOUT", Rows{row("Privacy Policy", "privacy-policy", 0.65, 0.41, 0.74, RowType::PrivacyPolicy),
                        row("Term of Use", "terms-of-use", 0.98, 0.18, 0.57, RowType::TermsConditions)}),
  };
}

void showSettings(platform::UIViewController& presenter) {
  SettingsScreen::registerClasses();
  const auto resources = platform::Bundle::forLibraryClasses()->resourcePath();
  if (!resources) platform::fatalError("the bundle of the settings screen has no resource directory");
  // no bundle there: the storyboard is looked for in the main bundle
  const auto bundle = platform::Bundle::bundleWithPath(*resources / "LKSCommon.bundle");
  auto navigation = platform::UIStoryboard::storyboardWithName("Settings", bundle)->instantiateInitialViewController();
  if (!navigation) return;
  const auto& children = navigation->childViewControllers();
  if (children.empty()) return;
  auto screen = std::dynamic_pointer_cast<SettingsScreen>(children.front());
  if (!screen) return;
  screen->dataArray = settingsSections();
  screen->appId = LKSDeployment::defaultStoreIdentifier;
  screen->FAQsLink = settingsFAQsLink();
  presenter.present(navigation, true);
}
