#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/geometry.h"
#include "platform/uikit/image.h"

namespace platform {

class NSLayoutConstraint;
class OutletConnector;
class UIWindow;

// A path made of rectangles and ovals, filled with the non-zero rule.
struct UIBezierPath {
  struct Element {
    enum class Kind { rect, oval };
    Kind kind = Kind::rect;
    CGRect rect;
    bool operator==(const Element&) const = default;
  };
  std::vector<Element> elements;

  static UIBezierPath bezierPathWithRect(CGRect rect) { return {{{Element::Kind::rect, rect}}}; }
  static UIBezierPath bezierPathWithOvalInRect(CGRect rect) { return {{{Element::Kind::oval, rect}}}; }
  void appendPath(const UIBezierPath& other) { elements.insert(elements.end(), other.elements.begin(), other.elements.end()); }
  bool operator==(const UIBezierPath&) const = default;
};

enum class CALayerCornerCurve { circular, continuous };

// A view's layer: what screens set on it. Plain data; reach it through its view on the main thread.
class CALayer {
 public:
  virtual ~CALayer() = default;
  CGRect frame;
  double cornerRadius = 0;
  CALayerCornerCurve cornerCurve = CALayerCornerCurve::circular;
  double borderWidth = 0;
  std::optional<UIColor> borderColor;
  bool masksToBounds = false;
  // The mask layer, replacing any earlier one; none: no mask.
  std::shared_ptr<CALayer> mask;
};

class CAShapeLayer : public CALayer {
 public:
  std::optional<UIBezierPath> path;
  std::string fillRule = "non-zero";
};

// A view of the headless user interface: it keeps what screens set, so a test reads what the
// screen shows. A view owns its subviews and its layer; a superview is known weakly. Main thread
// only, like every view.
class UIView : public std::enable_shared_from_this<UIView> {
 public:
  explicit UIView(CGRect frame = {});
  virtual ~UIView();
  UIView(const UIView&) = delete;
  UIView& operator=(const UIView&) = delete;

  CGRect frame() const;
  void setFrame(CGRect frame);
  // At the origin, the frame's size.
  CGRect bounds() const;
  bool isHidden() const;
  void setHidden(bool hidden);
  double alpha() const;
  void setAlpha(double alpha);
  const std::optional<UIColor>& backgroundColor() const;
  void setBackgroundColor(std::optional<UIColor> color);
  int tag() const;
  void setTag(int tag);
  // The storyboard's name for the view, shown in the screen description.
  const std::optional<std::string>& accessibilityIdentifier() const;
  void setAccessibilityIdentifier(std::optional<std::string> identifier);

  const std::vector<std::shared_ptr<UIView>>& subviews() const;
  // Moves the view here from any earlier superview, on top of the others.
  void addSubview(std::shared_ptr<UIView> view);
  void removeFromSuperview();
  std::shared_ptr<UIView> superview() const;
  // The window the view is in, or none.
  std::shared_ptr<UIWindow> window() const;
  // The first view of the subtree (this one included) with the identifier, or none.
  std::shared_ptr<UIView> viewWithAccessibilityIdentifier(const std::string& identifier);

  CALayer& layer();
  const CALayer& layer() const;

  // Constraints held by this view; they go with it.
  void addConstraint(std::shared_ptr<NSLayoutConstraint> constraint);
  const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints() const;
  // Lays the subtree out at once: constraint constants set since the last pass take effect.
  void layoutIfNeeded();
  int layoutIfNeededCount() const;
  void setNeedsLayout();

  // Runs `animations` at once; `completion` runs on the main run loop `duration` seconds later with
  // finished = true. Completions due at one moment run in the order the animations started.
  static void animate(double duration, std::function<void()> animations,
                      std::function<void(bool finished)> completion = {});

  // Storyboard hooks: connections by name, then awakeFromNib once everything is connected.
  virtual void connectOutlets(OutletConnector& connector);
  virtual void awakeFromNib() {}

