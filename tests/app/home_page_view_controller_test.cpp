#include "app/home_page_view_controller.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/servers_view_controller.h"
#include "platform/foundation/user_defaults.h"
#include "platform/testing/vpn_testing.h"
#include "platform/services/safari_view_controller.h"
#include "platform/testing/ui_testing.h"
#include "tests/app/screen_fixture.h"
#include "tests/shared_library/remote_values_fixture.h"

namespace {

using app_testing::HomeScreenTest;
using platform::NEVPNStatus;
using platform::testing::vpnFacility;

std::string imageName(const platform::UIImageRef& image) { return image.requestedName().value_or("(none)"); }
std::string shown(const std::weak_ptr<platform::UIView>& v) { return v.lock()->isHidden() ? "hidden" : "shown"; }
template <class T>
std::string shown(const std::weak_ptr<T>& v) {
  return shown(std::weak_ptr<platform::UIView>(v.lock()));
}

// What the connect control's looks are made of, in one line.
std::string look(const HomePageViewController& h) {
  const auto status = h.vpnConnectedLabel.lock();
  return "panels " + platform::formatNumber(h.vpnConnectedView.lock()->alpha()) + "/" +
         platform::formatNumber(h.vpnDisconnectedView.lock()->alpha()) + " | status " + shown(h.vpnConnectedLabel) +
         " \"" + status->text().value_or("") + "\" " + status->textColor().description() + " | off-label " +
         shown(h.vpnDisconnectedLabel) + " | button " + imageName(h.buttonOnImageView.lock()->image()) +
         " | spinner " + shown(h.connectingIndicator) + " | start " + shown(h.lblStartVPN) + " " +
         shown(h.upArrowsImageView) + " top " + platform::formatNumber(h.buttonTopConstraint.lock()->constant()) +
         " | stop " + shown(h.lblStopVPN) + " " + shown(h.downArrowImageView) + " top " +
         platform::formatNumber(h.onButtonTopConstraint.lock()->constant());
}

const std::string kOrange = "rgba(254 148 35 1)";
const std::string kGreen = "rgba(47 204 114 1)";

// The launch look: disconnected, with the storyboard's status line as laid out.
const std::string kDisconnected =
    "panels 0/1 | status hidden \"VPN CONNECTED\" " + kGreen +
    " | off-label shown | button btn-on | spinner hidden | start shown shown top 52 | stop shown shown top -18";
const std::string kConnecting = "panels 1/0 | status shown \"VPN CONNECTING...\" " + kOrange +
                                " | off-label hidden | button btn-connecting | spinner shown | start shown shown top "
                                "52 | stop shown shown top -18";
const std::string kConnected = "panels 1/0 | status shown \"VPN CONNECTED\" " + kGreen +
                               " | off-label hidden | button btn-on | spinner hidden | start shown shown top 52 | "
                               "stop shown shown top -18";

std::string countryShown(const HomePageViewController& h) {
  return h.selectedServerCountryNameLabel.lock()->text().value_or("(none)") + " / " +
         imageName(h.selectedServerLogoImageView.lock()->image());
}

// A configuration of this application in the system preferences, so the tunnel can take any status.
void installOwnConfiguration() {
  auto ikev2 = std::make_shared<platform::NEVPNProtocolIKEv2>();
  ikev2->localIdentifier = "OrvaneVPN";
  platform::NEVPNSavedConfiguration saved;
  saved.protocolConfiguration = ikev2;
  saved.enabled = true;
  vpnFacility().installConfiguration(saved);
}

TEST_F(HomeScreenTest, LaunchShowsTheCoverUntilTheListArrives) {
  launch();
  const auto manager = VPNConnectionManager::shared();
  EXPECT_EQ(manager->delegate(), home);
  EXPECT_FALSE(home->loadingIndicatorView.lock()->isHidden());
  const auto spinner = home->activityIndicator.lock();
  EXPECT_TRUE(spinner->isAnimating());
  EXPECT_FALSE(spinner->isHidden());
  EXPECT_EQ(spinner->color()->description(), kOrange);
  EXPECT_EQ(home->preferredStatusBarStyle(), platform::UIStatusBarStyle::lightContent);

  ASSERT_TRUE(loop().runUntil([&] { return home->loadingIndicatorView.lock()->isHidden(); }));
  loop().runUntilIdle();
  EXPECT_FALSE(spinner->isAnimating());
  EXPECT_TRUE(spinner->isHidden());
  const auto up = home->upArrowsImageView.lock();
  EXPECT_TRUE(up->isAnimating());
  EXPECT_EQ(up->animationDuration(), 0.5);
  std::vector<std::string> frames;
  for (const auto& f : up->animationImages()) frames.push_back(imageName(f));
  EXPECT_EQ(frames, (std::vector<std::string>{"1-up", "2-up", "3-up"}));
  EXPECT_EQ(imageName(home->downArrowImageView.lock()->image()), "3-down");
  EXPECT_EQ(look(*home), kDisconnected);
  // the tunnel manager picked one on arrival, and the screen names it
  const auto current = manager->currentServer();
  ASSERT_TRUE(current);
  EXPECT_EQ(countryShown(*home), *current->country() + " / " + *current->countryCode());
  EXPECT_EQ(serverListCalls(), 1u);
  EXPECT_EQ(VPNServerManager::shared()->premiumVPNServersArray().size(), 3u);
}

TEST_F(HomeScreenTest, BottomCurveMaskFollowsTheMainScreen) {
  launchAndWaitForList();
  const auto mask = std::dynamic_pointer_cast<platform::CAShapeLayer>(home->bottomView.lock()->layer().mask);
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->frame, platform::CGRectMake(0, 0, 390, 844));
  const double W = 390 / 0.85;
  using Kind = platform::UIBezierPath::Element::Kind;
  EXPECT_EQ(*mask->path, (platform::UIBezierPath{{{Kind::rect, platform::CGRectMake(0, 422, 390, 422)},
                                                  {Kind::oval, platform::CGRectMake(-W / 2, 0, 390 + W, 844)}}}));
  EXPECT_EQ(mask->fillRule, "non-zero");
  // every appearance cuts it afresh
  home->viewWillAppear(false);
  EXPECT_NE(home->bottomView.lock()->layer().mask, mask);
  EXPECT_TRUE(home->badgeLabel.lock()->isHidden());
}

