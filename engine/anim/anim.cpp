// Animation tracks; see anim.h.
#include "engine/anim/anim.h"

namespace {

_3DV_VECTOR At(const _3DV_KEYVECTOR &key) { return {key.x, key.y, key.z}; }

// Frames are converted before any comparison with the time. Differences of
// two frames are taken in 64 bits, so keys far apart never wrap around.
float Frame(const _3DV_KEYVECTOR &key) { return static_cast<float>(key.frame); }
float Span(const _3DV_KEYVECTOR &from, const _3DV_KEYVECTOR &to) {
  return static_cast<float>(int64_t{to.frame} - int64_t{from.frame});
}

enum class Place { kFirst, kLast, kInside };

// Where t lies on a track of count > 0 keys; inside, *segment is the last
// segment whose keys bracket t. The comparisons are written so that a NaN
// time falls on the first key.
Place Locate(const _3DV_KEYVECTOR *keys, int32_t count, float t, int32_t *segment) {
  if (!(t > Frame(keys[0]))) return Place::kFirst;
  if (!(t < Frame(keys[count - 1]))) return Place::kLast;
  // Strictly between the end frames, some segment always brackets t, and
  // its frames differ; with keys out of order the last such segment wins.
  *segment = 0;
  for (int32_t i = 0; i + 1 < count; ++i) {
    if (Frame(keys[i]) <= t && t < Frame(keys[i + 1])) *segment = i;
  }
  return Place::kInside;
}

_3DV_VECTOR Curve(const _3DV_KEYVECTOR *keys, const _3DV_VECTOR *ease, int32_t count, float t) {
  if (count <= 0 || !keys) return {0, 0, 0};
  int32_t s = 0;
  switch (Locate(keys, count, t, &s)) {
    case Place::kFirst: return At(keys[0]);
    case Place::kLast: return At(keys[count - 1]);
    case Place::kInside: break;
  }
  const _3DV_KEYVECTOR &k0 = keys[s];
  const _3DV_KEYVECTOR &k1 = keys[s + 1];
  const _3DV_VECTOR t0 = ease ? ease[s] : _3DV_VECTOR{0, 0, 0};
  const _3DV_VECTOR t1 = ease ? ease[s + 1] : _3DV_VECTOR{0, 0, 0};
  const float u = (t - Frame(k0)) / Span(k0, k1);
  const float v = 1 - u;
  const float b0 = v * v * v;
  const float b1 = 3 * u * v * v;
  const float b2 = 3 * u * u * v;
  const float b3 = u * u * u;
  auto blend = [&](float p0, float d0, float p3, float d3) {
    const float p1 = p0 + d0;
    const float p2 = p3 - d3;
    return b0 * p0 + b1 * p1 + b2 * p2 + b3 * p3;
  };
  return {blend(k0.x, t0.x, k1.x, t1.x), blend(k0.y, t0.y, k1.y, t1.y),
          blend(k0.z, t0.z, k1.z, t1.z)};
}

_3DV_VECTOR Linear(const _3DV_KEYVECTOR *keys, int32_t count, float t) {
  if (count <= 0 || !keys) return {0, 0, 0};
  int32_t s = 0;
  switch (Locate(keys, count, t, &s)) {
    case Place::kFirst: return At(keys[0]);
    case Place::kLast: return At(keys[count - 1]);
    case Place::kInside: break;
  }
  const _3DV_KEYVECTOR &k0 = keys[s];
  const _3DV_KEYVECTOR &k1 = keys[s + 1];
  const float span = Span(k0, k1);
  const float d = t - Frame(k0);
  return {k0.x + (k1.x - k0.x) * d / span, k0.y + (k1.y - k0.y) * d / span,
          k0.z + (k1.z - k0.z) * d / span};
}

void Tangents(const _3DV_KEYVECTOR *keys, _3DV_VECTOR *ease, int32_t count) {
  if (count <= 0 || !keys || !ease) return;
  if (count == 1) {
    // Never read by the evaluation (one key always yields itself).
    ease[0] = {0, 0, 0};
    return;
  }
  ease[0] = _3DV_SplineTangent(keys[0], keys[1]);
  ease[count - 1] = _3DV_SplineTangent(keys[count - 2], keys[count - 1]);
  for (int32_t i = 1; i + 1 < count; ++i) ease[i] = _3DV_SplineTangent(keys[i - 1], keys[i + 1]);
}

}  // namespace

void _3DV_AnimUnitInit() {}

_3DV_VECTOR _3DV_SplineTangent(_3DV_KEYVECTOR previous, _3DV_KEYVECTOR next) {
  return {(next.x - previous.x) / 6, (next.y - previous.y) / 6, (next.z - previous.z) / 6};
}

void _3DV_CameraTangents(_3DV_SCENE &scene) {
  Tangents(scene.camerapositions, scene.camerapositionease, scene.camerapositioncount);
  Tangents(scene.cameratargets, scene.cameratargetease, scene.cameratargetcount);
}

void _3DV_GetCameraAt(_3DV_VECTOR &eye, _3DV_VECTOR &target, const _3DV_SCENE &scene, float t) {
  eye = Curve(scene.camerapositions, scene.camerapositionease, scene.camerapositioncount, t);
  target = Curve(scene.cameratargets, scene.cameratargetease, scene.cameratargetcount, t);
}

void _3DV_GetObjectPositionAt(_3DV_VECTOR &position, const _3DV_SCENE &scene, int32_t object,
                              float t) {
  if (object < 0 || object >= scene.objectcount || !scene.objects) {
    position = {0, 0, 0};
    return;
  }
  const _3DV_OBJECT &o = scene.objects[object];
  position = Linear(o.positionkeys, o.positionkeycount, t);
}

void _3DV_GetLightPositionAt(_3DV_VECTOR &position, const _3DV_SCENE &scene, int32_t light,
                             float t) {
  if (light < 0 || light >= _3DV_LIGHT_COUNT) {
    position = {0, 0, 0};
    return;
  }
  const _3DV_LIGHT &l = scene.lights[light];
  position = Linear(l.positionkeys, l.positionkeycount, t);
}
