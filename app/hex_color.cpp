#include "app/hex_color.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstddef>
#include <vector>

namespace {

struct CodePoint {
  std::size_t begin, end;  // byte offsets
  UChar32 value;
};

// Ill-formed UTF-8 counts as one replacement character per bad sequence.
std::vector<CodePoint> codePoints(std::string_view text) {
  std::vector<CodePoint> points;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    const std::int32_t begin = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) c = 0xFFFD;
    points.push_back({static_cast<std::size_t>(begin), static_cast<std::size_t>(i), c});
  }
  return points;
}

// Letters, marks and numbers: the platform's alphanumeric set.
bool isAlphanumeric(UChar32 c) { return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0; }

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An optional 0x prefix, then hexadecimal digits up to the first other character. The texts
// scanned hold at most eight characters, so the value cannot overflow.
std::uint64_t scanHex(std::string_view text) {
  std::size_t i = 0;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) i = 2;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = hexDigit(text[i]);
    if (digit < 0) break;
    value = (value << 4) | static_cast<std::uint64_t>(digit);
  }
  return value;
}

}  // namespace

HexColorComponents hexColorComponents(std::string_view text) {
  const auto points = codePoints(text);
  std::size_t first = 0, last = points.size();
  while (first < last && !isAlphanumeric(points[first].value)) ++first;
  while (last > first && !isAlphanumeric(points[last - 1].value)) --last;
  const std::size_t count = last - first;
  if (count != 8 && count != 6 && count != 3) return {};
  const std::string_view trimmed = text.substr(points[first].begin, points[last - 1].end - points[first].begin);

  const std::uint64_t v = scanHex(trimmed);
  const auto byte = [](std::uint64_t x) { return static_cast<std::uint32_t>(x & 0xFF); };
  const auto nibble = [](std::uint64_t x) { return static_cast<std::uint32_t>(x & 0xF) * 17; };
  switch (count) {
    case 8:
      return {byte(v >> 16), byte(v >> 8), byte(v), byte(v >> 24)};
    case 6:
      return {byte(v >> 16), byte(v >> 8), byte(v), 255};
    case 3:
      return {nibble(v >> 8), nibble(v >> 4), nibble(v), 255};
    default:
      return {};
  }
}

platform::UIColor UIColorWithHexString(std::string_view text) {
  const auto c = hexColorComponents(text);
  return platform::UIColor::colorWithRed(c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}
