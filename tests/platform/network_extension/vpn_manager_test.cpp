#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/files.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/network_extension/vpn_manager.h"
#include "platform/testing/vpn_testing.h"
#include "platform/security/keychain.h"
#include "platform/testing/collected.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing::Sandbox;
using testing::vpnFacility;
using Dict = PlistValue::Dictionary;

std::shared_ptr<NEVPNManager> manager() { return NEVPNManager::sharedManager(); }
NEVPNStatus status() { return manager()->connection()->status(); }
Duration now() { return Process::current().clock().now(); }

struct Outcome {
  std::optional<Error> error;
  bool onMainThread = true;
  Duration at{};
};

class Completions : public testing::Collected<Outcome> {
 public:
  NEVPNManager::Completion handler() {
    return [this](std::optional<Error> error) { add(Outcome{std::move(error), isMainThread(), now()}); };
  }
};

// What each status notification showed when it arrived.
struct Seen {
  NEVPNStatus status;
  bool onMainThread;
  const void* object;
};

class StatusLog {
 public:
  // Observes the current process's default centre; call again after a relaunch.
  void attach() {
    NotificationCenter::defaultCenter().addObserver(state_, NEVPNStatusDidChangeNotification,
                                                    [state = state_.get()](const Notification& n) {
                                                      Seen seen{status(), isMainThread(), n.object};
                                                      std::lock_guard lock(state->mutex);
                                                      state->seen.push_back(seen);
                                                    });
  }
  std::vector<Seen> seen() const {
    std::lock_guard lock(state_->mutex);
    return state_->seen;
  }
  std::vector<NEVPNStatus> statuses() const {
    std::vector<NEVPNStatus> out;
    for (const auto& s : seen()) out.push_back(s.status);
    return out;
  }
  void clear() {
    std::lock_guard lock(state_->mutex);
    state_->seen.clear();
  }

