#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/network_extension/vpn_manager.h"

namespace platform::testing {

struct VPNSaveRecord {
  NEVPNSavedConfiguration configuration;  // the manager's properties at the call
  bool hadCompletion = false;
  std::optional<Error> error;  // set once the save has failed
};

// Seconds on the process's clock.
struct VPNTimings {
  double save = 0.1;        // from a save's call to its completion
  double load = 0.1;        // from a load's call to its completion
  double connect = 0.3;     // connecting -> connected, or back to disconnected
  double disconnect = 0.2;  // disconnecting -> disconnected
};

// The test side of the current process's VPN facility: what it answers, how long it takes, what
// the application asked of it, and the device's side of it. Scripts and records last as long as
// the process; the device's side is written through to its VPN preferences. Safe from any thread;
// a control must not outlive its process.
class VPNFacilityControl {
 public:
  explicit VPNFacilityControl(const NEVPNManager& manager);

  // The refusal of a save the user did not allow.
  static Error permissionDenied();

  // Each of the next `count` saves, loads or starts fails with `error` instead of doing its work.
  void refuseNextSaves(Error error, int count = 1);
  void failNextLoads(Error error, int count = 1);
  void refuseNextStarts(Error error, int count = 1);

  // Applies to what is asked from now on. Each value finite and not negative.
  void setTimings(VPNTimings timings);
  VPNTimings timings() const;

  std::vector<VPNSaveRecord> saves() const;
  int loadCount() const;
  int startCount() const;
  int stopCount() const;

  // The device's side, and setting it as an earlier launch or the system left it (no save or
  // load is recorded, and what the manager holds is untouched). A status set here stays until
  // a start or stop moves it; a pending step of the tunnel is dropped. With no configuration the
  // tunnel is disconnected.
  std::optional<NEVPNSavedConfiguration> savedConfiguration() const;
  NEVPNStatus tunnelStatus() const;
  void installConfiguration(std::optional<NEVPNSavedConfiguration> configuration);
  // disconnected .. disconnecting; invalid is not a state of the tunnel (a programming error).
  void setTunnelStatus(NEVPNStatus status);

 private:
  std::shared_ptr<detail::VPNFacility> facility_;
};

// The control of the current process's shared manager.
VPNFacilityControl vpnFacility();

}  // namespace platform::testing
