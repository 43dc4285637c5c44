#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using Bytes = std::vector<std::uint8_t>;

inline Bytes toBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
inline std::string toString(const Bytes& b) { return std::string(b.begin(), b.end()); }
bool isValidUTF8(std::string_view s);
// The text with every byte that starts no well-formed sequence replaced by U+FFFD.
std::string repairedUTF8(std::string_view s);
// ASCII letters compared without regard to case (header field names, schemes).
bool equalsIgnoringASCIICase(std::string_view a, std::string_view b);

}  // namespace platform
