#pragma once

#include <memory>

namespace platform {

enum class NetworkStatus { notReachable = 0, reachableViaWiFi = 1, reachableViaWWAN = 2 };

// Posted on the default notification centre, on the main queue, with the monitor as the object,
// after each change of the route while the monitor's notifier runs.
inline constexpr const char* kReachabilityChangedNotification = "kNetworkReachabilityChangedNotification";

namespace detail {
class ReachabilityFacility;
}

// A watch on the device's general internet route (the zero address), whatever the interface.
class Reachability {
 public:
  static std::shared_ptr<Reachability> reachabilityForInternetConnection();
  ~Reachability();
  Reachability(const Reachability&) = delete;
  Reachability& operator=(const Reachability&) = delete;

  NetworkStatus currentReachabilityStatus() const;
  // Idempotent; true once running.
  bool startNotifier();
  void stopNotifier();
  bool isNotifying() const;

 private:
  friend class detail::ReachabilityFacility;
  explicit Reachability(std::shared_ptr<detail::ReachabilityFacility> facility);

  const std::weak_ptr<detail::ReachabilityFacility> facility_;
  bool notifying_ = false;  // guarded by the facility's lock
};

}  // namespace platform
