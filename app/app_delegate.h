#pragma once

#include <memory>
#include <optional>

#include "platform/uikit/application.h"
#include "shared_library/loading/app_loading_screen.h"

// The application delegate: at launch it starts the remote-configuration refresh and the tracker
// of the maker's applications and shows the splash screen; when loading ends it presents the home
// screen over the splash, once.
class AppDelegate : public platform::UIApplicationDelegate, public std::enable_shared_from_this<AppDelegate> {
 public:
  static constexpr const char* kClassName = "AppDelegate";
  static constexpr const char* kCommonBundleName = "LKSCommon.bundle";
  static constexpr const char* kLoadingStoryboardName = "AppLoading";
  static constexpr const char* kLogoName = "shield";

  AppDelegate() = default;

  bool didFinishLaunchingWithOptions(platform::UIApplication& application,
                                     const std::optional<platform::UIApplicationLaunchOptions>& options) override;
  bool respondsToWindow() const override { return true; }
  // Made the size of the main screen on the first read while unset.
  std::shared_ptr<platform::UIWindow> window() override;
  void setWindow(std::shared_ptr<platform::UIWindow> window) { window_ = std::move(window); }

  // "PROGRESS_COMPLETED": presents the home screen on the main queue, the first time only.
  virtual void didAppSettingsUpdated();

  std::shared_ptr<AppLoadingScreen> appLoadingSrceen;

 private:
  std::shared_ptr<platform::UIWindow> window_;
  bool homeShown_ = false;  // main thread only
};
