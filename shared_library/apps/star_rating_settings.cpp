#include "shared_library/apps/star_rating_settings.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/foundation/process.h"
#include "platform/uikit/application.h"
#include "platform/uikit/text_measure.h"

using platform::CALayer;
using platform::CGPoint;
using platform::UIColor;

namespace {

struct SharedDefaults {
  StarRatingSettings value;
};

double screenScale() { return platform::UIScreen::mainScreen().scale(); }

}  // namespace

double roundHalfAway(double value) { return std::round(value); }

std::optional<StarFillMode> starFillModeFromRawValue(std::int64_t raw) {
  if (static_cast<std::uint64_t>(raw) >= 3) return std::nullopt;
  return static_cast<StarFillMode>(raw);
}

std::vector<CGPoint> StarRatingSettings::defaultStarPoints() {
  return {{49.5, 0},  {60.5, 35}, {99, 35},   {67.5, 58}, {78.5, 92},
          {49.5, 71}, {20.5, 92}, {31.5, 58}, {0, 35},    {38.5, 35}};
}

StarRatingSettings::StarRatingSettings(DefaultsTag)
    : emptyBorderColor(defaultStarColor()),
      emptyBorderWidth(1 / screenScale()),
      filledBorderColor(defaultStarColor()),
      filledBorderWidth(1 / screenScale()),
      emptyColor(UIColor::clearColor()),
      filledColor(defaultStarColor()),
      fillMode(StarFillMode::full),
      starMargin(5.0),
      starPoints(defaultStarPoints()),
      starSize(20.0),
      totalStars(5),
      textColor(defaultTextColor()),
      textFont(platform::UIFont::preferredFontForTextStyle(platform::UIFontTextStyle::footnote)),
      textMargin(5.0),
      minTouchRating(1.0),
      passTouchesToSuperview(true),
      updateOnTouch(true),
      disablePanGestures(false) {}

StarRatingSettings::StarRatingSettings() : StarRatingSettings(defaults()) {}

const StarRatingSettings& StarRatingSettings::defaults() {
  return platform::Process::current()
      .shared<SharedDefaults>([] { return std::make_shared<SharedDefaults>(SharedDefaults{StarRatingSettings(DefaultsTag{})}); })
      ->value;
}

double StarRatingLayers::fillLevel(double remaining, StarFillMode mode) {
  const double level = std::isnan(remaining) ? 0 : std::clamp(remaining, 0.0, 1.0);
  switch (mode) {
    case StarFillMode::full:
      return roundHalfAway(level);
    case StarFillMode::half:
      return roundHalfAway(level * 2) / 2;
    case StarFillMode::precise:
      break;
  }
  return level;
}

LayerList StarRatingLayers::makeStarLayers(double rating, const StarRatingSettings& settings, bool rightToLeft) {
  const std::int64_t total = std::max<std::int64_t>(settings.totalStars, 0);
  if (std::isnan(rating) || rating < 0) rating = 0;
  double left = static_cast<double>(total) < rating ? static_cast<double>(total) : rating;
  LayerList layers;
  for (std::int64_t i = 0; i < total; ++i) {
    const double level = fillLevel(left, settings.fillMode);
    if (level >= 1) layers.push_back(makeStarLayer(true, settings));
    else if (level == 0) layers.push_back(makeStarLayer(false, settings));
    else layers.push_back(makePartialStarLayer(level, settings, rightToLeft));
    left -= 1;
  }
  if (rightToLeft) std::reverse(layers.begin(), layers.end());
  arrangeStarLayers(layers, settings.starMargin);
  return layers;
}

std::shared_ptr<CALayer> StarRatingLayers::makeStarLayer(bool filled, const StarRatingSettings& s) {
  const auto& image = filled ? s.filledImage : s.emptyImage;
  const UIColor fill = filled ? s.filledColor : s.emptyColor;
  const UIColor border = filled ? s.filledBorderColor : s.emptyBorderColor;
  const double width = filled ? s.filledBorderWidth : s.emptyBorderWidth;
  auto container = StarRatingLayerHelper::makeContainerLayer(s.starSize);
  if (image) {
    auto picture = StarRatingLayerHelper::makeContainerLayer(s.starSize);
    picture->contents = image;
    picture->contentsGravity = "resizeAspect";
    container->addSublayer(std::move(picture));
  } else {
    container->addSublayer(
        makeShapeLayer(makeStarPath(s.starPoints, s.starSize, width), width, fill, border, s.starSize));
  }
  return container;
}

