#include <gtest/gtest.h>

#include "tests/platform/uikit/ui_fixture.h"
#include "platform/uikit/navigation_controller.h"

namespace platform::uitest {
namespace {

using StoryboardTest = UITest;

TEST_F(StoryboardTest, BuildsTheSceneAndConnectsOutletsAndActionsBeforeTheViewLoads) {
  auto screen = std::dynamic_pointer_cast<FirstScreen>(fixture()->instantiateInitialViewController());
  ASSERT_NE(screen, nullptr);
  EXPECT_TRUE(lifecycle().empty());  // no viewDidLoad until the view is asked for
  EXPECT_TRUE(screen->awokeWithLabel);
  EXPECT_EQ(screen->storyboard()->name(), "Fixture");
  EXPECT_EQ(screen->title(), "First");

  auto label = screen->titleLabel.lock();
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Hello");
  EXPECT_EQ(label->textColor(), UIColor::blackColor());  // the light variant of TitleColor
  EXPECT_EQ(label->font(), UIFont::systemFontOfSize(14, UIFontWeight::semibold));
  EXPECT_EQ(label->frame(), CGRectMake(20, 40, 200, 20));
  auto logo = screen->logo.lock();
  ASSERT_TRUE(logo->image());
  EXPECT_EQ(logo->image().requestedName(), "shield");
  EXPECT_EQ(logo->image()->size(), CGSizeMake(120, 120));
  EXPECT_EQ(screen->topConstraint.lock()->constant(), 52);
  auto badge = screen->badge.lock();
  EXPECT_TRUE(badge->awoken);
  EXPECT_TRUE(badge->isHidden());
  EXPECT_EQ(screen->view()->backgroundColor(), UIColor::whiteColor());

  screen->goButton.lock()->tap();
  EXPECT_EQ(screen->taps, 1);
  EXPECT_EQ(lifecycle(), std::vector<std::string>{"First viewDidLoad"});
}

TEST_F(StoryboardTest, EveryInstantiationIsFreshAndReleasedWhenNoLongerHeld) {
  auto a = scene<FirstScreen>("First");
  auto b = scene<FirstScreen>("First");
  EXPECT_NE(a->titleLabel.lock(), b->titleLabel.lock());
  std::weak_ptr<UIViewController> gone = a;
  std::weak_ptr<UILabel> goneLabel = a->titleLabel;
  auto button = a->goButton.lock();
  a.reset();
  EXPECT_TRUE(gone.expired());
  EXPECT_TRUE(goneLabel.expired());
  button->tap();  // its target is gone: nothing runs
}

TEST_F(StoryboardTest, NavigationSceneHoldsItsChildScenes) {
  auto nav = std::dynamic_pointer_cast<UINavigationController>(fixture()->instantiateViewControllerWithIdentifier("Nav"));
  ASSERT_NE(nav, nullptr);
  ASSERT_EQ(nav->viewControllers().size(), 1u);
  auto child = std::dynamic_pointer_cast<SecondScreen>(nav->viewControllers()[0]);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->navigationController(), nav);
  EXPECT_EQ(child->progressBar.lock()->progress(), 0.25f);
}

TEST_F(StoryboardTest, EveryKindOfPropertyReachesItsView) {
  const auto views = fixture()->instantiateViewControllerWithIdentifier("Properties")->view()->subviews();
  ASSERT_EQ(views.size(), 3u);
  auto button = std::dynamic_pointer_cast<UIButton>(views[0]);
  EXPECT_FALSE(button->isEnabled());
  EXPECT_TRUE(button->isSelected());
  EXPECT_EQ(button->backgroundImageForState().requestedName(), "shield");
  EXPECT_EQ(button->tag(), -7);
  EXPECT_EQ(button->layer().borderWidth, 2);
  EXPECT_EQ(button->layer().borderColor, UIColor::redColor());
  EXPECT_EQ(button->layer().cornerCurve, CALayerCornerCurve::continuous);
  EXPECT_EQ(std::dynamic_pointer_cast<UIImageView>(views[1])->tintColor(), UIColor::blueColor());
  EXPECT_EQ(std::dynamic_pointer_cast<UITableViewCell>(views[2])->accessoryType(),
            UITableViewCellAccessoryType::checkmark);
}

TEST_F(StoryboardTest, InitialSceneMayBeNone) {
  EXPECT_EQ(UIStoryboard::storyboardWithName("NoInitial")->instantiateInitialViewController(), nullptr);
}

TEST_F(StoryboardTest, PrototypeCellsAreBuiltPerDequeueWithTheirOutlets) {
  auto list = scene<ListScreen>("List");
  auto table = list->table.lock();
  ASSERT_NE(table->dataSource(), nullptr);
  EXPECT_EQ(table->delegate().get(), static_cast<UITableViewDelegate*>(list.get()));
  auto one = std::dynamic_pointer_cast<FixtureCell>(table->dequeueReusableCellWithIdentifier("Row"));
  auto two = std::dynamic_pointer_cast<FixtureCell>(table->dequeueReusableCellWithIdentifier("Row"));
  ASSERT_NE(one, nullptr);
  EXPECT_NE(one, two);
  EXPECT_EQ(one->reuseIdentifier(), "Row");
  EXPECT_NE(one->nameLabel.lock(), nullptr);
  EXPECT_NE(one->nameLabel.lock(), two->nameLabel.lock());
}

struct FatalCase {
  const char* storyboard;
  const char* identifier;  // none: the storyboard itself is missing
  const char* message;
};

class StoryboardFatal : public UITest, public ::testing::WithParamInterface<FatalCase> {};

TEST_P(StoryboardFatal, IsAProgrammingErrorNamingWhatIsMissing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto c = GetParam();
  EXPECT_DEATH(
      {
        auto storyboard = UIStoryboard::storyboardWithName(c.storyboard);
        if (c.identifier) storyboard->instantiateViewControllerWithIdentifier(c.identifier);
      },
      c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoryboardFatal,
    ::testing::Values(FatalCase{"Nope", nullptr, "storyboard \"Nope\" is not in the bundle"},
                      FatalCase{"../Fixture", nullptr, "is not a storyboard name"},
                      FatalCase{"Fixture", "Missing", "has no scene with identifier \"Missing\""},
                      FatalCase{"Fixture", "UnknownClass", "unknown view controller class NoSuchScreen"},
                      FatalCase{"Fixture", "UnknownViewClass", "unknown view class NoSuchView"},
                      FatalCase{"Fixture", "UnknownOutlet", "SecondScreen.* has no outlet named closeButton"},
                      FatalCase{"Fixture", "WrongOutletClass", "the outlet progressBar cannot hold a UILabel"},
                      FatalCase{"Fixture", "UnknownAction", "has no action named launchRockets"},
                      FatalCase{"Fixture", "UnknownProperty", "UILabel has no property txet"}));

TEST_F(StoryboardTest, DequeueOfAnUnknownIdentifierIsAProgrammingError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto list = scene<ListScreen>("List");
  EXPECT_DEATH(list->table.lock()->dequeueReusableCellWithIdentifier("NoRow"),
               "no prototype cell with reuse identifier \"NoRow\"");
}

TEST_F(StoryboardTest, ABundleWithoutResourcesHasNoStoryboards) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto bare = std::make_shared<Bundle>(Bundle::Config{});
  EXPECT_DEATH(UIStoryboard::storyboardWithName("Fixture", bare), "the bundle has no resource directory");
}

}  // namespace
}  // namespace platform::uitest
