#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/testing/sandbox.h"
#include "platform/testing/ui_testing.h"
#include "platform/uikit/application.h"
#include "platform/uikit/control.h"
#include "platform/uikit/layout.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"

namespace platform::uitest {

// What the fixture's screens went through, in order ("First viewDidLoad").
inline std::vector<std::string>& lifecycle() {
  static std::vector<std::string> log;
  return log;
}

// A screen that logs its lifecycle under a short name.
class LoggingScreen : public UIViewController {
 public:
  explicit LoggingScreen(std::string name = "Plain") : name_(std::move(name)) {}
  void viewDidLoad() override { lifecycle().push_back(name_ + " viewDidLoad"); }
  void viewWillAppear(bool animated) override {
    lifecycle().push_back(name_ + " viewWillAppear" + (animated ? " animated" : ""));
  }
  void viewWillDisappear(bool animated) override {
    lifecycle().push_back(name_ + " viewWillDisappear" + (animated ? " animated" : ""));
  }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

class FixtureBadge : public UILabel {
 public:
  void awakeFromNib() override { awoken = true; }
  bool awoken = false;
};

class FirstScreen : public LoggingScreen {
 public:
  FirstScreen() : LoggingScreen("First") {}
  void connectOutlets(OutletConnector& c) override {
    c.outlet("titleLabel", titleLabel);
    c.outlet("logo", logo);
    c.outlet("goButton", goButton);
    c.outlet("topConstraint", topConstraint);
    c.outlet("badge", badge);
    c.action("goTapped", this, &FirstScreen::goTapped);
  }
  void awakeFromNib() override { awokeWithLabel = !titleLabel.expired(); }
  void goTapped(UIControl&) { ++taps; }

  std::weak_ptr<UILabel> titleLabel;
  std::weak_ptr<UIImageView> logo;
  std::weak_ptr<UIButton> goButton;
  std::weak_ptr<NSLayoutConstraint> topConstraint;
  std::weak_ptr<FixtureBadge> badge;
  bool awokeWithLabel = false;
  int taps = 0;
};

class SecondScreen : public LoggingScreen {
 public:
  SecondScreen() : LoggingScreen("Second") {}
  void connectOutlets(OutletConnector& c) override {
    c.outlet("progressBar", progressBar);
    c.action("backTapped", this, &SecondScreen::backTapped);
  }
  void backTapped() { dismiss(true); }
  std::weak_ptr<UIProgressView> progressBar;
};

class FixtureCell : public UITableViewCell {
 public:
  void connectOutlets(OutletConnector& c) override { c.outlet("nameLabel", nameLabel); }
  void prepareForReuse() override { ++reuses; }
  std::weak_ptr<UILabel> nameLabel;
  int reuses = 0;
};

// A table of one section with `rows` names; remembers what it was asked.
class ListScreen : public UIViewController, public UITableViewDataSource, public UITableViewDelegate {
 public:
  void connectOutlets(OutletConnector& c) override { c.outlet("table", table); }
  int numberOfRowsInSection(UITableView&, int) override { return static_cast<int>(names.size()); }
  std::shared_ptr<UITableViewCell> cellForRowAtIndexPath(UITableView& t, NSIndexPath p) override {
    auto cell = std::dynamic_pointer_cast<FixtureCell>(t.dequeueReusableCellWithIdentifier("Row"));
    cell->nameLabel.lock()->setText(names[static_cast<size_t>(p.row)]);
    return cell;
  }
  std::optional<double> heightForRowAtIndexPath(UITableView&, NSIndexPath p) override { return 40.0 + p.row; }
  std::optional<double> heightForHeaderInSection(UITableView&, int) override { return 30; }
  std::shared_ptr<UIView> viewForFooterInSection(UITableView&, int) override { return std::make_shared<UIView>(); }
  void didSelectRowAtIndexPath(UITableView& t, NSIndexPath p) override {
    selected.push_back(p.row);
    t.deselectRowAtIndexPath(p, true);
  }

  std::weak_ptr<UITableView> table;
  std::vector<std::string> names{"Paris", "Tokyo", "Lima"};
  std::vector<int> selected;
};

inline void registerFixtureClasses() {
  UIStoryboard::registerViewControllerClass<FirstScreen>("FirstScreen");
  UIStoryboard::registerViewControllerClass<SecondScreen>("SecondScreen");
  UIStoryboard::registerViewControllerClass<ListScreen>("ListScreen");
  UIStoryboard::registerViewClass<FixtureBadge>("FixtureBadge");
  UIStoryboard::registerViewClass<FixtureCell>("FixtureCell");
}

inline testing::Sandbox::Options fixtureOptions() {
  testing::Sandbox::Options o;
  o.bundle.resourcePath = ORVANE_UIKIT_FIXTURES;
  return o;
}

// A process on a virtual clock whose main bundle holds the fixture storyboards and catalogues.
class UITest : public ::testing::Test {
 protected:
  UITest() : sandbox(fixtureOptions()) {
    registerFixtureClasses();
    lifecycle().clear();
  }

  std::shared_ptr<UIStoryboard> fixture() { return UIStoryboard::storyboardWithName("Fixture"); }
  template <class T>
  std::shared_ptr<T> scene(const std::string& identifier) {
    return std::dynamic_pointer_cast<T>(fixture()->instantiateViewControllerWithIdentifier(identifier));
  }
  // A key window showing `root`.
  std::shared_ptr<UIWindow> show(std::shared_ptr<UIViewController> root) {
    auto window = std::make_shared<UIWindow>(UIScreen::mainScreen().bounds());
    window->setRootViewController(std::move(root));
    window->makeKeyAndVisible();
    return window;
  }
  double now() { return toSeconds(sandbox.clock().now()); }
  // The one place these tests read the console.
  std::vector<std::string> consoleLines() { return sandbox.process().consoleLines(); }

  testing::Sandbox sandbox;
};

}  // namespace platform::uitest
