#include "platform/testing/user_notifications_testing.h"

#include "platform/services/user_notifications_facility.h"

namespace platform::testing {

UserNotificationsControl::UserNotificationsControl() : facility_(detail::UserNotificationsFacility::current()) {}

UserNotificationsControl userNotifications() { return UserNotificationsControl(); }

std::vector<UNAuthorizationOptions> UserNotificationsControl::requests() const { return facility_->requests(); }

void UserNotificationsControl::setAnswer(bool granted, std::optional<Error> error) {
  facility_->setAnswer(granted, std::move(error));
}

void UserNotificationsControl::holdAnswers(bool hold) { facility_->holdAnswers(hold); }

std::size_t UserNotificationsControl::answerHeld(bool granted, std::optional<Error> error) {
  return facility_->answerHeld(granted, error);
}

}  // namespace platform::testing
