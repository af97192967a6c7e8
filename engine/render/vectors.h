// 3-vector arithmetic in single precision, every operand by value and every
// result a new value. Normalising a zero-length vector gives the zero
// vector rather than NaNs.
#pragma once

#include "engine/scene/records.h"

_3DV_VECTOR _3DV_VecZero();
_3DV_VECTOR _3DV_VecAdd(_3DV_VECTOR a, _3DV_VECTOR b);
_3DV_VECTOR _3DV_VecSub(_3DV_VECTOR a, _3DV_VECTOR b);
_3DV_VECTOR _3DV_VecScale(_3DV_VECTOR v, float s);
_3DV_VECTOR _3DV_VecCross(_3DV_VECTOR a, _3DV_VECTOR b);
float _3DV_VecLength(_3DV_VECTOR v);
_3DV_VECTOR _3DV_VecNormalize(_3DV_VECTOR v);
