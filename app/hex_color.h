#pragma once

#include <cstdint>
#include <string_view>

#include "platform/uikit/color.h"

// The colour that hexadecimal text such as "fe9423", "#fff" or "80FF0000" names, as 0-255
// components. Never fails: lengths other than 8, 6 and 3 characters give opaque black.
struct HexColorComponents {
  std::uint32_t red = 0, green = 0, blue = 0, alpha = 255;
  bool operator==(const HexColorComponents&) const = default;
};

HexColorComponents hexColorComponents(std::string_view text);

// The platform colour of that text, in the RGB colour space.
platform::UIColor UIColorWithHexString(std::string_view text);
