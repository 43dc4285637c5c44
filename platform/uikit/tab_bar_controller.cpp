#include "platform/uikit/tab_bar_controller.h"

#include <algorithm>

#include "platform/uikit/main_thread.h"

namespace platform {

std::vector<std::shared_ptr<UIViewController>> UITabBarController::viewControllers() const {
  requireMainThread("UITabBarController::viewControllers");
  return childViewControllers();
}

void UITabBarController::setViewControllers(std::vector<std::shared_ptr<UIViewController>> controllers) {
  requireMainThread("UITabBarController::setViewControllers");
  for (const auto& child : std::vector(childViewControllers())) child->removeFromParentViewController();
  for (const auto& child : controllers) addChildViewController(child);
  selected_.reset();
  if (!childViewControllers().empty()) selected_ = childViewControllers().front();
}

std::shared_ptr<UIViewController> UITabBarController::selectedViewController() const {
  requireMainThread("UITabBarController::selectedViewController");
  auto selected = selected_.lock();
  // a child taken away by another container is no longer selected here
  if (selected && selected->parentViewController().get() != this) return nullptr;
  return selected;
}

void UITabBarController::setSelectedViewController(const std::shared_ptr<UIViewController>& controller) {
  requireMainThread("UITabBarController::setSelectedViewController");
  const auto& children = childViewControllers();
  if (std::find(children.begin(), children.end(), controller) != children.end()) selected_ = controller;
}

std::vector<std::shared_ptr<UIViewController>> UITabBarController::visibleChildren() const {
  auto selected = selectedViewController();
  if (!selected) return {};
  return {selected};
}

}  // namespace platform
