#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/color.h"
#include "platform/uikit/view.h"

namespace platform {

class OutletConnector;
class UINavigationController;
class UIStoryboard;
class UIWindow;

enum class UIModalPresentationStyle : int { automatic = -2, fullScreen = 0, pageSheet = 1, formSheet = 2 };
enum class UIModalTransitionStyle : int { coverVertical = 0, flipHorizontal = 1, crossDissolve = 2 };
enum class UIStatusBarStyle : int { defaultStyle = 0, lightContent = 1, darkContent = 3 };

// A screen: its view, its lifecycle and its place among presented and contained controllers. A
// presenter holds what it presents and a container its children; the other directions are weak.
// Main thread only.
//
// Presentation: an animated present or dismiss completes after the transition time (0.3 s) on the
// main run loop, a non-animated one at once. A full-screen presentation makes the presenter
// disappear (viewWillDisappear) and reappear on dismissal; a page sheet (also the automatic
// style) leaves it as it is. Presenting from a controller that already presents something, or
// that is not in a visible window's hierarchy, is refused with one console line and the
// completion never runs.
class UIViewController : public std::enable_shared_from_this<UIViewController> {
 public:
  UIViewController();
  virtual ~UIViewController();
  UIViewController(const UIViewController&) = delete;
  UIViewController& operator=(const UIViewController&) = delete;

  // Loads the view on first access: loadView (unless a storyboard gave one), then viewDidLoad.
  std::shared_ptr<UIView> view();
  bool isViewLoaded() const;
  void loadViewIfNeeded();
  // The storyboard's view tree, set before the first access.
  void setView(std::shared_ptr<UIView> view);

  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool /*animated*/) {}
  virtual void viewWillDisappear(bool /*animated*/) {}
  virtual UIStatusBarStyle preferredStatusBarStyle() const { return UIStatusBarStyle::defaultStyle; }

  // Storyboard hooks: connections by name, then awakeFromNib once the scene is connected.
  virtual void connectOutlets(OutletConnector& connector);
  virtual void awakeFromNib() {}

  void setNeedsStatusBarAppearanceUpdate();
  int statusBarAppearanceUpdateCount() const;

  const std::optional<std::string>& title() const;
  void setTitle(std::optional<std::string> title);

  UIModalPresentationStyle modalPresentationStyle() const;
  void setModalPresentationStyle(UIModalPresentationStyle style);
  UIModalTransitionStyle modalTransitionStyle() const;
  void setModalTransitionStyle(UIModalTransitionStyle style);

  void present(std::shared_ptr<UIViewController> controller, bool animated, std::function<void()> completion = {});
  // On a presenter (or a child of one): dismisses what it presents. On a presented controller
  // (or a child of a presented container): dismisses that. Otherwise, or while that dismissal is
  // under way, nothing happens and the completion never runs.
  void dismiss(bool animated, std::function<void()> completion = {});

  // What this controller, or its outermost container, presents.
  std::shared_ptr<UIViewController> presentedViewController() const;
  std::shared_ptr<UIViewController> presentingViewController() const;
  bool isBeingPresented() const;
  bool isBeingDismissed() const;

  std::shared_ptr<UIViewController> parentViewController() const;
  const std::vector<std::shared_ptr<UIViewController>>& childViewControllers() const;
  void addChildViewController(std::shared_ptr<UIViewController> child);
  void removeFromParentViewController();
  // The nearest navigation controller above, or none.
  std::shared_ptr<UINavigationController> navigationController() const;

  // The storyboard that made this controller, or none.
  std::shared_ptr<UIStoryboard> storyboard() const;
  void setStoryboard(std::shared_ptr<UIStoryboard> storyboard);

  UITraitCollection traitCollection() const;
  // Root of a visible window, or presented by / contained in a controller that is.
  bool isInWindowHierarchy() const;
  // Whether the controller is showing (had viewWillAppear and no viewWillDisappear since).
  bool isAppeared() const;

 protected:
  // Children that appear and disappear with the container; all of them unless a container says.
  virtual std::vector<std::shared_ptr<UIViewController>> visibleChildren() const;
  // Sends the appearance callbacks to this controller and its visible children.
  void appear(bool animated);
  void disappear(bool animated);

 private:
  friend class UIWindow;
  friend class UINavigationController;
  std::shared_ptr<UIViewController> presentationHost();
  UIModalPresentationStyle effectiveStyle() const;

  std::shared_ptr<UIView> view_;
  bool loaded_ = false;
  bool appeared_ = false;
  std::optional<std::string> title_;
  int statusBarUpdates_ = 0;
  UIModalPresentationStyle presentationStyle_ = UIModalPresentationStyle::automatic;
  UIModalTransitionStyle transitionStyle_ = UIModalTransitionStyle::coverVertical;
  std::shared_ptr<UIViewController> presented_;
  std::weak_ptr<UIViewController> presenting_;
  bool beingPresented_ = false;
  bool beingDismissed_ = false;
  std::weak_ptr<UIViewController> parent_;
  std::vector<std::shared_ptr<UIViewController>> children_;
  std::weak_ptr<UIWindow> window_;  // set while this is a window's root
  std::shared_ptr<UIStoryboard> storyboard_;
};

}  // namespace platform
