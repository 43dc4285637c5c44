#include <gtest/gtest.h>

#include <atomic>
#include <optional>

#include "platform/foundation/queues.h"
#include "platform/services/user_notifications.h"
#include "platform/testing/user_notifications_testing.h"
#include "platform/testing/collected.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

using testing::Collected;
using testing::Sandbox;

struct Answer {
  bool granted;
  std::optional<Error> error;
  bool onMainThread;
};

struct UserNotificationsFixture : ::testing::Test {
  Sandbox sandbox;
  Collected<Answer> answers;

  void request(UNAuthorizationOptions options) {
    UNUserNotificationCenter::currentNotificationCenter()->requestAuthorizationWithOptions(
        options, [this](bool granted, std::optional<Error> error) { answers.add({granted, error, isMainThread()}); });
  }
};

TEST_F(UserNotificationsFixture, RecordsTheOptionsAndAnswersOnABackgroundQueue) {
  request(UNAuthorizationOptionBadge | UNAuthorizationOptionSound | UNAuthorizationOptionAlert);
  sandbox.loop().runUntil([&] { return answers.count() == 1; });
  EXPECT_EQ(testing::userNotifications().requests(), (std::vector<UNAuthorizationOptions>{7}));
  ASSERT_EQ(answers.count(), 1u);
  EXPECT_TRUE(answers.all()[0].granted);
  EXPECT_FALSE(answers.all()[0].onMainThread);
}

TEST_F(UserNotificationsFixture, HeldRequestsWaitForTheScriptedAnswer) {
  auto control = testing::userNotifications();
  control.holdAnswers(true);
  request(UNAuthorizationOptionAlert);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(answers.count(), 0u);
  const Error refused{"UNErrorDomain", 1, "Notifications are not allowed"};
  EXPECT_EQ(control.answerHeld(false, refused), 1u);
  sandbox.loop().runUntil([&] { return answers.count() == 1; });
  ASSERT_EQ(answers.count(), 1u);
  EXPECT_FALSE(answers.all()[0].granted);
  EXPECT_EQ(answers.all()[0].error, refused);
  EXPECT_EQ(control.answerHeld(true), 0u);  // answered once only
}

TEST_F(UserNotificationsFixture, ScriptedAnswerAppliesToLaterRequests) {
  testing::userNotifications().setAnswer(false);
  request(UNAuthorizationOptionBadge);
  sandbox.loop().runUntil([&] { return answers.count() == 1; });
  ASSERT_EQ(answers.count(), 1u);
  EXPECT_FALSE(answers.all()[0].granted);
}

}  // namespace
}  // namespace platform
