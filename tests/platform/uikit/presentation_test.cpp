#include <gtest/gtest.h>

#include "platform/uikit/navigation_controller.h"
#include "tests/platform/uikit/ui_fixture.h"

namespace platform::uitest {
namespace {

using Log = std::vector<std::string>;
using PresentationTest = UITest;

TEST_F(PresentationTest, MakeKeyAndVisibleLoadsTheRootThenShowsIt) {
  auto root = std::make_shared<LoggingScreen>("A");
  auto window = std::make_shared<UIWindow>(UIScreen::mainScreen().bounds());
  window->setRootViewController(root);
  EXPECT_TRUE(lifecycle().empty());
  EXPECT_FALSE(window->isKeyWindow());
  window->makeKeyAndVisible();
  EXPECT_EQ(lifecycle(), (Log{"A viewDidLoad", "A viewWillAppear"}));
  EXPECT_TRUE(window->isKeyWindow());
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(root->view()->window(), window);
  EXPECT_EQ(UIApplication::sharedApplication()->windows(), std::vector<std::shared_ptr<UIWindow>>{window});

  // a new root in a visible window shows at once; the old one goes
  lifecycle().clear();
  window->setRootViewController(std::make_shared<LoggingScreen>("B"));
  EXPECT_EQ(lifecycle(), (Log{"A viewWillDisappear", "B viewDidLoad", "B viewWillAppear"}));
  EXPECT_EQ(root->view()->window(), nullptr);
}

struct LifecycleCase {
  const char* name;
  UIModalPresentationStyle style;
  bool animated;
  Log onPresent, onDismiss;
};

class PresentationLifecycle : public UITest, public ::testing::WithParamInterface<LifecycleCase> {};

TEST_P(PresentationLifecycle, CallbacksFollowTheStyle) {
  const auto c = GetParam();
  auto a = std::make_shared<LoggingScreen>("A");
  auto window = show(a);
  auto b = std::make_shared<LoggingScreen>("B");
  if (c.style != UIModalPresentationStyle::automatic) b->setModalPresentationStyle(c.style);
  lifecycle().clear();
  int presented = 0, dismissed = 0;
  a->present(b, c.animated, [&] { ++presented; });
  EXPECT_EQ(lifecycle(), c.onPresent);
  EXPECT_EQ(a->presentedViewController(), b);
  EXPECT_EQ(b->presentingViewController(), a);
  EXPECT_EQ(presented, c.animated ? 0 : 1);
  sandbox.loop().runFor(0.3);
  EXPECT_EQ(presented, 1);

  lifecycle().clear();
  b->dismiss(c.animated, [&] { ++dismissed; });
  EXPECT_EQ(lifecycle(), c.onDismiss);
  EXPECT_EQ(b->isBeingDismissed(), c.animated);
  sandbox.loop().runFor(0.3);
  EXPECT_EQ(dismissed, 1);
  EXPECT_EQ(a->presentedViewController(), nullptr);
  EXPECT_EQ(b->presentingViewController(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, PresentationLifecycle,
    ::testing::Values(
        LifecycleCase{"FullScreen", UIModalPresentationStyle::fullScreen, false,
                      {"B viewDidLoad", "A viewWillDisappear", "B viewWillAppear"},
                      {"B viewWillDisappear", "A viewWillAppear"}},
        LifecycleCase{"FullScreenAnimated", UIModalPresentationStyle::fullScreen, true,
                      {"B viewDidLoad", "A viewWillDisappear animated", "B viewWillAppear animated"},
                      {"B viewWillDisappear animated", "A viewWillAppear animated"}},
        LifecycleCase{"PageSheet", UIModalPresentationStyle::pageSheet, false,
                      {"B viewDidLoad", "B viewWillAppear"},
                      {"B viewWillDisappear"}},
        LifecycleCase{"AutomaticIsAPageSheet", UIModalPresentationStyle::automatic, true,
                      {"B viewDidLoad", "B viewWillAppear animated"},
                      {"B viewWillDisappear animated"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PresentationTest, AnimatedTransitionsCompleteAfterTheirTimeOnTheClock) {
  auto a = std::make_shared<LoggingScreen>("A");
  auto window = show(a);
  std::vector<double> done;
  a->present(std::make_shared<LoggingScreen>("B"), true, [&] { done.push_back(now()); });
  sandbox.loop().runFor(0.29);
  EXPECT_TRUE(done.empty());
  sandbox.loop().runFor(1.0);
  a->dismiss(true, [&] { done.push_back(now()); });
  sandbox.loop().runFor(1.0);
  EXPECT_EQ(done, (std::vector<double>{0.3, 1.59}));

  testing::setTransitionDuration(0.5);
  a->present(std::make_shared<LoggingScreen>("C"), true, [&] { done.push_back(now()); });
  sandbox.loop().runFor(1.0);
  EXPECT_EQ(done.back(), 2.79);
  auto records = testing::presentations();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].presenter, "LoggingScreen");
  EXPECT_EQ(records[0].style, static_cast<int>(UIModalPresentationStyle::pageSheet));
  EXPECT_TRUE(records[0].animated);
  EXPECT_TRUE(records[0].hadCompletion);
}

TEST_F(PresentationTest, RefusedPresentationsSayWhyAndNeverComplete) {
  auto a = std::make_shared<LoggingScreen>("A");
  auto window = show(a);
  auto b = std::make_shared<LoggingScreen>("B");
  a->present(b, false);
  bool ran = false;
  a->present(std::make_shared<SecondScreen>(), false, [&] { ran = true; });
  auto detached = std::make_shared<LoggingScreen>("D");
  detached->present(std::make_shared<SecondScreen>(), false, [&] { ran = true; });
  auto hiddenWindow = std::make_shared<UIWindow>();
  auto unshown = std::make_shared<LoggingScreen>("U");
  hiddenWindow->setRootViewController(unshown);
  unshown->present(std::make_shared<SecondScreen>(), false, [&] { ran = true; });
  sandbox.loop().runFor(1.0);
  EXPECT_FALSE(ran);
  EXPECT_EQ(a->presentedViewController(), b);
  EXPECT_EQ(detached->presentedViewController(), nullptr);
  EXPECT_EQ(consoleLines(),
            (Log{"Attempt to present SecondScreen on LoggingScreen which is already presenting LoggingScreen",
                 "Attempt to present SecondScreen on LoggingScreen whose view is not in the window hierarchy",
                 "Attempt to present SecondScreen on LoggingScreen whose view is not in the window hierarchy"}));
  EXPECT_TRUE(b->isInWindowHierarchy());
  EXPECT_FALSE(detached->isInWindowHierarchy());
}

TEST_F(PresentationTest, DismissGoesToWhatIsPresentedOrDoesNothing) {
  auto a = std::make_shared<LoggingScreen>("A");
  auto window = show(a);
  int completions = 0;
  auto count = [&] { ++completions; };

  // neither presenting nor presented: nothing, and no completion
  a->dismiss(false, count);
  std::make_shared<LoggingScreen>("Loose")->dismiss(false, count);
  EXPECT_EQ(completions, 0);

  // called on the presenter: what it presents goes
  auto b = std::make_shared<LoggingScreen>("B");
  a->present(b, false);
  a->dismiss(false, count);
  EXPECT_EQ(a->presentedViewController(), nullptr);
  EXPECT_EQ(completions, 1);

  // called on a child of a presented container: the container goes
  auto child = std::make_shared<LoggingScreen>("Child");
  auto nav = std::make_shared<UINavigationController>(child);
  a->present(nav, false);
  EXPECT_EQ(child->presentingViewController(), a);
  child->dismiss(false, count);
  EXPECT_EQ(a->presentedViewController(), nullptr);
  EXPECT_EQ(completions, 2);

  // a second dismiss while the first is under way does nothing
  a->present(b, false);
  b->dismiss(true, count);
  b->dismiss(true, count);
  a->dismiss(false, count);
  sandbox.loop().runFor(1.0);
  EXPECT_EQ(completions, 3);
  EXPECT_EQ(a->presentedViewController(), nullptr);
}

TEST_F(PresentationTest, DismissingAPresenterTakesTheWholeChainAway) {
  auto a = std::make_shared<LoggingScreen>("A");
  auto window = show(a);
  auto b = std::make_shared<LoggingScreen>("B");
  auto c = std::make_shared<LoggingScreen>("C");
  a->present(b, false);
  b->present(c, false);
  lifecycle().clear();
  a->dismiss(false);
  EXPECT_EQ(lifecycle(), (Log{"C viewWillDisappear", "B viewWillDisappear"}));
  EXPECT_EQ(c->presentingViewController(), nullptr);
  EXPECT_EQ(b->presentedViewController(), nullptr);
}

TEST_F(PresentationTest, AStoryboardScreenIsReleasedOnceDismissed) {
  auto a = std::make_shared<LoggingScreen>("A");
  auto window = show(a);
  std::weak_ptr<SecondScreen> second;
  {
    auto s = scene<SecondScreen>("Second");
    second = s;
    a->present(s, true);
  }
  sandbox.loop().runFor(1.0);
  ASSERT_FALSE(second.expired());
  second.lock()->backTapped();  // dismisses itself, animated
  sandbox.loop().runFor(1.0);
  EXPECT_TRUE(second.expired());
}

TEST_F(PresentationTest, NavigationShowsItsTopChildAndForwardsAppearance) {
  auto root = std::make_shared<LoggingScreen>("Root");
  auto nav = std::make_shared<UINavigationController>(root);
  auto window = show(nav);
  EXPECT_EQ(lifecycle(), (Log{"Root viewDidLoad", "Root viewWillAppear"}));
  lifecycle().clear();
  auto next = std::make_shared<LoggingScreen>("Next");
  nav->pushViewController(next, true);
  EXPECT_EQ(lifecycle(), (Log{"Root viewWillDisappear animated", "Next viewDidLoad", "Next viewWillAppear animated"}));
  EXPECT_EQ(nav->topViewController(), next);
  EXPECT_EQ(next->navigationController(), nav);
  lifecycle().clear();
  EXPECT_EQ(nav->popViewControllerAnimated(false), next);
  EXPECT_EQ(lifecycle(), (Log{"Next viewWillDisappear", "Root viewWillAppear"}));
  EXPECT_EQ(nav->popViewControllerAnimated(false), nullptr);  // the root stays
  EXPECT_EQ(next->navigationController(), nullptr);
}

}  // namespace
}  // namespace platform::uitest

namespace platform::uitest {
namespace {

TEST_F(PresentationTest, NavigationBarKeepsItsLookAndTheProxyTellsEmptyFromNone) {
  auto nav = std::make_shared<UINavigationController>(std::make_shared<LoggingScreen>("Root"));
  auto bar = nav->navigationBar();
  EXPECT_TRUE(bar->isTranslucent());
  UINavigationBarAppearance look;
  look.configureWithOpaqueBackground();
  look.titleTextAttributes.foregroundColor = UIColor::whiteColor();
  look.shadowColor = std::nullopt;
  bar->setStandardAppearance(look);
  bar->setScrollEdgeAppearance(look);
  bar->setTitleTextAttributes({UIColor::blueColor(), std::nullopt});
  bar->setPrefersLargeTitles(true);
  bar->setTranslucent(false);
  EXPECT_EQ(bar->standardAppearance().backgroundColor, UIColor::whiteColor());
  EXPECT_EQ(bar->scrollEdgeAppearance(), look);
  EXPECT_EQ(bar->titleTextAttributes().foregroundColor, UIColor::blueColor());

  auto& proxy = UINavigationBar::appearance();
  EXPECT_FALSE(proxy.shadowImage);
  EXPECT_FALSE(proxy.shadowImage.requestedName());
  proxy.shadowImage = std::make_shared<const UIImage>();
  proxy.setBackgroundImage(std::make_shared<const UIImage>(), UIBarMetrics::defaultMetrics);
  EXPECT_TRUE(proxy.shadowImage && proxy.shadowImage->isEmpty());
  EXPECT_TRUE(proxy.backgroundImageForBarMetrics(UIBarMetrics::defaultMetrics));
  EXPECT_FALSE(proxy.backgroundImageForBarMetrics(UIBarMetrics::compact));
  // the proxy belongs to one run of the application
  sandbox.relaunch();
  EXPECT_FALSE(UINavigationBar::appearance().shadowImage);
}

TEST_F(PresentationTest, StatusBarUpdatesAreCountedAndStylesAreTheControllers) {
  struct Light : UIViewController {
    UIStatusBarStyle preferredStatusBarStyle() const override { return UIStatusBarStyle::lightContent; }
  };
  auto light = std::make_shared<Light>();
  EXPECT_EQ(static_cast<int>(light->preferredStatusBarStyle()), 1);
  EXPECT_EQ(static_cast<int>(UIViewController().preferredStatusBarStyle()), 0);
  light->setNeedsStatusBarAppearanceUpdate();
  light->setNeedsStatusBarAppearanceUpdate();
  EXPECT_EQ(light->statusBarAppearanceUpdateCount(), 2);
}

}  // namespace
}  // namespace platform::uitest
