#pragma once

#include <string>

namespace platform {

using CGFloat = double;

struct CGPoint {
  CGFloat x = 0, y = 0;
  bool operator==(const CGPoint&) const = default;
};

struct CGSize {
  CGFloat width = 0, height = 0;
  bool operator==(const CGSize&) const = default;
};

struct CGRect {
  CGPoint origin;
  CGSize size;
  bool operator==(const CGRect&) const = default;
};

inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) { return {{x, y}, {width, height}}; }
inline CGSize CGSizeMake(CGFloat width, CGFloat height) { return {width, height}; }
inline CGPoint CGPointMake(CGFloat x, CGFloat y) { return {x, y}; }

// The shortest text that reads back as the same number ("0.85", "52", "-18").
std::string formatNumber(double value);
// "x y width height"
std::string describeRect(const CGRect& r);

}  // namespace platform
