#include "tools/local_service.h"

#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/foundation/files.h"
#include "platform/foundation/json.h"
#include "service_client/exchange_key.h"
#include "service_client/string_cipher.h"
#include "vpn_core/server_list.h"

namespace orvane_service {

using platform::testing::LoopbackReply;
using platform::testing::LoopbackRequest;

namespace {

nlohmann::json readFixture(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read fixture " + path.string());
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  auto parsed = platform::JSONObjectWithData(text);
  if (!parsed.value) throw std::runtime_error("fixture " + path.string() + " is not JSON: " + parsed.error->localizedDescription);
  return std::move(*parsed.value);
}

LoopbackReply jsonReply(int status, const nlohmann::json& body, platform::testing::LoopbackHeaders headers = {}) {
  headers.emplace_back("Content-Type", "application/json");
  LoopbackReply reply;
  reply.status = status;
  reply.headers = std::move(headers);
  reply.body = platform::toBytes(body.dump());
  return reply;
}

std::string randomHex(std::size_t bytes) {
  static thread_local std::mt19937_64 generator{std::random_device{}()};
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes; ++i) {
    const auto b = generator() & 0xFF;
    out += digits[b >> 4];
    out += digits[b & 0xF];
  }
  return out;
}

// The value of `key` in a query, as sent.
std::optional<std::string> queryValue(const std::optional<std::string>& query, const std::string& key) {
  if (!query) return std::nullopt;
  std::size_t at = 0;
  while (at <= query->size()) {
    const auto end = std::min(query->find('&', at), query->size());
    const auto pair = query->substr(at, end - at);
    const auto eq = pair.find('=');
    if (pair.substr(0, eq) == key) return eq == std::string::npos ? "" : pair.substr(eq + 1);
    at = end + 1;
  }
  return std::nullopt;
}

// The certificate replaces whatever file an earlier run left in the directory given; a directory
// in its place cannot be replaced, so it is kept aside like any damaged device file.
std::optional<std::filesystem::path> certificateDirectoryCleared(const std::optional<std::filesystem::path>& directory) {
  if (!directory) return directory;
  const auto file = *directory / platform::testing::LoopbackServer::kCertificateFileName;
  std::error_code ec;
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(file, ec))) return directory;
  std::string why;
  const auto aside = platform::keepAside(file, &why);
  if (!aside)
    throw std::runtime_error("the certificate file " + file.string() +
                             " is damaged (it is a directory) and cannot be moved aside: " + why);
  std::fprintf(stderr, "%s\n",
               platform::keptAsideLine("orvane-service", file, "it is a directory", *aside, "made it afresh").c_str());
  return directory;
}

}  // namespace

struct LocalService::LookupGate {
  std::mutex mutex;
  std::condition_variable cv;
  bool hold = false;
  bool closing = false;
  std::size_t releases = 0;
  std::size_t waiting = 0;

  void pass() {
    std::unique_lock lock(mutex);
    if (!hold) return;
    ++waiting;
    cv.wait(lock, [&] { return releases > 0 || !hold || closing; });
    if (releases > 0) --releases;
    --waiting;
  }
};

std::filesystem::path LocalService::defaultFixturesDirectory() { return ORVANE_SERVICE_FIXTURES; }

LocalService::LocalService() : LocalService(Options{}) {}

LocalService::LocalService(Options options)
    : stateFile_(options.stateFile),
      keepRecords_(options.keepRecords),
      configuration_(readFixture(options.fixtures / "remote-configuration.json")),
      serverList_(readFixture(options.fixtures / "server-list.json")),
      // a fixtures directory without the store's records: the store knows no application
      storeApps_(std::filesystem::exists(options.fixtures / "store-lookup.json")
                     ? readFixture(options.fixtures / "store-lookup.json")
                     : nlohmann::json::object()),
      gate_(std::make_shared<LookupGate>()),
      server_(options.port, certificateDirectoryCleared(options.certificateDirectory), options.keepRecords) {
  loadState();
  server_.on("POST", "/data/server/", [this](const LoopbackRequest& request) { return answer(request); });
  server_.on("GET", "/lookup", [this, gate = gate_](const LoopbackRequest& request) {
    gate->pass();
    return lookup(request);
  });
}

LocalService::~LocalService() {
  {
    std::lock_guard lock(gate_->mutex);
    gate_->closing = true;
  }
  gate_->cv.notify_all();
}

void LocalService::setLookupReply(const std::string& storeID, std::optional<LoopbackReply> reply) {
  std::lock_guard lock(mutex_);
  if (reply)
    lookupReplies_[storeID] = std::move(*reply);
  else
    lookupReplies_.erase(storeID);
}

