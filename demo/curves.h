// Paths and easing curves shared by the procedural set-up and the scenes:
// a uniform Catmull-Rom path in Bezier form through a list of points, the
// three-way interpolation with easing, and the power and exponential
// curves that shape a value over a time span.
//
// All arithmetic is in 32-bit floats except where a step is documented as
// double precision; the scenes depend on these exact results. Pure
// functions: no state, no OpenGL, any thread.
#pragma once

#include <cstdint>

// A point or vector: three floats stored one after the other, so arrays of
// them are contiguous triples.
struct TVec3 {
  float x, y, z;
};
static_assert(sizeof(TVec3) == 3 * sizeof(float), "TVec3 arrays are packed float triples");

// A path through count points (at least 2). The record is handed around by
// value; both arrays belong to whoever built the path.
struct TSplinePath {
  int32_t count;
  TVec3 *tangents;  // count entries, filled by CalcSplineTangents
  TVec3 *points;    // count entries
};

// Easing modes of Interpolate.
enum : uint8_t {
  INTERPOLATE_LINEAR = 0,
  INTERPOLATE_EASE_OUT = 1,  // fast start, slow end
  INTERPOLATE_EASE_IN = 2,   // slow start, fast end
};

// tangent := (b - a) / 6.
void CalcTangent(TVec3 &tangent, TVec3 a, TVec3 b);
// Fills path.tangents from path.points; the end tangents are one-sided.
void CalcSplineTangents(TSplinePath path);
// The path's point at parameter t: P0 for t <= 0, the last point for
// t >= count - 1, point k exactly at an integer t = k.
void SplinePoint(TVec3 &result, const TSplinePath &path, float t);

// A value from a to b as t runs from 0 to 1 (t is clamped to 0..1). A mode
// outside the three above gives a.
float Interpolate(float a, float b, float t, uint8_t mode);

// (x / y) to the power 8, 3 or 2, times y: with y a span's length and x
// the time elapsed in it, a curve from 0 to y. y must not be 0.
float PowCurve8(float x, float y);
float PowCurve3(float x, float y);
float PowCurve2(float x, float y);
// (e^x - 1) / (e - 1): 0 at 0 and 1 at 1.
float ExpCurve(float x);
