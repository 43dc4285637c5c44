#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// The library's one way into the service client: remote values by key, the name of the
// notification that announces a fresh configuration, and the string cipher. Holds no state; every
// look-up deciphers and parses the cached configuration afresh.
class UtilityWrapper {
 public:
  UtilityWrapper() = delete;

  // The value under the key at the top of the cached configuration (JSON null is a value), or
  // none when the key is missing, nothing is cached or the cache does not decipher or parse.
  static std::optional<nlohmann::json> valueForEventKey(const std::optional<std::string>& key);
  // The value's Boolean reading: a number (a Boolean counts as 1 or 0) when not zero; a text by
  // its first meaningful character. Anything else, or no value, is false.
  static bool isValueAvailableForEventKey(const std::optional<std::string>& key);
  // Always "somenotifweneed".
  static std::string updateEventsNotificationName();

  static std::string encodeString(const std::optional<std::string>& text, const std::optional<std::string>& key);
  // The empty text when the cipher fails, none when the deciphered bytes are not UTF-8.
  static std::optional<std::string> decodeString(const std::optional<std::string>& text,
                                                 const std::optional<std::string>& key);

  // The Boolean reading of a text: after C white space, one optional sign and leading zeros, the
  // next character is Y, y, T, t or a digit 1 to 9.
  static bool textBoolValue(const std::string& text);
};
