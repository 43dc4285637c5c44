#include "platform/uikit/storyboard.h"

#include <mutex>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/uikit/class_name.h"
#include "platform/uikit/main_thread.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/resource_json.h"
#include "platform/uikit/table_view.h"

namespace platform {

using nlohmann::json;

// OutletConnector

std::string OutletConnector::Object::describe() const {
  if (view) return classNameOf(*view);
  if (controller) return classNameOf(*controller);
  if (constraint) return "NSLayoutConstraint";
  return "nothing";
}

OutletConnector::OutletConnector(std::string where, std::map<std::string, Object> outlets,
                                 std::set<std::string> wantedActions)
    : where_(std::move(where)), outlets_(std::move(outlets)), wanted_(std::move(wantedActions)) {}

void OutletConnector::wrongClass(const std::string& name, const Object& object) const {
  fatalError(where_ + ": the outlet " + name + " cannot hold a " + object.describe());
}

void OutletConnector::finish() const {
  for (const auto& [name, object] : outlets_)
    if (!bound_.count(name)) fatalError(where_ + " has no outlet named " + name);
  for (const auto& name : wanted_)
    if (!actions_.count(name)) fatalError(where_ + " has no action named " + name);
}

namespace {

struct Classes {
  std::mutex mutex;
  std::map<std::string, UIStoryboard::ControllerFactory> controllers;
  std::map<std::string, UIStoryboard::ViewFactory> views;
  Classes() {
    controllers["UIViewController"] = [] { return std::make_shared<UIViewController>(); };
    controllers["UINavigationController"] = [] { return std::make_shared<UINavigationController>(); };
    views["UIView"] = [] { return std::make_shared<UIView>(); };
    views["UILabel"] = [] { return std::make_shared<UILabel>(); };
    views["UIImageView"] = [] { return std::make_shared<UIImageView>(); };
    views["UIControl"] = [] { return std::make_shared<UIControl>(); };
    views["UIButton"] = [] { return std::make_shared<UIButton>(); };
    views["UIProgressView"] = [] { return std::make_shared<UIProgressView>(); };
    views["UIActivityIndicatorView"] = [] { return std::make_shared<UIActivityIndicatorView>(); };
    views["UITableView"] = [] { return std::make_shared<UITableView>(); };
    views["UITableViewCell"] = [] { return std::make_shared<UITableViewCell>(); };
  }
};

Classes& classes() {
  static Classes c;
  return c;
}

UIStoryboard::ControllerFactory controllerClass(const std::string& name) {
  auto& c = classes();
  std::lock_guard lock(c.mutex);
  auto it = c.controllers.find(name);
  return it == c.controllers.end() ? nullptr : it->second;
}

UIStoryboard::ViewFactory viewClass(const std::string& name) {
  auto& c = classes();
  std::lock_guard lock(c.mutex);
  auto it = c.views.find(name);
  return it == c.views.end() ? nullptr : it->second;
}

// One instantiation: the objects made so far by id, and what to connect once all are made.
struct Build {
  std::string where;
  std::shared_ptr<Bundle> bundle;
  std::map<std::string, OutletConnector::Object> objects;
  struct Connection {
    OutletConnector::Object target;
    std::string targetName;
    std::map<std::string, std::string> outlets;  // outlet -> object id
    struct Link {
      std::shared_ptr<UIControl> control;
      std::string selector;
      UIControlEvents events;
    };
    std::vector<Link> actions;
  };
  std::vector<Connection> connections;
  std::vector<std::shared_ptr<UIView>> made;  // in the order made, for awakeFromNib
  std::weak_ptr<UIViewController> sceneController;
  std::string defaultTarget = "controller";
  // table views with their prototypes, registered once the storyboard is at hand
  std::vector<std::pair<std::shared_ptr<UITableView>, json>> prototypes;

  [[noreturn]] void fail(const std::string& what) const { fatalError(where + ": " + what); }

  void add(const std::string& id, OutletConnector::Object object) {
    if (!objects.emplace(id, std::move(object)).second) fail("two objects have the id " + id);
  }

