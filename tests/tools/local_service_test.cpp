#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "platform/foundation/json.h"
#include "platform/security/keychain_wrapper.h"
#include "platform/testing/sandbox.h"
#include "tests/service_client/exchange_fixture.h"
#include "tools/local_service.h"
#include "vpn_core/server_list.h"

namespace {

namespace fs = std::filesystem;
using orvane_service::LocalService;
using platform::testing::Sandbox;

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(LocalServiceFixture, DefaultServerListIsCleanAndRealistic) {
  Sandbox sandbox;
  const std::string text = fileText(LocalService::defaultFixturesDirectory() / "server-list.json");
  const auto json = platform::JSONObjectWithData(text);
  ASSERT_TRUE(json.value);
  std::size_t listed = 0;
  for (const auto& country : (*json.value)["premiumServers"]["countries"])
    for (const auto& city : country["cities"]) listed += city["servers"].size();

  VPNServerManager::shared()->parseServers(text);
  const auto premium = VPNServerManager::shared()->premiumVPNServersArray();
  const auto free = VPNServerManager::shared()->freeVPNServersArray();
  EXPECT_EQ(premium.size(), listed);  // nothing skipped
  EXPECT_EQ(free.size(), (*json.value)["freeServers"].size());
  EXPECT_FALSE(free.empty());
  std::set<std::string> countries, cities, addresses;
  for (const auto* list : {&premium, &free}) {
    for (const auto& server : *list) {
      ASSERT_TRUE(server->address() && server->psk() && server->title() && server->city() && server->country() &&
                  server->countryCode() && server->loadPercent())
          << server->title().value_or("(untitled)");
      EXPECT_TRUE(addresses.insert(*server->address()).second) << *server->address();
      countries.insert(*server->country());
      cities.insert(*server->city());
    }
  }
  EXPECT_GE(countries.size(), 12u);
  EXPECT_GT(cities.size(), countries.size());
}

TEST(LocalServiceState, KnownInstallGetsItsTokenBackAfterARestart) {
  const fs::path state = fs::path(::testing::TempDir()) / ("orvane-service-state-" + std::to_string(::getpid()));
  fs::remove(state);
  std::string install, token;
  {
    LocalService service({.stateFile = state});
    Sandbox sandbox(service_testing::optionsFor(service.host(), service.certificateFile()));
    service_testing::callAndWait(sandbox, "sl");
    ASSERT_EQ(service.exchanges().size(), 1u);
    install = service.exchanges().back().issuedInstall;
    token = service.exchanges().back().issuedToken;
  }
  LocalService again({.stateFile = state});
  {
    Sandbox sandbox(service_testing::optionsFor(again.host(), again.certificateFile()));
    ASSERT_TRUE(platform::KeychainWrapper("com.orvane.vpn").set("index", install));
    service_testing::callAndWait(sandbox, "sl");
    ASSERT_EQ(again.exchanges().size(), 1u);
    EXPECT_EQ(again.exchanges().back().issuedInstall, install);
    EXPECT_EQ(again.exchanges().back().issuedToken, token);
    EXPECT_EQ(platform::KeychainWrapper("com.orvane.vpn").get("tag1"), token);
  }
  // a new install still gets a new identifier, not one issued before the restart
  Sandbox fresh(service_testing::optionsFor(again.host(), again.certificateFile()));
  service_testing::callAndWait(fresh, "sl");
  EXPECT_NE(again.exchanges().back().issuedInstall, install);
  fs::remove(state);
}

TEST(LocalServiceState, DamagedStateFileIsAClearError) {
  const fs::path state = fs::path(::testing::TempDir()) / ("orvane-service-bad-" + std::to_string(::getpid()));
  { std::ofstream(state) << "{\"issued\":\"x\"}"; }
  try {
    LocalService service({.stateFile = state});
    ADD_FAILURE() << "a damaged state was taken";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(state.string()), std::string::npos) << e.what();
  }
  fs::remove(state);
}

}  // namespace