  // What the screen description shows of this view beside its class ("\"text\"", "image \"x\"").
  virtual void describeContent(std::vector<std::string>& parts) const;

 protected:
  // Checked entry for subclasses: `call` names what was called.
  static void mainThreadOnly(const char* call);
  // For constructors of views that start hidden.
  void startHidden() { hidden_ = true; }

 private:
  CGRect frame_;
  bool hidden_ = false;
  double alpha_ = 1;
  std::optional<UIColor> backgroundColor_;
  int tag_ = 0;
  std::optional<std::string> accessibilityIdentifier_;
  std::vector<std::shared_ptr<UIView>> subviews_;
  std::weak_ptr<UIView> superview_;
  std::shared_ptr<CALayer> layer_;
  std::vector<std::shared_ptr<NSLayoutConstraint>> constraints_;
  int layoutIfNeededCount_ = 0;
};

enum class NSTextAlignment { left = 0, center = 1, right = 2, justified = 3, natural = 4 };

class UILabel : public UIView {
 public:
  using UIView::UIView;
  // None and "" are kept apart.
  const std::optional<std::string>& text() const;
  void setText(std::optional<std::string> text);
  const UIColor& textColor() const;
  void setTextColor(UIColor color);
  const UIFont& font() const;
  void setFont(UIFont font);
  NSTextAlignment textAlignment() const;
  void setTextAlignment(NSTextAlignment alignment);
  int numberOfLines() const;
  void setNumberOfLines(int lines);

  void describeContent(std::vector<std::string>& parts) const override;

 private:
  std::optional<std::string> text_;
  UIColor textColor_ = UIColor::blackColor();
  UIFont font_ = UIFont::systemFontOfSize(17);
  NSTextAlignment alignment_ = NSTextAlignment::natural;
  int lines_ = 1;
};

class UIImageView : public UIView {
 public:
  using UIView::UIView;
  explicit UIImageView(UIImageRef image);
  const UIImageRef& image() const;
  void setImage(UIImageRef image);
  const std::vector<UIImageRef>& animationImages() const;
  void setAnimationImages(std::vector<UIImageRef> images);
  double animationDuration() const;
  void setAnimationDuration(double seconds);
  // Repeats without end until stopped; no frames are stepped.
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const;
  const std::optional<UIColor>& tintColor() const;
  void setTintColor(std::optional<UIColor> color);

  void describeContent(std::vector<std::string>& parts) const override;

 private:
  UIImageRef image_;
  std::vector<UIImageRef> animationImages_;
  double animationDuration_ = 0;
  bool animating_ = false;
  std::optional<UIColor> tint_;
};

class UIProgressView : public UIView {
 public:
  using UIView::UIView;
  struct Change {
    float value = 0;
    bool animated = false;
    bool operator==(const Change&) const = default;
  };
  float progress() const;
  // Clamped to 0..1 (not a number counts as 0).
  void setProgress(float value, bool animated = false);
  // Every change asked for, clamped, in order.
  const std::vector<Change>& progressHistory() const;

  void describeContent(std::vector<std::string>& parts) const override;

 private:
  float progress_ = 0;
  std::vector<Change> history_;
};

// The platform's spinner: starting shows it; stopping hides it while hidesWhenStopped is on.
class UIActivityIndicatorView : public UIView {
 public:
  // Stopped, so hidden.
  explicit UIActivityIndicatorView(CGRect frame = {});
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const;
  bool hidesWhenStopped() const;
  void setHidesWhenStopped(bool hides);
  const std::optional<UIColor>& color() const;
  void setColor(std::optional<UIColor> color);

  void describeContent(std::vector<std::string>& parts) const override;

 private:
  bool animating_ = false;
  bool hidesWhenStopped_ = true;
  std::optional<UIColor> color_;
};

}  // namespace platform
