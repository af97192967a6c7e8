// The flare occlusion pass; see flare_occlusion.h.
#include "engine/render/flare_occlusion.h"

#include <algorithm>
#include <cmath>

#include "engine/anim/anim.h"
#include "engine/render/engine_state.h"
#include "engine/render/object_render.h"
#include "engine/render/scene_render.h"
#include "window/gl_demo.h"

namespace {

constexpr double kAspect = 4.0 / 3.0;

const _3DV_MATERIAL *FlareMaterial(const _3DV_SCENE &scene, const _3DV_OBJECT &o) {
  const _3DV_MATERIAL *m = _3DV_MaterialOf(scene, o);
  return m && m->flaresize > 0 ? m : nullptr;
}

_3DV_VECTOR Centre(const _3DV_SCENE &scene, const _3DV_OBJECT &o, int32_t index, float t) {
  _3DV_VECTOR p = {0, 0, 0};
  if (o.positionkeycount != 0) _3DV_GetObjectPositionAt(p, scene, index, t);
  return {o.pivot.x + p.x, o.pivot.y + p.y, o.pivot.z + p.z};
}

_3DV_RGB ReadBack(_3DV_VECTOR c) {
  dgl::glRasterPos3f(c.x, c.y, c.z);
  GLint valid = 0;
  dgl::glGetIntegerv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
  if (!valid) return {0, 0, 0};
  GLfloat window[4] = {0, 0, 0, 0};
  dgl::glGetFloatv(GL_CURRENT_RASTER_POSITION, window);
  // Pixels outside the window are not written by the read: they stay 0.
  GLfloat block[3 * 3 * 3] = {};
  dgl::glReadPixels(GLint(std::trunc(window[0])) - 1, GLint(std::trunc(window[1])) - 1, 3, 3,
                    GL_RGB, GL_FLOAT, block);
  _3DV_RGB out = {0, 0, 0};
  for (int p = 0; p < 9; ++p) {
    out.r = std::max(out.r, block[3 * p]);
    out.g = std::max(out.g, block[3 * p + 1]);
    out.b = std::max(out.b, block[3 * p + 2]);
  }
  return out;
}

}  // namespace

void _3DV_RenderSceneOcclusion(_3DV_SCENE &scene, float t) {
  _3DV_CheckCamera(scene);
  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glMatrixMode(GL_TEXTURE);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(_3DV_FovDegrees(scene), kAspect, scene.cameranear, scene.camerafar);
  dgl::glScalef(_3DV_SceneScale[0], _3DV_SceneScale[1], _3DV_SceneScale[2]);
  _3DV_GetCameraAt(_3DV_CameraPos, _3DV_CameraTarget, scene, t);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::gluLookAt(_3DV_CameraPos.x, _3DV_CameraPos.y, _3DV_CameraPos.z, _3DV_CameraTarget.x,
                 _3DV_CameraTarget.y, _3DV_CameraTarget.z, 0, 0, 1);

  dgl::glDisable(GL_BLEND);
  dgl::glDepthMask(GL_TRUE);
  dgl::glDisable(GL_TEXTURE_2D);

  const int32_t count = scene.objects ? scene.objectcount : 0;
  for (int32_t k = 0; k < count; ++k) {
    _3DV_OBJECT &o = scene.objects[k];
    const _3DV_MATERIAL *m = FlareMaterial(scene, o);
    if (!m) continue;
    o.visible = 0;
    const _3DV_VECTOR c = Centre(scene, o, k, t);
    dgl::glEnable(GL_POINT_SMOOTH);
    dgl::glPointSize(GLfloat(_3DV_FlarePointSize));
    dgl::glColor3f(m->ambient.r, m->ambient.g, m->ambient.b);
    dgl::glBegin(GL_POINTS);
    dgl::glVertex3f(c.x, c.y, c.z);
    dgl::glEnd();
  }

  for (int32_t k = 0; k < count; ++k) {
    const _3DV_OBJECT &o = scene.objects[k];
    const _3DV_MATERIAL *m = _3DV_MaterialOf(scene, o);
    if (o.visible && m && m->flaresize == 0.0f) _3DV_RenderObjectDepth(scene, k, t);
  }

  for (int32_t k = 0; k < count; ++k) {
    _3DV_OBJECT &o = scene.objects[k];
    if (FlareMaterial(scene, o)) o.flarecolor = ReadBack(Centre(scene, o, k, t));
  }

  dgl::glDisable(GL_ALPHA_TEST);
  dgl::glDepthMask(GL_TRUE);
}