 private:
  struct State {
    std::mutex mutex;
    std::vector<Seen> seen;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

std::optional<Error> saveAndWait(Sandbox& s) {
  Completions c;
  manager()->saveToPreferences(c.handler());
  EXPECT_TRUE(s.loop().runUntil([&] { return c.count() == 1; }));
  s.loop().runUntilIdle();
  return c.count() ? c.all()[0].error : Error{"test", 0, "no completion"};
}

std::optional<Error> loadAndWait(Sandbox& s) {
  Completions c;
  manager()->loadFromPreferences(c.handler());
  EXPECT_TRUE(s.loop().runUntil([&] { return c.count() == 1; }));
  s.loop().runUntilIdle();
  return c.count() ? c.all()[0].error : Error{"test", 0, "no completion"};
}

// A keychain item's persistent reference.
Bytes keychainReference(const std::string& account, const std::string& value) {
  const Dict item{{kSecClass, PlistValue(kSecClassGenericPassword)},
                  {kSecAttrService, PlistValue("VPN")},
                  {kSecAttrAccount, PlistValue(toBytes(account))},
                  {kSecValueData, PlistValue(toBytes(value))},
                  {kSecReturnPersistentRef, PlistValue(true)}};
  std::optional<PlistValue> ref;
  EXPECT_EQ(SecItemAdd(item, &ref), errSecSuccess);
  return ref && ref->asData() ? *ref->asData() : Bytes{};
}

void deleteKeychainItem(const std::string& account) {
  EXPECT_EQ(SecItemDelete({{kSecClass, PlistValue(kSecClassGenericPassword)},
                           {kSecAttrAccount, PlistValue(toBytes(account))}}),
            errSecSuccess);
}

// A configuration the simulated tunnel can bring up.
std::shared_ptr<NEVPNProtocolIKEv2> workingIKEv2() {
  auto p = std::make_shared<NEVPNProtocolIKEv2>();
  p->serverAddress = "vpn.example.test";
  p->localIdentifier = "OrvaneVPN";
  p->authenticationMethod = NEVPNIKEAuthenticationMethod::sharedSecret;
  p->sharedSecretReference = keychainReference("shared", "psk");
  p->passwordReference = keychainReference("password", "psk");
  return p;
}

// Saves `configuration` enabled and loads it, as the tunnel manager does before a start.
void install(Sandbox& s, std::shared_ptr<NEVPNProtocol> configuration, bool enabled = true) {
  manager()->setProtocolConfiguration(std::move(configuration));
  manager()->setEnabled(enabled);
  ASSERT_EQ(saveAndWait(s), std::nullopt);
  ASSERT_EQ(loadAndWait(s), std::nullopt);
}

// Runs until the status is reached and the notifications it brought have been delivered.
bool reach(Sandbox& s, NEVPNStatus wanted) {
  const bool reached = s.loop().runUntil([&] { return status() == wanted; });
  s.loop().runUntilIdle();
  return reached;
}

bool startTunnel() {
  Error error;
  const bool started = manager()->connection()->startVPNTunnelAndReturnError(&error);
  EXPECT_TRUE(started) << error.localizedDescription;
  return started;
}

void expectSameProtocol(const NEVPNProtocol* expected, const NEVPNProtocol* actual, const std::string& name) {
  ASSERT_EQ(expected == nullptr, actual == nullptr) << name;
  if (!expected) return;
  EXPECT_NE(expected, actual) << name << ": a load gives an object of its own";
  EXPECT_EQ(expected->serverAddress, actual->serverAddress) << name;
  EXPECT_EQ(expected->username, actual->username) << name;
  EXPECT_EQ(expected->passwordReference, actual->passwordReference) << name;
  EXPECT_EQ(expected->disconnectOnSleep, actual->disconnectOnSleep) << name;
  auto* e = dynamic_cast<const NEVPNProtocolIPSec*>(expected);
  auto* a = dynamic_cast<const NEVPNProtocolIPSec*>(actual);
  ASSERT_TRUE(e && a) << name;
  EXPECT_EQ(e->authenticationMethod, a->authenticationMethod) << name;
  EXPECT_EQ(e->useExtendedAuthentication, a->useExtendedAuthentication) << name;
  EXPECT_EQ(e->sharedSecretReference, a->sharedSecretReference) << name;
  EXPECT_EQ(e->localIdentifier, a->localIdentifier) << name;
  EXPECT_EQ(e->remoteIdentifier, a->remoteIdentifier) << name;
  auto* e2 = dynamic_cast<const NEVPNProtocolIKEv2*>(expected);
  auto* a2 = dynamic_cast<const NEVPNProtocolIKEv2*>(actual);
  ASSERT_EQ(e2 == nullptr, a2 == nullptr) << name << ": the kind survives";
  if (!e2) return;
  EXPECT_EQ(e2->ikeSecurityAssociationParameters, a2->ikeSecurityAssociationParameters) << name;
  EXPECT_EQ(e2->childSecurityAssociationParameters, a2->childSecurityAssociationParameters) << name;
}

TEST(NEVPNManager, OneManagerPerProcessWithNothingUntilLoaded) {
  Sandbox s;
  auto m = manager();
  EXPECT_EQ(manager(), m);
  EXPECT_EQ(m->connection(), manager()->connection());
  EXPECT_EQ(m->protocolConfiguration(), nullptr);
  EXPECT_EQ(m->localizedDescription(), std::nullopt);
  EXPECT_FALSE(m->enabled());
  EXPECT_FALSE(m->onDemandEnabled());
  EXPECT_EQ(status(), NEVPNStatus::invalid);

  std::weak_ptr<NEVPNManager> old = m;
  m.reset();
  s.relaunch();
  EXPECT_TRUE(old.expired());
  EXPECT_NE(manager(), nullptr);
}

TEST(VPNPreferences, SaveAndLoadKeepEveryPropertyAcrossARelaunch) {
  struct Case {
    const char* name;
    std::function<std::shared_ptr<NEVPNProtocol>()> make;
    std::optional<std::string> description;
    bool enabled, onDemand;
  };
  const std::vector<Case> cases = {
      {"IKEv2 with every property",
       [] {
         auto p = std::make_shared<NEVPNProtocolIKEv2>();
         p->serverAddress = "203.0.113.7";
         p->username = "kept from before";
         p->passwordReference = Bytes{0, 1, 2, 255};
         p->disconnectOnSleep = true;
         p->authenticationMethod = NEVPNIKEAuthenticationMethod::sharedSecret;
         p->useExtendedAuthentication = true;
         p->sharedSecretReference = Bytes{9, 8, 7};
         p->localIdentifier = "OrvaneVPN";
         p->remoteIdentifier = "install-id";
         p->ikeSecurityAssociationParameters = {NEVPNIKEv2DiffieHellmanGroup::group14,
                                                NEVPNIKEv2EncryptionAlgorithm::algorithmAES128,
                                                NEVPNIKEv2IntegrityAlgorithm::SHA96};
         p->childSecurityAssociationParameters = {NEVPNIKEv2DiffieHellmanGroup::group19,
                                                  NEVPNIKEv2EncryptionAlgorithm::algorithmAES256GCM,
                                                  NEVPNIKEv2IntegrityAlgorithm::SHA384};
         return p;
       },
       "OrvaneVPN", true, true},
      {"IKEv2 with empty texts and references",
       [] {
         auto p = std::make_shared<NEVPNProtocolIKEv2>();
         p->serverAddress = "";
         p->localIdentifier = "";
         p->sharedSecretReference = Bytes{};
         p->passwordReference = Bytes{};
         return p;
       },
       "", false, false},
      {"IKEv2 with nothing optional", [] { return std::make_shared<NEVPNProtocolIKEv2>(); }, std::nullopt, true,
       false},
      {"IPsec, not IKEv2",
       [] {
         auto p = std::make_shared<NEVPNProtocolIPSec>();
         p->serverAddress = "old.example.test";
         p->localIdentifier = "Other";
         return p;
       },
       "Other", false, true},
      {"no protocol", [] { return nullptr; }, "empty", true, true},
  };
  for (const auto& c : cases) {
    Sandbox s;
    const auto original = c.make();
    manager()->setProtocolConfiguration(original);
    manager()->setLocalizedDescription(c.description);
    manager()->setEnabled(c.enabled);
    manager()->setOnDemandEnabled(c.onDemand);
    EXPECT_EQ(saveAndWait(s), std::nullopt) << c.name;

    s.relaunch();
    EXPECT_EQ(manager()->protocolConfiguration(), nullptr) << c.name;
    EXPECT_EQ(loadAndWait(s), std::nullopt) << c.name;
    expectSameProtocol(original.get(), manager()->protocolConfiguration().get(), c.name);
    EXPECT_EQ(manager()->localizedDescription(), c.description) << c.name;
    EXPECT_EQ(manager()->enabled(), c.enabled) << c.name;
    EXPECT_EQ(manager()->onDemandEnabled(), c.onDemand) << c.name;
    EXPECT_TRUE(s.consoleLines().empty()) << c.name;
  }
}

TEST(VPNPreferences, SaveStoresThePropertiesAsTheyWereAtTheCallAndLoadReplacesUnsavedOnes) {
  Sandbox s;
  // nothing saved: the load succeeds and empties the properties
  manager()->setProtocolConfiguration(std::make_shared<NEVPNProtocolIKEv2>());
  manager()->setEnabled(true);
  manager()->setLocalizedDescription("unsaved");
  EXPECT_EQ(loadAndWait(s), std::nullopt);
  EXPECT_EQ(manager()->protocolConfiguration(), nullptr);
  EXPECT_EQ(manager()->localizedDescription(), std::nullopt);
  EXPECT_FALSE(manager()->enabled());

  auto held = std::make_shared<NEVPNProtocolIKEv2>();
  held->serverAddress = "a.example.test";
  manager()->setProtocolConfiguration(held);
  manager()->setEnabled(true);
  Completions c;
  manager()->saveToPreferences(c.handler());
  // changes after the call, to the held object too, are not part of that save
  held->serverAddress = "changed.example.test";
  manager()->setEnabled(false);
  manager()->setOnDemandEnabled(true);
  ASSERT_TRUE(s.loop().runUntil([&] { return c.count() == 1; }));
  EXPECT_EQ(c.all()[0].error, std::nullopt);

  EXPECT_EQ(loadAndWait(s), std::nullopt);
  auto loaded = std::dynamic_pointer_cast<NEVPNProtocolIKEv2>(manager()->protocolConfiguration());
  ASSERT_TRUE(loaded);
  EXPECT_NE(loaded, held);
  EXPECT_EQ(loaded->serverAddress, "a.example.test");
  EXPECT_TRUE(manager()->enabled());
  EXPECT_FALSE(manager()->onDemandEnabled());
}

TEST(VPNPreferences, CompletionsComeExactlyOnceAfterTheirDelayOffTheMainThreadInCallOrder) {
  Sandbox s;
  vpnFacility().setTimings({.save = 0.25, .load = 0.4, .connect = 0.3, .disconnect = 0.2});
  Completions saves;
  // the first completion lingers; the second must not start until it has returned
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  auto oneAtATime = [&](bool linger) {
    return [&, linger, record = saves.handler()](std::optional<Error> error) {
      if (running.fetch_add(1) != 0) overlapped = true;
      for (int i = 0; linger && i < 20000 && !overlapped; ++i) std::this_thread::yield();
      running.fetch_sub(1);
      record(std::move(error));
    };
  };
  const Duration t0 = now();
  manager()->setLocalizedDescription("first");
  manager()->saveToPreferences(oneAtATime(true));
  manager()->setLocalizedDescription("second");
  manager()->saveToPreferences(oneAtATime(false));
  EXPECT_EQ(saves.count(), 0u);
  s.loop().runFor(0.2);
  EXPECT_EQ(saves.count(), 0u);
  ASSERT_TRUE(s.loop().runUntil([&] { return saves.count() == 2; }));
  EXPECT_FALSE(overlapped);

  Completions loads;
  const Duration t1 = now();
  manager()->loadFromPreferences(loads.handler());
  ASSERT_TRUE(s.loop().runUntil([&] { return loads.count() == 1; }));
  s.loop().runFor(5.0);

  ASSERT_EQ(saves.count(), 2u);
  ASSERT_EQ(loads.count(), 1u);
  for (const auto& o : saves.all()) {
    EXPECT_EQ(o.error, std::nullopt);
    EXPECT_FALSE(o.onMainThread);
    EXPECT_EQ(o.at, t0 + seconds(0.25));
  }
  EXPECT_FALSE(loads.all()[0].onMainThread);
  EXPECT_EQ(loads.all()[0].at, t1 + seconds(0.4));
  // the later save is what the device keeps
  EXPECT_EQ(manager()->localizedDescription(), "second");

  // no completion is fine, and the save still happens
  manager()->setLocalizedDescription("third");
  manager()->saveToPreferences();
  s.loop().runFor(1.0);
  const auto records = vpnFacility().saves();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_TRUE(records[0].hadCompletion);
  EXPECT_FALSE(records[2].hadCompletion);
  EXPECT_EQ(records[2].configuration.localizedDescription, "third");
  EXPECT_EQ(vpnFacility().savedConfiguration()->localizedDescription, "third");
  EXPECT_EQ(vpnFacility().loadCount(), 1);
}

TEST(VPNPreferences, RefusedSavesReportTheirErrorAndKeepWhatWasSaved) {
  Sandbox s;
  manager()->setLocalizedDescription("kept");
  ASSERT_EQ(saveAndWait(s), std::nullopt);

  vpnFacility().refuseNextSaves(testing::VPNFacilityControl::permissionDenied());
  const Error other{"NEVPNErrorDomain", 5, "the disk is full"};
  vpnFacility().refuseNextSaves(other, 2);
  manager()->setLocalizedDescription("refused");
  const auto first = saveAndWait(s);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->localizedDescription, "permission denied");
  EXPECT_EQ(saveAndWait(s), other);
  EXPECT_EQ(saveAndWait(s), other);
  EXPECT_EQ(vpnFacility().savedConfiguration()->localizedDescription, "kept");

