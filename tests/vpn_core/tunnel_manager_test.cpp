#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/foundation/user_defaults.h"
#include "platform/testing/vpn_testing.h"
#include "platform/security/keychain.h"
#include "platform/security/keychain_wrapper.h"
#include "platform/testing/full_disk.h"
#include "platform/testing/sandbox.h"
#include "vpn_core/tunnel_manager.h"

namespace {

using nlohmann::json;
using platform::NEVPNStatus;
using platform::PlistValue;
using platform::testing::Sandbox;
using platform::testing::vpnFacility;

// Records every status the manager reports, and the thread it reports it on.
class RecordingDelegate : public VPNConnectionManagerDelegate {
 public:
  void vpnConnectionStateChanged() override {
    std::lock_guard lock(mutex);
    seen.push_back(VPNConnectionManager::shared()->vpnConnectionState());
  }
  std::vector<NEVPNStatus> statuses() {
    std::lock_guard lock(mutex);
    return seen;
  }
  std::mutex mutex;
  std::vector<NEVPNStatus> seen;
};

std::shared_ptr<VPNServer> server(const std::string& address, std::optional<std::string> psk = "secret") {
  json object = {{"address", address}};
  if (psk) object["credentials"] = {{"psk", {{"psk", *psk}}}};
  return VPNServer::initWithDictionary(object, true);
}

// A premium list of these addresses, as the service would send it.
void loadList(const std::vector<std::string>& addresses) {
  json servers = json::array();
  for (const auto& a : addresses) servers.push_back({{"address", a}, {"credentials", {{"psk", {{"psk", "k-" + a}}}}}});
  VPNServerManager::shared()->parseServers(
      json{{"premiumServers", {{"countries", {{{"cities", {{{"servers", servers}}}}}}}}}}.dump());
}

std::optional<PlistValue> savedEntry() { return platform::UserDefaults::standard()->objectForKey("vpnAddress"); }

PlistValue entry(const std::string& address, bool autoSelect) {
  return PlistValue(PlistValue::Dictionary{{"vpnAddress", PlistValue(address)}, {"isAutoSelect", PlistValue(autoSelect)}});
}

class TunnelManager : public ::testing::Test {
 protected:
  // The manager made, its construction-time load done.
  std::shared_ptr<VPNConnectionManager> manager() {
    auto m = VPNConnectionManager::shared();
    sandbox.loop().runFor(platform::seconds(1));  // the construction-time load
    return m;
  }
  std::vector<std::string> console() { return sandbox.consoleLines(); }
  std::vector<std::string> consoleSince(size_t from) {
    auto lines = console();
    return {lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end()};
  }