  Connection& connectionFor(const std::string& id) {
    auto it = objects.find(id);
    if (it == objects.end()) fail("no object has the id " + id);
    for (auto& c : connections)
      if (c.target.view == it->second.view && c.target.controller == it->second.controller &&
          c.target.constraint == it->second.constraint)
        return c;
    connections.push_back({it->second, it->second.describe() + " \"" + id + "\"", {}, {}});
    return connections.back();
  }
};

const json* member(const json& node, const char* key) {
  if (!node.is_object()) return nullptr;
  auto it = node.find(key);
  return it == node.end() ? nullptr : &*it;
}

std::string text(const Build& b, const json& value, const std::string& what) {
  if (!value.is_string()) b.fail(what + " must be a text");
  return value.get<std::string>();
}

double number(const Build& b, const json& value, const std::string& what) {
  if (!value.is_number()) b.fail(what + " must be a number");
  return value.get<double>();
}

bool boolean(const Build& b, const json& value, const std::string& what) {
  if (!value.is_boolean()) b.fail(what + " must be true or false");
  return value.get<bool>();
}

CGRect rect(const Build& b, const json& value, const std::string& what) {
  if (!value.is_array() || value.size() != 4) b.fail(what + " must be [x, y, width, height]");
  return CGRectMake(number(b, value[0], what), number(b, value[1], what), number(b, value[2], what),
                    number(b, value[3], what));
}

UIColor color(const Build& b, const json& value, const std::string& what) {
  if (auto named = member(value, "named")) {
    auto c = UIColor::colorNamed(text(b, *named, what), b.bundle);
    if (!c) b.fail(what + ": no colour named " + named->dump());
    return *c;
  }
  auto c = detail::colorFromJSON(value);
  if (!c) b.fail(what + " is not a colour: " + value.dump());
  return *c;
}

UIFont font(const Build& b, const json& value, const std::string& what) {
  if (!value.is_object()) b.fail(what + " must be {\"size\": n, \"weight\": w} or {\"name\": n, \"size\": n}");
  const double size = member(value, "size") ? number(b, value["size"], what) : 17;
  if (auto name = member(value, "name")) return UIFont::fontWithName(text(b, *name, what), size);
  static const std::map<std::string, UIFontWeight> weights{
      {"ultraLight", UIFontWeight::ultraLight}, {"thin", UIFontWeight::thin},   {"light", UIFontWeight::light},
      {"regular", UIFontWeight::regular},       {"medium", UIFontWeight::medium}, {"semibold", UIFontWeight::semibold},
      {"bold", UIFontWeight::bold},             {"heavy", UIFontWeight::heavy}, {"black", UIFontWeight::black}};
  auto weight = UIFontWeight::regular;
  if (auto w = member(value, "weight")) {
    auto it = weights.find(text(b, *w, what));
    if (it == weights.end()) b.fail(what + ": unknown weight " + w->dump());
    weight = it->second;
  }
  return UIFont::systemFontOfSize(size, weight);
}

UIImageRef image(const Build& b, const json& value, const std::string& what) {
  if (value.is_null()) return {};
  return UIImage::imageNamed(text(b, value, what), b.bundle);
}

std::optional<std::string> optionalText(const Build& b, const json& value, const std::string& what) {
  if (value.is_null()) return std::nullopt;
  return text(b, value, what);
}

// Each class takes the properties it knows; false when it knows none of that name.
bool applyProperty(Build& b, UIView& view, const std::string& key, const json& v) {
  const auto what = classNameOf(view) + " property " + key;
  if (auto* label = dynamic_cast<UILabel*>(&view)) {
    if (key == "text") return label->setText(optionalText(b, v, what)), true;
    if (key == "textColor") return label->setTextColor(color(b, v, what)), true;
    if (key == "font") return label->setFont(font(b, v, what)), true;
    if (key == "numberOfLines") return label->setNumberOfLines(static_cast<int>(number(b, v, what))), true;
    if (key == "textAlignment") {
      static const std::map<std::string, NSTextAlignment> a{{"left", NSTextAlignment::left},
                                                            {"center", NSTextAlignment::center},
                                                            {"right", NSTextAlignment::right},
                                                            {"justified", NSTextAlignment::justified},
                                                            {"natural", NSTextAlignment::natural}};
      auto it = a.find(text(b, v, what));
      if (it == a.end()) b.fail(what + ": unknown alignment " + v.dump());
      return label->setTextAlignment(it->second), true;
    }
  }
  if (auto* imageView = dynamic_cast<UIImageView*>(&view)) {
    if (key == "image") return imageView->setImage(image(b, v, what)), true;
    if (key == "tintColor") return imageView->setTintColor(color(b, v, what)), true;
  }
  if (auto* button = dynamic_cast<UIButton*>(&view)) {
    if (key == "title") return button->setTitle(optionalText(b, v, what)), true;
    if (key == "titleColor") return button->setTitleColor(color(b, v, what)), true;
    if (key == "image") return button->setImage(image(b, v, what)), true;
    if (key == "backgroundImage") return button->setBackgroundImage(image(b, v, what)), true;
  }
  if (auto* control = dynamic_cast<UIControl*>(&view)) {
    if (key == "enabled") return control->setEnabled(boolean(b, v, what)), true;
    if (key == "selected") return control->setSelected(boolean(b, v, what)), true;
  }
  if (auto* progress = dynamic_cast<UIProgressView*>(&view)) {
    if (key == "progress") return progress->setProgress(static_cast<float>(number(b, v, what))), true;
  }
  if (auto* indicator = dynamic_cast<UIActivityIndicatorView*>(&view)) {
    if (key == "hidesWhenStopped") return indicator->setHidesWhenStopped(boolean(b, v, what)), true;
    if (key == "color") return indicator->setColor(color(b, v, what)), true;
    if (key == "animating") {
      if (boolean(b, v, what)) indicator->startAnimating();
      else indicator->stopAnimating();
      return true;
    }
  }
  if (auto* table = dynamic_cast<UITableView*>(&view)) {
    if (key == "rowHeight") return table->setRowHeight(number(b, v, what)), true;
    if (key == "sectionHeaderHeight") return table->setSectionHeaderHeight(number(b, v, what)), true;
    if (key == "sectionFooterHeight") return table->setSectionFooterHeight(number(b, v, what)), true;
    if (key == "sectionHeaderTopPadding") return table->setSectionHeaderTopPadding(number(b, v, what)), true;
  }
  if (auto* cell = dynamic_cast<UITableViewCell*>(&view)) {
    if (key == "accessoryType")
      return cell->setAccessoryType(static_cast<UITableViewCellAccessoryType>(static_cast<int>(number(b, v, what)))),
             true;
  }
  if (key == "hidden") return view.setHidden(boolean(b, v, what)), true;
  if (key == "alpha") return view.setAlpha(number(b, v, what)), true;
  if (key == "backgroundColor") return view.setBackgroundColor(color(b, v, what)), true;
  if (key == "tag") return view.setTag(static_cast<int>(number(b, v, what))), true;
  if (key == "cornerRadius") return view.layer().cornerRadius = number(b, v, what), true;
  if (key == "borderWidth") return view.layer().borderWidth = number(b, v, what), true;
  if (key == "borderColor") return view.layer().borderColor = color(b, v, what), true;
  if (key == "masksToBounds") return view.layer().masksToBounds = boolean(b, v, what), true;
  if (key == "cornerCurve") {
    const auto curve = text(b, v, what);
    if (curve != "circular" && curve != "continuous") b.fail(what + " must be circular or continuous");
    view.layer().cornerCurve = curve == "continuous" ? CALayerCornerCurve::continuous : CALayerCornerCurve::circular;
    return true;
  }
  return false;
}

void readConnections(Build& b, const OutletConnector::Object& target, const std::string& targetName, const json& node) {
  if (auto outlets = member(node, "outlets")) {
    if (!outlets->is_object()) b.fail(targetName + ": outlets must map names to object ids");
    Build::Connection c{target, targetName, {}, {}};
    for (const auto& [name, id] : outlets->items()) c.outlets[name] = text(b, id, "the outlet " + name);
    b.connections.push_back(std::move(c));
  }
}

UIControlEvents eventNamed(const Build& b, const std::string& name) {
  if (name == "touchUpInside") return UIControlEvents::touchUpInside;
  if (name == "touchDown") return UIControlEvents::touchDown;
  if (name == "valueChanged") return UIControlEvents::valueChanged;
  if (name == "primaryActionTriggered") return UIControlEvents::primaryActionTriggered;
  b.fail("unknown control event " + name);
}

std::shared_ptr<UITableViewCell> buildCell(const std::shared_ptr<UIStoryboard>& storyboard, const std::string& where,
                                           const json& prototype, const std::weak_ptr<UIViewController>& controller);
void registerPrototypes(Build& b, const std::shared_ptr<UIStoryboard>& storyboard);

std::shared_ptr<UIView> buildView(Build& b, const json& node, std::shared_ptr<UIView> made = nullptr) {
  if (!node.is_object()) b.fail("a view must be an object");
  if (!made) {
    const auto cls = text(b, node.value("class", json("UIView")), "a view's class");
    auto factory = viewClass(cls);
    if (!factory) b.fail("unknown view class " + cls);
    made = factory();
  }
  auto view = made;
  std::string name = classNameOf(*view);
  if (auto id = member(node, "id")) {
    const auto identifier = text(b, *id, "a view's id");
    b.add(identifier, {view, nullptr, nullptr});
    view->setAccessibilityIdentifier(identifier);
    name += " \"" + identifier + "\"";
  }
  if (auto frame = member(node, "frame")) view->setFrame(rect(b, *frame, name + " frame"));
  if (auto props = member(node, "properties")) {
    if (!props->is_object()) b.fail(name + ": properties must be an object");
    for (const auto& [key, value] : props->items())
      if (!applyProperty(b, *view, key, value)) b.fail(name + " has no property " + key);
  }
  if (auto constraints = member(node, "constraints")) {
    if (!constraints->is_array()) b.fail(name + ": constraints must be a list");
    for (const auto& c : *constraints) {
      auto id = member(c, "id") ? std::optional<std::string>(text(b, c["id"], "a constraint's id")) : std::nullopt;
      auto constraint = std::make_shared<NSLayoutConstraint>(
          member(c, "constant") ? number(b, c["constant"], "a constraint's constant") : 0, id);
      view->addConstraint(constraint);
      if (id) b.add(*id, {nullptr, nullptr, constraint});
    }
  }
  if (auto actions = member(node, "actions")) {
    auto control = std::dynamic_pointer_cast<UIControl>(view);
    if (!control) b.fail(name + " is not a control and sends no actions");
    if (!actions->is_array()) b.fail(name + ": actions must be a list");
    for (const auto& a : *actions) {
      const auto selector = text(b, a.value("selector", json()), name + " action selector");
      const auto events = eventNamed(b, a.contains("event") ? text(b, a["event"], "an action's event") : "touchUpInside");
      const auto target = a.contains("target") ? text(b, a["target"], "an action's target") : b.defaultTarget;
      // the target may be made later in the tree: linked once everything exists
      b.connections.push_back({{}, target, {}, {{control, selector, events}}});
    }
  }
  if (auto subviews = member(node, "subviews")) {
    if (!subviews->is_array()) b.fail(name + ": subviews must be a list");
    for (const auto& s : *subviews) view->addSubview(buildView(b, s));
  }
  if (auto prototypes = member(node, "prototypes")) {
    auto table = std::dynamic_pointer_cast<UITableView>(view);
    if (!table) b.fail(name + " is not a table view and has no prototypes");
    if (!prototypes->is_array()) b.fail(name + ": prototypes must be a list");
    for (const auto& p : *prototypes) text(b, p.value("reuseIdentifier", json()), name + " prototype reuseIdentifier");
    b.prototypes.emplace_back(table, *prototypes);
  }
  readConnections(b, {view, nullptr, nullptr}, name, node);
  b.made.push_back(view);
  return view;
}

// Resolves targets by id, connects every outlet and action, then awakes the views in the order
// they were made.
void connectAll(Build& b) {
  // gather the action links under their targets
  std::vector<Build::Connection> merged;
  auto targetOf = [&](const Build::Connection& c) -> OutletConnector::Object {
    if (c.target.view || c.target.controller || c.target.constraint) return c.target;
    auto it = b.objects.find(c.targetName);
    if (it == b.objects.end()) b.fail("an action's target " + c.targetName + " is no object of the scene");
    return it->second;
  };
  for (auto& c : b.connections) {
    auto target = targetOf(c);
    auto found = std::find_if(merged.begin(), merged.end(), [&](const Build::Connection& m) {
      return m.target.view == target.view && m.target.controller == target.controller &&
             m.target.constraint == target.constraint;
    });
    if (found == merged.end()) {
      merged.push_back({target, target.describe(), {}, {}});
      found = merged.end() - 1;
    }
    if (!c.outlets.empty()) found->targetName = c.targetName;
    found->outlets.insert(c.outlets.begin(), c.outlets.end());
    found->actions.insert(found->actions.end(), c.actions.begin(), c.actions.end());
  }
  for (auto& m : merged) {
    std::map<std::string, OutletConnector::Object> outlets;
    for (const auto& [name, id] : m.outlets) {
      auto it = b.objects.find(id);
      if (it == b.objects.end()) b.fail("the outlet " + name + " of " + m.targetName + " names no object " + id);
      outlets[name] = it->second;
    }
    std::set<std::string> wanted;
    for (const auto& a : m.actions) wanted.insert(a.selector);
    OutletConnector connector(b.where + ", " + m.targetName, std::move(outlets), wanted);
    if (m.target.view) m.target.view->connectOutlets(connector);
    else if (m.target.controller) m.target.controller->connectOutlets(connector);
    else if (!m.outlets.empty() || !m.actions.empty()) b.fail("a constraint has no outlets or actions");
    connector.finish();
    std::weak_ptr<const void> owner = m.target.view ? std::weak_ptr<const void>(m.target.view)
                                                    : std::weak_ptr<const void>(m.target.controller);
    for (const auto& a : m.actions) a.control->addTarget(owner, connector.actionNamed(a.selector), a.events);
  }
  for (const auto& v : b.made) v->awakeFromNib();
}

std::shared_ptr<UITableViewCell> buildCell(const std::shared_ptr<UIStoryboard>& storyboard, const std::string& where,
                                           const json& prototype, const std::weak_ptr<UIViewController>& controller) {
  Build b;
  b.where = where;
  b.bundle = storyboard->bundle();
  b.sceneController = controller;
  b.defaultTarget = "cell";
  const auto cls = text(b, prototype.value("class", json("UITableViewCell")), "a prototype's class");
  auto factory = viewClass(cls);
  if (!factory) b.fail("unknown view class " + cls);
  auto cell = std::dynamic_pointer_cast<UITableViewCell>(factory());
  if (!cell) b.fail(cls + " is not a table view cell");
  b.add("cell", {cell, nullptr, nullptr});
  if (auto c = controller.lock()) b.add("controller", {nullptr, c, nullptr});
  auto node = prototype;
  node.erase("reuseIdentifier");
  node.erase("class");
  node.erase("id");
  buildView(b, node, cell);
  registerPrototypes(b, storyboard);
  connectAll(b);
  return cell;
}

// Registers the table prototypes found while building: each dequeue builds a fresh cell.
void registerPrototypes(Build& b, const std::shared_ptr<UIStoryboard>& storyboard) {
  for (auto& [table, prototypes] : b.prototypes) {
    for (const auto& p : prototypes) {
      const auto reuse = p["reuseIdentifier"].get<std::string>();
      const auto where = b.where + ", prototype \"" + reuse + "\"";
      table->registerPrototype(reuse, [storyboard, where, p, controller = b.sceneController] {
        return buildCell(storyboard, where, p, controller);
      });
    }
  }
}

}  // namespace

void UIStoryboard::registerViewControllerClass(const std::string& name, ControllerFactory factory) {
  auto& c = classes();
  std::lock_guard lock(c.mutex);
  c.controllers[name] = std::move(factory);
}

void UIStoryboard::registerViewClass(const std::string& name, ViewFactory factory) {
  auto& c = classes();
  std::lock_guard lock(c.mutex);
  c.views[name] = std::move(factory);
}

UIStoryboard::UIStoryboard(std::string name, std::shared_ptr<Bundle> bundle, std::shared_ptr<const json> document)
    : name_(std::move(name)), bundle_(std::move(bundle)), document_(std::move(document)) {}

std::shared_ptr<UIStoryboard> UIStoryboard::storyboardWithName(const std::string& name,
                                                               const std::shared_ptr<Bundle>& bundle) {
  requireMainThread("UIStoryboard::storyboardWithName");
  auto b = bundle ? bundle : Bundle::main();
  const auto where = "the storyboard \"" + name + "\"";
  if (name.empty() || name.find_first_of("/\\") != std::string::npos || name.find("..") != std::string::npos)
    fatalError(where + " is not a storyboard name");
  if (!b->resourcePath()) fatalError(where + " cannot be found: the bundle has no resource directory");
  const auto file = *b->resourcePath() / (name + ".storyboard");
  auto document = detail::readResourceJSON(file);
  if (!document) fatalError(where + " is not in the bundle at " + b->resourcePath()->string());
  if (!document->is_object() || !document->contains("scenes") || !(*document)["scenes"].is_array())
    fatalError(where + " (" + file.string() + ") needs a list of scenes");
  return std::make_shared<UIStoryboard>(name, b, std::make_shared<const json>(std::move(*document)));
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateInitialViewController() {
  requireMainThread("UIStoryboard::instantiateInitialViewController");
  auto initial = member(*document_, "initialScene");
  if (!initial || initial->is_null()) return nullptr;
  if (!initial->is_string()) fatalError("the storyboard \"" + name_ + "\": initialScene must be a scene id");
  return instantiateScene(initial->get<std::string>(), 0);
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateViewControllerWithIdentifier(const std::string& identifier) {
  requireMainThread("UIStoryboard::instantiateViewControllerWithIdentifier");
  for (const auto& scene : (*document_)["scenes"])
    if (scene.is_object() && scene.value("storyboardIdentifier", json()) == identifier)
      return instantiateScene(scene.value("id", json("")).get<std::string>(), 0);
  fatalError("the storyboard \"" + name_ + "\" has no scene with identifier \"" + identifier + "\"");
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateScene(const std::string& sceneId, int depth) {
  const json* scene = nullptr;
  for (const auto& s : (*document_)["scenes"])
    if (s.is_object() && s.value("id", json()) == sceneId) scene = &s;
  if (!scene) fatalError("the storyboard \"" + name_ + "\" has no scene \"" + sceneId + "\"");
  if (depth > 16) fatalError("the storyboard \"" + name_ + "\": the scenes' children refer to each other in a loop");

  Build b;
  b.where = "the storyboard \"" + name_ + "\", scene \"" + sceneId + "\"";
  b.bundle = bundle_;
  const auto cls = text(b, scene->value("class", json("UIViewController")), "the scene's class");
  auto factory = controllerClass(cls);
  if (!factory) b.fail("unknown view controller class " + cls);
  auto controller = factory();
  if (!controller) b.fail("the class " + cls + " made no view controller");
  controller->setStoryboard(shared_from_this());
  b.sceneController = controller;
  b.add("controller", {nullptr, controller, nullptr});

  if (auto props = member(*scene, "properties")) {
    if (!props->is_object()) b.fail("properties must be an object");
    for (const auto& [key, v] : props->items()) {
      const auto what = cls + " property " + key;
      if (key == "title") controller->setTitle(optionalText(b, v, what));
      else if (key == "modalPresentationStyle")
        controller->setModalPresentationStyle(static_cast<UIModalPresentationStyle>(static_cast<int>(number(b, v, what))));
      else if (key == "modalTransitionStyle")
        controller->setModalTransitionStyle(static_cast<UIModalTransitionStyle>(static_cast<int>(number(b, v, what))));
      else b.fail(cls + " has no property " + key);
    }
  }
  if (auto view = member(*scene, "view")) controller->setView(buildView(b, *view));
  if (auto children = member(*scene, "viewControllers")) {
    auto nav = std::dynamic_pointer_cast<UINavigationController>(controller);
    if (!nav) b.fail(cls + " is not a navigation controller and has no viewControllers");
    if (!children->is_array()) b.fail("viewControllers must be a list of scene ids");
    std::vector<std::shared_ptr<UIViewController>> made;
    for (const auto& child : *children) made.push_back(instantiateScene(text(b, child, "a child scene id"), depth + 1));
    nav->setViewControllers(std::move(made));
  }
  readConnections(b, {nullptr, controller, nullptr}, cls, *scene);
  registerPrototypes(b, shared_from_this());
  connectAll(b);
  controller->awakeFromNib();
  return controller;
}

}  // namespace platform
