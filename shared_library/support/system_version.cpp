#include "shared_library/support/system_version.h"

#include <cctype>
#include <string_view>

namespace LKSCommon {

namespace {

// The leading digits of the next dot-separated part, without leading zeros; advances past it.
std::string_view nextNumber(std::string_view& rest) {
  const auto dot = rest.find('.');
  std::string_view part = rest.substr(0, dot);
  rest = dot == std::string_view::npos ? std::string_view{} : rest.substr(dot + 1);
  size_t digits = 0;
  while (digits < part.size() && std::isdigit(static_cast<unsigned char>(part[digits]))) ++digits;
  part = part.substr(0, digits);
  while (!part.empty() && part.front() == '0') part.remove_prefix(1);
  return part;
}

}  // namespace

std::strong_ordering compareSystemVersions(std::string_view a, std::string_view b) {
  while (!a.empty() || !b.empty()) {
    // compared as digit strings, so no number is too long
    const auto x = nextNumber(a);
    const auto y = nextNumber(b);
    if (auto c = x.size() <=> y.size(); c != 0) return c;
    if (auto c = x.compare(y) <=> 0; c != 0) return c;
  }
  return std::strong_ordering::equal;
}

}  // namespace LKSCommon
