// Layout direction, intrinsic size, traits, touches, gestures, hit test and accessibility of views,
// and layer geometry.
#include <algorithm>
#include <cmath>

#include "platform/foundation/locale.h"
#include "platform/uikit/view.h"

namespace platform {

CGRect CALayer::frameInSuperlayer() const {
  const double w = bounds.size.width, h = bounds.size.height;
  const double ax = anchorPoint.x * w, ay = anchorPoint.y * h;
  double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (const auto& [cx, cy] : {std::pair{0.0, 0.0}, {w, 0.0}, {0.0, h}, {w, h}}) {
    const double x = cx - ax, y = cy - ay;
    const double tx = x * transform.m11 + y * transform.m21 + transform.m41;
    const double ty = x * transform.m12 + y * transform.m22 + transform.m42;
    minX = std::min(minX, tx);
    maxX = std::max(maxX, tx);
    minY = std::min(minY, ty);
    maxY = std::max(maxY, ty);
  }
  return {{position.x + minX, position.y + minY}, {maxX - minX, maxY - minY}};
}

CGPoint UITouch::locationInView(const UIView* view) const {
  const auto own = view_.lock();
  if (!view || !own || own.get() == view) return location_;
  const auto there = view->frame().origin, here = own->frame().origin;
  return {location_.x + here.x - there.x, location_.y + here.y - there.y};
}

UISemanticContentAttribute UIView::semanticContentAttribute() const { return semantic_; }

void UIView::setSemanticContentAttribute(UISemanticContentAttribute attribute) {
  mainThreadOnly("UIView::setSemanticContentAttribute");
  semantic_ = attribute;
}

UIUserInterfaceLayoutDirection UIView::userInterfaceLayoutDirectionForSemanticContentAttribute(
    UISemanticContentAttribute attribute) {
  switch (attribute) {
    case UISemanticContentAttribute::forceRightToLeft:
      return UIUserInterfaceLayoutDirection::rightToLeft;
    case UISemanticContentAttribute::unspecified: {
      const auto languages = Locale::preferredLanguages();
      if (languages.empty()) return UIUserInterfaceLayoutDirection::leftToRight;
      const auto code = languages.front().substr(0, languages.front().find_first_of("-_"));
      const bool rtl = code == "ar" || code == "he" || code == "fa" || code == "ur";
      return rtl ? UIUserInterfaceLayoutDirection::rightToLeft : UIUserInterfaceLayoutDirection::leftToRight;
    }
    default:
      return UIUserInterfaceLayoutDirection::leftToRight;
  }
}

CGSize UIView::intrinsicContentSize() const { return {-1, -1}; }

void UIView::invalidateIntrinsicContentSize() {
  mainThreadOnly("UIView::invalidateIntrinsicContentSize");
  ++intrinsicInvalidations_;
}

int UIView::intrinsicContentSizeInvalidations() const { return intrinsicInvalidations_; }

bool UIView::isOpaque() const { return opaque_; }

void UIView::setOpaque(bool opaque) {
  mainThreadOnly("UIView::setOpaque");
  opaque_ = opaque;
}

UITraitCollection UIView::traitCollection() const {
  return traits_ ? *traits_ : UITraitCollection::currentTraitCollection();
}

void UIView::setTraitCollection(UITraitCollection traits) {
  mainThreadOnly("UIView::setTraitCollection");
  const auto previous = traits_;
  if (previous && *previous == traits) return;
  traits_ = traits;
  traitCollectionDidChange(previous);
}

void UIView::traitCollectionDidChange(const std::optional<UITraitCollection>&) {}

void UIView::touchesBegan(const UITouchSet&, const UIEvent&) { forwardedTouches_.push_back(UITouchPhase::began); }
void UIView::touchesMoved(const UITouchSet&, const UIEvent&) { forwardedTouches_.push_back(UITouchPhase::moved); }
void UIView::touchesEnded(const UITouchSet&, const UIEvent&) { forwardedTouches_.push_back(UITouchPhase::ended); }
void UIView::touchesCancelled(const UITouchSet&, const UIEvent&) {
  forwardedTouches_.push_back(UITouchPhase::cancelled);
}

const std::vector<UITouchPhase>& UIView::forwardedTouchPhases() const { return forwardedTouches_; }

bool UIView::gestureRecognizerShouldBegin(const UIGestureRecognizer&) { return true; }

bool UIView::pointInside(CGPoint point, const UIEvent*) const {
  const auto b = bounds();
  return point.x >= b.origin.x && point.x < b.origin.x + b.size.width && point.y >= b.origin.y &&
         point.y < b.origin.y + b.size.height;
}

bool UIView::isAccessibilityElement() const { return accessibilityElement_; }
void UIView::setIsAccessibilityElement(bool element) { accessibilityElement_ = element; }
UIAccessibilityTraits UIView::accessibilityTraits() const { return accessibilityTraits_; }
void UIView::setAccessibilityTraits(UIAccessibilityTraits traits) { accessibilityTraits_ = traits; }
const std::optional<std::string>& UIView::accessibilityLabel() const { return accessibilityLabel_; }
void UIView::setAccessibilityLabel(std::optional<std::string> label) { accessibilityLabel_ = std::move(label); }
const std::optional<std::string>& UIView::accessibilityValue() const { return accessibilityValue_; }
void UIView::setAccessibilityValue(std::optional<std::string> value) { accessibilityValue_ = std::move(value); }

}  // namespace platform
