#pragma once

#include <optional>
#include <string>

#include "platform/foundation/bytes.h"

// Keeps a pre-shared key as a generic-password item of service "VPN" whose account and generic
// attribute are the key name's bytes, and hands back the item's persistent reference, which is
// what the IKEv2 configuration takes. Holds no state.
class VPNKeychainService {
 public:
  // Replaces any item of this key name with one holding `value` (an empty value included); why
  // the value could not be stored, or none when it was.
  std::optional<std::string> save(const std::string& keyName, const std::string& value);
  // The item's persistent reference (never the value); empty when there is no item or the
  // keychain answers anything but success with data.
  platform::Bytes load(const std::string& keyName);
};