void LocalService::holdLookups(bool hold) {
  {
    std::lock_guard lock(gate_->mutex);
    gate_->hold = hold;
    if (!hold) gate_->releases = 0;
  }
  gate_->cv.notify_all();
}

void LocalService::releaseLookups(std::size_t count) {
  {
    std::lock_guard lock(gate_->mutex);
    gate_->releases += count;
  }
  gate_->cv.notify_all();
}

std::size_t LocalService::heldLookups() const {
  std::lock_guard lock(gate_->mutex);
  return gate_->waiting;
}

LoopbackReply LocalService::lookup(const LoopbackRequest& request) {
  const auto id = queryValue(request.query, "id").value_or("");
  std::lock_guard lock(mutex_);
  if (auto scripted = lookupReplies_.find(id); scripted != lookupReplies_.end()) return scripted->second;
  // the store's shape: a count and the matching results, none for an unknown identifier
  nlohmann::json results = nlohmann::json::array();
  if (storeApps_.is_object() && storeApps_.contains(id)) results.push_back(storeApps_[id]);
  return jsonReply(200, {{"resultCount", results.size()}, {"results", results}});
}

namespace {

constexpr std::uintmax_t kMaximumStateBytes = 1u << 20;

// What the service remembers is bounded, so that its state file always stays within the size its
// next start reads: an identifier or token longer than this, or an install past the count, is
// answered but not remembered. Texts are measured as written, escapes and quotes included.
constexpr std::size_t kMaximumRememberedText = 128;
constexpr std::size_t kMaximumRememberedInstalls = 2048;
// each entry: two texts, a colon and a comma; then the count and the braces
static_assert(kMaximumRememberedInstalls * (2 * kMaximumRememberedText + 2) + 64 < kMaximumStateBytes);

bool rememberable(const std::string& text) {
  return !text.empty() && text.size() <= kMaximumRememberedText &&
         nlohmann::json(text).dump().size() <= kMaximumRememberedText;
}

// Why the state file's text is not a state, or none.
std::optional<std::string> stateFault(const std::optional<nlohmann::json>& state) {
  if (!state) return "it is not JSON";
  if (!state->is_object()) return "it is not an object";
  if (!state->contains("issued") || !(*state)["issued"].is_number_unsigned()) return "it has no count of installs";
  if (!state->contains("tokens") || !(*state)["tokens"].is_object()) return "it has no tokens";
  return std::nullopt;
}

}  // namespace

void LocalService::loadState() {
  if (!stateFile_) return;
  namespace fs = std::filesystem;
  std::error_code ec;
  const auto status = fs::symlink_status(*stateFile_, ec);
  if (!fs::exists(status)) return;
  std::optional<std::string> damage;
  std::optional<nlohmann::json> state;
  if (!fs::is_regular_file(status)) {
    damage = "it is not a regular file";
  } else if (const auto size = fs::file_size(*stateFile_, ec); !ec && size > kMaximumStateBytes) {
    damage = "it is larger than " + std::to_string(kMaximumStateBytes) + " bytes";
  } else {
    std::string why;
    const auto bytes = platform::readFile(*stateFile_, {.followSymbolicLink = false, .maximumBytes = kMaximumStateBytes}, &why);
    // not readable is the user's setting to mend, not damage
    if (!bytes) throw std::runtime_error("cannot read the state file " + stateFile_->string() + ": " + why);
    state = platform::JSONObjectWithData(*bytes).value;
    damage = stateFault(state);
  }
  if (damage) return setStateAside(*damage);
  issued_ = (*state)["issued"].get<unsigned long>();
  for (const auto& [install, token] : (*state)["tokens"].items())
    if (tokens_.size() < kMaximumRememberedInstalls && token.is_string() && rememberable(install) &&
        rememberable(token.get_ref<const std::string&>()))
      tokens_[install] = token.get<std::string>();
}

// Kept, not overwritten: the installs it knew get new tokens, and nothing is lost without a copy.
void LocalService::setStateAside(const std::string& damage) {
  std::string why;
  const auto aside = platform::keepAside(*stateFile_, &why);
  if (!aside)
    throw std::runtime_error("the state file " + stateFile_->string() + " is damaged (" + damage +
                             ") and cannot be moved aside: " + why);
  std::fprintf(stderr, "%s\n", platform::keptAsideLine("orvane-service", *stateFile_, damage, *aside, "started afresh").c_str());
}

void LocalService::saveStateLocked() const {
  if (!stateFile_) return;
  nlohmann::json state = {{"issued", issued_}, {"tokens", tokens_}};
  std::string error;
  // a lost state only costs the next run a new token
  if (!platform::writeFileAtomically(*stateFile_, state.dump(), &error))
    std::fprintf(stderr, "orvane-service: cannot save %s: %s\n", stateFile_->c_str(), error.c_str());
}

