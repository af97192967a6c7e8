// Matrix steps worked out the way the GL context works them out:
// column-major, multiplied on the right, each sum in the context's order.
// The batches that stand in for glTranslatef and glScalef use these, so
// their matrices come out as the context's would.
#pragma once

#include <array>

using GlMatrix = std::array<float, 16>;

// Only the last column changes.
inline void TranslateGlMatrix(GlMatrix &m, float x, float y, float z) {
  for (int r = 0; r < 4; ++r) m[12 + r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
}

inline void ScaleGlMatrix(GlMatrix &m, float x, float y, float z) {
  for (int r = 0; r < 4; ++r) {
    m[r] *= x;
    m[4 + r] *= y;
    m[8 + r] *= z;
  }
}
