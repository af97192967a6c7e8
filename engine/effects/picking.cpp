// Picking through selection mode; see picking.h.
#include "engine/effects/picking.h"

#include <array>

#include "engine/anim/anim.h"
#include "engine/render/engine_state.h"
#include "engine/render/object_render.h"
#include "engine/render/scene_render.h"
#include "window/gl_demo.h"

int32_t _3DV_PickX = 0;
int32_t _3DV_PickY = 0;

namespace {

// One name on the stack makes every hit record four words: name count,
// minimum depth, maximum depth, name.
constexpr int kSelectWords = 512;
constexpr int kHitWords = 4;
constexpr int kPickRowFlip = 479;  // the window is taken to be 480 rows high

}  // namespace

int32_t _3DV_PickScene(const _3DV_SCENE &scene, float t) {
  GLint viewport[4] = {};
  dgl::glGetIntegerv(GL_VIEWPORT, viewport);
  std::array<GLuint, kSelectWords> buffer{};
  dgl::glSelectBuffer(kSelectWords, buffer.data());
  dgl::glRenderMode(GL_SELECT);
  dgl::glInitNames();
  dgl::glPushName(0);

  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glMatrixMode(GL_TEXTURE);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPickMatrix(_3DV_PickX, kPickRowFlip - _3DV_PickY, 1.0, 1.0, viewport);
  dgl::gluPerspective(_3DV_FovDegrees(scene), 4.0 / 3.0, scene.cameranear, scene.camerafar);
  const float s = _3DV_ProjectionScale;
  dgl::glScalef(s, s, s);

  _3DV_GetCameraAt(_3DV_CameraPos, _3DV_CameraTarget, scene, t);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::gluLookAt(_3DV_CameraPos.x, _3DV_CameraPos.y, _3DV_CameraPos.z, _3DV_CameraTarget.x,
                 _3DV_CameraTarget.y, _3DV_CameraTarget.z, 0, 0, 1);

  for (int i = 0; i < _3DV_LIGHT_COUNT; ++i) dgl::glDisable(GL_LIGHT0 + i);
  dgl::glDisable(GL_BLEND);
  dgl::glDepthMask(GL_TRUE);

  for (const int32_t k : _3DV_DrawingOrder(scene)) {
    const _3DV_OBJECT &o = scene.objects[k];
    _3DV_ApplyMaterialStates(scene.materials[o.material]);
    dgl::glDepthFunc(GL_LESS);
    dgl::glLoadName(GLuint(k + 1));
    _3DV_RenderObject(scene, k, t);
  }

  dgl::glDisable(GL_ALPHA_TEST);
  dgl::glDepthMask(GL_TRUE);
  const GLint hits = dgl::glRenderMode(GL_RENDER);

  // A negative count is an overflow: no answer.
  if (hits <= 0) return 0;
  GLuint picked = buffer[3];
  GLuint nearest = buffer[1];
  for (GLint k = 1; k < hits && (k + 1) * kHitWords <= kSelectWords; ++k) {
    if (buffer[k * kHitWords + 1] < nearest) {
      picked = buffer[k * kHitWords + 3];
      nearest = buffer[k * kHitWords + 1];
    }
  }
  return int32_t(picked);
}