  Sandbox sandbox;
};

TEST_F(TunnelManager, ConnectBuildsSavesAndStartsTheIKEv2Configuration) {
  ASSERT_TRUE(platform::KeychainWrapper("com.orvane.vpn").set("index", "install-7"));
  auto m = manager();
  auto delegate = std::make_shared<RecordingDelegate>();
  m->setDelegate(delegate);
  auto chosen = server("us-1.example.test", "the-psk");
  m->connectToServer(chosen);
  EXPECT_EQ(m->currentServer(), chosen);
  EXPECT_EQ(savedEntry(), entry("us-1.example.test", false));
  sandbox.loop().runFor(platform::seconds(2));

  EXPECT_EQ(m->vpnConnectionState(), NEVPNStatus::connected);
  EXPECT_EQ(delegate->statuses(), (std::vector<NEVPNStatus>{NEVPNStatus::disconnected, NEVPNStatus::connecting,
                                                            NEVPNStatus::connected}));
  const auto saves = vpnFacility().saves();
  ASSERT_EQ(saves.size(), 1u);  // the second attempt found the tunnel up
  const auto& saved = saves[0].configuration;
  EXPECT_EQ(saved.localizedDescription, "OrvaneVPN");
  EXPECT_TRUE(saved.enabled);
  auto p = std::dynamic_pointer_cast<platform::NEVPNProtocolIKEv2>(saved.protocolConfiguration);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->serverAddress, "us-1.example.test");
  EXPECT_EQ(p->remoteIdentifier, "install-7");
  EXPECT_EQ(p->localIdentifier, "OrvaneVPN");
  for (const auto& sa : {p->ikeSecurityAssociationParameters, p->childSecurityAssociationParameters}) {
    EXPECT_EQ(static_cast<int>(sa.diffieHellmanGroup), 14);
    EXPECT_EQ(static_cast<int>(sa.encryptionAlgorithm), 3);
    EXPECT_EQ(static_cast<int>(sa.integrityAlgorithm), 1);
  }
  EXPECT_EQ(static_cast<int>(p->authenticationMethod), 2);
  EXPECT_FALSE(p->useExtendedAuthentication);
  EXPECT_FALSE(p->disconnectOnSleep);
  for (const auto& ref : {p->sharedSecretReference, p->passwordReference}) {
    ASSERT_TRUE(ref);
    const auto item = platform::SecItemResolvePersistentRef(*ref);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->at(platform::kSecValueData), PlistValue(platform::toBytes("the-psk")));
  }
  EXPECT_NE(p->sharedSecretReference, p->passwordReference);
}

TEST_F(TunnelManager, ConnectWithoutAServerOrAKeyStoresTheChoiceOnly) {
  auto m = manager();
  platform::UserDefaults::standard()->setObject(entry("old", false), "vpnAddress");
  m->connectToServer(nullptr);
  EXPECT_EQ(m->currentServer(), nullptr);
  EXPECT_EQ(savedEntry(), std::nullopt);

  auto keyless = server("keyless.example.test", std::nullopt);
  m->connectToServer(keyless);
  EXPECT_EQ(m->currentServer(), keyless);
  EXPECT_EQ(savedEntry(), entry("keyless.example.test", false));
  sandbox.loop().runFor(platform::seconds(2));
  EXPECT_TRUE(vpnFacility().saves().empty());
  EXPECT_EQ(vpnFacility().startCount(), 0);

  // without an address the entry names no server
  auto nowhere = VPNServer::initWithDictionary(json::object(), true);
  nowhere->setIsAutoSelect(true);
  m->connectToServer(nowhere);
  EXPECT_EQ(savedEntry(), PlistValue(PlistValue::Dictionary{{"isAutoSelect", PlistValue(true)}}));
}

TEST_F(TunnelManager, ReusedConfigurationKeepsWhatItDoesNotSet) {
  auto m = manager();
  auto old = std::make_shared<platform::NEVPNProtocolIKEv2>();
  old->username = "kept";
  old->useExtendedAuthentication = true;
  m->vpnManager()->setProtocolConfiguration(old);
  m->setCurrentServer(server("a"));
  const auto built = m->makeIKEv2Protocol();
  ASSERT_TRUE(built);
  EXPECT_EQ(built->username, "kept");
  EXPECT_FALSE(built->useExtendedAuthentication);
}

