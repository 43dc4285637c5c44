#pragma once

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"

namespace platform {

// Text attributes by key (NSForegroundColorAttributeName, NSFontAttributeName).
struct TextAttributes {
  std::optional<UIColor> foregroundColor;
  std::optional<UIFont> font;
  bool operator==(const TextAttributes&) const = default;
};

// A bar's look. No background colour is not the same as a clear one.
struct UINavigationBarAppearance {
  TextAttributes titleTextAttributes;
  TextAttributes largeTitleTextAttributes;
  std::optional<UIColor> shadowColor;
  std::optional<UIColor> backgroundColor;
  // The platform's opaque defaults: a white background and a faint shadow.
  void configureWithOpaqueBackground();
  void configureWithTransparentBackground();
  bool operator==(const UINavigationBarAppearance&) const = default;
};

enum class UIBarMetrics : int { defaultMetrics = 0, compact = 1 };

// What the global appearance proxy of navigation bars holds. An empty image (a UIImage of no
// size) is not the same as none.
struct UINavigationBarAppearanceProxy {
  UIImageRef shadowImage;
  std::map<UIBarMetrics, UIImageRef> backgroundImages;
  UIImageRef backgroundImageForBarMetrics(UIBarMetrics metrics) const;
  void setBackgroundImage(UIImageRef image, UIBarMetrics metrics);
};

class UINavigationBar : public UIView {
 public:
  using UIView::UIView;
  // The process's proxy; main thread only.
  static UINavigationBarAppearanceProxy& appearance();

  const TextAttributes& titleTextAttributes() const;
  void setTitleTextAttributes(TextAttributes attributes);
  const TextAttributes& largeTitleTextAttributes() const;
  void setLargeTitleTextAttributes(TextAttributes attributes);
  const UINavigationBarAppearance& standardAppearance() const;
  void setStandardAppearance(UINavigationBarAppearance appearance);
  const std::optional<UINavigationBarAppearance>& scrollEdgeAppearance() const;
  void setScrollEdgeAppearance(std::optional<UINavigationBarAppearance> appearance);
  bool prefersLargeTitles() const;
  void setPrefersLargeTitles(bool prefers);
  bool isTranslucent() const;
  void setTranslucent(bool translucent);
  const std::optional<UIColor>& tintColor() const;
  void setTintColor(std::optional<UIColor> color);
  const std::optional<UIColor>& barTintColor() const;
  void setBarTintColor(std::optional<UIColor> color);

 private:
  TextAttributes title_, largeTitle_;
  UINavigationBarAppearance standard_;
  std::optional<UINavigationBarAppearance> scrollEdge_;
  bool prefersLargeTitles_ = false;
  bool translucent_ = true;
  std::optional<UIColor> tint_, barTint_;
};

// A stack of child controllers of which the top one shows under the bar.
class UINavigationController : public UIViewController {
 public:
  UINavigationController();
  explicit UINavigationController(std::shared_ptr<UIViewController> root);

  std::vector<std::shared_ptr<UIViewController>> viewControllers() const;
  void setViewControllers(std::vector<std::shared_ptr<UIViewController>> controllers, bool animated = false);
  std::shared_ptr<UIViewController> topViewController() const;
  void pushViewController(std::shared_ptr<UIViewController> controller, bool animated);
  // The popped controller; none when only the root is left.
  std::shared_ptr<UIViewController> popViewControllerAnimated(bool animated);
  std::shared_ptr<UINavigationBar> navigationBar();

  void loadView() override;

 protected:
  std::vector<std::shared_ptr<UIViewController>> visibleChildren() const override;

 private:
  // Shows the top child's view under the bar, with its appearance callbacks when showing.
  void showTop(const std::shared_ptr<UIViewController>& oldTop, bool animated);
  // A root given to the constructor becomes a child on first use (no weak self exists before).
  void adoptPendingRoot() const;
  mutable std::shared_ptr<UIViewController> pendingRoot_;
  std::shared_ptr<UINavigationBar> bar_;
  std::shared_ptr<UIView> content_;
};

}  // namespace platform
