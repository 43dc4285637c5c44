#include "shared_library/apps/star_rating_view.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "platform/foundation/locale.h"
#include "platform/foundation/process.h"
#include "platform/uikit/application.h"

using platform::CGPoint;
using platform::UIColor;

namespace {

struct RatingWords {
  std::map<std::string, std::string> byCode;
};

const std::map<std::string, std::string>& ratingWords() {
  return platform::Process::current()
      .shared<RatingWords>([] {
        auto words = std::make_shared<RatingWords>();
        words->byCode = {
            {"ar", "تصنيف"},     {"bg", "Рейтинг"},      {"cy", "Sgôr"},       {"da", "Rating"},
            {"de", "Bewertung"}, {"el", "Βαθμολογία"},   {"en", StarRatingView::kDefaultRatingWord},
            {"es", "Valorar"},   {"et", "Reiting"},      {"fi", "Luokitus"},   {"fr", "De note"},
            {"he", "דירוג"},     {"hi", "रेटिंग"},        {"hr", "Ocjena"},     {"hu", "Értékelés"},
            {"id", "Peringkat"}, {"it", "Voto"},         {"ko", "등급"},       {"lt", "Reitingas"},
            {"lv", "Vērtējums"}, {"nl", "Rating"},       {"no", "Vurdering"},  {"pl", "Ocena"},
            {"pt", "Classificação"}, {"ro", "Evaluare"}, {"ru", "Рейтинг"},    {"sk", "Hodnotenie"},
            {"sl", "Ocena"},     {"sr", "Рејтинг"},      {"sw", "Rating"},     {"th", "การจัดอันดับ"},
            {"tr", "Oy verin"},  {"cs", "Hodnocení"},    {"uk", "Рейтинг"},    {"vi", "Đánh giá"},
            {"zh", "评分"}};
        return words;
      })
      ->byCode;
}

// The whole part plus the fraction rounded by mode.
double roundByMode(double value, StarFillMode mode) {
  const double whole = std::floor(value);
  const double fraction = std::clamp(value - whole, 0.0, 1.0);
  return whole + StarRatingLayers::fillLevel(fraction, mode);
}

double totalOf(const StarRatingSettings& s) { return static_cast<double>(std::max<std::int64_t>(s.totalStars, 0)); }

double roundToTenth(double value) { return roundHalfAway(value * 10) / 10; }

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

}  // namespace

StarRatingView::StarRatingView() { initialFields(); }

StarRatingView::StarRatingView(platform::CGRect frame) : StarRatingView(StarRatingSettings(), frame) {}

StarRatingView::StarRatingView(StarRatingSettings settings, platform::CGRect frame) : UIView(frame) {
  initialFields();
  settings_ = std::move(settings);
  refresh();
}

void StarRatingView::initialFields() {
  const auto& d = StarRatingSettings::defaults();
  settings_ = d;
  totalStars_ = d.totalStars;
  starSize_ = d.starSize;
  filledColor_ = d.filledColor;
  emptyColor_ = d.emptyColor;
  emptyBorderColor_ = d.emptyBorderColor;
  emptyBorderWidth_ = d.emptyBorderWidth;
  filledBorderColor_ = d.filledBorderColor;
  filledBorderWidth_ = d.filledBorderWidth;
  starMargin_ = d.starMargin;
  fillMode_ = static_cast<std::int64_t>(d.fillMode);
  textSize_ = d.textFont.pointSize;
  textMargin_ = d.textMargin;
  textColor_ = d.textColor;
  updateOnTouch_ = d.updateOnTouch;
  minTouchRating_ = d.minTouchRating;
  filledImage_ = d.filledImage;
  emptyImage_ = d.emptyImage;
  layer().shouldRasterize = true;
  layer().rasterizationScale = platform::UIScreen::mainScreen().scale();
  setOpaque(true);
}

void StarRatingView::setRating(double rating) {
  const bool changed = rating != rating_;  // not a number always differs
  rating_ = rating;
  if (changed) refresh();
}

void StarRatingView::setText(std::optional<std::string> text) {
  const bool changed = text != text_;
  text_ = std::move(text);
  if (changed) refresh();
}

