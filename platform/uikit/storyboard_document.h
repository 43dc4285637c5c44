#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/uikit/color.h"
#include "platform/uikit/control.h"
#include "platform/uikit/font.h"
#include "platform/uikit/geometry.h"
#include "platform/uikit/resource_json.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"

// A storyboard file read into plain values (resources/README.md has the format): its shape, the
// types and ranges of its values and its nesting are checked here, before anything is built.
// What depends on the classes and the bundle (a class, a property the class has, an outlet, a
// named colour) is checked when a scene is built.
namespace platform::detail {

// A colour: a value, or a name in the storyboard's bundle.
struct StoryboardColor {
  std::optional<UIColor> value;
  std::string named;
};

// A property's value, of the one kind its name takes; std::monostate for a name no class has.
using StoryboardValue =
    std::variant<std::monostate, bool, int, double, float, std::optional<std::string>, StoryboardColor, UIFont,
                 NSTextAlignment, CALayerCornerCurve, UITableViewCellAccessoryType, UIModalPresentationStyle,
                 UIModalTransitionStyle>;
using StoryboardProperties = std::vector<std::pair<std::string, StoryboardValue>>;
using StoryboardOutlets = std::map<std::string, std::string>;  // outlet -> object id

struct StoryboardConstraint {
  std::optional<std::string> id;
  double constant = 0;
};

struct StoryboardAction {
  std::string selector;
  UIControlEvents events = UIControlEvents::touchUpInside;
  std::optional<std::string> target;  // none: the default target
};

struct StoryboardPrototype;

struct StoryboardView {
  std::string cls;
  std::optional<std::string> id;
  std::optional<CGRect> frame;
  StoryboardProperties properties;
  std::vector<StoryboardConstraint> constraints;
  std::vector<StoryboardAction> actions;
  std::vector<StoryboardView> subviews;
  std::vector<StoryboardPrototype> prototypes;
  StoryboardOutlets outlets;
};

struct StoryboardPrototype {
  std::string reuseIdentifier;
  StoryboardView cell;
};

struct StoryboardScene {
  std::string id;
  std::string cls;
  std::optional<std::string> storyboardIdentifier;
  StoryboardProperties properties;
  std::optional<StoryboardView> view;
  std::optional<std::vector<std::string>> viewControllers;
  StoryboardOutlets outlets;
};

struct StoryboardDocument {
  std::optional<std::string> initialScene;
  std::vector<StoryboardScene> scenes;  // ids differ

  const StoryboardScene* scene(const std::string& id) const;
  const StoryboardScene* sceneWithIdentifier(const std::string& storyboardIdentifier) const;
};

// How deep views may nest in a storyboard (a prototype's cell counts as one level).
constexpr int kMaxStoryboardViewDepth = 32;

}  // namespace platform::detail
