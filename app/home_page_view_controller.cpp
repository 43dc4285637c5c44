#include "app/home_page_view_controller.h"

#include <algorithm>

#include "app/hex_color.h"
#include "app/server_cells.h"
#include "app/server_pick.h"
#include "app/utils.h"
#include "shared_library/apps/native_apps_tracker.h"
#include "platform/foundation/console.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/queues.h"
#include "platform/network/url.h"
#include "platform/services/feedback.h"
#include "platform/services/safari_view_controller.h"
#include "platform/services/store_review.h"
#include "platform/uikit/application.h"

using platform::NEVPNStatus;
using platform::UIImage;

namespace {

constexpr const char* kFAQsLink = "https://www.orvanevpn.com/support/?cat=32";
constexpr double kRestingTopOffset = 52;
constexpr double kRaisedTopOffset = -18;

platform::UIImageRef requiredImage(const std::string& name) {
  auto image = UIImage::imageNamed(name);
  if (!image) platform::fatalError("the image " + name + " is missing from the main bundle");
  return image;
}

}  // namespace

HomePageViewController::HomePageViewController()
    : upImagesArray{requiredImage("1-up"), requiredImage("2-up"), requiredImage("3-up")}, FAQsLink(kFAQsLink) {}

void HomePageViewController::connectOutlets(platform::OutletConnector& c) {
  c.outlet("badgeLabel", badgeLabel);
  c.outlet("bottomView", bottomView);
  c.outlet("upArrowsImageView", upArrowsImageView);
  c.outlet("buttonTopConstraint", buttonTopConstraint);
  c.outlet("buttonOffImageView", buttonOffImageView);
  c.outlet("buttonOnImageView", buttonOnImageView);
  c.outlet("downArrowImageView", downArrowImageView);
  c.outlet("onButtonTopConstraint", onButtonTopConstraint);
  c.outlet("vpnConnectedView", vpnConnectedView);
  c.outlet("vpnDisconnectedView", vpnDisconnectedView);
  c.outlet("lblStopVPN", lblStopVPN);
  c.outlet("lblStartVPN", lblStartVPN);
  c.outlet("vpnDisconnectedLabel", vpnDisconnectedLabel);
  c.outlet("vpnConnectedLabel", vpnConnectedLabel);
  c.outlet("selectedServerCountryNameLabel", selectedServerCountryNameLabel);
  c.outlet("selectedServerLogoImageView", selectedServerLogoImageView);
  c.outlet("loadingIndicatorView", loadingIndicatorView);
  c.outlet("activityIndicator", activityIndicator);
  c.outlet("connectingIndicator", connectingIndicator);
  c.action("swipeViewPressed", this, &HomePageViewController::swipeViewPressed);
  c.action("showServersButtonPressed", this, &HomePageViewController::showServersButtonPressed);
  c.action("proButtonPressed", this, &HomePageViewController::proButtonPressed);
  c.action("serversButtonPressed", this, &HomePageViewController::serversButtonPressed);
}

platform::UIStatusBarStyle HomePageViewController::preferredStatusBarStyle() const {
  return platform::UIStatusBarStyle::lightContent;
}

void HomePageViewController::viewDidLoad() {
  BaseViewController::viewDidLoad();
  auto self = std::static_pointer_cast<HomePageViewController>(shared_from_this());
  VPNConnectionManager::shared()->setDelegate(self);
  VPNServerManager::shared()->fetchServers();
  std::weak_ptr<HomePageViewController> weak = self;
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(weak, VPNServerManager::kServersLoaded, [weak](const auto&) {
    if (auto screen = weak.lock()) screen->serversLoaded();
  });
  center.addObserver(weak, VPNServerManager::kFailedToLoadServers, [weak](const auto&) {
    platform::DispatchQueue::main().async([weak] {
      if (auto screen = weak.lock()) screen->serversFailedToLoad();
    });
  });
  const auto spinner = connected(activityIndicator, "activityIndicator");
  spinner->setColor(UIColorWithHexString(kConnectingColor));
  spinner->startAnimating();
  refreshConnectionState();
}

void HomePageViewController::viewWillAppear(bool animated) {
  BaseViewController::viewWillAppear(animated);
  addBottomCurveMask(*connected(bottomView, "bottomView"), kBottomCurvature);
  updateBadge();
}