void StarRatingView::setSettings(StarRatingSettings settings) {
  settings_ = std::move(settings);
  refresh();
}

void StarRatingView::modifySettings(const std::function<void(StarRatingSettings&)>& change) {
  change(settings_);
  refresh();
}

void StarRatingView::setTotalStars(std::int64_t v) {
  totalStars_ = v;
  modifySettings([v](StarRatingSettings& s) { s.totalStars = v; });
}
void StarRatingView::setStarSize(double v) {
  starSize_ = v;
  modifySettings([v](StarRatingSettings& s) { s.starSize = v; });
}
void StarRatingView::setFilledColor(UIColor v) {
  filledColor_ = v;
  modifySettings([v](StarRatingSettings& s) { s.filledColor = v; });
}
void StarRatingView::setEmptyColor(UIColor v) {
  emptyColor_ = v;
  modifySettings([v](StarRatingSettings& s) { s.emptyColor = v; });
}
void StarRatingView::setEmptyBorderColor(UIColor v) {
  emptyBorderColor_ = v;
  modifySettings([v](StarRatingSettings& s) { s.emptyBorderColor = v; });
}
void StarRatingView::setEmptyBorderWidth(double v) {
  emptyBorderWidth_ = v;
  modifySettings([v](StarRatingSettings& s) { s.emptyBorderWidth = v; });
}
void StarRatingView::setFilledBorderColor(UIColor v) {
  filledBorderColor_ = v;
  modifySettings([v](StarRatingSettings& s) { s.filledBorderColor = v; });
}
void StarRatingView::setFilledBorderWidth(double v) {
  filledBorderWidth_ = v;
  modifySettings([v](StarRatingSettings& s) { s.filledBorderWidth = v; });
}
void StarRatingView::setStarMargin(double v) {
  starMargin_ = v;
  modifySettings([v](StarRatingSettings& s) { s.starMargin = v; });
}
void StarRatingView::setFillMode(std::int64_t v) {
  fillMode_ = v;
  const auto mode = starFillModeFromRawValue(v).value_or(StarFillMode::full);
  modifySettings([mode](StarRatingSettings& s) { s.fillMode = mode; });
}
void StarRatingView::setTextSize(double v) {
  textSize_ = v;
  modifySettings([v](StarRatingSettings& s) { s.textFont = s.textFont.fontWithSize(v); });
}
void StarRatingView::setTextMargin(double v) {
  textMargin_ = v;
  modifySettings([v](StarRatingSettings& s) { s.textMargin = v; });
}
void StarRatingView::setTextColor(UIColor v) {
  textColor_ = v;
  modifySettings([v](StarRatingSettings& s) { s.textColor = v; });
}
void StarRatingView::setUpdateOnTouch(bool v) {
  updateOnTouch_ = v;
  modifySettings([v](StarRatingSettings& s) { s.updateOnTouch = v; });
}
void StarRatingView::setMinTouchRating(double v) {
  minTouchRating_ = v;
  modifySettings([v](StarRatingSettings& s) { s.minTouchRating = v; });
}
void StarRatingView::setFilledImage(std::shared_ptr<const platform::UIImage> v) {
  filledImage_ = v;
  modifySettings([v](StarRatingSettings& s) { s.filledImage = v; });
}
void StarRatingView::setEmptyImage(std::shared_ptr<const platform::UIImage> v) {
  emptyImage_ = v;
  modifySettings([v](StarRatingSettings& s) { s.emptyImage = v; });
}

bool StarRatingView::rightToLeft() const {
  return userInterfaceLayoutDirectionForSemanticContentAttribute(semanticContentAttribute()) ==
         platform::UIUserInterfaceLayoutDirection::rightToLeft;
}

void StarRatingView::refresh() {
  const bool rtl = rightToLeft();
  auto layers = StarRatingLayers::makeStarLayers(rating_, settings_, rtl);
  if (text_) layers = placeTextLayer(makeTextLayer(*text_), layers);
  layer().sublayers = layers;
  viewSize_ = StarRatingSize::fittingSize(layers);
  invalidateIntrinsicContentSize();
  setFrame({frame().origin, intrinsicContentSize()});
  refreshAccessibility();
}

