#include "platform/uikit/storyboard.h"

#include <mutex>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/uikit/class_name.h"
#include "platform/uikit/main_thread.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard_document.h"
#include "platform/uikit/table_view.h"

namespace platform {

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
  std::vector<std::pair<std::shared_ptr<UITableView>, const std::vector<detail::StoryboardPrototype>*>> prototypes;

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

UIColor color(const Build& b, const detail::StoryboardColor& value, const std::string& what) {
  if (value.value) return *value.value;
  auto c = UIColor::colorNamed(value.named, b.bundle);
  if (!c) b.fail(what + ": no colour named " + detail::quote(value.named));
  return *c;
}

template <class T>
const T& as(const detail::StoryboardValue& value) {
  return std::get<T>(value);  // the document holds the kind the property's name takes
}

using Text = std::optional<std::string>;

UIImageRef image(const Build& b, const detail::StoryboardValue& value) {
  const auto& name = as<Text>(value);
  return name ? UIImage::imageNamed(*name, b.bundle) : UIImageRef();
}

// Each class takes the properties it knows; false when it knows none of that name.
bool applyProperty(Build& b, UIView& view, const std::string& key, const detail::StoryboardValue& v) {
  const auto what = classNameOf(view) + " property " + key;
  auto colorOf = [&] { return color(b, as<detail::StoryboardColor>(v), what); };
  if (auto* label = dynamic_cast<UILabel*>(&view)) {
    if (key == "text") return label->setText(as<Text>(v)), true;
    if (key == "textColor") return label->setTextColor(colorOf()), true;
    if (key == "font") return label->setFont(as<UIFont>(v)), true;
    if (key == "numberOfLines") return label->setNumberOfLines(as<int>(v)), true;
    if (key == "textAlignment") return label->setTextAlignment(as<NSTextAlignment>(v)), true;
  }
  if (auto* imageView = dynamic_cast<UIImageView*>(&view)) {
    if (key == "image") return imageView->setImage(image(b, v)), true;
    if (key == "tintColor") return imageView->setTintColor(colorOf()), true;
  }
  if (auto* button = dynamic_cast<UIButton*>(&view)) {
    if (key == "title") return button->setTitle(as<Text>(v)), true;
    if (key == "titleColor") return button->setTitleColor(colorOf()), true;
    if (key == "image") return button->setImage(image(b, v)), true;
    if (key == "backgroundImage") return button->setBackgroundImage(image(b, v)), true;
  }
  if (auto* control = dynamic_cast<UIControl*>(&view)) {
    if (key == "enabled") return control->setEnabled(as<bool>(v)), true;
    if (key == "selected") return control->setSelected(as<bool>(v)), true;
  }
  if (auto* progress = dynamic_cast<UIProgressView*>(&view)) {
    if (key == "progress") return progress->setProgress(as<float>(v)), true;
  }
  if (auto* indicator = dynamic_cast<UIActivityIndicatorView*>(&view)) {
    if (key == "hidesWhenStopped") return indicator->setHidesWhenStopped(as<bool>(v)), true;
    if (key == "color") return indicator->setColor(colorOf()), true;
    if (key == "animating") {
      if (as<bool>(v)) indicator->startAnimating();
      else indicator->stopAnimating();
      return true;
    }
  }
  if (auto* table = dynamic_cast<UITableView*>(&view)) {
    if (key == "rowHeight") return table->setRowHeight(as<double>(v)), true;
    if (key == "sectionHeaderHeight") return table->setSectionHeaderHeight(as<double>(v)), true;
    if (key == "sectionFooterHeight") return table->setSectionFooterHeight(as<double>(v)), true;
    if (key == "sectionHeaderTopPadding") return table->setSectionHeaderTopPadding(as<double>(v)), true;
  }
  if (auto* cell = dynamic_cast<UITableViewCell*>(&view)) {
    if (key == "accessoryType") return cell->setAccessoryType(as<UITableViewCellAccessoryType>(v)), true;
  }
  if (key == "hidden") return view.setHidden(as<bool>(v)), true;
  if (key == "alpha") return view.setAlpha(as<double>(v)), true;
  if (key == "backgroundColor") return view.setBackgroundColor(colorOf()), true;
  if (key == "tag") return view.setTag(as<int>(v)), true;
  if (key == "cornerRadius") return view.layer().cornerRadius = as<double>(v), true;
  if (key == "borderWidth") return view.layer().borderWidth = as<double>(v), true;
  if (key == "borderColor") return view.layer().borderColor = colorOf(), true;
  if (key == "masksToBounds") return view.layer().masksToBounds = as<bool>(v), true;
  if (key == "cornerCurve") return view.layer().cornerCurve = as<CALayerCornerCurve>(v), true;
  return false;
}

void readConnections(Build& b, const OutletConnector::Object& target, const std::string& targetName,
                     const detail::StoryboardOutlets& outlets) {
  if (!outlets.empty()) b.connections.push_back({target, targetName, outlets, {}});
}

std::shared_ptr<UITableViewCell> buildCell(const std::shared_ptr<UIStoryboard>& storyboard, const std::string& where,
                                           const detail::StoryboardPrototype& prototype,
                                           const std::weak_ptr<UIViewController>& controller);
void registerPrototypes(Build& b, const std::shared_ptr<UIStoryboard>& storyboard);

std::shared_ptr<UIView> makeView(const Build& b, const std::string& cls) {
  auto factory = viewClass(cls);
  if (!factory) b.fail("unknown view class " + cls);
  return factory();
}

std::shared_ptr<UIView> buildView(Build& b, const detail::StoryboardView& node,
                                  std::shared_ptr<UIView> made = nullptr) {
  auto view = made ? made : makeView(b, node.cls);
  std::string name = classNameOf(*view);
  if (node.id) {
    b.add(*node.id, {view, nullptr, nullptr});
    view->setAccessibilityIdentifier(*node.id);
    name += " \"" + *node.id + "\"";
  }
  if (node.frame) view->setFrame(*node.frame);
  for (const auto& [key, value] : node.properties)
    if (!applyProperty(b, *view, key, value)) b.fail(name + " has no property " + key);
  for (const auto& c : node.constraints) {
    auto constraint = std::make_shared<NSLayoutConstraint>(c.constant, c.id);
    view->addConstraint(constraint);
    if (c.id) b.add(*c.id, {nullptr, nullptr, constraint});
  }
  if (!node.actions.empty()) {
    auto control = std::dynamic_pointer_cast<UIControl>(view);
    if (!control) b.fail(name + " is not a control and sends no actions");
    // a target may be made later in the tree: linked once everything exists
    for (const auto& a : node.actions)
      b.connections.push_back({{}, a.target.value_or(b.defaultTarget), {}, {{control, a.selector, a.events}}});
  }
  for (const auto& s : node.subviews) view->addSubview(buildView(b, s));
  if (!node.prototypes.empty()) {
    auto table = std::dynamic_pointer_cast<UITableView>(view);
    if (!table) b.fail(name + " is not a table view and has no prototypes");
    b.prototypes.emplace_back(table, &node.prototypes);
  }
  readConnections(b, {view, nullptr, nullptr}, name, node.outlets);
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
                                           const detail::StoryboardPrototype& prototype,
                                           const std::weak_ptr<UIViewController>& controller) {
  Build b;
  b.where = where;
  b.bundle = storyboard->bundle();
  b.sceneController = controller;
  b.defaultTarget = "cell";
  auto cell = std::dynamic_pointer_cast<UITableViewCell>(makeView(b, prototype.cell.cls));
  if (!cell) b.fail(prototype.cell.cls + " is not a table view cell");
  b.add("cell", {cell, nullptr, nullptr});
  if (auto c = controller.lock()) b.add("controller", {nullptr, c, nullptr});
  buildView(b, prototype.cell, cell);
  registerPrototypes(b, storyboard);
  connectAll(b);
  return cell;
}

// Registers the table prototypes found while building: each dequeue builds a fresh cell. The
// storyboard the factory holds keeps its document, and so the prototype, alive.
void registerPrototypes(Build& b, const std::shared_ptr<UIStoryboard>& storyboard) {
  for (const auto& [table, prototypes] : b.prototypes) {
    for (const auto& p : *prototypes) {
      const auto where = b.where + ", prototype \"" + p.reuseIdentifier + "\"";
      table->registerPrototype(p.reuseIdentifier, [storyboard, where, prototype = &p, controller = b.sceneController] {
        return buildCell(storyboard, where, *prototype, controller);
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

UIStoryboard::UIStoryboard(std::string name, std::shared_ptr<Bundle> bundle,
                           std::shared_ptr<const detail::StoryboardDocument> document)
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
  auto document = detail::loadResource(file, where + " (" + file.string() + ")", detail::checkStoryboard);
  if (!document) fatalError(where + " is not in the bundle at " + b->resourcePath()->string());
  return std::make_shared<UIStoryboard>(name, b, std::move(*document));
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateInitialViewController() {
  requireMainThread("UIStoryboard::instantiateInitialViewController");
  if (!document_->initialScene) return nullptr;
  return instantiateScene(*document_->initialScene, 0);
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateViewControllerWithIdentifier(const std::string& identifier) {
  requireMainThread("UIStoryboard::instantiateViewControllerWithIdentifier");
  if (const auto* scene = document_->sceneWithIdentifier(identifier)) return instantiateScene(scene->id, 0);
  fatalError("the storyboard \"" + name_ + "\" has no scene with identifier \"" + identifier + "\"");
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateScene(const std::string& sceneId, int depth) {
  const auto* scene = document_->scene(sceneId);
  if (!scene) fatalError("the storyboard \"" + name_ + "\" has no scene \"" + sceneId + "\"");
  if (depth > 16) fatalError("the storyboard \"" + name_ + "\": the scenes' children refer to each other in a loop");

  Build b;
  b.where = "the storyboard \"" + name_ + "\", scene \"" + sceneId + "\"";
  b.bundle = bundle_;
  const auto& cls = scene->cls;
  auto factory = controllerClass(cls);
  if (!factory) b.fail("unknown view controller class " + cls);
  auto controller = factory();
  if (!controller) b.fail("the class " + cls + " made no view controller");
  controller->setStoryboard(shared_from_this());
  b.sceneController = controller;
  b.add("controller", {nullptr, controller, nullptr});

  for (const auto& [key, v] : scene->properties) {
    if (key == "title") controller->setTitle(as<Text>(v));
    else if (key == "modalPresentationStyle") controller->setModalPresentationStyle(as<UIModalPresentationStyle>(v));
    else controller->setModalTransitionStyle(as<UIModalTransitionStyle>(v));
  }
  if (scene->view) controller->setView(buildView(b, *scene->view));
  if (scene->viewControllers) {
    auto nav = std::dynamic_pointer_cast<UINavigationController>(controller);
    if (!nav) b.fail(cls + " is not a navigation controller and has no viewControllers");
    std::vector<std::shared_ptr<UIViewController>> made;
    for (const auto& child : *scene->viewControllers) made.push_back(instantiateScene(child, depth + 1));
    nav->setViewControllers(std::move(made));
  }
  readConnections(b, {nullptr, controller, nullptr}, cls, scene->outlets);
  registerPrototypes(b, shared_from_this());
  connectAll(b);
  controller->awakeFromNib();
  return controller;
}

}  // namespace platform