void addBottomCurveMask(platform::UIView& view, double curvature) {
  const auto bounds = platform::UIScreen::mainScreen().bounds();
  const double x = bounds.origin.x, y = bounds.origin.y, w = bounds.size.width, h = bounds.size.height;
  const double ovalWidth = w / curvature;
  auto path = platform::UIBezierPath::bezierPathWithRect(platform::CGRectMake(x, y + h / 2, w, h / 2));
  path.appendPath(platform::UIBezierPath::bezierPathWithOvalInRect(
      platform::CGRectMake(x - ovalWidth / 2, y, w + ovalWidth, h)));
  auto mask = std::make_shared<platform::CAShapeLayer>();
  mask->frame = platform::CGRectMake(x, y, w, h);
  mask->path = std::move(path);
  view.layer().mask = std::move(mask);
}

// The count of the maker's applications not installed comes from their tracker; until the
// application has one, there are none to show.
void HomePageViewController::updateBadge() {
  const long notInstalled = NativeAppsTracker::shared()->remainingNotInstalledApps();
  const auto badge = connected(badgeLabel, "badgeLabel");
  if (notInstalled != 0) badge->setText(std::to_string(notInstalled));
  badge->setHidden(notInstalled == 0);
}

void HomePageViewController::startArrowAnimation() {
  const auto up = connected(upArrowsImageView, "upArrowsImageView");
  up->setAnimationImages(upImagesArray);
  up->setAnimationDuration(0.5);
  up->startAnimating();
  connected(downArrowImageView, "downArrowImageView")->setImage(UIImage::imageNamed("3-down"));
}

void HomePageViewController::showServersButtonPressed() { showServers(); }
void HomePageViewController::proButtonPressed() { showFAQ(); }
void HomePageViewController::serversButtonPressed() { showSettings(); }

void HomePageViewController::showServers() {
  auto picker = std::dynamic_pointer_cast<ServersViewController>(
      platform::UIStoryboard::storyboardWithName(ServersViewController::kStoryboardName)
          ->instantiateViewControllerWithIdentifier(ServersViewController::kStoryboardIdentifier));
  if (!picker) platform::fatalError("the scene ServersViewController is not a ServersViewController");
  picker->setModalPresentationStyle(isPad() ? platform::UIModalPresentationStyle::pageSheet
                                            : platform::UIModalPresentationStyle::fullScreen);
  picker->serverDelegate = std::static_pointer_cast<HomePageViewController>(shared_from_this());
  present(picker, true);
}

void HomePageViewController::showFAQ() {
  const auto url = platform::URL::parse(FAQsLink);
  if (!url) return;
  platform::SFSafariViewControllerConfiguration configuration;
  configuration.entersReaderIfAvailable = true;
  present(std::make_shared<platform::SFSafariViewController>(*url, configuration), true);
}

// The settings screen comes with the shared library's settings; there is none to open yet.
void HomePageViewController::showSettings() {}

void HomePageViewController::serversLoaded() {
  refreshConnectionState();
  std::weak_ptr<HomePageViewController> weak = std::static_pointer_cast<HomePageViewController>(shared_from_this());
  platform::DispatchQueue::main().async([weak] {
    auto self = weak.lock();
    if (!self) return;
    self->listLoaded_ = true;
    self->hideLoadingCover();
    self->startArrowAnimation();
  });
}

void HomePageViewController::hideLoadingCover() {
  connected(activityIndicator, "activityIndicator")->stopAnimating();
  connected(loadingIndicatorView, "loadingIndicatorView")->setHidden(true);
}

// Without a list the screen still leads to settings and help, and the list is asked for again,
// waiting longer after each failure.
void HomePageViewController::serversFailedToLoad() {
  if (listLoaded_) return;
  const double delay = nextListRetryDelay_;
  nextListRetryDelay_ = std::min(delay * 2, kLongestListRetryDelay);
  platform::console("Servers failed to load, trying again in " + platform::formatNumber(delay) + " s");
  hideLoadingCover();
  std::weak_ptr<HomePageViewController> weak = std::static_pointer_cast<HomePageViewController>(shared_from_this());
  platform::DispatchQueue::main().asyncAfter(delay, [weak] {
    auto self = weak.lock();
    if (self && !self->listLoaded_) VPNServerManager::shared()->fetchServers();
  });
}

void HomePageViewController::swipeViewPressed() {
  const auto status = VPNConnectionManager::shared()->vpnConnectionState();
  if (status == NEVPNStatus::connecting || status == NEVPNStatus::connected) {
    disconnectVPN();
  } else {
    connectVPN();
  }
}

void HomePageViewController::connectVPN() {
  const auto manager = VPNConnectionManager::shared();
  const auto current = manager->currentServer();
  if (current && !current->isAutoSelect()) {
    manager->connectToServer(current);
  } else {
    auto pick = randomServer(VPNServerManager::shared()->premiumVPNServersArray());
    if (pick) pick->setIsAutoSelect(true);
    manager->connectToServer(pick);
  }
  updateSelectedServer();
}

