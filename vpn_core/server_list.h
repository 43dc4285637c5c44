#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/foundation/error.h"
#include "platform/foundation/random.h"

// One VPN server as the service lists it. Records are shared by reference and equal only to
// themselves; only `isAutoSelect` changes after creation.
class VPNServer {
  struct Fields {
    std::optional<std::string> psk, countryCode, country, city;
    std::optional<double> loadPercent;
    std::optional<std::string> address, title;
    bool isPremium = false;
  };

 public:
  // A record from a server object; members of another type than expected stay absent.
  static std::shared_ptr<VPNServer> initWithDictionary(const nlohmann::json& server, bool isPremium);
  // The same, moving the texts out of a server object that is about to go.
  static std::shared_ptr<VPNServer> takeFromDictionary(nlohmann::json& server, bool isPremium);

  VPNServer(const VPNServer&) = delete;
  VPNServer& operator=(const VPNServer&) = delete;

  const std::optional<std::string>& psk() const { return f_.psk; }
  const std::optional<std::string>& countryCode() const { return f_.countryCode; }
  const std::optional<std::string>& country() const { return f_.country; }
  const std::optional<std::string>& city() const { return f_.city; }
  const std::optional<double>& loadPercent() const { return f_.loadPercent; }
  const std::optional<std::string>& address() const { return f_.address; }
  const std::optional<std::string>& title() const { return f_.title; }
  bool isPremium() const { return f_.isPremium; }
  // Set on the main thread while the tunnel manager may read it elsewhere.
  bool isAutoSelect() const { return isAutoSelect_.load(); }
  void setIsAutoSelect(bool value) { isAutoSelect_.store(value); }

  explicit VPNServer(Fields fields) : f_(std::move(fields)) {}

 private:
  template <class Json>
  static std::shared_ptr<VPNServer> fromDictionary(Json& server, bool isPremium);

  const Fields f_;
  std::atomic<bool> isAutoSelect_{false};
};

using VPNServerList = std::vector<std::shared_ptr<VPNServer>>;

// A uniform draw among the servers that have an address, so that a pick can be connected; only
// when none has one, among all of them. None for an empty list.
std::shared_ptr<VPNServer> randomConnectableServer(const VPNServerList& servers, platform::RandomSource& random);

// The server list, fetched from the service with the call "sl"; its arrival or failure is
// announced with "serversLoaded" or "failedToLoadServers".
class VPNServerManager {
 public:
  // The key the service enciphers the list under, inside the call's result.
  static constexpr const char* kServerListKey = "T4HB7RQ2WMNE6KJP3ZAYXC9FVD8SLG5U";
  static constexpr const char* kServersLoaded = "serversLoaded";
  static constexpr const char* kFailedToLoadServers = "failedToLoadServers";

  static std::shared_ptr<VPNServerManager> shared();

  // Starts one "sl" call; the outcome arrives as one of the two notifications.
  void fetchServers();
  // Takes out and deciphers "servers", parses it and announces the outcome.
  void decryptServerReply(const std::optional<nlohmann::json>& result, const std::optional<platform::Error>& error);
  // Appends the records of a payload to both lists; false (and "Servers not found" on the
  // console) when the payload is no JSON object.
  bool parseServers(const std::string& payload);
  // Appends the premium records, countries, then cities, then servers, in payload order; the
  // records take the texts out of the object, which the caller is done with.
  void parsePremiumServers(nlohmann::json* premiumServers);

  // Why the last fetch brought no list, in a line for a person: it failed, or its list could
  // not be read (announced as loaded all the same). None before any fetch and after one whose
  // list was read.
  std::optional<std::string> lastLoadFailure() const;

  // Snapshots: the lists only grow, and a reader never sees half an append.
  VPNServerList freeVPNServersArray() const;
  VPNServerList premiumVPNServersArray() const;

 private:
  void append(VPNServerList free, VPNServerList premium);

  mutable std::mutex mutex_;
  VPNServerList free_;
  VPNServerList premium_;
  std::optional<std::string> lastFailure_;
};
