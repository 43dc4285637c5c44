#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/bytes.h"
#include "platform/foundation/plist.h"

namespace platform {

// The device keychain: generic-password items kept in an SQLite database on the device
// (Device::keychainPath()), shared by every thread of the process and kept across launches.
//
// An item's identity is its class, service, account, generic attribute, access group,
// accessibility and synchronisation state; its value never takes part in matching. A query
// matches the items whose identity attributes equal the ones it gives; an attribute it leaves out
// matches anything, except synchronisation: without kSecAttrSynchronizable a query sees only
// items that are not synchronised, kSecAttrSynchronizableAny sees both.
//
// Service, account and generic attribute are bytes: text stands for its UTF-8 bytes, so the text
// "a" and the data "a" are the same attribute; they compare byte for byte (case-sensitive). An
// item hands them back in the kind it was given them. An absent service, account or generic
// attribute equals an empty one; an absent access group is the application's default group,
// which is what the empty text means too.
//
// A key the operation does not take, a value of the wrong kind or an unknown constant gives
// errSecParam and changes nothing.

using OSStatus = std::int32_t;

inline constexpr OSStatus errSecSuccess = 0;
inline constexpr OSStatus errSecIO = -36;  // the database could not be read or written
inline constexpr OSStatus errSecParam = -50;
inline constexpr OSStatus errSecDuplicateItem = -25299;
inline constexpr OSStatus errSecItemNotFound = -25300;

// Keys and constants of the attribute dictionaries.
inline constexpr const char* kSecClass = "kSecClass";
inline constexpr const char* kSecClassGenericPassword = "kSecClassGenericPassword";

inline constexpr const char* kSecAttrService = "kSecAttrService";
inline constexpr const char* kSecAttrAccount = "kSecAttrAccount";
inline constexpr const char* kSecAttrGeneric = "kSecAttrGeneric";
inline constexpr const char* kSecAttrAccessGroup = "kSecAttrAccessGroup";

// An item added without kSecAttrAccessible gets kSecAttrAccessibleWhenUnlocked.
inline constexpr const char* kSecAttrAccessible = "kSecAttrAccessible";
inline constexpr const char* kSecAttrAccessibleWhenUnlocked = "kSecAttrAccessibleWhenUnlocked";
inline constexpr const char* kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly =
    "kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly";
inline constexpr const char* kSecAttrAccessibleAlwaysThisDeviceOnly = "kSecAttrAccessibleAlwaysThisDeviceOnly";

// Boolean; in a query also kSecAttrSynchronizableAny.
inline constexpr const char* kSecAttrSynchronizable = "kSecAttrSynchronizable";
inline constexpr const char* kSecAttrSynchronizableAny = "kSecAttrSynchronizableAny";

inline constexpr const char* kSecValueData = "kSecValueData";
inline constexpr const char* kSecValuePersistentRef = "kSecValuePersistentRef";

inline constexpr const char* kSecMatchLimit = "kSecMatchLimit";
inline constexpr const char* kSecMatchLimitOne = "kSecMatchLimitOne";

inline constexpr const char* kSecReturnData = "kSecReturnData";
inline constexpr const char* kSecReturnAttributes = "kSecReturnAttributes";
inline constexpr const char* kSecReturnPersistentRef = "kSecReturnPersistentRef";

// Adds one item: kSecClass, identity attributes, kSecValueData (absent: empty), and optionally
// the kSecReturn... keys for `result`. errSecDuplicateItem when an item with the same identity
// exists.
OSStatus SecItemAdd(const PlistValue::Dictionary& attributes, std::optional<PlistValue>* result);

// The first matching item (oldest first); kSecMatchLimit may only be kSecMatchLimitOne. `result`
// (when given) receives, for one kSecReturn... key, that value alone: the data, the persistent
// reference (data) or the attributes (dictionary); for several, the attributes dictionary with
// kSecValueData and kSecValuePersistentRef added as asked; for none, nothing. kSecValueData in the
// query is ignored.
OSStatus SecItemCopyMatching(const PlistValue::Dictionary& query, std::optional<PlistValue>* result);

// Changes every matching item to the given attributes and value (no kSecClass). When that would
// make two items the same, errSecDuplicateItem and nothing changes.
OSStatus SecItemUpdate(const PlistValue::Dictionary& query, const PlistValue::Dictionary& attributesToUpdate);

// Removes every matching item; kSecValueData in the query is ignored, so a dictionary built for
// an add also deletes the item it would collide with.
OSStatus SecItemDelete(const PlistValue::Dictionary& query);

// What a status means, in words; for errSecIO also what the database answered to the last
// operation of this thread that met it ("database or disk is full").
std::string SecCopyErrorMessageString(OSStatus status);

// The item a persistent reference names, as its attributes (kSecClass included) and
// kSecValueData; none when it no longer exists. References are opaque, stay the same for the
// life of the item (relaunches included) and are never reused for another item.
std::optional<PlistValue::Dictionary> SecItemResolvePersistentRef(const Bytes& persistentRef);

}  // namespace platform
