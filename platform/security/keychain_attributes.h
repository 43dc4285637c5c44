#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/bytes.h"
#include "platform/foundation/plist.h"
#include "platform/security/keychain.h"

// The checks on the keychain's attribute dictionaries: which keys and values each operation
// takes. For the keychain's own sources only.
namespace platform::keychain_detail {

// Which form an attribute was given in; identity compares the bytes only.
enum class Kind : std::int64_t { Absent = 0, Text = 1, Data = 2 };

struct Blob {
  Bytes bytes;
  Kind kind = Kind::Absent;
};

enum class Sync { No, Yes, Any };

// What a dictionary asks for, once its keys and kinds are checked.
struct Request {
  bool hasClass = false;
  std::optional<Blob> service, account, generic;
  std::optional<std::string> accessGroup, accessible;
  std::optional<Sync> sync;
  std::optional<Bytes> value;
  bool returnData = false, returnAttributes = false, returnRef = false;
};

// Add: a new item. Query: delete and update. Search: copy matching. Change: update's new values.
enum class Role { Add, Query, Search, Change };

// What a dictionary asks for in the role; errSecParam when a key or its value does not suit it.
OSStatus parse(const PlistValue::Dictionary& d, Role role, Request& r);

}  // namespace platform::keychain_detail
