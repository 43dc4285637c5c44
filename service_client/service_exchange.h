#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/foundation/error.h"
#include "platform/security/keychain_wrapper.h"
#include "service_client/remote_config_cache.h"

// A result (any JSON value, or none) and an error (or none). Runs exactly once per call, on the
// transfer's background queue (at once on the caller's thread for a call without a name).
using QVCompletion = std::function<void(std::optional<nlohmann::json> result, std::optional<platform::Error> error)>;

// The client of the maker's service: one HTTPS POST per call, parameters and result enciphered
// under the exchange key; the install identifier and the service token kept in the keychain.
// Its members are defined in three files: service_exchange.cpp (the exchange and what it keeps),
// device_parameters.cpp (callNext, isLoading) and remote_config.cpp (qv_createServer, hasResponse).
class QVServerConnect {
 public:
  static std::shared_ptr<QVServerConnect> oneInst();

  // Starts one exchange and returns at once. A call name of none fails at once.
  static void qv_callNow(const std::optional<std::string>& callName, const std::optional<nlohmann::json>& params,
                         QVCompletion onComplete);

  // The install identifier, or none before the service has sent one.
  static std::optional<std::string> neExtKey();
  // A text other than the current install identifier replaces it (memory and keychain).
  static void resExtKey(const nlohmann::json& value);
  // The service token, or none.
  static std::optional<std::string> getExtRaw();
  // A text is written as the service token, also when unchanged.
  static void resetExtsAll(const nlohmann::json& value);
  static void setExts(std::string value);
  // The tunnel-active test: whether a tunnel-like network interface is active.
  static bool isLoading();

  // Fetches the remote configuration ("new") and keeps its payload, still enciphered, in memory
  // and in the cache file. The completion gets the error, or none, on the transfer's queue.
  static void qv_createServer(std::function<void(std::optional<platform::Error> error)> completion);
  // A look-up, no exchange: the member of that name of the cached configuration, or none.
  static std::optional<nlohmann::json> hasResponse(const std::optional<std::string>& name);

  // The key of the exchange and of the remote-configuration cache.
  static std::string exchangeKey();

  QVServerConnect();

  void _callServer(const std::optional<std::string>& callName, const std::optional<nlohmann::json>& params,
                   QVCompletion onComplete);
  // The device parameters every call carries.
  nlohmann::json callNext() const;

  std::optional<nlohmann::json> extsList() const;
  void setExtsList(std::optional<nlohmann::json> value);
  AFL_PREFIXDevice& resources1() { return *resources1_; }

  // What a reply (or the transfer's error) comes to, in order; the completion runs once.
  void handleReply(const std::string& callName, bool tunnelUpAtRequest, const std::optional<platform::Bytes>& body,
                   const std::optional<std::string>& token, const std::optional<platform::Error>& transferError,
                   const QVCompletion& onComplete);

 private:
  mutable std::mutex mutex_;
  std::optional<nlohmann::json> extsList_;
  std::unique_ptr<AFL_PREFIXDevice> resources1_;
  std::optional<std::string> esList_;
  std::optional<std::string> extKey_;
  platform::KeychainWrapper stKey_;
};

// The error of the exchange's own failures: domain "ADomain", code 0, no description.
platform::Error exchangeError();
