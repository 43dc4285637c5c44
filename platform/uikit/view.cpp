#include "platform/uikit/view.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/queues.h"
#include "platform/uikit/application.h"
#include "platform/uikit/layout.h"
#include "platform/uikit/main_thread.h"

namespace platform {

void UIView::mainThreadOnly(const char* call) { requireMainThread(call); }

UIView::UIView(CGRect frame) : frame_(frame), layer_(std::make_shared<CALayer>()) { layer_->frame = frame; }

UIView::~UIView() = default;

CGRect UIView::frame() const {
  mainThreadOnly("UIView::frame");
  return frame_;
}

void UIView::setFrame(CGRect frame) {
  mainThreadOnly("UIView::setFrame");
  frame_ = frame;
  layer_->frame = frame;
}

CGRect UIView::bounds() const {
  mainThreadOnly("UIView::bounds");
  return CGRect{{0, 0}, frame_.size};
}

bool UIView::isHidden() const {
  mainThreadOnly("UIView::isHidden");
  return hidden_;
}

void UIView::setHidden(bool hidden) {
  mainThreadOnly("UIView::setHidden");
  hidden_ = hidden;
}

double UIView::alpha() const {
  mainThreadOnly("UIView::alpha");
  return alpha_;
}

void UIView::setAlpha(double alpha) {
  mainThreadOnly("UIView::setAlpha");
  alpha_ = std::isnan(alpha) ? 0 : std::clamp(alpha, 0.0, 1.0);
}

const std::optional<UIColor>& UIView::backgroundColor() const {
  mainThreadOnly("UIView::backgroundColor");
  return backgroundColor_;
}

void UIView::setBackgroundColor(std::optional<UIColor> color) {
  mainThreadOnly("UIView::setBackgroundColor");
  backgroundColor_ = color;
}

int UIView::tag() const { return tag_; }

void UIView::setTag(int tag) {
  mainThreadOnly("UIView::setTag");
  tag_ = tag;
}

const std::optional<std::string>& UIView::accessibilityIdentifier() const { return accessibilityIdentifier_; }

void UIView::setAccessibilityIdentifier(std::optional<std::string> identifier) {
  mainThreadOnly("UIView::setAccessibilityIdentifier");
  accessibilityIdentifier_ = std::move(identifier);
}

const std::vector<std::shared_ptr<UIView>>& UIView::subviews() const {
  mainThreadOnly("UIView::subviews");
  return subviews_;
}

void UIView::addSubview(std::shared_ptr<UIView> view) {
  mainThreadOnly("UIView::addSubview");
  if (!view || view.get() == this) return;
  for (auto up = superview_.lock(); up; up = up->superview_.lock())
    if (up == view) return;  // a view cannot hold its own ancestor
  view->removeFromSuperview();
  view->superview_ = weak_from_this();
  subviews_.push_back(std::move(view));
}

void UIView::removeFromSuperview() {
  mainThreadOnly("UIView::removeFromSuperview");
  auto parent = superview_.lock();
  superview_.reset();
  if (!parent) return;
  auto keep = shared_from_this();  // the parent may hold the last reference
  std::erase_if(parent->subviews_, [&](const std::shared_ptr<UIView>& v) { return v.get() == this; });
}

std::shared_ptr<UIView> UIView::superview() const {
  mainThreadOnly("UIView::superview");
  return superview_.lock();
}

std::shared_ptr<UIWindow> UIView::window() const {
  mainThreadOnly("UIView::window");
  auto top = std::const_pointer_cast<UIView>(shared_from_this());
  while (auto up = top->superview_.lock()) top = up;
  return std::dynamic_pointer_cast<UIWindow>(top);
}

std::shared_ptr<UIView> UIView::viewWithAccessibilityIdentifier(const std::string& identifier) {
  mainThreadOnly("UIView::viewWithAccessibilityIdentifier");
  if (accessibilityIdentifier_ == identifier) return shared_from_this();
  for (const auto& v : subviews_)
    if (auto found = v->viewWithAccessibilityIdentifier(identifier)) return found;
  return nullptr;
}

CALayer& UIView::layer() {
  mainThreadOnly("UIView::layer");
  return *layer_;
}

const CALayer& UIView::layer() const {
  mainThreadOnly("UIView::layer");
  return *layer_;
}

void UIView::addConstraint(std::shared_ptr<NSLayoutConstraint> constraint) {
  mainThreadOnly("UIView::addConstraint");
  if (!constraint) return;
  constraint->view_ = weak_from_this();
  constraints_.push_back(std::move(constraint));
}

const std::vector<std::shared_ptr<NSLayoutConstraint>>& UIView::constraints() const {
  mainThreadOnly("UIView::constraints");
  return constraints_;
}

void UIView::layoutIfNeeded() {
  mainThreadOnly("UIView::layoutIfNeeded");
  ++layoutIfNeededCount_;
  std::vector<UIView*> stack{this};
  while (!stack.empty()) {
    auto* v = stack.back();
    stack.pop_back();
    for (const auto& c : v->constraints_) c->applyLayout();
    for (const auto& s : v->subviews_) stack.push_back(s.get());
  }
}

int UIView::layoutIfNeededCount() const {
  mainThreadOnly("UIView::layoutIfNeededCount");
  return layoutIfNeededCount_;
}

void UIView::setNeedsLayout() { mainThreadOnly("UIView::setNeedsLayout"); }

void UIView::animate(double duration, std::function<void()> animations, std::function<void(bool)> completion) {
  mainThreadOnly("UIView::animate");
  if (animations) animations();
  if (!completion) return;
  if (!(duration > 0)) duration = 0;
  DispatchQueue::main().asyncAfter(duration, [completion = std::move(completion)] { completion(true); });
}

void UIView::connectOutlets(OutletConnector&) {}

void UIView::describeContent(std::vector<std::string>&) const {}

namespace {
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '"') out += "\\\"";
    else out += c;
  }
  return out + "\"";
}

