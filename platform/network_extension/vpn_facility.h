#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/foundation/error.h"
#include "platform/foundation/queues.h"
#include "platform/network_extension/vpn_manager.h"
#include "platform/network_extension/vpn_preferences.h"

namespace platform {

// How long the system takes, in seconds on the process's clock.
struct VPNTimings {
  double save = 0.1;        // from a save's call to its completion
  double load = 0.1;        // from a load's call to its completion
  double connect = 0.3;     // connecting -> connected, or back to disconnected
  double disconnect = 0.2;  // disconnecting -> disconnected
};

// Sees each call the application makes of the VPN facility and may answer it in the system's
// place, for whoever installs one (the test support does) in the process's shared slot before
// the facility is first used; the facility itself keeps none of it. Called from any thread,
// never with a completion running.
class VPNFacilityObserver {
 public:
  virtual ~VPNFacilityObserver() = default;
  virtual VPNTimings timings() = 0;
  // Each returns the error the call fails with instead of doing its work, or none.
  virtual std::optional<Error> loadAsked() = 0;
  // `save` numbers the saves of this process from 0, so that saveFailed can name one.
  virtual std::optional<Error> saveAsked(std::uint64_t save, const NEVPNSavedConfiguration& configuration,
                                         bool hasCompletion) = 0;
  virtual void saveFailed(std::uint64_t save, const Error& error) = 0;
  virtual std::optional<Error> startAsked() = 0;
  virtual void stopAsked() = 0;
};

namespace detail {

// The system's side of the process's VPN facility: the manager's properties, the device's saved
// configuration and tunnel, and the lane its completions and posts run on. One per process,
// shared by the manager and its connection. One mutex guards the state; no completion,
// notification or keychain call runs while it is held.
class VPNFacility : public std::enable_shared_from_this<VPNFacility> {
 public:
  using Completion = NEVPNManager::Completion;

  static std::shared_ptr<VPNFacility> current();
  VPNFacility(std::filesystem::path path, std::shared_ptr<VPNFacilityObserver> observer);

  void load(Completion completion);
  void save(Completion completion);
  bool start(Error* error);
  void stop();
  NEVPNStatus observedStatus() const;

  // The device's side, as the system or an earlier launch left it. Setting it records no call
  // and leaves the manager's properties alone; a status set here stays until a start or stop
  // moves it, and a pending step of the tunnel is dropped. With no configuration the tunnel is
  // disconnected; a status other than disconnected needs a configuration.
  std::optional<NEVPNSavedConfiguration> savedConfiguration() const;
  NEVPNStatus tunnelStatus() const;
  void installConfiguration(std::optional<NEVPNSavedConfiguration> configuration);
  // disconnected .. disconnecting; anything else is a programming error.
  void setTunnelStatus(NEVPNStatus status);

  void setConnection(const void* connection) { connection_ = connection; }

 private:
  friend class platform::NEVPNManager;  // reads and writes the properties under the mutex

  NEVPNStatus observedLocked() const {
    return synced_ && device_.configuration ? device_.tunnelStatus : NEVPNStatus::invalid;
  }
  // Changes the tunnel's status, drops any pending step, writes the device's side. Locked.
  void setTunnelLocked(NEVPNStatus status);
  void persistLocked();
  VPNTimings timings() const { return observer_ ? observer_->timings() : VPNTimings{}; }

  void postStatusChange();
  // Completions and posts run here: one at a time, in order, on a background worker.
  void enqueue(Task task);
  void drainLane();
  // `laneTask` joins the lane once `delay` has passed on the main run loop.
  void after(double delay, Task laneTask);
  void finishConnecting(std::uint64_t generation, const NEVPNSavedConfiguration& configuration);
  void finishDisconnecting(std::uint64_t generation);

  const std::filesystem::path path_;
  const std::shared_ptr<VPNFacilityObserver> observer_;  // none: the system's own answers
  const void* connection_ = nullptr;                      // the notifications' object
  bool unreadable_ = false;  // the file is there but could not be read: never written over

  mutable std::mutex mutex_;
  NEVPNSavedConfiguration properties_;  // the manager's; its protocol object is the application's
  bool synced_ = false;                 // loaded or saved in this process
  VPNPreferences device_;
  std::uint64_t stepGeneration_ = 0;
  std::uint64_t nextSave_ = 0;

  std::mutex laneMutex_;
  std::deque<Task> lane_;
  bool laneRunning_ = false;
};

}  // namespace detail
}  // namespace platform
