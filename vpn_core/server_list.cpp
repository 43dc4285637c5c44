#include "vpn_core/server_list.h"

#include "platform/foundation/console.h"
#include "platform/foundation/json.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "service_client/service_exchange.h"
#include "service_client/string_cipher.h"

using nlohmann::json;

namespace {

// The member when it is of the wanted kind, else none.
template <class Json>  // json or const json
Json* member(Json& object, const char* name, json::value_t kind) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(name);
  return it != object.end() && it->type() == kind ? &*it : nullptr;
}

// A text member, copied out of a const object and moved out of one that is about to go.
template <class Json>
std::optional<std::string> textMember(Json& object, const char* name) {
  Json* text = member(object, name, json::value_t::string);
  if (!text) return std::nullopt;
  if constexpr (std::is_const_v<Json>) {
    return text->template get_ref<const std::string&>();
  } else {
    return std::move(text->template get_ref<std::string&>());
  }
}

std::shared_ptr<VPNServer> record(json& server, bool isPremium) { return VPNServer::takeFromDictionary(server, isPremium); }

}  // namespace

std::shared_ptr<VPNServer> VPNServer::initWithDictionary(const json& server, bool isPremium) {
  return fromDictionary(server, isPremium);
}

std::shared_ptr<VPNServer> VPNServer::takeFromDictionary(json& server, bool isPremium) {
  return fromDictionary(server, isPremium);
}

template <class Json>
std::shared_ptr<VPNServer> VPNServer::fromDictionary(Json& server, bool isPremium) {
  Fields f;
  f.isPremium = isPremium;
  if (server.is_object()) {
    f.countryCode = textMember(server, "countryCode");
    f.country = textMember(server, "country");
    f.city = textMember(server, "city");
    // integers and fractions; a Boolean is no number here
    if (const auto it = server.find("loadPercent"); it != server.end() && it->is_number())
      f.loadPercent = it->template get<double>();
    f.address = textMember(server, "address");
    f.title = textMember(server, "title");
    if (Json* credentials = member(server, "credentials", json::value_t::object))
      if (Json* psk = member(*credentials, "psk", json::value_t::object)) f.psk = textMember(*psk, "psk");
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
  std::string failure;
  if (error) {
    failure = error->localizedDescription.empty() ? "the exchange failed" : error->localizedDescription;
  } else if (!result) {
    failure = "the service's reply held no result";
  } else if (const json* servers = member(*result, "servers", json::value_t::string)) {
    // read where it lies: the list runs to megabytes
    payload = QVExtStore::remove(servers->get_ref<const std::string&>(), kServerListKey);
    if (!payload) failure = "the server list did not decipher to text";
  } else {
    failure = "the service's reply held no server list";
  }
  if (!payload) {
    {
      std::lock_guard lock(mutex_);
      lastFailure_ = failure;
    }
    center.post(kFailedToLoadServers);
    return;
  }
  // a list that cannot be read is still announced as loaded; only its reason is kept
  const bool read = parseServers(*payload);
  {
    std::lock_guard lock(mutex_);
    if (read)
      lastFailure_.reset();
    else  // a cipher that fails gives the empty text
      lastFailure_ = payload->empty() ? "the server list could not be deciphered"
                                      : "the deciphered server list is not a JSON object";
  }
  center.post(kServersLoaded);
}

std::optional<std::string> VPNServerManager::lastLoadFailure() const {
  std::lock_guard lock(mutex_);
  return lastFailure_;
}

bool VPNServerManager::parseServers(const std::string& payload) {
  auto parsed = platform::JSONObjectWithData(payload);
  if (!parsed.value || !parsed.value->is_object()) {
    platform::console("Servers not found");
    return false;
  }
  // the parsed list goes at the end: the records take its texts
  VPNServerList free;
  if (json* list = member(*parsed.value, "freeServers", json::value_t::array))
    for (auto& server : *list)
      if (server.is_object()) free.push_back(record(server, false));
  append(std::move(free), {});
  parsePremiumServers(member(*parsed.value, "premiumServers", json::value_t::object));
  return true;
}

void VPNServerManager::parsePremiumServers(json* premiumServers) {
  if (!premiumServers) return;
  VPNServerList premium;
  if (json* countries = member(*premiumServers, "countries", json::value_t::array))
    for (auto& country : *countries)
      if (json* cities = member(country, "cities", json::value_t::array))
        for (auto& city : *cities)
          if (json* servers = member(city, "servers", json::value_t::array))
            for (auto& server : *servers)
              if (server.is_object()) premium.push_back(record(server, true));
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
