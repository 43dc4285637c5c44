#include "platform/components/badge_label.h"

#include "platform/uikit/storyboard.h"

namespace platform {

void registerComponentClasses() {
  UIStoryboard::registerViewClass<BadgeLabel>("BadgeLabel");
  UIStoryboard::registerViewClass<AnimatedActivityIndicatorView>("AnimatedActivityIndicatorView");
}

}  // namespace platform
