#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/testing/sandbox.h"
#include "platform/uikit/text_measure.h"
#include "shared_library/apps/star_rating_settings.h"

namespace {

using platform::CALayer;
using platform::CAShapeLayer;

enum class Kind { filled, empty, partial, image };

// Which star a layer draws: a partial parent holds two stars; a whole star holds its shape (whose
// fill tells filled from empty) or an image.
Kind kindOf(const std::shared_ptr<CALayer>& layer) {
  if (layer->sublayers.size() == 2) return Kind::partial;
  const auto& inner = layer->sublayers.at(0);
  if (inner->contents) return Kind::image;
  const auto shape = std::dynamic_pointer_cast<CAShapeLayer>(inner);
  return shape->fillColor == StarRatingSettings::defaultStarColor() ? Kind::filled : Kind::empty;
}

std::vector<Kind> kinds(const LayerList& layers) {
  std::vector<Kind> out;
  for (const auto& l : layers) out.push_back(kindOf(l));
  return out;
}

class StarDrawingTest : public ::testing::Test {
 protected:
  platform::testing::Sandbox sandbox;
};

TEST_F(StarDrawingTest, DefaultsAreSharedAndBorderWidthFollowsTheScreenScale) {
  const StarRatingSettings s;
  EXPECT_DOUBLE_EQ(s.emptyBorderWidth, 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(s.filledBorderWidth, 1.0 / 3.0);
  EXPECT_EQ(s.filledColor, platform::UIColor(1, 149.0 / 255.0, 0, 1));
  EXPECT_EQ(s.emptyBorderColor, s.filledColor);
  EXPECT_EQ(s.emptyColor, platform::UIColor::clearColor());
  EXPECT_EQ(s.textColor, platform::UIColor(127.0 / 255.0, 127.0 / 255.0, 127.0 / 255.0, 1));
  EXPECT_EQ(s.fillMode, StarFillMode::full);
  EXPECT_EQ(s.totalStars, 5);
  EXPECT_EQ(s.starPoints.size(), 10u);
  EXPECT_EQ(s.textFont.pointSize, 13);
  EXPECT_TRUE(s.passTouchesToSuperview);
  EXPECT_TRUE(s.updateOnTouch);
  EXPECT_FALSE(s.disablePanGestures);
  // Frozen at first use: a later scale change does not move it.
  sandbox.device().updateProfile([](platform::DeviceProfile& p) { p.screenScale = 2; });
  EXPECT_DOUBLE_EQ(StarRatingSettings().emptyBorderWidth, 1.0 / 3.0);
}

TEST_F(StarDrawingTest, FillModeFromRawValue) {
  EXPECT_EQ(starFillModeFromRawValue(0), StarFillMode::full);
  EXPECT_EQ(starFillModeFromRawValue(2), StarFillMode::precise);
  EXPECT_EQ(starFillModeFromRawValue(3), std::nullopt);
  EXPECT_EQ(starFillModeFromRawValue(-1), std::nullopt);
}

TEST_F(StarDrawingTest, FillLevelByMode) {
  struct Case {
    double remaining;
    StarFillMode mode;
    double level;
  };
  const std::vector<Case> cases = {
      {0.5, StarFillMode::full, 1},     {0.49, StarFillMode::full, 0},   {1.7, StarFillMode::full, 1},
      {-0.3, StarFillMode::full, 0},    {0.25, StarFillMode::half, 0.5}, {0.75, StarFillMode::half, 1},
      {0.2, StarFillMode::half, 0},     {0.6, StarFillMode::half, 0.5},  {0.37, StarFillMode::precise, 0.37},
      {std::nan(""), StarFillMode::precise, 0},
  };
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(StarRatingLayers::fillLevel(c.remaining, c.mode), c.level) << c.remaining;
}

TEST_F(StarDrawingTest, StarLayersByRatingAndMode) {
  using K = Kind;
  struct Case {
    double rating;
    StarFillMode mode;
    std::vector<Kind> expected;
  };
  const std::vector<Case> cases = {
      {0, StarFillMode::full, {K::empty, K::empty, K::empty, K::empty, K::empty}},
      {2.718281828, StarFillMode::full, {K::filled, K::filled, K::filled, K::empty, K::empty}},
      {2.5, StarFillMode::full, {K::filled, K::filled, K::filled, K::empty, K::empty}},
      {2.5, StarFillMode::half, {K::filled, K::filled, K::partial, K::empty, K::empty}},
      {2.2, StarFillMode::half, {K::filled, K::filled, K::empty, K::empty, K::empty}},
      {3.7, StarFillMode::precise, {K::filled, K::filled, K::filled, K::partial, K::empty}},
      {5, StarFillMode::full, {K::filled, K::filled, K::filled, K::filled, K::filled}},
      {9, StarFillMode::full, {K::filled, K::filled, K::filled, K::filled, K::filled}},
      {-2, StarFillMode::precise, {K::empty, K::empty, K::empty, K::empty, K::empty}},
      {std::nan(""), StarFillMode::precise, {K::empty, K::empty, K::empty, K::empty, K::empty}},
  };
  for (const auto& c : cases) {
    StarRatingSettings s;
    s.fillMode = c.mode;
    const auto layers = StarRatingLayers::makeStarLayers(c.rating, s, false);
    EXPECT_EQ(kinds(layers), c.expected) << c.rating;
    for (size_t i = 0; i < layers.size(); ++i) {
      EXPECT_EQ(layers[i]->position.x, 25.0 * static_cast<double>(i));
      EXPECT_EQ(layers[i]->position.y, 0);
    }
  }
}

TEST_F(StarDrawingTest, PartialStarWidthsLeftToRight) {
  StarRatingSettings s;
  s.fillMode = StarFillMode::precise;
  const auto layers = StarRatingLayers::makeStarLayers(3.7, s, false);
  const auto& partial = layers.at(3);
  ASSERT_EQ(partial->sublayers.size(), 2u);
  const auto& empty = partial->sublayers[0];
  const auto& filled = partial->sublayers[1];
  EXPECT_EQ(kindOf(empty), Kind::empty);
  EXPECT_EQ(kindOf(filled), Kind::filled);
  EXPECT_NEAR(filled->bounds.size.width, 20 * 0.7, 1e-9);
  EXPECT_EQ(filled->transform, platform::CATransform3DIdentity);
  const auto frame = filled->frameInSuperlayer();
  EXPECT_NEAR(frame.origin.x, 0, 1e-9);
  EXPECT_NEAR(frame.size.width, 14, 1e-9);
  EXPECT_EQ(partial->anchorPoint, (platform::CGPoint{0, 0}));
  EXPECT_EQ(partial->bounds, platform::CGRectMake(0, 0, 20, 20));
}

TEST_F(StarDrawingTest, RightToLeftReversesAndMirrorsThePartialStar) {
  StarRatingSettings s;
  s.fillMode = StarFillMode::half;
  const auto layers = StarRatingLayers::makeStarLayers(1.5, s, true);
  EXPECT_EQ(kinds(layers), (std::vector<Kind>{Kind::empty, Kind::empty, Kind::empty, Kind::partial, Kind::filled}));
  EXPECT_EQ(layers[3]->position.x, 75);
  EXPECT_EQ(layers[4]->position.x, 100);
  const auto& filled = layers[3]->sublayers.at(1);
  const auto& t = filled->transform;
  EXPECT_NEAR(t.m11, -1, 1e-12);
  EXPECT_NEAR(t.m33, -1, 1e-12);
  EXPECT_NEAR(t.m41, 20, 1e-12);
  EXPECT_NEAR(t.m22, 1, 1e-12);
  // Mirrored: the half that shows is the right-hand one.
  const auto frame = filled->frameInSuperlayer();
  EXPECT_NEAR(frame.origin.x, 10, 1e-9);
  EXPECT_NEAR(frame.size.width, 10, 1e-9);
}

TEST_F(StarDrawingTest, RatingsInBothDirections) {
  for (const double rating : {0.0, 2.5, 3.7, 5.0}) {
    StarRatingSettings s;
    s.fillMode = StarFillMode::precise;
    auto ltr = kinds(StarRatingLayers::makeStarLayers(rating, s, false));
    const auto rtl = kinds(StarRatingLayers::makeStarLayers(rating, s, true));
    std::reverse(ltr.begin(), ltr.end());
    EXPECT_EQ(rtl, ltr) << rating;
  }
}

TEST_F(StarDrawingTest, ContainerAndShapeLayers) {
  const StarRatingSettings s;
  const auto star = StarRatingLayers::makeStarLayer(true, s);
  EXPECT_EQ(star->bounds, platform::CGRectMake(0, 0, 20, 20));
  EXPECT_EQ(star->anchorPoint, (platform::CGPoint{0, 0}));
  EXPECT_TRUE(star->masksToBounds);
  EXPECT_TRUE(star->opaque);
  EXPECT_EQ(star->contentsScale, 3);
  const auto shape = std::dynamic_pointer_cast<CAShapeLayer>(star->sublayers.at(0));
  ASSERT_TRUE(shape);
  EXPECT_DOUBLE_EQ(shape->lineWidth, 1.0 / 3.0);
  EXPECT_EQ(shape->strokeColor, StarRatingSettings::defaultStarColor());
  EXPECT_TRUE(shape->masksToBounds);
  EXPECT_EQ(shape->bounds.size, platform::CGSizeMake(20, 20));
}

TEST_F(StarDrawingTest, StarPathAtScaleThree) {
  const StarRatingSettings s;
  const auto path = StarRatingLayers::makeStarPath(s.starPoints, 20, 1.0 / 3.0);
  ASSERT_EQ(path.elements.size(), 11u);
  const double m = 1 + 1.0 / 3.0, f = (20 - 2 * m) / 100;
  EXPECT_EQ(path.elements[0].kind, platform::UIBezierPath::Element::Kind::move);
  EXPECT_NEAR(path.elements[0].point().x, 49.5 * f + m, 1e-12);
  EXPECT_NEAR(path.elements[0].point().y, m, 1e-12);
  EXPECT_NEAR(path.elements[2].point().x, 18.493333333333333, 1e-9);
  EXPECT_NEAR(path.elements[8].point().x, 1.3333333333333333, 1e-12);
  for (size_t i = 1; i < 10; ++i) EXPECT_EQ(path.elements[i].kind, platform::UIBezierPath::Element::Kind::line);
  EXPECT_EQ(path.elements[10].kind, platform::UIBezierPath::Element::Kind::close);
  EXPECT_TRUE(StarRatingLayers::makeStarPath({}, 20, 1).elements.empty());
}

TEST_F(StarDrawingTest, ImagesReplaceThePolygonWhereSet) {
  StarRatingSettings s;
  s.filledImage = std::make_shared<platform::UIImage>();
  const auto layers = StarRatingLayers::makeStarLayers(2, s, false);
  EXPECT_EQ(kinds(layers), (std::vector<Kind>{Kind::image, Kind::image, Kind::empty, Kind::empty, Kind::empty}));
  EXPECT_EQ(layers[0]->sublayers[0]->contentsGravity, "resizeAspect");
  EXPECT_EQ(layers[0]->sublayers[0]->bounds.size, platform::CGSizeMake(20, 20));
}

TEST_F(StarDrawingTest, NoStarsOrNegativeCountGiveNothing) {
  for (const std::int64_t total : {0, -3}) {
    StarRatingSettings s;
    s.totalStars = total;
    const auto layers = StarRatingLayers::makeStarLayers(3, s, false);
    EXPECT_TRUE(layers.empty());
    EXPECT_EQ(StarRatingSize::fittingSize(layers), platform::CGSizeMake(0, 0));
  }
}

TEST_F(StarDrawingTest, TextLayerAndItsPlace) {
  const StarRatingSettings s;
  const auto text = StarRatingText::makeLayer("4.5", s.textFont, s.textColor);
  const auto measured = platform::sizeWithFont("4.5", s.textFont);
  EXPECT_EQ(measured, platform::CGSizeMake(3 * 0.5 * 13, 1.2 * 13));
  EXPECT_EQ(text->bounds.size, measured);
  EXPECT_EQ(text->string, "4.5");
  EXPECT_EQ(text->fontName, s.textFont.fontName);
  EXPECT_EQ(text->fontSize, 13);
  EXPECT_EQ(text->foregroundColor, s.textColor);

  auto stars = StarRatingLayers::makeStarLayers(3, s, false);
  auto placed = StarRatingText::placeTextLayer(text, stars, s.textMargin, false);
  ASSERT_EQ(placed.size(), 6u);
  EXPECT_EQ(placed.back(), text);
  EXPECT_EQ(text->position.x, 125);
  EXPECT_NEAR(text->position.y, (20 - 15.6) * 0.5, 1e-12);
  EXPECT_EQ(StarRatingSize::fittingSize(placed), platform::CGSizeMake(125 + 19.5, 20));

  const auto rtlText = StarRatingText::makeLayer("4.5", s.textFont, s.textColor);
  auto rtlStars = StarRatingLayers::makeStarLayers(3, s, true);
  auto rtl = StarRatingText::placeTextLayer(rtlText, rtlStars, s.textMargin, true);
  EXPECT_EQ(rtl.front(), rtlText);
  EXPECT_EQ(rtlText->position.x, 0);
  EXPECT_EQ(rtl[1]->position.x, 19.5 + 5);

  // A text taller than the stars stands above them.
  const auto tall = StarRatingText::makeLayer("x", s.textFont.fontWithSize(40), s.textColor);
  StarRatingText::placeTextLayer(tall, StarRatingLayers::makeStarLayers(3, s, false), 5, false);
  EXPECT_LT(tall->position.y, 0);
}

TEST_F(StarDrawingTest, FittingSizeOfDefaults) {
  const StarRatingSettings s;
  EXPECT_EQ(StarRatingSize::fittingSize(StarRatingLayers::makeStarLayers(2.7, s, false)), platform::CGSizeMake(120, 20));
  EXPECT_EQ(StarRatingSize::fittingSize({}), platform::CGSizeMake(0, 0));
}

}  // namespace
