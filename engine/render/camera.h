// The client-facing camera set-up, objects found by name, and the scaled
// two-pass scene render.
//
// _3DV_SetupCamera loads the whole camera (projection, the fixed 1/100000
// world scale and the view) into the projection matrix and leaves the
// model-view matrix the identity; unlike the scene renderers it keeps its
// eye and target to itself. A scene with an empty camera track logs
// "V3IZozu: Scene not renderable without camera animation target and
// position track" and is still set up.
//
// Names compare exactly (length and case). _3DV_FindObjectIndex gives the
// last match, or 65535 when none matches.
//
// _3DV_RenderSceneScaled draws every object but `special` under an extra
// scale of the projection (sx, sy, sz) (with (1, 1, -1): mirrored in
// z = 0), then `special` additively at frame 0 over the result, then the
// others again; the projection ends multiplied by (1, 1, -1) as well. It
// ignores visible and passno. s only reaches _3DV_Scale, which no renderer
// applies.
//
// Main thread only, with the context current.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/scene/records.h"

// No object of that name.
constexpr int32_t _3DV_NO_OBJECT = 65535;

void _3DV_SetupCamera(const _3DV_SCENE &scene, float t);
void _3DV_SetupCameraLookAt(const _3DV_SCENE &scene, _3DV_VECTOR eye, _3DV_VECTOR target);

void _3DV_ShowObject(_3DV_SCENE &scene, std::string_view name);
void _3DV_HideObject(_3DV_SCENE &scene, std::string_view name);
int32_t _3DV_FindObjectIndex(const _3DV_SCENE &scene, std::string_view name);

void _3DV_RenderSceneScaled(_3DV_SCENE scene, float t, float sx, float sy, float sz, float s,
                            int32_t special);
