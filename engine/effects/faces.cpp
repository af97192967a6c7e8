// Face accessors; see faces.h.
#include "engine/effects/faces.h"

namespace {

int32_t Entry(const _3DV_FACE *array, int32_t face, int32_t k) {
  const int32_t e = k % 3;
  return e < 0 ? 0 : array[face].v[e];
}

}  // namespace

int32_t _3DV_GetFaceVertex(const _3DV_OBJECT &object, int32_t face, int32_t corner) {
  return Entry(object.origfaces, face, corner);
}

int32_t _3DV_GetFaceListVertex(const _3DV_OBJECT &object, int32_t face, int32_t corner) {
  return Entry(object.faces, face, corner);
}

int32_t _3DV_GetNeighbour(const _3DV_OBJECT &object, int32_t face, int32_t edge) {
  return Entry(object.neighbours, face, edge);
}

void _3DV_SetNeighbour(_3DV_OBJECT &object, int32_t face, int32_t edge, int32_t neighbour) {
  const int32_t e = edge % 3;
  if (e >= 0) object.neighbours[face].v[e] = neighbour;
}