std::shared_ptr<platform::CALayer> StarRatingView::makeTextLayer(const std::string& text) {
  return StarRatingText::makeLayer(text, settings_.textFont, settings_.textColor);
}

LayerList StarRatingView::placeTextLayer(const std::shared_ptr<platform::CALayer>& textLayer,
                                         const LayerList& starLayers) {
  return StarRatingText::placeTextLayer(textLayer, starLayers, settings_.textMargin, rightToLeft());
}

void StarRatingView::refreshAccessibility() {
  setIsAccessibilityElement(true);
  setAccessibilityTraits(settings_.updateOnTouch ? platform::UIAccessibilityTraitAdjustable
                                                 : platform::UIAccessibilityTraitNone);
  auto label = ratingWord(platform::Locale::preferredLanguages());
  if (text_ && !text_->empty()) label += " " + *text_;
  setAccessibilityLabel(label);
  setAccessibilityValue(accessibilityValueText(rating_, settings_));
}

void StarRatingView::awakeFromNib() {
  UIView::awakeFromNib();
  refresh();
}

void StarRatingView::prepareForInterfaceBuilder() { refresh(); }

void StarRatingView::traitCollectionDidChange(const std::optional<platform::UITraitCollection>& previous) {
  UIView::traitCollectionDidChange(previous);
  if (!previous || previous->userInterfaceStyle != traitCollection().userInterfaceStyle) refresh();
}

double StarRatingView::touchRating(double x, const StarRatingSettings& s) {
  const double total = totalOf(s);
  double covered;
  if (std::isnan(x) || x < 0) {
    covered = 0;
  } else {
    const double d = s.starSize + s.starMargin;
    const double quotient = x / d;
    // A zero or negative pitch, or a quotient past the count, covers every star.
    if (!(d > 0) || !(quotient <= total)) {
      covered = total;
    } else {
      const double n = std::trunc(quotient);
      const double rem = x - n * d;
      covered = rem > s.starSize ? n + 1 : s.starSize > 0 ? n + rem / s.starSize : n;
    }
  }
  const double bias = s.fillMode == StarFillMode::full ? 0.45 : s.fillMode == StarFillMode::half ? 0.2 : 0;
  double rating = roundByMode(covered + bias, s.fillMode);
  rating = std::min(rating, total);
  rating = std::max(rating, 0.0);
  rating = std::max(rating, s.minTouchRating);
  return rating;
}

double StarRatingView::touchOffset(const platform::UITouch& touch) {
  double x = touch.locationInView(this).x;
  if (rightToLeft()) x = bounds().size.width - x;
  return x;
}

void StarRatingView::applyTouch(double offset) {
  const double result = touchRating(offset, settings_);
  if (settings_.updateOnTouch) setRating(result);
  if (result != previousRatingForDidTouchCallback) {
    if (didTouchStarRating) didTouchStarRating(result);
    previousRatingForDidTouchCallback = result;
  }
}

void StarRatingView::handleTouches(const platform::UITouchSet& touches) {
  if (touches.empty() || !touches.front()) return;
  applyTouch(touchOffset(*touches.front()));
}

void StarRatingView::finishTouches() {
  if (didFinishTouchingStarRating) didFinishTouchingStarRating(rating_);
}

void StarRatingView::touchesBegan(const platform::UITouchSet& touches, const platform::UIEvent& event) {
  if (settings_.passTouchesToSuperview) UIView::touchesBegan(touches, event);
  handleTouches(touches);
}

void StarRatingView::touchesMoved(const platform::UITouchSet& touches, const platform::UIEvent& event) {
  if (settings_.passTouchesToSuperview) UIView::touchesMoved(touches, event);
  handleTouches(touches);
}

void StarRatingView::touchesEnded(const platform::UITouchSet& touches, const platform::UIEvent& event) {
  if (settings_.passTouchesToSuperview) UIView::touchesEnded(touches, event);
  finishTouches();
}