// The second attempt, 0.5 s after the first save, on the virtual clock.
TEST(TunnelManagerTable, DelayedAttemptTable) {
  using platform::Error;
  struct Case {
    std::string name;
    std::function<void()> script;
    size_t saves;
    std::vector<std::string> lines;
    NEVPNStatus end;
    std::optional<std::string> failure;  // why the connect failed, once no attempt is pending
  };
  const Error denied = platform::testing::VPNFacilityControl::permissionDenied();
  const Error full{"NEVPNErrorDomain", 5, "disk full"};
  const Error unreadable{"NEVPNErrorDomain", 5, "unreadable"};
  const Error refused{"NEVPNErrorDomain", 1, "refused"};
  const std::vector<Case> cases = {
      {"all well", [] {}, 1, {}, NEVPNStatus::connected, std::nullopt},
      {"permission denied before the delay", [&] { vpnFacility().refuseNextSaves(denied); }, 1,
       {"configuration Save Error: permission denied"}, NEVPNStatus::invalid,  // nothing saved
       "the VPN configuration could not be saved: permission denied"},
      {"permission denied after the delay",
       [&] {
         vpnFacility().setTimings({.save = 0.8, .load = 0.1, .connect = 0.3, .disconnect = 0.2});
         vpnFacility().refuseNextSaves(denied);
       },
       2, {"configuration Save Error: permission denied"}, NEVPNStatus::connected, std::nullopt},
      {"another save error", [&] { vpnFacility().refuseNextSaves(full); }, 2, {"configuration Save Error: disk full"},
       NEVPNStatus::connected, std::nullopt},
      {"both saves fail", [&] { vpnFacility().refuseNextSaves(full, 2); }, 2,
       {"configuration Save Error: disk full", "configuration Save Error: disk full"}, NEVPNStatus::invalid,
       "the VPN configuration could not be saved: disk full"},
      {"first load fails", [&] { vpnFacility().failNextLoads(unreadable); }, 2, {"Load config failed unreadable"},
       NEVPNStatus::connected, std::nullopt},
      {"both loads fail", [&] { vpnFacility().failNextLoads(unreadable, 2); }, 2,
       {"Load config failed unreadable", "Configuration loading Error: unreadable"}, NEVPNStatus::disconnected,
       "the VPN configuration could not be loaded: unreadable"},
      {"start refused", [&] { vpnFacility().refuseNextStarts(refused); }, 2, {"Start VPN failed refused"},
       NEVPNStatus::connected, std::nullopt},
  };
  for (const auto& c : cases) {
    Sandbox s;
    auto m = VPNConnectionManager::shared();
    s.loop().runFor(platform::seconds(1));
    c.script();
    const size_t before = s.consoleLines().size();
    m->connectToServer(server("a"));
    EXPECT_TRUE(m->attemptsPending()) << c.name;
    s.loop().runFor(platform::seconds(3));
    EXPECT_FALSE(m->attemptsPending()) << c.name;
    EXPECT_EQ(m->lastConnectFailure(), c.failure) << c.name;
    const auto all = s.consoleLines();
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()), c.lines) << c.name;
    EXPECT_EQ(vpnFacility().saves().size(), c.saves) << c.name;
    EXPECT_EQ(m->vpnManager()->connection()->status(), c.end) << c.name;
    if (c.name == "start refused") {
      EXPECT_EQ(vpnFacility().stopCount(), 1) << c.name;
    }
  }
}

// The keychain fills up as the key is stored: the attempts and their lines are as always, and the
// manager knows why the tunnel did not come up.
TEST_F(TunnelManager, AKeyTheKeychainCannotStoreIsWhyTheConnectFailed) {
  platform::testing::FullDisk disk(sandbox.device().keychainPath());
  disk.fillAt("pskSharedKey");
  auto m = manager();
  const size_t before = console().size();
  m->connectToServer(server("a"));
  sandbox.loop().runFor(platform::seconds(3));
  EXPECT_FALSE(m->attemptsPending());
  EXPECT_EQ(m->vpnManager()->connection()->status(), NEVPNStatus::disconnected);
  EXPECT_EQ(m->lastConnectFailure(), "the pre-shared key could not be stored (the keychain could not be read or "
                                     "written: database or disk is full)");
  for (const auto& line : consoleSince(before))
    EXPECT_TRUE(line.rfind("Keychain: ", 0) == 0 || line.rfind("VPN tunnel could not connect: ", 0) == 0) << line;

  // a connect that cannot build a configuration says why; the next connect starts afresh
  m->connectToServer(server("b", std::nullopt));
  EXPECT_FALSE(m->attemptsPending());
  EXPECT_EQ(m->lastConnectFailure(), "the server has no pre-shared key");
  m->connectToServer(nullptr);
  EXPECT_EQ(m->lastConnectFailure(), "no server is chosen");
}

