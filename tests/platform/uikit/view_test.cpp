#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "platform/uikit/screen_description.h"
#include "tests/platform/uikit/ui_fixture.h"

namespace platform::uitest {
namespace {

using ViewTest = UITest;

TEST_F(ViewTest, ViewOwnsItsSubviewsAndKnowsItsSuperviewWeakly) {
  auto parent = std::make_shared<UIView>(CGRectMake(10, 20, 100, 50));
  EXPECT_EQ(parent->bounds(), CGRectMake(0, 0, 100, 50));
  std::weak_ptr<UIView> child;
  {
    auto c = std::make_shared<UILabel>();
    child = c;
    parent->addSubview(c);
  }
  ASSERT_FALSE(child.expired());
  EXPECT_EQ(child.lock()->superview(), parent);
  auto other = std::make_shared<UIView>();
  other->addSubview(child.lock());  // moves
  EXPECT_TRUE(parent->subviews().empty());
  child.lock()->removeFromSuperview();
  EXPECT_TRUE(child.expired());
  parent->addSubview(parent);  // refused
  EXPECT_TRUE(parent->subviews().empty());
}

struct ProgressCase {
  float asked, shown;
};

TEST_F(ViewTest, ProgressIsClampedAndEveryChangeIsKept) {
  const ProgressCase cases[] = {{0.3f, 0.3f}, {-0.5f, 0}, {1.5f, 1}, {std::numeric_limits<float>::quiet_NaN(), 0}, {1, 1}};
  UIProgressView bar;
  std::vector<UIProgressView::Change> expected;
  bool animated = false;
  for (const auto& c : cases) {
    bar.setProgress(c.asked, animated);
    EXPECT_EQ(bar.progress(), c.shown);
    expected.push_back({c.shown, animated});
    animated = !animated;
  }
  EXPECT_EQ(bar.progressHistory(), expected);
}

TEST_F(ViewTest, ActivityIndicatorHidesWhenStopped) {
  UIActivityIndicatorView spinner;
  EXPECT_TRUE(spinner.isHidden());
  spinner.startAnimating();
  EXPECT_FALSE(spinner.isHidden());
  EXPECT_TRUE(spinner.isAnimating());
  spinner.stopAnimating();
  EXPECT_TRUE(spinner.isHidden());
  spinner.setHidesWhenStopped(false);
  spinner.setHidden(false);
  spinner.startAnimating();
  spinner.stopAnimating();
  EXPECT_FALSE(spinner.isHidden());
}

TEST_F(ViewTest, ControlSendsActionsByEventToTargetsThatLive) {
  auto button = std::make_shared<UIButton>();
  std::vector<std::string> sent;
  auto target = std::make_shared<int>(0);
  button->addTarget(target, [&](UIControl&) { sent.push_back("target"); }, UIControlEvents::touchUpInside);
  button->addAction([&](UIControl&) { sent.push_back("down"); }, UIControlEvents::touchDown);
  button->addAction([&](UIControl& sender) { sent.push_back(&sender == button.get() ? "self" : "?"); },
                    UIControlEvents::touchUpInside);
  button->tap();
  EXPECT_EQ(sent, (std::vector<std::string>{"down", "target", "self"}));
  sent.clear();
  target.reset();
  button->sendActionsForControlEvents(UIControlEvents::touchUpInside);
  EXPECT_EQ(sent, std::vector<std::string>{"self"});
  sent.clear();
  button->setEnabled(false);
  button->tap();
  EXPECT_TRUE(sent.empty());
}

TEST_F(ViewTest, ButtonStatesFallBackToNormal) {
  UIButton button;
  button.setTitle("Go");
  button.setTitleColor(UIColor::blueColor());
  EXPECT_EQ(button.titleForState(UIControlState::highlighted), "Go");
  button.setTitle(std::nullopt, UIControlState::highlighted);
  EXPECT_EQ(button.titleForState(UIControlState::highlighted), std::nullopt);
  EXPECT_EQ(button.titleColorForState(), UIColor::blueColor());
  EXPECT_FALSE(button.backgroundImageForState());
}

TEST_F(ViewTest, ConstantsTakeEffectAtLayoutIfNeededOrAtTheEndOfTheTurn) {
  auto root = std::make_shared<UIView>();
  auto inner = std::make_shared<UIView>();
  root->addSubview(inner);
  auto c = std::make_shared<NSLayoutConstraint>(52);
  inner->addConstraint(c);
  c->setConstant(-18);
  EXPECT_EQ(c->constant(), -18);
  EXPECT_EQ(c->appliedConstant(), 52);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(c->appliedConstant(), -18);

  c->setConstant(10);
  root->layoutIfNeeded();
  EXPECT_EQ(c->appliedConstant(), 10);
  EXPECT_EQ(root->layoutIfNeededCount(), 1);
  EXPECT_EQ(inner->layoutIfNeededCount(), 0);
}

TEST_F(ViewTest, AnimationsRunAtOnceAndCompleteInStartOrderOnTheClock) {
  auto view = std::make_shared<UIView>();
  std::vector<std::string> done;
  UIView::animate(0.3, [&] { view->setAlpha(0); }, [&](bool finished) { done.push_back("a@" + formatNumber(now()) + (finished ? "" : "!")); });
  EXPECT_EQ(view->alpha(), 0);
  UIView::animate(0.5, [] {}, [&](bool) { done.push_back("b@" + formatNumber(now())); });
  UIView::animate(0.3, [] {}, [&](bool) { done.push_back("c@" + formatNumber(now())); });
  UIView::animate(0.3, [] {});  // no completion
  sandbox.loop().runFor(0.29);
  EXPECT_TRUE(done.empty());
  sandbox.loop().runFor(1);
  EXPECT_EQ(done, (std::vector<std::string>{"a@0.3", "c@0.3", "b@0.5"}));
}

TEST_F(ViewTest, ImageNamesAreExactCatalogueKeys) {
  struct Case {
    std::string name;
    bool found;
  };
  const Case cases[] = {{"shield", true},     {"globe", true},      {"", false},         {"missing", false},
                        {"Shield", false},    {"shield.png", false}, {"../shield", false}, {"a/b", false},
                        {"a\\b", false},      {"..", false},         {std::string("shield\0x", 8), false},
                        {"/etc/passwd", false}};
  for (const auto& c : cases) {
    auto image = UIImage::imageNamed(c.name);
    EXPECT_EQ(static_cast<bool>(image), c.found) << c.name;
    EXPECT_EQ(image.requestedName(), c.name);
  }
  auto shield = UIImage::imageNamed("shield");
  EXPECT_EQ(shield->file(), std::filesystem::path(ORVANE_UIKIT_FIXTURES) / "shield.png");
  EXPECT_FALSE(UIImage::imageNamed("btn-on")->file());

  UIImageView view;
  view.setImage(UIImage::imageNamed("xx"));
  EXPECT_FALSE(view.image());
  EXPECT_EQ(view.image().requestedName(), "xx");
  view.setImage(nullptr);
  EXPECT_EQ(view.image().requestedName(), std::nullopt);
}

TEST_F(ViewTest, SystemSymbolsScaleWithThePointSizeAndTintAsACopy) {
  auto symbol = UIImage::systemImageNamed("app.fill", UIImageSymbolConfiguration{32, UIFontWeight::regular});
  ASSERT_TRUE(symbol);
  EXPECT_EQ(symbol->size(), CGSizeMake(32, 32));
  EXPECT_EQ(symbol->source(), UIImage::Source::symbol);
  auto tinted = symbol->imageWithTintColor(UIColor::whiteColor(), UIImageRenderingMode::alwaysOriginal);
  EXPECT_EQ(tinted->tintColor(), UIColor::whiteColor());
  EXPECT_EQ(symbol->tintColor(), std::nullopt);
  EXPECT_FALSE(UIImage::systemImageNamed("no.such.symbol"));
  EXPECT_TRUE(UIImage().isEmpty());
}

TEST_F(ViewTest, NamedColoursResolveForTheTraits) {
  const UITraitCollection light{UIUserInterfaceStyle::light}, dark{UIUserInterfaceStyle::dark};
  EXPECT_EQ(UIColor::colorNamed("TitleColor", nullptr, light), UIColor::blackColor());
  EXPECT_EQ(UIColor::colorNamed("TitleColor", nullptr, dark), UIColor::whiteColor());
  EXPECT_EQ(UIColor::colorNamed("TitleColor"), UIColor::blackColor());
  UITraitCollection::setCurrentTraitCollection(dark);
  EXPECT_EQ(UIColor::colorNamed("TitleColor"), UIColor::whiteColor());
  // a colour without a dark value keeps its light one
  EXPECT_EQ(UIColor::colorNamed("Accent", nullptr, dark), UIColor(254 / 255.0, 148 / 255.0, 35 / 255.0, 1));
  EXPECT_EQ(UIColor::colorNamed("Nope"), std::nullopt);
  EXPECT_EQ(UIColor::colorNamed("TitleColor", std::make_shared<Bundle>(Bundle::Config{})), std::nullopt);
  EXPECT_EQ(UIColor::lightGrayColor(), UIColor::colorWithWhite(2.0 / 3.0, 1));
  EXPECT_EQ(UIColor::orangeColor().description(), "rgba(255 128 0 1)");
}

TEST_F(ViewTest, TheDeviceAppearanceIsTheCurrentTraitUnlessSet) {
  sandbox.device().updateProfile([](DeviceProfile& p) { p.darkAppearance = true; });
  sandbox.relaunch();
  EXPECT_EQ(UITraitCollection::currentTraitCollection().userInterfaceStyle, UIUserInterfaceStyle::dark);
}

TEST_F(ViewTest, ScreenDescriptionShowsTheTopScreensVisibleViews) {
  EXPECT_EQ(describeScreen(), "no key window\n");
  auto first = scene<FirstScreen>("First");
  auto window = show(first);
  EXPECT_EQ(describeScreen(),
            "UIWindow\n"
            "  FirstScreen \"First\"\n"
            "    UIView#root\n"
            "      UILabel#title \"Hello\"\n"
            "      UIImageView#logo image \"shield\"\n"
            "      UIButton#go \"Go\"\n");
  first->badge.lock()->setHidden(false);
  first->logo.lock()->setImage(UIImage::imageNamed("flag-xx"));
  first->titleLabel.lock()->setAlpha(0);
  first->goButton.lock()->setAlpha(0.5);
  first->present(scene<SecondScreen>("Second"), false);
  EXPECT_EQ(describeScreen(),
            "UIWindow\n"
            "  SecondScreen\n"
            "    UIView\n"
            "      UIProgressView#bar progress 0.25\n"
            "      UIActivityIndicatorView#spinner animating\n"
            "      UIButton#back \"Back\"\n");
  first->dismiss(false);
  EXPECT_EQ(describeView(*first->view()),
            "UIView#root\n"
            "  UIImageView#logo image \"flag-xx\" (missing)\n"
            "  UIButton#go \"Go\" alpha 0.5\n"
            "  FixtureBadge#badge \"3\"\n");
}

struct OffMainCase {
  const char* name;
  std::function<void(UITest&)> call;
  const char* message;
};

class OffMainThread : public UITest, public ::testing::WithParamInterface<OffMainCase> {};

TEST_P(OffMainThread, IsAProgrammingError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto& c = GetParam();
  EXPECT_DEATH(
      {
        std::thread t([&] { c.call(*this); });
        t.join();
      },
      c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, OffMainThread,
    ::testing::Values(
        OffMainCase{"View", [](UITest&) { UILabel().setText("x"); }, "UILabel::setText called off the main thread"},
        OffMainCase{"Controller",
                    [](UITest&) { std::make_shared<UIViewController>()->present(std::make_shared<UIViewController>(), false); },
                    "UIViewController::present called off the main thread"},
        OffMainCase{"Window", [](UITest&) { std::make_shared<UIWindow>()->makeKeyAndVisible(); },
                    "UIWindow::makeKeyAndVisible called off the main thread"},
        OffMainCase{"Table", [](UITest&) { std::make_shared<UITableView>()->reloadData(); },
                    "UITableView::reloadData called off the main thread"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform::uitest

namespace platform::uitest {
namespace {

TEST_F(ViewTest, LayerMaskIsAShapeOfRectanglesAndOvals) {
  UIView view;
  auto path = UIBezierPath::bezierPathWithRect(CGRectMake(0, 422, 390, 422));
  path.appendPath(UIBezierPath::bezierPathWithOvalInRect(CGRectMake(-229, 0, 848, 844)));
  auto mask = std::make_shared<CAShapeLayer>();
  mask->frame = CGRectMake(0, 0, 390, 844);
  mask->path = path;
  view.layer().mask = mask;
  view.layer().cornerCurve = CALayerCornerCurve::continuous;
  auto shape = std::dynamic_pointer_cast<CAShapeLayer>(view.layer().mask);
  ASSERT_NE(shape, nullptr);
  ASSERT_EQ(shape->path->elements.size(), 2u);
  EXPECT_EQ(shape->path->elements[1].kind, UIBezierPath::Element::Kind::oval);
  EXPECT_EQ(shape->fillRule, "non-zero");
}

}  // namespace
}  // namespace platform::uitest
