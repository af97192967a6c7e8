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

#include <algorithm>
#include <cstring>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include "engine/render/engine_state.h"
#include "engine/scene/records.h"
#include "engine/scene/scene_reader.h"
#include "engine/scene/scene_textures.h"
#include "engine/scene/scene_writer.h"
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

// A triangle mesh by its corners and faces (corner indices).
struct Mesh {
  std::vector<_3DV_VECTOR> vertices;
  std::vector<_3DV_FACE> faces;
  bool castshadow = true;
};

// A scene of MakeScene's camera and material with one object per mesh,
// written as a scene file and read back, so that it holds what the reader
// derives (normals, centres, neighbours, shadow-volume arrays). The type
// sizes must be set up. Empty with the reason in `error` on failure.
inline _3DV_SCENE ReadMeshes(const std::vector<Mesh> &meshes, std::string &error) {
  _3DV_SCENE s = MakeScene(int32_t(meshes.size()));
  for (size_t k = 0; k < meshes.size(); ++k) {
    _3DV_OBJECT &o = s.objects[k];
    const Mesh &m = meshes[k];
    pasMemFree(&o.vertices);
    pasMemFree(&o.faces);
    pasMemFree(&o.normals);
    pasMemFree(&o.uvs);
    o.hasnormals = o.hasuv = 0;
    o.castshadow = m.castshadow;
    o.vertexcount = int32_t(m.vertices.size());
    o.facecount = int32_t(m.faces.size());
    o.vertices = FileArray<_3DV_VECTOR>(o.vertexcount);
    o.faces = FileArray<_3DV_FACE>(o.facecount);
    o.origfaces = FileArray<_3DV_FACE>(o.facecount);
    o.neighbours = FileArray<_3DV_FACE>(o.facecount);
    std::copy(m.vertices.begin(), m.vertices.end(), o.vertices);
    std::copy(m.faces.begin(), m.faces.end(), o.faces);
    std::copy(m.faces.begin(), m.faces.end(), o.origfaces);
    _3DV_CalcNeighbours(o);
  }
  std::vector<uint8_t> bytes;
  const bool written = _3DV_WriteSceneBytes(s, bytes, error);
  _3DV_FreeScene(s);
  _3DV_SCENE read{};
  if (written) _3DV_ParseScene(read, bytes.data(), bytes.size(), error);
  return read;
}

// The cube [-1, 1]^3: corner c has x, y, z = -1 or 1 by bits 0, 1, 2, and
// every face is wound clockwise seen from outside, as scene files wind
// them.
inline Mesh Cube() {
  Mesh m;
  for (int c = 0; c < 8; ++c)
    m.vertices.push_back({c & 1 ? 1.f : -1.f, c & 2 ? 1.f : -1.f, c & 4 ? 1.f : -1.f});
  m.faces = {{{4, 6, 7}}, {{4, 7, 5}},    // top
             {{0, 1, 3}}, {{0, 3, 2}},    // bottom
             {{0, 4, 5}}, {{0, 5, 1}},    // y = -1
             {{2, 3, 7}}, {{2, 7, 6}},    // y = 1
             {{0, 2, 6}}, {{0, 6, 4}},    // x = -1
             {{1, 5, 7}}, {{1, 7, 3}}};   // x = 1
  return m;
}

// A horizontal square of half side h at height z, its faces turned down.
inline Mesh Square(float h, float z) {
  return {{{-h, -h, z}, {h, -h, z}, {h, h, z}, {-h, h, z}}, {{{0, 1, 2}}, {{0, 2, 3}}}};
}

}  // namespace ember_test
