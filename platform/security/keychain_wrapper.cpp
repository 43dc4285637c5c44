#include "platform/security/keychain_wrapper.h"

#include "platform/foundation/bundle.h"
#include "platform/foundation/bytes.h"
#include "platform/security/keychain.h"

namespace platform {

KeychainWrapper::KeychainWrapper() : KeychainWrapper(Bundle::main()->bundleIdentifier().value_or(std::string())) {}

KeychainWrapper::KeychainWrapper(std::string service) : service_(std::move(service)) {}

std::optional<std::string> KeychainWrapper::get(const std::string& account) const {
  const PlistValue::Dictionary query{{kSecClass, PlistValue(kSecClassGenericPassword)},
                                     {kSecAttrService, PlistValue(service_)},
                                     {kSecAttrAccount, PlistValue(account)},
                                     {kSecMatchLimit, PlistValue(kSecMatchLimitOne)},
                                     {kSecReturnData, PlistValue(true)}};
  std::optional<PlistValue> result;
  if (SecItemCopyMatching(query, &result) != errSecSuccess || !result || !result->asData()) return std::nullopt;
  std::string text = toString(*result->asData());
  if (!isValidUTF8(text)) return std::nullopt;
  return text;
}

bool KeychainWrapper::set(const std::string& account, const std::string& text) const {
  const PlistValue::Dictionary query{{kSecClass, PlistValue(kSecClassGenericPassword)},
                                     {kSecAttrService, PlistValue(service_)},
                                     {kSecAttrAccount, PlistValue(account)},
                                     {kSecAttrSynchronizable, PlistValue(kSecAttrSynchronizableAny)}};
  const PlistValue::Dictionary changes{{kSecValueData, PlistValue(toBytes(text))},
                                       {kSecAttrAccessible, PlistValue(kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly)},
                                       {kSecAttrSynchronizable, PlistValue(false)}};
  PlistValue::Dictionary item = changes;
  item[kSecClass] = PlistValue(kSecClassGenericPassword);
  item[kSecAttrService] = PlistValue(service_);
  item[kSecAttrAccount] = PlistValue(account);
  // a second round covers another thread adding the item between our update and our add
  for (int round = 0; round < 2; ++round) {
    OSStatus status = SecItemUpdate(query, changes);
    if (status != errSecItemNotFound) return status == errSecSuccess;
    status = SecItemAdd(item, nullptr);
    if (status != errSecDuplicateItem) return status == errSecSuccess;
  }
  return false;
}

}  // namespace platform
