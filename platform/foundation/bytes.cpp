#include "platform/foundation/bytes.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none.
size_t sequenceLength(std::string_view s, size_t i) {
  const size_t n = s.size();
  auto c = static_cast<unsigned char>(s[i]);
  size_t len;
  std::uint32_t cp;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
  else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
  else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
  else return 0;
  if (i + len > n) return 0;
  for (size_t k = 1; k < len; ++k) {
    auto cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  // overlong forms, surrogates and values past U+10FFFF are not UTF-8
  if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000)) return 0;
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

// Whether the 16 bytes at p are all ASCII.
bool asciiBlock(const char* p) {
  std::uint64_t a, b;
  std::memcpy(&a, p, 8);
  std::memcpy(&b, p + 8, 8);
  return ((a | b) & 0x8080808080808080u) == 0;
}

}  // namespace

bool isValidUTF8(std::string_view s) {
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    // texts are mostly ASCII: runs of it go 32 bytes at a time
    while (i + 32 <= n && asciiBlock(s.data() + i) && asciiBlock(s.data() + i + 16)) i += 32;
    for (const size_t stop = std::min(n, i + 32); i < stop;) {
      if (static_cast<unsigned char>(s[i]) < 0x80) {
        ++i;
        continue;
      }
      const size_t len = sequenceLength(s, i);
      if (len == 0) return false;
      i += len;
    }
  }
  return true;
}

std::string repairedUTF8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const size_t len = sequenceLength(s, i);
    if (len == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD for each byte that starts no sequence
      ++i;
    } else {
      out.append(s.substr(i, len));
      i += len;
    }
  }
  return out;
}

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

}  // namespace platform
