#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/foundation/queues.h"
#include "shared_library/permissions/local_network_manager.h"

// Told, on the main queue, how each check of the local-network permission ended.
class LNAManagerProtocol {
 public:
  virtual ~LNAManagerProtocol() = default;
  virtual void didReceiveResponseFromPing(bool isLNAEnabled) = 0;
};

// The local-network permission state of the application. Checks go through one probe, one at a
// time: asking while a check runs joins it. A check that has not ended after the time limit ends
// as not permitted. Checks are made on the main thread; the flags may be read anywhere.
class LNAManager : public std::enable_shared_from_this<LNAManager> {
 public:
  static constexpr const char* kAlertShownKey = "LNAAlertShown";
  static constexpr double kTimeLimit = 10.0;

  static std::shared_ptr<LNAManager> shared();

  std::shared_ptr<LNAManagerProtocol> delegate() const;
  void setDelegate(const std::shared_ptr<LNAManagerProtocol>& delegate);

  // True once a check has run: the system asks the user only the first time, and later checks
  // cannot bring its alert back. Kept in the standard defaults.
  bool hasLNAAlertShown() const;
  bool hasPingSent() const { return hasPingSent_.load(); }
  bool hasLNAAlertTriggered() const { return hasLNAAlertTriggered_.load(); }
  void setHasLNAAlertTriggered(bool triggered) { hasLNAAlertTriggered_.store(triggered); }
  // The answer of the last check that ended; false before.
  bool isLNAEnabled() const { return isLNAEnabled_.load(); }

  const std::shared_ptr<LocalNetworkManager>& lnaManager() const { return lnaManager_; }

  // Lets the system ask the user, when it still can; the outcome comes as a check's answer.
  void requestAuthorization();
  // Checks the permission once more.
  void startPing();

  LNAManager();

 private:
  void check();
  void markAlertShown();
  void finish(std::uint64_t check, bool granted);

  const std::shared_ptr<LocalNetworkManager> lnaManager_;
  mutable std::mutex mutex_;
  std::weak_ptr<LNAManagerProtocol> delegate_;
  std::atomic<bool> hasPingSent_{false};
  std::atomic<bool> hasLNAAlertTriggered_{false};
  std::atomic<bool> isLNAEnabled_{false};
  // Main thread only.
  std::uint64_t checks_ = 0;
  bool checking_ = false;
  std::shared_ptr<platform::Timer> timeLimit_;
};
