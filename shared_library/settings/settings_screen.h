#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/services/mail_compose.h"
#include "platform/uikit/control.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view_controller.h"
#include "shared_library/settings/settings_row_data.h"

// The library's settings screen: one card per section its presenter hands it, a label with the
// application's name and version, and the action behind every row type. It is the first child of
// the navigation controller that the storyboard "Settings" of "LKSCommon.bundle" starts with.
// Main thread only.
class SettingsScreen : public platform::UIViewController,
                       public platform::UITableViewDataSource,
                       public platform::UITableViewDelegate,
                       public platform::MFMailComposeViewControllerDelegate {
 public:
  // The storyboard's classes by their names; needed once before "Settings" is loaded.
  static void registerClasses();

  std::vector<std::shared_ptr<SettingsSectionData>> dataArray;
  std::optional<std::string> appId;
  std::optional<std::string> FAQsLink;
  std::weak_ptr<platform::UILabel> versionLabel;
  std::shared_ptr<platform::UITableView> settingsTableView;
  // Receives the rows of type custom when tapped.
  std::function<void(const std::shared_ptr<SettingsRowData>&)> rowTappedHandler;

  void connectOutlets(platform::OutletConnector& connector) override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  platform::UIStatusBarStyle preferredStatusBarStyle() const override {
    return platform::UIStatusBarStyle::defaultStyle;
  }

  int numberOfSectionsInTableView(platform::UITableView&) override;
  int numberOfRowsInSection(platform::UITableView&, int) override { return 1; }
  std::shared_ptr<platform::UITableViewCell> cellForRowAtIndexPath(platform::UITableView& table,
                                                                   platform::NSIndexPath indexPath) override;
  std::optional<double> heightForRowAtIndexPath(platform::UITableView&, platform::NSIndexPath indexPath) override;
  std::optional<double> heightForHeaderInSection(platform::UITableView&, int) override { return 0.1; }
  std::shared_ptr<platform::UIView> viewForHeaderInSection(platform::UITableView&, int) override;
  std::optional<double> heightForFooterInSection(platform::UITableView&, int) override { return 0.1; }
  std::shared_ptr<platform::UIView> viewForFooterInSection(platform::UITableView&, int) override;

  void mailComposeController(platform::MFMailComposeViewController& controller, platform::MFMailComposeResult result,
                             const std::optional<platform::Error>& error) override;

  void closeButtonTapped(platform::UIControl& sender);

  // The store's review form of appId (or the default identifier), when it can be opened.
  void openWriteReview();
  // The share sheet with the store page's address; on a tablet it points at the card.
  void shareApp(platform::UITableView& table, platform::NSIndexPath indexPath);
  void openFAQs();
  // The in-app browser for an http or https address; anything else does nothing.
  void openWebPage(const std::string& address);

  // The addresses the rows use.
  std::string storeIdentifier() const;
  static std::string storePageAddress(const std::string& identifier);
  static std::string privacyPageAddress();
  static std::string termsPageAddress();
};
