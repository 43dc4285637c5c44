#pragma once

#include <memory>

#include "platform/foundation/user_defaults.h"
#include "platform/uikit/view_controller.h"

class NotificationPermissionScreenDelegate {
 public:
  virtual ~NotificationPermissionScreenDelegate() = default;
  // After the screen has gone. A delegate that leaves it as it is does not answer it.
  virtual void hasShownNotificationPopup() {}
};

// Asks for permission to show notifications, notes in the shared defaults suite that it was
// shown, then closes and tells its delegate, whatever the user answered. Main thread only.
class NotificationPermissionScreen : public platform::UIViewController {
 public:
  static constexpr const char* kSharedSuiteName = "group.lks.sharedKeychain";
  static constexpr const char* kPopupShownKey = "kNotificationPopupShown";

  // Makes the class known to storyboards by its name; once is enough.
  static void registerStoryboardClass();

  std::shared_ptr<NotificationPermissionScreenDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<NotificationPermissionScreenDelegate>& delegate) { delegate_ = delegate; }
  // None until the view has loaded, or when the suite cannot be opened.
  const std::shared_ptr<platform::UserDefaults>& sharedDefaults() const { return sharedDefaults_; }

  void connectOutlets(platform::OutletConnector& connector) override;
  void viewDidLoad() override;

  // Asks once; later taps do nothing.
  void btnPermissionPressed();
  // Main thread; the work runs on the main queue.
  void closeScreen();

 private:
  static void closeOnMain(std::weak_ptr<NotificationPermissionScreen> weak);

  std::shared_ptr<platform::UserDefaults> sharedDefaults_;
  std::weak_ptr<NotificationPermissionScreenDelegate> delegate_;
  bool asked_ = false;
};
