#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/device.h"
#include "platform/services/local_network.h"

namespace platform::detail {

// The process's side of the local network: the browsers and services the system keeps running,
// the order of what the application asked, and the device's local-network policy. Browsers and
// services reach it weakly, so it goes with the process and takes what still runs with it.
class LocalNetworkFacility {
 public:
  static std::shared_ptr<LocalNetworkFacility> current();
  LocalNetworkFacility() = default;
  // The process is over: no handler of its browsers can run again, so none is kept.
  ~LocalNetworkFacility();
  LocalNetworkFacility(const LocalNetworkFacility&) = delete;
  LocalNetworkFacility& operator=(const LocalNetworkFacility&) = delete;

  void add(const std::shared_ptr<NWBrowser>& browser);

  std::uint64_t nextIdentifier();
  void log(std::string entry);
  std::vector<std::string> callLog() const;

  void setHandler(NWBrowser& browser, NWBrowser::StateUpdateHandler handler);
  void start(const std::shared_ptr<NWBrowser>& browser, RunLoop& queue);
  void cancel(NWBrowser& browser);

  std::shared_ptr<NetServiceDelegate> delegate(const NetService& service) const;
  void setDelegate(NetService& service, const std::shared_ptr<NetServiceDelegate>& delegate);
  void publish(const std::shared_ptr<NetService>& service);
  void stop(NetService& service);

  // The test side.
  void setPolicy(LocalNetworkPolicy policy);
  bool deliverToNewestBrowser(NWBrowserState state);
  bool deliverToNewestService(bool published);
  size_t runningBrowserCount() const;
  size_t publishingServiceCount() const;

 private:
  void deliver(const std::shared_ptr<NWBrowser>& browser, NWBrowserState state);
  void deliver(const std::shared_ptr<NetService>& service, std::uint64_t publication, bool published);
  // Marks the system's alert as shown (the first browse or publication raises it); gives the
  // user's choice as it stands.
  static LocalNetworkPolicy raiseAlert();

  mutable std::mutex mutex_;
  std::uint64_t nextId_ = 0;
  std::uint64_t nextPublication_ = 0;
  std::vector<std::string> log_;
  std::vector<std::weak_ptr<NWBrowser>> browsers_;        // every one made
  std::vector<std::shared_ptr<NWBrowser>> running_;      // started and not cancelled
  std::vector<std::shared_ptr<NetService>> publishing_;  // asked to publish and not stopped
};

}  // namespace platform::detail
