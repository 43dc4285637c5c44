#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/queues.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"

// The splash screen: the application's logo over a progress bar that fills by a random step
// each second. Loading ends at the first refreshed remote configuration or at the ninth step:
// the bar fills and "PROGRESS_COMPLETED" is posted, once.
class AppLoadingScreen : public platform::UIViewController {
 public:
  static constexpr double kTickInterval = 1.0;
  static constexpr std::int64_t kLastTick = 9;

  // Makes the class known to storyboards by its name; once is enough.
  static void registerStoryboardClass();

  AppLoadingScreen();

  std::shared_ptr<platform::UIProgressView> progressBar() const { return progressBar_.lock(); }
  void setProgressBar(const std::shared_ptr<platform::UIProgressView>& bar) { progressBar_ = bar; }
  std::shared_ptr<platform::UIImageView> appLogo() const { return appLogo_.lock(); }
  void setAppLogo(const std::shared_ptr<platform::UIImageView>& logo) { appLogo_ = logo; }
  // The logo's image name in the main bundle; set before the view loads.
  const std::string& appLogoIcon() const { return appLogoIcon_; }
  void setAppLogoIcon(std::string name) { appLogoIcon_ = std::move(name); }
  const std::shared_ptr<platform::Timer>& timer() const { return timer_; }

  void viewDidLoad() override;
  void connectOutlets(platform::OutletConnector& connector) override;

  // The end of loading. Takes effect once, on the main thread (called elsewhere, it moves there).
  virtual void didAppSettingsUpdated();
  // Resets the bar and starts the progress timer afresh, stopping the one before.
  virtual void startProgress();

 private:
  std::weak_ptr<platform::UIProgressView> progressBar_;
  std::weak_ptr<platform::UIImageView> appLogo_;
  std::string appLogoIcon_;
  std::shared_ptr<platform::Timer> timer_;
  bool ended_ = false;  // main thread only
};
