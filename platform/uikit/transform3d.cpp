#include "platform/uikit/transform3d.h"

#include <cmath>

namespace platform {

namespace {

using Rows = double[4][4];

void toRows(const CATransform3D& t, Rows r) {
  const double v[16] = {t.m11, t.m12, t.m13, t.m14, t.m21, t.m22, t.m23, t.m24,
                        t.m31, t.m32, t.m33, t.m34, t.m41, t.m42, t.m43, t.m44};
  for (int i = 0; i < 16; ++i) r[i / 4][i % 4] = v[i];
}

CATransform3D fromRows(const Rows r) {
  return {r[0][0], r[0][1], r[0][2], r[0][3], r[1][0], r[1][1], r[1][2], r[1][3],
          r[2][0], r[2][1], r[2][2], r[2][3], r[3][0], r[3][1], r[3][2], r[3][3]};
}

}  // namespace

CATransform3D CATransform3DConcat(const CATransform3D& a, const CATransform3D& b) {
  Rows ra, rb, out;
  toRows(a, ra);
  toRows(b, rb);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += ra[i][k] * rb[k][j];
      out[i][j] = sum;
    }
  return fromRows(out);
}

CATransform3D CATransform3DMakeTranslation(double tx, double ty, double tz) {
  CATransform3D t;
  t.m41 = tx;
  t.m42 = ty;
  t.m43 = tz;
  return t;
}

CATransform3D CATransform3DMakeRotation(double angle, double x, double y, double z) {
  const double length = std::sqrt(x * x + y * y + z * z);
  if (!(length > 0)) return CATransform3DIdentity;
  x /= length;
  y /= length;
  z /= length;
  const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
  CATransform3D r;
  r.m11 = t * x * x + c;
  r.m12 = t * x * y + z * s;
  r.m13 = t * x * z - y * s;
  r.m21 = t * x * y - z * s;
  r.m22 = t * y * y + c;
  r.m23 = t * y * z + x * s;
  r.m31 = t * x * z + y * s;
  r.m32 = t * y * z - x * s;
  r.m33 = t * z * z + c;
  return r;
}

CATransform3D CATransform3DTranslate(const CATransform3D& t, double tx, double ty, double tz) {
  return CATransform3DConcat(CATransform3DMakeTranslation(tx, ty, tz), t);
}

}  // namespace platform
