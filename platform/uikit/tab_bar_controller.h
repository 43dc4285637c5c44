#pragma once

#include <memory>
#include <vector>

#include "platform/uikit/view_controller.h"

namespace platform {

// A container of child controllers of which one, the selected one, shows. Only what the
// application's walks need: the children and the selection. Main thread only.
class UITabBarController : public UIViewController {
 public:
  std::vector<std::shared_ptr<UIViewController>> viewControllers() const;
  // Replaces the children; the first becomes selected (none when empty).
  void setViewControllers(std::vector<std::shared_ptr<UIViewController>> controllers);
  std::shared_ptr<UIViewController> selectedViewController() const;
  // A controller that is not a child leaves the selection as it is.
  void setSelectedViewController(const std::shared_ptr<UIViewController>& controller);

 protected:
  std::vector<std::shared_ptr<UIViewController>> visibleChildren() const override;

 private:
  std::weak_ptr<UIViewController> selected_;
};

}  // namespace platform
