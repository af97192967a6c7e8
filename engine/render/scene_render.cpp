// The scene renderers; see scene_render.h.
#include "engine/render/scene_render.h"

#include <algorithm>
#include <numbers>
#include <vector>

#include "engine/anim/anim.h"
#include "engine/render/engine_state.h"
#include "engine/render/object_render.h"
#include "window/gl_demo.h"

namespace {

constexpr double kAspect = 4.0 / 3.0;  // whatever the viewport's shape

enum class Member { Clipped, Mirror, Simple, Vbo };

struct BlendRow {
  GLenum source, destination;
};
// Blend codes 1..4; 0 switches blending off, others leave it.
constexpr BlendRow kBlends[] = {{GL_ONE, GL_ONE},
                                {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
                                {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA},
                                {GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR}};

struct DepthRow {
  GLboolean writes;
  bool test;
};
// Depth codes 0..3.
constexpr DepthRow kDepths[] = {{GL_TRUE, true}, {GL_FALSE, true}, {GL_TRUE, false},
                                {GL_FALSE, false}};

// Depth-function codes 0..4; any other is GL_LESS.
constexpr GLenum kDepthFuncs[] = {GL_LESS, GL_LEQUAL, GL_EQUAL, GL_GREATER, GL_GEQUAL};

void SetLights(const _3DV_SCENE &scene, float t) {
  for (int i = 0; i < _3DV_LIGHT_COUNT; ++i) {
    const _3DV_LIGHT &light = scene.lights[i];
    const GLenum id = GL_LIGHT0 + i;
    if (!light.enabled) {
      dgl::glDisable(id);
      continue;
    }
    dgl::glEnable(id);
    // OpenGL reads four components; the records hold three.
    const GLfloat ambient[4] = {light.ambient.r, light.ambient.g, light.ambient.b, 1};
    const GLfloat diffuse[4] = {light.diffuse.r, light.diffuse.g, light.diffuse.b, 1};
    const GLfloat specular[4] = {light.specular.r, light.specular.g, light.specular.b, 1};
    dgl::glLightfv(id, GL_AMBIENT, ambient);
    dgl::glLightfv(id, GL_DIFFUSE, diffuse);
    dgl::glLightfv(id, GL_SPECULAR, specular);
    dgl::glLightf(id, GL_SPOT_CUTOFF, 180.0f);
    _3DV_VECTOR p = light.pos;
    if (light.positionkeycount > 0) _3DV_GetLightPositionAt(p, scene, i, t);
    const GLfloat position[4] = {p.x, p.y, p.z, 1};
    dgl::glLightfv(id, GL_POSITION, position);
  }
}

void LoadView() {
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::gluLookAt(_3DV_CameraPos.x, _3DV_CameraPos.y, _3DV_CameraPos.z, _3DV_CameraTarget.x,
                 _3DV_CameraTarget.y, _3DV_CameraTarget.z, 0, 0, 1);
}

void RenderScene(const _3DV_SCENE &scene, const _3DV_SCENE &cameraScene, float t,
                 float cameraTime, Member member) {
  const bool clipped = member == Member::Clipped || member == Member::Mirror;
  const bool projectionScaled = member == Member::Simple || member == Member::Vbo;

  _3DV_CheckCamera(cameraScene);
  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glMatrixMode(GL_TEXTURE);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(_3DV_FovDegrees(cameraScene), kAspect, cameraScene.cameranear,
                      cameraScene.camerafar);
  if (projectionScaled) {
    const float s = _3DV_ProjectionScale;
    dgl::glScalef(s, s, s);
  }
  _3DV_GetCameraAt(_3DV_CameraPos, _3DV_CameraTarget, cameraScene, cameraTime);

  if (member == Member::Vbo) {
    // The lights go in under whatever model-view the caller left.
    SetLights(scene, t);
    LoadView();
  } else {
    LoadView();
    if (member == Member::Mirror) {
      dgl::glScalef(_3DV_SceneScale[0], _3DV_SceneScale[1], _3DV_SceneScale[2]);
    }
    if (clipped && _3DV_ClipPlaneEnabled) {
      dgl::glEnable(GL_CLIP_PLANE0);
      dgl::glClipPlane(GL_CLIP_PLANE0, _3DV_ClipPlane);
    }
    SetLights(scene, t);
  }

  dgl::glDisable(GL_BLEND);
  dgl::glDepthMask(GL_TRUE);
  dgl::glDisable(GL_LIGHTING);
  dgl::glColor3f(1, 1, 1);

  for (const int32_t k : _3DV_DrawingOrder(scene)) {
    const _3DV_OBJECT &o = scene.objects[k];
    const _3DV_MATERIAL &m = scene.materials[o.material];
    _3DV_ApplyMaterialStates(m);
    if (member != Member::Simple) {
      dgl::glDepthFunc(GL_LESS);
      dgl::glDepthFunc(m.depthfunc < std::size(kDepthFuncs) ? kDepthFuncs[m.depthfunc] : GL_LESS);
    }
    if (member == Member::Vbo) {
      _3DV_RenderObjectVBO(scene, k, t);
    } else {
      _3DV_RenderObject(scene, k, t);
    }
  }

  dgl::glDisable(GL_ALPHA_TEST);
  dgl::glDepthMask(GL_TRUE);
  if (clipped) dgl::glDisable(GL_CLIP_PLANE0);
}

}  // namespace

std::span<const int32_t> _3DV_DrawingOrder(const _3DV_SCENE &scene) {
  static std::vector<int32_t> order;
  order.clear();
  if (!scene.objects) return {};
  for (int32_t k = 0; k < scene.objectcount; ++k) {
    const _3DV_OBJECT &o = scene.objects[k];
    if (!o.visible || o.passno < 0 || o.passno > scene.passcount) continue;
    if (!_3DV_MaterialOf(scene, o)) continue;
    order.push_back(k);
  }
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return scene.objects[a].passno < scene.objects[b].passno;
  });
  return order;
}

