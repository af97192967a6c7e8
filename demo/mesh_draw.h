// Drawing the demo's triangle meshes, and the sphere-map state block that
// projects an environment texture onto them.
//
// A mesh is drawn as one glDrawElements(GL_TRIANGLES) of its loaded arrays:
// the faces, in file order, index the vertices and the attribute array (the
// normal, or for a textured mesh its u, v), which are enabled for the draw
// only; afterwards the current attribute is the last corner's. The mesh
// records are the loaded file blocks (resources.h), whose face indices the
// loader has already checked against the vertex count; the drawing trusts
// them and reads nothing beyond the arrays.
//
// Lighting stays off for every mesh draw: a mesh shows the current colour
// times the sphere-mapped texture, blended as the caller set it up. None of
// these functions touches matrices, colour, blending or depth state.
// Main thread only, with the demo's context current.
#pragma once

#include <cstdint>

#include "demo/resources.h"

// The triangle loop with a normal per corner (coin, Deckf, alap, csap).
void DrawMesh(const TMeshRecord &mesh);
// The triangle loop with a texture coordinate per corner: the first two of
// each triple of the third array (tft).
void DrawTexturedMesh(const TMeshRecord &mesh);

// Before the loop: binds the environment texture and turns on sphere-map
// generation of s and t.
void BeginSphereMap(int32_t texture);
// After the loop: generation of s and t, lighting and face culling off.
void EndSphereMap();