TEST_F(TunnelManager, StatusAtTheDelayDecidesTheSecondAttempt) {
  auto m = manager();
  // a slow first save: the second attempt sees the tunnel still down and saves again
  vpnFacility().setTimings({.save = 0.6, .load = 0.1, .connect = 0.3, .disconnect = 0.2});
  m->connectToServer(server("a"));
  sandbox.loop().runFor(platform::seconds(0.5));
  EXPECT_EQ(vpnFacility().saves().size(), 2u);
  sandbox.loop().runFor(platform::seconds(3));
  EXPECT_EQ(m->vpnManager()->connection()->status(), NEVPNStatus::connected);
  // two connects in quick succession each have their own second attempt
  vpnFacility().setTimings({.save = 0.1, .load = 0.1, .connect = 0.3, .disconnect = 0.2});
  m->vpnManager()->connection()->stopVPNTunnel();
  sandbox.loop().runFor(platform::seconds(1));
  vpnFacility().refuseNextSaves(platform::Error{"NEVPNErrorDomain", 5, "x"}, 2);
  m->connectToServer(server("a"));
  m->connectToServer(server("b"));
  sandbox.loop().runFor(platform::seconds(3));
  EXPECT_EQ(vpnFacility().saves().size(), 2u + 4u);
}

TEST_F(TunnelManager, StopWithdrawsThePendingSecondAttempt) {
  auto m = manager();
  vpnFacility().refuseNextSaves(platform::Error{"NEVPNErrorDomain", 5, "disk full"});
  m->connectToServer(server("a"));
  sandbox.loop().runFor(platform::seconds(0.2));
  m->withdrawPendingAttempts();
  sandbox.loop().runFor(platform::seconds(3));
  EXPECT_EQ(vpnFacility().saves().size(), 1u);
  EXPECT_NE(m->vpnManager()->connection()->status(), NEVPNStatus::connected);
  // a later connect has its own attempt again
  vpnFacility().refuseNextSaves(platform::Error{"NEVPNErrorDomain", 5, "disk full"});
  m->connectToServer(server("a"));
  sandbox.loop().runFor(platform::seconds(3));
  EXPECT_EQ(vpnFacility().saves().size(), 3u);
}

TEST_F(TunnelManager, RepeatedStatusIsSwallowedAndAnUnheardChangeIsNotReplayed) {
  auto m = manager();
  auto& center = platform::NotificationCenter::defaultCenter();
  center.post(platform::NEVPNStatusDidChangeNotification);  // no delegate yet, status unchanged
  m->connectToServer(server("a"));
  sandbox.loop().runFor(platform::seconds(2));
  EXPECT_EQ(m->vpnConnectionState(), NEVPNStatus::connected);  // stored without a delegate
  auto delegate = std::make_shared<RecordingDelegate>();
  m->setDelegate(delegate);
  center.post(platform::NEVPNStatusDidChangeNotification);
  EXPECT_TRUE(delegate->statuses().empty());
  m->vpnManager()->connection()->stopVPNTunnel();
  sandbox.loop().runFor(platform::seconds(2));
  EXPECT_EQ(delegate->statuses(), (std::vector<NEVPNStatus>{NEVPNStatus::disconnecting, NEVPNStatus::disconnected}));
  delegate.reset();  // held weakly: a gone delegate is not called
  m->connectToServer(server("a"));
  sandbox.loop().runFor(platform::seconds(2));
  EXPECT_EQ(m->vpnConnectionState(), NEVPNStatus::connected);
}

