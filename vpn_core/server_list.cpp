#include "vpn_core/server_list.h"

#include "platform/foundation/console.h"
#include "platform/foundation/json.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "service_client/service_exchange.h"
#include "service_client/string_cipher.h"

using nlohmann::json;

namespace {

std::optional<std::string> textMember(const json& object, const char* name) {
  const auto it = object.find(name);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

// The member when it is of the wanted kind, else none.
const json* member(const json& object, const char* name, json::value_t kind) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(name);
  return it != object.end() && it->type() == kind ? &*it : nullptr;
}

}  // namespace

std::shared_ptr<VPNServer> VPNServer::initWithDictionary(const json& server, bool isPremium) {
  Fields f;
  f.isPremium = isPremium;
  if (server.is_object()) {
    f.countryCode = textMember(server, "countryCode");
    f.country = textMember(server, "country");
    f.city = textMember(server, "city");
    // integers and fractions; a Boolean is no number here
    if (const auto it = server.find("loadPercent"); it != server.end() && it->is_number())
      f.loadPercent = it->get<double>();
    f.address = textMember(server, "address");
    f.title = textMember(server, "title");
    if (const json* credentials = member(server, "credentials", json::value_t::object))
      if (const json* psk = member(*credentials, "psk", json::value_t::object)) f.psk = textMember(*psk, "psk");
  }
  return std::make_shared<VPNServer>(std::move(f));
}

std::shared_ptr<VPNServerManager> VPNServerManager::shared() {
  return platform::Process::current().shared<VPNServerManager>([] { return std::make_shared<VPNServerManager>(); });
}

void VPNServerManager::fetchServers() {
  auto self = shared();
  QVServerConnect::qv_callNow("sl", std::nullopt, [self](auto result, auto error) {
    self->decryptServerReply(result, error);
  });
}

void VPNServerManager::decryptServerReply(const std::optional<json>& result, const std::optional<platform::Error>& error) {
  auto& center = platform::NotificationCenter::defaultCenter();
  std::optional<std::string> payload;
  if (!error && result && result->is_object()) {
    if (const auto servers = textMember(*result, "servers")) payload = QVExtStore::qv_remove(*servers, kServerListKey);
  }
  if (!payload) {
    center.post(kFailedToLoadServers);
    return;
  }
  parseServers(*payload);
  center.post(kServersLoaded);
}

void VPNServerManager::parseServers(const std::string& payload) {
  const auto parsed = platform::JSONObjectWithData(payload);
  if (!parsed.value || !parsed.value->is_object()) {
    platform::console("Servers not found");
    return;
  }
  VPNServerList free;
  if (const json* list = member(*parsed.value, "freeServers", json::value_t::array))
    for (const auto& server : *list)
      if (server.is_object()) free.push_back(VPNServer::initWithDictionary(server, false));
  append(std::move(free), {});
  parsePremiumServers(member(*parsed.value, "premiumServers", json::value_t::object));
}

void VPNServerManager::parsePremiumServers(const json* premiumServers) {
  if (!premiumServers) return;
  VPNServerList premium;
  if (const json* countries = member(*premiumServers, "countries", json::value_t::array))
    for (const auto& country : *countries)
      if (const json* cities = member(country, "cities", json::value_t::array))
        for (const auto& city : *cities)
          if (const json* servers = member(city, "servers", json::value_t::array))
            for (const auto& server : *servers)
              if (server.is_object()) premium.push_back(VPNServer::initWithDictionary(server, true));
  append({}, std::move(premium));
}

void VPNServerManager::append(VPNServerList free, VPNServerList premium) {
  std::lock_guard lock(mutex_);
  free_.insert(free_.end(), free.begin(), free.end());
  premium_.insert(premium_.end(), premium.begin(), premium.end());
}

VPNServerList VPNServerManager::freeVPNServersArray() const {
  std::lock_guard lock(mutex_);
  return free_;
}

VPNServerList VPNServerManager::premiumVPNServersArray() const {
  std::lock_guard lock(mutex_);
  return premium_;
}

std::shared_ptr<VPNServer> randomConnectableServer(const VPNServerList& servers, platform::RandomSource& random) {
  VPNServerList connectable;
  for (const auto& server : servers)
    if (server->address()) connectable.push_back(server);
  const VPNServerList& pool = connectable.empty() ? servers : connectable;
  if (pool.empty()) return nullptr;
  return pool[random.uniformIndex(pool.size())];
}
