#pragma once

#include <memory>
#include <optional>
#include <string>

namespace platform {

class Bundle;

enum class UIUserInterfaceStyle { unspecified = 0, light = 1, dark = 2 };

struct UITraitCollection {
  UIUserInterfaceStyle userInterfaceStyle = UIUserInterfaceStyle::light;
  bool operator==(const UITraitCollection&) const = default;

  // The traits screens resolve against: the device's appearance unless set.
  static UITraitCollection currentTraitCollection();
  static void setCurrentTraitCollection(UITraitCollection traits);
};

// An RGBA colour, each component a fraction 0..1. Equality is exact, component by component.
class UIColor {
 public:
  constexpr UIColor() = default;
  constexpr UIColor(double red, double green, double blue, double alpha)
      : red_(red), green_(green), blue_(blue), alpha_(alpha) {}

  static constexpr UIColor colorWithRed(double r, double g, double b, double a) { return {r, g, b, a}; }
  static constexpr UIColor colorWithWhite(double w, double a) { return {w, w, w, a}; }

  static constexpr UIColor whiteColor() { return {1, 1, 1, 1}; }
  static constexpr UIColor blackColor() { return {0, 0, 0, 1}; }
  static constexpr UIColor clearColor() { return {0, 0, 0, 0}; }
  static constexpr UIColor blueColor() { return {0, 0, 1, 1}; }
  static constexpr UIColor orangeColor() { return {1, 0.5, 0, 1}; }
  static constexpr UIColor redColor() { return {1, 0, 0, 1}; }
  static constexpr UIColor greenColor() { return {0, 1, 0, 1}; }
  static constexpr UIColor lightGrayColor() { return {2.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0, 1}; }
  static constexpr UIColor grayColor() { return {0.5, 0.5, 0.5, 1}; }

  // The colour of that name in the bundle's colour catalogue (none: the main bundle), resolved for
  // the traits; none when the bundle has no such colour.
  static std::optional<UIColor> colorNamed(const std::string& name, const std::shared_ptr<Bundle>& bundle = nullptr,
                                           std::optional<UITraitCollection> traits = std::nullopt);

  double red() const { return red_; }
  double green() const { return green_; }
  double blue() const { return blue_; }
  double alpha() const { return alpha_; }

  bool operator==(const UIColor&) const = default;
  // "rgba(254 148 35 1)": components in 0..255, alpha as a fraction.
  std::string description() const;

 private:
  double red_ = 0, green_ = 0, blue_ = 0, alpha_ = 0;
};

}  // namespace platform