void describeImage(const UIImageRef& image, std::vector<std::string>& parts) {
  if (image) {
    parts.push_back(image.requestedName() ? "image " + quoted(*image.requestedName())
                                          : std::string(image->isEmpty() ? "empty image" : "image"));
  } else if (image.requestedName()) {
    parts.push_back("image " + quoted(*image.requestedName()) + " (missing)");
  }
}
}  // namespace

// UILabel

const std::optional<std::string>& UILabel::text() const {
  mainThreadOnly("UILabel::text");
  return text_;
}

void UILabel::setText(std::optional<std::string> text) {
  mainThreadOnly("UILabel::setText");
  text_ = std::move(text);
}

const UIColor& UILabel::textColor() const {
  mainThreadOnly("UILabel::textColor");
  return textColor_;
}

void UILabel::setTextColor(UIColor color) {
  mainThreadOnly("UILabel::setTextColor");
  textColor_ = color;
}

const UIFont& UILabel::font() const {
  mainThreadOnly("UILabel::font");
  return font_;
}

void UILabel::setFont(UIFont font) {
  mainThreadOnly("UILabel::setFont");
  font_ = std::move(font);
}

NSTextAlignment UILabel::textAlignment() const { return alignment_; }

void UILabel::setTextAlignment(NSTextAlignment alignment) {
  mainThreadOnly("UILabel::setTextAlignment");
  alignment_ = alignment;
}

int UILabel::numberOfLines() const { return lines_; }

void UILabel::setNumberOfLines(int lines) {
  mainThreadOnly("UILabel::setNumberOfLines");
  lines_ = lines;
}

void UILabel::describeContent(std::vector<std::string>& parts) const { parts.push_back(quoted(text_.value_or(""))); }

// UIImageView

UIImageView::UIImageView(UIImageRef image) : UIView(image ? CGRect{{0, 0}, image->size()} : CGRect{}) {
  image_ = std::move(image);
}

