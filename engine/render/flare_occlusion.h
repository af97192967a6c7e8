// How much of each flare shows, measured by drawing.
//
// _3DV_RenderSceneOcclusion sets up the scene's camera at t (as the scene
// renderers do, with _3DV_SceneScale on the projection), draws every flare
// centre (pivot moved by the position track of an object whose material
// has a flaresize above 0) as a smooth point of _3DV_FlarePointSize pixels
// in the material's ambient colour, then every visible object whose
// material has a flaresize of exactly 0 over it in black, and reads back
// the 3 x 3 pixels around each centre: the brightest value of each channel
// becomes the object's flarecolor. A covered centre thus reads black, an
// uncovered one the ambient colour; pixels the point leaves bare give the
// clear colour. A centre whose raster position is not valid (behind the
// camera or clipped away) reads black, and block pixels outside the window
// count as black.
//
// Flare objects lose their visible flag for good, so the scene renderers
// no longer draw their geometry. Objects whose material index names no
// material are neither flares nor occluders. Draws into the current colour
// and depth buffers without clearing them; leaves point smoothing on,
// texturing, blending and alpha test off, depth writes and test on and
// the view loaded. Main thread only, with the context current.
#pragma once

#include "engine/scene/records.h"

void _3DV_RenderSceneOcclusion(_3DV_SCENE &scene, float t);
