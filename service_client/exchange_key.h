#pragma once

#include <optional>
#include <string>

// Deployment constants shared with the maker's service.

// Appended to the bundle identifier until the exchange key has 32 characters.
inline constexpr char kExchangeKeyFiller = '~';
inline constexpr std::size_t kExchangeKeyLength = 32;

// Information key of the service host (host, or host:port) the exchange talks to.
inline constexpr const char* kServiceHostInfoKey = "OrvaneServiceHost";

// The key of the exchange and of the remote-configuration cache; a bundle identifier of 32
// characters or more is used as it is. Never stored: built whenever it is needed.
inline std::string exchangeKeyFor(const std::optional<std::string>& bundleIdentifier) {
  std::string key = bundleIdentifier.value_or("");
  if (key.size() < kExchangeKeyLength) key.append(kExchangeKeyLength - key.size(), kExchangeKeyFiller);
  return key;
}
