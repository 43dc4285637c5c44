#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/foundation/notification_center.h"
#include "platform/testing/sandbox.h"
#include "service_client/string_cipher.h"
#include "tests/service_client/exchange_fixture.h"
#include "tools/local_service.h"
#include "vpn_core/server_list.h"

namespace {

using nlohmann::json;
using platform::testing::Sandbox;

class ServerListParse : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {VPNServerManager::kServersLoaded, VPNServerManager::kFailedToLoadServers})
      platform::NotificationCenter::defaultCenter().addObserver(name, [this, name](const auto&) {
        std::lock_guard lock(mutex);
        posts.push_back(name);
      });
  }
  std::vector<std::string> takePosts() {
    std::lock_guard lock(mutex);
    return std::exchange(posts, {});
  }
  std::vector<std::string> console() { return sandbox.consoleLines(); }
  static std::string enciphered(const std::string& payload) {
    return QVExtStore::qv_add(payload, VPNServerManager::kServerListKey);
  }

  Sandbox sandbox;
  std::shared_ptr<VPNServerManager> manager = VPNServerManager::shared();
  std::mutex mutex;
  std::vector<std::string> posts;
};

std::vector<std::string> cities(const VPNServerList& list) {
  std::vector<std::string> out;
  for (const auto& s : list) out.push_back(s->city().value_or("-"));
  return out;
}

TEST_F(ServerListParse, PremiumRecordsComeInCountryCityServerOrder) {
  const json payload = json::parse(R"({
    "premiumServers": {"countries": [
      {"cities": [{"servers": [{"city": "A1"}]}, {"servers": [{"city": "A2"}]}]},
      "not a country",
      {"cities": [{"servers": [{"city": "B1"}, 7]}, "not a city", {"servers": [{"city": "B2"}]}]},
      {"cities": "not a list"}
    ]},
    "freeServers": [{"city": "F1"}, "x", {"city": "F2"}]
  })");
  manager->parseServers(payload.dump());
  const auto premium = manager->premiumVPNServersArray();
  EXPECT_EQ(cities(premium), (std::vector<std::string>{"A1", "A2", "B1", "B2"}));
  for (const auto& s : premium) {
    EXPECT_TRUE(s->isPremium());
    EXPECT_FALSE(s->isAutoSelect());
  }
  const auto free = manager->freeVPNServersArray();
  EXPECT_EQ(cities(free), (std::vector<std::string>{"F1", "F2"}));
  EXPECT_FALSE(free[0]->isPremium());
  EXPECT_TRUE(console().empty());
}

