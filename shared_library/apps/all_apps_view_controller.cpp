#include "shared_library/apps/all_apps_view_controller.h"

#include <mutex>

#include "platform/foundation/console.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard.h"

void AllAppsViewController::registerClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    platform::UIStoryboard::registerViewControllerClass<AllAppsViewController>("AllAppsViewController");
    platform::UIStoryboard::registerViewClass<AppTableViewCell>("AppTableViewCell");
    platform::UIStoryboard::registerViewClass<StarRatingView>("StarRatingView");
  });
}

void AllAppsViewController::connectOutlets(platform::OutletConnector& c) {
  UIViewController::connectOutlets(c);
  c.outlet("allAppsTableView", allAppsTableView);
  c.action("goBackPressed", this, &AllAppsViewController::goBackPressed);
}

void AllAppsViewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  loadTableData();
  // Holds the screen weakly: a screen that is gone ends its timer.
  std::weak_ptr<AllAppsViewController> weak = std::static_pointer_cast<AllAppsViewController>(shared_from_this());
  appStatusTimer = platform::Timer::scheduledTimer(kRefreshInterval, true, [weak](platform::Timer& timer) {
    if (auto screen = weak.lock()) screen->loadTableData();
    else timer.invalidate();
  });
}

void AllAppsViewController::viewWillDisappear(bool animated) {
  UIViewController::viewWillDisappear(animated);
  if (appStatusTimer) appStatusTimer->invalidate();
}

platform::UIStatusBarStyle AllAppsViewController::preferredStatusBarStyle() const {
  return platform::UIStatusBarStyle::darkContent;
}

void AllAppsViewController::loadTableData() {
  tableData = {AllAppScreenSection::apps};
  appsArray = NativeAppsTracker::shared()->nativeAppsList();
  auto table = allAppsTableView.lock();
  if (!table) platform::fatalError("AllAppsViewController: the outlet allAppsTableView is not connected");
  table->reloadData();
}

void AllAppsViewController::goBackPressed(platform::UIControl&) {
  if (auto navigation = navigationController()) navigation->popViewControllerAnimated(true);
}

int AllAppsViewController::numberOfSectionsInTableView(platform::UITableView&) {
  return static_cast<int>(tableData.size());
}

int AllAppsViewController::numberOfRowsInSection(platform::UITableView&, int section) {
  if (section < 0 || static_cast<size_t>(section) >= tableData.size()) return 0;
  return appsArray ? static_cast<int>(appsArray->size()) : 0;
}

std::shared_ptr<platform::UITableViewCell> AllAppsViewController::cellForRowAtIndexPath(
    platform::UITableView&, platform::NSIndexPath indexPath) {
  auto table = allAppsTableView.lock();
  if (!table) platform::fatalError("AllAppsViewController: the outlet allAppsTableView is not connected");
  auto cell = std::dynamic_pointer_cast<AppTableViewCell>(
      table->dequeueReusableCellWithIdentifier(AppTableViewCell::kReuseIdentifier));
  if (!cell) platform::fatalError("AllAppsViewController: the table gave no AppTableViewCell");
  std::shared_ptr<NativeAppData> record;
  if (appsArray && indexPath.row >= 0 && static_cast<size_t>(indexPath.row) < appsArray->size())
    record = (*appsArray)[static_cast<size_t>(indexPath.row)];
  cell->configure(record);
  cell->delegate = std::static_pointer_cast<AllAppsViewController>(shared_from_this());
  return cell;
}

std::optional<double> AllAppsViewController::heightForRowAtIndexPath(platform::UITableView&, platform::NSIndexPath) {
  return kRowHeight;
}
