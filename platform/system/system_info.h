#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/plist.h"

namespace platform {

// The device's own facts, as the phone reports them (from the device profile, never the host's).
class UIDeviceInfo {
 public:
  static std::string name();
  static std::string systemVersion();
};

// The system identification, laid out like the C structure: a fixed field of bytes, ended by a
// zero where the text is shorter.
struct SystemIdentification {
  std::array<char, 256> machine{};
};
SystemIdentification systemIdentification();

// A value of the application's process environment (the device profile's, never the host's), or
// none when it is not set.
std::optional<std::string> environmentValue(const std::string& name);

// The system proxy settings; "__SCOPED__" holds one dictionary per network interface name.
PlistValue::Dictionary copySystemProxySettings();

// The network interface names, one entry per interface address (a name may repeat); none when
// the list cannot be obtained.
std::optional<std::vector<std::string>> networkInterfaceNames();

}  // namespace platform
