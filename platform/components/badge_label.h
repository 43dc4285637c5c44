#pragma once

#include "platform/uikit/view.h"

namespace platform {

// A text label drawn as a filled pill (a count on an icon).
class BadgeLabel : public UILabel {
 public:
  using UILabel::UILabel;
};

// The activity spinner with its own animation: a colour, start and stop. Starting shows it,
// stopping hides it.
class AnimatedActivityIndicatorView : public UIView {
 public:
  // Stopped, so hidden.
  explicit AnimatedActivityIndicatorView(CGRect frame = {});
  const std::optional<UIColor>& color() const;
  void setColor(std::optional<UIColor> color);
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const;

  void describeContent(std::vector<std::string>& parts) const override;

 private:
  std::optional<UIColor> color_;
  bool animating_ = false;
};

// Makes both known to storyboards under their class names.
void registerComponentClasses();

}  // namespace platform