const UIImageRef& UIImageView::image() const {
  mainThreadOnly("UIImageView::image");
  return image_;
}

void UIImageView::setImage(UIImageRef image) {
  mainThreadOnly("UIImageView::setImage");
  image_ = std::move(image);
}

const std::vector<UIImageRef>& UIImageView::animationImages() const {
  mainThreadOnly("UIImageView::animationImages");
  return animationImages_;
}

void UIImageView::setAnimationImages(std::vector<UIImageRef> images) {
  mainThreadOnly("UIImageView::setAnimationImages");
  animationImages_ = std::move(images);
}

double UIImageView::animationDuration() const {
  mainThreadOnly("UIImageView::animationDuration");
  return animationDuration_;
}

void UIImageView::setAnimationDuration(double seconds) {
  mainThreadOnly("UIImageView::setAnimationDuration");
  animationDuration_ = seconds;
}

void UIImageView::startAnimating() {
  mainThreadOnly("UIImageView::startAnimating");
  animating_ = !animationImages_.empty();
}

void UIImageView::stopAnimating() {
  mainThreadOnly("UIImageView::stopAnimating");
  animating_ = false;
}

bool UIImageView::isAnimating() const {
  mainThreadOnly("UIImageView::isAnimating");
  return animating_;
}

const std::optional<UIColor>& UIImageView::tintColor() const { return tint_; }

void UIImageView::setTintColor(std::optional<UIColor> color) {
  mainThreadOnly("UIImageView::setTintColor");
  tint_ = color;
}

void UIImageView::describeContent(std::vector<std::string>& parts) const {
  if (animating_) {
    std::string names;
    for (const auto& i : animationImages_) names += (names.empty() ? "" : " ") + quoted(i.requestedName().value_or(""));
    parts.push_back("animating " + names);
    return;
  }
  describeImage(image_, parts);
}

// UIProgressView

float UIProgressView::progress() const {
  mainThreadOnly("UIProgressView::progress");
  return progress_;
}

void UIProgressView::setProgress(float value, bool animated) {
  mainThreadOnly("UIProgressView::setProgress");
  progress_ = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
  history_.push_back(Change{progress_, animated});
}

const std::vector<UIProgressView::Change>& UIProgressView::progressHistory() const {
  mainThreadOnly("UIProgressView::progressHistory");
  return history_;
}

void UIProgressView::describeContent(std::vector<std::string>& parts) const {
  parts.push_back("progress " + formatNumber(progress_));
}

// UIActivityIndicatorView

UIActivityIndicatorView::UIActivityIndicatorView(CGRect frame) : UIView(frame) { startHidden(); }

void UIActivityIndicatorView::startAnimating() {
  mainThreadOnly("UIActivityIndicatorView::startAnimating");
  animating_ = true;
  setHidden(false);
}

void UIActivityIndicatorView::stopAnimating() {
  mainThreadOnly("UIActivityIndicatorView::stopAnimating");
  animating_ = false;
  if (hidesWhenStopped_) setHidden(true);
}

bool UIActivityIndicatorView::isAnimating() const {
  mainThreadOnly("UIActivityIndicatorView::isAnimating");
  return animating_;
}

bool UIActivityIndicatorView::hidesWhenStopped() const { return hidesWhenStopped_; }

void UIActivityIndicatorView::setHidesWhenStopped(bool hides) {
  mainThreadOnly("UIActivityIndicatorView::setHidesWhenStopped");
  hidesWhenStopped_ = hides;
  if (hides && !animating_) setHidden(true);
}

const std::optional<UIColor>& UIActivityIndicatorView::color() const { return color_; }

void UIActivityIndicatorView::setColor(std::optional<UIColor> color) {
  mainThreadOnly("UIActivityIndicatorView::setColor");
  color_ = color;
}

void UIActivityIndicatorView::describeContent(std::vector<std::string>& parts) const {
  parts.push_back(animating_ ? "animating" : "stopped");
}

}  // namespace platform
