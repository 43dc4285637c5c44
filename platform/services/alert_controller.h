#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/view_controller.h"

namespace platform {

class UIAlertController;

enum class UIAlertActionStyle : int { defaultStyle = 0, cancel = 1, destructive = 2 };
enum class UIAlertControllerStyle : int { actionSheet = 0, alert = 1 };

struct UIAlertAction {
  std::optional<std::string> title;
  UIAlertActionStyle style = UIAlertActionStyle::defaultStyle;
  std::function<void(const UIAlertAction&)> handler;  // may be empty

  static UIAlertAction actionWithTitle(std::optional<std::string> title, UIAlertActionStyle style,
                                       std::function<void(const UIAlertAction&)> handler = {}) {
    return {std::move(title), style, std::move(handler)};
  }
};

// An alert with its actions in the order added. Its view shows the title, the message and one
// button per action; a tap on one dismisses the alert, then runs that action's handler.
class UIAlertController : public UIViewController {
 public:
  UIAlertController(std::optional<std::string> title, std::optional<std::string> message,
                    UIAlertControllerStyle preferredStyle);
  static std::shared_ptr<UIAlertController> alertControllerWithTitle(std::optional<std::string> title,
                                                                     std::optional<std::string> message,
                                                                     UIAlertControllerStyle preferredStyle);

  void addAction(UIAlertAction action);
  const std::vector<UIAlertAction>& actions() const;
  const std::optional<std::string>& message() const;
  UIAlertControllerStyle preferredStyle() const { return style_; }

  // What a tap on the action's button does.
  void tapActionAtIndex(size_t index);

  void loadView() override;

 private:
  std::optional<std::string> message_;
  UIAlertControllerStyle style_;
  std::vector<UIAlertAction> actions_;
};

}  // namespace platform