// Connecting and connected disconnect; every other status connects.
TEST(HomeScreenSwipe, SwipeRuleByStatus) {
  struct Case {
    NEVPNStatus status;
    bool disconnects;
  };
  for (const auto& c : std::vector<Case>{{NEVPNStatus::invalid, false},
                                         {NEVPNStatus::disconnected, false},
                                         {NEVPNStatus::connecting, true},
                                         {NEVPNStatus::connected, true},
                                         {NEVPNStatus::reasserting, false},
                                         {NEVPNStatus::disconnecting, false}}) {
    SCOPED_TRACE(static_cast<int>(c.status));
    struct Session : HomeScreenTest {
      void TestBody() override {}
    } s;
    s.launchAndWaitForList();
    const auto manager = VPNConnectionManager::shared();
    if (c.status != NEVPNStatus::invalid) {
      installOwnConfiguration();
      vpnFacility().setTunnelStatus(c.status);
      ASSERT_TRUE(s.loop().runUntil([&] { return manager->vpnConnectionState() == c.status; }));
    }
    ASSERT_EQ(manager->vpnConnectionState(), c.status);
    const auto savesBefore = vpnFacility().saves().size();
    s.home->swipeViewPressed();
    EXPECT_EQ(vpnFacility().stopCount(), c.disconnects ? 1 : 0);
    EXPECT_EQ(vpnFacility().saves().size(), savesBefore + (c.disconnects ? 0 : 1));
  }
}

