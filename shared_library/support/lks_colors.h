#pragma once

#include <optional>
#include <string>

#include "platform/uikit/color.h"

// The names of the library's theme colours, each with a light and a dark variant in
// "LKSCommon.bundle", and their look-up for the current appearance. Main thread only.
class LKSColors {
 public:
  LKSColors() = delete;

  static std::string background() { return "LKSBGColor"; }
  static std::string cellBackground() { return "LKSCellColor"; }
  static std::string cellSeperator() { return "LKSCellSeperatorColor"; }
  static std::string cellText() { return "LKSCellTextColor"; }
  static std::string sectionHeaderText() { return "LKSSectionHeaderTextColor"; }
  static std::string titleText() { return "LKSTitleColor"; }

  // The named colour of the library's bundle (the main bundle when that is missing) for the
  // current traits; none when the bundle has no colour of that name.
  static std::optional<platform::UIColor> themeColorWithName(const std::string& name);
};
