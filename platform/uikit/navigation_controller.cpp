#include "platform/uikit/navigation_controller.h"

#include <algorithm>

#include "platform/foundation/process.h"
#include "platform/uikit/application.h"
#include "platform/uikit/main_thread.h"

namespace platform {

namespace {
constexpr double kBarHeight = 44;
}

void UINavigationBarAppearance::configureWithOpaqueBackground() {
  backgroundColor = UIColor::whiteColor();
  shadowColor = UIColor(0, 0, 0, 0.3);
}

void UINavigationBarAppearance::configureWithTransparentBackground() {
  backgroundColor = UIColor::clearColor();
  shadowColor = UIColor::clearColor();
}

UIImageRef UINavigationBarAppearanceProxy::backgroundImageForBarMetrics(UIBarMetrics metrics) const {
  auto it = backgroundImages.find(metrics);
  return it == backgroundImages.end() ? UIImageRef() : it->second;
}

void UINavigationBarAppearanceProxy::setBackgroundImage(UIImageRef image, UIBarMetrics metrics) {
  backgroundImages[metrics] = std::move(image);
}

UINavigationBarAppearanceProxy& UINavigationBar::appearance() {
  requireMainThread("UINavigationBar::appearance");
  return *Process::current().shared<UINavigationBarAppearanceProxy>(
      [] { return std::make_shared<UINavigationBarAppearanceProxy>(); });
}

const TextAttributes& UINavigationBar::titleTextAttributes() const {
  mainThreadOnly("UINavigationBar::titleTextAttributes");
  return title_;
}
void UINavigationBar::setTitleTextAttributes(TextAttributes attributes) {
  mainThreadOnly("UINavigationBar::setTitleTextAttributes");
  title_ = std::move(attributes);
}
const TextAttributes& UINavigationBar::largeTitleTextAttributes() const {
  mainThreadOnly("UINavigationBar::largeTitleTextAttributes");
  return largeTitle_;
}
void UINavigationBar::setLargeTitleTextAttributes(TextAttributes attributes) {
  mainThreadOnly("UINavigationBar::setLargeTitleTextAttributes");
  largeTitle_ = std::move(attributes);
}
const UINavigationBarAppearance& UINavigationBar::standardAppearance() const {
  mainThreadOnly("UINavigationBar::standardAppearance");
  return standard_;
}
void UINavigationBar::setStandardAppearance(UINavigationBarAppearance appearance) {
  mainThreadOnly("UINavigationBar::setStandardAppearance");
  standard_ = std::move(appearance);
}
const std::optional<UINavigationBarAppearance>& UINavigationBar::scrollEdgeAppearance() const {
  mainThreadOnly("UINavigationBar::scrollEdgeAppearance");
  return scrollEdge_;
}
void UINavigationBar::setScrollEdgeAppearance(std::optional<UINavigationBarAppearance> appearance) {
  mainThreadOnly("UINavigationBar::setScrollEdgeAppearance");
  scrollEdge_ = std::move(appearance);
}
bool UINavigationBar::prefersLargeTitles() const {
  mainThreadOnly("UINavigationBar::prefersLargeTitles");
  return prefersLargeTitles_;
}
void UINavigationBar::setPrefersLargeTitles(bool prefers) {
  mainThreadOnly("UINavigationBar::setPrefersLargeTitles");
  prefersLargeTitles_ = prefers;
}
bool UINavigationBar::isTranslucent() const {
  mainThreadOnly("UINavigationBar::isTranslucent");
  return translucent_;
}
void UINavigationBar::setTranslucent(bool translucent) {
  mainThreadOnly("UINavigationBar::setTranslucent");
  translucent_ = translucent;
}
const std::optional<UIColor>& UINavigationBar::tintColor() const { return tint_; }
void UINavigationBar::setTintColor(std::optional<UIColor> color) {
  mainThreadOnly("UINavigationBar::setTintColor");
  tint_ = color;
}
const std::optional<UIColor>& UINavigationBar::barTintColor() const { return barTint_; }
void UINavigationBar::setBarTintColor(std::optional<UIColor> color) {
  mainThreadOnly("UINavigationBar::setBarTintColor");
  barTint_ = color;
}

UINavigationController::UINavigationController() = default;

UINavigationController::UINavigationController(std::shared_ptr<UIViewController> root) {
  if (root) pendingRoot_ = std::move(root);
}

void UINavigationController::adoptPendingRoot() const {
  if (!pendingRoot_) return;
  auto root = std::move(pendingRoot_);
  pendingRoot_.reset();
  const_cast<UINavigationController*>(this)->addChildViewController(std::move(root));
}

std::vector<std::shared_ptr<UIViewController>> UINavigationController::viewControllers() const {
  adoptPendingRoot();
  return childViewControllers();
}

std::shared_ptr<UIViewController> UINavigationController::topViewController() const {
  auto children = viewControllers();
  return children.empty() ? nullptr : children.back();
}

std::shared_ptr<UINavigationBar> UINavigationController::navigationBar() {
  requireMainThread("UINavigationController::navigationBar");
  if (!bar_) bar_ = std::make_shared<UINavigationBar>(CGRectMake(0, 0, UIScreen::mainScreen().bounds().size.width, kBarHeight));
  return bar_;
}

void UINavigationController::loadView() {
  adoptPendingRoot();
  const auto bounds = UIScreen::mainScreen().bounds();
  auto view = std::make_shared<UIView>(bounds);
  view->addSubview(navigationBar());
  content_ = std::make_shared<UIView>(CGRectMake(0, kBarHeight, bounds.size.width, bounds.size.height - kBarHeight));
  view->addSubview(content_);
  setView(view);
  showTop(nullptr, false);
}

std::vector<std::shared_ptr<UIViewController>> UINavigationController::visibleChildren() const {
  auto top = topViewController();
  if (!top) return {};
  return {top};
}

void UINavigationController::showTop(const std::shared_ptr<UIViewController>& oldTop, bool animated) {
  if (!content_) return;  // the view is not loaded: the top shows when it is
  auto top = topViewController();
  if (oldTop == top) return;
  if (oldTop) {
    if (isAppeared()) oldTop->disappear(animated);
    if (oldTop->view_) oldTop->view_->removeFromSuperview();
  }
  if (!top) return;
  top->loadViewIfNeeded();
  top->view_->setFrame(content_->bounds());
  content_->addSubview(top->view_);
  if (isAppeared()) top->appear(animated);
}

void UINavigationController::setViewControllers(std::vector<std::shared_ptr<UIViewController>> controllers,
                                                bool animated) {
  requireMainThread("UINavigationController::setViewControllers");
  auto oldTop = topViewController();
  for (const auto& c : viewControllers())
    if (std::find(controllers.begin(), controllers.end(), c) == controllers.end()) c->removeFromParentViewController();
  for (auto& c : controllers) addChildViewController(c);
  showTop(oldTop, animated);
}

void UINavigationController::pushViewController(std::shared_ptr<UIViewController> controller, bool animated) {
  requireMainThread("UINavigationController::pushViewController");
  if (!controller) return;
  auto oldTop = topViewController();
  addChildViewController(std::move(controller));
  showTop(oldTop, animated);
}

std::shared_ptr<UIViewController> UINavigationController::popViewControllerAnimated(bool animated) {
  requireMainThread("UINavigationController::popViewControllerAnimated");
  auto children = viewControllers();
  if (children.size() < 2) return nullptr;
  auto popped = children.back();
  popped->removeFromParentViewController();
  if (content_) {
    if (isAppeared()) popped->disappear(animated);
    if (popped->view_) popped->view_->removeFromSuperview();
    showTop(nullptr, animated);
  }
  return popped;
}

}  // namespace platform
