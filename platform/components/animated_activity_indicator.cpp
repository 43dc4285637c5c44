#include "platform/components/badge_label.h"

namespace platform {

AnimatedActivityIndicatorView::AnimatedActivityIndicatorView(CGRect frame) : UIView(frame) { startHidden(); }

const std::optional<UIColor>& AnimatedActivityIndicatorView::color() const {
  mainThreadOnly("AnimatedActivityIndicatorView::color");
  return color_;
}

void AnimatedActivityIndicatorView::setColor(std::optional<UIColor> color) {
  mainThreadOnly("AnimatedActivityIndicatorView::setColor");
  color_ = color;
}

void AnimatedActivityIndicatorView::startAnimating() {
  mainThreadOnly("AnimatedActivityIndicatorView::startAnimating");
  animating_ = true;
  setHidden(false);
}

void AnimatedActivityIndicatorView::stopAnimating() {
  mainThreadOnly("AnimatedActivityIndicatorView::stopAnimating");
  animating_ = false;
  setHidden(true);
}

bool AnimatedActivityIndicatorView::isAnimating() const {
  mainThreadOnly("AnimatedActivityIndicatorView::isAnimating");
  return animating_;
}

void AnimatedActivityIndicatorView::describeContent(std::vector<std::string>& parts) const {
  parts.push_back(animating_ ? "spinning" : "stopped");
  if (color_) parts.push_back("color " + color_->description());
}

}  // namespace platform
