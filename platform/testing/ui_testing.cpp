#include "platform/testing/ui_testing.h"

#include "platform/foundation/console.h"
#include "platform/foundation/notification_center.h"
#include "platform/uikit/application.h"

namespace platform::detail {

struct TableViewAccess {
  static std::set<NSIndexPath>& hiddenRows(UITableView& t) { return t.hiddenRows_; }
  static const std::vector<std::pair<NSIndexPath, bool>>& deselections(const UITableView& t) { return t.deselections_; }
  static size_t pooled(const UITableView& t, const std::string& id) {
    auto it = t.pool_.find(id);
    return it == t.pool_.end() ? 0 : it->second.size();
  }
};

}  // namespace platform::detail

namespace platform::testing {

namespace {
template <class F>
auto withRecords(F&& f) {
  return detail::UIRecords::current().with(std::forward<F>(f));
}
}  // namespace

void scriptCanOpenURL(const std::string& absoluteURL, bool answer) {
  withRecords([&](detail::UIRecords& r) { r.canOpenAnswers[absoluteURL] = answer; });
}

std::vector<std::string> canOpenURLQuestions() {
  return withRecords([](detail::UIRecords& r) { return r.canOpenQuestions; });
}

std::vector<std::string> openedURLs() {
  return withRecords([](detail::UIRecords& r) {
    std::vector<std::string> out;
    for (const auto& o : r.openedURLs) out.push_back(o.what);
    return out;
  });
}

std::vector<long> badgeNumberHistory() {
  return withRecords([](detail::UIRecords& r) { return r.badgeHistory; });
}

std::vector<detail::UIRecords::Presentation> presentations() {
  return withRecords([](detail::UIRecords& r) { return r.presentations; });
}

void setTransitionDuration(double seconds) {
  withRecords([&](detail::UIRecords& r) { r.transitionDuration = seconds; });
}

std::vector<detail::UIRecords::Timed> hapticNotifications() {
  return withRecords([](detail::UIRecords& r) { return r.haptics; });
}

std::vector<Duration> reviewRequests() {
  return withRecords([](detail::UIRecords& r) {
    std::vector<Duration> out;
    for (const auto& t : r.reviewRequests) out.push_back(t.at);
    return out;
  });
}

void tapAlertAction(UIAlertController& alert, const std::string& title) {
  const auto& actions = alert.actions();
  for (size_t i = 0; i < actions.size(); ++i)
    if (actions[i].title == title) return alert.tapActionAtIndex(i);
  fatalError("the alert has no action titled " + title);
}

void postDidBecomeActive() { NotificationCenter::defaultCenter().post(UIApplicationDidBecomeActiveNotification); }

void tapRow(UITableView& table, NSIndexPath indexPath) {
  auto keep = table.shared_from_this();
  table.selectRowAtIndexPath(indexPath, false);
  if (auto delegate = table.delegate()) delegate->didSelectRowAtIndexPath(table, indexPath);
}

void setRowVisible(UITableView& table, NSIndexPath indexPath, bool visible) {
  auto& hidden = detail::TableViewAccess::hiddenRows(table);
  if (visible) hidden.erase(indexPath);
  else hidden.insert(indexPath);
}

std::vector<std::pair<NSIndexPath, bool>> deselections(const UITableView& table) {
  return detail::TableViewAccess::deselections(table);
}

size_t pooledCellCount(const UITableView& table, const std::string& reuseIdentifier) {
  return detail::TableViewAccess::pooled(table, reuseIdentifier);
}

}  // namespace platform::testing
