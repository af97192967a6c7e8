// The camera-facing square shared by particles and flares: a square turned
// 45 degrees in the view plane, its diagonals along a horizontal right
// vector and an up vector, both from the view direction d = eye - target.
//
// The basis is built around the y axis (right = (-d.z, 0, d.x) / h with
// h = |(d.x, d.z)|), so a view along y alone has none: the drawers then
// draw nothing for that frame.
#pragma once

#include <cmath>

#include "engine/render/engine_state.h"
#include "engine/scene/records.h"
#include "window/gl_demo.h"

struct _3DV_BILLBOARD {
  _3DV_VECTOR right, up;
};

// The basis of the current camera (_3DV_CameraPos, _3DV_CameraTarget);
// false when the view has no horizontal part along x or z.
inline bool _3DV_BillboardBasis(_3DV_BILLBOARD &basis) {
  const _3DV_VECTOR d = {_3DV_CameraPos.x - _3DV_CameraTarget.x,
                         _3DV_CameraPos.y - _3DV_CameraTarget.y,
                         _3DV_CameraPos.z - _3DV_CameraTarget.z};
  const float h = std::sqrt(d.z * d.z + d.x * d.x);
  const _3DV_VECTOR u = {-d.x * d.y, d.x * d.x + d.z * d.z, -d.z * d.y};
  const float m = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z);
  if (!(h > 0) || !(m > 0)) return false;
  basis.right = {-d.z / h, 0, d.x / h};
  basis.up = {u.x / m, u.y / m, u.z / m};
  return true;
}

// One strip of four textured corners around c with half-diagonal s.
inline void _3DV_DrawBillboard(const _3DV_BILLBOARD &b, _3DV_VECTOR c, float s) {
  const _3DV_VECTOR r = {b.right.x * s, b.right.y * s, b.right.z * s};
  const _3DV_VECTOR u = {b.up.x * s, b.up.y * s, b.up.z * s};
  dgl::glBegin(GL_TRIANGLE_STRIP);
  dgl::glTexCoord2f(0, 0);
  dgl::glVertex3f(c.x - r.x, c.y - r.y, c.z - r.z);
  dgl::glTexCoord2f(1, 0);
  dgl::glVertex3f(c.x - u.x, c.y - u.y, c.z - u.z);
  dgl::glTexCoord2f(0, 1);
  dgl::glVertex3f(c.x + u.x, c.y + u.y, c.z + u.z);
  dgl::glTexCoord2f(1, 1);
  dgl::glVertex3f(c.x + r.x, c.y + r.y, c.z + r.z);
  dgl::glEnd();
}
