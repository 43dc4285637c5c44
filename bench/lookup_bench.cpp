// A look-up by name in the cached remote configuration, beside a parse of its plaintext alone.
#include <benchmark/benchmark.h>

#include <string>

#include <nlohmann/json.hpp>

#include "bench/fixtures.h"
#include "platform/testing/sandbox.h"
#include "service_client/service_exchange.h"
#include "service_client/string_cipher.h"

namespace {

using nlohmann::json;

// A configuration of about 16 KiB: the values the application reads, among many others.
json configuration16KiB() {
  json apps = json::array();
  for (int i = 0; i < 20; ++i)
    apps.push_back({{"name", "App " + std::to_string(i)}, {"scheme", "app" + std::to_string(i) + "://"},
                    {"id", 1000000 + i}});
  json c = {{"u.f.e", "5"}, {"u.a.l", apps}};
  for (int i = 0; c.dump().size() < 16 * 1024; ++i) c["k" + std::to_string(i)] = bench::jsonLikeText(100);
  return c;
}

// The payload as the service sends it, under the key of the sandbox's bundle.
platform::Bytes payloadOf(const json& configuration) {
  return platform::toBytes(QVExtStore::qv_add(configuration.dump(), QVServerConnect::exchangeKey()));
}

void has_response(benchmark::State& state, bool afterRefresh) {
  platform::testing::Sandbox sandbox;
  const json configuration = configuration16KiB();
  const platform::Bytes payload = payloadOf(configuration);
  auto& cache = QVServerConnect::oneInst()->resources1();
  cache.qv_extend(payload);
  if (QVServerConnect::hasResponse("u.f.e") != json("5")) bench::fail(state, "the look-up lost the value");
  for (auto _ : state) {
    // a refresh stores a new payload of the same bytes: the look-up after it starts afresh
    if (afterRefresh) cache.qv_extend(payload);
    benchmark::DoNotOptimize(QVServerConnect::hasResponse("u.f.e"));
  }
}

void has_response_anchor(benchmark::State& state, bool) {
  const std::string plaintext = configuration16KiB().dump();
  for (auto _ : state) benchmark::DoNotOptimize(json::parse(plaintext));
}

BENCHMARK_CAPTURE(has_response, 16KiB_unchanged, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(has_response_anchor, 16KiB_unchanged, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(has_response, 16KiB_after_refresh, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(has_response_anchor, 16KiB_after_refresh, true)->Unit(benchmark::kMicrosecond);

}  // namespace
