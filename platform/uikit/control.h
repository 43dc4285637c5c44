#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/view.h"

namespace platform {

enum class UIControlEvents : std::uint32_t {
  touchDown = 1u << 0,
  touchUpInside = 1u << 6,
  valueChanged = 1u << 12,
  primaryActionTriggered = 1u << 13,
};
constexpr UIControlEvents operator|(UIControlEvents a, UIControlEvents b) {
  return static_cast<UIControlEvents>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
constexpr bool intersects(UIControlEvents a, UIControlEvents b) {
  return (static_cast<std::uint32_t>(a) & static_cast<std::uint32_t>(b)) != 0;
}

enum class UIControlState : std::uint32_t { normal = 0, highlighted = 1, disabled = 2, selected = 4 };

// A view that sends actions to targets when events happen. Nothing produces touches here: tests
// and the driver send the events (tap()).
class UIControl : public UIView {
 public:
  using UIView::UIView;
  using Action = std::function<void(UIControl& sender)>;

  // The action runs while `target` lives; a target that is gone is skipped.
  void addTarget(std::weak_ptr<const void> target, Action action, UIControlEvents events);
  // An action with no target: it lives as long as the control.
  void addAction(Action action, UIControlEvents events);
  void removeAllTargets();
  // How many target-action pairs answer any of the events.
  size_t actionCount(UIControlEvents events) const;

  bool isEnabled() const;
  void setEnabled(bool enabled);
  bool isSelected() const;
  void setSelected(bool selected);

  // Sends the actions for these events, in the order they were added. A disabled control sends
  // nothing.
  void sendActionsForControlEvents(UIControlEvents events);
  // A tap: touch down, then touch up inside.
  void tap();

 private:
  struct Entry {
    std::weak_ptr<const void> target;
    bool hasTarget = false;
    std::shared_ptr<const Action> action;
    UIControlEvents events;
  };
  std::vector<Entry> entries_;
  bool enabled_ = true;
  bool selected_ = false;
};

class UIButton : public UIControl {
 public:
  using UIControl::UIControl;
  // By state; a state without its own value takes the normal state's.
  std::optional<std::string> titleForState(UIControlState state = UIControlState::normal) const;
  void setTitle(std::optional<std::string> title, UIControlState state = UIControlState::normal);
  std::optional<UIColor> titleColorForState(UIControlState state = UIControlState::normal) const;
  void setTitleColor(std::optional<UIColor> color, UIControlState state = UIControlState::normal);
  UIImageRef backgroundImageForState(UIControlState state = UIControlState::normal) const;
  void setBackgroundImage(UIImageRef image, UIControlState state = UIControlState::normal);
  UIImageRef imageForState(UIControlState state = UIControlState::normal) const;
  void setImage(UIImageRef image, UIControlState state = UIControlState::normal);

  void describeContent(std::vector<std::string>& parts) const override;

 private:
  std::map<UIControlState, std::optional<std::string>> titles_;
  std::map<UIControlState, std::optional<UIColor>> titleColors_;
  std::map<UIControlState, UIImageRef> backgrounds_;
  std::map<UIControlState, UIImageRef> images_;
};

}  // namespace platform
