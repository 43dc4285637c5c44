#pragma once

#include <string>

namespace platform {

enum class UIFontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };

enum class UIFontTextStyle { body, footnote, caption1, headline };

// A font by name and point size. Nothing is drawn, so a font is only what a screen asked for.
struct UIFont {
  std::string fontName = ".SFUI-Regular";
  double pointSize = 17;
  UIFontWeight weight = UIFontWeight::regular;

  static UIFont systemFontOfSize(double size, UIFontWeight weight = UIFontWeight::regular);
  static UIFont boldSystemFontOfSize(double size) { return systemFontOfSize(size, UIFontWeight::bold); }
  static UIFont fontWithName(std::string name, double size);
  // At the default text size: footnote 13, body 17, caption 12, headline 17 semibold.
  static UIFont preferredFontForTextStyle(UIFontTextStyle style);
  UIFont fontWithSize(double size) const;

  bool operator==(const UIFont&) const = default;
};

}  // namespace platform
