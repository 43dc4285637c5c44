#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/geometry.h"
#include "platform/uikit/image.h"
#include "platform/uikit/transform3d.h"

namespace platform {

class NSLayoutConstraint;
class OutletConnector;
class UIWindow;

// A path made of rectangles and ovals, filled with the non-zero rule, or of moves, straight lines
// and closes.
struct UIBezierPath {
  struct Element {
    enum class Kind { rect, oval, move, line, close };
    Kind kind = Kind::rect;
    // For move and line: the point, as the origin of an empty rectangle.
    CGRect rect;
    CGPoint point() const { return rect.origin; }
    bool operator==(const Element&) const = default;
  };
  std::vector<Element> elements;

  static UIBezierPath bezierPathWithRect(CGRect rect) { return {{{Element::Kind::rect, rect}}}; }
  static UIBezierPath bezierPathWithOvalInRect(CGRect rect) { return {{{Element::Kind::oval, rect}}}; }
  void appendPath(const UIBezierPath& other) { elements.insert(elements.end(), other.elements.begin(), other.elements.end()); }
  void moveToPoint(CGPoint p) { elements.push_back({Element::Kind::move, {p, {}}}); }
  void addLineToPoint(CGPoint p) { elements.push_back({Element::Kind::line, {p, {}}}); }
  void closePath() { elements.push_back({Element::Kind::close, {}}); }
  bool operator==(const UIBezierPath&) const = default;
};

enum class CALayerCornerCurve { circular, continuous };

// A layer: a view's own layer (what screens set on it) or one made by drawing code and hung in a
// layer tree. Plain data; reach it through its view on the main thread.
class CALayer {
 public:
  virtual ~CALayer() = default;
  // A view's layer: the view's frame.
  CGRect frame;
  double cornerRadius = 0;
  CALayerCornerCurve cornerCurve = CALayerCornerCurve::circular;
  double borderWidth = 0;
  std::optional<UIColor> borderColor;
  bool masksToBounds = false;
  // The mask layer, replacing any earlier one; none: no mask.
  std::shared_ptr<CALayer> mask;

  // Geometry of a layer in a layer tree.
  CGRect bounds;
  CGPoint position;
  CGPoint anchorPoint{0.5, 0.5};
  double contentsScale = 1;
  bool opaque = false;
  CATransform3D transform;
  // The image drawn as the layer's contents, and how it fits ("resize", "resizeAspect").
  std::shared_ptr<const UIImage> contents;
  std::string contentsGravity = "resize";
  bool shouldRasterize = false;
  double rasterizationScale = 1;
  std::vector<std::shared_ptr<CALayer>> sublayers;

  void addSublayer(std::shared_ptr<CALayer> layer) { sublayers.push_back(std::move(layer)); }
  // The layer's rectangle in its parent: the corners of the bounds, taken relative to the anchor,
  // through the transform's x and y part, moved to the position; their bounding box.
  CGRect frameInSuperlayer() const;
};

class CAShapeLayer : public CALayer {
 public:
  std::optional<UIBezierPath> path;
  std::string fillRule = "non-zero";
  std::optional<UIColor> fillColor = UIColor::blackColor();
  std::optional<UIColor> strokeColor;
  double lineWidth = 1;
};

class CATextLayer : public CALayer {
 public:
  std::string string;
  std::string fontName;
  double fontSize = 36;
  std::optional<UIColor> foregroundColor = UIColor::whiteColor();
};

enum class UISemanticContentAttribute { unspecified = 0, playback = 1, spatial = 2, forceLeftToRight = 3,
                                        forceRightToLeft = 4 };
enum class UIUserInterfaceLayoutDirection { leftToRight = 0, rightToLeft = 1 };

// Accessibility traits, a bit set.
using UIAccessibilityTraits = std::uint64_t;
inline constexpr UIAccessibilityTraits UIAccessibilityTraitNone = 0;
inline constexpr UIAccessibilityTraits UIAccessibilityTraitButton = 1u << 0;
inline constexpr UIAccessibilityTraits UIAccessibilityTraitAdjustable = 1u << 12;

class UIView;

// One finger on the screen, at a place in its window's coordinates (here: of the view it touches).
class UITouch {
 public:
  explicit UITouch(CGPoint location, std::weak_ptr<UIView> view = {}) : location_(location), view_(std::move(view)) {}
  // Where the finger is in `view`'s coordinates: the location, less the view's origin when the touch
  // was given in another view's coordinates.
  CGPoint locationInView(const UIView* view) const;

