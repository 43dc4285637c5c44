#include "shared_library/support/lks_utils.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/testing/sandbox.h"
#include "platform/uikit/application.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/tab_bar_controller.h"
#include "platform/uikit/view_controller.h"
#include "shared_library/support/lks_constants.h"

namespace {

using platform::UIApplication;
using platform::UIApplicationDelegate;
using platform::UIApplicationLaunchOptions;
using platform::UINavigationController;
using platform::UITabBarController;
using platform::UIViewController;
using platform::UIWindow;
using platform::testing::Sandbox;
using Controller = std::shared_ptr<UIViewController>;

class WindowDelegate : public UIApplicationDelegate {
 public:
  bool didFinishLaunchingWithOptions(UIApplication&, const std::optional<UIApplicationLaunchOptions>&) override {
    return true;
  }
  bool respondsToWindow() const override { return answersWindow; }
  std::shared_ptr<UIWindow> window() override { return window_; }

  bool answersWindow = true;
  std::shared_ptr<UIWindow> window_;
};

Controller plain() { return std::make_shared<UIViewController>(); }

std::shared_ptr<UINavigationController> navigation(std::vector<Controller> children) {
  auto nav = std::make_shared<UINavigationController>();
  nav->setViewControllers(std::move(children));
  return nav;
}

std::shared_ptr<UITabBarController> tabs(std::vector<Controller> children, Controller selected = nullptr) {
  auto bar = std::make_shared<UITabBarController>();
  bar->setViewControllers(std::move(children));
  if (selected) bar->setSelectedViewController(selected);
  return bar;
}

class TopMostWalk : public ::testing::Test {
 public:
  TopMostWalk() { UIApplication::sharedApplication()->setDelegate(delegate); }

  // Makes `root` the delegate window's root and shows it, so that it can present.
  void show(Controller root) {
    delegate->window_ = std::make_shared<UIWindow>();
    delegate->window_->setRootViewController(std::move(root));
    delegate->window_->makeKeyAndVisible();
  }
  static void present(const Controller& from, const Controller& what) {
    from->present(what, false);
    ASSERT_EQ(from->presentedViewController(), what);
  }

  Sandbox sandbox;
  std::shared_ptr<WindowDelegate> delegate = std::make_shared<WindowDelegate>();
};

TEST_F(TopMostWalk, Trees) {
  struct Case {
    const char* name;
    // Shows a tree and gives the controller the walk must find.
    std::function<Controller(TopMostWalk&)> build;
  };
  const std::vector<Case> cases = {
      {"a plain root",
       [](TopMostWalk& t) {
         auto root = plain();
         t.show(root);
         return root;
       }},
      {"the end of the presented chain",
       [](TopMostWalk& t) {
         auto root = plain(), a = plain(), b = plain();
         t.show(root);
         present(root, a);
         present(a, b);
         return b;
       }},
      {"a navigation root: its last child",
       [](TopMostWalk& t) {
         auto x = plain(), y = plain();
         t.show(navigation({x, y}));
         return y;
       }},
      {"a tab bar whose selection is a navigation controller: its last child",
       [](TopMostWalk& t) {
         auto p = plain(), q = plain(), other = plain();
         auto nav = navigation({p, q});
         t.show(tabs({other, nav}, nav));
         return q;
       }},
      {"a presented tab bar: its selected plain child",
       [](TopMostWalk& t) {
         auto root = plain(), c = plain(), d = plain();
         t.show(root);
         present(root, tabs({c, d}, c));
         return c;
       }},
      {"a tab bar as the last child of a navigation controller is not unwrapped",
       [](TopMostWalk& t) {
         auto inner = plain();
         auto bar = tabs({inner});
         t.show(navigation({plain(), bar}));
         return bar;
       }},
      {"a presented navigation controller",
       [](TopMostWalk& t) {
         auto root = plain(), m = plain(), n = plain();
         t.show(root);
         present(root, navigation({m, n}));
         return n;
       }},
      {"what a navigation controller's child presents",
       [](TopMostWalk& t) {
         auto y = plain(), z = plain();
         t.show(navigation({plain(), y}));
         present(y, z);
         return z;
       }},
      {"an empty navigation controller: itself",
       [](TopMostWalk& t) {
         auto nav = navigation({});
         t.show(nav);
         return Controller(nav);
       }},
      {"a tab bar without a selection: itself",
       [](TopMostWalk& t) {
         auto bar = tabs({});
         t.show(bar);
         return Controller(bar);
       }},
      {"a tab bar whose selection is an empty navigation controller: that controller",
       [](TopMostWalk& t) {
         auto nav = navigation({});
         t.show(tabs({nav}));
         return Controller(nav);
       }},
  };
  for (const auto& c : cases) {
    const auto expected = c.build(*this);
    EXPECT_EQ(LKSUtils::getTopMostViewController(), expected) << c.name;
  }
}

TEST_F(TopMostWalk, NothingToWalkGivesNone) {
  struct Case {
    const char* name;
    std::function<void(TopMostWalk&)> setUp;
  };
  const std::vector<Case> cases = {
      {"no delegate", [](TopMostWalk&) { UIApplication::sharedApplication()->setDelegate(nullptr); }},
      {"a delegate that does not answer window",
       [](TopMostWalk& t) {
         t.show(plain());
         t.delegate->answersWindow = false;
       }},
      {"no window", [](TopMostWalk& t) { t.delegate->window_.reset(); }},
      {"a window without a root", [](TopMostWalk& t) { t.delegate->window_ = std::make_shared<UIWindow>(); }},
  };
  for (const auto& c : cases) {
    c.setUp(*this);
    EXPECT_EQ(LKSUtils::getTopMostViewController(), nullptr) << c.name;
    UIApplication::sharedApplication()->setDelegate(delegate);
    delegate->answersWindow = true;
  }
}

// Every call walks again: the answer follows presentation and navigation.
TEST_F(TopMostWalk, FollowsTheTreeAsItChanges) {
  auto root = plain(), a = plain(), b = plain();
  auto nav = navigation({root});
  show(nav);
  EXPECT_EQ(LKSUtils::getTopMostViewController(), root);
  nav->pushViewController(a, false);
  EXPECT_EQ(LKSUtils::getTopMostViewController(), a);
  present(a, b);
  EXPECT_EQ(LKSUtils::getTopMostViewController(), b);
  b->dismiss(false);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(LKSUtils::getTopMostViewController(), a);
}

platform::testing::Sandbox::Options withIdiom(int idiom) {
  platform::testing::Sandbox::Options options;
  options.profile.userInterfaceIdiom = idiom;
  return options;
}

TEST(TabletFlag, PadOnlyAndFixedForTheProcess) {
  for (const int idiom : {0, 1}) {
    Sandbox sandbox(withIdiom(idiom));
    EXPECT_EQ(LKSConstants::isIPad(), idiom == 1);
    sandbox.device().updateProfile([&](platform::DeviceProfile& p) { p.userInterfaceIdiom = 1 - idiom; });
    EXPECT_EQ(LKSConstants::isIPad(), idiom == 1) << "never recomputed within the process";
    sandbox.relaunch();
    EXPECT_EQ(LKSConstants::isIPad(), idiom != 1) << "a new process asks again";
  }
}

TEST(TabletFlag, ConcurrentFirstReadsAgree) {
  Sandbox sandbox(withIdiom(1));
  std::atomic<int> pads{0};
  for (int i = 0; i < 4; ++i)
    platform::DispatchQueue::global().async([&] {
      if (LKSConstants::isIPad()) ++pads;
    });
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(pads.load(), 4);
}

}  // namespace
