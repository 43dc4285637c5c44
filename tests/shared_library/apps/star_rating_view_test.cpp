#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/testing/sandbox.h"
#include "shared_library/apps/star_rating_view.h"

namespace {

using platform::UITouch;

class StarViewTest : public ::testing::Test {
 protected:
  std::shared_ptr<StarRatingView> makeView() { return std::make_shared<StarRatingView>(platform::CGRectMake(10, 10, 0, 0)); }
  void touch(StarRatingView& view, platform::UITouchPhase phase, double x) {
    const platform::UITouchSet touches{std::make_shared<UITouch>(platform::CGPoint{x, 10})};
    const platform::UIEvent event;
    switch (phase) {
      case platform::UITouchPhase::began: view.touchesBegan(touches, event); break;
      case platform::UITouchPhase::moved: view.touchesMoved(touches, event); break;
      case platform::UITouchPhase::ended: view.touchesEnded(touches, event); break;
      case platform::UITouchPhase::cancelled: view.touchesCancelled(touches, event); break;
    }
  }
  static std::vector<std::string> filledKinds(const StarRatingView& view) {
    std::vector<std::string> out;
    for (const auto& l : view.layer().sublayers) {
      if (l->sublayers.size() == 2) { out.push_back("partial"); continue; }
      const auto shape = std::dynamic_pointer_cast<platform::CAShapeLayer>(l->sublayers.at(0));
      out.push_back(shape && shape->fillColor == StarRatingSettings::defaultStarColor() ? "filled" : "empty");
    }
    return out;
  }

