#pragma once

#include <functional>
#include <memory>

#include "platform/services/local_network.h"

// Finds out whether the user lets the application use the local network. There is no query for
// it: the system asks the user the first time an application browses or publishes on the local
// network, and later lets such traffic through or holds it back. So a request does both at once:
// a publication that comes through means granted, a browse held back by policy means denied.
// Main thread only; the answer comes later, on the main thread, at most once per request.
class LocalNetworkManager : public platform::NetServiceDelegate,
                            public std::enable_shared_from_this<LocalNetworkManager> {
 public:
  using Completion = std::function<void(bool granted)>;

  static constexpr const char* kBrowsedServiceType = "_bonjour._tcp";
  static constexpr const char* kServiceDomain = "local.";
  static constexpr const char* kServiceType = "_lnp._tcp.";
  static constexpr const char* kServiceName = "LocalNetworkPrivacy";
  static constexpr int kServicePort = 1100;

  LocalNetworkManager() = default;

  const std::shared_ptr<platform::NWBrowser>& browser() const { return browser_; }
  const std::shared_ptr<platform::NetService>& netService() const { return netService_; }
  // Kept after it has been called; only the next request replaces it.
  const Completion& completion() const { return completion_; }

  // Ends an earlier request that is still running (its caller gets no answer), then browses and
  // publishes. Needs the manager to be owned by a shared pointer.
  void requestAuthorizationWithCompletion(Completion completion);
  // Cancels the browser and stops the service, if any; the completion stays.
  void stopManager();

  void netServiceDidPublish(platform::NetService& sender) override;

 private:
  void browserStateChanged(const platform::NWBrowser* sender, const platform::NWBrowserState& state);
  void answer(bool granted);

  std::shared_ptr<platform::NWBrowser> browser_;
  std::shared_ptr<platform::NetService> netService_;
  Completion completion_;
};
