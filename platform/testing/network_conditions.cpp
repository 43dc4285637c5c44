#include "platform/testing/network_conditions.h"

#include "platform/foundation/process.h"
#include "platform/services/local_network_facility.h"
#include "platform/services/reachability_facility.h"

namespace platform::testing {

LocalNetworkControl::LocalNetworkControl() : facility_(detail::LocalNetworkFacility::current()) {}

void LocalNetworkControl::setPolicy(LocalNetworkPolicy policy) { facility_->setPolicy(policy); }

LocalNetworkPolicy LocalNetworkControl::policy() const {
  return Process::current().device().profile().localNetworkPolicy;
}

bool LocalNetworkControl::alertShown() const { return Process::current().device().profile().localNetworkAlertShown; }

bool LocalNetworkControl::deliverState(NWBrowserState state) { return facility_->deliverToNewestBrowser(std::move(state)); }

bool LocalNetworkControl::deliverPublication(bool published) { return facility_->deliverToNewestService(published); }

std::vector<std::string> LocalNetworkControl::callLog() const { return facility_->callLog(); }

size_t LocalNetworkControl::runningBrowserCount() const { return facility_->runningBrowserCount(); }

size_t LocalNetworkControl::publishingServiceCount() const { return facility_->publishingServiceCount(); }

LocalNetworkControl localNetwork() { return LocalNetworkControl(); }

void setNetworkRoute(NetworkRoute route) {
  bool changed = false;
  Process::current().device().updateProfile([&](DeviceProfile& p) {
    changed = p.networkRoute != route;
    p.networkRoute = route;
  });
  if (changed) detail::ReachabilityFacility::current()->routeChanged();
}

}  // namespace platform::testing
