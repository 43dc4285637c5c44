#include "vpn_core/tunnel_manager.h"

#include "platform/foundation/console.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/foundation/random.h"
#include "platform/foundation/weak_callback.h"
#include "service_client/service_exchange.h"
#include "vpn_core/vpn_keychain_service.h"

using platform::NEVPNStatus;
using platform::PlistValue;

namespace {

// The one save refusal after which the second attempt is not made.
constexpr const char* kPermissionDenied = "permission denied";

}  // namespace

std::shared_ptr<VPNConnectionManager> VPNConnectionManager::shared() {
  return platform::Process::current().shared<VPNConnectionManager>([] {
    auto manager = std::make_shared<VPNConnectionManager>();
    manager->start();
    return manager;
  });
}

VPNConnectionManager::VPNConnectionManager()
    : vpnManager_(platform::NEVPNManager::sharedManager()),
      vpnConnectionState_(vpnManager_->connection()->status()),
      userDefaults_(platform::UserDefaults::standard()) {}

void VPNConnectionManager::start() {
  auto& center = platform::NotificationCenter::defaultCenter();
  using platform::whileAlive;
  const std::weak_ptr<VPNConnectionManager> weak = weak_from_this();
  center.addObserver(weak, platform::NEVPNStatusDidChangeNotification,
                     whileAlive(weak, [](VPNConnectionManager& self, const auto&) { self.checkVPNConnectionState(); }));
  // the list arrives on the exchange's queue; the current server and its entry change on the
  // main thread only, where the screens read them
  center.addObserver(weak, VPNServerManager::kServersLoaded, [weak](const auto&) {
    platform::DispatchQueue::main().async(whileAlive(weak, [](VPNConnectionManager& self) { self.serversLoaded(); }));
  });
  vpnManager_->loadFromPreferences(whileAlive(weak, [](VPNConnectionManager& self, std::optional<platform::Error> error) {
    if (error) {
      platform::console("Load config failed " + error->localizedDescription);
      return;
    }
    const auto& manager = self.vpnManager_;
    if (manager->connection()->status() != NEVPNStatus::connected) return;
    const auto ikev2 = std::dynamic_pointer_cast<platform::NEVPNProtocolIKEv2>(manager->protocolConfiguration());
    if (ikev2 && ikev2->localIdentifier == kLocalIdentifier) {
      self.checkVPNConnectionState();
    } else {
      manager->setEnabled(true);
      manager->setOnDemandEnabled(false);
      manager->saveToPreferences();
    }
  }));
}

void VPNConnectionManager::connectToServer(std::shared_ptr<VPNServer> server) {
  const std::uint64_t connect = ++connects_;
  {
    std::lock_guard lock(mutex_);
    failureConnect_ = connect;
    buildFailure_.reset();
    attemptFailure_.reset();
  }
  setCurrentServer(std::move(server));
  saveCurrentServer();
  std::optional<std::string> buildFailure;
  const auto configuration = makeIKEv2Protocol(&buildFailure);
  if (buildFailure) {
    std::lock_guard lock(mutex_);
    if (failureConnect_ == connect) buildFailure_ = buildFailure;
  }
  if (!configuration) return;
  vpnManager_->setProtocolConfiguration(configuration);
  vpnManager_->setLocalizedDescription(configuration->localIdentifier);
  vpnManager_->setEnabled(true);

  auto retryPermission = std::make_shared<std::atomic<bool>>(true);
  attemptsPending_ += 2;  // this one and the delayed one
  saveLoadAndStart(connect, retryPermission, "Load config failed ");

  platform::DispatchQueue::main().asyncAfter(
      platform::seconds(kSecondAttemptDelay),
      platform::whileAlive(weak_from_this(), [retryPermission, connect](VPNConnectionManager& self) {
        if (!retryPermission->load() || connect <= self.withdrawnUpTo_.load()) return self.attemptEnded(connect, {});
        const auto status = self.vpnManager_->connection()->status();
        if (status != NEVPNStatus::invalid && status != NEVPNStatus::disconnected) return self.attemptEnded(connect, {});
        self.saveLoadAndStart(connect, nullptr, "Configuration loading Error: ");
      }));
}

