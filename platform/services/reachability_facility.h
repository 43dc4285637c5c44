#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/services/reachability.h"

namespace platform::detail {

// The process's reachability monitors, told when the device's route changes.
class ReachabilityFacility : public std::enable_shared_from_this<ReachabilityFacility> {
 public:
  static std::shared_ptr<ReachabilityFacility> current();

  void add(const std::shared_ptr<Reachability>& monitor);
  bool isNotifying(const Reachability& monitor) const;
  void setNotifying(Reachability& monitor, bool notifying);
  // Each monitor whose notifier runs posts its change notification on the main queue.
  void routeChanged();

 private:
  mutable std::mutex mutex_;
  std::vector<std::weak_ptr<Reachability>> monitors_;
};

}  // namespace platform::detail
