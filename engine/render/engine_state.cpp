// The engine's shared values; see engine_state.h.
#include "engine/render/engine_state.h"

#include <string>

#include "framework/log.h"
#include "window/gl_demo.h"

uint32_t _3DV_RenderTargets[_3DV_RENDER_TARGET_COUNT] = {};
uint32_t _3DV_GlowTexture = 0;

_3DV_VECTOR _3DV_Offset;
float _3DV_SceneScale[3];
float _3DV_ProjectionScale;
float _3DV_Scale[3];
_3DV_RGB _3DV_Color;
int32_t _3DV_FlarePointSize;
int32_t _3DV_GlowSize;
_3DV_BOOLEAN _3DV_Anisotropic;
_3DV_BOOLEAN _3DV_ClipPlaneEnabled;
double _3DV_ClipPlane[4];
float _3DV_FaceFraction;
_3DV_VECTOR _3DV_CameraPos;
_3DV_VECTOR _3DV_CameraTarget;

int32_t _3DV_FacesDrawn = 0;
int32_t _3DV_ObjectsDrawn = 0;
int32_t _3DV_ParticlesDrawn = 0;

void _3DV_EngineUnitInit() {
  _3DV_Offset = {0, 0, 0};
  _3DV_SceneScale[0] = _3DV_SceneScale[1] = _3DV_SceneScale[2] = 1;
  _3DV_ProjectionScale = 1;
  _3DV_Scale[0] = _3DV_Scale[1] = _3DV_Scale[2] = 1;
  _3DV_Color = {1, 1, 1};
  _3DV_FlarePointSize = 5;
  _3DV_GlowSize = 8;
  _3DV_Anisotropic = 1;
  _3DV_ClipPlaneEnabled = 0;
  for (double &c : _3DV_ClipPlane) c = 0;
  _3DV_FaceFraction = -1;
  _3DV_CameraPos = _3DV_CameraTarget = {0, 0, 0};
  _3DV_FacesDrawn = _3DV_ObjectsDrawn = _3DV_ParticlesDrawn = 0;
}

void _3DV_SetColor(float r, float g, float b) { _3DV_Color = {r, g, b}; }

void _3DV_SetScale(float x, float y, float z) {
  _3DV_Scale[0] = x;
  _3DV_Scale[1] = y;
  _3DV_Scale[2] = z;
}

void _3DV_SetOffset(float x, float y, float z) { _3DV_Offset = {x, y, z}; }

void _3DV_Log(std::string_view message) {
  std::string line(message.substr(0, 255));
  line += '\n';
  SYS_LogStr(line.c_str());
}

void _3DV_ClearScreen() {
  dgl::glClearColor(0, 0, 0, 0);
  dgl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  dgl::glClear(GL_STENCIL_BUFFER_BIT);
}
