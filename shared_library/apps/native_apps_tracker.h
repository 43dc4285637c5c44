#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/foundation/operation_queue.h"
#include "shared_library/apps/app_metadata_operation.h"
#include "shared_library/apps/native_app_data.h"

using NativeAppsList = std::vector<std::shared_ptr<NativeAppData>>;

// The list of the maker's other applications from the remote value "u.a.l", each completed by
// a store look-up (at most three at a time). When a batch of look-ups has ended it asks for
// notification permission and puts the number of applications not installed on the icon badge.
class NativeAppsTracker : public AppMetadataOperationDelegate, public std::enable_shared_from_this<NativeAppsTracker> {
 public:
  static constexpr long kMaxConcurrentLookups = 3;

  // The process's tracker, made on first use; replaceable.
  static std::shared_ptr<NativeAppsTracker> shared();
  static void setShared(std::shared_ptr<NativeAppsTracker> tracker);
  // A new tracker, observing the remote-configuration notification.
  static std::shared_ptr<NativeAppsTracker> make();

  const std::shared_ptr<platform::OperationQueue>& operationQueue() const { return operationQueue_; }
  // The current list, as one snapshot: none until the remote value has once been an array.
  std::optional<NativeAppsList> nativeAppsList() const;
  void setNativeAppsList(std::optional<NativeAppsList> list);

  // Listed applications not installed (asking the platform again for each); 0 without a list.
  virtual long remainingNotInstalledApps() const;
  // A list that is not empty and whose applications are all installed.
  virtual bool areAllAppsInstalled() const;

  // Rebuilds the list from the remote value, on the main queue (hopping there when called
  // elsewhere), and queues one look-up per record.
  virtual void loadNativeApps();
  // The remote configuration has been refreshed: loads the list while there is none.
  void didAppSettingsUpdated();
  void didFinishLoadingAppMetadata() override;

  NativeAppsTracker();

 private:
  void rebuildOnMain();

  const std::shared_ptr<platform::OperationQueue> operationQueue_;
  mutable std::mutex mutex_;
  std::optional<NativeAppsList> nativeAppsList_;
};
