#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/process.h"
#include "platform/network_extension/vpn_facility.h"
#include "platform/network_extension/vpn_manager.h"

namespace platform::testing {

struct VPNSaveRecord {
  NEVPNSavedConfiguration configuration;  // the manager's properties at the call
  bool hadCompletion = false;
  std::optional<Error> error;  // set once the save has failed
};

using platform::VPNTimings;

class VPNScript;

// The test side of the current process's VPN facility: what it answers, how long it takes, what
// the application asked of it, and the device's side of it. Scripts and records last as long as
// the process and need its script (installVPNScript); the device's side is written through to
// its VPN preferences. Safe from any thread; a control must not outlive its process.
class VPNFacilityControl {
 public:
  VPNFacilityControl();

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
  std::shared_ptr<VPNScript> script_;
  std::shared_ptr<detail::VPNFacility> facility_;
};

// The control of the current process's facility.
VPNFacilityControl vpnFacility();

// Puts a script in place of the system's own answers, recording every call from now on; before
// the process first uses its VPN facility (the sandbox does it at launch).
void installVPNScript(Process& process);

}  // namespace platform::testing
