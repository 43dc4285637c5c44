#include "platform/uikit/storyboard_document.h"

#include <memory>
#include <set>

namespace platform::detail {

namespace {

using nlohmann::json;
using Text = std::optional<std::string>;

Text optionalText(const json& value, const std::string& what) {
  if (value.is_null()) return std::nullopt;
  return text(value, what);
}

// The member's text, or `otherwise` when it is absent.
std::string textMember(const json& node, const char* key, const std::string& what, const std::string& otherwise) {
  const auto* m = member(node, key);
  return m ? text(*m, what) : otherwise;
}

Text optionalTextMember(const json& node, const char* key, const std::string& what) {
  const auto* m = member(node, key);
  return m ? Text(text(*m, what)) : std::nullopt;
}

template <class Enum>
Enum enumerated(const json& value, const std::string& what, Enum first, Enum last) {
  return static_cast<Enum>(integer(value, what, static_cast<int>(first), static_cast<int>(last)));
}

StoryboardColor storyboardColor(const json& value, const std::string& what) {
  if (const auto* named = member(value, "named")) return {std::nullopt, text(*named, what + " named")};
  return {color(value, what), {}};
}

UIFont font(const json& value, const std::string& what) {
  object(value, what);
  const auto* size = member(value, "size");
  const double points = size ? number(*size, what + " size") : 17;
  if (const auto* name = member(value, "name")) return UIFont::fontWithName(text(*name, what + " name"), points);
  static const std::map<std::string, UIFontWeight> weights{
      {"ultraLight", UIFontWeight::ultraLight}, {"thin", UIFontWeight::thin},     {"light", UIFontWeight::light},
      {"regular", UIFontWeight::regular},       {"medium", UIFontWeight::medium}, {"semibold", UIFontWeight::semibold},
      {"bold", UIFontWeight::bold},             {"heavy", UIFontWeight::heavy},   {"black", UIFontWeight::black}};
  const auto* weight = member(value, "weight");
  return UIFont::systemFontOfSize(points, weight ? choice(*weight, what + " weight", weights) : UIFontWeight::regular);
}

using PropertyReader = StoryboardValue (*)(const json& value, const std::string& what);

StoryboardValue readBoolean(const json& v, const std::string& what) { return boolean(v, what); }
StoryboardValue readNumber(const json& v, const std::string& what) { return number(v, what); }
StoryboardValue readText(const json& v, const std::string& what) { return optionalText(v, what); }
StoryboardValue readColor(const json& v, const std::string& what) { return storyboardColor(v, what); }

// Every view property by name, whichever class takes it (resources/README.md lists them).
const std::map<std::string, PropertyReader>& viewProperties() {
  static const std::map<std::string, PropertyReader> readers{
      {"hidden", readBoolean},
      {"masksToBounds", readBoolean},
      {"enabled", readBoolean},
      {"selected", readBoolean},
      {"animating", readBoolean},
      {"hidesWhenStopped", readBoolean},
      {"alpha", readNumber},
      {"cornerRadius", readNumber},
      {"borderWidth", readNumber},
      {"rowHeight", readNumber},
      {"sectionHeaderHeight", readNumber},
      {"sectionFooterHeight", readNumber},
      {"sectionHeaderTopPadding", readNumber},
      {"text", readText},
      {"title", readText},
      {"image", readText},
      {"backgroundImage", readText},
      {"backgroundColor", readColor},
      {"borderColor", readColor},
      {"textColor", readColor},
      {"tintColor", readColor},
      {"titleColor", readColor},
      {"color", readColor},
      {"font", [](const json& v, const std::string& what) -> StoryboardValue { return font(v, what); }},
      {"tag", [](const json& v, const std::string& what) -> StoryboardValue { return integer(v, what); }},
      {"numberOfLines", [](const json& v, const std::string& what) -> StoryboardValue { return integer(v, what, 0); }},
      {"progress",
       [](const json& v, const std::string& what) -> StoryboardValue {
         return static_cast<float>(number(v, what, 0, 1));
       }},
      {"textAlignment",
       [](const json& v, const std::string& what) -> StoryboardValue {
         static const std::map<std::string, NSTextAlignment> alignments{
             {"left", NSTextAlignment::left},           {"center", NSTextAlignment::center},
             {"right", NSTextAlignment::right},         {"justified", NSTextAlignment::justified},
             {"natural", NSTextAlignment::natural}};
         return choice(v, what, alignments);
       }},
      {"cornerCurve",
       [](const json& v, const std::string& what) -> StoryboardValue {
         static const std::map<std::string, CALayerCornerCurve> curves{{"circular", CALayerCornerCurve::circular},
                                                                       {"continuous", CALayerCornerCurve::continuous}};
         return choice(v, what, curves);
       }},
      {"accessoryType",
       [](const json& v, const std::string& what) -> StoryboardValue {
         return enumerated(v, what, UITableViewCellAccessoryType::none, UITableViewCellAccessoryType::checkmark);
       }},
  };
  return readers;
}

const std::map<std::string, PropertyReader>& sceneProperties() {
  static const std::map<std::string, PropertyReader> readers{
      {"title", readText},
      {"modalPresentationStyle",
       [](const json& v, const std::string& what) -> StoryboardValue {
         return enumerated(v, what, UIModalPresentationStyle::automatic, UIModalPresentationStyle::formSheet);
       }},
      {"modalTransitionStyle",
       [](const json& v, const std::string& what) -> StoryboardValue {
         return enumerated(v, what, UIModalTransitionStyle::coverVertical, UIModalTransitionStyle::crossDissolve);
       }},
  };
  return readers;
}

// `known` reads the names it has; another name is kept without a value when `unknownLater` (the
// class decides), else it is a fault.
StoryboardProperties readProperties(const json& node, const std::string& name,
                                    const std::map<std::string, PropertyReader>& known, bool unknownLater) {
  StoryboardProperties properties;
  const auto* props = member(node, "properties");
  if (!props) return properties;
  for (const auto& [key, value] : object(*props, name + " properties").items()) {
    auto it = known.find(key);
    if (it != known.end()) properties.emplace_back(key, it->second(value, name + " property " + key));
    else if (unknownLater) properties.emplace_back(key, std::monostate());
    else resourceFault(name + " has no property " + key);
  }
  return properties;
}

StoryboardOutlets readOutlets(const json& node, const std::string& name) {
  StoryboardOutlets outlets;
  if (const auto* m = member(node, "outlets"))
    for (const auto& [outlet, id] : object(*m, name + " outlets").items())
      outlets[outlet] = text(id, name + " outlet " + outlet);
  return outlets;
}

// The member's list, each item read by `read`; empty when it is absent.
template <class Read>
auto readList(const json& node, const char* key, const std::string& what, Read&& read) {
  std::vector<decltype(read(json()))> items;
  if (const auto* list = member(node, key))
    for (const auto& item : array(*list, what + " " + key)) items.push_back(read(item));
  return items;
}

StoryboardConstraint readConstraint(const json& node, const std::string& what) {
  object(node, what);
  const auto* constant = member(node, "constant");
  return {optionalTextMember(node, "id", what + " id"), constant ? number(*constant, what + " constant") : 0};
}

StoryboardAction readAction(const json& node, const std::string& what) {
  static const std::map<std::string, UIControlEvents> events{
      {"touchUpInside", UIControlEvents::touchUpInside},
      {"touchDown", UIControlEvents::touchDown},
      {"valueChanged", UIControlEvents::valueChanged},
      {"primaryActionTriggered", UIControlEvents::primaryActionTriggered}};
  object(node, what);
  StoryboardAction action;
  action.selector = text(required(node, "selector", what), what + " selector");
  if (const auto* event = member(node, "event")) action.events = choice(*event, what + " event", events);
  action.target = optionalTextMember(node, "target", what + " target");
  return action;
}

CGRect readFrame(const json& value, const std::string& what) {
  const auto& r = array(value, what, 4);
  return CGRectMake(number(r[0], what), number(r[1], what), number(r[2], what), number(r[3], what));
}

StoryboardView readView(const json& node, const std::string& scene, const std::string& defaultClass, int depth);

StoryboardPrototype readPrototype(const json& node, const std::string& scene, const std::string& what, int depth) {
  object(node, what);
  StoryboardPrototype prototype{text(required(node, "reuseIdentifier", what), what + " reuseIdentifier"),
                                readView(node, scene, "UITableViewCell", depth)};
  prototype.cell.id.reset();  // the cell itself is "cell"
  return prototype;
}

StoryboardView readView(const json& node, const std::string& scene, const std::string& defaultClass, int depth) {
  if (depth > kMaxStoryboardViewDepth)
    resourceFault(scene + ": views nest deeper than " + std::to_string(kMaxStoryboardViewDepth));
  object(node, scene + ", a view");
  StoryboardView view;
  view.cls = textMember(node, "class", scene + ", a view's class", defaultClass);
  view.id = optionalTextMember(node, "id", scene + ", a view's id");
  const auto name = scene + ", " + view.cls + (view.id ? " \"" + *view.id + "\"" : "");
  if (const auto* frame = member(node, "frame")) view.frame = readFrame(*frame, name + " frame");
  view.properties = readProperties(node, name, viewProperties(), true);
  const auto constraint = name + " constraint", action = name + " action", prototype = name + " prototype";
  view.constraints = readList(node, "constraints", name, [&](const json& c) { return readConstraint(c, constraint); });
  view.actions = readList(node, "actions", name, [&](const json& a) { return readAction(a, action); });
  view.subviews = readList(node, "subviews", name, [&](const json& s) { return readView(s, scene, "UIView", depth + 1); });
  view.prototypes =
      readList(node, "prototypes", name, [&](const json& p) { return readPrototype(p, scene, prototype, depth + 1); });
  view.outlets = readOutlets(node, name);
  return view;
}

StoryboardScene readScene(const json& node) {
  StoryboardScene scene;
  scene.id = text(required(node, "id", "a scene"), "a scene's id");
  const auto where = "scene " + quote(scene.id);
  scene.cls = textMember(node, "class", where + " class", "UIViewController");
  scene.storyboardIdentifier = optionalTextMember(node, "storyboardIdentifier", where + " storyboardIdentifier");
  scene.properties = readProperties(node, where + ", " + scene.cls, sceneProperties(), false);
  if (const auto* view = member(node, "view")) scene.view = readView(*view, where, "UIView", 1);
  if (const auto* children = member(node, "viewControllers")) {
    scene.viewControllers.emplace();
    for (const auto& child : array(*children, where + " viewControllers"))
      scene.viewControllers->push_back(text(child, where + " child scene id"));
  }
  scene.outlets = readOutlets(node, where + ", " + scene.cls);
  return scene;
}

}  // namespace

const StoryboardScene* StoryboardDocument::scene(const std::string& id) const {
  for (const auto& s : scenes)
    if (s.id == id) return &s;
  return nullptr;
}

const StoryboardScene* StoryboardDocument::sceneWithIdentifier(const std::string& storyboardIdentifier) const {
  for (const auto& s : scenes)
    if (s.storyboardIdentifier == storyboardIdentifier) return &s;
  return nullptr;
}

Checked<std::shared_ptr<const StoryboardDocument>> checkStoryboard(std::string_view content) {
  return checkResource(content, [](const json& root) {
    auto document = std::make_shared<StoryboardDocument>();
    object(root, "the top level");
    if (const auto* initial = member(root, "initialScene"))
      document->initialScene = optionalText(*initial, "initialScene");
    std::set<std::string> ids;
    for (const auto& node : array(required(root, "scenes", "the top level"), "scenes")) {
      auto scene = readScene(object(node, "a scene"));
      if (!ids.insert(scene.id).second) resourceFault("two scenes have the id " + quote(scene.id));
      document->scenes.push_back(std::move(scene));
    }
    return std::shared_ptr<const StoryboardDocument>(std::move(document));
  });
}

}  // namespace platform::detail
