#include "platform/uikit/font.h"

namespace platform {

namespace {
const char* weightName(UIFontWeight w) {
  switch (w) {
    case UIFontWeight::ultraLight: return "Ultralight";
    case UIFontWeight::thin: return "Thin";
    case UIFontWeight::light: return "Light";
    case UIFontWeight::regular: return "Regular";
    case UIFontWeight::medium: return "Medium";
    case UIFontWeight::semibold: return "Semibold";
    case UIFontWeight::bold: return "Bold";
    case UIFontWeight::heavy: return "Heavy";
    case UIFontWeight::black: return "Black";
  }
  return "Regular";
}
}  // namespace

UIFont UIFont::systemFontOfSize(double size, UIFontWeight weight) {
  return UIFont{std::string(".SFUI-") + weightName(weight), size, weight};
}

UIFont UIFont::fontWithName(std::string name, double size) { return UIFont{std::move(name), size, UIFontWeight::regular}; }

UIFont UIFont::preferredFontForTextStyle(UIFontTextStyle style) {
  switch (style) {
    case UIFontTextStyle::footnote: return systemFontOfSize(13);
    case UIFontTextStyle::caption1: return systemFontOfSize(12);
    case UIFontTextStyle::headline: return systemFontOfSize(17, UIFontWeight::semibold);
    case UIFontTextStyle::body: break;
  }
  return systemFontOfSize(17);
}

UIFont UIFont::fontWithSize(double size) const {
  UIFont f = *this;
  f.pointSize = size;
  return f;
}

}  // namespace platform
