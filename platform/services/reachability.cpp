#include "platform/services/reachability.h"

#include <algorithm>

#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/services/reachability_facility.h"

namespace platform {

Reachability::Reachability(std::shared_ptr<detail::ReachabilityFacility> facility) : facility_(std::move(facility)) {}

Reachability::~Reachability() = default;

std::shared_ptr<Reachability> Reachability::reachabilityForInternetConnection() {
  auto facility = detail::ReachabilityFacility::current();
  std::shared_ptr<Reachability> monitor(new Reachability(facility));
  facility->add(monitor);
  return monitor;
}

NetworkStatus Reachability::currentReachabilityStatus() const {
  switch (Process::current().device().profile().networkRoute) {
    case NetworkRoute::wifi: return NetworkStatus::reachableViaWiFi;
    case NetworkRoute::cellular: return NetworkStatus::reachableViaWWAN;
    case NetworkRoute::none: break;
  }
  return NetworkStatus::notReachable;
}

bool Reachability::startNotifier() {
  auto f = facility_.lock();
  if (!f) return false;
  f->setNotifying(*this, true);
  return true;
}

void Reachability::stopNotifier() {
  if (auto f = facility_.lock()) f->setNotifying(*this, false);
}

bool Reachability::isNotifying() const {
  auto f = facility_.lock();
  return f && f->isNotifying(*this);
}

namespace detail {

std::shared_ptr<ReachabilityFacility> ReachabilityFacility::current() {
  return Process::current().shared<ReachabilityFacility>([] { return std::make_shared<ReachabilityFacility>(); });
}

void ReachabilityFacility::add(const std::shared_ptr<Reachability>& monitor) {
  std::lock_guard lock(mutex_);
  std::erase_if(monitors_, [](const auto& m) { return m.expired(); });
  monitors_.push_back(monitor);
}

bool ReachabilityFacility::isNotifying(const Reachability& monitor) const {
  std::lock_guard lock(mutex_);
  return monitor.notifying_;
}

void ReachabilityFacility::setNotifying(Reachability& monitor, bool notifying) {
  std::lock_guard lock(mutex_);
  monitor.notifying_ = notifying;
}

void ReachabilityFacility::routeChanged() {
  std::vector<std::weak_ptr<Reachability>> monitors;
  {
    std::lock_guard lock(mutex_);
    for (const auto& weak : monitors_)
      if (auto m = weak.lock(); m && m->notifying_) monitors.push_back(weak);
  }
  for (auto& weak : monitors) {
    DispatchQueue::main().async([weak, self = weak_from_this()] {
      auto monitor = weak.lock();
      auto facility = self.lock();
      if (!monitor || !facility || !facility->isNotifying(*monitor)) return;
      NotificationCenter::defaultCenter().post(kReachabilityChangedNotification, monitor.get());
    });
  }
}

}  // namespace detail
}  // namespace platform
