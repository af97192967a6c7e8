// Vector helpers; see vectors.h.
#include "engine/render/vectors.h"

#include <cmath>

_3DV_VECTOR _3DV_VecZero() { return {0, 0, 0}; }

_3DV_VECTOR _3DV_VecAdd(_3DV_VECTOR a, _3DV_VECTOR b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

_3DV_VECTOR _3DV_VecSub(_3DV_VECTOR a, _3DV_VECTOR b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

_3DV_VECTOR _3DV_VecScale(_3DV_VECTOR v, float s) { return {v.x * s, v.y * s, v.z * s}; }

_3DV_VECTOR _3DV_VecCross(_3DV_VECTOR a, _3DV_VECTOR b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float _3DV_VecLength(_3DV_VECTOR v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

_3DV_VECTOR _3DV_VecNormalize(_3DV_VECTOR v) {
  const float length = _3DV_VecLength(v);
  if (length == 0) return {0, 0, 0};
  return {v.x / length, v.y / length, v.z / length};
}
