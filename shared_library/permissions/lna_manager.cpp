#include "shared_library/permissions/lna_manager.h"

#include "platform/foundation/process.h"
#include "platform/foundation/user_defaults.h"

std::shared_ptr<LNAManager> LNAManager::shared() {
  return platform::Process::current().shared<LNAManager>([] { return std::make_shared<LNAManager>(); });
}

LNAManager::LNAManager() : lnaManager_(std::make_shared<LocalNetworkManager>()) {}

std::shared_ptr<LNAManagerProtocol> LNAManager::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void LNAManager::setDelegate(const std::shared_ptr<LNAManagerProtocol>& delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = delegate;
}

bool LNAManager::hasLNAAlertShown() const { return platform::UserDefaults::standard()->boolForKey(kAlertShownKey); }

void LNAManager::requestAuthorization() { check(); }

// The probe's first browse is what makes the system ask.
void LNAManager::markAlertShown() {
  auto defaults = platform::UserDefaults::standard();
  if (defaults->boolForKey(kAlertShownKey)) return;
  defaults->setBool(true, kAlertShownKey);
}

void LNAManager::startPing() {
  hasPingSent_.store(true);
  check();
}

void LNAManager::check() {
  if (checking_) return;
  markAlertShown();
  checking_ = true;
  const auto id = ++checks_;
  std::weak_ptr<LNAManager> weak = weak_from_this();
  timeLimit_ = platform::Timer::scheduledTimer(kTimeLimit, false, [weak, id](platform::Timer&) {
    if (auto self = weak.lock()) self->finish(id, false);
  });
  lnaManager_->requestAuthorizationWithCompletion([weak, id](bool granted) {
    if (auto self = weak.lock()) self->finish(id, granted);
  });
}

void LNAManager::finish(std::uint64_t check, bool granted) {
  if (!checking_ || check != checks_) return;
  checking_ = false;
  if (timeLimit_) {
    timeLimit_->invalidate();
    timeLimit_.reset();
  }
  // Past the time limit the probe is still running; it must not answer later.
  lnaManager_->stopManager();
  isLNAEnabled_.store(granted);
  platform::DispatchQueue::main().async([weak = weak_from_this(), granted] {
    auto self = weak.lock();
    if (!self) return;
    if (auto d = self->delegate()) d->didReceiveResponseFromPing(granted);
  });
}
