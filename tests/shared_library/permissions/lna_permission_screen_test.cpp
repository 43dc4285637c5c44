#include "shared_library/permissions/lna_permission_screen.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/notification_center.h"
#include "platform/foundation/queues.h"
#include "platform/foundation/user_defaults.h"
#include "platform/testing/network_conditions.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/ui_testing.h"
#include "platform/uikit/application.h"
#include "shared_library/support/utility_wrapper.h"
#include "tests/shared_library/permissions/permission_screen_fixture.h"

namespace {

using platform::LocalNetworkPolicy;
using platform::NetworkRoute;
using platform::testing::localNetwork;
using platform::testing::Sandbox;
using platform::testing::setNetworkRoute;

class Delegate : public LNAPermissionScreenDelegate {
 public:
  void hasAllowedLNAPermission() override { ++told; }
  int told = 0;
};

struct Look {
  std::optional<std::string> button;
  std::optional<std::string> warning;
  std::optional<std::string> image;
  bool noWifiShown = false;
  bool descriptionShown = false;
  bool spinning = false;
  bool operator==(const Look&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Look& l) {
  return os << "{" << l.button.value_or("<none>") << " | " << l.warning.value_or("<none>") << " | "
            << l.image.value_or("<none>") << " | noWifi " << l.noWifiShown << " description " << l.descriptionShown
            << " spinning " << l.spinning << "}";
}

const Look kInitial{"Continue", LNAPermissionScreen::kPermissionWarning, "logoInPermisson", false, false, false};
const Look kDisabled{"Enable Local Network", LNAPermissionScreen::kPermissionWarning, "logoInPermisson", false, true, false};
const Look kNoWifi{"Open Settings", LNAPermissionScreen::kNoWifiWarning, "carpno-wi-last", true, false, false};

struct Device {
  std::string version = "16.4";
  NetworkRoute route = NetworkRoute::wifi;
  bool alertShown = false;
};

class LNAScreenTest : public PermissionScreenFixture {
 protected:
  std::shared_ptr<LNAPermissionScreen> screen;
  std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();

  void TearDown() override {
    screen.reset();
    PermissionScreenFixture::TearDown();
  }

  void start(Device device = {}) {
    Sandbox::Options o;
    o.profile.systemVersion = device.version;
    o.profile.networkRoute = device.route;
    launch(std::move(o));
    if (device.alertShown) platform::UserDefaults::standard()->setBool(true, LNAManager::kAlertShownKey);
    LNAPermissionScreen::registerStoryboardClass();
    screen = scene<LNAPermissionScreen>("LNAPermissionScreen");
    ASSERT_TRUE(screen);
    screen->setDelegate(delegate);
    platform::testing::scriptCanOpenURL(platform::UIApplicationOpenSettingsURLString, true);
  }
  void present(Device device = {}) {
    start(device);
    host->present(screen, true);
    settle();
  }
  void settle() { sandbox->loop().runFor(1.0); }

