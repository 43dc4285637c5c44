#include "shared_library/permissions/lna_permission_screen.h"

#include "platform/foundation/notification_center.h"
#include "platform/foundation/queues.h"
#include "platform/network/url.h"
#include "platform/uikit/application.h"
#include "platform/uikit/image.h"
#include "platform/uikit/storyboard.h"
#include "shared_library/support/system_version.h"
#include "shared_library/support/utility_wrapper.h"

using platform::NotificationCenter;

void LNAPermissionScreen::registerStoryboardClass() {
  platform::UIStoryboard::registerViewControllerClass<LNAPermissionScreen>("LNAPermissionScreen");
}

void LNAPermissionScreen::connectOutlets(platform::OutletConnector& connector) {
  connector.outlet("imgLogo", imgLogo_);
  connector.outlet("lnaPermissionIndicator", lnaPermissionIndicator_);
  connector.outlet("lblTitle", lblTitle_);
  connector.outlet("lblDescription", lblDescription_);
  connector.outlet("lblPermissionText", lblPermissionText_);
  connector.outlet("btnPermission", btnPermission_);
  connector.outlet("lblNoWifi", lblNoWifi_);
  connector.action("permissionBtn", this, &LNAPermissionScreen::permissionBtn);
  connector.action("learnMoreBtn", this, &LNAPermissionScreen::learnMoreBtn);
}

void LNAPermissionScreen::viewDidLoad() {
  UIViewController::viewDidLoad();
  isIOS14_ = LKSCommon::compareSystemVersions(platform::UIDevice::currentDevice().systemVersion(), "14.0") !=
             std::strong_ordering::less;
}

void LNAPermissionScreen::viewWillAppear(bool animated) {
  UIViewController::viewWillAppear(animated);
  startMonitoringReachability();
  lnaText_ = "Continue";
  if (!isIOS14_) {
    updateUIForNoWifi();
    return;
  }
  if (isConnected()) {
    updatePermissionUI();
  } else {
    updateUIForNoWifi();
  }
  // Closing may have begun above; a screen on its way out registers nothing more.
  if (closing_) return;
  LNAManager::shared()->setDelegate(std::static_pointer_cast<LNAPermissionScreen>(shared_from_this()));
  observe(platform::UIApplicationDidBecomeActiveNotification, &LNAPermissionScreen::startPing);
  observe(UtilityWrapper::updateEventsNotificationName(), &LNAPermissionScreen::applicationManagerDidUpdateSettings);
}

void LNAPermissionScreen::viewWillDisappear(bool animated) {
  UIViewController::viewWillDisappear(animated);
  stopObserving();
}

void LNAPermissionScreen::observe(const std::string& name, void (LNAPermissionScreen::*handler)()) {
  auto weak = weakSelf();
  NotificationCenter::defaultCenter().addObserver(std::weak_ptr<const void>(weak_from_this()), name,
                                                  [weak, handler](const platform::Notification&) {
                                                    if (auto self = weak.lock()) ((*self).*handler)();
                                                  });
}

std::weak_ptr<LNAPermissionScreen> LNAPermissionScreen::weakSelf() {
  return std::static_pointer_cast<LNAPermissionScreen>(shared_from_this());
}

void LNAPermissionScreen::stopObserving() {
  NotificationCenter::defaultCenter().removeObserver(static_cast<const void*>(shared_from_this().get()));
}

void LNAPermissionScreen::showLook(const std::optional<std::string>& buttonTitle, const char* warning,
                                   const char* image) {
  if (auto indicator = lnaPermissionIndicator()) indicator->stopAnimating();
  if (auto label = lblPermissionText()) label->setText(warning);
  if (auto button = btnPermission()) button->setTitle(buttonTitle, platform::UIControlState::normal);
  if (auto logo = imgLogo()) logo->setImage(platform::UIImage::imageNamed(image));
}

void LNAPermissionScreen::updateInitialUI() {
  if (auto label = lblNoWifi()) label->setHidden(true);
  showLook(lnaText_, kPermissionWarning, kLogoImage);
}

void LNAPermissionScreen::updateUIForDisabledLNAAccess() {
  if (auto label = lblDescription()) label->setHidden(false);
  if (auto label = lblNoWifi()) label->setHidden(true);
  showLook("Enable Local Network", kPermissionWarning, kLogoImage);
}

void LNAPermissionScreen::updateUIForNoWifi() {
  if (auto label = lblDescription()) label->setHidden(true);
  if (auto label = lblNoWifi()) label->setHidden(false);
  showLook("Open Settings", kNoWifiWarning, kNoWifiImage);
}

void LNAPermissionScreen::updatePermissionUI() {
  if (LNAManager::shared()->hasLNAAlertShown()) {
    updateUIForDisabledLNAAccess();
  } else {
    updateInitialUI();
  }
}

bool LNAPermissionScreen::isConnected() const {
  return wifiReachability_ && wifiReachability_->currentReachabilityStatus() != platform::NetworkStatus::notReachable;
}

void LNAPermissionScreen::startMonitoringReachability() {
  if (!closing_) observe(platform::kReachabilityChangedNotification, &LNAPermissionScreen::reachabilityChanged);
  if (!wifiReachability_) wifiReachability_ = platform::Reachability::reachabilityForInternetConnection();
  wifiReachability_->startNotifier();
  handleWifiConnection();
}

void LNAPermissionScreen::reachabilityChanged() { handleWifiConnection(); }

void LNAPermissionScreen::handleWifiConnection() {
  if (!isConnected()) {
    updateUIForNoWifi();
  } else if (isIOS14_ && !isLNAEnabled_) {
    updatePermissionUI();
  } else {
    closeScreen();
  }
}

void LNAPermissionScreen::applicationManagerDidUpdateSettings() {
  // Posted from the network queue: the title and the look change together on the main queue.
  auto weak = weakSelf();
  platform::DispatchQueue::main().async([weak] {
    auto self = weak.lock();
    if (!self) return;
    self->lnaText_ = "Give Permission";
    if (self->isConnected()) {
      self->updatePermissionUI();
    } else {
      self->updateUIForNoWifi();
    }
  });
}

void LNAPermissionScreen::startPing() {
  auto manager = LNAManager::shared();
  if (!isConnected() || manager->hasPingSent()) return;
  manager->setHasLNAAlertTriggered(true);
  manager->startPing();
}

void LNAPermissionScreen::permissionBtn() {
  auto manager = LNAManager::shared();
  if (isConnected() && !manager->hasLNAAlertShown()) {
    manager->setHasLNAAlertTriggered(true);
    manager->requestAuthorization();
    if (auto button = btnPermission()) button->setTitle("", platform::UIControlState::normal);
    if (auto indicator = lnaPermissionIndicator()) indicator->startAnimating();
    return;
  }
  auto url = platform::URL::URLWithString(platform::UIApplicationOpenSettingsURLString);
  auto application = platform::UIApplication::sharedApplication();
  if (url && application->canOpenURL(*url)) application->openURL(*url);
}

void LNAPermissionScreen::didReceiveResponseFromPing(bool isLNAEnabled) {
  isLNAEnabled_ = isLNAEnabled;
  if (!isConnected()) {
    updateUIForNoWifi();
  } else if (isLNAEnabled) {
    closeScreen();
  } else {
    updateUIForDisabledLNAAccess();
  }
}

void LNAPermissionScreen::closeScreen() {
  if (closing_) return;
  closing_ = true;
  stopObserving();
  auto weak = weakSelf();
  dismiss(true, [weak] {
    auto self = weak.lock();
    if (!self) return;
    if (auto d = self->delegate()) d->hasAllowedLNAPermission();
  });
}