  platform::testing::Sandbox sandbox;
};

TEST_F(StarViewTest, NewViewShowsThreeOfFiveAndMeasuresItself) {
  const auto view = makeView();
  EXPECT_DOUBLE_EQ(view->rating(), 2.718281828);
  EXPECT_EQ(filledKinds(*view), (std::vector<std::string>{"filled", "filled", "filled", "empty", "empty"}));
  EXPECT_EQ(view->viewSize(), platform::CGSizeMake(120, 20));
  EXPECT_EQ(view->intrinsicContentSize(), platform::CGSizeMake(120, 20));
  EXPECT_EQ(view->frame(), platform::CGRectMake(10, 10, 120, 20));
  EXPECT_TRUE(view->layer().shouldRasterize);
  EXPECT_EQ(view->layer().rasterizationScale, 3);
  EXPECT_TRUE(view->isOpaque());
}

TEST_F(StarViewTest, StoryboardViewWaitsForAwakeFromNib) {
  const auto view = std::make_shared<StarRatingView>();
  EXPECT_TRUE(view->layer().sublayers.empty());
  view->awakeFromNib();
  EXPECT_EQ(view->layer().sublayers.size(), 5u);
}

TEST_F(StarViewTest, RebuildsOnlyOnChange) {
  const auto view = makeView();
  const int start = view->intrinsicContentSizeInvalidations();
  view->setRating(view->rating());
  view->setText(std::nullopt);
  EXPECT_EQ(view->intrinsicContentSizeInvalidations(), start);
  view->setRating(4);
  view->setText("x");
  view->setText("x");
  EXPECT_EQ(view->intrinsicContentSizeInvalidations(), start + 2);
  view->setSettings(view->settings());
  view->setRating(std::nan(""));
  view->setRating(std::nan(""));
  EXPECT_EQ(view->intrinsicContentSizeInvalidations(), start + 5);
  view->modifySettings([](StarRatingSettings& s) { s.starMargin = 1; });
  EXPECT_EQ(view->intrinsicContentSizeInvalidations(), start + 6);
  EXPECT_EQ(view->accessibilityValue(), "0");  // a rating that is not a number reads 0
}

TEST_F(StarViewTest, MirrorsFeedTheSettingsOneWay) {
  const auto view = makeView();
  view->setFillMode(7);
  EXPECT_EQ(view->fillMode(), 7);
  EXPECT_EQ(view->settings().fillMode, StarFillMode::full);
  view->setFillMode(2);
  EXPECT_EQ(view->settings().fillMode, StarFillMode::precise);
  EXPECT_EQ(filledKinds(*view), (std::vector<std::string>{"filled", "filled", "partial", "empty", "empty"}));
  view->setFillMode(-1);
  EXPECT_EQ(view->settings().fillMode, StarFillMode::full);
  view->setTextSize(20);
  EXPECT_EQ(view->settings().textFont, view->settings().textFont.fontWithSize(20));
  EXPECT_EQ(view->settings().textFont.pointSize, 20);
  view->setTotalStars(3);
  view->setStarSize(10);
  EXPECT_EQ(view->viewSize(), platform::CGSizeMake(40, 10));
  StarRatingSettings other;
  view->setSettings(other);
  EXPECT_EQ(view->totalStars(), 3);  // the mirror keeps its own value
  EXPECT_EQ(view->settings().totalStars, 5);
}

TEST_F(StarViewTest, TouchRuleExamples) {
  struct Case {
    double x;
    StarFillMode mode;
    double rating;
  };
  const std::vector<Case> cases = {
      {0, StarFillMode::full, 1},     {22, StarFillMode::full, 1},     {30, StarFillMode::full, 2},
      {30, StarFillMode::half, 1.5},  {30, StarFillMode::precise, 1.25}, {130, StarFillMode::full, 5},
      {1e300, StarFillMode::precise, 5}, {-4, StarFillMode::half, 1},  {22, StarFillMode::precise, 1},
  };
  for (const auto& c : cases) {
    StarRatingSettings s;
    s.fillMode = c.mode;
    EXPECT_DOUBLE_EQ(StarRatingView::touchRating(c.x, s), c.rating) << c.x;
  }
  StarRatingSettings zero;
  zero.starSize = 0;
  zero.starMargin = 0;
  EXPECT_EQ(StarRatingView::touchRating(3, zero), 5);
  StarRatingSettings high;
  high.minTouchRating = 7;
  EXPECT_EQ(StarRatingView::touchRating(10, high), 7);
}

TEST_F(StarViewTest, DraggingReportsEachRatingOnceThenTheFinish) {
  const auto view = makeView();
  std::vector<double> touched, finished;
  view->didTouchStarRating = [&](double r) { touched.push_back(r); };
  view->didFinishTouchingStarRating = [&](double r) { finished.push_back(r); };
  touch(*view, platform::UITouchPhase::began, 0);
  for (double x = 1; x <= 130; x += 1) touch(*view, platform::UITouchPhase::moved, x);
  touch(*view, platform::UITouchPhase::ended, 130);
  EXPECT_EQ(touched, (std::vector<double>{1, 2, 3, 4, 5}));
  EXPECT_EQ(finished, (std::vector<double>{5}));
  EXPECT_EQ(view->rating(), 5);
  using P = platform::UITouchPhase;
  EXPECT_EQ(view->forwardedTouchPhases().front(), P::began);
  EXPECT_EQ(view->forwardedTouchPhases().back(), P::ended);
  // The marker stays: a new touch on the last rating reports nothing.
  touch(*view, P::began, 130);
  EXPECT_EQ(touched.size(), 5u);
}

TEST_F(StarViewTest, WithoutUpdateOnTouchNothingChangesOnScreen) {
  const auto view = makeView();
  view->setUpdateOnTouch(false);
  std::vector<double> touched, finished;
  view->didTouchStarRating = [&](double r) { touched.push_back(r); };
  view->didFinishTouchingStarRating = [&](double r) { finished.push_back(r); };
  touch(*view, platform::UITouchPhase::began, 80);
  touch(*view, platform::UITouchPhase::cancelled, 80);
  EXPECT_EQ(touched, (std::vector<double>{4}));
  EXPECT_EQ(finished, (std::vector<double>{2.718281828}));
  EXPECT_EQ(view->accessibilityTraits(), platform::UIAccessibilityTraitNone);
}

TEST_F(StarViewTest, TouchesNotPassedOnWhenTheSettingIsOff) {
  const auto view = makeView();
  view->modifySettings([](StarRatingSettings& s) { s.passTouchesToSuperview = false; });
  touch(*view, platform::UITouchPhase::began, 30);
  touch(*view, platform::UITouchPhase::ended, 30);
  EXPECT_TRUE(view->forwardedTouchPhases().empty());
  EXPECT_EQ(view->rating(), 2);
  const platform::UITouchSet none;
  view->touchesBegan(none, {});
  EXPECT_EQ(view->rating(), 2);
}

TEST_F(StarViewTest, RightToLeftMeasuresFromTheRightEdge) {
  const auto view = makeView();
  view->setSemanticContentAttribute(platform::UISemanticContentAttribute::forceRightToLeft);
  view->refresh();
  touch(*view, platform::UITouchPhase::began, 120 - 30);
  EXPECT_EQ(view->rating(), 2);
}

TEST_F(StarViewTest, GestureFilterAndHitArea) {
  const auto view = makeView();
  const platform::UIPanGestureRecognizer pan;
  const platform::UIScreenEdgePanGestureRecognizer edge;
  const platform::UITapGestureRecognizer tap;
  EXPECT_TRUE(view->gestureRecognizerShouldBegin(pan));
  view->modifySettings([](StarRatingSettings& s) { s.disablePanGestures = true; });
  EXPECT_FALSE(view->gestureRecognizerShouldBegin(pan));
  EXPECT_FALSE(view->gestureRecognizerShouldBegin(edge));
  EXPECT_TRUE(view->gestureRecognizerShouldBegin(tap));

  struct Case {
    double x, y;
    bool inside;
  };
  for (const auto& c : std::vector<Case>{{0, -12, true}, {0, -12.01, false}, {119.9, 31.9, true},
                                         {60, 32, false}, {-0.1, 10, false}, {120, 10, false}})
    EXPECT_EQ(view->pointInside({c.x, c.y}, nullptr), c.inside) << c.x << "," << c.y;
}

TEST_F(StarViewTest, AccessibilityValueText) {
  struct Case {
    double rating;
    StarFillMode mode;
    std::string text;
  };
  for (const auto& c : std::vector<Case>{{2.718281828, StarFillMode::full, "3"},
                                         {2.718281828, StarFillMode::half, "2.5"},
                                         {2.718281828, StarFillMode::precise, "2.7"},
                                         {4, StarFillMode::precise, "4"},
                                         {2.96, StarFillMode::precise, "3.0"},
                                         {8, StarFillMode::precise, "5"},
                                         {-1, StarFillMode::precise, "0"}}) {
    StarRatingSettings s;
    s.fillMode = c.mode;
    EXPECT_EQ(StarRatingView::accessibilityValueText(c.rating, s), c.text) << c.rating;
  }
}

TEST_F(StarViewTest, AccessibilitySteps) {
  struct Case {
    double rating;
    StarFillMode mode;
    double minimum;
    double up, down;
  };
  for (const auto& c : std::vector<Case>{{3.2, StarFillMode::half, 1, 3.5, 3.0},
                                         {3, StarFillMode::full, 1, 4, 2},
                                         {5, StarFillMode::full, 1, 5, 4},
                                         {1, StarFillMode::full, 1, 2, 1},
                                         {1.5, StarFillMode::full, 1.2, 2, 1.0},
                                         // A step that rounds to 0 is taken as it is.
                                         {2.98, StarFillMode::precise, 1, 3.0, 2.48}}) {
    StarRatingSettings s;
    s.fillMode = c.mode;
    s.minTouchRating = c.minimum;
    EXPECT_NEAR(StarRatingView::incrementedRating(c.rating, s), c.up, 1e-12) << c.rating;
    EXPECT_NEAR(StarRatingView::decrementedRating(c.rating, s), c.down, 1e-12) << c.rating;
  }
}

TEST_F(StarViewTest, IncrementAtTheTopStillCallsBack) {
  const auto view = makeView();
  view->setRating(5);
  std::vector<std::string> calls;
  view->didTouchStarRating = [&](double r) { calls.push_back("touch " + std::to_string(r)); };
  view->didFinishTouchingStarRating = [&](double r) { calls.push_back("finish " + std::to_string(r)); };
  view->accessibilityIncrement();
  EXPECT_EQ(view->rating(), 5);
  EXPECT_EQ(calls, (std::vector<std::string>{"touch 5.000000", "finish 5.000000"}));
  view->accessibilityDecrement();
  EXPECT_EQ(view->rating(), 4);
  EXPECT_EQ(view->accessibilityValue(), "4");
  EXPECT_EQ(view->previousRatingForDidTouchCallback, StarRatingView::kNoTouchReported);
}

TEST_F(StarViewTest, RatingWordByLanguage) {
  struct Case {
    std::vector<std::string> languages;
    std::string word;
  };
  for (const auto& c : std::vector<Case>{{{"pt-BR", "en"}, "Classificação"},
                                         {{"zh-Hans-CN"}, "评分"},
                                         {{"xx", "de_AT"}, "Bewertung"},
                                         {{"xx", "yy"}, "Rating"},
                                         {{}, "Rating"},
                                         {{"EN"}, "Rating"},
                                         {{"fr"}, "De note"}})
    EXPECT_EQ(StarRatingView::ratingWord(c.languages), c.word);
  EXPECT_EQ(StarRatingView::languageCodes({"pt-BR", "de_AT", "it"}), (std::vector<std::string>{"pt", "de", "it"}));
}

TEST_F(StarViewTest, AccessibilityLabelFromPreferredLanguagesAndText) {
  sandbox.device().updateProfile([](platform::DeviceProfile& p) { p.preferredLanguages = {"pt-BR", "en"}; });
  const auto view = makeView();
  EXPECT_TRUE(view->isAccessibilityElement());
  EXPECT_EQ(view->accessibilityTraits(), platform::UIAccessibilityTraitAdjustable);
  EXPECT_EQ(view->accessibilityLabel(), "Classificação");
  view->setText("(120)");
  EXPECT_EQ(view->accessibilityLabel(), "Classificação (120)");
  view->setText("");
  EXPECT_EQ(view->accessibilityLabel(), "Classificação");
}

TEST_F(StarViewTest, TraitChangeRebuildsOnlyForAnotherStyle) {
  const auto view = makeView();
  const int start = view->intrinsicContentSizeInvalidations();
  view->setTraitCollection({platform::UIUserInterfaceStyle::light});
  EXPECT_EQ(view->intrinsicContentSizeInvalidations(), start + 1);  // no previous traits
  view->traitCollectionDidChange(platform::UITraitCollection{platform::UIUserInterfaceStyle::light});
  EXPECT_EQ(view->intrinsicContentSizeInvalidations(), start + 1);
  view->setTraitCollection({platform::UIUserInterfaceStyle::dark});
  EXPECT_EQ(view->intrinsicContentSizeInvalidations(), start + 2);
}

}  // namespace
