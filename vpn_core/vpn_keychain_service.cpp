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

std::optional<std::string> VPNKeychainService::save(const std::string& keyName, const std::string& value) {
  auto d = itemAttributes(keyName);
  d.emplace(platform::kSecValueData, PlistValue(platform::toBytes(value)));
  // The delete ignores the value, so it clears the item the add would collide with.
  const platform::OSStatus deleted = platform::SecItemDelete(d);
  // taken now: the add's failure would replace the reason
  const std::string deleteFailure = deleted == platform::errSecSuccess || deleted == platform::errSecItemNotFound
                                        ? std::string()
                                        : platform::SecCopyErrorMessageString(deleted);
  const platform::OSStatus added = platform::SecItemAdd(d, nullptr);
  if (added == platform::errSecSuccess) return std::nullopt;
  // the old item that the failed delete left in place is what the add collided with
  if (added == platform::errSecDuplicateItem && !deleteFailure.empty()) return deleteFailure;
  return platform::SecCopyErrorMessageString(added);
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
