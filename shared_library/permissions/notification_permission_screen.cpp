#include "shared_library/permissions/notification_permission_screen.h"

#include "platform/foundation/queues.h"
#include "platform/services/user_notifications.h"
#include "platform/uikit/storyboard.h"

void NotificationPermissionScreen::registerStoryboardClass() {
  platform::UIStoryboard::registerViewControllerClass<NotificationPermissionScreen>("NotificationPermissionScreen");
}

void NotificationPermissionScreen::connectOutlets(platform::OutletConnector& connector) {
  connector.action("btnPermissionPressed", this, &NotificationPermissionScreen::btnPermissionPressed);
}

void NotificationPermissionScreen::viewDidLoad() {
  UIViewController::viewDidLoad();
  sharedDefaults_ = platform::UserDefaults::suite(kSharedSuiteName);
}

void NotificationPermissionScreen::btnPermissionPressed() {
  // A second request would close the screen a second time.
  if (asked_) return;
  asked_ = true;
  std::weak_ptr<NotificationPermissionScreen> weak =
      std::static_pointer_cast<NotificationPermissionScreen>(shared_from_this());
  platform::UNUserNotificationCenter::currentNotificationCenter()->requestAuthorizationWithOptions(
      platform::UNAuthorizationOptionBadge | platform::UNAuthorizationOptionSound | platform::UNAuthorizationOptionAlert,
      [weak](bool, const std::optional<platform::Error>&) { closeOnMain(weak); });
}

void NotificationPermissionScreen::closeScreen() {
  closeOnMain(std::static_pointer_cast<NotificationPermissionScreen>(shared_from_this()));
}

// Holds the screen only on the main queue, so it is never released on the answer's queue.
void NotificationPermissionScreen::closeOnMain(std::weak_ptr<NotificationPermissionScreen> weak) {
  platform::DispatchQueue::main().async([weak] {
    auto self = weak.lock();
    if (!self) return;
    if (self->sharedDefaults_) self->sharedDefaults_->setBool(true, kPopupShownKey);
    self->dismiss(true, [weak] {
      auto screen = weak.lock();
      if (!screen) return;
      if (auto d = screen->delegate()) d->hasShownNotificationPopup();
    });
  });
}
