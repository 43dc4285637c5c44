#include "app/app_delegate.h"

#include <filesystem>

#include "app/home_page_view_controller.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/queues.h"
#include "platform/uikit/storyboard.h"
#include "service_client/remote_config.h"
#include "shared_library/apps/native_apps_tracker.h"
#include "shared_library/support/lks_constants.h"

using platform::Bundle;
using platform::UIModalPresentationStyle;
using platform::UIModalTransitionStyle;
using platform::UIStoryboard;

std::shared_ptr<platform::UIWindow> AppDelegate::window() {
  if (!window_) window_ = std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());
  return window_;
}

bool AppDelegate::didFinishLaunchingWithOptions(platform::UIApplication&,
                                                const std::optional<platform::UIApplicationLaunchOptions>&) {
  QVCtrl::oneInst();  // its first making starts the refresh timer
  window_ = std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());

  const auto resources = Bundle::forLibraryClasses()->resourcePath();
  if (!resources) platform::fatalError("the bundle of AppLoadingScreen has no resource directory");
  const auto common = Bundle::bundleWithPath(*resources / kCommonBundleName);
  const auto initial = UIStoryboard::storyboardWithName(kLoadingStoryboardName, common)->instantiateInitialViewController();
  appLoadingSrceen = std::dynamic_pointer_cast<AppLoadingScreen>(initial);
  // a window without a splash could never present the home screen
  if (!appLoadingSrceen) platform::fatalError("the storyboard AppLoading gives no AppLoadingScreen");
  appLoadingSrceen->setAppLogoIcon(kLogoName);

  window_->setRootViewController(appLoadingSrceen);
  window_->makeKeyAndVisible();

  NativeAppsTracker::shared()->loadNativeApps();

  std::weak_ptr<AppDelegate> weak = weak_from_this();
  platform::NotificationCenter::defaultCenter().addObserver(std::weak_ptr<const void>(shared_from_this()),
                                                            LKSConstants::progressCompleted, [weak](const auto&) {
                                                              if (auto self = weak.lock()) self->didAppSettingsUpdated();
                                                            });
  return true;
}

void AppDelegate::didAppSettingsUpdated() {
  platform::DispatchQueue::main().async([self = shared_from_this()] {
    // a second end of loading must not dismiss the live home screen or make another
    if (self->homeShown_) return;
    self->homeShown_ = true;
    if (self->appLoadingSrceen) self->appLoadingSrceen->dismiss(false);
    auto home = std::dynamic_pointer_cast<HomePageViewController>(
        UIStoryboard::storyboardWithName(HomePageViewController::kStoryboardName)->instantiateInitialViewController());
    if (!home) platform::fatalError("the storyboard Main gives no HomePageViewController");
    home->setModalPresentationStyle(UIModalPresentationStyle::fullScreen);
    home->setModalTransitionStyle(UIModalTransitionStyle::crossDissolve);
    const auto root = self->window()->rootViewController();
    if (!root) platform::fatalError("the window has no root view controller to present the home screen");
    root->present(home, true);
  });
}
