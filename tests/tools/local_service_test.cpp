#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <iterator>
#include <set>
#include <vector>
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

// A damaged state is kept aside under a new name and the service starts afresh, whatever the damage.
TEST(LocalServiceState, DamagedStateFileIsKeptAsideAndTheServiceStartsAfresh) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("orvane-service-damage-" + std::to_string(::getpid()));
  const fs::path state = dir / "local-service.json";
  struct Damage {
    const char* name;
    std::function<void()> make;
  };
  auto write = [&](const std::string& text) { std::ofstream(state, std::ios::binary) << text; };
  const std::vector<Damage> damages = {
      {"empty", [&] { write(""); }},
      {"cut short", [&] { write("{\"issued\":3,\"tok"); }},
      {"random bytes", [&] { write(std::string("\x8f\x00\xff{\x01", 5)); }},
      {"wrong shape", [&] { write("{\"issued\":\"x\"}"); }},
      {"a directory", [&] { fs::create_directory(state); }},
      {"larger than its limit", [&] {
         write("{}");
         fs::resize_file(state, (1u << 20) + 1);
       }},
  };
  for (const auto& damage : damages) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    damage.make();
    std::optional<LocalService> service;
    EXPECT_NO_THROW(service.emplace(LocalService::Options{.stateFile = state})) << damage.name;
    if (!service) continue;
    EXPECT_TRUE(fs::exists(fs::symlink_status(fs::path(state.string() + ".damaged")))) << damage.name;
    Sandbox sandbox(service_testing::optionsFor(service->host(), service->certificateFile()));
    service_testing::callAndWait(sandbox, "sl");
    ASSERT_EQ(service->exchanges().size(), 1u) << damage.name;
    EXPECT_EQ(service->exchanges().back().issuedInstall.rfind("install-1-", 0), 0u) << damage.name;
    EXPECT_NE(fileText(state).find(service->exchanges().back().issuedInstall), std::string::npos) << damage.name;
  }
  fs::remove_all(dir);
}

}  // namespace
