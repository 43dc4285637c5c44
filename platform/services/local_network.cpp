#include "platform/services/local_network.h"

#include <algorithm>
#include <utility>

#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/services/local_network_facility.h"

namespace platform {

namespace {

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string browserTag(const NWBrowser& b) { return "NWBrowser#" + std::to_string(b.identifier()); }
std::string serviceTag(const NetService& s) { return "NetService#" + std::to_string(s.identifier()); }

}  // namespace

std::string NWError::description() const { return std::to_string(code) + ": " + reason; }

std::string NWError::localizedDescription() const {
  return "The operation couldn't be completed. (Network.NWError error " + std::to_string(code) + " - " + reason + ")";
}

NWError NWError::policyDenied() { return NWError{Domain::dns, -65570, "PolicyDenied"}; }

NWBrowser::NWBrowser(Descriptor descriptor, NWParameters parameters, std::uint64_t id,
                     std::shared_ptr<detail::LocalNetworkFacility> facility)
    : descriptor_(std::move(descriptor)), parameters_(parameters), id_(id), facility_(std::move(facility)) {}

NWBrowser::~NWBrowser() = default;

std::shared_ptr<NWBrowser> NWBrowser::make(Descriptor descriptor, NWParameters parameters) {
  auto facility = detail::LocalNetworkFacility::current();
  std::shared_ptr<NWBrowser> b(new NWBrowser(std::move(descriptor), parameters, facility->nextIdentifier(), facility));
  facility->add(b);
  facility->log(browserTag(*b) + " bonjour type " + quoted(b->descriptor_.type) + " domain " +
                (b->descriptor_.domain ? quoted(*b->descriptor_.domain) : "none") + " includePeerToPeer " +
                (parameters.includePeerToPeer ? "true" : "false"));
  return b;
}

void NWBrowser::setStateUpdateHandler(StateUpdateHandler handler) {
  if (auto f = facility_.lock()) f->setHandler(*this, std::move(handler));
}

void NWBrowser::start(RunLoop& queue) {
  if (auto f = facility_.lock()) f->start(shared_from_this(), queue);
}

void NWBrowser::cancel() {
  if (auto f = facility_.lock()) f->cancel(*this);
}

NetService::NetService(std::string domain, std::string type, std::string name, int port, std::uint64_t id,
                       std::shared_ptr<detail::LocalNetworkFacility> facility)
    : domain_(std::move(domain)),
      type_(std::move(type)),
      name_(std::move(name)),
      port_(port),
      id_(id),
      facility_(std::move(facility)) {}

NetService::~NetService() = default;

std::shared_ptr<NetService> NetService::make(std::string domain, std::string type, std::string name, int port) {
  auto facility = detail::LocalNetworkFacility::current();
  std::shared_ptr<NetService> s(new NetService(std::move(domain), std::move(type), std::move(name), port,
                                               facility->nextIdentifier(), facility));
  facility->log(serviceTag(*s) + " domain " + quoted(s->domain_) + " type " + quoted(s->type_) + " name " +
                quoted(s->name_) + " port " + std::to_string(port));
  return s;
}

std::shared_ptr<NetServiceDelegate> NetService::delegate() const {
  auto f = facility_.lock();
  return f ? f->delegate(*this) : nullptr;
}

void NetService::setDelegate(const std::shared_ptr<NetServiceDelegate>& delegate) {
  if (auto f = facility_.lock()) f->setDelegate(*this, delegate);
}

void NetService::publish() {
  if (auto f = facility_.lock()) f->publish(shared_from_this());
}

void NetService::stop() {
  if (auto f = facility_.lock()) f->stop(*this);
}

namespace detail {

std::shared_ptr<LocalNetworkFacility> LocalNetworkFacility::current() {
  return Process::current().shared<LocalNetworkFacility>([] { return std::make_shared<LocalNetworkFacility>(); });
}

LocalNetworkFacility::~LocalNetworkFacility() {
  // A handler may hold what holds its browser; dropping it breaks that cycle.
  std::vector<std::shared_ptr<const NWBrowser::StateUpdateHandler>> handlers;
  for (const auto& weak : browsers_)
    if (auto b = weak.lock()) handlers.push_back(std::move(b->handler_));
  running_.clear();
  publishing_.clear();
}

void LocalNetworkFacility::add(const std::shared_ptr<NWBrowser>& browser) {
  std::lock_guard lock(mutex_);
  std::erase_if(browsers_, [](const auto& b) { return b.expired(); });
  browsers_.push_back(browser);
}

std::uint64_t LocalNetworkFacility::nextIdentifier() {
  std::lock_guard lock(mutex_);
  return ++nextId_;
}

void LocalNetworkFacility::log(std::string entry) {
  std::lock_guard lock(mutex_);
  log_.push_back(std::move(entry));
}

std::vector<std::string> LocalNetworkFacility::callLog() const {
  std::lock_guard lock(mutex_);
  return log_;
}

LocalNetworkPolicy LocalNetworkFacility::raiseAlert() {
  LocalNetworkPolicy policy{};
  Process::current().device().updateProfile([&](DeviceProfile& p) {
    p.localNetworkAlertShown = true;
    policy = p.localNetworkPolicy;
  });
  return policy;
}

void LocalNetworkFacility::setHandler(NWBrowser& browser, NWBrowser::StateUpdateHandler handler) {
  std::lock_guard lock(mutex_);
  browser.handler_ = handler ? std::make_shared<const NWBrowser::StateUpdateHandler>(std::move(handler)) : nullptr;
  log_.push_back(browserTag(browser) + " stateUpdateHandler");
}

void LocalNetworkFacility::start(const std::shared_ptr<NWBrowser>& browser, RunLoop& queue) {
  LocalNetworkPolicy policy;
  {
    std::lock_guard lock(mutex_);
    if (browser->started_ || browser->cancelled_) return;
    browser->started_ = true;
    browser->queue_ = &queue;
    running_.push_back(browser);
    log_.push_back(browserTag(*browser) + " start on " +
                   (&queue == &Process::current().mainLoop() ? "the main queue" : "another queue"));
    policy = raiseAlert();
  }
  switch (policy) {
    case LocalNetworkPolicy::granted: deliver(browser, NWBrowserState{NWBrowserState::Kind::ready, {}}); break;
    case LocalNetworkPolicy::denied: deliver(browser, NWBrowserState::waiting(NWError::policyDenied())); break;
    case LocalNetworkPolicy::undetermined: break;  // the alert waits for the user
  }
}

void LocalNetworkFacility::cancel(NWBrowser& browser) {
  std::lock_guard lock(mutex_);
  log_.push_back(browserTag(browser) + " cancel");
  browser.cancelled_ = true;
  std::erase_if(running_, [&](const auto& b) { return b.get() == &browser; });
}

std::shared_ptr<NetServiceDelegate> LocalNetworkFacility::delegate(const NetService& service) const {
  std::lock_guard lock(mutex_);
  return service.delegate_.lock();
}

void LocalNetworkFacility::setDelegate(NetService& service, const std::shared_ptr<NetServiceDelegate>& delegate) {
  std::lock_guard lock(mutex_);
  service.delegate_ = delegate;
  log_.push_back(serviceTag(service) + " delegate");
}

void LocalNetworkFacility::publish(const std::shared_ptr<NetService>& service) {
  std::uint64_t publication = 0;
  LocalNetworkPolicy policy;
  {
    std::lock_guard lock(mutex_);
    log_.push_back(serviceTag(*service) + " publish");
    if (service->publication_ != 0) return;  // already under way
    service->publication_ = ++nextPublication_;
    publication = service->publication_;
    publishing_.push_back(service);
    policy = raiseAlert();
    service->awaitingAnswer_ = policy == LocalNetworkPolicy::undetermined;
  }
  if (policy != LocalNetworkPolicy::undetermined) deliver(service, publication, policy == LocalNetworkPolicy::granted);
}

void LocalNetworkFacility::stop(NetService& service) {
  std::lock_guard lock(mutex_);
  log_.push_back(serviceTag(service) + " stop");
  service.publication_ = 0;
  service.awaitingAnswer_ = false;
  std::erase_if(publishing_, [&](const auto& s) { return s.get() == &service; });
}

void LocalNetworkFacility::deliver(const std::shared_ptr<NWBrowser>& browser, NWBrowserState state) {
  RunLoop* queue = nullptr;
  {
    std::lock_guard lock(mutex_);
    queue = browser->queue_;
  }
  if (!queue) return;
  // The task holds the browser, and the call holds its handler, for the whole of the callback.
  queue->async([browser, state = std::move(state)] {
    auto facility = browser->facility_.lock();
    if (!facility) return;
    std::shared_ptr<const NWBrowser::StateUpdateHandler> handler;
    {
      std::lock_guard lock(facility->mutex_);
      if (browser->cancelled_) return;
      handler = browser->handler_;
    }
    if (handler && *handler) (*handler)(state);
  });
}

void LocalNetworkFacility::deliver(const std::shared_ptr<NetService>& service, std::uint64_t publication,
                                   bool published) {
  DispatchQueue::main().async([service, publication, published] {
    auto facility = service->facility_.lock();
    if (!facility) return;
    std::shared_ptr<NetServiceDelegate> delegate;
    {
      std::lock_guard lock(facility->mutex_);
      if (service->publication_ != publication) return;  // stopped since
      delegate = service->delegate_.lock();
      if (!published) {
        service->publication_ = 0;
        std::erase_if(facility->publishing_, [&](const auto& s) { return s == service; });
      }
    }
    if (!delegate) return;
    if (published) {
      delegate->netServiceDidPublish(*service);
    } else {
      delegate->netServiceDidNotPublish(
          *service, {{NSNetServicesErrorCode, NSNetServicesNotFoundError}, {NSNetServicesErrorDomain, 10}});
    }
  });
}

void LocalNetworkFacility::setPolicy(LocalNetworkPolicy policy) {
  // Running browses report the new choice; publications that waited for it get their answer.
  std::vector<std::shared_ptr<NWBrowser>> browsers;
  std::vector<std::pair<std::shared_ptr<NetService>, std::uint64_t>> services;
  {
    std::lock_guard lock(mutex_);
    bool changed = false;
    Process::current().device().updateProfile([&](DeviceProfile& p) {
      changed = p.localNetworkPolicy != policy;
      p.localNetworkPolicy = policy;
    });
    if (!changed || policy == LocalNetworkPolicy::undetermined) return;
    browsers = running_;
    for (const auto& s : publishing_) {
      if (!s->awaitingAnswer_) continue;
      s->awaitingAnswer_ = false;
      services.emplace_back(s, s->publication_);
    }
  }
  const bool granted = policy == LocalNetworkPolicy::granted;
  for (const auto& b : browsers)
    deliver(b, granted ? NWBrowserState{NWBrowserState::Kind::ready, {}} : NWBrowserState::waiting(NWError::policyDenied()));
  for (const auto& [s, publication] : services) deliver(s, publication, granted);
}

bool LocalNetworkFacility::deliverToNewestBrowser(NWBrowserState state) {
  std::shared_ptr<NWBrowser> newest;
  {
    std::lock_guard lock(mutex_);
    if (running_.empty()) return false;
    newest = running_.back();
  }
  deliver(newest, std::move(state));
  return true;
}

bool LocalNetworkFacility::deliverToNewestService(bool published) {
  std::shared_ptr<NetService> newest;
  std::uint64_t publication = 0;
  {
    std::lock_guard lock(mutex_);
    if (publishing_.empty()) return false;
    newest = publishing_.back();
    newest->awaitingAnswer_ = false;
    publication = newest->publication_;
  }
  deliver(newest, publication, published);
  return true;
}

size_t LocalNetworkFacility::runningBrowserCount() const {
  std::lock_guard lock(mutex_);
  return running_.size();
}

size_t LocalNetworkFacility::publishingServiceCount() const {
  std::lock_guard lock(mutex_);
  return publishing_.size();
}

}  // namespace detail
}  // namespace platform
