#include "platform/testing/vpn_testing.h"

#include <cmath>
#include <deque>
#include <mutex>

#include "platform/foundation/console.h"

namespace platform::testing {

// What the facility answers in this process, and what it was asked.
class VPNScript final : public VPNFacilityObserver {
 public:
  VPNTimings timings() override {
    std::lock_guard lock(mutex_);
    return timings_;
  }
  std::optional<Error> loadAsked() override {
    std::lock_guard lock(mutex_);
    ++loads_;
    return takeFront(loadFailures_);
  }
  std::optional<Error> saveAsked(std::uint64_t save, const NEVPNSavedConfiguration& configuration,
                                 bool hasCompletion) override {
    std::lock_guard lock(mutex_);
    if (save != saves_.size()) fatalError("VPN script: saves recorded out of order");
    saves_.push_back(VPNSaveRecord{configuration.copy(), hasCompletion, std::nullopt});
    return takeFront(saveRefusals_);
  }
  void saveFailed(std::uint64_t save, const Error& error) override {
    std::lock_guard lock(mutex_);
    if (save < saves_.size()) saves_[save].error = error;
  }
  std::optional<Error> startAsked() override {
    std::lock_guard lock(mutex_);
    ++starts_;
    return takeFront(startRefusals_);
  }
  void stopAsked() override {
    std::lock_guard lock(mutex_);
    ++stops_;
  }

  mutable std::mutex mutex_;
  VPNTimings timings_;
  std::deque<Error> saveRefusals_, loadFailures_, startRefusals_;
  std::vector<VPNSaveRecord> saves_;
  int loads_ = 0, starts_ = 0, stops_ = 0;

 private:
  static std::optional<Error> takeFront(std::deque<Error>& q) {
    if (q.empty()) return std::nullopt;
    Error e = std::move(q.front());
    q.pop_front();
    return e;
  }
};

void installVPNScript(Process& process) {
  auto script = std::make_shared<VPNScript>();
  auto installed = process.shared<VPNFacilityObserver>([&] { return std::static_pointer_cast<VPNFacilityObserver>(script); });
  if (installed != script) fatalError("installVPNScript: the process's VPN facility is already in use");
}

namespace {
void queue(std::deque<Error>& q, const Error& error, int count) {
  for (int i = 0; i < count; ++i) q.push_back(error);
}
}  // namespace

VPNFacilityControl::VPNFacilityControl() {
  auto& process = Process::current();
  // the manager first, so the facility's posts carry its connection
  NEVPNManager::sharedManager();
  facility_ = detail::VPNFacility::current();
  script_ = std::dynamic_pointer_cast<VPNScript>(
      process.shared<VPNFacilityObserver>([] { return std::shared_ptr<VPNFacilityObserver>(); }));
  if (!script_) fatalError("no VPN script in this process: call installVPNScript at launch");
}

VPNFacilityControl vpnFacility() { return VPNFacilityControl(); }

Error VPNFacilityControl::permissionDenied() {
  return Error{NEVPNErrorDomain, static_cast<std::int64_t>(NEVPNError::configurationReadWriteFailed),
               "permission denied"};
}

void VPNFacilityControl::refuseNextSaves(Error error, int count) {
  std::lock_guard lock(script_->mutex_);
  queue(script_->saveRefusals_, error, count);
}

void VPNFacilityControl::failNextLoads(Error error, int count) {
  std::lock_guard lock(script_->mutex_);
  queue(script_->loadFailures_, error, count);
}

void VPNFacilityControl::refuseNextStarts(Error error, int count) {
  std::lock_guard lock(script_->mutex_);
  queue(script_->startRefusals_, error, count);
}

void VPNFacilityControl::setTimings(VPNTimings timings) {
  for (double s : {timings.save, timings.load, timings.connect, timings.disconnect})
    if (!std::isfinite(s) || s < 0) fatalError("VPN facility timings must be finite and not negative");
  std::lock_guard lock(script_->mutex_);
  script_->timings_ = timings;
}

VPNTimings VPNFacilityControl::timings() const { return script_->timings(); }

std::vector<VPNSaveRecord> VPNFacilityControl::saves() const {
  std::lock_guard lock(script_->mutex_);
  return script_->saves_;
}

int VPNFacilityControl::loadCount() const {
  std::lock_guard lock(script_->mutex_);
  return script_->loads_;
}

int VPNFacilityControl::startCount() const {
  std::lock_guard lock(script_->mutex_);
  return script_->starts_;
}

int VPNFacilityControl::stopCount() const {
  std::lock_guard lock(script_->mutex_);
  return script_->stops_;
}

std::optional<NEVPNSavedConfiguration> VPNFacilityControl::savedConfiguration() const {
  return facility_->savedConfiguration();
}

NEVPNStatus VPNFacilityControl::tunnelStatus() const { return facility_->tunnelStatus(); }

void VPNFacilityControl::installConfiguration(std::optional<NEVPNSavedConfiguration> configuration) {
  facility_->installConfiguration(std::move(configuration));
}

void VPNFacilityControl::setTunnelStatus(NEVPNStatus status) { facility_->setTunnelStatus(status); }

}  // namespace platform::testing
