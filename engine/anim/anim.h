// Key tracks turned into positions at a frame time.
//
// A track is a key count and that many keys, expected in ascending frame
// order; frames are whole numbers, the time a float in the same unit. The
// camera's eye and target follow uniform Catmull-Rom curves (written as
// cubic Beziers, with the tangents _3DV_CameraTangents stores once per
// loaded scene); objects and lights move in straight lines between keys.
// At or before the first key's frame the first key holds, at or after the
// last key's frame the last one: no looping, no extrapolation. A time that
// is not a number gives the first key.
//
// A track without keys, an object index outside the scene, or a light
// index outside 0..7 gives (0, 0, 0); no key outside a track is ever read.
// Nothing is kept between calls. Main thread only.
#pragma once

#include <cstdint>

#include "engine/scene/records.h"

// Module initialisation; the unit has nothing to set up.
void _3DV_AnimUnitInit();

// (next - previous) / 6 for x, y and z; the frames play no part.
_3DV_VECTOR _3DV_SplineTangent(_3DV_KEYVECTOR previous, _3DV_KEYVECTOR next);

// Fills camerapositionease and cameratargetease (each one tangent per key;
// a track of one key gets tangent 0). Called once after loading a scene;
// an absent ease array is left alone.
void _3DV_CameraTangents(_3DV_SCENE &scene);

void _3DV_GetCameraAt(_3DV_VECTOR &eye, _3DV_VECTOR &target, const _3DV_SCENE &scene, float t);
void _3DV_GetObjectPositionAt(_3DV_VECTOR &position, const _3DV_SCENE &scene, int32_t object,
                              float t);
void _3DV_GetLightPositionAt(_3DV_VECTOR &position, const _3DV_SCENE &scene, int32_t light,
                             float t);
