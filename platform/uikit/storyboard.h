#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/uikit/control.h"
#include "platform/uikit/layout.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"

namespace platform {

class Bundle;
namespace detail {
struct StoryboardDocument;
}

// What a storyboard hands an object being connected: the objects its outlets name and the actions
// its controls send it. An object offers its outlets and actions by name in connectOutlets:
//
//   void connectOutlets(OutletConnector& c) override {
//     c.outlet("titleLabel", titleLabel_);          // std::weak_ptr<UILabel>
//     c.action("goTapped", this, &Screen::goTapped); // void goTapped(UIControl&) or void goTapped()
//   }
//
// An outlet or action the storyboard names that the object does not offer, or an outlet whose
// object is of another class, is a programming error naming it. Outlets the storyboard leaves
// out stay empty.
class OutletConnector {
 public:
  struct Object {
    std::shared_ptr<UIView> view;
    std::shared_ptr<UIViewController> controller;
    std::shared_ptr<NSLayoutConstraint> constraint;
    std::string describe() const;
  };

  template <class T>
  void outlet(const std::string& name, std::weak_ptr<T>& slot) {
    auto it = outlets_.find(name);
    if (it == outlets_.end()) return;
    auto object = as<T>(it->second);
    if (!object) wrongClass(name, it->second);
    slot = object;
    bound_.insert(name);
  }

  template <class T>
  void action(const std::string& name, T* self, void (T::*method)(UIControl&)) {
    if (!wanted_.count(name)) return;
    actions_[name] = [self, method](UIControl& sender) { (self->*method)(sender); };
  }
  template <class T>
  void action(const std::string& name, T* self, void (T::*method)()) {
    if (!wanted_.count(name)) return;
    actions_[name] = [self, method](UIControl&) { (self->*method)(); };
  }

  OutletConnector(std::string where, std::map<std::string, Object> outlets, std::set<std::string> wantedActions);
  // After connectOutlets: every outlet and action named must have been taken.
  void finish() const;
  const UIControl::Action& actionNamed(const std::string& name) const { return actions_.at(name); }

 private:
  template <class T>
  static std::shared_ptr<T> as(const Object& o) {
    if (o.view)
      if (auto p = std::dynamic_pointer_cast<T>(o.view)) return p;
    if (o.controller)
      if (auto p = std::dynamic_pointer_cast<T>(o.controller)) return p;
    if (o.constraint)
      if (auto p = std::dynamic_pointer_cast<T>(o.constraint)) return p;
    return nullptr;
  }
  [[noreturn]] void wrongClass(const std::string& name, const Object& object) const;

  std::string where_;
  std::map<std::string, Object> outlets_;
  std::set<std::string> wanted_;
  std::set<std::string> bound_;
  std::map<std::string, UIControl::Action> actions_;
};

// A storyboard: one resource file "<name>.storyboard" (JSON, see resources/README.md) in a bundle's
// resource directory, naming scenes of registered controller and view classes. Each
// instantiation builds a fresh controller with its view tree, connects outlets and actions by
// name and calls awakeFromNib. Main thread only.
class UIStoryboard : public std::enable_shared_from_this<UIStoryboard> {
 public:
  using ControllerFactory = std::function<std::shared_ptr<UIViewController>()>;
  using ViewFactory = std::function<std::shared_ptr<UIView>()>;

  // A missing storyboard is a programming error. No bundle: the main bundle.
  static std::shared_ptr<UIStoryboard> storyboardWithName(const std::string& name,
                                                          const std::shared_ptr<Bundle>& bundle = nullptr);

  // None when the storyboard names no initial scene.
  std::shared_ptr<UIViewController> instantiateInitialViewController();
  // A missing identifier is a programming error.
  std::shared_ptr<UIViewController> instantiateViewControllerWithIdentifier(const std::string& identifier);

  const std::string& name() const { return name_; }
  const std::shared_ptr<Bundle>& bundle() const { return bundle_; }

  // Classes by the names storyboards use; the platform's own are known from the start.
  static void registerViewControllerClass(const std::string& name, ControllerFactory factory);
  static void registerViewClass(const std::string& name, ViewFactory factory);
  template <class T>
  static void registerViewControllerClass(const std::string& name) {
    registerViewControllerClass(name, [] { return std::make_shared<T>(); });
  }
  template <class T>
  static void registerViewClass(const std::string& name) {
    registerViewClass(name, [] { return std::make_shared<T>(); });
  }

  UIStoryboard(std::string name, std::shared_ptr<Bundle> bundle, std::shared_ptr<const detail::StoryboardDocument> document);

 private:
  std::shared_ptr<UIViewController> instantiateScene(const std::string& sceneId, int depth);

  std::string name_;
  std::shared_ptr<Bundle> bundle_;
  std::shared_ptr<const detail::StoryboardDocument> document_;
};

}  // namespace platform
