#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/view.h"
#include "shared_library/apps/star_rating_settings.h"

// A row of stars with an optional text beside it. Touching or dragging across the stars sets the
// rating; to accessibility it is one adjustable element labelled with the word for rating in the
// user's language. Every change of rating, text or settings rebuilds all of its layers. Main
// thread only.
class StarRatingView : public platform::UIView {
 public:
  static constexpr double kNoTouchReported = -123.192;

  // From a storyboard: the first drawing waits for awakeFromNib or the owner's first change.
  StarRatingView();
  // Default settings, drawn at once.
  explicit StarRatingView(platform::CGRect frame);
  StarRatingView(StarRatingSettings settings, platform::CGRect frame);

  double rating() const { return rating_; }
  void setRating(double rating);
  const std::optional<std::string>& text() const { return text_; }
  void setText(std::optional<std::string> text);
  const StarRatingSettings& settings() const { return settings_; }
  void setSettings(StarRatingSettings settings);
  // One change in place, then one rebuild.
  void modifySettings(const std::function<void(StarRatingSettings&)>& change);
  platform::CGSize viewSize() const { return viewSize_; }

  std::function<void(double)> didTouchStarRating;
  std::function<void(double)> didFinishTouchingStarRating;
  double previousRatingForDidTouchCallback = kNoTouchReported;

  // Mirrors: each keeps its own value and writes it into the settings.
  std::int64_t totalStars() const { return totalStars_; }
  void setTotalStars(std::int64_t value);
  double starSize() const { return starSize_; }
  void setStarSize(double value);
  platform::UIColor filledColor() const { return filledColor_; }
  void setFilledColor(platform::UIColor value);
  platform::UIColor emptyColor() const { return emptyColor_; }
  void setEmptyColor(platform::UIColor value);
  platform::UIColor emptyBorderColor() const { return emptyBorderColor_; }
  void setEmptyBorderColor(platform::UIColor value);
  double emptyBorderWidth() const { return emptyBorderWidth_; }
  void setEmptyBorderWidth(double value);
  platform::UIColor filledBorderColor() const { return filledBorderColor_; }
  void setFilledBorderColor(platform::UIColor value);
  double filledBorderWidth() const { return filledBorderWidth_; }
  void setFilledBorderWidth(double value);
  double starMargin() const { return starMargin_; }
  void setStarMargin(double value);
  // An unknown raw value draws in full mode; the mirror keeps it.
  std::int64_t fillMode() const { return fillMode_; }
  void setFillMode(std::int64_t value);
  double textSize() const { return textSize_; }
  void setTextSize(double value);
  double textMargin() const { return textMargin_; }
  void setTextMargin(double value);
  platform::UIColor textColor() const { return textColor_; }
  void setTextColor(platform::UIColor value);
  bool updateOnTouch() const { return updateOnTouch_; }
  void setUpdateOnTouch(bool value);
  double minTouchRating() const { return minTouchRating_; }
  void setMinTouchRating(double value);
  std::shared_ptr<const platform::UIImage> filledImage() const { return filledImage_; }
  void setFilledImage(std::shared_ptr<const platform::UIImage> value);
  std::shared_ptr<const platform::UIImage> emptyImage() const { return emptyImage_; }
  void setEmptyImage(std::shared_ptr<const platform::UIImage> value);

  virtual void refresh();
  virtual std::shared_ptr<platform::CALayer> makeTextLayer(const std::string& text);
  virtual LayerList placeTextLayer(const std::shared_ptr<platform::CALayer>& textLayer, const LayerList& starLayers);
  virtual void resetTouchMarker() { previousRatingForDidTouchCallback = kNoTouchReported; }
  // The touch's x in the view, from the leading edge.
  virtual double touchOffset(const platform::UITouch& touch);
  virtual void applyTouch(double offset);

  void awakeFromNib() override;
  void prepareForInterfaceBuilder();
  platform::CGSize intrinsicContentSize() const override { return viewSize_; }
  void traitCollectionDidChange(const std::optional<platform::UITraitCollection>& previous) override;
  void accessibilityIncrement() override;
  void accessibilityDecrement() override;
  void touchesBegan(const platform::UITouchSet& touches, const platform::UIEvent& event) override;
  void touchesMoved(const platform::UITouchSet& touches, const platform::UIEvent& event) override;
  void touchesEnded(const platform::UITouchSet& touches, const platform::UIEvent& event) override;
  void touchesCancelled(const platform::UITouchSet& touches, const platform::UIEvent& event) override;
  bool gestureRecognizerShouldBegin(const platform::UIGestureRecognizer& recognizer) override;
  // The bounds grown to at least 44 × 44 points about their centre.
  bool pointInside(platform::CGPoint point, const platform::UIEvent* event) const override;

  // The arithmetic behind touches and accessibility.
  // The rating a touch `offset` points from the leading edge gives.
  static double touchRating(double offset, const StarRatingSettings& settings);
  static std::string accessibilityValueText(double rating, const StarRatingSettings& settings);
  static double incrementedRating(double rating, const StarRatingSettings& settings);
  static double decrementedRating(double rating, const StarRatingSettings& settings);
  static std::vector<std::string> languageCodes(const std::vector<std::string>& preferredLanguages);
  static std::string ratingWord(const std::vector<std::string>& preferredLanguages);
  static constexpr const char* kDefaultRatingWord = "Rating";

 private:
  void initialFields();
  bool rightToLeft() const;
  void refreshAccessibility();
  void handleTouches(const platform::UITouchSet& touches);
  void finishTouches();

  double rating_ = 2.718281828;
  std::optional<std::string> text_;
  StarRatingSettings settings_;
  platform::CGSize viewSize_;

  std::int64_t totalStars_;
  double starSize_;
  platform::UIColor filledColor_, emptyColor_, emptyBorderColor_;
  double emptyBorderWidth_;
  platform::UIColor filledBorderColor_;
  double filledBorderWidth_, starMargin_;
  std::int64_t fillMode_;
  double textSize_, textMargin_;
  platform::UIColor textColor_;
  bool updateOnTouch_;
  double minTouchRating_;
  std::shared_ptr<const platform::UIImage> filledImage_, emptyImage_;
};