TEST(TunnelManagerTable, TunnelAlreadyConnectedAtConstruction) {
  struct Case {
    std::string name;
    std::shared_ptr<platform::NEVPNProtocol> protocol;
    bool ours;
  };
  auto ours = std::make_shared<platform::NEVPNProtocolIKEv2>();
  ours->serverAddress = "a";
  ours->localIdentifier = "OrvaneVPN";
  auto theirs = std::make_shared<platform::NEVPNProtocolIKEv2>();
  theirs->serverAddress = "a";
  theirs->localIdentifier = "Other";
  auto ipsec = std::make_shared<platform::NEVPNProtocolIPSec>();
  ipsec->serverAddress = "a";
  ipsec->localIdentifier = "OrvaneVPN";
  for (const auto& c : std::vector<Case>{{"ours", ours, true}, {"another identifier", theirs, false},
                                         {"not IKEv2", ipsec, false}}) {
    Sandbox s;
    vpnFacility().installConfiguration(platform::NEVPNSavedConfiguration{c.protocol, "x", false, true});
    vpnFacility().setTunnelStatus(NEVPNStatus::connected);
    auto m = VPNConnectionManager::shared();
    auto delegate = std::make_shared<RecordingDelegate>();
    m->setDelegate(delegate);
    EXPECT_EQ(m->vpnConnectionState(), NEVPNStatus::invalid) << c.name;
    s.loop().runFor(platform::seconds(1));
    // the load's status change and the manager's own check report it once
    EXPECT_EQ(delegate->statuses(), std::vector<NEVPNStatus>{NEVPNStatus::connected}) << c.name;
    const auto saves = vpnFacility().saves();
    if (c.ours) {
      EXPECT_TRUE(saves.empty()) << c.name;
    } else {
      ASSERT_EQ(saves.size(), 1u) << c.name;
      EXPECT_FALSE(saves[0].hadCompletion) << c.name;
      EXPECT_TRUE(saves[0].configuration.enabled) << c.name;
      EXPECT_FALSE(saves[0].configuration.onDemandEnabled) << c.name;
    }
  }
}

TEST_F(TunnelManager, ConstructionLoadFailureIsReported) {
  vpnFacility().failNextLoads(platform::Error{"NEVPNErrorDomain", 5, "no preferences"});
  manager();
  EXPECT_EQ(console(), std::vector<std::string>{"Load config failed no preferences"});
}

// "serversLoaded": restore the saved server, or pick one.
TEST(TunnelManagerTable, ServersLoadedRestoresOrPicks) {
  struct Case {
    std::string name;
    std::optional<PlistValue> saved;
    std::vector<std::string> list;
    std::optional<size_t> expectedIndex;  // none: a random pick
    bool autoSelect;
  };
  const std::vector<Case> cases = {
      {"first of two matches", entry("a", true), {"b", "a", "a"}, 1, true},
      {"no isAutoSelect", PlistValue(PlistValue::Dictionary{{"vpnAddress", PlistValue("a")}}), {"a"}, std::nullopt, false},
      {"isAutoSelect not a Boolean",
       PlistValue(PlistValue::Dictionary{{"vpnAddress", PlistValue("a")}, {"isAutoSelect", PlistValue(1)}}), {"a"},
       std::nullopt, false},
      {"not a dictionary", PlistValue("a"), {"a", "b"}, std::nullopt, false},
      {"no such server", entry("z", true), {"a", "b"}, std::nullopt, false},
      {"case matters", entry("A", false), {"a"}, std::nullopt, false},
      {"nothing saved", std::nullopt, {"a", "b", "c"}, std::nullopt, false},
  };
  for (const auto& c : cases) {
    Sandbox s;
    auto m = VPNConnectionManager::shared();
    platform::UserDefaults::standard()->setObject(c.saved, "vpnAddress");
    loadList(c.list);
    platform::NotificationCenter::defaultCenter().post("serversLoaded");
    s.loop().runUntilIdle();
    const auto list = VPNServerManager::shared()->premiumVPNServersArray();
    const auto current = m->currentServer();
    ASSERT_TRUE(current) << c.name;
    if (c.expectedIndex) {
      EXPECT_EQ(current, list[*c.expectedIndex]) << c.name;
    }
    EXPECT_NE(std::find(list.begin(), list.end(), current), list.end()) << c.name;
    EXPECT_EQ(current->isAutoSelect(), c.autoSelect) << c.name;
    EXPECT_EQ(savedEntry(), entry(*current->address(), c.autoSelect)) << c.name;
  }
}

