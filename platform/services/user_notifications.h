#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/error.h"

namespace platform {

using UNAuthorizationOptions = unsigned long;
inline constexpr UNAuthorizationOptions UNAuthorizationOptionBadge = 1UL << 0;
inline constexpr UNAuthorizationOptions UNAuthorizationOptionSound = 1UL << 1;
inline constexpr UNAuthorizationOptions UNAuthorizationOptionAlert = 1UL << 2;

namespace detail {
class UserNotificationsFacility;
}

// The application's user-notification centre: only the permission request.
class UNUserNotificationCenter {
 public:
  using AuthorizationCompletion = std::function<void(bool granted, std::optional<Error> error)>;

  // The current process's centre.
  static std::shared_ptr<UNUserNotificationCenter> currentNotificationCenter();

  // Asks the user; the answer comes later, on a background queue, exactly once.
  void requestAuthorizationWithOptions(UNAuthorizationOptions options, AuthorizationCompletion completion);

  // On the process's facility; use currentNotificationCenter().
  UNUserNotificationCenter();

 private:
  std::shared_ptr<detail::UserNotificationsFacility> facility_;
};

}  // namespace platform