  EXPECT_EQ(saveAndWait(s), std::nullopt);  // the script is spent
  const auto records = vpnFacility().saves();
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[1].error, first);
  EXPECT_EQ(records[4].error, std::nullopt);
  s.relaunch();
  EXPECT_EQ(loadAndWait(s), std::nullopt);
  EXPECT_EQ(manager()->localizedDescription(), "refused");
}

TEST(VPNPreferences, FailedLoadChangesNothing) {
  Sandbox s;
  install(s, workingIKEv2());
  s.relaunch();
  const Error failure{"NEVPNErrorDomain", 5, "the preferences are busy"};
  vpnFacility().failNextLoads(failure);
  manager()->setLocalizedDescription("unsaved");
  EXPECT_EQ(loadAndWait(s), failure);
  EXPECT_EQ(manager()->localizedDescription(), "unsaved");
  EXPECT_EQ(manager()->protocolConfiguration(), nullptr);
  EXPECT_EQ(status(), NEVPNStatus::invalid);

  EXPECT_EQ(loadAndWait(s), std::nullopt);
  EXPECT_NE(manager()->protocolConfiguration(), nullptr);
  EXPECT_EQ(status(), NEVPNStatus::disconnected);
}

TEST(VPNPreferences, DamagedFileIsKeptAsideAndTreatedAsNothingSaved) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> damage;
  };
  auto text = [](std::string t) { return [t](const fs::path& p) { ASSERT_TRUE(writeFileAtomically(p, t)); }; };
  const std::vector<Case> cases = {
      {"not JSON", text("\x01\x02{{{ not json")},
      {"empty", text("")},
      {"not an object", text("[1,2,3]")},
      {"another format", text(R"({"format":2,"tunnel":1})")},
      {"a tunnel status out of range", text(R"({"format":1,"tunnel":9})")},
      {"enabled as a text", text(R"({"format":1,"tunnel":1,"configuration":{"enabled":"yes","onDemandEnabled":false}})")},
      {"a reference that is not Base64",
       text(R"({"format":1,"tunnel":3,"configuration":{"enabled":true,"onDemandEnabled":false,"protocol":)"
            R"({"type":"IPSec","disconnectOnSleep":false,"authenticationMethod":2,"useExtendedAuthentication":false,)"
            R"("sharedSecretReference":"***"}}})")},
      {"an unknown protocol type",
       text(R"({"format":1,"tunnel":1,"configuration":{"enabled":true,"onDemandEnabled":false,"protocol":{"type":"L2TP"}}})")},
      {"IKEv2 without its security associations",
       text(R"({"format":1,"tunnel":1,"configuration":{"enabled":true,"onDemandEnabled":false,"protocol":)"
            R"({"type":"IKEv2","disconnectOnSleep":false,"authenticationMethod":2,"useExtendedAuthentication":false}}})")},
      {"a directory in the way",
       [](const fs::path& p) {
         fs::remove(p);
         fs::create_directory(p);
       }},
      {"a FIFO in the way",
       [](const fs::path& p) {
         fs::remove(p);
         ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
       }},
      {"larger than any save writes", text(R"({"format":1,"tunnel":1)" + std::string(1 << 20, ' ') + "}")},
  };
  for (const auto& c : cases) {
    Sandbox s;
    install(s, workingIKEv2());
    startTunnel();
    s.loop().runFor(1.0);
    s.endProcess();
    const fs::path path = s.device().vpnPreferencesPath();
    c.damage(path);
    const auto type = fs::symlink_status(path).type();
    const auto bytes = readFile(path);
    const fs::path aside = fs::path(path).concat(".damaged");

    s.launch();
    manager();
    auto lines = s.consoleLines();
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_NE(lines[0].find("damaged"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(path.string() + " is damaged"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("kept it as " + aside.string()), std::string::npos) << lines[0];
    EXPECT_EQ(fs::symlink_status(aside).type(), type) << c.name;
    EXPECT_EQ(readFile(aside), bytes) << c.name;
    EXPECT_EQ(loadAndWait(s), std::nullopt) << c.name;
    EXPECT_EQ(manager()->protocolConfiguration(), nullptr) << c.name;
    EXPECT_FALSE(manager()->enabled()) << c.name;
    EXPECT_EQ(status(), NEVPNStatus::invalid) << c.name;

    manager()->setLocalizedDescription("fresh");
    EXPECT_EQ(saveAndWait(s), std::nullopt) << c.name;
    s.relaunch();
    EXPECT_EQ(loadAndWait(s), std::nullopt) << c.name;
    EXPECT_EQ(manager()->localizedDescription(), "fresh") << c.name;
    EXPECT_TRUE(s.consoleLines().empty()) << c.name;
  }
}

TEST(VPNTunnel, StartGoesThroughConnectingToConnectedAndStopBackToDisconnected) {
  Sandbox s;
  StatusLog log;
  log.attach();
  manager()->setProtocolConfiguration(workingIKEv2());
  manager()->setEnabled(true);
  // save, then load, then start in the load's completion, as the tunnel manager does
  std::mutex m;
  std::optional<bool> started;
  Duration startedAt{};
  manager()->saveToPreferences([&](std::optional<Error> error) {
    EXPECT_EQ(error, std::nullopt);
    manager()->loadFromPreferences([&](std::optional<Error> error) {
      EXPECT_EQ(error, std::nullopt);
      Error startError;
      const bool ok = manager()->connection()->startVPNTunnelAndReturnError(&startError);
      const auto statusRightAfter = status();
      std::lock_guard lock(m);
      started = ok;
      startedAt = now();
      EXPECT_EQ(statusRightAfter, NEVPNStatus::connecting);
    });
  });
  ASSERT_TRUE(reach(s, NEVPNStatus::connected));
  {
    std::lock_guard lock(m);
    EXPECT_EQ(started, true);
    EXPECT_EQ(now(), startedAt + seconds(0.3));
  }

  const Duration stoppedAt = now();
  manager()->connection()->stopVPNTunnel();
  EXPECT_EQ(status(), NEVPNStatus::disconnecting);
  ASSERT_TRUE(reach(s, NEVPNStatus::disconnected));
  EXPECT_EQ(now(), stoppedAt + seconds(0.2));
  s.loop().runFor(1.0);

  // the first save made the configuration known: invalid -> disconnected
  EXPECT_EQ(log.statuses(), (std::vector<NEVPNStatus>{NEVPNStatus::disconnected, NEVPNStatus::connecting,
                                                     NEVPNStatus::connected, NEVPNStatus::disconnecting,
                                                     NEVPNStatus::disconnected}));
  for (const auto& seen : log.seen()) {
    EXPECT_FALSE(seen.onMainThread);
    EXPECT_EQ(seen.object, manager()->connection().get());
  }
  for (const auto& l : s.consoleLines()) ADD_FAILURE() << l;
}

TEST(VPNTunnel, ConnectedTunnelOutlivesTheProcess) {
  Sandbox s;
  install(s, workingIKEv2());
  startTunnel();
  ASSERT_TRUE(reach(s, NEVPNStatus::connected));

  s.relaunch();
  StatusLog log;
  log.attach();
  EXPECT_EQ(status(), NEVPNStatus::invalid);  // until loaded
  EXPECT_EQ(loadAndWait(s), std::nullopt);
  EXPECT_EQ(status(), NEVPNStatus::connected);
  EXPECT_EQ(log.statuses(), std::vector<NEVPNStatus>{NEVPNStatus::connected});

  manager()->connection()->stopVPNTunnel();
  ASSERT_TRUE(reach(s, NEVPNStatus::disconnected));
  s.relaunch();
  EXPECT_EQ(loadAndWait(s), std::nullopt);
  EXPECT_EQ(status(), NEVPNStatus::disconnected);
}

TEST(VPNTunnel, StartWhileActiveIsASuccessfulNoOp) {
  Sandbox s;
  install(s, workingIKEv2());
  StatusLog log;
  log.attach();
  const Duration t0 = now();
  startTunnel();
  s.loop().runFor(0.2);
  EXPECT_TRUE(startTunnel());  // connecting: the pending step keeps its time
  ASSERT_TRUE(reach(s, NEVPNStatus::connected));
  EXPECT_EQ(now(), t0 + seconds(0.3));

  EXPECT_TRUE(startTunnel());
  vpnFacility().setTunnelStatus(NEVPNStatus::reasserting);
  EXPECT_TRUE(startTunnel());
  s.loop().runFor(1.0);
  EXPECT_EQ(status(), NEVPNStatus::reasserting);
  EXPECT_EQ(log.statuses(),
            (std::vector<NEVPNStatus>{NEVPNStatus::connecting, NEVPNStatus::connected, NEVPNStatus::reasserting}));
  EXPECT_EQ(vpnFacility().startCount(), 4);
}

TEST(VPNTunnel, ConfigurationThatCannotWorkFallsBackToDisconnectedWithOneLine) {
  struct Case {
    const char* name;
    std::function<std::shared_ptr<NEVPNProtocol>()> make;
    std::optional<std::string> reason;  // none: the tunnel comes up
  };
  const std::vector<Case> cases = {
      {"a working IKEv2 configuration", [] { return workingIKEv2(); }, std::nullopt},
      {"no password reference",
       [] {
         auto p = workingIKEv2();
         p->passwordReference.reset();
         return p;
       },
       std::nullopt},
      {"no protocol", [] { return nullptr; }, "no protocol configuration"},
      {"IPsec, not IKEv2",
       [] {
         auto p = std::make_shared<NEVPNProtocolIPSec>();
         p->serverAddress = "vpn.example.test";
         p->authenticationMethod = NEVPNIKEAuthenticationMethod::sharedSecret;
         p->sharedSecretReference = keychainReference("shared", "psk");
         return p;
       },
       "not IKEv2"},
      {"no server address",
       [] {
         auto p = workingIKEv2();
         p->serverAddress.reset();
         return p;
       },
       "no server address"},
      {"an empty server address",
       [] {
         auto p = workingIKEv2();
         p->serverAddress = "";
         return p;
       },
       "no server address"},
      {"an empty shared-secret reference",
       [] {
         auto p = workingIKEv2();
         p->sharedSecretReference = Bytes{};
         return p;
       },
       "shared-secret reference names no keychain item"},
      {"no shared-secret reference",
       [] {
         auto p = workingIKEv2();
         p->sharedSecretReference.reset();
         return p;
       },
       "shared-secret reference names no keychain item"},
      {"a shared-secret reference to a deleted item",
       [] {
         auto p = workingIKEv2();
         deleteKeychainItem("shared");
         return p;
       },
       "shared-secret reference names no keychain item"},
      {"a password reference to a deleted item",
       [] {
         auto p = workingIKEv2();
         deleteKeychainItem("password");
         return p;
       },
       "password reference names no keychain item"},
  };
  for (const auto& c : cases) {
    Sandbox s;
    install(s, c.make());
    StatusLog log;
    log.attach();
    EXPECT_TRUE(startTunnel()) << c.name;
    EXPECT_EQ(status(), NEVPNStatus::connecting) << c.name;
    s.loop().runFor(0.3);
    s.loop().runUntilIdle();
    const auto end = c.reason ? NEVPNStatus::disconnected : NEVPNStatus::connected;
    EXPECT_EQ(status(), end) << c.name;
    EXPECT_EQ(log.statuses(), (std::vector<NEVPNStatus>{NEVPNStatus::connecting, end})) << c.name;
    const auto lines = s.consoleLines();
    if (!c.reason) {
      EXPECT_TRUE(lines.empty()) << c.name;
      continue;
    }
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_NE(lines[0].find(*c.reason), std::string::npos) << c.name << ": " << lines[0];
  }
}

TEST(VPNTunnel, RefusedStartReportsWhyAndChangesNothing) {
  const Error scripted{"NEVPNErrorDomain", 3, "scripted refusal"};
  struct Case {
    const char* name;
    std::function<void(Sandbox&)> setUp;
    Error expected;
    NEVPNStatus status;
  };
  const std::vector<Case> cases = {
      {"never loaded in this process",
       [](Sandbox& s) {
         install(s, workingIKEv2());
         s.relaunch();
       },
       {NEVPNErrorDomain, 1, "the VPN configuration has not been loaded"},
       NEVPNStatus::invalid},
      {"nothing saved", [](Sandbox& s) { EXPECT_EQ(loadAndWait(s), std::nullopt); },
       {NEVPNErrorDomain, 1, "no VPN configuration is saved"}, NEVPNStatus::invalid},
      {"saved disabled", [](Sandbox& s) { install(s, workingIKEv2(), false); },
       {NEVPNErrorDomain, 2, "the VPN configuration is disabled"}, NEVPNStatus::disconnected},
      {"refused by the script",
       [&](Sandbox& s) {
         install(s, workingIKEv2());
         vpnFacility().refuseNextStarts(scripted);
       },
       scripted, NEVPNStatus::disconnected},
  };
  for (const auto& c : cases) {
    Sandbox s;
    c.setUp(s);
    StatusLog log;
    log.attach();
    Error error;
    EXPECT_FALSE(manager()->connection()->startVPNTunnelAndReturnError(&error)) << c.name;
    EXPECT_EQ(error, c.expected) << c.name;
    EXPECT_EQ(status(), c.status) << c.name;
    s.loop().runFor(1.0);
    EXPECT_EQ(status(), c.status) << c.name;
    EXPECT_TRUE(log.seen().empty()) << c.name;
    EXPECT_TRUE(s.consoleLines().empty()) << c.name;
  }
}

TEST(VPNTunnel, StopAndStartTakeOverFromAPendingStep) {
  Sandbox s;
  install(s, workingIKEv2());
  StatusLog log;
  log.attach();

  // nothing to stop
  manager()->connection()->stopVPNTunnel();
  EXPECT_EQ(status(), NEVPNStatus::disconnected);

  const Duration t0 = now();
  startTunnel();
  s.loop().runFor(0.1);
  manager()->connection()->stopVPNTunnel();
  EXPECT_EQ(status(), NEVPNStatus::disconnecting);
  ASSERT_TRUE(reach(s, NEVPNStatus::disconnected));
  EXPECT_EQ(now(), t0 + seconds(0.3));
  s.loop().runFor(1.0);  // the connect step that was due at t0 + 0.3 no longer applies
  EXPECT_EQ(status(), NEVPNStatus::disconnected);

  // a start while disconnecting connects, and the pending disconnect step is dropped
  startTunnel();
  ASSERT_TRUE(reach(s, NEVPNStatus::connected));
  const Duration t1 = now();
  manager()->connection()->stopVPNTunnel();
  s.loop().runFor(0.1);
  startTunnel();
  EXPECT_EQ(status(), NEVPNStatus::connecting);
  s.loop().runFor(0.15);  // past t1 + 0.2, when the disconnect step was due
  EXPECT_EQ(status(), NEVPNStatus::connecting);
  ASSERT_TRUE(reach(s, NEVPNStatus::connected));
  EXPECT_EQ(now(), t1 + seconds(0.4));
  s.loop().runFor(1.0);

  using S = NEVPNStatus;
  EXPECT_EQ(log.statuses(), (std::vector<NEVPNStatus>{S::connecting, S::disconnecting, S::disconnected, S::connecting,
                                                     S::connected, S::disconnecting, S::connecting, S::connected}));
  EXPECT_EQ(vpnFacility().stopCount(), 3);
}

TEST(VPNTunnel, StepLeftPendingByAnEndedProcessHasFinishedAtTheNextLaunch) {
  struct Case {
    const char* name;
    std::function<void(Sandbox&)> leave;
    NEVPNStatus found;
    size_t lines;
  };
  const std::vector<Case> cases = {
      {"connecting with a working configuration",
       [](Sandbox& s) {
         install(s, workingIKEv2());
         startTunnel();
       },
       NEVPNStatus::connected, 0},
      {"connecting with a secret deleted meanwhile",
       [](Sandbox& s) {
         install(s, workingIKEv2());
         startTunnel();
         deleteKeychainItem("shared");
       },
       NEVPNStatus::disconnected, 1},
      {"disconnecting",
       [](Sandbox& s) {
         install(s, workingIKEv2());
         startTunnel();
         ASSERT_TRUE(reach(s, NEVPNStatus::connected));
         manager()->connection()->stopVPNTunnel();
       },
       NEVPNStatus::disconnected, 0},
  };
  for (const auto& c : cases) {
    Sandbox s;
    c.leave(s);
    s.relaunch();
    EXPECT_EQ(loadAndWait(s), std::nullopt) << c.name;
    EXPECT_EQ(status(), c.found) << c.name;
    EXPECT_EQ(s.consoleLines().size(), c.lines) << c.name;
    s.loop().runFor(1.0);
    EXPECT_EQ(status(), c.found) << c.name;
  }
}

TEST(VPNFacilityControl, InstalledTunnelIsWhatTheNextLoadFinds) {
  Sandbox s;
  auto other = std::make_shared<NEVPNProtocolIKEv2>();
  other->serverAddress = "other.example.test";
  other->localIdentifier = "SomeoneElse";
  vpnFacility().installConfiguration(NEVPNSavedConfiguration{other, "SomeoneElse", false, true});
  vpnFacility().setTunnelStatus(NEVPNStatus::connected);
  StatusLog log;
  log.attach();
  EXPECT_EQ(status(), NEVPNStatus::invalid);

  EXPECT_EQ(loadAndWait(s), std::nullopt);
  EXPECT_EQ(status(), NEVPNStatus::connected);
  EXPECT_EQ(log.statuses(), std::vector<NEVPNStatus>{NEVPNStatus::connected});
  auto loaded = std::dynamic_pointer_cast<NEVPNProtocolIKEv2>(manager()->protocolConfiguration());
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->localIdentifier, "SomeoneElse");
  EXPECT_FALSE(manager()->enabled());
  EXPECT_TRUE(manager()->onDemandEnabled());
  EXPECT_TRUE(vpnFacility().saves().empty());

  s.relaunch();
  EXPECT_EQ(loadAndWait(s), std::nullopt);
  EXPECT_EQ(status(), NEVPNStatus::connected);
  EXPECT_EQ(manager()->localizedDescription(), "SomeoneElse");
}