TEST_F(TunnelManager, ServersLoadedWithAnEmptyListKeepsTheRememberedServer) {
  auto m = manager();
  platform::UserDefaults::standard()->setObject(entry("a", false), "vpnAddress");
  platform::NotificationCenter::defaultCenter().post("serversLoaded");
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(m->currentServer(), nullptr);
  EXPECT_EQ(savedEntry(), entry("a", false));
}

TEST(TunnelManagerTable, RandomPickIsUniformOverTheList) {
  std::vector<int> picks(4, 0);
  for (int i = 0; i < 200; ++i) {
    Sandbox::Options options;
    options.seed = static_cast<std::uint64_t>(i + 1);
    Sandbox s(options);
    VPNConnectionManager::shared();
    loadList({"a", "b", "c", "d"});
    platform::NotificationCenter::defaultCenter().post("serversLoaded");
    s.loop().runUntilIdle();
    ++picks[static_cast<size_t>(VPNConnectionManager::shared()->currentServer()->address()->at(0) - 'a')];
  }
  for (int count : picks) EXPECT_GT(count, 25) << ::testing::PrintToString(picks);
}

TEST(TunnelManagerTable, RandomPickSkipsServersWithoutAnAddress) {
  const auto pick = [](const json& servers, std::uint64_t seed) {
    Sandbox::Options options;
    options.seed = seed;
    Sandbox s(options);
    VPNConnectionManager::shared();
    VPNServerManager::shared()->parseServers(
        json{{"premiumServers", {{"countries", {{{"cities", {{{"servers", servers}}}}}}}}}}.dump());
    platform::NotificationCenter::defaultCenter().post("serversLoaded");
    s.loop().runUntilIdle();
    const auto current = VPNConnectionManager::shared()->currentServer();
    return current ? current->title().value_or("") : std::string("(none)");
  };
  const json mixed = {{{"title", "n1"}}, {{"title", "a"}, {"address", "x"}}, {{"title", "n2"}},
                      {{"title", "b"}, {"address", "y"}}, {{"title", "n3"}}};
  std::set<std::string> drawn;
  for (std::uint64_t seed = 1; seed <= 40; ++seed) drawn.insert(pick(mixed, seed));
  EXPECT_EQ(drawn, (std::set<std::string>{"a", "b"}));
  // with no address anywhere the draw still picks one of them
  drawn.clear();
  for (std::uint64_t seed = 1; seed <= 40; ++seed) drawn.insert(pick(json{{{"title", "n1"}}, {{"title", "n2"}}}, seed));
  EXPECT_EQ(drawn, (std::set<std::string>{"n1", "n2"}));
}

TEST_F(TunnelManager, RelaunchRestoresTheRememberedServer) {
  auto m = manager();
  loadList({"a", "b", "c"});
  auto chosen = VPNServerManager::shared()->premiumVPNServersArray()[2];
  chosen->setIsAutoSelect(true);
  m->connectToServer(chosen);
  sandbox.loop().runFor(platform::seconds(2));

  sandbox.relaunch();
  auto again = VPNConnectionManager::shared();
  loadList({"a", "b", "c"});
  platform::NotificationCenter::defaultCenter().post("serversLoaded");
  sandbox.loop().runFor(platform::seconds(1));
  ASSERT_TRUE(again->currentServer());
  EXPECT_EQ(again->currentServer()->address(), "c");
  EXPECT_TRUE(again->currentServer()->isAutoSelect());
  EXPECT_EQ(again->vpnConnectionState(), NEVPNStatus::connected);  // the tunnel outlived the process
}

}  // namespace