 private:
  CGPoint location_;
  std::weak_ptr<UIView> view_;
};

// The touches of one event, in the order they came; "the first the set yields" is the first.
using UITouchSet = std::vector<std::shared_ptr<UITouch>>;
struct UIEvent {};

enum class UITouchPhase { began, moved, ended, cancelled };

class UIGestureRecognizer {
 public:
  virtual ~UIGestureRecognizer() = default;
};
class UIPanGestureRecognizer : public UIGestureRecognizer {};
class UIScreenEdgePanGestureRecognizer : public UIPanGestureRecognizer {};
class UITapGestureRecognizer : public UIGestureRecognizer {};
class UILongPressGestureRecognizer : public UIGestureRecognizer {};

// A view of the headless user interface: it keeps what screens set, so a test reads what the
// screen shows. A view owns its subviews and its layer; a superview is known weakly. Views in a
// tree live in std::shared_ptr. Main thread only, like every view.
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

  // Layout direction and size the view asks for.
  UISemanticContentAttribute semanticContentAttribute() const;
  void setSemanticContentAttribute(UISemanticContentAttribute attribute);
  // Right-to-left for forceRightToLeft; left-to-right for forceLeftToRight, playback and spatial;
  // otherwise the device's language direction.
  static UIUserInterfaceLayoutDirection userInterfaceLayoutDirectionForSemanticContentAttribute(
      UISemanticContentAttribute attribute);
  // No intrinsic size: (-1, -1).
  virtual CGSize intrinsicContentSize() const;
  void invalidateIntrinsicContentSize();
  int intrinsicContentSizeInvalidations() const;
  bool isOpaque() const;
  void setOpaque(bool opaque);

  // Traits: the current ones unless set on the view. Setting different traits tells the view,
  // with the ones it had.
  UITraitCollection traitCollection() const;
  void setTraitCollection(UITraitCollection traits);
  virtual void traitCollectionDidChange(const std::optional<UITraitCollection>& previous);

  // Touches. The base handling passes them on to the next responder; each call is recorded.
  virtual void touchesBegan(const UITouchSet& touches, const UIEvent& event);
  virtual void touchesMoved(const UITouchSet& touches, const UIEvent& event);
  virtual void touchesEnded(const UITouchSet& touches, const UIEvent& event);
  virtual void touchesCancelled(const UITouchSet& touches, const UIEvent& event);
  // The phases the base handling passed on, in order.
  const std::vector<UITouchPhase>& forwardedTouchPhases() const;
  virtual bool gestureRecognizerShouldBegin(const UIGestureRecognizer& recognizer);
  // Bounds containment: the low edges inclusive, the high edges exclusive.
  virtual bool pointInside(CGPoint point, const UIEvent* event) const;

  // Accessibility.
  bool isAccessibilityElement() const;
  void setIsAccessibilityElement(bool element);
  UIAccessibilityTraits accessibilityTraits() const;
  void setAccessibilityTraits(UIAccessibilityTraits traits);
  const std::optional<std::string>& accessibilityLabel() const;
  void setAccessibilityLabel(std::optional<std::string> label);
  const std::optional<std::string>& accessibilityValue() const;
  void setAccessibilityValue(std::optional<std::string> value);
  // What an assistive technology sends an adjustable element; the base does nothing.
  virtual void accessibilityIncrement() {}
  virtual void accessibilityDecrement() {}

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
  UISemanticContentAttribute semantic_ = UISemanticContentAttribute::unspecified;
  int intrinsicInvalidations_ = 0;
  bool opaque_ = false;
  std::optional<UITraitCollection> traits_;
  std::vector<UITouchPhase> forwardedTouches_;
  bool accessibilityElement_ = false;
  UIAccessibilityTraits accessibilityTraits_ = UIAccessibilityTraitNone;
  std::optional<std::string> accessibilityLabel_;
  std::optional<std::string> accessibilityValue_;
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
