#include "platform/network_extension/vpn_preferences.h"

#include <cstdint>
#include <limits>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "platform/foundation/json.h"
#include "platform/foundation/plist.h"

namespace platform::detail {
namespace {

using json = nlohmann::json;

constexpr int kFormat = 1;

template <class E>
std::int64_t raw(E e) {
  return static_cast<std::int64_t>(e);
}

void putText(json& j, const char* key, const std::optional<std::string>& v) {
  if (v) j[key] = *v;
}
void putBytes(json& j, const char* key, const std::optional<Bytes>& v) {
  if (v) j[key] = base64Encode(*v);
}

json encodeParameters(const NEVPNIKEv2SecurityAssociationParameters& p) {
  return {{"diffieHellmanGroup", raw(p.diffieHellmanGroup)},
          {"encryptionAlgorithm", raw(p.encryptionAlgorithm)},
          {"integrityAlgorithm", raw(p.integrityAlgorithm)}};
}

std::optional<json> encodeProtocol(const NEVPNProtocol& p) {
  auto* ipsec = dynamic_cast<const NEVPNProtocolIPSec*>(&p);
  if (!ipsec) return std::nullopt;
  auto* ikev2 = dynamic_cast<const NEVPNProtocolIKEv2*>(&p);
  json j = json::object();
  j["type"] = ikev2 ? "IKEv2" : "IPSec";
  putText(j, "serverAddress", p.serverAddress);
  putText(j, "username", p.username);
  putBytes(j, "passwordReference", p.passwordReference);
  j["disconnectOnSleep"] = p.disconnectOnSleep;
  j["authenticationMethod"] = raw(ipsec->authenticationMethod);
  j["useExtendedAuthentication"] = ipsec->useExtendedAuthentication;
  putBytes(j, "sharedSecretReference", ipsec->sharedSecretReference);
  putText(j, "localIdentifier", ipsec->localIdentifier);
  putText(j, "remoteIdentifier", ipsec->remoteIdentifier);
  if (ikev2) {
    j["ikeSecurityAssociationParameters"] = encodeParameters(ikev2->ikeSecurityAssociationParameters);
    j["childSecurityAssociationParameters"] = encodeParameters(ikev2->childSecurityAssociationParameters);
  }
  return j;
}

// Readers of one member; a member of the wrong kind throws with its name.
[[noreturn]] void damaged(const std::string& what) { throw std::runtime_error(what); }

const json& object(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || !it->is_object()) damaged(std::string(key) + " is not an object");
  return *it;
}
bool boolean(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || !it->is_boolean()) damaged(std::string(key) + " is not a Boolean");
  return it->get<bool>();
}
std::int64_t integer(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || !it->is_number_integer()) damaged(std::string(key) + " is not an integer");
  if (it->is_number_unsigned() && it->get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
    damaged(std::string(key) + " is out of range");
  return it->get<std::int64_t>();
}
std::optional<std::string> optionalText(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end()) return std::nullopt;
  if (!it->is_string()) damaged(std::string(key) + " is not a text");
  return it->get<std::string>();
}
std::optional<Bytes> optionalBytes(const json& j, const char* key) {
  auto text = optionalText(j, key);
  if (!text) return std::nullopt;
  auto bytes = base64DecodeStrict(*text);
  if (!bytes) damaged(std::string(key) + " is not Base64");
  return bytes;
}

NEVPNIKEv2SecurityAssociationParameters decodeParameters(const json& j) {
  NEVPNIKEv2SecurityAssociationParameters p;
  p.diffieHellmanGroup = static_cast<NEVPNIKEv2DiffieHellmanGroup>(integer(j, "diffieHellmanGroup"));
  p.encryptionAlgorithm = static_cast<NEVPNIKEv2EncryptionAlgorithm>(integer(j, "encryptionAlgorithm"));
  p.integrityAlgorithm = static_cast<NEVPNIKEv2IntegrityAlgorithm>(integer(j, "integrityAlgorithm"));
  return p;
}

std::shared_ptr<NEVPNProtocol> decodeProtocol(const json& j) {
  auto type = optionalText(j, "type");
  std::shared_ptr<NEVPNProtocolIPSec> p;
  if (type == "IKEv2") {
    auto ikev2 = std::make_shared<NEVPNProtocolIKEv2>();
    ikev2->ikeSecurityAssociationParameters = decodeParameters(object(j, "ikeSecurityAssociationParameters"));
    ikev2->childSecurityAssociationParameters = decodeParameters(object(j, "childSecurityAssociationParameters"));
    p = ikev2;
  } else if (type == "IPSec") {
    p = std::make_shared<NEVPNProtocolIPSec>();
  } else {
    damaged("protocol type is unknown");
  }
  p->serverAddress = optionalText(j, "serverAddress");
  p->username = optionalText(j, "username");
  p->passwordReference = optionalBytes(j, "passwordReference");
  p->disconnectOnSleep = boolean(j, "disconnectOnSleep");
  p->authenticationMethod = static_cast<NEVPNIKEAuthenticationMethod>(integer(j, "authenticationMethod"));
  p->useExtendedAuthentication = boolean(j, "useExtendedAuthentication");
  p->sharedSecretReference = optionalBytes(j, "sharedSecretReference");
  p->localIdentifier = optionalText(j, "localIdentifier");
  p->remoteIdentifier = optionalText(j, "remoteIdentifier");
  return p;
}

}  // namespace

std::optional<std::string> encodeVPNPreferences(const VPNPreferences& preferences, std::string* error) {
  json j = {{"format", kFormat}, {"tunnel", raw(preferences.tunnelStatus)}};
  if (const auto& c = preferences.configuration) {
    json cj = {{"enabled", c->enabled}, {"onDemandEnabled", c->onDemandEnabled}};
    putText(cj, "localizedDescription", c->localizedDescription);
    if (c->protocolConfiguration) {
      auto pj = encodeProtocol(*c->protocolConfiguration);
      if (!pj) {
        if (error) *error = "the protocol configuration is of an unknown kind";
        return std::nullopt;
      }
      cj["protocol"] = std::move(*pj);
    }
    j["configuration"] = std::move(cj);
  }
  return JSONDataWithObject(j);
}

std::optional<VPNPreferences> decodeVPNPreferences(const Bytes& bytes, std::string* error) {
  auto parsed = JSONObjectWithData(bytes);
  try {
    if (!parsed.value) damaged(parsed.error->localizedDescription);
    const json& j = *parsed.value;
    if (!j.is_object()) damaged("the top level is not an object");
    if (integer(j, "format") != kFormat) damaged("format is not " + std::to_string(kFormat));
    VPNPreferences p;
    const auto tunnel = integer(j, "tunnel");
    if (tunnel < raw(NEVPNStatus::disconnected) || tunnel > raw(NEVPNStatus::disconnecting))
      damaged("tunnel is not a status of a tunnel");
    p.tunnelStatus = static_cast<NEVPNStatus>(tunnel);
    if (j.contains("configuration")) {
      const json& cj = object(j, "configuration");
      NEVPNSavedConfiguration c;
      c.enabled = boolean(cj, "enabled");
      c.onDemandEnabled = boolean(cj, "onDemandEnabled");
      c.localizedDescription = optionalText(cj, "localizedDescription");
      if (cj.contains("protocol")) c.protocolConfiguration = decodeProtocol(object(cj, "protocol"));
      p.configuration = std::move(c);
    }
    return p;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return std::nullopt;
  }
}

}  // namespace platform::detail
