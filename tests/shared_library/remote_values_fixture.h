#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "platform/foundation/bytes.h"
#include "service_client/service_exchange.h"
#include "service_client/string_cipher.h"

namespace remote_values_testing {

// Leaves this payload cached, in memory and in the cache file, as a successful fetch would.
inline void cachePayload(const std::string& payload) {
  auto& cache = QVServerConnect::oneInst()->resources1();
  cache.qv_extend(platform::toBytes(payload));
  cache.qv_load();
}

// Caches the configuration enciphered under the exchange key, as the service sends it.
inline void cacheConfiguration(const nlohmann::json& configuration) {
  cachePayload(QVExtStore::qv_add(configuration.dump(), QVServerConnect::exchangeKey()));
}

}  // namespace remote_values_testing
