#include "shared_library/permissions/notification_permission_screen.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/user_defaults.h"
#include "platform/testing/user_notifications_testing.h"
#include "tests/shared_library/permissions/permission_screen_fixture.h"

namespace {

using platform::testing::Sandbox;
using platform::testing::userNotifications;

class Delegate : public NotificationPermissionScreenDelegate {
 public:
  void hasShownNotificationPopup() override { ++told; }
  int told = 0;
};

class NotificationScreenTest : public PermissionScreenFixture {
 protected:
  std::shared_ptr<NotificationPermissionScreen> screen;
  std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();

  void TearDown() override {
    screen.reset();
    PermissionScreenFixture::TearDown();
  }
  void present(std::optional<std::string> bundleIdentifier = std::nullopt) {
    Sandbox::Options o = {};
    if (bundleIdentifier) o.bundle.info["CFBundleIdentifier"] = platform::PlistValue(*bundleIdentifier);
    launch(std::move(o));
    NotificationPermissionScreen::registerStoryboardClass();
    screen = scene<NotificationPermissionScreen>("NotificationPermissionScreen");
    ASSERT_TRUE(screen);
    screen->setDelegate(delegate);
    host->present(screen, false);
  }
  void tap() {
    auto button = std::dynamic_pointer_cast<platform::UIButton>(screen->view()->viewWithAccessibilityIdentifier("permission"));
    ASSERT_TRUE(button);
    button->tap();
  }
  bool popupShown() {
    auto suite = platform::UserDefaults::suite(NotificationPermissionScreen::kSharedSuiteName);
    return suite && suite->boolForKey(NotificationPermissionScreen::kPopupShownKey);
  }
  void settle() { sandbox->loop().runFor(1.0); }
};

TEST_F(NotificationScreenTest, ClosesAndNotesTheScreenWhateverTheAnswer) {
  struct Case {
    bool granted;
    std::optional<platform::Error> error;
  };
  for (const auto& c : {Case{true, std::nullopt}, Case{false, std::nullopt},
                        Case{false, platform::Error{"UNErrorDomain", 1, "Notifications are not allowed"}}}) {
    TearDown();
    delegate = std::make_shared<Delegate>();
    present();
    userNotifications().holdAnswers(true);
    tap();
    EXPECT_EQ(userNotifications().requests(), std::vector<platform::UNAuthorizationOptions>{7});
    settle();
    EXPECT_FALSE(popupShown());
    EXPECT_EQ(userNotifications().answerHeld(c.granted, c.error), 1u);
    sandbox->loop().runUntil([&] { return popupShown(); });
    EXPECT_TRUE(screen->isBeingDismissed());
    EXPECT_EQ(delegate->told, 0);  // only once the screen has gone
    settle();
    EXPECT_EQ(delegate->told, 1);
    EXPECT_EQ(host->presentedViewController(), nullptr);
  }
}

TEST_F(NotificationScreenTest, TheNoteIsKeptInTheSharedSuite) {
  present();
  tap();
  settle();
  sandbox->relaunch();
  EXPECT_TRUE(popupShown());
}

TEST_F(NotificationScreenTest, TapsAfterTheFirstAreIgnored) {
  present();
  tap();
  tap();
  settle();
  tap();
  settle();
  EXPECT_EQ(userNotifications().requestCount(), 1u);
  EXPECT_EQ(delegate->told, 1);
}

TEST_F(NotificationScreenTest, ASuiteThatDoesNotOpenIsSkipped) {
  // the application's own identifier cannot be a shared suite
  present(std::string(NotificationPermissionScreen::kSharedSuiteName));
  EXPECT_EQ(screen->sharedDefaults(), nullptr);
  tap();
  settle();
  EXPECT_EQ(delegate->told, 1);
  EXPECT_EQ(host->presentedViewController(), nullptr);
}

TEST_F(NotificationScreenTest, AGoneDelegateIsSkipped) {
  present();
  delegate.reset();
  tap();
  settle();
  EXPECT_EQ(host->presentedViewController(), nullptr);
}

}  // namespace
