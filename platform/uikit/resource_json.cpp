#include "platform/uikit/resource_json.h"

namespace platform::detail {

namespace {
std::optional<int> hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}
}  // namespace

std::optional<UIColor> colorFromJSON(const nlohmann::json& value) {
  if (value.is_array()) {
    if (value.size() != 4) return std::nullopt;
    double c[4];
    for (size_t i = 0; i < 4; ++i) {
      if (!value[i].is_number()) return std::nullopt;
      c[i] = value[i].get<double>();
      if (!(c[i] >= 0 && c[i] <= 1)) return std::nullopt;
    }
    return UIColor(c[0], c[1], c[2], c[3]);
  }
  if (!value.is_string()) return std::nullopt;
  const auto s = value.get<std::string>();
  if (!s.empty() && s[0] == '#') {
    if (s.size() != 7 && s.size() != 9) return std::nullopt;
    int bytes[4] = {0, 0, 0, 255};
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
      auto hi = hexDigit(s[i + 1]);
      auto lo = hexDigit(s[i + 2]);
      if (!hi || !lo) return std::nullopt;
      bytes[i / 2] = *hi * 16 + *lo;
    }
    return UIColor(bytes[0] / 255.0, bytes[1] / 255.0, bytes[2] / 255.0, bytes[3] / 255.0);
  }
  if (s == "white") return UIColor::whiteColor();
  if (s == "black") return UIColor::blackColor();
  if (s == "clear") return UIColor::clearColor();
  if (s == "blue") return UIColor::blueColor();
  if (s == "orange") return UIColor::orangeColor();
  if (s == "red") return UIColor::redColor();
  if (s == "green") return UIColor::greenColor();
  if (s == "lightGray") return UIColor::lightGrayColor();
  if (s == "gray") return UIColor::grayColor();
  return std::nullopt;
}

UIColor color(const nlohmann::json& value, const std::string& what) {
  auto c = colorFromJSON(value);
  if (!c) resourceFault(what + " must be a colour, not " + quote(value));
  return *c;
}

}  // namespace platform::detail