void _3DV_ApplyMaterialStates(const _3DV_MATERIAL &m) {
  if (m.alphatest != 0.0f) {
    dgl::glEnable(GL_ALPHA_TEST);
    dgl::glAlphaFunc(GL_GREATER, m.alphatest);
  } else {
    dgl::glDisable(GL_ALPHA_TEST);
  }
  if (m.blend == 0) {
    dgl::glDisable(GL_BLEND);
  } else if (m.blend <= std::size(kBlends)) {
    dgl::glEnable(GL_BLEND);
    dgl::glBlendFunc(kBlends[m.blend - 1].source, kBlends[m.blend - 1].destination);
  }
  if (m.depthtest < std::size(kDepths)) {
    const DepthRow &d = kDepths[m.depthtest];
    dgl::glDepthMask(d.writes);
    if (d.test) {
      dgl::glEnable(GL_DEPTH_TEST);
    } else {
      dgl::glDisable(GL_DEPTH_TEST);
    }
  }
}

double _3DV_FovDegrees(const _3DV_SCENE &scene) {
  const float degreesTimesPi = scene.camerafov * 180.0f;  // single precision, as stored
  return double(degreesTimesPi) / std::numbers::pi;
}

void _3DV_CheckCamera(const _3DV_SCENE &scene) {
  if (scene.camerapositioncount == 0 || scene.cameratargetcount == 0) {
    _3DV_Log("V3IZOZU: Scene not renderable without camera animation target and position track");
  }
}

void _3DV_RenderSceneClipped(const _3DV_SCENE &scene, float t) {
  RenderScene(scene, scene, t, t, Member::Clipped);
}

void _3DV_RenderSceneMirror(const _3DV_SCENE &scene, const _3DV_SCENE &cameraScene, float t,
                            float cameraTime) {
  RenderScene(scene, cameraScene, t, cameraTime, Member::Mirror);
}

void _3DV_RenderSceneSimple(const _3DV_SCENE &scene, float t) {
  RenderScene(scene, scene, t, t, Member::Simple);
}

void _3DV_RenderSceneVBO(const _3DV_SCENE &scene, float t) {
  RenderScene(scene, scene, t, t, Member::Vbo);
}
