#include "platform/services/user_notifications.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/services/user_notifications_testing.h"

namespace platform {

namespace detail {
struct UserNotificationsState {
  std::mutex mutex;
  std::vector<UNAuthorizationOptions> requests;
  bool granted = true;
  std::optional<Error> error;
  bool hold = false;
  std::vector<UNUserNotificationCenter::AuthorizationCompletion> held;
};

namespace {
void answer(UNUserNotificationCenter::AuthorizationCompletion completion, bool granted, std::optional<Error> error) {
  if (!completion) return;
  DispatchQueue::global().async([completion = std::move(completion), granted, error = std::move(error)] {
    completion(granted, error);
  });
}
}  // namespace
}  // namespace detail

UNUserNotificationCenter::UNUserNotificationCenter() : state_(std::make_shared<detail::UserNotificationsState>()) {}

std::shared_ptr<UNUserNotificationCenter> UNUserNotificationCenter::currentNotificationCenter() {
  return Process::current().shared<UNUserNotificationCenter>([] { return std::make_shared<UNUserNotificationCenter>(); });
}

void UNUserNotificationCenter::requestAuthorizationWithOptions(UNAuthorizationOptions options,
                                                               AuthorizationCompletion completion) {
  bool granted;
  std::optional<Error> error;
  {
    std::lock_guard lock(state_->mutex);
    state_->requests.push_back(options);
    if (state_->hold) {
      state_->held.push_back(std::move(completion));
      return;
    }
    granted = state_->granted;
    error = state_->error;
  }
  detail::answer(std::move(completion), granted, std::move(error));
}

namespace testing {

UserNotificationsControl::UserNotificationsControl(const UNUserNotificationCenter& center) : state_(center.state_) {}

UserNotificationsControl userNotifications() {
  return UserNotificationsControl(*UNUserNotificationCenter::currentNotificationCenter());
}

std::vector<UNAuthorizationOptions> UserNotificationsControl::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

void UserNotificationsControl::setAnswer(bool granted, std::optional<Error> error) {
  std::lock_guard lock(state_->mutex);
  state_->granted = granted;
  state_->error = std::move(error);
}

void UserNotificationsControl::holdAnswers(bool hold) {
  std::lock_guard lock(state_->mutex);
  state_->hold = hold;
}

std::size_t UserNotificationsControl::answerHeld(bool granted, std::optional<Error> error) {
  std::vector<UNUserNotificationCenter::AuthorizationCompletion> held;
  {
    std::lock_guard lock(state_->mutex);
    held.swap(state_->held);
  }
  for (auto& completion : held) detail::answer(std::move(completion), granted, error);
  return held.size();
}

}  // namespace testing
}  // namespace platform
