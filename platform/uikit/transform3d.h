#pragma once

namespace platform {

// A 4x4 transform applied to row vectors (x, y, z, 1): x' = x m11 + y m21 + z m31 + m41.
struct CATransform3D {
  double m11 = 1, m12 = 0, m13 = 0, m14 = 0;
  double m21 = 0, m22 = 1, m23 = 0, m24 = 0;
  double m31 = 0, m32 = 0, m33 = 1, m34 = 0;
  double m41 = 0, m42 = 0, m43 = 0, m44 = 1;
  bool operator==(const CATransform3D&) const = default;
};

inline constexpr CATransform3D CATransform3DIdentity{};

// a × b: a is applied first.
CATransform3D CATransform3DConcat(const CATransform3D& a, const CATransform3D& b);
CATransform3D CATransform3DMakeTranslation(double tx, double ty, double tz);
// By `angle` radians about the axis (x, y, z); a zero axis gives the identity.
CATransform3D CATransform3DMakeRotation(double angle, double x, double y, double z);
// The translation, then t: the translation happens in t's frame.
CATransform3D CATransform3DTranslate(const CATransform3D& t, double tx, double ty, double tz);

}  // namespace platform
