#include "shared_library/apps/native_apps_tracker.h"

#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/services/user_notifications.h"
#include "platform/uikit/application.h"
#include "shared_library/support/utility_wrapper.h"

using nlohmann::json;

namespace {

constexpr const char* kAppsListKey = "u.a.l";

struct TrackerSlot {
  std::mutex mutex;
  std::shared_ptr<NativeAppsTracker> tracker;
};

std::shared_ptr<TrackerSlot> trackerSlot() {
  return platform::Process::current().shared<TrackerSlot>([] {
    auto slot = std::make_shared<TrackerSlot>();
    slot->tracker = NativeAppsTracker::make();
    return slot;
  });
}

std::optional<std::string> textAt(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

}  // namespace

NativeAppsTracker::NativeAppsTracker() : operationQueue_(std::make_shared<platform::OperationQueue>()) {
  operationQueue_->setMaxConcurrentOperationCount(kMaxConcurrentLookups);
}

std::shared_ptr<NativeAppsTracker> NativeAppsTracker::make() {
  auto tracker = std::make_shared<NativeAppsTracker>();
  std::weak_ptr<NativeAppsTracker> weak = tracker;
  platform::NotificationCenter::defaultCenter().addObserver(
      std::weak_ptr<const void>(tracker), UtilityWrapper::updateEventsNotificationName(), [weak](const auto&) {
        if (auto t = weak.lock()) t->didAppSettingsUpdated();
      });
  return tracker;
}

std::shared_ptr<NativeAppsTracker> NativeAppsTracker::shared() {
  auto slot = trackerSlot();
  std::lock_guard lock(slot->mutex);
  return slot->tracker;
}

void NativeAppsTracker::setShared(std::shared_ptr<NativeAppsTracker> tracker) {
  auto slot = trackerSlot();
  std::lock_guard lock(slot->mutex);
  slot->tracker = std::move(tracker);
}

std::optional<NativeAppsList> NativeAppsTracker::nativeAppsList() const {
  std::lock_guard lock(mutex_);
  return nativeAppsList_;
}

void NativeAppsTracker::setNativeAppsList(std::optional<NativeAppsList> list) {
  std::lock_guard lock(mutex_);
  nativeAppsList_ = std::move(list);
}

long NativeAppsTracker::remainingNotInstalledApps() const {
  const auto list = nativeAppsList();
  if (!list) return 0;
  long count = 0;
  for (const auto& record : *list)
    if (!record->isInstalled()) ++count;
  return count;
}

bool NativeAppsTracker::areAllAppsInstalled() const {
  const auto list = nativeAppsList();
  if (!list) return false;
  std::size_t installed = 0;
  for (const auto& record : *list)
    if (record->isInstalled()) ++installed;
  return installed == list->size() && !list->empty();
}

void NativeAppsTracker::didAppSettingsUpdated() {
  // tested where the list is rebuilt, so two refreshes in a row load it once
  platform::DispatchQueue::main().async([self = shared_from_this()] {
    if (!self->nativeAppsList()) self->loadNativeApps();
  });
}

void NativeAppsTracker::loadNativeApps() {
  if (!platform::isMainThread()) {
    platform::DispatchQueue::main().async([self = shared_from_this()] { self->loadNativeApps(); });
    return;
  }
  rebuildOnMain();
}

void NativeAppsTracker::rebuildOnMain() {
  const auto value = UtilityWrapper::valueForEventKey(std::string(kAppsListKey));
  if (!value || !value->is_array()) return;

  const auto ownBundleID = platform::Bundle::main()->bundleIdentifier();
  NativeAppsList list;
  for (const auto& element : *value) {
    if (!element.is_object()) continue;
    auto record = std::make_shared<NativeAppData>(textAt(element, "aID"), textAt(element, "bID"),
                                                  textAt(element, "scheme"));
    if (record->bundleID() == ownBundleID) continue;
    list.push_back(std::move(record));
  }
  setNativeAppsList(list);

  for (const auto& record : list) {
    auto operation = std::make_shared<AppMetadataOperation>(record);
    operation->setDelegate(weak_from_this());
    operationQueue_->addOperation(std::move(operation));
  }
}

void NativeAppsTracker::didFinishLoadingAppMetadata() {
  platform::DispatchQueue::main().async([self = shared_from_this()] {
    if (self->operationQueue_->operationCount() != 0) return;
    platform::UNUserNotificationCenter::currentNotificationCenter()->requestAuthorizationWithOptions(
        platform::UNAuthorizationOptionBadge | platform::UNAuthorizationOptionSound |
            platform::UNAuthorizationOptionAlert,
        [](bool, std::optional<platform::Error>) { platform::console("succes"); });
    // not waiting for the answer
    platform::UIApplication::sharedApplication()->setApplicationIconBadgeNumber(self->remainingNotInstalledApps());
  });
}