void VPNConnectionManager::withdrawPendingAttempts() { withdrawnUpTo_.store(connects_.load()); }

// The first attempt passes its retry permission, which a "permission denied" withdraws; the
// second passes none.
void VPNConnectionManager::saveLoadAndStart(std::uint64_t connect,
                                            const std::shared_ptr<std::atomic<bool>>& retryPermission,
                                            const char* loadFailurePrefix) {
  using platform::whileAlive;
  const std::weak_ptr<VPNConnectionManager> weak = weak_from_this();
  vpnManager_->saveToPreferences(whileAlive(weak, [weak, connect, retryPermission, loadFailurePrefix](
                                                      VPNConnectionManager& self, std::optional<platform::Error> error) {
    if (error) {
      if (retryPermission && error->localizedDescription == kPermissionDenied) retryPermission->store(false);
      platform::console("configuration Save Error: " + error->localizedDescription);
      self.attemptEnded(connect, "the VPN configuration could not be saved: " + error->localizedDescription);
      return;
    }
    self.vpnManager_->loadFromPreferences(whileAlive(
        weak, [connect, loadFailurePrefix](VPNConnectionManager& again, std::optional<platform::Error> loadError) {
          again.startTunnel(connect, loadError, loadFailurePrefix);
        }));
  }));
}

void VPNConnectionManager::startTunnel(std::uint64_t connect, const std::optional<platform::Error>& loadError,
                                       const char* loadFailurePrefix) {
  if (loadError) {
    platform::console(loadFailurePrefix + loadError->localizedDescription);
    attemptEnded(connect, "the VPN configuration could not be loaded: " + loadError->localizedDescription);
    return;
  }
  const auto& connection = vpnManager_->connection();
  platform::Error error;
  if (!connection->startVPNTunnelAndReturnError(&error)) {
    platform::console("Start VPN failed " + error.localizedDescription);
    connection->stopVPNTunnel();
    attemptEnded(connect, "the tunnel could not be started: " + error.localizedDescription);
    return;
  }
  attemptEnded(connect, {}, true);
}

void VPNConnectionManager::attemptEnded(std::uint64_t connect, std::optional<std::string> failure, bool started) {
  {
    std::lock_guard lock(mutex_);
    if (connect == failureConnect_) {
      if (started) attemptFailure_.reset();
      if (failure) attemptFailure_ = std::move(failure);
    }
  }
  // after the reason: whoever sees no attempt pending finds it in place
  --attemptsPending_;
}

std::optional<std::string> VPNConnectionManager::lastConnectFailure() const {
  std::lock_guard lock(mutex_);
  return buildFailure_ ? buildFailure_ : attemptFailure_;
}

void VPNConnectionManager::checkVPNConnectionState() {
  const NEVPNStatus status = vpnManager_->connection()->status();
  // compare and store in one step, so that two notifications cannot both report one change
  if (vpnConnectionState_.exchange(status) == status) return;
  if (auto delegate = this->delegate()) delegate->vpnConnectionStateChanged();
}

void VPNConnectionManager::serversLoaded() {
  const auto servers = VPNServerManager::shared()->premiumVPNServersArray();
  if (servers.empty()) {
    // an empty or broken list must not erase the user's remembered server
    setCurrentServer(nullptr);
    return;
  }
  setCurrentServer(loadSavedServer());
  saveCurrentServer();
  if (currentServer()) return;
  setCurrentServer(randomConnectableServer(servers, platform::Process::current().random()));
  saveCurrentServer();
}

