#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using Bytes = std::vector<std::uint8_t>;

// Copies of the same bytes under the other type, made in one block copy.
inline Bytes toBytes(std::string_view s) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
  return Bytes(p, p + s.size());
}
inline std::string toString(const Bytes& b) { return std::string(reinterpret_cast<const char*>(b.data()), b.size()); }
// The bytes seen as a text, without a copy.
inline std::string_view asText(const Bytes& b) {
  return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
}
bool isValidUTF8(std::string_view s);
// The text with every byte that starts no well-formed sequence replaced by U+FFFD.
std::string repairedUTF8(std::string_view s);
// ASCII letters compared without regard to case (header field names, schemes).
bool equalsIgnoringASCIICase(std::string_view a, std::string_view b);

}  // namespace platform
