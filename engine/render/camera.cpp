// Camera set-up, object lookups and the scaled render; see camera.h.
#include "engine/render/camera.h"

#include "engine/anim/anim.h"
#include "engine/render/engine_state.h"
#include "engine/render/object_render.h"
#include "engine/render/scene_render.h"
#include "window/gl_demo.h"

namespace {

// Scene coordinates are taken 100000 times smaller before the projection.
constexpr float kWorldScale = 0.00001f;

void CheckCamera(const _3DV_SCENE &scene) {
  if (scene.camerapositioncount == 0 || scene.cameratargetcount == 0) {
    _3DV_Log("V3IZozu: Scene not renderable without camera animation target and position track");
  }
}

void SetupProjection(const _3DV_SCENE &scene) {
  CheckCamera(scene);
  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glMatrixMode(GL_TEXTURE);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(_3DV_FovDegrees(scene), 4.0 / 3.0, scene.cameranear, scene.camerafar);
  dgl::glScalef(kWorldScale, kWorldScale, kWorldScale);
}

void LookAt(_3DV_VECTOR eye, _3DV_VECTOR target) {
  dgl::gluLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, 0, 0, 1);
}

void SetVisible(_3DV_SCENE &scene, std::string_view name, bool visible) {
  if (!scene.objects) return;
  for (int32_t i = 0; i < scene.objectcount; ++i) {
    if (scene.objects[i].name.view() == name) scene.objects[i].visible = visible;
  }
}

void ScaleProjection(float x, float y, float z) {
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glScalef(x, y, z);
  dgl::glMatrixMode(GL_MODELVIEW);
}

}  // namespace

void _3DV_SetupCamera(const _3DV_SCENE &scene, float t) {
  SetupProjection(scene);
  _3DV_VECTOR eye, target;
  _3DV_GetCameraAt(eye, target, scene, t);
  LookAt(eye, target);
}

void _3DV_SetupCameraLookAt(const _3DV_SCENE &scene, _3DV_VECTOR eye, _3DV_VECTOR target) {
  SetupProjection(scene);
  LookAt(eye, target);
}

void _3DV_ShowObject(_3DV_SCENE &scene, std::string_view name) { SetVisible(scene, name, true); }

void _3DV_HideObject(_3DV_SCENE &scene, std::string_view name) { SetVisible(scene, name, false); }

int32_t _3DV_FindObjectIndex(const _3DV_SCENE &scene, std::string_view name) {
  int32_t found = _3DV_NO_OBJECT;
  if (!scene.objects) return found;
  for (int32_t i = 0; i < scene.objectcount; ++i) {
    if (scene.objects[i].name.view() == name) found = i;
  }
  return found;
}

void _3DV_RenderSceneScaled(_3DV_SCENE scene, float t, float sx, float sy, float sz, float s,
                            int32_t special) {
  CheckCamera(scene);
  _3DV_SetupCamera(scene, t);
  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glDisable(GL_BLEND);
  ScaleProjection(sx, sy, sz);
  _3DV_SetScale(s, s, s);
  for (int32_t i = 0; i < scene.objectcount; ++i) {
    if (i != special) _3DV_RenderObject(scene, i, t);
  }
  _3DV_SetScale(1, 1, 1);
  ScaleProjection(1, 1, -1);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  _3DV_RenderObject(scene, special, 0.0f);
  dgl::glDisable(GL_BLEND);
  for (int32_t i = 0; i < scene.objectcount; ++i) {
    if (i != special) _3DV_RenderObject(scene, i, t);
  }
}
