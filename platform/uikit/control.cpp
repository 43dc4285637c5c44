#include "platform/uikit/control.h"

namespace platform {

void UIControl::addTarget(std::weak_ptr<const void> target, Action action, UIControlEvents events) {
  mainThreadOnly("UIControl::addTarget");
  if (!action) return;
  entries_.push_back(Entry{std::move(target), true, std::make_shared<const Action>(std::move(action)), events});
}

void UIControl::addAction(Action action, UIControlEvents events) {
  mainThreadOnly("UIControl::addAction");
  if (!action) return;
  entries_.push_back(Entry{{}, false, std::make_shared<const Action>(std::move(action)), events});
}

void UIControl::removeAllTargets() {
  mainThreadOnly("UIControl::removeAllTargets");
  entries_.clear();
}

size_t UIControl::actionCount(UIControlEvents events) const {
  mainThreadOnly("UIControl::actionCount");
  size_t n = 0;
  for (const auto& e : entries_)
    if (intersects(e.events, events)) ++n;
  return n;
}

bool UIControl::isEnabled() const {
  mainThreadOnly("UIControl::isEnabled");
  return enabled_;
}

void UIControl::setEnabled(bool enabled) {
  mainThreadOnly("UIControl::setEnabled");
  enabled_ = enabled;
}

bool UIControl::isSelected() const {
  mainThreadOnly("UIControl::isSelected");
  return selected_;
}

void UIControl::setSelected(bool selected) {
  mainThreadOnly("UIControl::setSelected");
  selected_ = selected;
}

void UIControl::sendActionsForControlEvents(UIControlEvents events) {
  mainThreadOnly("UIControl::sendActionsForControlEvents");
  if (!enabled_) return;
  auto keep = shared_from_this();
  // an action may add or remove actions: send what was there when the event came
  struct Ready {
    std::shared_ptr<const void> target;
    std::shared_ptr<const Action> action;
  };
  std::vector<Ready> ready;
  for (const auto& e : entries_) {
    if (!intersects(e.events, events)) continue;
    Ready r{e.target.lock(), e.action};
    if (e.hasTarget && !r.target) continue;
    ready.push_back(std::move(r));
  }
  for (const auto& r : ready) (*r.action)(*this);
}

void UIControl::tap() {
  sendActionsForControlEvents(UIControlEvents::touchDown);
  sendActionsForControlEvents(UIControlEvents::touchUpInside | UIControlEvents::primaryActionTriggered);
}

namespace {
template <class T>
T forState(const std::map<UIControlState, T>& values, UIControlState state) {
  auto it = values.find(state);
  if (it != values.end()) return it->second;
  it = values.find(UIControlState::normal);
  return it != values.end() ? it->second : T{};
}
}  // namespace

std::optional<std::string> UIButton::titleForState(UIControlState state) const {
  mainThreadOnly("UIButton::titleForState");
  return forState(titles_, state);
}

void UIButton::setTitle(std::optional<std::string> title, UIControlState state) {
  mainThreadOnly("UIButton::setTitle");
  titles_[state] = std::move(title);
}

std::optional<UIColor> UIButton::titleColorForState(UIControlState state) const {
  mainThreadOnly("UIButton::titleColorForState");
  return forState(titleColors_, state);
}

void UIButton::setTitleColor(std::optional<UIColor> color, UIControlState state) {
  mainThreadOnly("UIButton::setTitleColor");
  titleColors_[state] = color;
}

UIImageRef UIButton::backgroundImageForState(UIControlState state) const {
  mainThreadOnly("UIButton::backgroundImageForState");
  return forState(backgrounds_, state);
}

void UIButton::setBackgroundImage(UIImageRef image, UIControlState state) {
  mainThreadOnly("UIButton::setBackgroundImage");
  backgrounds_[state] = std::move(image);
}

UIImageRef UIButton::imageForState(UIControlState state) const {
  mainThreadOnly("UIButton::imageForState");
  return forState(images_, state);
}

void UIButton::setImage(UIImageRef image, UIControlState state) {
  mainThreadOnly("UIButton::setImage");
  images_[state] = std::move(image);
}

void UIButton::describeContent(std::vector<std::string>& parts) const {
  if (auto t = forState(titles_, UIControlState::normal)) parts.push_back("\"" + *t + "\"");
  auto image = forState(images_, UIControlState::normal);
  if (image && image.requestedName()) parts.push_back("image \"" + *image.requestedName() + "\"");
  if (!isEnabled()) parts.push_back("disabled");
}

}  // namespace platform
