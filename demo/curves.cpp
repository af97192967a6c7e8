// See curves.h. The formulas keep the float/double split that the scenes'
// numbers were tuned with: path weights in float, the sine easings in
// double rounded once to float.
#include "demo/curves.h"

#include <cmath>
#include <numbers>

void CalcTangent(TVec3 &tangent, TVec3 a, TVec3 b) {
  tangent.x = (b.x - a.x) / 6.0f;
  tangent.y = (b.y - a.y) / 6.0f;
  tangent.z = (b.z - a.z) / 6.0f;
}

void CalcSplineTangents(TSplinePath path) {
  const int32_t n = path.count;
  if (n < 2 || !path.points || !path.tangents) return;
  const TVec3 *p = path.points;
  CalcTangent(path.tangents[0], p[0], p[1]);
  CalcTangent(path.tangents[n - 1], p[n - 2], p[n - 1]);
  for (int32_t i = 1; i <= n - 2; ++i) CalcTangent(path.tangents[i], p[i - 1], p[i + 1]);
}

void SplinePoint(TVec3 &result, const TSplinePath &path, float t) {
  const int32_t n = path.count;
  const TVec3 *p = path.points;
  const TVec3 *tg = path.tangents;
  if (n < 1 || !p) {
    result = {0.0f, 0.0f, 0.0f};
    return;
  }
  if (t <= 0.0f || n < 2) {
    result = p[0];
    return;
  }
  if (t >= static_cast<float>(n - 1)) {
    result = p[n - 1];
    return;
  }
  // 0 < t < n - 1, so the segment is floor(t), at most n - 2.
  const int32_t i = static_cast<int32_t>(t);
  const float u = t - static_cast<float>(i);
  const float s = 1.0f - u;
  const float w0 = s * s * s;
  const float w1 = 3.0f * s * s * u;
  const float w2 = 3.0f * s * u * u;
  const float w3 = u * u * u;
  auto blend = [&](float a, float ta, float b, float tb) {
    return w0 * a + w1 * (a + ta) + w2 * (b - tb) + w3 * b;
  };
  result.x = blend(p[i].x, tg[i].x, p[i + 1].x, tg[i + 1].x);
  result.y = blend(p[i].y, tg[i].y, p[i + 1].y, tg[i + 1].y);
  result.z = blend(p[i].z, tg[i].z, p[i + 1].z, tg[i + 1].z);
}

float Interpolate(float a, float b, float t, uint8_t mode) {
  if (t > 1.0f) t = 1.0f;
  if (t < 0.0f) t = 0.0f;
  constexpr double half_pi = std::numbers::pi / 2.0;
  switch (mode) {
    case INTERPOLATE_LINEAR:
      return a + t * (b - a);
    case INTERPOLATE_EASE_OUT:
      return static_cast<float>(a + (b - a) * std::sin(t * half_pi));
    case INTERPOLATE_EASE_IN:
      return static_cast<float>(a + (b - a) * (1.0 - std::sin(half_pi + t * half_pi)));
    default:
      return a;
  }
}

namespace {

float Power(float x, float y, int factors) {
  const float q = x / y;
  float r = q;
  for (int i = 1; i < factors; ++i) r *= q;
  return r * y;
}

}  // namespace

float PowCurve8(float x, float y) { return Power(x, y, 8); }
float PowCurve3(float x, float y) { return Power(x, y, 3); }
float PowCurve2(float x, float y) { return Power(x, y, 2); }

float ExpCurve(float x) {
  return static_cast<float>((std::exp(static_cast<double>(x)) - 1.0) / 1.718281828459045);
}
