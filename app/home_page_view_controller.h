#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/base_view_controller.h"
#include "app/servers_view_controller.h"
#include "platform/components/badge_label.h"
#include "platform/network_extension/vpn_manager.h"
#include "platform/uikit/layout.h"
#include "platform/uikit/storyboard.h"
#include "vpn_core/tunnel_manager.h"

// The main screen: the connect control with its disconnected, connecting and connected looks,
// the current server, and the ways to the server picker, the help page and the settings.
class HomePageViewController : public BaseViewController,
                               public VPNConnectionManagerDelegate,
                               public ServersViewControllerDelegate {
 public:
  static constexpr const char* kStoryboardName = "Main";
  static constexpr const char* kConnectingColor = "fe9423";
  static constexpr const char* kConnectedColor = "2FCC72";
  static constexpr double kTransitionDuration = 0.3;
  static constexpr double kReviewCheckDelay = 5.0;
  static constexpr double kBottomCurvature = 0.85;
  static constexpr double kFirstListRetryDelay = 10;
  static constexpr double kLongestListRetryDelay = 80;

  HomePageViewController();

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  platform::UIStatusBarStyle preferredStatusBarStyle() const override;
  void connectOutlets(platform::OutletConnector& connector) override;

  // Actions of the storyboard's controls.
  void swipeViewPressed();
  void showServersButtonPressed();
  // Opens the help page (the frequently asked questions).
  void proButtonPressed();
  // Opens the settings screen.
  void serversButtonPressed();

  virtual void updateBadge();
  virtual void startArrowAnimation();
  virtual void showServers();
  virtual void showFAQ();
  virtual void serversLoaded();
  virtual void connectVPN();
  virtual void updateSelectedServer();
  virtual void refreshConnectionState();
  virtual void showConnectedState();
  virtual void showDisconnectedState();
  virtual void showConnectingState();
  virtual void transitionToDisconnected();
  virtual void transitionToConnected();
  virtual void transitionToConnecting();
  void disconnectVPN();
  void showSettings();

  // On the thread of the status change; the screen work follows on the main queue.
  void vpnConnectionStateChanged() override;
  void didSelectServer(std::shared_ptr<VPNServer> server) override;

  std::weak_ptr<platform::BadgeLabel> badgeLabel;
  std::weak_ptr<platform::UIView> bottomView;
  std::weak_ptr<platform::UIImageView> upArrowsImageView;
  std::weak_ptr<platform::NSLayoutConstraint> buttonTopConstraint;
  std::weak_ptr<platform::UIImageView> buttonOffImageView;
  std::weak_ptr<platform::UIImageView> buttonOnImageView;
  std::weak_ptr<platform::UIImageView> downArrowImageView;
  std::weak_ptr<platform::NSLayoutConstraint> onButtonTopConstraint;
  std::weak_ptr<platform::UIView> vpnConnectedView;
  std::weak_ptr<platform::UIView> vpnDisconnectedView;
  std::weak_ptr<platform::UILabel> lblStopVPN;
  std::weak_ptr<platform::UILabel> lblStartVPN;
  std::weak_ptr<platform::UILabel> vpnDisconnectedLabel;
  std::weak_ptr<platform::UILabel> vpnConnectedLabel;
  std::weak_ptr<platform::UILabel> selectedServerCountryNameLabel;
  std::weak_ptr<platform::UIImageView> selectedServerLogoImageView;
  std::weak_ptr<platform::UIView> loadingIndicatorView;
  std::weak_ptr<platform::AnimatedActivityIndicatorView> activityIndicator;
  std::weak_ptr<platform::UIActivityIndicatorView> connectingIndicator;

  std::vector<platform::UIImageRef> upImagesArray;
  std::string FAQsLink;

 private:
  void serversFailedToLoad();
  // The look of one status change, on the main queue.
  void applyStatusChange(platform::NEVPNStatus status);
  void hideLoadingCover();
  void layoutNow();
  // The status line of the connecting and connected looks, with the control's image.
  void showStatusLine(const char* color, const char* text, const char* buttonImage, bool spinning);
  void showPanels(bool connectedLook);
  void animateTransition(bool connectedLook, std::function<void(HomePageViewController&)> rest);

  // Main thread only. Each transition or static look takes the next generation; an animation's
  // completion applies its look only while no later one has started.
  std::uint64_t lookGeneration_ = 0;
  bool listLoaded_ = false;
  double nextListRetryDelay_ = kFirstListRetryDelay;
};

// Cuts the view's top edge to a curve: the lower half of the main screen's bounds plus an oval
// as tall as the screen and wider than it by width / curvature, centred on it.
void addBottomCurveMask(platform::UIView& view, double curvature);