TEST_F(HomeScreenTest, ConnectReusesAPickedServerAndDrawsAFreshAutomaticOne) {
  launchAndWaitForList();
  const auto manager = VPNConnectionManager::shared();
  const auto servers = VPNServerManager::shared()->premiumVPNServersArray();

  // picked by the user: connected to as it is
  servers[1]->setIsAutoSelect(false);
  manager->setCurrentServer(servers[1]);
  home->swipeViewPressed();
  EXPECT_EQ(manager->currentServer(), servers[1]);
  EXPECT_FALSE(servers[1]->isAutoSelect());
  EXPECT_EQ(countryShown(*home), "Germany / DE");
  EXPECT_EQ(vpnFacility().saves().size(), 1u);
  home->disconnectVPN();
  loop().runFor(2);
  EXPECT_EQ(manager->currentServer(), servers[1]);  // a picked server stays

  // automatically chosen, or none: a random one of the list, marked
  for (const auto& before : std::vector<std::shared_ptr<VPNServer>>{servers[2], nullptr}) {
    if (before) before->setIsAutoSelect(true);
    manager->setCurrentServer(before);
    home->connectVPN();
    const auto now = manager->currentServer();
    ASSERT_TRUE(now);
    EXPECT_TRUE(now->isAutoSelect());
    EXPECT_EQ(countryShown(*home), *now->country() + " / " + *now->countryCode());
    home->disconnectVPN();
    EXPECT_EQ(manager->currentServer(), nullptr);  // an automatic one is forgotten
    EXPECT_EQ(platform::UserDefaults::standard()->objectForKey("vpnAddress"), std::nullopt);
    loop().runFor(2);
  }
}

TEST_F(HomeScreenTest, AutomaticPicksDrawOnlyServersWithAnAddress) {
  service.setServerList(app_testing::premiumList(
      {{"FR", "France", "Paris", ""}, {"NL", "Netherlands", "Amsterdam", "nl-1.test"}, {"GB", "", "", ""}}));
  launchAndWaitForList();
  const auto manager = VPNConnectionManager::shared();
  for (int i = 0; i < 12; ++i) {
    manager->setCurrentServer(nullptr);
    home->connectVPN();
    ASSERT_TRUE(manager->currentServer());
    EXPECT_EQ(manager->currentServer()->address(), "nl-1.test");
  }
}

TEST_F(HomeScreenTest, ConnectWithAnEmptyListConnectsToNoServer) {
  service.setServerList(app_testing::premiumList({}));
  launchAndWaitForList();
  home->swipeViewPressed();
  EXPECT_EQ(VPNConnectionManager::shared()->currentServer(), nullptr);
  EXPECT_EQ(countryShown(*home), "Fastest Server / globe");
  loop().runFor(2);
  EXPECT_TRUE(vpnFacility().saves().empty());
}

TEST_F(HomeScreenTest, TransitionsShowTheirLooksBeforeAndAfterTheAnimation) {
  launchAndWaitForList();
  ASSERT_EQ(look(*home), kDisconnected);
  const auto layouts = home->view()->layoutIfNeededCount();

  home->transitionToConnecting();
  EXPECT_EQ(look(*home), "panels 0/1 | status shown \"VPN CONNECTING...\" " + kOrange +
                             " | off-label hidden | button btn-connecting | spinner shown | start hidden hidden top -18 "
                             "| stop shown shown top -18");
  EXPECT_EQ(home->buttonTopConstraint.lock()->appliedConstant(), -18);  // laid out at once
  loop().runFor(0.29);
  EXPECT_EQ(home->vpnConnectedView.lock()->alpha(), 0);
  loop().runFor(0.01);
  EXPECT_EQ(look(*home), kConnecting);
  EXPECT_EQ(home->buttonTopConstraint.lock()->appliedConstant(), 52);
  EXPECT_EQ(home->view()->layoutIfNeededCount(), layouts + 2);

  home->transitionToConnected();
  EXPECT_EQ(look(*home), kConnected);
  EXPECT_EQ(platform::testing::hapticNotifications().size(), 1u);
  EXPECT_EQ(home->view()->layoutIfNeededCount(), layouts + 2);  // no layout asked for

  home->transitionToDisconnected();
  EXPECT_EQ(look(*home), "panels 1/0 | status hidden \"VPN CONNECTED\" " + kGreen +
                             " | off-label shown | button btn-on | spinner hidden | start shown shown top 52 | stop "
                             "hidden hidden top 52");
  EXPECT_EQ(home->onButtonTopConstraint.lock()->appliedConstant(), 52);
  loop().runFor(0.3);
  EXPECT_EQ(look(*home), kDisconnected);
  EXPECT_EQ(home->onButtonTopConstraint.lock()->appliedConstant(), -18);

  // already disconnected: nothing moves
  const auto count = home->view()->layoutIfNeededCount();
  home->transitionToDisconnected();
  loop().runFor(1);
  EXPECT_EQ(look(*home), kDisconnected);
  EXPECT_EQ(home->view()->layoutIfNeededCount(), count);
}

