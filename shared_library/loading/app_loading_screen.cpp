#include "shared_library/loading/app_loading_screen.h"

#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/uikit/image.h"
#include "platform/uikit/storyboard.h"
#include "shared_library/loading/progress_step.h"
#include "shared_library/support/lks_constants.h"
#include "shared_library/support/utility_wrapper.h"

using platform::DispatchQueue;
using platform::NotificationCenter;

void AppLoadingScreen::registerStoryboardClass() {
  platform::UIStoryboard::registerViewControllerClass<AppLoadingScreen>("AppLoadingScreen");
}

AppLoadingScreen::AppLoadingScreen()
    // a plain timer, never scheduled, until progress starts
    : timer_(std::make_shared<platform::Timer>(DispatchQueue::main(), platform::seconds(kTickInterval), true,
                                               platform::Timer::Block{})) {}

void AppLoadingScreen::connectOutlets(platform::OutletConnector& connector) {
  connector.outlet("progressBar", progressBar_);
  connector.outlet("appLogo", appLogo_);
}

void AppLoadingScreen::viewDidLoad() {
  UIViewController::viewDidLoad();
  if (auto logo = appLogo()) logo->setImage(platform::UIImage::imageNamed(appLogoIcon_));
  auto self = std::static_pointer_cast<AppLoadingScreen>(shared_from_this());
  std::weak_ptr<AppLoadingScreen> weak = self;
  NotificationCenter::defaultCenter().addObserver(std::weak_ptr<const void>(self),
                                                  UtilityWrapper::updateEventsNotificationName(), [weak](const auto&) {
                                                    if (auto screen = weak.lock()) screen->didAppSettingsUpdated();
                                                  });
  startProgress();
}

void AppLoadingScreen::startProgress() {
  auto ticks = std::make_shared<std::int64_t>(0);
  if (auto bar = progressBar()) bar->setProgress(0.0f, false);
  auto total = std::make_shared<double>(0.0);
  // a timer left running would tick on beside the new one
  timer_->invalidate();
  std::weak_ptr<AppLoadingScreen> weak = std::static_pointer_cast<AppLoadingScreen>(shared_from_this());
  timer_ = platform::Timer::scheduledTimer(kTickInterval, true, [weak, ticks, total](platform::Timer& timer) {
    auto self = weak.lock();
    if (!self) {
      timer.invalidate();
      return;
    }
    *ticks += 1;
    const float step = randomProgressStep(platform::Process::current().random());
    *total += static_cast<double>(step);
    if (auto bar = self->progressBar()) bar->setProgress(static_cast<float>(*total), true);
    if (*ticks == kLastTick) {
      timer.invalidate();  // no tenth tick, whatever the end finds
      self->didAppSettingsUpdated();
    }
  });
}

void AppLoadingScreen::didAppSettingsUpdated() {
  auto self = std::static_pointer_cast<AppLoadingScreen>(shared_from_this());
  // the notification comes on the service's reply thread, racing the ninth tick on the main one
  if (!platform::isMainThread()) {
    DispatchQueue::main().async([self] { self->didAppSettingsUpdated(); });
    return;
  }
  if (ended_) return;
  ended_ = true;
  timer_->invalidate();
  DispatchQueue::main().async([self] {
    if (auto bar = self->progressBar()) bar->setProgress(1.0f, false);
  });
  NotificationCenter::defaultCenter().post(LKSConstants::progressCompleted);
  NotificationCenter::defaultCenter().removeObserver(this);
}
