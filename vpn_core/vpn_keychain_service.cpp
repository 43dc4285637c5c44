#include "vpn_core/vpn_keychain_service.h"

#include <optional>

#include "platform/foundation/plist.h"
#include "platform/security/keychain.h"

using platform::PlistValue;

namespace {

// The attributes that name the item; the key name goes in as bytes, so lookups match byte for
// byte.
PlistValue::Dictionary itemAttributes(const std::string& keyName) {
  PlistValue::Dictionary d;
  d.emplace(platform::kSecClass, PlistValue(platform::kSecClassGenericPassword));
  d.emplace(platform::kSecAttrGeneric, PlistValue(platform::toBytes(keyName)));
  d.emplace(platform::kSecAttrAccount, PlistValue(platform::toBytes(keyName)));
  d.emplace(platform::kSecAttrService, PlistValue("VPN"));
  d.emplace(platform::kSecAttrAccessible, PlistValue(platform::kSecAttrAccessibleAlwaysThisDeviceOnly));
  return d;
}

}  // namespace

void VPNKeychainService::save(const std::string& keyName, const std::string& value) {
  auto d = itemAttributes(keyName);
  d.emplace(platform::kSecValueData, PlistValue(platform::toBytes(value)));
  // The delete ignores the value, so it clears the item the add would collide with.
  platform::SecItemDelete(d);
  platform::SecItemAdd(d, nullptr);
}

platform::Bytes VPNKeychainService::load(const std::string& keyName) {
  auto d = itemAttributes(keyName);
  d.emplace(platform::kSecMatchLimit, PlistValue(platform::kSecMatchLimitOne));
  d.emplace(platform::kSecReturnPersistentRef, PlistValue(true));
  std::optional<PlistValue> result;
  if (platform::SecItemCopyMatching(d, &result) != platform::errSecSuccess || !result) return {};
  if (auto data = result->asData()) return *data;
  return {};
}