std::string LocalService::host() const { return "127.0.0.1:" + std::to_string(server_.port()); }

void LocalService::setConfiguration(nlohmann::json configuration) {
  std::lock_guard lock(mutex_);
  configuration_ = std::move(configuration);
}

nlohmann::json LocalService::configuration() const {
  std::lock_guard lock(mutex_);
  return configuration_;
}

void LocalService::setServerList(nlohmann::json payload) {
  std::lock_guard lock(mutex_);
  serverList_ = std::move(payload);
}

void LocalService::setServersMember(std::optional<nlohmann::json> member) {
  std::lock_guard lock(mutex_);
  serversMember_ = std::move(member);
}

void LocalService::setMode(const std::string& callName, Mode mode) {
  std::lock_guard lock(mutex_);
  modes_[callName] = mode;
}

void LocalService::setReplyDelay(const std::string& callName, std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  delays_[callName] = delay;
}

std::vector<LocalService::Exchange> LocalService::exchanges() const {
  std::lock_guard lock(mutex_);
  return exchanges_;
}

LoopbackReply LocalService::answer(const LoopbackRequest& request) {
  const auto parsed = platform::JSONObjectWithData(request.body);
  if (!parsed.value || !parsed.value->is_object() || !parsed.value->contains("data") ||
      !(*parsed.value)["data"].is_string())
    return jsonReply(400, {{"error", "not an envelope"}});
  const nlohmann::json& envelope = *parsed.value;

  const auto bundle = envelope.contains("bb") && envelope["bb"].is_string()
                          ? std::optional<std::string>(envelope["bb"].get<std::string>())
                          : std::nullopt;
  const std::string key = exchangeKeyFor(bundle);

  Exchange exchange;
  exchange.envelope = envelope;
  exchange.token = request.header("cdn-ray-key");
  const auto plain = QVExtStore::qv_remove(envelope["data"].get<std::string>(), key);
  if (plain && !plain->empty()) {
    auto parameters = platform::JSONObjectWithData(*plain);
    if (parameters.value && parameters.value->is_object()) exchange.parameters = std::move(parameters.value);
  }

  std::string call;
  if (exchange.parameters)
    if (const auto c1 = exchange.parameters->find("c1"); c1 != exchange.parameters->end() && c1->is_string())
      call = c1->get<std::string>();

  std::lock_guard lock(mutex_);
  // a known installation keeps its identifier and token; a new one gets both
  std::string install = envelope.contains("in") && envelope["in"].is_string() ? envelope["in"].get<std::string>() : "";
  if (install.empty()) install = "install-" + std::to_string(++issued_) + "-" + randomHex(6);
  std::string token;
  if (const auto known = tokens_.find(install); known != tokens_.end()) {
    token = known->second;
  } else {
    token = "token-" + randomHex(12);
    if (rememberable(install) && tokens_.size() < kMaximumRememberedInstalls) {
      tokens_.emplace(install, token);
      saveStateLocked();
    }
  }
  exchange.issuedInstall = install;
  exchange.issuedToken = token;
  if (keepRecords_) exchanges_.push_back(exchange);

  auto reply = replyLocked(call, install, key, token);
  if (const auto delay = delays_.find(call); delay != delays_.end()) reply.delay = delay->second;
  return reply;
}

LoopbackReply LocalService::replyLocked(const std::string& call, const std::string& install, const std::string& key,
                                        const std::string& token) {
  const auto mode = modes_.count(call) ? modes_[call] : Mode::answer;
  if (mode == Mode::resetConnection) {
    LoopbackReply reset;
    reset.body = platform::Bytes(64, 'x');
    reset.delivery = LoopbackReply::Delivery::resetMidBody;
    return reset;
  }
  if (mode == Mode::notJSON) {
    LoopbackReply page;
    page.status = 502;
    page.body = platform::toBytes("<html>bad gateway</html>");
    return page;
  }

  nlohmann::json reply = {{"in", install}};
  if (call == "sl") {
    nlohmann::json result = nlohmann::json::object();
    if (!serversMember_) {
      result["servers"] = QVExtStore::qv_add(serverList_.dump(), VPNServerManager::kServerListKey);
    } else if (*serversMember_) {
      result["servers"] = **serversMember_;
    }
    reply["rp"] = QVExtStore::qv_add(result.dump(), key);
  } else if (call == "new") {
    reply["rp"] = QVExtStore::qv_add(configuration_.dump(), key);
  } else {
    reply["error"] = "unknown call";
  }
  return jsonReply(200, reply, {{"cdn-ray-key", token}});
}

}  // namespace orvane_service
