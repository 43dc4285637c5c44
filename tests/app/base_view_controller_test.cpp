#include "app/base_view_controller.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "platform/foundation/queues.h"
#include "platform/testing/sandbox.h"
#include "shared_library/support/lks_constants.h"

namespace {

using platform::UIStatusBarStyle;
using platform::testing::Sandbox;

class PlainScreen : public BaseViewController {
 public:
  void viewDidLoad() override {
    BaseViewController::viewDidLoad();
    ++loads;
  }
  int loads = 0;
};

class LightScreen : public BaseViewController {
 public:
  UIStatusBarStyle preferredStatusBarStyle() const override { return UIStatusBarStyle::lightContent; }
};

TEST(ScreenBase, DarkStatusBarUnlessOverridden) {
  Sandbox sandbox;
  auto screen = std::make_shared<PlainScreen>();
  EXPECT_EQ(static_cast<int>(screen->preferredStatusBarStyle()), 3);
  screen->view();
  screen->view();
  EXPECT_EQ(screen->loads, 1);
  EXPECT_EQ(LightScreen().preferredStatusBarStyle(), UIStatusBarStyle::lightContent);
}

TEST(ScreenBase, TabletFlagAgreesWithTheLibraryAndHoldsForTheRun) {
  for (const int idiom : {0, 1}) {
    Sandbox::Options options;
    options.profile.userInterfaceIdiom = idiom;
    Sandbox sandbox(options);
    std::atomic<int> pads{0};
    for (int i = 0; i < 2; ++i)
      platform::DispatchQueue::global().async([&] {
        if (isPad()) ++pads;
      });
    sandbox.loop().runUntilIdle();
    EXPECT_EQ(pads.load(), idiom == 1 ? 2 : 0);
    sandbox.device().updateProfile([&](platform::DeviceProfile& p) { p.userInterfaceIdiom = 1 - idiom; });
    EXPECT_EQ(isPad(), idiom == 1);
    EXPECT_EQ(isPad(), LKSConstants::isIPad());
  }
}

}  // namespace
