// Drawing a whole scene at an animation frame t: projection and view from
// the camera tracks, the eight lights, then every visible object pass by
// pass with its material's alpha-test, blend, depth and depth-function
// states. Four members share one core:
//
//   _3DV_RenderSceneClipped  the full renderer: optional user clip plane 0,
//                            per-material depth functions;
//   _3DV_RenderSceneMirror   lights and objects of scene at t, projection
//                            and camera of cameraScene at cameraTime, with
//                            _3DV_SceneScale multiplied onto the view;
//   _3DV_RenderSceneSimple   no clip plane, no depth-function calls,
//                            _3DV_ProjectionScale on the projection;
//   _3DV_RenderSceneVBO      as Simple, objects through
//                            _3DV_RenderObjectVBO, lights set before the
//                            view is loaded.
//
// Passes run 0..passcount; an object whose passno lies outside never draws,
// and within a pass objects draw in array order. The objects are gathered
// once per call, sorted by pass (stably), so a huge passcount costs nothing.
// An object whose material index names no material is skipped with its
// states. The renderers neither clear nor swap; they leave the camera of
// the call in _3DV_CameraPos and _3DV_CameraTarget for the drawers that
// follow in the same frame.
//
// Main thread only, with the context current; not re-entrant.
#pragma once

#include <cstdint>
#include <span>

#include "engine/scene/records.h"

void _3DV_RenderSceneClipped(const _3DV_SCENE &scene, float t);
void _3DV_RenderSceneMirror(const _3DV_SCENE &scene, const _3DV_SCENE &cameraScene, float t,
                            float cameraTime);
void _3DV_RenderSceneSimple(const _3DV_SCENE &scene, float t);
void _3DV_RenderSceneVBO(const _3DV_SCENE &scene, float t);

// Shared with picking.

// The indexes of the visible objects with a material, in drawing order:
// pass 0 to passcount, array order within a pass. The span stays valid
// until the next call.
std::span<const int32_t> _3DV_DrawingOrder(const _3DV_SCENE &scene);

// Alpha test, blend code and depth code of a material (codes outside the
// tables change nothing).
void _3DV_ApplyMaterialStates(const _3DV_MATERIAL &material);

// The field of view handed to gluPerspective, in degrees.
double _3DV_FovDegrees(const _3DV_SCENE &scene);

// Logs the camera line when a camera track of the scene is empty.
void _3DV_CheckCamera(const _3DV_SCENE &scene);
