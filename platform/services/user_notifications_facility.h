#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/services/user_notifications.h"

namespace platform::detail {

// The system's side of the process's user-notification centre: the requests it was asked, in
// order, and the user's answer. By default every request is answered "granted" at once (on a
// background queue); held, requests wait for an answer. Safe from any thread.
class UserNotificationsFacility {
 public:
  static std::shared_ptr<UserNotificationsFacility> current();

  void request(UNAuthorizationOptions options, UNUserNotificationCenter::AuthorizationCompletion completion);

  std::vector<UNAuthorizationOptions> requests() const;
  // The answer given to requests from now on.
  void setAnswer(bool granted, std::optional<Error> error);
  void holdAnswers(bool hold);
  // Answers every held request, each on a background queue; how many there were.
  std::size_t answerHeld(bool granted, const std::optional<Error>& error);

 private:
  mutable std::mutex mutex_;
  std::vector<UNAuthorizationOptions> requests_;
  bool granted_ = true;
  std::optional<Error> error_;
  bool hold_ = false;
  std::vector<UNUserNotificationCenter::AuthorizationCompletion> held_;
};

}  // namespace platform::detail