void HomePageViewController::disconnectVPN() {
  const auto manager = VPNConnectionManager::shared();
  const auto current = manager->currentServer();
  if (current && current->isAutoSelect()) {
    manager->setCurrentServer(nullptr);
    manager->saveCurrentServer();
  }
  // a second attempt still due would bring the tunnel straight back up
  manager->withdrawPendingAttempts();
  manager->vpnManager()->connection()->stopVPNTunnel();
}

void HomePageViewController::updateSelectedServer() {
  const auto label = connected(selectedServerCountryNameLabel, "selectedServerCountryNameLabel");
  const auto logo = connected(selectedServerLogoImageView, "selectedServerLogoImageView");
  if (const auto server = VPNConnectionManager::shared()->currentServer()) {
    label->setText(server->country().value_or(""));
    logo->setImage(flagImage(server->countryCode()));
  } else {
    label->setText("Fastest Server");
    logo->setImage(UIImage::imageNamed("globe"));
  }
}

void HomePageViewController::didSelectServer(std::shared_ptr<VPNServer> server) {
  connected(selectedServerCountryNameLabel, "selectedServerCountryNameLabel")
      ->setText(server ? server->country().value_or("") : "");
  VPNConnectionManager::shared()->connectToServer(server);
  // the flag follows the name at once, not at the next status change
  updateSelectedServer();
}

void HomePageViewController::refreshConnectionState() {
  std::weak_ptr<HomePageViewController> weak = std::static_pointer_cast<HomePageViewController>(shared_from_this());
  platform::DispatchQueue::main().async([weak] {
    auto self = weak.lock();
    if (!self) return;
    self->updateSelectedServer();
    switch (VPNConnectionManager::shared()->vpnConnectionState()) {
      case NEVPNStatus::connecting: self->showConnectingState(); break;
      case NEVPNStatus::connected: self->showConnectedState(); break;
      default: self->showDisconnectedState(); break;
    }
  });
}

void HomePageViewController::vpnConnectionStateChanged() {
  // the status of this change travels with it: read later, a quick succession would skip looks
  const auto status = VPNConnectionManager::shared()->vpnConnectionState();
  std::weak_ptr<HomePageViewController> weak = std::static_pointer_cast<HomePageViewController>(shared_from_this());
  platform::DispatchQueue::main().async([weak, status] {
    if (auto self = weak.lock()) self->applyStatusChange(status);
  });
}

void HomePageViewController::applyStatusChange(NEVPNStatus status) {
  updateSelectedServer();
  switch (status) {
    case NEVPNStatus::connecting: transitionToConnecting(); break;
    case NEVPNStatus::connected: transitionToConnected(); break;
    default: transitionToDisconnected(); break;
  }
}

void HomePageViewController::showDisconnectedState() {
  ++lookGeneration_;
  connected(vpnConnectedView, "vpnConnectedView")->setAlpha(0);
  connected(vpnDisconnectedView, "vpnDisconnectedView")->setAlpha(1);
  connected(vpnConnectedLabel, "vpnConnectedLabel")->setHidden(true);
  connected(vpnDisconnectedLabel, "vpnDisconnectedLabel")->setHidden(false);
}

void HomePageViewController::showConnectingState() {
  ++lookGeneration_;
  connected(connectingIndicator, "connectingIndicator")->setHidden(false);
  const auto status = connected(vpnConnectedLabel, "vpnConnectedLabel");
  status->setTextColor(UIColorWithHexString(kConnectingColor));
  status->setText("VPN CONNECTING...");
  connected(buttonOnImageView, "buttonOnImageView")->setImage(UIImage::imageNamed("btn-connecting"));
  connected(vpnConnectedView, "vpnConnectedView")->setAlpha(1);
  connected(vpnDisconnectedView, "vpnDisconnectedView")->setAlpha(0);
  status->setHidden(false);
  connected(vpnDisconnectedLabel, "vpnDisconnectedLabel")->setHidden(true);
}

void HomePageViewController::showConnectedState() {
  ++lookGeneration_;
  connected(connectingIndicator, "connectingIndicator")->setHidden(true);
  const auto status = connected(vpnConnectedLabel, "vpnConnectedLabel");
  status->setTextColor(UIColorWithHexString(kConnectedColor));
  status->setText("VPN CONNECTED");
  connected(buttonOnImageView, "buttonOnImageView")->setImage(UIImage::imageNamed("btn-on"));
  connected(vpnConnectedView, "vpnConnectedView")->setAlpha(1);
  connected(vpnDisconnectedView, "vpnDisconnectedView")->setAlpha(0);
  status->setHidden(false);
  connected(vpnDisconnectedLabel, "vpnDisconnectedLabel")->setHidden(true);
}

void HomePageViewController::layoutNow() { view()->layoutIfNeeded(); }