  Look look() const {
    auto button = screen->btnPermission();
    auto image = screen->imgLogo()->image();
    return Look{button->titleForState(platform::UIControlState::normal), screen->lblPermissionText()->text(),
                image.requestedName(), !screen->lblNoWifi()->isHidden(), !screen->lblDescription()->isHidden(),
                screen->lnaPermissionIndicator()->isAnimating()};
  }
  bool isShown() const { return host->presentedViewController() == screen; }
  size_t browsersMade() const {
    size_t n = 0;
    for (const auto& e : localNetwork().callLog()) n += e.find("bonjour type") != std::string::npos;
    return n;
  }
  void postSettingsFromBackground() {
    platform::DispatchQueue::global().async(
        [] { platform::NotificationCenter::defaultCenter().post(UtilityWrapper::updateEventsNotificationName()); });
    sandbox->loop().runUntilIdle();
  }
};

TEST_F(LNAScreenTest, AppearingPicksTheLookByConnectionVersionAndAlert) {
  struct Case {
    Device device;
    Look look;
    bool closes;
    bool registers;  // as the manager's delegate
  };
  const std::vector<Case> cases{
      {{"16.4", NetworkRoute::wifi, false}, kInitial, false, true},
      {{"16.4", NetworkRoute::cellular, false}, kInitial, false, true},
      {{"14", NetworkRoute::wifi, false}, kInitial, false, true},
      {{"14.0", NetworkRoute::wifi, true}, kDisabled, false, true},
      {{"16.4", NetworkRoute::none, false}, kNoWifi, false, true},
      {{"16.4", NetworkRoute::none, true}, kNoWifi, false, true},
      {{"13.7", NetworkRoute::none, false}, kNoWifi, false, false},
      // an older system with a connection closes at once; the look set later does not stop that
      {{"13.7", NetworkRoute::wifi, false}, kNoWifi, true, false},
      {{"9.3.5", NetworkRoute::cellular, true}, kNoWifi, true, false},
  };
  for (const auto& c : cases) {
    TearDown();
    delegate = std::make_shared<Delegate>();
    present(c.device);
    SCOPED_TRACE(c.device.version + (c.device.route == NetworkRoute::none ? " offline" : " online"));
    EXPECT_EQ(look(), c.look);
    EXPECT_EQ(delegate->told, c.closes ? 1 : 0);
    EXPECT_EQ(isShown(), !c.closes);
    EXPECT_EQ(LNAManager::shared()->delegate() == screen, c.registers);
  }
}

TEST_F(LNAScreenTest, DelegateHearsOnlyAfterTheDismissalHasFinished) {
  start({"13.0", NetworkRoute::wifi, false});
  host->present(screen, false);
  EXPECT_EQ(delegate->told, 0);
  EXPECT_TRUE(screen->isBeingDismissed());
  sandbox->loop().runFor(0.299);
  EXPECT_EQ(delegate->told, 0);
  sandbox->loop().runFor(0.001);
  EXPECT_EQ(delegate->told, 1);
  EXPECT_FALSE(isShown());
}

TEST_F(LNAScreenTest, TheButtonAsksOnceThenSendsTheUserToSettings) {
  present();
  screen->btnPermission()->tap();
  EXPECT_EQ(look(), (Look{"", LNAPermissionScreen::kPermissionWarning, "logoInPermisson", false, false, true}));
  EXPECT_TRUE(LNAManager::shared()->hasLNAAlertTriggered());
  EXPECT_EQ(browsersMade(), 1u);
  EXPECT_TRUE(localNetwork().alertShown());

  localNetwork().setPolicy(LocalNetworkPolicy::denied);
  settle();
  EXPECT_EQ(look(), kDisabled);
  EXPECT_TRUE(platform::testing::openedURLs().empty());

  screen->btnPermission()->tap();  // the alert cannot come back
  EXPECT_EQ(browsersMade(), 1u);
  EXPECT_EQ(platform::testing::openedURLs(), std::vector<std::string>{platform::UIApplicationOpenSettingsURLString});
  EXPECT_EQ(look(), kDisabled);
}

TEST_F(LNAScreenTest, AGrantedRequestClosesTheScreen) {
  present();
  localNetwork().setPolicy(LocalNetworkPolicy::granted);
  screen->btnPermission()->tap();
  settle();
  EXPECT_TRUE(screen->isLNAEnabled());
  EXPECT_EQ(delegate->told, 1);
  EXPECT_FALSE(isShown());
}

TEST_F(LNAScreenTest, SettingsThatCannotBeOpenedMakeTheButtonDoNothing) {
  present({"16.4", NetworkRoute::none, false});
  platform::testing::scriptCanOpenURL(platform::UIApplicationOpenSettingsURLString, false);
  screen->btnPermission()->tap();
  EXPECT_TRUE(platform::testing::openedURLs().empty());
  EXPECT_EQ(browsersMade(), 0u);
  EXPECT_EQ(look(), kNoWifi);
}

TEST_F(LNAScreenTest, WithoutAConnectionTheButtonOpensSettingsEvenIfNeverAsked) {
  present({"16.4", NetworkRoute::none, false});
  screen->btnPermission()->tap();
  EXPECT_EQ(platform::testing::openedURLs(), std::vector<std::string>{platform::UIApplicationOpenSettingsURLString});
  EXPECT_EQ(browsersMade(), 0u);
}

TEST_F(LNAScreenTest, LearnMoreDoesNothing) {
  present();
  const auto before = look();
  screen->learnMoreBtn();
  EXPECT_EQ(look(), before);
  EXPECT_TRUE(platform::testing::openedURLs().empty());
  EXPECT_EQ(browsersMade(), 0u);
}

TEST_F(LNAScreenTest, TheLookFollowsTheConnection) {
  present();
  setNetworkRoute(NetworkRoute::none);
  settle();
  EXPECT_EQ(look(), kNoWifi);
  setNetworkRoute(NetworkRoute::cellular);
  settle();
  EXPECT_EQ(look(), kInitial);
  EXPECT_TRUE(isShown());
}

TEST_F(LNAScreenTest, APermittedAnswerWhileOfflineClosesAtTheNextConnection) {
  present();
  setNetworkRoute(NetworkRoute::none);
  settle();
  screen->didReceiveResponseFromPing(true);
  EXPECT_EQ(look(), kNoWifi);
  EXPECT_TRUE(isShown());
  setNetworkRoute(NetworkRoute::wifi);
  settle();
  EXPECT_EQ(delegate->told, 1);
  EXPECT_FALSE(isShown());
}

TEST_F(LNAScreenTest, AnswersFromTheManager) {
  struct Case {
    NetworkRoute route;
    bool permitted;
    std::optional<Look> look;  // none: closed
  };
  for (const auto& c : {Case{NetworkRoute::wifi, false, kDisabled}, Case{NetworkRoute::wifi, true, std::nullopt},
                        Case{NetworkRoute::none, true, kNoWifi}, Case{NetworkRoute::none, false, kNoWifi}}) {
    TearDown();
    delegate = std::make_shared<Delegate>();
    present({"16.4", c.route, false});
    screen->didReceiveResponseFromPing(c.permitted);
    settle();
    EXPECT_EQ(screen->isLNAEnabled(), c.permitted);
    EXPECT_EQ(isShown(), c.look.has_value());
    if (c.look) {
      EXPECT_EQ(look(), *c.look);
    }
  }
}

TEST_F(LNAScreenTest, BecomingActivePingsOnceWhileConnected) {
  present({"16.4", NetworkRoute::none, false});
  platform::testing::postDidBecomeActive();
  EXPECT_FALSE(LNAManager::shared()->hasPingSent());
  setNetworkRoute(NetworkRoute::wifi);
  settle();
  platform::testing::postDidBecomeActive();
  EXPECT_TRUE(LNAManager::shared()->hasPingSent());
  EXPECT_TRUE(LNAManager::shared()->hasLNAAlertTriggered());
  settle();
  platform::testing::postDidBecomeActive();
  EXPECT_EQ(browsersMade(), 1u);
  // the ping has no answer yet; past the manager's time limit it counts as not permitted
  sandbox->loop().runFor(LNAManager::kTimeLimit);
  EXPECT_EQ(look(), kDisabled);
}

TEST_F(LNAScreenTest, RefreshedSettingsRetitleTheInitialLook) {
  present();
  postSettingsFromBackground();
  EXPECT_EQ(screen->lnaText(), "Give Permission");
  EXPECT_EQ(look().button, "Give Permission");
  setNetworkRoute(NetworkRoute::none);
  settle();
  postSettingsFromBackground();
  EXPECT_EQ(look(), kNoWifi);
}

TEST_F(LNAScreenTest, ClosesOnceAndListensNoMore) {
  present();
  screen->closeScreen();
  screen->closeScreen();
  // a late appearance while the dismissal runs registers nothing
  screen->viewWillAppear(false);
  settle();
  EXPECT_EQ(delegate->told, 1);
  EXPECT_FALSE(isShown());
  platform::testing::postDidBecomeActive();
  postSettingsFromBackground();
  setNetworkRoute(NetworkRoute::none);
  settle();
  EXPECT_FALSE(LNAManager::shared()->hasPingSent());
  EXPECT_EQ(screen->lnaText(), "Continue");
  EXPECT_EQ(delegate->told, 1);
}

TEST_F(LNAScreenTest, DisappearingStopsTheObserversButNotTheMonitor) {
  present();
  auto cover = std::make_shared<platform::UIViewController>();
  cover->setModalPresentationStyle(platform::UIModalPresentationStyle::fullScreen);
  screen->present(cover, false);
  setNetworkRoute(NetworkRoute::none);
  settle();
  EXPECT_EQ(look(), kInitial);
  EXPECT_TRUE(screen->wifiReachability()->isNotifying());
}

}  // namespace
