// The server list from the call's result to the records, beside the JSON library's parse of the
// list's plaintext alone.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "bench/fixtures.h"
#include "platform/testing/sandbox.h"
#include "service_client/string_cipher.h"
#include "vpn_core/server_list.h"

namespace {

using nlohmann::json;

json server(int i) {
  const std::string n = std::to_string(i);
  return {{"countryCode", "C" + std::to_string(i % 50)},
          {"country", "Country " + std::to_string(i % 50)},
          {"city", "City " + std::to_string(i % 500)},
          {"loadPercent", i % 100},
          {"address", "vpn-" + n + ".orvane.test"},
          {"title", "Server " + n},
          {"credentials", {{"psk", {{"psk", "secret-" + n + "-0123456789abcdef"}}}}}};
}

// 1,000 free servers and 9,000 premium ones in 50 countries of 10 cities each.
std::string serverListPlaintext() {
  json free = json::array();
  for (int i = 0; i < 1000; ++i) free.push_back(server(i));
  json countries = json::array();
  int next = 1000;
  for (int c = 0; c < 50; ++c) {
    json cities = json::array();
    for (int t = 0; t < 10; ++t) {
      json servers = json::array();
      for (int s = 0; s < 18; ++s) servers.push_back(server(next++));
      cities.push_back({{"name", "City " + std::to_string(t)}, {"servers", servers}});
    }
    countries.push_back({{"name", "Country " + std::to_string(c)}, {"cities", cities}});
  }
  return json{{"freeServers", free}, {"premiumServers", {{"countries", countries}}}}.dump();
}

void server_list(benchmark::State& state) {
  platform::testing::Sandbox sandbox;
  const std::optional<json> result =
      json{{"servers", QVExtStore::qv_add(serverListPlaintext(), VPNServerManager::kServerListKey)}};
  for (auto _ : state) {
    auto manager = std::make_shared<VPNServerManager>();
    manager->decryptServerReply(result, std::nullopt);
    state.PauseTiming();
    if (manager->freeVPNServersArray().size() + manager->premiumVPNServersArray().size() != 10000)
      bench::fail(state, "servers lost");
    manager.reset();  // the records' end is not part of reading them
    state.ResumeTiming();
  }
}

void server_list_anchor(benchmark::State& state) {
  const std::string plaintext = serverListPlaintext();
  for (auto _ : state) benchmark::DoNotOptimize(json::parse(plaintext));
  state.SetLabel(std::to_string(plaintext.size() / 1024) + " KiB");
}

BENCHMARK(server_list)->Unit(benchmark::kMillisecond);
BENCHMARK(server_list_anchor)->Unit(benchmark::kMillisecond);

}  // namespace
