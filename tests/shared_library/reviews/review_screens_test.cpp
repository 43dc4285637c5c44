#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/text_input_testing.h"
#include "platform/testing/ui_testing.h"
#include "platform/uikit/application.h"
#include "platform/uikit/storyboard.h"
#include "shared_library/reviews/review_screens.h"

namespace {

using platform::NSRange;
using platform::UIColor;

class ReviewTest : public ::testing::Test {
 protected:
  static platform::testing::Sandbox::Options options() {
    platform::testing::Sandbox::Options o;
    o.bundle.resourcePath = ORVANE_RESOURCES_DIR;
    return o;
  }
  ReviewTest() : sandbox(options()) {
    registerReviewScreens();
    window = std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());
    home = std::make_shared<platform::UIViewController>();
    window->setRootViewController(home);
    window->makeKeyAndVisible();
    board = platform::UIStoryboard::storyboardWithName(
        "Review", platform::Bundle::bundleWithPath(*platform::Bundle::forLibraryClasses()->resourcePath() /
                                                   "LKSCommon.bundle"));
  }
  ~ReviewTest() override {
    home.reset();
    window.reset();
  }
  template <class T>
  std::shared_ptr<T> scene(const char* id) {
    return std::dynamic_pointer_cast<T>(board->instantiateViewControllerWithIdentifier(id));
  }
  std::shared_ptr<WriteReviewController> openEntry(std::optional<std::string> appID = std::nullopt) {
    auto entry = scene<WriteReviewController>("WriteReviewController");
    entry->appID = std::move(appID);
    home->present(entry, false);
    sandbox.loop().runUntilIdle();
    return entry;
  }
  void press(platform::UIViewController& screen, const std::string& id) {
    std::dynamic_pointer_cast<platform::UIButton>(screen.view()->viewWithAccessibilityIdentifier(id))->tap();
    sandbox.loop().runFor(1);  // past an animated transition
  }

  platform::testing::Sandbox sandbox;
  std::shared_ptr<platform::UIWindow> window;
  std::shared_ptr<platform::UIViewController> home;
  std::shared_ptr<platform::UIStoryboard> board;
};

TEST_F(ReviewTest, PopUpCardAndItsButtons) {
  auto popUp = scene<RatingPopUpController>("RatingPopUpController");
  popUp->appID = "123";
  home->present(popUp, false);
  const auto& layer = popUp->popUpView.lock()->layer();
  EXPECT_EQ(layer.borderWidth, 2.0);
  EXPECT_EQ(layer.borderColor, UIColor::orangeColor());
  EXPECT_EQ(layer.cornerRadius, 14.0);
  EXPECT_TRUE(layer.masksToBounds);
  press(*popUp, "hateIt");
  EXPECT_EQ(home->presentedViewController(), popUp);

  std::weak_ptr<RatingPopUpController> gone = popUp;
  press(*popUp, "loveIt");
  popUp.reset();
  sandbox.loop().runUntilIdle();
  auto entry = std::dynamic_pointer_cast<WriteReviewController>(home->presentedViewController());
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->appID, "123");
  EXPECT_TRUE(gone.expired());
}

TEST_F(ReviewTest, EmptyAppIdCountsAsAbsentAndCloseDismisses) {
  auto popUp = scene<RatingPopUpController>("RatingPopUpController");
  home->present(popUp, false);
  press(*popUp, "loveIt");
  auto entry = std::dynamic_pointer_cast<WriteReviewController>(home->presentedViewController());
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->appID, std::nullopt);

  auto other = scene<RatingPopUpController>("RatingPopUpController");
  entry->present(other, false);
  press(*other, "outside");
  EXPECT_EQ(entry->presentedViewController(), nullptr);
}

TEST_F(ReviewTest, PlaceholderWithTheCaretAtTheStart) {
  auto entry = openEntry();
  auto text = entry->textView.lock();
  EXPECT_EQ(text->text(), "Tell Us More");
  EXPECT_EQ(text->textColor(), UIColor::lightGrayColor());
  EXPECT_TRUE(text->isFirstResponder());
  EXPECT_EQ(text->selectedTextRange().start.offset, 0u);
  platform::testing::tapText(*text, 5);
  EXPECT_EQ(text->selectedTextRange().start.offset, 0u);
}

