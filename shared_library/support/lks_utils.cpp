#include "shared_library/support/lks_utils.h"

#include "platform/uikit/application.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/tab_bar_controller.h"

namespace {

using platform::UIViewController;

// The last child of a navigation controller; the controller itself when it has none.
std::shared_ptr<UIViewController> unwrapNavigation(const std::shared_ptr<UIViewController>& controller) {
  const auto navigation = std::dynamic_pointer_cast<platform::UINavigationController>(controller);
  if (!navigation) return nullptr;
  const auto children = navigation->viewControllers();
  return children.empty() ? controller : children.back();
}

}  // namespace

std::shared_ptr<UIViewController> LKSUtils::getTopMostViewController() {
  const auto delegate = platform::UIApplication::sharedApplication()->delegate();
  if (!delegate || !delegate->respondsToWindow()) return nullptr;
  const auto window = delegate->window();
  if (!window) return nullptr;
  auto top = window->rootViewController();
  if (!top) return nullptr;
  while (auto presented = top->presentedViewController()) top = presented;

  if (auto child = unwrapNavigation(top)) return child;
  if (const auto tabs = std::dynamic_pointer_cast<platform::UITabBarController>(top)) {
    const auto selected = tabs->selectedViewController();
    if (!selected) return top;
    if (auto child = unwrapNavigation(selected)) return child;
    return selected;
  }
  return top;
}
