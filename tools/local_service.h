#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/foundation/device.h"
#include "platform/testing/loopback_server.h"

namespace orvane_service {

// The maker's service on this machine: HTTPS on 127.0.0.1 answering the exchange at
// /data/server/ for the calls "sl" (the server list) and "new" (the remote configuration), from
// fixture files, issuing install identifiers and service tokens; and, standing in for the
// store, the look-up of the maker's applications at GET /lookup?id=STOREID.
class LocalService {
 public:
  struct Options {
    std::filesystem::path fixtures = defaultFixturesDirectory();
    int port = 0;  // any free port
    // Where the installs seen so far are kept across runs (none: forgotten at the end), so a
    // known install gets its token back as from the real service.
    std::optional<std::filesystem::path> stateFile = std::nullopt;
    // Where its certificate is kept (none: a directory of its own in the temporary directory).
    std::optional<std::filesystem::path> certificateDirectory = std::nullopt;
    // Whether exchanges() and the server's requests() keep what arrived: for tests; a service
    // left running keeps nothing, so it does not grow.
    bool keepRecords = true;
  };
  static std::filesystem::path defaultFixturesDirectory();

  // How the service answers one call name.
  enum class Mode {
    answer,
    resetConnection,  // the transfer fails
    notJSON,          // a reply body that is no JSON
  };

  // One exchange as the service understood it.
  struct Exchange {
    nlohmann::json envelope;
    std::optional<nlohmann::json> parameters;  // none when "data" did not decipher to JSON
    std::optional<std::string> token;          // the request header "cdn-ray-key"
    std::string issuedInstall;                 // "in" of the reply
    std::string issuedToken;                   // "cdn-ray-key" of the reply
  };

  LocalService();
  explicit LocalService(Options options);
  ~LocalService();
  LocalService(const LocalService&) = delete;
  LocalService& operator=(const LocalService&) = delete;

  // std::runtime_error when it cannot listen or a fixture or the state file cannot be read. A
  // damaged state file is kept aside (one line on standard error) and the service starts afresh.
  // "127.0.0.1:PORT": the application's service host.
  std::string host() const;
  int port() const { return server_.port(); }
  const std::filesystem::path& certificateFile() const { return server_.certificateFile(); }
  void installTrust(platform::Device& device) const { server_.installTrust(device); }

  void setConfiguration(nlohmann::json configuration);
  nlohmann::json configuration() const;
  void setServerList(nlohmann::json payload);
  // Replaces the "servers" member of the "sl" result as it stands (none: left out), in place of
  // the enciphered server list.
  void setServersMember(std::optional<nlohmann::json> member);
  void setMode(const std::string& callName, Mode mode);
  // Holds the replies to a call name back that long (the service's end cuts it short).
  void setReplyDelay(const std::string& callName, std::chrono::milliseconds delay);

  // Empty when the service keeps no records.
  std::vector<Exchange> exchanges() const;

  // "https://127.0.0.1:PORT": the application's store look-up base.
  std::string storeLookupBase() const { return server_.url(""); }
  // The reply to the look-up of one store identifier in place of the fixture's (none: the
  // fixture's again).
  void setLookupReply(const std::string& storeID, std::optional<platform::testing::LoopbackReply> reply);
  // Held, look-ups wait (on the server's threads) until released one by one, or until holding
  // ends; the service's end releases them.
  void holdLookups(bool hold);
  void releaseLookups(std::size_t count = 1);
  // Look-ups waiting now.
  std::size_t heldLookups() const;
  struct LookupGate;
  const platform::testing::LoopbackServer& server() const { return server_; }

 private:
  platform::testing::LoopbackReply answer(const platform::testing::LoopbackRequest& request);
  platform::testing::LoopbackReply lookup(const platform::testing::LoopbackRequest& request);
  platform::testing::LoopbackReply replyLocked(const std::string& call, const std::string& install,
                                               const std::string& key, const std::string& token);
  void loadState();
  void setStateAside(const std::string& damage);
  void saveStateLocked() const;

  const std::optional<std::filesystem::path> stateFile_;
  const bool keepRecords_;
  mutable std::mutex mutex_;
  nlohmann::json configuration_;
  nlohmann::json serverList_;
  std::optional<std::optional<nlohmann::json>> serversMember_;
  std::map<std::string, Mode> modes_;
  std::map<std::string, std::chrono::milliseconds> delays_;
  std::map<std::string, std::string> tokens_;  // by install identifier, bounded (see remembers)
  std::vector<Exchange> exchanges_;
  unsigned long issued_ = 0;
  nlohmann::json storeApps_;  // store identifier -> result
  std::map<std::string, platform::testing::LoopbackReply> lookupReplies_;
  std::shared_ptr<LookupGate> gate_;
  // Last: it stops (and its handlers end) before what they use goes.
  platform::testing::LoopbackServer server_;
};

}  // namespace orvane_service