TEST_F(ReviewTest, ChangeRules) {
  auto entry = openEntry();
  auto text = entry->textView.lock();
  // Typing over the placeholder: the screen applies it and refuses the change.
  EXPECT_FALSE(platform::testing::typeText(*text, {0, 0}, "a"));
  EXPECT_EQ(text->text(), "a");
  EXPECT_EQ(text->textColor(), UIColor::whiteColor());
  EXPECT_TRUE(platform::testing::typeText(*text, {1, 0}, "😀b"));
  EXPECT_EQ(text->text(), "a😀b");
  platform::testing::tapText(*text, 1);
  EXPECT_EQ(text->selectedTextRange().start.offset, 1u);
  struct Case {
    NSRange range;
    std::string replacement;
  };
  // Outside the text, or splitting the surrogate pair.
  for (const auto& c : std::vector<Case>{{{5, 0}, "x"}, {{3, 2}, ""}, {{2, 0}, "x"}, {{1, 1}, ""}})
    EXPECT_FALSE(entry->textViewShouldChangeTextInRange(*text, c.range, c.replacement));
  EXPECT_EQ(text->text(), "a😀b");
  // Deleting everything brings the placeholder back.
  EXPECT_FALSE(platform::testing::typeText(*text, {0, 4}, ""));
  EXPECT_EQ(text->text(), "Tell Us More");
  EXPECT_EQ(text->textColor(), UIColor::lightGrayColor());
  EXPECT_EQ(text->selectedTextRange().start.offset, 0u);
  // A deletion inside the placeholder is refused.
  EXPECT_FALSE(platform::testing::typeText(*text, {11, 1}, ""));
  EXPECT_EQ(text->text(), "Tell Us More");
}

TEST_F(ReviewTest, SendAndShare) {
  struct Case {
    std::optional<std::string> typed;
    std::optional<std::string> appID;
    std::string label, pasted, opened;
  };
  for (const auto& c : std::vector<Case>{
           {std::nullopt, std::nullopt, "''", "", "https://apps.apple.com/us/app/id1609457123?action=write-review"},
           {"Tell Us More", "123", "''", "", "https://apps.apple.com/us/app/id123?action=write-review"},
           {"Great", "123", "'Great'", "Great", "https://apps.apple.com/us/app/id123?action=write-review"}}) {
    auto entry = openEntry(c.appID);
    if (c.typed) platform::testing::typeText(*entry->textView.lock(), {0, 0}, *c.typed);
    press(*entry, "send");
    auto share = std::dynamic_pointer_cast<ShareReviewController>(entry->presentedViewController());
    ASSERT_TRUE(share);
    EXPECT_EQ(share->reviewLabel.lock()->text(), c.label);
    platform::testing::scriptCanOpenURL(c.opened, true);
    press(*share, "share");
    EXPECT_EQ(platform::UIPasteboard::generalPasteboard().string(), c.pasted);
    ASSERT_FALSE(platform::testing::openedURLs().empty());
    EXPECT_EQ(platform::testing::openedURLs().back(), c.opened);
    EXPECT_EQ(entry->presentedViewController(), share);
    press(*share, "close");
    EXPECT_EQ(entry->presentedViewController(), nullptr);
    home->dismiss(false);
    sandbox.loop().runUntilIdle();
  }
}

TEST_F(ReviewTest, ShareThatCannotOpenOnlyCopies) {
  auto share = scene<ShareReviewController>("ShareReviewController");
  share->reviewText = "Nice";
  home->present(share, false);
  platform::testing::scriptCanOpenURL(ShareReviewController::writeReviewAddress(std::nullopt), false);
  press(*share, "share");
  EXPECT_EQ(platform::UIPasteboard::generalPasteboard().string(), "Nice");
  EXPECT_TRUE(platform::testing::openedURLs().empty());
}

}  // namespace
