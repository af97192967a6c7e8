// Which object of a scene lies under one window pixel at frame t.
//
// _3DV_PickScene renders the scene once more in selection mode through a
// one-pixel pick matrix at (_3DV_PickX, 479 - _3DV_PickY) (y counted down
// from the top of a 480-pixel window), with the camera, passes and
// per-material states of the scene renderers but no lights, naming each
// object by its 1-based number. It returns the number of the hit with the
// smallest minimum depth (the first of equals), or 0 for no hit or a
// selection-buffer overflow (more than 128 hits). Nothing reaches the
// colour buffer. It leaves render mode GL_RENDER, the pick projection and
// the camera view loaded, lights 0 to 7 off.
//
// The application sets _3DV_PickX and _3DV_PickY; the engine never writes
// them. Main thread only, with the context current.
#pragma once

#include <cstdint>

#include "engine/scene/records.h"

extern int32_t _3DV_PickX;
extern int32_t _3DV_PickY;

int32_t _3DV_PickScene(const _3DV_SCENE &scene, float t);
