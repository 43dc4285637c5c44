#include "platform/network_extension/vpn_manager.h"

#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/foundation/console.h"
#include "platform/foundation/files.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/foundation/weak_callback.h"
#include "platform/network_extension/vpn_preferences.h"
#include "platform/network_extension/vpn_testing.h"
#include "platform/security/keychain.h"

namespace platform {

NEVPNSavedConfiguration NEVPNSavedConfiguration::copy() const {
  NEVPNSavedConfiguration c = *this;
  if (protocolConfiguration) c.protocolConfiguration = protocolConfiguration->copy();
  return c;
}

namespace detail {
namespace {

using testing::VPNSaveRecord;
using testing::VPNTimings;

bool isActive(NEVPNStatus s) {
  return s == NEVPNStatus::connecting || s == NEVPNStatus::connected || s == NEVPNStatus::reasserting;
}

Error vpnError(NEVPNError code, std::string description) {
  return Error{NEVPNErrorDomain, static_cast<std::int64_t>(code), std::move(description)};
}

bool resolves(const std::optional<Bytes>& reference) {
  return reference && SecItemResolvePersistentRef(*reference).has_value();
}

// Why the simulated tunnel cannot come up with this configuration, or none when it can.
std::optional<std::string> whyCannotWork(const NEVPNSavedConfiguration& c) {
  if (!c.protocolConfiguration) return "there is no protocol configuration";
  auto* p = dynamic_cast<const NEVPNProtocolIKEv2*>(c.protocolConfiguration.get());
  if (!p) return "the protocol configuration is not IKEv2";
  if (!p->serverAddress || p->serverAddress->empty()) return "the configuration has no server address";
  if (p->authenticationMethod == NEVPNIKEAuthenticationMethod::sharedSecret && !resolves(p->sharedSecretReference))
    return "the shared-secret reference names no keychain item";
  if (p->passwordReference && !resolves(p->passwordReference)) return "the password reference names no keychain item";
  return std::nullopt;
}

void reportCannotWork(const std::string& why) { console("VPN tunnel could not connect: " + why + "; disconnected"); }

// Holds a completion back until the call that scheduled it has returned, whatever thread made
// the call.
class CallGate {
 public:
  void open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    cv_.notify_all();
  }
  void wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

template <class T>
std::optional<T> takeFront(std::deque<T>& q) {
  if (q.empty()) return std::nullopt;
  T v = std::move(q.front());
  q.pop_front();
  return v;
}

}  // namespace

// Everything behind one manager and its connection: the manager's properties, the device's side
// (saved configuration and tunnel), the test script and records. One mutex guards it all; no
// completion, notification or keychain call runs while it is held.
class VPNFacility : public std::enable_shared_from_this<VPNFacility> {
 public:
  using Completion = NEVPNManager::Completion;

  explicit VPNFacility(std::filesystem::path path);

  NEVPNStatus observedLocked() const {
    return synced_ && device_.configuration ? device_.tunnelStatus : NEVPNStatus::invalid;
  }

  void load(Completion completion);
  void save(Completion completion);
  bool start(Error* error);
  void stop();

  // Changes the tunnel's status, drops any pending step, writes the device's side. Locked.
  void setTunnelLocked(NEVPNStatus status) {
    device_.tunnelStatus = status;
    ++stepGeneration_;
    persistLocked();
  }
  void persistLocked();
  void postStatusChange();

  const std::filesystem::path path_;
  const void* connection_ = nullptr;  // the notifications' object

  mutable std::mutex mutex_;
  NEVPNSavedConfiguration properties_;  // the manager's; its protocol object is the application's
  bool synced_ = false;                 // loaded or saved in this process
  VPNPreferences device_;
  std::uint64_t stepGeneration_ = 0;

  VPNTimings timings_;
  std::deque<Error> saveRefusals_, loadFailures_, startRefusals_;
  std::vector<VPNSaveRecord> saves_;
  int loads_ = 0, starts_ = 0, stops_ = 0;

 private:
  // Completions and posts run here: one at a time, in order, on a background worker.
  void enqueue(Task task);
  void drainLane();
  // `laneTask` joins the lane once `delay` has passed on the main run loop.
  void after(double delay, Task laneTask);
  void finishConnecting(std::uint64_t generation, const NEVPNSavedConfiguration& configuration);
  void finishDisconnecting(std::uint64_t generation);

