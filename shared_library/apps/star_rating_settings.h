#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/geometry.h"
#include "platform/uikit/image.h"
#include "platform/uikit/view.h"

// How a star that the rating only partly covers is drawn.
enum class StarFillMode : std::int64_t { full = 0, half = 1, precise = 2 };

// None for a raw value of 3 or more read as unsigned (every negative one too).
std::optional<StarFillMode> starFillModeFromRawValue(std::int64_t raw);

// How a row of rating stars looks and reacts. A value; the defaults are the process's, made once.
struct StarRatingSettings {
  StarRatingSettings();

  platform::UIColor emptyBorderColor;
  double emptyBorderWidth;
  platform::UIColor filledBorderColor;
  double filledBorderWidth;
  platform::UIColor emptyColor;
  platform::UIColor filledColor;
  StarFillMode fillMode;
  double starMargin;
  std::vector<platform::CGPoint> starPoints;
  double starSize;
  std::int64_t totalStars;
  std::shared_ptr<const platform::UIImage> filledImage;
  std::shared_ptr<const platform::UIImage> emptyImage;
  platform::UIColor textColor;
  platform::UIFont textFont;
  double textMargin;
  double minTouchRating;
  bool passTouchesToSuperview;
  bool updateOnTouch;
  bool disablePanGestures;

  // The shared defaults: the border widths are 1 / the main screen's scale at first use.
  static const StarRatingSettings& defaults();
  static platform::UIColor defaultStarColor() { return {1.0, 149.0 / 255.0, 0.0, 1.0}; }
  static platform::UIColor defaultTextColor() { return {127.0 / 255.0, 127.0 / 255.0, 127.0 / 255.0, 1.0}; }
  static std::vector<platform::CGPoint> defaultStarPoints();

 private:
  struct DefaultsTag {};
  explicit StarRatingSettings(DefaultsTag);
};

using LayerList = std::vector<std::shared_ptr<platform::CALayer>>;

// Star layers for a rating; every layer is anchored at its top-left corner.
struct StarRatingLayers {
  // One square per star, filled, empty or partly filled, arranged left to right; reversed in
  // right-to-left layout. A rating that is not a number counts as 0, a negative star count as 0.
  static LayerList makeStarLayers(double rating, const StarRatingSettings& settings, bool rightToLeft);
  static std::shared_ptr<platform::CALayer> makeStarLayer(bool filled, const StarRatingSettings& settings);
  // The empty star under the filled one, cut to `level` of its width (mirrored right-to-left).
  static std::shared_ptr<platform::CALayer> makePartialStarLayer(double level, const StarRatingSettings& settings,
                                                                 bool rightToLeft);
  static double fillLevel(double remaining, StarFillMode mode);
  static void arrangeStarLayers(const LayerList& layers, double margin);
  // Closed through the points scaled into the square, inside a border allowance; no points: an
  // empty path.
  static platform::UIBezierPath makeStarPath(const std::vector<platform::CGPoint>& points, double size,
                                             double lineWidth);
  static std::vector<platform::CGPoint> scalePoints(const std::vector<platform::CGPoint>& points, double factor,
                                                    double offset);
  static std::shared_ptr<platform::CAShapeLayer> makeShapeLayer(const platform::UIBezierPath& path, double lineWidth,
                                                                platform::UIColor fillColor,
                                                                platform::UIColor strokeColor, double size);
};

struct StarRatingLayerHelper {
  // A clipping, opaque square of side `size` at the screen's scale.
  static std::shared_ptr<platform::CALayer> makeContainerLayer(double size);
};

struct StarRatingText {
  static std::shared_ptr<platform::CATextLayer> makeLayer(const std::string& text, const platform::UIFont& font,
                                                          platform::UIColor color);
  // Beside the stars, centred on them: after them left-to-right (the stars first in the list),
  // before them right-to-left (the text first, the stars moved right).
  static LayerList placeTextLayer(const std::shared_ptr<platform::CALayer>& textLayer, const LayerList& starLayers,
                                  double textMargin, bool rightToLeft);
};

struct StarRatingSize {
  // The largest right and bottom edges of the layers' frames, from 0.
  static platform::CGSize fittingSize(const LayerList& layers);
};

// Halves away from zero.
double roundHalfAway(double value);
