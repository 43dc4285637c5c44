#include "platform/uikit/geometry.h"

#include <charconv>
#include <cmath>

namespace platform {

std::string formatNumber(double value) {
  if (value == 0) return "0";  // also -0
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

std::string describeRect(const CGRect& r) {
  return formatNumber(r.origin.x) + " " + formatNumber(r.origin.y) + " " + formatNumber(r.size.width) + " " +
         formatNumber(r.size.height);
}

}  // namespace platform
