#include "platform/uikit/view_controller.h"

#include "platform/foundation/console.h"
#include "platform/foundation/queues.h"
#include "platform/uikit/application.h"
#include "platform/uikit/class_name.h"
#include "platform/uikit/main_thread.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/ui_records.h"

namespace platform {

UIViewController::UIViewController() = default;

UIViewController::~UIViewController() = default;

std::shared_ptr<UIView> UIViewController::view() {
  requireMainThread("UIViewController::view");
  loadViewIfNeeded();
  return view_;
}

bool UIViewController::isViewLoaded() const {
  requireMainThread("UIViewController::isViewLoaded");
  return loaded_;
}

void UIViewController::loadViewIfNeeded() {
  requireMainThread("UIViewController::loadViewIfNeeded");
  if (loaded_) return;
  loaded_ = true;  // viewDidLoad may reach the view again
  if (!view_) loadView();
  if (!view_) fatalError("loadView of " + classNameOf(*this) + " made no view");
  viewDidLoad();
}

void UIViewController::setView(std::shared_ptr<UIView> view) {
  requireMainThread("UIViewController::setView");
  view_ = std::move(view);
}

void UIViewController::loadView() { view_ = std::make_shared<UIView>(UIScreen::mainScreen().bounds()); }

void UIViewController::connectOutlets(OutletConnector&) {}

void UIViewController::setNeedsStatusBarAppearanceUpdate() {
  requireMainThread("UIViewController::setNeedsStatusBarAppearanceUpdate");
  ++statusBarUpdates_;
}

int UIViewController::statusBarAppearanceUpdateCount() const {
  requireMainThread("UIViewController::statusBarAppearanceUpdateCount");
  return statusBarUpdates_;
}

const std::optional<std::string>& UIViewController::title() const {
  requireMainThread("UIViewController::title");
  return title_;
}

void UIViewController::setTitle(std::optional<std::string> title) {
  requireMainThread("UIViewController::setTitle");
  title_ = std::move(title);
}

UIModalPresentationStyle UIViewController::modalPresentationStyle() const {
  requireMainThread("UIViewController::modalPresentationStyle");
  return presentationStyle_;
}

void UIViewController::setModalPresentationStyle(UIModalPresentationStyle style) {
  requireMainThread("UIViewController::setModalPresentationStyle");
  presentationStyle_ = style;
}

UIModalTransitionStyle UIViewController::modalTransitionStyle() const {
  requireMainThread("UIViewController::modalTransitionStyle");
  return transitionStyle_;
}

void UIViewController::setModalTransitionStyle(UIModalTransitionStyle style) {
  requireMainThread("UIViewController::setModalTransitionStyle");
  transitionStyle_ = style;
}

UIModalPresentationStyle UIViewController::effectiveStyle() const {
  return presentationStyle_ == UIModalPresentationStyle::automatic ? UIModalPresentationStyle::pageSheet
                                                                  : presentationStyle_;
}

std::shared_ptr<UIViewController> UIViewController::presentationHost() {
  auto host = shared_from_this();
  while (auto up = host->parent_.lock()) host = up;
  return host;
}

void UIViewController::present(std::shared_ptr<UIViewController> controller, bool animated,
                               std::function<void()> completion) {
  requireMainThread("UIViewController::present");
  if (!controller) fatalError("present of " + classNameOf(*this) + " was given no view controller");
  auto host = presentationHost();
  const auto refuse = [&](const std::string& why) {
    console("Attempt to present " + classNameOf(*controller) + " on " + classNameOf(*host) + " " + why);
  };
  if (host->presented_) return refuse("which is already presenting " + classNameOf(*host->presented_));
  if (!host->isInWindowHierarchy()) return refuse("whose view is not in the window hierarchy");
  if (controller == host || controller->presenting_.lock() || controller->parent_.lock() || controller->window_.lock())
    return refuse("which is already shown elsewhere");

  host->presented_ = controller;
  controller->presenting_ = host;
  controller->beingPresented_ = true;
  controller->loadViewIfNeeded();
  if (auto window = host->view_ ? host->view_->window() : nullptr) {
    controller->view_->setFrame(window->bounds());
    window->addSubview(controller->view_);
  }
  const auto style = controller->effectiveStyle();
  if (style == UIModalPresentationStyle::fullScreen) host->disappear(animated);
  controller->appear(animated);

  auto& records = detail::UIRecords::current();
  records.with([&](detail::UIRecords& r) {
    r.presentations.push_back({classNameOf(*host), classNameOf(*controller), controller, static_cast<int>(style),
                               animated, static_cast<bool>(completion), detail::UIRecords::now()});
  });
  auto finish = [controller, completion = std::move(completion)] {
    controller->beingPresented_ = false;
    if (completion) completion();
  };
  if (!animated) return finish();
  const double duration = records.with([](detail::UIRecords& r) { return r.transitionDuration; });
  DispatchQueue::main().asyncAfter(duration, std::move(finish));
}

void UIViewController::dismiss(bool animated, std::function<void()> completion) {
  requireMainThread("UIViewController::dismiss");
  auto host = presentationHost();
  std::shared_ptr<UIViewController> target;
  if (host->presented_) target = host->presented_;
  else if (host->presenting_.lock()) target = host;
  if (!target || target->beingDismissed_) return;
  auto presenter = target->presenting_.lock();
  target->beingDismissed_ = true;

  // everything presented above the target goes with it, the top one first
  std::vector<std::shared_ptr<UIViewController>> chain;
  for (auto c = target; c; c = c->presented_) chain.push_back(c);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) (*it)->disappear(animated);
  if (presenter && target->effectiveStyle() == UIModalPresentationStyle::fullScreen) presenter->appear(animated);

