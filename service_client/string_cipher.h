#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/bytes.h"

// Texts enciphered with AES-CBC under a key text (zero IV, PKCS #7) and carried as one line of
// standard Base64. The only cipher of the service client; the service and the cache file rely on
// this format byte for byte.
class QVExtStore {
 public:
  QVExtStore() = delete;

  // The Base64 text; the empty text when the text or the key is missing or the cipher fails.
  static std::string qv_add(const std::optional<std::string>& text, const std::optional<std::string>& key);

  // The deciphered text; the empty text when the cipher fails (also for a missing text or key);
  // none when the deciphered bytes are not UTF-8.
  static std::optional<std::string> qv_remove(const std::optional<std::string>& text,
                                              const std::optional<std::string>& key);

  // The same for a text and a key that are there, read where they lie (payloads run to megabytes).
  static std::string add(std::string_view text, std::string_view key);
  static std::optional<std::string> remove(std::string_view text, std::string_view key);

  // Lenient Base64: characters outside the alphabet are skipped, decoding stops at the first "=".
  static platform::Bytes decodeLeniently(std::string_view text);
};
