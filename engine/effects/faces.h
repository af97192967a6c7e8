// One entry of an object's per-face triples: the corner vertex indices of
// origfaces and faces, and the neighbour entries of neighbours.
//
// Entry e of a neighbours triple is the face across the edge from corner e
// to corner (e + 1) mod 3, or -1. Every accessor uses entry k mod 3 (a
// signed remainder), so callers may pass the next corner without reducing
// it; a negative k makes the getters answer 0 and the setter do nothing.
// The face index is the caller's to keep inside 0..facecount-1, and the
// array must exist (the neighbour search and the shadow code walk faces
// they know to be there).
#pragma once

#include <cstdint>

#include "engine/scene/records.h"

int32_t _3DV_GetFaceVertex(const _3DV_OBJECT &object, int32_t face, int32_t corner);
int32_t _3DV_GetFaceListVertex(const _3DV_OBJECT &object, int32_t face, int32_t corner);
int32_t _3DV_GetNeighbour(const _3DV_OBJECT &object, int32_t face, int32_t edge);
void _3DV_SetNeighbour(_3DV_OBJECT &object, int32_t face, int32_t edge, int32_t neighbour);
