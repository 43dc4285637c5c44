#include "platform/services/alert_controller.h"

#include "platform/foundation/console.h"
#include "platform/uikit/application.h"
#include "platform/uikit/control.h"
#include "platform/uikit/main_thread.h"

namespace platform {

UIAlertController::UIAlertController(std::optional<std::string> title, std::optional<std::string> message,
                                     UIAlertControllerStyle preferredStyle)
    : message_(std::move(message)), style_(preferredStyle) {
  // the alert's title is the controller's title
  if (title) setTitle(std::move(title));
}

std::shared_ptr<UIAlertController> UIAlertController::alertControllerWithTitle(std::optional<std::string> title,
                                                                             std::optional<std::string> message,
                                                                             UIAlertControllerStyle preferredStyle) {
  return std::make_shared<UIAlertController>(std::move(title), std::move(message), preferredStyle);
}

void UIAlertController::addAction(UIAlertAction action) {
  requireMainThread("UIAlertController::addAction");
  if (isViewLoaded()) fatalError("UIAlertController::addAction after the alert was shown");
  actions_.push_back(std::move(action));
}

const std::vector<UIAlertAction>& UIAlertController::actions() const {
  requireMainThread("UIAlertController::actions");
  return actions_;
}

const std::optional<std::string>& UIAlertController::message() const {
  requireMainThread("UIAlertController::message");
  return message_;
}

void UIAlertController::tapActionAtIndex(size_t index) {
  requireMainThread("UIAlertController::tapActionAtIndex");
  if (index >= actions_.size()) fatalError("the alert has no action " + std::to_string(index));
  auto keep = shared_from_this();
  const auto action = actions_[index];
  dismiss(false);
  if (action.handler) action.handler(action);
}

void UIAlertController::loadView() {
  const auto bounds = UIScreen::mainScreen().bounds();
  auto view = std::make_shared<UIView>(bounds);
  double y = 0;
  auto addLabel = [&](const char* id, const std::optional<std::string>& text) {
    if (!text) return;
    auto label = std::make_shared<UILabel>(CGRectMake(0, y, bounds.size.width, 22));
    label->setAccessibilityIdentifier(id);
    label->setText(text);
    view->addSubview(label);
    y += 22;
  };
  addLabel("title", title());
  addLabel("message", message_);
  for (size_t i = 0; i < actions_.size(); ++i) {
    auto button = std::make_shared<UIButton>(CGRectMake(0, y, bounds.size.width, 44));
    button->setTitle(actions_[i].title);
    button->addTarget(weak_from_this(), [this, i](UIControl&) { tapActionAtIndex(i); }, UIControlEvents::touchUpInside);
    view->addSubview(button);
    y += 44;
  }
  setView(view);
}

}  // namespace platform