TEST_F(ServerListParse, MembersAreTakenOnlyWithTheirType) {
  struct Case {
    json server;
    std::optional<double> load;
    std::optional<std::string> psk, address;
  };
  const std::vector<Case> cases = {
      {{{"loadPercent", 42}, {"address", "a"}, {"credentials", {{"psk", {{"psk", "k"}}}}}}, 42.0, "k", "a"},
      {{{"loadPercent", 42.5}}, 42.5, std::nullopt, std::nullopt},
      {{{"loadPercent", "42"}, {"address", 5}}, std::nullopt, std::nullopt, std::nullopt},
      {{{"loadPercent", true}}, std::nullopt, std::nullopt, std::nullopt},
      {{{"credentials", {{"psk", "flat"}}}}, std::nullopt, std::nullopt, std::nullopt},
      {{{"credentials", {{"psk", {{"psk", 9}}}}}}, std::nullopt, std::nullopt, std::nullopt},
      {{{"credentials", "x"}}, std::nullopt, std::nullopt, std::nullopt},
      {json::object(), std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto s = VPNServer::initWithDictionary(c.server, true);
    EXPECT_EQ(s->loadPercent(), c.load) << c.server;
    EXPECT_EQ(s->psk(), c.psk) << c.server;
    EXPECT_EQ(s->address(), c.address) << c.server;
  }
  const auto full = VPNServer::initWithDictionary(
      {{"countryCode", "DE"}, {"country", "Germany"}, {"city", "Berlin"}, {"title", "Berlin 1"}}, false);
  EXPECT_EQ(full->countryCode(), "DE");
  EXPECT_EQ(full->country(), "Germany");
  EXPECT_EQ(full->city(), "Berlin");
  EXPECT_EQ(full->title(), "Berlin 1");
  EXPECT_FALSE(full->isPremium());
}

// Every member a record reads, in one comparable value.
auto fieldsOf(const VPNServer& s) {
  return std::make_tuple(s.countryCode(), s.country(), s.city(), s.loadPercent(), s.address(), s.title(), s.psk(),
                         s.isPremium());
}

// A payload's records take their texts out of the parsed list; they hold what reading each
// server object on its own gives.
TEST_F(ServerListParse, RecordsOfAPayloadHoldWhatEachServerObjectHolds) {
  const std::vector<json> servers = {
      {{"countryCode", "DE"}, {"country", "Germany"}, {"city", "Berlin"}, {"loadPercent", 12.5},
       {"address", "de-ber-1.vpn.orvane.test"}, {"title", "Berlin 1, the first of them"},
       {"credentials", {{"psk", {{"psk", "a secret longer than a short text"}}}}}},
      {{"city", 5}, {"address", "x"}, {"title", ""}, {"credentials", {{"psk", "flat"}}}},
      json::object(),
  };
  const json payload = {{"freeServers", servers},
                        {"premiumServers", {{"countries", {{{"cities", {{{"servers", servers}}}}}}}}}};
  manager->parseServers(payload.dump());
  for (const bool premium : {false, true}) {
    const auto records = premium ? manager->premiumVPNServersArray() : manager->freeVPNServersArray();
    ASSERT_EQ(records.size(), servers.size());
    for (size_t i = 0; i < servers.size(); ++i)
      EXPECT_EQ(fieldsOf(*records[i]), fieldsOf(*VPNServer::initWithDictionary(servers[i], premium))) << i;
  }
}

TEST_F(ServerListParse, OutcomesAndTheirNotifications) {
  const std::string oneServer = json{{"freeServers", {{{"city", "F"}}}}}.dump();
  struct Case {
    std::string name;
    std::optional<json> result;
    std::optional<platform::Error> error;
    std::string post;
    bool serversNotFound;
    size_t added;
    std::optional<std::string> failure;  // what lastLoadFailure() says then
  };
  const std::vector<Case> cases = {
      {"a list", json{{"servers", enciphered(oneServer)}}, std::nullopt, "serversLoaded", false, 1, std::nullopt},
      {"no lists in it", json{{"servers", enciphered("{}")}}, std::nullopt, "serversLoaded", false, 0, std::nullopt},
      {"wrong key", json{{"servers", QVExtStore::qv_add(oneServer, "another key, thirty-two chars..")}},
       std::nullopt, "serversLoaded", true, 0, "the server list could not be deciphered"},
      {"an array", json{{"servers", enciphered("[1]")}}, std::nullopt, "serversLoaded", true, 0,
       "the deciphered server list is not a JSON object"},
      {"not JSON", json{{"servers", enciphered("nope")}}, std::nullopt, "serversLoaded", true, 0,
       "the deciphered server list is not a JSON object"},
      {"not UTF-8", json{{"servers", enciphered("\xff\xfe")}}, std::nullopt, "failedToLoadServers", false, 0,
       "the server list did not decipher to text"},
      {"no servers", json::object(), std::nullopt, "failedToLoadServers", false, 0,
       "the service's reply held no server list"},
      {"servers not a text", json{{"servers", {1}}}, std::nullopt, "failedToLoadServers", false, 0,
       "the service's reply held no server list"},
      {"result not an object", json::array({json{{"servers", enciphered(oneServer)}}}), std::nullopt,
       "failedToLoadServers", false, 0, "the service's reply held no server list"},
      {"no result", std::nullopt, std::nullopt, "failedToLoadServers", false, 0,
       "the service's reply held no result"},
      {"an error", json{{"servers", enciphered(oneServer)}}, platform::Error{"NSURLErrorDomain", -1001, "timed out"},
       "failedToLoadServers", false, 0, "timed out"},
  };
  for (const auto& c : cases) {
    const auto before = manager->freeVPNServersArray().size();
    const auto linesBefore = console().size();
    manager->decryptServerReply(c.result, c.error);
    EXPECT_EQ(takePosts(), std::vector<std::string>{c.post}) << c.name;
    const auto lines = console();
    EXPECT_EQ(lines.size() - linesBefore, c.serversNotFound ? 1u : 0u) << c.name;
    if (c.serversNotFound && !lines.empty()) {
      EXPECT_EQ(lines.back(), "Servers not found") << c.name;
    }
    EXPECT_EQ(manager->freeVPNServersArray().size() - before, c.added) << c.name;
    EXPECT_EQ(manager->lastLoadFailure(), c.failure) << c.name;
  }
}

TEST_F(ServerListParse, ReadersNeverSeeHalfAnAppend) {
  json servers = json::array();
  for (int i = 0; i < 50; ++i) servers.push_back({{"city", std::to_string(i)}});
  const std::string payload = json{{"freeServers", servers}}.dump();
  std::atomic<bool> stop{false};
  std::atomic<bool> sawHalf{false};
  std::thread reader([&] {
    while (!stop)
      if (manager->freeVPNServersArray().size() % 50 != 0) sawHalf = true;
  });
  for (int i = 0; i < 20; ++i) manager->parseServers(payload);
  stop = true;
  reader.join();
  EXPECT_FALSE(sawHalf);
  EXPECT_EQ(manager->freeVPNServersArray().size(), 1000u);
}

// Through the real exchange with the local service.
class ServerListFetch : public ::testing::Test {
 protected:
  ServerListFetch() {
    for (const char* name : {VPNServerManager::kServersLoaded, VPNServerManager::kFailedToLoadServers})
      platform::NotificationCenter::defaultCenter().addObserver(name, [this, name](const auto&) {
        std::lock_guard lock(mutex);
        posts.push_back({name, platform::isMainThread()});
      });
  }
  std::pair<std::string, bool> fetch() {
    const auto count = [this] {
      std::lock_guard lock(mutex);
      return posts.size();
    };
    const auto before = count();
    VPNServerManager::shared()->fetchServers();
    sandbox.loop().runUntil([&] { return count() > before; });
    std::lock_guard lock(mutex);
    return posts.back();
  }

  // the tests' own list, with the malformed records the parser has to skip
  orvane_service::LocalService service{{.fixtures = ORVANE_TEST_FIXTURES}};
  Sandbox sandbox{service_testing::optionsFor(service.host(), service.certificateFile())};
  std::mutex mutex;
  std::vector<std::pair<std::string, bool>> posts;
};

TEST_F(ServerListFetch, FixtureListArrivesAndASecondFetchDoublesIt) {
  EXPECT_EQ(fetch(), std::make_pair(std::string("serversLoaded"), false));
  const auto premium = VPNServerManager::shared()->premiumVPNServersArray();
  EXPECT_EQ(cities(premium), (std::vector<std::string>{"New York", "New York", "Dallas", "Frankfurt", "Frankfurt",
                                                       "Tokyo"}));
  EXPECT_EQ(premium[0]->psk(), "ny-1-secret");
  EXPECT_EQ(premium[1]->psk(), std::nullopt);          // credentials.psk is flat
  EXPECT_EQ(premium[1]->loadPercent(), std::nullopt);  // a text
  EXPECT_EQ(premium[4]->address(), std::nullopt);
  EXPECT_EQ(premium[4]->loadPercent(), std::nullopt);  // a Boolean
  EXPECT_EQ(VPNServerManager::shared()->freeVPNServersArray().size(), 1u);

  fetch();
  const auto twice = VPNServerManager::shared()->premiumVPNServersArray();
  ASSERT_EQ(twice.size(), 12u);
  EXPECT_NE(twice[0], twice[6]);  // a second record, not the same one
  EXPECT_EQ(twice[0]->address(), twice[6]->address());
}

TEST_F(ServerListFetch, FailuresThroughTheExchange) {
  struct Case {
    std::string name;
    std::optional<json> servers;
    std::optional<orvane_service::LocalService::Mode> mode;
    std::string post;
  };
  const std::vector<Case> cases = {
      {"wrong key", json(QVExtStore::qv_add("{}", "not the server-list key")), std::nullopt, "serversLoaded"},
      {"plaintext not UTF-8",
       json(QVExtStore::qv_add("\xc3\x28", VPNServerManager::kServerListKey)), std::nullopt, "failedToLoadServers"},
      {"no servers member", std::nullopt, std::nullopt, "failedToLoadServers"},
      {"transfer fails", json("x"), orvane_service::LocalService::Mode::resetConnection, "failedToLoadServers"},
  };
  for (const auto& c : cases) {
    service.setServersMember(c.servers);
    service.setMode("sl", c.mode.value_or(orvane_service::LocalService::Mode::answer));
    EXPECT_EQ(fetch().first, c.post) << c.name;
    EXPECT_TRUE(VPNServerManager::shared()->premiumVPNServersArray().empty()) << c.name;
  }
}

}  // namespace
