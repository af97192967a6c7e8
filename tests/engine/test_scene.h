// Scenes built in memory for the renderer tests: every array comes from the
// allocator the scene reader takes for it (the framework's tracked memory
// for what a file holds, _3DV_MemGet for what is derived after loading), so
// _3DV_FreeScene can hand them back.
//
// The camera looks from (0, -8, 0) at the origin, z up, 45 degrees. Objects
// are flat panels in an x-z plane facing the camera: `columns` quads side
// by side, two triangles each, left to right, so a leading share of the
// faces covers the left part of the panel.
#pragma once

#include <cstring>
#include <numbers>
#include <string_view>

#include "engine/render/engine_state.h"
#include "engine/scene/records.h"
#include "framework/base.h"

namespace ember_test {

template <typename T>
T *EngineArray(int32_t count) {
  return static_cast<T *>(_3DV_MemGet(count * int32_t(sizeof(T)), "test scene"));
}

// Absent when empty, as a loaded scene's arrays are.
template <typename T>
T *FileArray(int32_t count) {
  if (count <= 0) return nullptr;
  auto *array = static_cast<T *>(pasMemGet(size_t(count) * sizeof(T), "test scene"));
  std::memset(static_cast<void *>(array), 0, size_t(count) * sizeof(T));
  return array;
}

struct Panel {
  float x = 0, y = 0, z = 0;  // centre
  float half_width = 1, half_height = 1;
  int32_t columns = 1;
};

inline void MakePanel(_3DV_OBJECT &o, const Panel &p, std::string_view name) {
  const int32_t n = p.columns;
  o.name.assign(name);
  o.visible = 1;
  o.hasnormals = 1;
  o.hasuv = 1;
  o.vertexcount = 2 * (n + 1);
  o.facecount = 2 * n;
  o.vertices = FileArray<_3DV_VECTOR>(o.vertexcount);
  o.normals = FileArray<_3DV_VECTOR>(o.vertexcount);
  o.uvs = FileArray<_3DV_TEXTCOORD>(o.vertexcount);
  o.faces = FileArray<_3DV_FACE>(o.facecount);
  for (int32_t c = 0; c <= n; ++c) {
    const float u = float(c) / float(n);
    const float x = p.x - p.half_width + 2 * p.half_width * u;
    o.vertices[2 * c] = {x, p.y, p.z - p.half_height};
    o.vertices[2 * c + 1] = {x, p.y, p.z + p.half_height};
    o.normals[2 * c] = o.normals[2 * c + 1] = {0, -1, 0};
    o.uvs[2 * c] = {u, 0};
    o.uvs[2 * c + 1] = {u, 1};
  }
  for (int32_t c = 0; c < n; ++c) {
    const int32_t a = 2 * c;
    o.faces[2 * c] = {{a, a + 2, a + 3}};
    o.faces[2 * c + 1] = {{a, a + 3, a + 1}};
  }
}

// A scene of `objects` panels and `materials` plain white unlit materials;
// object k uses material k modulo the material count.
inline _3DV_SCENE MakeScene(int32_t objects, int32_t materials = 1) {
  _3DV_SCENE s{};
  s.name.assign("test");
  s.camerafov = std::numbers::pi_v<float> / 4;
  s.cameranear = 0.5f;
  s.camerafar = 100;
  s.camerapositioncount = s.cameratargetcount = 1;
  s.camerapositions = FileArray<_3DV_KEYVECTOR>(1);
  s.cameratargets = FileArray<_3DV_KEYVECTOR>(1);
  s.camerapositions[0] = {0, 0, -8, 0};
  s.cameratargets[0] = {0, 0, 0, 0};
  s.camerapositionease = EngineArray<_3DV_VECTOR>(1);
  s.cameratargetease = EngineArray<_3DV_VECTOR>(1);
  s.viewdistance = 1000;
  s.lightfactor = 1;
  s.materialcount = materials;
  s.materials = FileArray<_3DV_MATERIAL>(materials);
  for (int32_t m = 0; m < materials; ++m) {
    _3DV_MATERIAL &mat = s.materials[m];
    mat.utile = mat.vtile = 1;
    mat.ambient = mat.diffuse = {1, 1, 1};
    mat.constantalpha = 1;
  }
  s.objectcount = objects;
  s.objects = FileArray<_3DV_OBJECT>(objects);
  for (int32_t k = 0; k < objects; ++k) {
    MakePanel(s.objects[k], Panel{}, "panel");
    s.objects[k].material = k % materials;
  }
  return s;
}

}  // namespace ember_test
