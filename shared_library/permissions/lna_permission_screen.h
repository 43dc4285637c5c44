#pragma once

#include <memory>
#include <string>

#include "platform/services/reachability.h"
#include "platform/uikit/control.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"
#include "shared_library/permissions/lna_manager.h"

class LNAPermissionScreenDelegate {
 public:
  virtual ~LNAPermissionScreenDelegate() = default;
  // After the screen has gone. A delegate that leaves it as it is does not answer it.
  virtual void hasAllowedLNAPermission() {}
};

// Asks for the local-network permission and watches the connection: it stays up until the
// permission is available and a network is reachable, sends the user to the system Settings when
// asking again is no longer possible, then closes and tells its delegate. Main thread only.
class LNAPermissionScreen : public platform::UIViewController, public LNAManagerProtocol {
 public:
  static constexpr const char* kPermissionWarning = "Without this permission the app will not work";
  static constexpr const char* kNoWifiWarning = "Without wifi the app will not work";
  static constexpr const char* kLogoImage = "logoInPermisson";
  static constexpr const char* kNoWifiImage = "carpno-wi-last";

  // Makes the class known to storyboards by its name; once is enough.
  static void registerStoryboardClass();

  std::shared_ptr<LNAPermissionScreenDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<LNAPermissionScreenDelegate>& delegate) { delegate_ = delegate; }

  std::shared_ptr<platform::UIImageView> imgLogo() const { return imgLogo_.lock(); }
  std::shared_ptr<platform::UIActivityIndicatorView> lnaPermissionIndicator() const {
    return lnaPermissionIndicator_.lock();
  }
  std::shared_ptr<platform::UILabel> lblTitle() const { return lblTitle_.lock(); }
  std::shared_ptr<platform::UILabel> lblDescription() const { return lblDescription_.lock(); }
  std::shared_ptr<platform::UILabel> lblPermissionText() const { return lblPermissionText_.lock(); }
  std::shared_ptr<platform::UIButton> btnPermission() const { return btnPermission_.lock(); }
  std::shared_ptr<platform::UILabel> lblNoWifi() const { return lblNoWifi_.lock(); }

  bool isIOS14() const { return isIOS14_; }
  bool isLNAEnabled() const { return isLNAEnabled_; }
  const std::optional<std::string>& lnaText() const { return lnaText_; }
  const std::shared_ptr<platform::Reachability>& wifiReachability() const { return wifiReachability_; }

  void connectOutlets(platform::OutletConnector& connector) override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void updateInitialUI();
  void updateUIForDisabledLNAAccess();
  void updateUIForNoWifi();

  void startMonitoringReachability();
  void reachabilityChanged();
  void handleWifiConnection();
  // The remote configuration was refreshed; may come on any thread.
  void applicationManagerDidUpdateSettings();
  // The application became active.
  void startPing();
  void permissionBtn();
  void learnMoreBtn() {}
  void didReceiveResponseFromPing(bool isLNAEnabled) override;
  // Dismisses the screen and tells the delegate once it has gone; once per screen.
  void closeScreen();

 private:
  bool isConnected() const;
  // Disabled once the system's alert has been shown, else the initial look.
  void updatePermissionUI();
  void showLook(const std::optional<std::string>& buttonTitle, const char* warning, const char* image);
  void observe(const std::string& name, void (LNAPermissionScreen::*handler)());
  void stopObserving();
  std::weak_ptr<LNAPermissionScreen> weakSelf();

  bool isIOS14_ = false;
  std::shared_ptr<platform::Reachability> wifiReachability_;
  bool isLNAEnabled_ = false;
  std::optional<std::string> lnaText_;
  std::weak_ptr<LNAPermissionScreenDelegate> delegate_;
  bool closing_ = false;

  std::weak_ptr<platform::UIImageView> imgLogo_;
  std::weak_ptr<platform::UIActivityIndicatorView> lnaPermissionIndicator_;
  std::weak_ptr<platform::UILabel> lblTitle_;
  std::weak_ptr<platform::UILabel> lblDescription_;
  std::weak_ptr<platform::UILabel> lblPermissionText_;
  std::weak_ptr<platform::UIButton> btnPermission_;
  std::weak_ptr<platform::UILabel> lblNoWifi_;
};