void StarRatingView::touchesCancelled(const platform::UITouchSet& touches, const platform::UIEvent& event) {
  if (settings_.passTouchesToSuperview) UIView::touchesCancelled(touches, event);
  finishTouches();
}

bool StarRatingView::gestureRecognizerShouldBegin(const platform::UIGestureRecognizer& recognizer) {
  if (!settings_.disablePanGestures) return true;
  return dynamic_cast<const platform::UIPanGestureRecognizer*>(&recognizer) == nullptr;
}

bool StarRatingView::pointInside(CGPoint point, const platform::UIEvent*) const {
  auto area = bounds();
  if (area.size.width < 44) {
    const double grow = (44 - area.size.width) / 2;
    area.origin.x -= grow;
    area.size.width += 2 * grow;
  }
  if (area.size.height < 44) {
    const double grow = (44 - area.size.height) / 2;
    area.origin.y -= grow;
    area.size.height += 2 * grow;
  }
  return point.x >= area.origin.x && point.x < area.origin.x + area.size.width && point.y >= area.origin.y &&
         point.y < area.origin.y + area.size.height;
}

std::string StarRatingView::accessibilityValueText(double rating, const StarRatingSettings& s) {
  if (std::isnan(rating)) rating = 0;
  double value = roundByMode(rating, s.fillMode);
  value = std::min(value, totalOf(s));
  value = std::max(value, 0.0);
  if (std::fmod(value * 10, 10) == 0) return platform::formatNumber(value);
  auto text = platform::formatNumber(roundToTenth(value));
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

double StarRatingView::incrementedRating(double r, const StarRatingSettings& s) {
  if (std::isnan(r)) r = 0;
  double step;
  if (s.fillMode == StarFillMode::full) {
    step = std::ceil(r) - r;
    if (step == 0) step = 1;
  } else {
    step = (std::ceil(2 * r) - 2 * r) * 0.5;
    if (step == 0) step = 0.5;
  }
  if (!(r < totalOf(s))) step = 0;
  const double rounded = roundToTenth(step);
  if (rounded != 0 || step == 0) step = rounded;
  return std::clamp(r + step, 0.0, totalOf(s));
}

double StarRatingView::decrementedRating(double r, const StarRatingSettings& s) {
  if (std::isnan(r)) r = 0;
  double step;
  if (s.fillMode == StarFillMode::full) {
    step = r - std::floor(r);
    if (step == 0) step = 1;
  } else {
    step = (2 * r - std::floor(2 * r)) * 0.5;
    if (step == 0) step = 0.5;
  }
  if (!(s.minTouchRating < r)) step = 0;
  const double rounded = roundToTenth(step);
  if (rounded != 0 || step == 0) step = rounded;
  return std::clamp(r - step, 0.0, totalOf(s));
}

void StarRatingView::accessibilityIncrement() {
  UIView::accessibilityIncrement();
  const double next = incrementedRating(rating_, settings_);
  setRating(next);
  if (didTouchStarRating) didTouchStarRating(rating_);
  if (didFinishTouchingStarRating) didFinishTouchingStarRating(rating_);
}

void StarRatingView::accessibilityDecrement() {
  UIView::accessibilityDecrement();
  const double next = decrementedRating(rating_, settings_);
  setRating(next);
  if (didTouchStarRating) didTouchStarRating(rating_);
  if (didFinishTouchingStarRating) didFinishTouchingStarRating(rating_);
}

std::vector<std::string> StarRatingView::languageCodes(const std::vector<std::string>& preferredLanguages) {
  std::vector<std::string> codes;
  for (const auto& language : preferredLanguages) {
    if (auto parts = split(language, '-'); parts.size() >= 2) codes.push_back(parts.front());
    else if (parts = split(language, '_'); parts.size() >= 2) codes.push_back(parts.front());
    else codes.push_back(language);
  }
  return codes;
}

std::string StarRatingView::ratingWord(const std::vector<std::string>& preferredLanguages) {
  const auto& words = ratingWords();
  for (const auto& code : languageCodes(preferredLanguages))
    if (auto it = words.find(code); it != words.end()) return it->second;
  return kDefaultRatingWord;
}
