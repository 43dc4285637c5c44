#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/device.h"
#include "platform/services/local_network.h"

namespace platform::detail {
class LocalNetworkFacility;
}

namespace platform::testing {

// The test side of the current process's local network: the user's choice, the browser states
// and publication results to deliver, and what the application asked, in order. A control must
// not outlive its process.
class LocalNetworkControl {
 public:
  LocalNetworkControl();

  // The user answers the alert, or changes the choice in Settings: running browsers report it,
  // publications that waited get their answer. Back to undetermined delivers nothing.
  void setPolicy(LocalNetworkPolicy policy);
  LocalNetworkPolicy policy() const;
  bool alertShown() const;

  // To the newest running browser, or the newest service being published; false when there is
  // none.
  bool deliverState(NWBrowserState state);
  bool deliverPublication(bool published);

  // "NWBrowser#1 start on the main queue", "NetService#2 publish", ...
  std::vector<std::string> callLog() const;
  size_t runningBrowserCount() const;
  size_t publishingServiceCount() const;

 private:
  std::shared_ptr<detail::LocalNetworkFacility> facility_;
};

LocalNetworkControl localNetwork();

// Changes the device's route; running reachability notifiers post their change notification.
void setNetworkRoute(NetworkRoute route);

}  // namespace platform::testing