void HomePageViewController::transitionToConnecting() {
  const auto generation = ++lookGeneration_;
  connected(connectingIndicator, "connectingIndicator")->setHidden(false);
  const auto status = connected(vpnConnectedLabel, "vpnConnectedLabel");
  status->setTextColor(UIColorWithHexString(kConnectingColor));
  status->setText("VPN CONNECTING...");
  connected(buttonOnImageView, "buttonOnImageView")->setImage(UIImage::imageNamed("btn-connecting"));
  status->setHidden(false);
  connected(vpnDisconnectedLabel, "vpnDisconnectedLabel")->setHidden(true);
  connected(lblStartVPN, "lblStartVPN")->setHidden(true);
  connected(upArrowsImageView, "upArrowsImageView")->setHidden(true);
  connected(buttonTopConstraint, "buttonTopConstraint")->setConstant(kRaisedTopOffset);
  std::weak_ptr<HomePageViewController> weak = std::static_pointer_cast<HomePageViewController>(shared_from_this());
  platform::UIView::animate(
      kTransitionDuration, [weak] { if (auto self = weak.lock()) self->layoutNow(); },
      [weak, generation](bool) {
        auto self = weak.lock();
        if (!self) return;
        // the panels change only for the latest look; the control and its hint go back to rest
        if (self->lookGeneration_ == generation) {
          connected(self->vpnConnectedView, "vpnConnectedView")->setAlpha(1);
          connected(self->vpnDisconnectedView, "vpnDisconnectedView")->setAlpha(0);
        }
        connected(self->buttonTopConstraint, "buttonTopConstraint")->setConstant(kRestingTopOffset);
        connected(self->lblStartVPN, "lblStartVPN")->setHidden(false);
        connected(self->upArrowsImageView, "upArrowsImageView")->setHidden(false);
        self->layoutNow();
      });
}

void HomePageViewController::transitionToConnected() {
  ++lookGeneration_;
  platform::UINotificationFeedbackGenerator().notificationOccurred(platform::UINotificationFeedbackType::success);
  connected(connectingIndicator, "connectingIndicator")->setHidden(true);
  const auto status = connected(vpnConnectedLabel, "vpnConnectedLabel");
  status->setTextColor(UIColorWithHexString(kConnectedColor));
  status->setText("VPN CONNECTED");
  connected(buttonOnImageView, "buttonOnImageView")->setImage(UIImage::imageNamed("btn-on"));
  status->setHidden(false);
  connected(vpnDisconnectedLabel, "vpnDisconnectedLabel")->setHidden(true);
  connected(vpnConnectedView, "vpnConnectedView")->setAlpha(1);
  connected(vpnDisconnectedView, "vpnDisconnectedView")->setAlpha(0);
  connected(buttonTopConstraint, "buttonTopConstraint")->setConstant(kRestingTopOffset);
  connected(lblStartVPN, "lblStartVPN")->setHidden(false);
  connected(upArrowsImageView, "upArrowsImageView")->setHidden(false);
  platform::DispatchQueue::main().asyncAfter(kReviewCheckDelay, [] {
    if (Utils::shouldAskForReview()) platform::SKStoreReviewController::requestReview();
  });
}

void HomePageViewController::transitionToDisconnected() {
  const auto status = connected(vpnConnectedLabel, "vpnConnectedLabel");
  if (status->isHidden()) return;
  const auto generation = ++lookGeneration_;
  status->setHidden(true);
  connected(vpnDisconnectedLabel, "vpnDisconnectedLabel")->setHidden(false);
  connected(lblStopVPN, "lblStopVPN")->setHidden(true);
  connected(downArrowImageView, "downArrowImageView")->setHidden(true);
  connected(onButtonTopConstraint, "onButtonTopConstraint")->setConstant(kRestingTopOffset);
  std::weak_ptr<HomePageViewController> weak = std::static_pointer_cast<HomePageViewController>(shared_from_this());
  platform::UIView::animate(
      kTransitionDuration, [weak] { if (auto self = weak.lock()) self->layoutNow(); },
      [weak, generation](bool) {
        auto self = weak.lock();
        if (!self) return;
        if (self->lookGeneration_ == generation) {
          connected(self->vpnConnectedView, "vpnConnectedView")->setAlpha(0);
          connected(self->vpnDisconnectedView, "vpnDisconnectedView")->setAlpha(1);
        }
        connected(self->onButtonTopConstraint, "onButtonTopConstraint")->setConstant(kRaisedTopOffset);
        connected(self->lblStopVPN, "lblStopVPN")->setHidden(false);
        connected(self->downArrowImageView, "downArrowImageView")->setHidden(false);
        self->layoutNow();
      });
}
