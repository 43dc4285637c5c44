#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/services/user_notifications.h"

namespace platform::detail {
class UserNotificationsFacility;
}

namespace platform::testing {

// The test side of the current process's user-notification centre: the options of every
// request, and the user's answer. By default every request is answered "granted" at once (on a
// background queue); held, requests wait until the test answers them. Safe from any thread.
class UserNotificationsControl {
 public:
  UserNotificationsControl();

  std::vector<UNAuthorizationOptions> requests() const;
  std::size_t requestCount() const { return requests().size(); }

  // The answer given to requests from now on.
  void setAnswer(bool granted, std::optional<Error> error = std::nullopt);
  void holdAnswers(bool hold);
  // Answers every held request, each on a background queue; how many there were.
  std::size_t answerHeld(bool granted, std::optional<Error> error = std::nullopt);

 private:
  std::shared_ptr<detail::UserNotificationsFacility> facility_;
};

UserNotificationsControl userNotifications();

}  // namespace platform::testing
