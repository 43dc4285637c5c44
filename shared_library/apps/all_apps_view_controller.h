#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/queues.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view_controller.h"
#include "shared_library/apps/app_table_view_cell.h"
#include "shared_library/apps/native_apps_tracker.h"

enum class AllAppScreenSection { apps };

// The maker's other applications as the tracker knows them, one row each, reloaded every 5 s
// while the screen is shown. Pushed on a navigation stack; the scene "AllAppsViewController".
class AllAppsViewController : public platform::UIViewController,
                              public platform::UITableViewDataSource,
                              public platform::UITableViewDelegate,
                              public AppTableCellDelegate {
 public:
  static constexpr const char* kStoryboardIdentifier = "AllAppsViewController";
  static constexpr double kRefreshInterval = 5.0;
  static constexpr double kRowHeight = 90;

  // Makes the screen's classes known to storyboards; once is enough.
  static void registerClasses();

  std::weak_ptr<platform::UITableView> allAppsTableView;
  std::optional<NativeAppsList> appsArray;
  std::shared_ptr<platform::Timer> appStatusTimer;
  std::vector<AllAppScreenSection> tableData;

  virtual void loadTableData();
  void goBackPressed(platform::UIControl& sender);

  void viewDidLoad() override;
  void viewWillDisappear(bool animated) override;
  platform::UIStatusBarStyle preferredStatusBarStyle() const override;
  void connectOutlets(platform::OutletConnector& connector) override;

  int numberOfSectionsInTableView(platform::UITableView& tableView) override;
  int numberOfRowsInSection(platform::UITableView& tableView, int section) override;
  std::shared_ptr<platform::UITableViewCell> cellForRowAtIndexPath(platform::UITableView& tableView,
                                                                   platform::NSIndexPath indexPath) override;
  std::optional<double> heightForRowAtIndexPath(platform::UITableView& tableView,
                                                platform::NSIndexPath indexPath) override;
};