std::shared_ptr<VPNServer> VPNConnectionManager::loadSavedServer() {
  const auto entry = userDefaults_->objectForKey(kSavedServerKey);
  const auto* saved = entry ? entry->asDictionary() : nullptr;
  if (!saved) return nullptr;
  const auto address = saved->find("vpnAddress");
  const auto autoSelect = saved->find("isAutoSelect");
  if (address == saved->end() || !address->second.asString()) return nullptr;
  if (autoSelect == saved->end() || !autoSelect->second.asBoolean()) return nullptr;
  for (const auto& server : VPNServerManager::shared()->premiumVPNServersArray()) {
    if (server->address() == *address->second.asString()) {
      server->setIsAutoSelect(*autoSelect->second.asBoolean());
      return server;
    }
  }
  return nullptr;
}

void VPNConnectionManager::saveCurrentServer() {
  const auto server = currentServer();
  if (!server) {
    userDefaults_->removeObject(kSavedServerKey);
    return;
  }
  PlistValue::Dictionary entry{{"isAutoSelect", PlistValue(server->isAutoSelect())}};
  // without an address the entry names no server, and a later launch finds none for it
  if (server->address()) entry.emplace("vpnAddress", PlistValue(*server->address()));
  userDefaults_->setObject(PlistValue(std::move(entry)), kSavedServerKey);
}

std::shared_ptr<platform::NEVPNProtocolIKEv2> VPNConnectionManager::makeIKEv2Protocol() {
  return makeIKEv2Protocol(nullptr);
}

std::shared_ptr<platform::NEVPNProtocolIKEv2> VPNConnectionManager::makeIKEv2Protocol(std::optional<std::string>* why) {
  const auto server = currentServer();
  if (!server || !server->psk()) {
    if (why) *why = server ? "the server has no pre-shared key" : "no server is chosen";
    return nullptr;
  }
  VPNKeychainService keychain;
  // the configuration is still built: its reference then names no item, and the tunnel says so
  for (const char* keyName : {kSharedSecretKeyName, kPasswordKeyName}) {
    auto failure = keychain.save(keyName, *server->psk());
    if (failure && why && !*why) *why = "the pre-shared key could not be stored (" + *failure + ")";
  }

  // a copy of the one in use: a save on another thread may be reading that one right now
  std::shared_ptr<platform::NEVPNProtocolIKEv2> configuration;
  if (const auto current = vpnManager_->protocolConfiguration())
    configuration = std::dynamic_pointer_cast<platform::NEVPNProtocolIKEv2>(current->copy());
  if (!configuration) configuration = std::make_shared<platform::NEVPNProtocolIKEv2>();
  configuration->serverAddress = server->address();
  configuration->remoteIdentifier = QVServerConnect::neExtKey();
  configuration->localIdentifier = kLocalIdentifier;
  for (auto* sa : {&configuration->ikeSecurityAssociationParameters, &configuration->childSecurityAssociationParameters}) {
    sa->diffieHellmanGroup = platform::NEVPNIKEv2DiffieHellmanGroup::group14;
    sa->encryptionAlgorithm = platform::NEVPNIKEv2EncryptionAlgorithm::algorithmAES128;
    sa->integrityAlgorithm = platform::NEVPNIKEv2IntegrityAlgorithm::SHA96;
  }
  configuration->authenticationMethod = platform::NEVPNIKEAuthenticationMethod::sharedSecret;
  configuration->sharedSecretReference = keychain.load(kSharedSecretKeyName);
  configuration->passwordReference = keychain.load(kPasswordKeyName);
  configuration->useExtendedAuthentication = false;
  configuration->disconnectOnSleep = false;
  return configuration;
}

std::shared_ptr<VPNConnectionManagerDelegate> VPNConnectionManager::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void VPNConnectionManager::setDelegate(const std::shared_ptr<VPNConnectionManagerDelegate>& delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = delegate;
}

std::shared_ptr<VPNServer> VPNConnectionManager::currentServer() const {
  std::lock_guard lock(mutex_);
  return currentServer_;
}

void VPNConnectionManager::setCurrentServer(std::shared_ptr<VPNServer> server) {
  std::lock_guard lock(mutex_);
  currentServer_ = std::move(server);
}
