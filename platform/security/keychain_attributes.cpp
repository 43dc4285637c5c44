#include "platform/security/keychain_attributes.h"

#include <string>

namespace platform::keychain_detail {
namespace {

bool readBlob(const PlistValue& v, std::optional<Blob>& out) {
  if (auto s = v.asString()) {
    out = Blob{toBytes(*s), Kind::Text};
  } else if (auto d = v.asData()) {
    out = Blob{*d, Kind::Data};
  } else {
    return false;
  }
  return true;
}

bool knownAccessibility(const std::string& s) {
  return s == kSecAttrAccessibleWhenUnlocked || s == kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly ||
         s == kSecAttrAccessibleAlwaysThisDeviceOnly;
}

bool readKey(const std::string& key, const PlistValue& v, Role role, Request& r) {
  const bool searching = role == Role::Search;
  if (key == kSecClass) {
    auto s = v.asString();
    r.hasClass = true;
    return role != Role::Change && s && *s == kSecClassGenericPassword;
  }
  if (key == kSecAttrService) return readBlob(v, r.service);
  if (key == kSecAttrAccount) return readBlob(v, r.account);
  if (key == kSecAttrGeneric) return readBlob(v, r.generic);
  if (key == kSecAttrAccessGroup) {
    if (!v.asString()) return false;
    r.accessGroup = *v.asString();
    return true;
  }
  if (key == kSecAttrAccessible) {
    if (!v.asString() || !knownAccessibility(*v.asString())) return false;
    r.accessible = *v.asString();
    return true;
  }
  if (key == kSecAttrSynchronizable) {
    if (auto b = v.asBoolean()) {
      r.sync = *b ? Sync::Yes : Sync::No;
      return true;
    }
    auto s = v.asString();
    if (!s || *s != kSecAttrSynchronizableAny || role == Role::Add || role == Role::Change) return false;
    r.sync = Sync::Any;
    return true;
  }
  if (key == kSecValueData) {
    // never part of matching, but still has to be data
    if (!v.asData()) return false;
    if (role == Role::Add || role == Role::Change) r.value = *v.asData();
    return true;
  }
  if (key == kSecMatchLimit) {
    auto s = v.asString();
    return searching && s && *s == kSecMatchLimitOne;
  }
  if (key == kSecReturnData || key == kSecReturnAttributes || key == kSecReturnPersistentRef) {
    auto b = v.asBoolean();
    if (!b || !(searching || role == Role::Add)) return false;
    (key == kSecReturnData ? r.returnData : key == kSecReturnAttributes ? r.returnAttributes : r.returnRef) = *b;
    return true;
  }
  return false;
}

}  // namespace

OSStatus parse(const PlistValue::Dictionary& d, Role role, Request& r) {
  for (const auto& [key, value] : d)
    if (!readKey(key, value, role, r)) return errSecParam;
  if (role != Role::Change && !r.hasClass) return errSecParam;
  return errSecSuccess;
}

}  // namespace platform::keychain_detail