TEST_F(HomeScreenTest, QuickSuccessionEndsOnTheLatestLook) {
  launchAndWaitForList();
  home->transitionToConnected();
  home->transitionToDisconnected();
  home->transitionToConnected();
  loop().runFor(1);
  EXPECT_EQ(look(*home), kConnected);

  home->transitionToConnecting();
  home->transitionToDisconnected();
  loop().runFor(1);
  EXPECT_EQ(look(*home), "panels 0/1 | status hidden \"VPN CONNECTING...\" " + kOrange +
                             " | off-label shown | button btn-connecting | spinner shown | start shown shown top 52 | "
                             "stop shown shown top -18");
}

TEST_F(HomeScreenTest, StatusChangesOfARealConnectShowEachLookOnce) {
  launchAndWaitForList();
  home->swipeViewPressed();
  ASSERT_TRUE(loop().runUntil([&] { return VPNConnectionManager::shared()->vpnConnectionState() == NEVPNStatus::connecting; }));
  loop().runUntilIdle();
  EXPECT_EQ(home->vpnConnectedLabel.lock()->text(), "VPN CONNECTING...");
  ASSERT_TRUE(loop().runUntil([&] { return VPNConnectionManager::shared()->vpnConnectionState() == NEVPNStatus::connected; }));
  loop().runFor(1);
  EXPECT_EQ(look(*home), kConnected);
  EXPECT_EQ(platform::testing::hapticNotifications().size(), 1u);

  home->swipeViewPressed();
  loop().runFor(2);
  EXPECT_EQ(VPNConnectionManager::shared()->vpnConnectionState(), NEVPNStatus::disconnected);
  EXPECT_EQ(look(*home).substr(0, 10), "panels 0/1");
  EXPECT_EQ(platform::testing::hapticNotifications().size(), 1u);
}

TEST_F(HomeScreenTest, ReviewIsCheckedFiveSecondsAfterConnected) {
  // an empty threshold lets the first check of a run ask
  remote_values_testing::cacheConfiguration({{"u.f.e", ""}});
  launchAndWaitForList();
  const double connectedAt = now();
  home->transitionToConnected();
  ASSERT_EQ(platform::testing::hapticNotifications().size(), 1u);
  EXPECT_EQ(platform::toSeconds(platform::testing::hapticNotifications()[0].at), connectedAt);
  loop().runFor(4.99);
  EXPECT_TRUE(platform::testing::reviewRequests().empty());
  loop().runFor(0.01);
  ASSERT_EQ(platform::testing::reviewRequests().size(), 1u);
  EXPECT_EQ(platform::toSeconds(platform::testing::reviewRequests()[0]), connectedAt + 5.0);
  EXPECT_EQ(platform::UserDefaults::standard()->integerForKey("App_Launch_Count"), 0);

  // the gate answers once a run; the screen going away does not stop the check
  home->transitionToConnected();
  window.reset();
  home.reset();
  loop().runFor(6);
  EXPECT_EQ(platform::testing::reviewRequests().size(), 1u);
  EXPECT_EQ(platform::testing::hapticNotifications().size(), 2u);
}

TEST_F(HomeScreenTest, DisconnectSoonAfterConnectIsNotUndone) {
  launchAndWaitForList();
  // down again well before the second attempt is due
  vpnFacility().setTimings({.save = 0.1, .load = 0.1, .connect = 0.3, .disconnect = 0.05});
  home->swipeViewPressed();
  loop().runFor(0.3);
  ASSERT_EQ(VPNConnectionManager::shared()->vpnConnectionState(), NEVPNStatus::connecting);
  home->swipeViewPressed();
  loop().runFor(3);
  EXPECT_EQ(VPNConnectionManager::shared()->vpnConnectionState(), NEVPNStatus::disconnected);
  EXPECT_EQ(vpnFacility().saves().size(), 1u);
  EXPECT_EQ(vpnFacility().startCount(), 1);
  EXPECT_EQ(look(*home).substr(0, 10), "panels 0/1");
}

