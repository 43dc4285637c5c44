#pragma once

#include <string>

#include "platform/uikit/font.h"
#include "platform/uikit/geometry.h"

namespace platform {

// sizeWithAttributes with the font as the only attribute. Nothing is drawn, so the measure is a
// fixed rule: width = 0.5 × point size per UTF-16 unit, height = 1.2 × point size (0 for "").
CGSize sizeWithFont(const std::string& text, const UIFont& font);
// UTF-8 to UTF-16 and back; a byte that starts no valid sequence becomes U+FFFD, and so does a
// lone surrogate on the way back.
std::u16string toUTF16(const std::string& text);
std::string toUTF8(const std::u16string& text);

}  // namespace platform
