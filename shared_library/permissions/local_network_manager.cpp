#include "shared_library/permissions/local_network_manager.h"

#include <string>

#include "platform/foundation/console.h"
#include "platform/foundation/queues.h"

using platform::NWBrowserState;

void LocalNetworkManager::requestAuthorizationWithCompletion(Completion completion) {
  // An earlier probe left running could answer this caller, or tear this probe down.
  stopManager();
  completion_ = std::move(completion);

  platform::NWParameters parameters;
  parameters.includePeerToPeer = true;
  browser_ = platform::NWBrowser::make(platform::NWBrowser::Descriptor::bonjour(kBrowsedServiceType), parameters);
  // The handler keeps the manager alive while its browser exists; stopManager() ends that.
  browser_->setStateUpdateHandler([self = shared_from_this(), sender = browser_.get()](const NWBrowserState& state) {
    self->browserStateChanged(sender, state);
  });

  netService_ = platform::NetService::make(kServiceDomain, kServiceType, kServiceName, kServicePort);
  netService_->setDelegate(shared_from_this());

  browser_->start(platform::DispatchQueue::main());
  netService_->publish();
}

void LocalNetworkManager::stopManager() {
  if (browser_) {
    browser_->cancel();
    browser_.reset();
  }
  if (netService_) {
    netService_->stop();
    netService_.reset();
  }
}

void LocalNetworkManager::browserStateChanged(const platform::NWBrowser* sender, const NWBrowserState& state) {
  if (sender != browser_.get()) return;  // from a probe that has ended
  switch (state.kind) {
    case NWBrowserState::Kind::failed:
      if (state.error) platform::console(state.error->localizedDescription());
      break;
    case NWBrowserState::Kind::waiting:
      if (!state.error) break;
      platform::console("Local network permission has been denied: " + state.error->description());
      stopManager();
      answer(false);
      break;
    case NWBrowserState::Kind::setup:
    case NWBrowserState::Kind::ready:
    case NWBrowserState::Kind::cancelled:
      break;
  }
}

void LocalNetworkManager::netServiceDidPublish(platform::NetService& sender) {
  if (&sender != netService_.get()) return;  // from a probe that has ended
  stopManager();
  platform::console("Local network permission has been granted");
  answer(true);
}

void LocalNetworkManager::answer(bool granted) {
  // The callback may make a new request, which replaces the stored one while it runs.
  auto completion = completion_;
  if (completion) completion(granted);
}
