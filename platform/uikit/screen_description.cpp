#include "platform/uikit/screen_description.h"

#include <map>
#include <vector>

#include "platform/uikit/application.h"
#include "platform/uikit/class_name.h"
#include "platform/uikit/main_thread.h"
#include "platform/uikit/view_controller.h"

namespace platform {

namespace {

using ControllersByView = std::map<const UIView*, const UIViewController*>;

void collectControllers(const std::shared_ptr<UIViewController>& c, ControllersByView& out) {
  if (!c->isViewLoaded()) return;
  out[c->view().get()] = c.get();
  for (const auto& child : c->childViewControllers()) collectControllers(child, out);
}

std::string controllerLine(const UIViewController& c) {
  std::string line = classNameOf(c);
  if (c.title()) line += " \"" + *c.title() + "\"";
  return line;
}

void describe(const UIView& view, int depth, const ControllersByView& controllers, std::string& out) {
  if (view.isHidden() || view.alpha() <= 0) return;
  if (auto it = controllers.find(&view); it != controllers.end()) {
    out += std::string(static_cast<size_t>(depth) * 2, ' ') + controllerLine(*it->second) + "\n";
    ++depth;
  }
  std::string line = classNameOf(view);
  if (view.accessibilityIdentifier()) line += "#" + *view.accessibilityIdentifier();
  std::vector<std::string> parts;
  view.describeContent(parts);
  if (view.alpha() < 1) parts.push_back("alpha " + formatNumber(view.alpha()));
  for (const auto& p : parts) line += " " + p;
  out += std::string(static_cast<size_t>(depth) * 2, ' ') + line + "\n";
  for (const auto& s : view.subviews()) describe(*s, depth + 1, controllers, out);
}

}  // namespace

std::string describeView(const UIView& view) {
  requireMainThread("describeView");
  std::string out;
  describe(view, 0, {}, out);
  return out;
}

std::string describeScreen() {
  requireMainThread("describeScreen");
  auto window = UIApplication::sharedApplication()->keyWindow();
  if (!window) return "no key window\n";
  std::string out = "UIWindow\n";
  auto top = window->rootViewController();
  if (!top) return out;
  while (auto presented = top->presentedViewController()) top = presented;
  ControllersByView controllers;
  collectControllers(top, controllers);
  if (!top->isViewLoaded()) return out + "  " + controllerLine(*top) + "\n";
  describe(*top->view(), 1, controllers, out);
  return out;
}

}  // namespace platform
