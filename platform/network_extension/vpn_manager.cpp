#include "platform/network_extension/vpn_manager.h"

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
#include "platform/network_extension/vpn_facility.h"
#include "platform/network_extension/vpn_preferences.h"
#include "platform/security/keychain.h"

namespace platform {

NEVPNSavedConfiguration NEVPNSavedConfiguration::copy() const {
  NEVPNSavedConfiguration c = *this;
  if (protocolConfiguration) c.protocolConfiguration = protocolConfiguration->copy();
  return c;
}

namespace detail {
namespace {

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

}  // namespace

std::shared_ptr<VPNFacility> VPNFacility::current() {
  auto& process = Process::current();
  return process.shared<VPNFacility>([&] {
    // a launcher that watches the facility has put its observer in place by now
    auto observer = process.shared<VPNFacilityObserver>([] { return std::shared_ptr<VPNFacilityObserver>(); });
    return std::make_shared<VPNFacility>(process.device().vpnPreferencesPath(), std::move(observer));
  });
}

VPNFacility::VPNFacility(std::filesystem::path path, std::shared_ptr<VPNFacilityObserver> observer)
    : path_(std::move(path)), observer_(std::move(observer)) {
  std::error_code ec;
  // anything there but a missing file is something the device kept, readable or not
  if (std::filesystem::symlink_status(path_, ec).type() != std::filesystem::file_type::not_found) {
    std::string why;
    std::optional<VPNPreferences> read;
    // far above what a save writes; a larger file is damage, not something to parse for minutes
    constexpr std::uintmax_t kMaximumFileBytes = 1 << 20;
    ReadFault fault = ReadFault::damaged;
    if (auto bytes = readFile(path_, {.followSymbolicLink = false, .maximumBytes = kMaximumFileBytes}, &why, &fault))
      read = decodeVPNPreferences(*bytes, &why);
    if (read) {
      device_ = std::move(*read);
    } else if (fault == ReadFault::unreadable) {
      // the user's to mend: left as it is, and the process does not go on without it
      unreadable_ = true;
      Process::current().reportUnusableDeviceFile(unreadableLine(path_, why));
    } else if (fault == ReadFault::missing) {
      // gone since we looked
    } else {
      // kept, not left for the next save to overwrite or (a directory) to fail on for good
      keepDamagedAside("VPN preferences", path_, why, "started with nothing saved");
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

NEVPNStatus VPNFacility::observedStatus() const {
  std::lock_guard lock(mutex_);
  return observedLocked();
}

void VPNFacility::setTunnelLocked(NEVPNStatus status) {
  device_.tunnelStatus = status;
  ++stepGeneration_;
  persistLocked();
}

void VPNFacility::persistLocked() {
  if (unreadable_) return;
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
    if (observer_) failure = observer_->loadAsked();
    delay = timings().load;
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
  std::uint64_t record;
  double delay;
  {
    std::lock_guard lock(mutex_);
    snapshot = properties_.copy();
    record = nextSave_++;
    if (observer_) refusal = observer_->saveAsked(record, snapshot, completion != nullptr);
    delay = timings().save;
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
        } else if (self->unreadable_) {
          error =
              vpnError(NEVPNError::configurationReadWriteFailed,
                       "the VPN preferences cannot be written: " + unreadableLine(self->path_, "it cannot be read"));
        } else if (!writeFileAtomically(self->path_, *text, &why)) {
          error = vpnError(NEVPNError::configurationReadWriteFailed, "the VPN preferences cannot be written: " + why);
        } else {
          const auto before = self->observedLocked();
          self->device_ = std::move(next);
          self->synced_ = true;
          changed = self->observedLocked() != before;
        }
      }
    }
    if (error && self->observer_) self->observer_->saveFailed(record, *error);
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
    if (observer_) refusal = observer_->startAsked();
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
      delay = timings().connect;
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
    if (observer_) observer_->stopAsked();
    if (!isActive(device_.tunnelStatus)) return;
    setTunnelLocked(NEVPNStatus::disconnecting);
    generation = stepGeneration_;
    delay = timings().disconnect;
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

NEVPNStatus NEVPNConnection::status() const { return facility_->observedStatus(); }

bool NEVPNConnection::startVPNTunnelAndReturnError(Error* error) { return facility_->start(error); }

void NEVPNConnection::stopVPNTunnel() { facility_->stop(); }

NEVPNManager::NEVPNManager()
    : facility_(detail::VPNFacility::current()), connection_(std::make_shared<NEVPNConnection>(facility_)) {
  facility_->setConnection(connection_.get());
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

namespace detail {

std::optional<NEVPNSavedConfiguration> VPNFacility::savedConfiguration() const {
  std::lock_guard lock(mutex_);
  if (!device_.configuration) return std::nullopt;
  return device_.configuration->copy();
}

NEVPNStatus VPNFacility::tunnelStatus() const {
  std::lock_guard lock(mutex_);
  return device_.tunnelStatus;
}

void VPNFacility::installConfiguration(std::optional<NEVPNSavedConfiguration> configuration) {
  bool changed;
  {
    std::lock_guard lock(mutex_);
    const auto before = observedLocked();
    device_.configuration = configuration ? std::optional(configuration->copy()) : std::nullopt;
    if (!configuration && device_.tunnelStatus != NEVPNStatus::disconnected)
      setTunnelLocked(NEVPNStatus::disconnected);
    else
      persistLocked();
    changed = observedLocked() != before;
  }
  if (changed) postStatusChange();
}

void VPNFacility::setTunnelStatus(NEVPNStatus status) {
  if (status < NEVPNStatus::disconnected || status > NEVPNStatus::disconnecting)
    fatalError("setTunnelStatus takes a status of a tunnel, disconnected to disconnecting");
  bool changed;
  {
    std::lock_guard lock(mutex_);
    if (status != NEVPNStatus::disconnected && !device_.configuration)
      fatalError("setTunnelStatus: a tunnel runs only with a saved configuration");
    const auto before = observedLocked();
    setTunnelLocked(status);
    changed = observedLocked() != before;
  }
  if (changed) postStatusChange();
}

}  // namespace detail
}  // namespace platform
