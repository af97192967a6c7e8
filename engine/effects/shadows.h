// Stencil shadow volumes (depth pass) for one point light.
//
// For every object that is visible and casts a shadow, the faces turned
// away from the light are found on the processor (lightvisible: face
// normal . (centre + P - L) > 0, P the object's tracked position), and
// every edge of such a face whose neighbour is not one of them, or that
// has no neighbour, is a contour edge. Each contour edge a-b becomes a
// quad Va, Ea, Eb, Vb in the scene's volumearray, where V = vertex + P and
// E = V + k (V - L), k = _3DV_ShadowExtrusion. Only the position track
// moves a volume: pivot, rotation and matrix are not applied.
//
// _3DV_RenderShadowVolumes uploads each object's quads into the scene's
// volumebuffer and draws them through volumeindexbuffer twice with colour
// and depth writes off and depth function GL_LEQUAL: front faces
// increment the stencil, back faces decrement it (saturating). Afterwards
// the stencil is non-zero where the depth-buffer point of a pixel lies in
// a volume. It neither clears the stencil nor draws the shadowed scene.
// It leaves the stencil test on with GL_ALWAYS, culling (back faces) and
// depth test on with GL_LEQUAL, lighting and blending off, colour and
// depth writes on, texturing on and both buffer bindings 0.
//
// The scene comes from the scene reader: it made the volume arrays (room
// for three quads per face of the whole scene), face normals and centres,
// neighbours in range, lightvisible and contour, and the two buffers. An
// object without those arrays casts nothing.
//
// Main thread only, with the context current.
#pragma once

#include "engine/scene/records.h"

// The extrusion factor of _3DV_BuildShadowVolume; set from the scene's
// shadowextrusion by each _3DV_RenderShadowVolumes.
extern float _3DV_ShadowExtrusion;

void _3DV_RenderShadowVolumes(_3DV_SCENE &scene, _3DV_VECTOR light, float t);

// The three steps of one object, in this order.
void _3DV_CalcLightVisible(_3DV_OBJECT &object, _3DV_VECTOR light, _3DV_VECTOR position);
void _3DV_FindContour(_3DV_OBJECT &object);
void _3DV_BuildShadowVolume(_3DV_SCENE &scene, _3DV_OBJECT &object, _3DV_VECTOR light,
                            _3DV_VECTOR position);
