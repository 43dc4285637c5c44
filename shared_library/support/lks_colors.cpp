#include "shared_library/support/lks_colors.h"

#include "shared_library/support/lks_utils.h"

std::optional<platform::UIColor> LKSColors::themeColorWithName(const std::string& name) {
  // Looked up afresh each time: the bundle and the appearance may both have changed.
  return platform::UIColor::colorNamed(name, LKSUtils::commonBundle(),
                                       platform::UITraitCollection::currentTraitCollection());
}
