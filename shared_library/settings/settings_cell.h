#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/image.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view.h"
#include "shared_library/settings/settings_row_data.h"
#include "shared_library/support/contact_type.h"

// The icon tile of a row: the platform's filled tile symbol at 32 points in the colour, with the
// named image of the application's catalogue at 16 points drawn white in its centre (none found:
// a bare tile).
platform::UIImageRef makeSettingsIcon(const std::string& imageName, platform::UIColor tileColor);

// One row of a card.
class SettingsInfoCell : public platform::UITableViewCell {
 public:
  using UITableViewCell::UITableViewCell;

  // The tile (blue without a colour), the title ("" without one) and a hidden badge.
  void configure(const SettingsRowData& row);

  void connectOutlets(platform::OutletConnector& connector) override;

  std::weak_ptr<platform::UILabel> titleLabel;
  std::weak_ptr<platform::UIImageView> SPImage;
  // A badge label view; kept hidden here.
  std::weak_ptr<platform::UILabel> badgeLabel;
};

// One section as a card: its heading over an inner table of its rows. A tap on a row goes to the
// handler slot of its type; a Rating row asks the store for its review prompt itself.
class SettingsCell : public platform::UITableViewCell,
                     public platform::UITableViewDataSource,
                     public platform::UITableViewDelegate {
 public:
  using UITableViewCell::UITableViewCell;

  void connectOutlets(platform::OutletConnector& connector) override;
  // The card becomes its inner table's data source and delegate.
  void awakeFromNib() override;
  void reloadTableView();

  int numberOfSectionsInTableView(platform::UITableView&) override { return 1; }
  int numberOfRowsInSection(platform::UITableView& table, int section) override;
  std::shared_ptr<platform::UITableViewCell> cellForRowAtIndexPath(platform::UITableView& table,
                                                                   platform::NSIndexPath indexPath) override;
  std::optional<double> heightForRowAtIndexPath(platform::UITableView&, platform::NSIndexPath) override {
    return 45.0;
  }
  void didSelectRowAtIndexPath(platform::UITableView& table, platform::NSIndexPath indexPath) override;

  std::weak_ptr<platform::UITableView> tableView;
  std::weak_ptr<platform::UIView> roundedView;
  std::weak_ptr<platform::UILabel> sectionNameLabel;

  std::function<void(const std::shared_ptr<SettingsRowData>&)> customRowTappedHandler;
  std::function<void(ContactType)> contactUsRowTappedHandler;
  std::function<void()> shareRowTappedHandler;
  std::function<void()> privacyPolicyRowTappedHandler;
  std::function<void()> termConditionsRowTappedHandler;
  std::function<void()> writeReviewRowTappedHandler;
  std::function<void()> FAQsRowTappedHandler;

  std::optional<std::vector<std::shared_ptr<SettingsRowData>>> data;
};