  std::mutex laneMutex_;
  std::deque<Task> lane_;
  bool laneRunning_ = false;
};

VPNFacility::VPNFacility(std::filesystem::path path) : path_(std::move(path)) {
  std::error_code ec;
  // anything there but a missing file is something the device kept, readable or not
  if (std::filesystem::symlink_status(path_, ec).type() != std::filesystem::file_type::not_found) {
    std::string why;
    std::optional<VPNPreferences> read;
    // far above what a save writes; a larger file is damage, not something to parse for minutes
    constexpr std::uintmax_t kMaximumFileBytes = 1 << 20;
    if (auto bytes = readFile(path_, {.maximumBytes = kMaximumFileBytes}, &why)) read = decodeVPNPreferences(*bytes, &why);
    if (read) {
      device_ = std::move(*read);
    } else {
      console("VPN preferences: " + path_.string() + " is damaged (" + why + "); nothing is saved");
    }
  }
  // The tunnel went on while no process ran: a step the last process left pending has finished.
  NEVPNStatus settled = device_.tunnelStatus;
  if (!device_.configuration) {
    settled = NEVPNStatus::disconnected;
  } else if (device_.tunnelStatus == NEVPNStatus::connecting || device_.tunnelStatus == NEVPNStatus::reasserting) {
    auto why = whyCannotWork(*device_.configuration);
    if (why) reportCannotWork(*why);
    settled = why ? NEVPNStatus::disconnected : NEVPNStatus::connected;
  } else if (device_.tunnelStatus == NEVPNStatus::disconnecting) {
    settled = NEVPNStatus::disconnected;
  }
  if (settled != device_.tunnelStatus) {
    device_.tunnelStatus = settled;
    persistLocked();
  }
}

void VPNFacility::persistLocked() {
  std::string why;
  auto text = encodeVPNPreferences(device_, &why);
  if (!text || !writeFileAtomically(path_, *text, &why))
    console("VPN preferences: cannot write " + path_.string() + ": " + why);
}

void VPNFacility::enqueue(Task task) {
  bool startDrain = false;
  {
    std::lock_guard lock(laneMutex_);
    lane_.push_back(std::move(task));
    if (!laneRunning_) laneRunning_ = startDrain = true;
  }
  if (startDrain) Process::current().background().async([self = shared_from_this()] { self->drainLane(); });
}

void VPNFacility::drainLane() {
  for (;;) {
    Task task;
    {
      std::lock_guard lock(laneMutex_);
      if (lane_.empty()) {
        laneRunning_ = false;
        return;
      }
      task = std::move(lane_.front());
      lane_.pop_front();
    }
    // an escaping exception must not leave the lane marked as running
    runReportingEscapes(task, "in a VPN completion");
  }
}

void VPNFacility::after(double delay, Task laneTask) {
  Process::current().mainLoop().asyncAfter(
      delay, whileAlive(weak_from_this(), [laneTask = std::move(laneTask)](VPNFacility& self) mutable {
        self.enqueue(std::move(laneTask));
      }));
}

void VPNFacility::postStatusChange() {
  enqueue([self = shared_from_this()] {
    NotificationCenter::defaultCenter().post(NEVPNStatusDidChangeNotification, self->connection_);
  });
}

void VPNFacility::load(Completion completion) {
  auto gate = std::make_shared<CallGate>();
  std::optional<Error> failure;
  double delay;
  {
    std::lock_guard lock(mutex_);
    ++loads_;
    failure = takeFront(loadFailures_);
    delay = timings_.load;
  }
  after(delay, [self = shared_from_this(), gate, failure, completion = std::move(completion)] {
    gate->wait();
    if (!failure) {
      bool changed;
      {
        std::lock_guard lock(self->mutex_);
        const auto before = self->observedLocked();
        self->properties_ = self->device_.configuration ? self->device_.configuration->copy() : NEVPNSavedConfiguration{};
        self->synced_ = true;
        changed = self->observedLocked() != before;
      }
      if (changed) self->postStatusChange();
    }
    if (completion) completion(failure);
  });
  gate->open();
}

void VPNFacility::save(Completion completion) {
  auto gate = std::make_shared<CallGate>();
  NEVPNSavedConfiguration snapshot;
  std::optional<Error> refusal;
  size_t record;
  double delay;
  {
    std::lock_guard lock(mutex_);
    snapshot = properties_.copy();
    refusal = takeFront(saveRefusals_);
    saves_.push_back(VPNSaveRecord{snapshot.copy(), completion != nullptr, std::nullopt});
    record = saves_.size() - 1;
    delay = timings_.save;
  }
  after(delay, [self = shared_from_this(), gate, snapshot = std::move(snapshot), refusal, record,
                completion = std::move(completion)] {
    gate->wait();
    std::optional<Error> error = refusal;
    bool changed = false;
    {
      std::lock_guard lock(self->mutex_);
      if (!error) {
        VPNPreferences next = self->device_;
        next.configuration = snapshot;
        std::string why;
        auto text = encodeVPNPreferences(next, &why);
        if (!text) {
          error = vpnError(NEVPNError::configurationInvalid, "the VPN configuration cannot be saved: " + why);
        } else if (!writeFileAtomically(self->path_, *text, &why)) {
          error = vpnError(NEVPNError::configurationReadWriteFailed, "the VPN preferences cannot be written: " + why);
        } else {
          const auto before = self->observedLocked();
          self->device_ = std::move(next);
          self->synced_ = true;
          changed = self->observedLocked() != before;
        }
      }
      if (error) self->saves_[record].error = error;
    }
    if (changed) self->postStatusChange();
    if (completion) completion(error);
  });
  gate->open();
}

bool VPNFacility::start(Error* error) {
  std::optional<Error> refusal;
  NEVPNSavedConfiguration configuration;
  std::uint64_t generation = 0;
  double delay = 0;
  {
    std::lock_guard lock(mutex_);
    ++starts_;
    refusal = takeFront(startRefusals_);
    if (!refusal) {
      if (!synced_) {
        refusal = vpnError(NEVPNError::configurationInvalid, "the VPN configuration has not been loaded");
      } else if (isActive(device_.tunnelStatus)) {
        return true;
      } else if (!device_.configuration) {
        refusal = vpnError(NEVPNError::configurationInvalid, "no VPN configuration is saved");
      } else if (!device_.configuration->enabled) {
        refusal = vpnError(NEVPNError::configurationDisabled, "the VPN configuration is disabled");
      }
    }
    if (!refusal) {
      configuration = device_.configuration->copy();
      setTunnelLocked(NEVPNStatus::connecting);
      generation = stepGeneration_;
      delay = timings_.connect;
    }
  }
  if (refusal) {
    if (error) *error = *refusal;
    return false;
  }
  postStatusChange();
  Process::current().mainLoop().asyncAfter(
      delay, whileAlive(weak_from_this(), [generation, configuration = std::move(configuration)](VPNFacility& self) {
        self.finishConnecting(generation, configuration);
      }));
  return true;
}

void VPNFacility::finishConnecting(std::uint64_t generation, const NEVPNSavedConfiguration& configuration) {
  const auto why = whyCannotWork(configuration);  // outside the lock: it reads the keychain
  {
    std::lock_guard lock(mutex_);
    if (generation != stepGeneration_) return;  // stopped or moved on meanwhile
    setTunnelLocked(why ? NEVPNStatus::disconnected : NEVPNStatus::connected);
  }
  if (why) reportCannotWork(*why);
  postStatusChange();
}

void VPNFacility::stop() {
  std::uint64_t generation;
  double delay;
  {
    std::lock_guard lock(mutex_);
    ++stops_;
    if (!isActive(device_.tunnelStatus)) return;
    setTunnelLocked(NEVPNStatus::disconnecting);
    generation = stepGeneration_;
    delay = timings_.disconnect;
  }
  postStatusChange();
  Process::current().mainLoop().asyncAfter(
      delay, whileAlive(weak_from_this(), [generation](VPNFacility& self) { self.finishDisconnecting(generation); }));
}

void VPNFacility::finishDisconnecting(std::uint64_t generation) {
  {
    std::lock_guard lock(mutex_);
    if (generation != stepGeneration_) return;
    setTunnelLocked(NEVPNStatus::disconnected);
  }
  postStatusChange();
}

}  // namespace detail

NEVPNStatus NEVPNConnection::status() const {
  std::lock_guard lock(facility_->mutex_);
  return facility_->observedLocked();
}

bool NEVPNConnection::startVPNTunnelAndReturnError(Error* error) { return facility_->start(error); }

void NEVPNConnection::stopVPNTunnel() { facility_->stop(); }

NEVPNManager::NEVPNManager()
    : facility_(std::make_shared<detail::VPNFacility>(Process::current().device().vpnPreferencesPath())),
      connection_(std::make_shared<NEVPNConnection>(facility_)) {
  facility_->connection_ = connection_.get();
}

std::shared_ptr<NEVPNManager> NEVPNManager::sharedManager() {
  return Process::current().shared<NEVPNManager>([] { return std::make_shared<NEVPNManager>(); });
}

void NEVPNManager::loadFromPreferences(Completion completion) { facility_->load(std::move(completion)); }

void NEVPNManager::saveToPreferences(Completion completion) { facility_->save(std::move(completion)); }

std::shared_ptr<NEVPNProtocol> NEVPNManager::protocolConfiguration() const {
  std::lock_guard lock(facility_->mutex_);
  return facility_->properties_.protocolConfiguration;
}

void NEVPNManager::setProtocolConfiguration(std::shared_ptr<NEVPNProtocol> configuration) {
  std::shared_ptr<NEVPNProtocol> old;  // released outside the lock
  std::lock_guard lock(facility_->mutex_);
  old = std::exchange(facility_->properties_.protocolConfiguration, std::move(configuration));
}

std::optional<std::string> NEVPNManager::localizedDescription() const {
  std::lock_guard lock(facility_->mutex_);
  return facility_->properties_.localizedDescription;
}

void NEVPNManager::setLocalizedDescription(std::optional<std::string> description) {
  std::lock_guard lock(facility_->mutex_);
  facility_->properties_.localizedDescription = std::move(description);
}

bool NEVPNManager::enabled() const {
  std::lock_guard lock(facility_->mutex_);
  return facility_->properties_.enabled;
}

void NEVPNManager::setEnabled(bool enabled) {
  std::lock_guard lock(facility_->mutex_);
  facility_->properties_.enabled = enabled;
}

bool NEVPNManager::onDemandEnabled() const {
  std::lock_guard lock(facility_->mutex_);
  return facility_->properties_.onDemandEnabled;
}

void NEVPNManager::setOnDemandEnabled(bool enabled) {
  std::lock_guard lock(facility_->mutex_);
  facility_->properties_.onDemandEnabled = enabled;
}

namespace testing {

VPNFacilityControl::VPNFacilityControl(const NEVPNManager& manager) : facility_(manager.facility_) {}

VPNFacilityControl vpnFacility() { return VPNFacilityControl(*NEVPNManager::sharedManager()); }

Error VPNFacilityControl::permissionDenied() {
  return detail::vpnError(NEVPNError::configurationReadWriteFailed, "permission denied");
}

namespace {
void queue(std::deque<Error>& q, const Error& error, int count) {
  for (int i = 0; i < count; ++i) q.push_back(error);
}
}  // namespace

void VPNFacilityControl::refuseNextSaves(Error error, int count) {
  std::lock_guard lock(facility_->mutex_);
  queue(facility_->saveRefusals_, error, count);
}

void VPNFacilityControl::failNextLoads(Error error, int count) {
  std::lock_guard lock(facility_->mutex_);
  queue(facility_->loadFailures_, error, count);
}

void VPNFacilityControl::refuseNextStarts(Error error, int count) {
  std::lock_guard lock(facility_->mutex_);
  queue(facility_->startRefusals_, error, count);
}

void VPNFacilityControl::setTimings(VPNTimings timings) {
  for (double s : {timings.save, timings.load, timings.connect, timings.disconnect})
    if (!std::isfinite(s) || s < 0) fatalError("VPN facility timings must be finite and not negative");
  std::lock_guard lock(facility_->mutex_);
  facility_->timings_ = timings;
}

VPNTimings VPNFacilityControl::timings() const {
  std::lock_guard lock(facility_->mutex_);
  return facility_->timings_;
}

std::vector<VPNSaveRecord> VPNFacilityControl::saves() const {
  std::lock_guard lock(facility_->mutex_);
  return facility_->saves_;
}

int VPNFacilityControl::loadCount() const {
  std::lock_guard lock(facility_->mutex_);
  return facility_->loads_;
}

int VPNFacilityControl::startCount() const {
  std::lock_guard lock(facility_->mutex_);
  return facility_->starts_;
}

int VPNFacilityControl::stopCount() const {
  std::lock_guard lock(facility_->mutex_);
  return facility_->stops_;
}

std::optional<NEVPNSavedConfiguration> VPNFacilityControl::savedConfiguration() const {
  std::lock_guard lock(facility_->mutex_);
  if (!facility_->device_.configuration) return std::nullopt;
  return facility_->device_.configuration->copy();
}

NEVPNStatus VPNFacilityControl::tunnelStatus() const {
  std::lock_guard lock(facility_->mutex_);
  return facility_->device_.tunnelStatus;
}

void VPNFacilityControl::installConfiguration(std::optional<NEVPNSavedConfiguration> configuration) {
  bool changed;
  {
    std::lock_guard lock(facility_->mutex_);
    const auto before = facility_->observedLocked();
    facility_->device_.configuration = configuration ? std::optional(configuration->copy()) : std::nullopt;
    if (!configuration && facility_->device_.tunnelStatus != NEVPNStatus::disconnected)
      facility_->setTunnelLocked(NEVPNStatus::disconnected);
    else
      facility_->persistLocked();
    changed = facility_->observedLocked() != before;
  }
  if (changed) facility_->postStatusChange();
}

void VPNFacilityControl::setTunnelStatus(NEVPNStatus status) {
  if (status < NEVPNStatus::disconnected || status > NEVPNStatus::disconnecting)
    fatalError("setTunnelStatus takes a status of a tunnel, disconnected to disconnecting");
  bool changed;
  {
    std::lock_guard lock(facility_->mutex_);
    if (status != NEVPNStatus::disconnected && !facility_->device_.configuration)
      fatalError("setTunnelStatus: a tunnel runs only with a saved configuration");
    const auto before = facility_->observedLocked();
    facility_->setTunnelLocked(status);
    changed = facility_->observedLocked() != before;
  }
  if (changed) facility_->postStatusChange();
}

}  // namespace testing
}  // namespace platform