TEST_F(HomeScreenTest, AFailedListUncoversTheScreenAndIsAskedForAgainLaterAndLater) {
  service.setMode("sl", orvane_service::LocalService::Mode::resetConnection);
  launch();
  ASSERT_TRUE(loop().runUntil([&] { return home->loadingIndicatorView.lock()->isHidden(); }));
  loop().runUntilIdle();
  EXPECT_FALSE(home->activityIndicator.lock()->isAnimating());
  EXPECT_EQ(serverListCalls(), 1u);

  const std::vector<double> retries{10, 20, 40, 80, 80};
  for (size_t i = 0; i < retries.size(); ++i) {
    loop().runFor(retries[i] - 0.01);
    EXPECT_EQ(serverListCalls(), i + 1) << "before retry " << i;
    loop().runFor(0.01);
    loop().runUntilIdle();
    EXPECT_EQ(serverListCalls(), i + 2) << "at retry " << i;
  }
  std::vector<std::string> lines;
  for (const auto& l : console())
    if (l.rfind("Servers failed", 0) == 0) lines.push_back(l);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Servers failed to load, trying again in 10 s");
  EXPECT_EQ(lines[5], "Servers failed to load, trying again in 80 s");

  service.setMode("sl", orvane_service::LocalService::Mode::answer);
  loop().runFor(80);
  loop().runUntilIdle();
  EXPECT_EQ(serverListCalls(), 7u);
  EXPECT_TRUE(home->upArrowsImageView.lock()->isAnimating());
  EXPECT_EQ(VPNServerManager::shared()->premiumVPNServersArray().size(), 3u);
  loop().runFor(600);
  EXPECT_EQ(serverListCalls(), 7u);  // never again after a success
}

TEST_F(HomeScreenTest, APickShowsTheServerAndConnectsToIt) {
  launchAndWaitForList();
  const auto servers = VPNServerManager::shared()->premiumVPNServersArray();
  home->didSelectServer(servers[2]);
  EXPECT_EQ(VPNConnectionManager::shared()->currentServer(), servers[2]);
  EXPECT_EQ(countryShown(*home), "Japan / JP");
  EXPECT_EQ(vpnFacility().saves().size(), 1u);

  home->didSelectServer(nullptr);
  EXPECT_EQ(VPNConnectionManager::shared()->currentServer(), nullptr);
  EXPECT_EQ(countryShown(*home), "Fastest Server / globe");
}

TEST_F(HomeScreenTest, HelpOpensTheSupportPageInReaderMode) {
  launchAndWaitForList();
  home->proButtonPressed();
  const auto page = std::dynamic_pointer_cast<platform::SFSafariViewController>(home->presentedViewController());
  ASSERT_TRUE(page);
  EXPECT_EQ(page->url().absoluteString(), "https://www.orvanevpn.com/support/?cat=32");
  EXPECT_TRUE(page->configuration().entersReaderIfAvailable);

  page->dismiss(false);
  home->FAQsLink = "not a link";
  home->showFAQ();
  EXPECT_EQ(home->presentedViewController(), nullptr);
}

struct IdiomCase {
  int idiom;
  platform::UIModalPresentationStyle style;
};

class PickerPresentation : public HomeScreenTest, public ::testing::WithParamInterface<IdiomCase> {
 protected:
  static platform::DeviceProfile profile() {
    platform::DeviceProfile p;
    p.userInterfaceIdiom = GetParam().idiom;
    return p;
  }
  PickerPresentation() : HomeScreenTest(profile()) {}
};

TEST_P(PickerPresentation, StyleFollowsTheIdiom) {
  launchAndWaitForList();
  home->showServersButtonPressed();
  const auto picker = std::dynamic_pointer_cast<ServersViewController>(home->presentedViewController());
  ASSERT_TRUE(picker);
  EXPECT_EQ(picker->modalPresentationStyle(), GetParam().style);
  EXPECT_EQ(picker->serverDelegate.lock(), home);
  const auto presentations = platform::testing::presentations();
  ASSERT_FALSE(presentations.empty());
  EXPECT_TRUE(presentations.back().animated);
}

INSTANTIATE_TEST_SUITE_P(ByIdiom, PickerPresentation,
                         ::testing::Values(IdiomCase{0, platform::UIModalPresentationStyle::fullScreen},
                                           IdiomCase{1, platform::UIModalPresentationStyle::pageSheet}));

}  // namespace