TEST(VPNFacility, ManyThreadsAtOnceEachCompletionOnce) {
  Sandbox s;
  install(s, workingIKEv2());
  Completions completions;
  constexpr int kThreads = 4, kRounds = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t, m = manager()] {
      for (int i = 0; i < kRounds; ++i) {
        m->setLocalizedDescription("thread " + std::to_string(t));
        m->setEnabled(true);
        (void)m->onDemandEnabled();
        (void)m->protocolConfiguration();
        m->saveToPreferences(completions.handler());
        m->loadFromPreferences(completions.handler());
        m->connection()->startVPNTunnelAndReturnError(nullptr);
        if (i % 3 == 0) m->connection()->stopVPNTunnel();
        (void)m->connection()->status();
      }
    });
  }
  for (auto& t : threads) t.join();
  ASSERT_TRUE(s.loop().runUntil([&] { return completions.count() == 2u * kThreads * kRounds; }));
  s.loop().runFor(1.0);
  EXPECT_EQ(completions.count(), 2u * kThreads * kRounds);
  for (const auto& o : completions.all()) EXPECT_EQ(o.error, std::nullopt);
  manager()->connection()->stopVPNTunnel();
  s.loop().runFor(1.0);
  EXPECT_EQ(status(), NEVPNStatus::disconnected);
}

}  // namespace
}  // namespace platform
