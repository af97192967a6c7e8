// Light flares: a camera-facing textured billboard at every object whose
// material has a flaresize above 0, centred on the object's pivot moved by
// its position track, with the material's texture and half-diagonal
// flaresize, added to the picture without depth test or depth writes.
//
// How much of a flare shows is only its colour: flarecolor, measured by
// the flare occlusion pass earlier in the frame (black when the centre is
// hidden, and a black flare adds nothing). visible is not consulted, as
// the occlusion pass hides the flare objects' own geometry. An object
// whose material index names no material has no flare. With no billboard
// basis (the camera looks along y alone) nothing is drawn.
//
// Leaves depth writes on and, when a flare was drawn, culling, depth test
// and lighting off with additive blending on. Main thread only, with the
// context current and the camera of the frame's scene render set.
#pragma once

#include "engine/scene/records.h"

void _3DV_RenderFlares(const _3DV_SCENE &scene, float t);
