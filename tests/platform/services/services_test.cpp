#include <gtest/gtest.h>

#include "platform/services/alert_controller.h"
#include "platform/services/feedback.h"
#include "platform/services/safari_view_controller.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/ui_testing.h"
#include "platform/uikit/application.h"
#include "platform/uikit/control.h"
#include "platform/uikit/screen_description.h"

namespace platform {
namespace {

class ServicesTest : public ::testing::Test {
 protected:
  ServicesTest() {
    window->setRootViewController(root);
    window->makeKeyAndVisible();
  }
  testing::Sandbox sandbox;
  std::shared_ptr<UIViewController> root = std::make_shared<UIViewController>();
  std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>(UIScreen::mainScreen().bounds());
};

TEST_F(ServicesTest, BrowserPageKeepsItsAddressAndReaderFlag) {
  auto page = std::make_shared<SFSafariViewController>(*URL::parse("https://example.com/support/?cat=32"),
                                                       SFSafariViewControllerConfiguration{true});
  EXPECT_TRUE(page->configuration().entersReaderIfAvailable);
  root->present(page, false);
  EXPECT_EQ(describeScreen(),
            "UIWindow\n"
            "  SFSafariViewController\n"
            "    UIView\n"
            "      UILabel#address \"https://example.com/support/?cat=32\"\n");
  EXPECT_NO_FATAL_FAILURE(SFSafariViewController(*URL::parse("HTTP://example.com")));
}

TEST_F(ServicesTest, BrowserPageRefusesOtherSchemes) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const char* url : {"mailto:a@b.c", "fb://page", "app-settings:", "file:///etc/passwd"})
    EXPECT_DEATH(SFSafariViewController(*URL::parse(url)), "opens only http and https addresses") << url;
}

TEST_F(ServicesTest, AlertActionDismissesThenRunsItsHandler) {
  auto alert = UIAlertController::alertControllerWithTitle("Oops", "Try again", UIAlertControllerStyle::alert);
  std::vector<std::string> events;
  alert->addAction(UIAlertAction::actionWithTitle("Cancel", UIAlertActionStyle::cancel));
  alert->addAction(UIAlertAction::actionWithTitle("Retry", UIAlertActionStyle::defaultStyle, [&](const UIAlertAction& a) {
    events.push_back(*a.title + (root->presentedViewController() ? " while shown" : " after dismissal"));
  }));
  root->present(alert, false);
  EXPECT_EQ(describeScreen(),
            "UIWindow\n"
            "  UIAlertController \"Oops\"\n"
            "    UIView\n"
            "      UILabel#title \"Oops\"\n"
            "      UILabel#message \"Try again\"\n"
            "      UIButton \"Cancel\"\n"
            "      UIButton \"Retry\"\n");
  testing::tapAlertAction(*alert, "Retry");
  EXPECT_EQ(events, std::vector<std::string>{"Retry after dismissal"});
  EXPECT_EQ(alert->actions()[0].style, UIAlertActionStyle::cancel);

  // the buttons do the same
  root->present(alert, false);
  std::dynamic_pointer_cast<UIButton>(alert->view()->subviews()[2])->tap();  // Cancel: no handler
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(ServicesTest, HapticsAndReviewRequestsAreKeptWithTheirMoments) {
  UINotificationFeedbackGenerator().notificationOccurred(UINotificationFeedbackType::success);
  sandbox.loop().runFor(5.0);
  SKStoreReviewController::requestReview();
  auto haptics = testing::hapticNotifications();
  ASSERT_EQ(haptics.size(), 1u);
  EXPECT_EQ(haptics[0].what, "success");
  EXPECT_EQ(haptics[0].at, Duration::zero());
  EXPECT_EQ(testing::reviewRequests(), std::vector<Duration>{seconds(5.0)});
}

}  // namespace
}  // namespace platform
