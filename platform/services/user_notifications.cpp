#include "platform/services/user_notifications.h"

#include <utility>

#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/services/user_notifications_facility.h"

namespace platform {

namespace detail {
namespace {
void answer(UNUserNotificationCenter::AuthorizationCompletion completion, bool granted, std::optional<Error> error) {
  if (!completion) return;
  DispatchQueue::global().async([completion = std::move(completion), granted, error = std::move(error)] {
    completion(granted, error);
  });
}
}  // namespace

std::shared_ptr<UserNotificationsFacility> UserNotificationsFacility::current() {
  return Process::current().shared<UserNotificationsFacility>([] { return std::make_shared<UserNotificationsFacility>(); });
}

void UserNotificationsFacility::request(UNAuthorizationOptions options,
                                        UNUserNotificationCenter::AuthorizationCompletion completion) {
  bool granted;
  std::optional<Error> error;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(options);
    if (hold_) {
      held_.push_back(std::move(completion));
      return;
    }
    granted = granted_;
    error = error_;
  }
  answer(std::move(completion), granted, std::move(error));
}

std::vector<UNAuthorizationOptions> UserNotificationsFacility::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void UserNotificationsFacility::setAnswer(bool granted, std::optional<Error> error) {
  std::lock_guard lock(mutex_);
  granted_ = granted;
  error_ = std::move(error);
}

void UserNotificationsFacility::holdAnswers(bool hold) {
  std::lock_guard lock(mutex_);
  hold_ = hold;
}

std::size_t UserNotificationsFacility::answerHeld(bool granted, const std::optional<Error>& error) {
  std::vector<UNUserNotificationCenter::AuthorizationCompletion> held;
  {
    std::lock_guard lock(mutex_);
    held.swap(held_);
  }
  for (auto& completion : held) answer(std::move(completion), granted, error);
  return held.size();
}

}  // namespace detail

UNUserNotificationCenter::UNUserNotificationCenter() : facility_(detail::UserNotificationsFacility::current()) {}

std::shared_ptr<UNUserNotificationCenter> UNUserNotificationCenter::currentNotificationCenter() {
  return Process::current().shared<UNUserNotificationCenter>([] { return std::make_shared<UNUserNotificationCenter>(); });
}

void UNUserNotificationCenter::requestAuthorizationWithOptions(UNAuthorizationOptions options,
                                                               AuthorizationCompletion completion) {
  facility_->request(options, std::move(completion));
}

}  // namespace platform