  auto finish = [presenter, chain = std::move(chain), completion = std::move(completion)] {
    if (presenter && presenter->presented_ == chain.front()) presenter->presented_.reset();
    for (const auto& c : chain) {
      c->presented_.reset();
      c->presenting_.reset();
      c->beingDismissed_ = false;
      c->beingPresented_ = false;
      if (c->view_) c->view_->removeFromSuperview();
    }
    if (completion) completion();
  };
  if (!animated) return finish();
  const double duration = detail::UIRecords::current().with([](detail::UIRecords& r) { return r.transitionDuration; });
  DispatchQueue::main().asyncAfter(duration, std::move(finish));
}

std::shared_ptr<UIViewController> UIViewController::presentedViewController() const {
  requireMainThread("UIViewController::presentedViewController");
  auto host = std::const_pointer_cast<UIViewController>(shared_from_this());
  for (auto c = host; c; c = c->parent_.lock())
    if (c->presented_) return c->presented_;
  return nullptr;
}

std::shared_ptr<UIViewController> UIViewController::presentingViewController() const {
  requireMainThread("UIViewController::presentingViewController");
  for (auto c = shared_from_this(); c; c = c->parent_.lock())
    if (auto p = c->presenting_.lock()) return p;
  return nullptr;
}

bool UIViewController::isBeingPresented() const { return beingPresented_; }

bool UIViewController::isBeingDismissed() const { return beingDismissed_; }

std::shared_ptr<UIViewController> UIViewController::parentViewController() const {
  requireMainThread("UIViewController::parentViewController");
  return parent_.lock();
}

const std::vector<std::shared_ptr<UIViewController>>& UIViewController::childViewControllers() const {
  requireMainThread("UIViewController::childViewControllers");
  return children_;
}

void UIViewController::addChildViewController(std::shared_ptr<UIViewController> child) {
  requireMainThread("UIViewController::addChildViewController");
  if (!child || child.get() == this) return;
  child->removeFromParentViewController();
  child->parent_ = weak_from_this();
  children_.push_back(std::move(child));
}

void UIViewController::removeFromParentViewController() {
  requireMainThread("UIViewController::removeFromParentViewController");
  auto parent = parent_.lock();
  parent_.reset();
  if (!parent) return;
  auto keep = shared_from_this();
  std::erase_if(parent->children_, [&](const auto& c) { return c.get() == this; });
}

std::shared_ptr<UINavigationController> UIViewController::navigationController() const {
  requireMainThread("UIViewController::navigationController");
  for (auto c = parent_.lock(); c; c = c->parent_.lock())
    if (auto nav = std::dynamic_pointer_cast<UINavigationController>(c)) return nav;
  return nullptr;
}

std::shared_ptr<UIStoryboard> UIViewController::storyboard() const { return storyboard_; }

void UIViewController::setStoryboard(std::shared_ptr<UIStoryboard> storyboard) { storyboard_ = std::move(storyboard); }

UITraitCollection UIViewController::traitCollection() const { return UITraitCollection::currentTraitCollection(); }

bool UIViewController::isInWindowHierarchy() const {
  requireMainThread("UIViewController::isInWindowHierarchy");
  if (auto w = window_.lock()) return w->isVisible() && w->rootViewController().get() == this;
  if (auto p = presenting_.lock()) return p->presented_.get() == this && p->isInWindowHierarchy();
  if (auto parent = parent_.lock()) return parent->isInWindowHierarchy();
  return false;
}

bool UIViewController::isAppeared() const { return appeared_; }

std::vector<std::shared_ptr<UIViewController>> UIViewController::visibleChildren() const { return children_; }

void UIViewController::appear(bool animated) {
  if (appeared_) return;
  loadViewIfNeeded();
  appeared_ = true;
  viewWillAppear(animated);
  for (const auto& c : visibleChildren()) c->appear(animated);
}

void UIViewController::disappear(bool animated) {
  if (!appeared_) return;
  appeared_ = false;
  viewWillDisappear(animated);
  for (const auto& c : visibleChildren()) c->disappear(animated);
}

}  // namespace platform