std::shared_ptr<CALayer> StarRatingLayers::makePartialStarLayer(double level, const StarRatingSettings& s,
                                                                bool rightToLeft) {
  auto filled = makeStarLayer(true, s);
  auto empty = makeStarLayer(false, s);
  auto parent = std::make_shared<CALayer>();
  parent->contentsScale = screenScale();
  parent->bounds = {{0, 0}, filled->bounds.size};
  parent->anchorPoint = {0, 0};
  parent->addSublayer(empty);
  parent->addSublayer(filled);
  const double width = filled->bounds.size.width;
  if (rightToLeft) {
    const auto rotation = platform::CATransform3DMakeRotation(std::numbers::pi, 0, 1, 0);
    filled->transform = platform::CATransform3DTranslate(rotation, -width, 0, 0);
  }
  filled->bounds.size.width = width * level;
  return parent;
}

void StarRatingLayers::arrangeStarLayers(const LayerList& layers, double margin) {
  double x = 0;
  for (const auto& layer : layers) {
    layer->position = {x, layer->position.y};
    x += layer->bounds.size.width + margin;
  }
}

std::vector<CGPoint> StarRatingLayers::scalePoints(const std::vector<CGPoint>& points, double factor, double offset) {
  std::vector<CGPoint> out;
  out.reserve(points.size());
  for (const auto& p : points) out.push_back({p.x * factor + offset, p.y * factor + offset});
  return out;
}

platform::UIBezierPath StarRatingLayers::makeStarPath(const std::vector<CGPoint>& points, double size,
                                                      double lineWidth) {
  const double allowance = std::ceil(lineWidth * 0.3) + lineWidth;
  const double factor = (size - 2 * allowance) / 100;
  const auto scaled = scalePoints(points, factor, allowance);
  platform::UIBezierPath path;
  if (scaled.empty()) return path;
  path.moveToPoint(scaled.front());
  for (size_t i = 1; i < scaled.size(); ++i) path.addLineToPoint(scaled[i]);
  path.closePath();
  return path;
}

std::shared_ptr<platform::CAShapeLayer> StarRatingLayers::makeShapeLayer(const platform::UIBezierPath& path,
                                                                         double lineWidth, UIColor fillColor,
                                                                         UIColor strokeColor, double size) {
  auto shape = std::make_shared<platform::CAShapeLayer>();
  shape->anchorPoint = {0, 0};
  shape->contentsScale = screenScale();
  shape->strokeColor = strokeColor;
  shape->fillColor = fillColor;
  shape->lineWidth = lineWidth;
  shape->bounds = {{0, 0}, {size, size}};
  shape->masksToBounds = true;
  shape->path = path;
  shape->opaque = true;
  return shape;
}

std::shared_ptr<CALayer> StarRatingLayerHelper::makeContainerLayer(double size) {
  auto layer = std::make_shared<CALayer>();
  layer->contentsScale = screenScale();
  layer->anchorPoint = {0, 0};
  layer->masksToBounds = true;
  layer->bounds = {{0, 0}, {size, size}};
  layer->opaque = true;
  return layer;
}

std::shared_ptr<platform::CATextLayer> StarRatingText::makeLayer(const std::string& text, const platform::UIFont& font,
                                                                 UIColor color) {
  const auto size = platform::sizeWithFont(text, font);
  auto layer = std::make_shared<platform::CATextLayer>();
  layer->bounds = {{0, 0}, size};
  layer->anchorPoint = {0, 0};
  layer->string = text;
  layer->fontName = font.fontName;
  layer->fontSize = font.pointSize;
  layer->foregroundColor = color;
  layer->contentsScale = screenScale();
  return layer;
}

LayerList StarRatingText::placeTextLayer(const std::shared_ptr<CALayer>& textLayer, const LayerList& starLayers,
                                         double textMargin, bool rightToLeft) {
  const auto stars = StarRatingSize::fittingSize(starLayers);
  const double x = rightToLeft ? 0 : stars.width + textMargin;
  textLayer->position = {x, (stars.height - textLayer->bounds.size.height) * 0.5};
  LayerList out;
  if (rightToLeft) {
    const double shift = textLayer->bounds.size.width + textMargin;
    for (const auto& star : starLayers) star->position.x += shift;
    out.push_back(textLayer);
    out.insert(out.end(), starLayers.begin(), starLayers.end());
  } else {
    out = starLayers;
    out.push_back(textLayer);
  }
  return out;
}

platform::CGSize StarRatingSize::fittingSize(const LayerList& layers) {
  platform::CGSize size;
  for (const auto& layer : layers) {
    const auto frame = layer->frameInSuperlayer();
    size.width = std::max(size.width, frame.origin.x + frame.size.width);
    size.height = std::max(size.height, frame.origin.y + frame.size.height);
  }
  return size;
}
