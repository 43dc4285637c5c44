#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/foundation/error.h"
#include "platform/foundation/queues.h"
#include "platform/testing/sandbox.h"
#include "service_client/exchange_key.h"
#include "service_client/service_exchange.h"

namespace service_testing {

// A sandbox whose application talks to a service on this host, trusting its certificate.
inline platform::testing::Sandbox::Options optionsFor(const std::string& serviceHost,
                                                      const std::filesystem::path& certificate,
                                                      platform::DeviceProfile profile = {}) {
  platform::testing::Sandbox::Options options;
  profile.extraCertificateAuthorityFile = certificate;
  options.profile = std::move(profile);
  options.bundle.info[kServiceHostInfoKey] = platform::PlistValue(serviceHost);
  return options;
}

struct CallOutcome {
  std::optional<nlohmann::json> result;
  std::optional<platform::Error> error;
  bool onMainThread = false;
  int calls = 0;
};

// One exchange from the main thread, pumped until its completion has run.
inline CallOutcome callAndWait(platform::testing::Sandbox& sandbox, const std::optional<std::string>& name,
                               const std::optional<nlohmann::json>& params = std::nullopt) {
  auto outcome = std::make_shared<CallOutcome>();
  auto mutex = std::make_shared<std::mutex>();
  auto done = std::make_shared<std::atomic<bool>>(false);
  QVServerConnect::qv_callNow(name, params, [=](auto result, auto error) {
    std::lock_guard lock(*mutex);
    outcome->result = std::move(result);
    outcome->error = std::move(error);
    outcome->onMainThread = platform::isMainThread();
    ++outcome->calls;
    *done = true;
  });
  sandbox.loop().runUntil([&] { return done->load(); });
  sandbox.loop().runUntilIdle();  // a second completion would show here
  std::lock_guard lock(*mutex);
  return *outcome;
}

}  // namespace service_testing
