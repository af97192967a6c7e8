// Camera, object and light tracks. Expected values are worked out by hand
// from the curve and line formulas, in single precision.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/anim/anim.h"

namespace {

void ExpectVector(_3DV_VECTOR v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

// A scene whose tracks live in vectors sized exactly to their keys, so any
// read outside a track shows up under the sanitizers.
struct Tracks {
  std::vector<_3DV_KEYVECTOR> eye, target, object, light;
  std::vector<_3DV_VECTOR> eye_ease, target_ease;
  _3DV_OBJECT objects[1]{};
  _3DV_SCENE scene{};

  void Wire() {
    eye_ease.resize(eye.size());
    target_ease.resize(target.size());
    scene.camerapositioncount = static_cast<int32_t>(eye.size());
    scene.cameratargetcount = static_cast<int32_t>(target.size());
    scene.camerapositions = eye.empty() ? nullptr : eye.data();
    scene.cameratargets = target.empty() ? nullptr : target.data();
    scene.camerapositionease = eye_ease.empty() ? nullptr : eye_ease.data();
    scene.cameratargetease = target_ease.empty() ? nullptr : target_ease.data();
    objects[0].positionkeycount = static_cast<int32_t>(object.size());
    objects[0].positionkeys = object.empty() ? nullptr : object.data();
    scene.objectcount = 1;
    scene.objects = objects;
    scene.lights[3].positionkeycount = static_cast<int32_t>(light.size());
    scene.lights[3].positionkeys = light.empty() ? nullptr : light.data();
    _3DV_CameraTangents(scene);
  }
  _3DV_VECTOR Eye(float t) {
    _3DV_VECTOR e, g;
    _3DV_GetCameraAt(e, g, scene, t);
    return e;
  }
  _3DV_VECTOR Target(float t) {
    _3DV_VECTOR e, g;
    _3DV_GetCameraAt(e, g, scene, t);
    return g;
  }
  _3DV_VECTOR Object(float t, int32_t index = 0) {
    _3DV_VECTOR p;
    _3DV_GetObjectPositionAt(p, scene, index, t);
    return p;
  }
  _3DV_VECTOR Light(float t, int32_t index = 3) {
    _3DV_VECTOR p;
    _3DV_GetLightPositionAt(p, scene, index, t);
    return p;
  }
};

TEST(CameraTrack, TwoKeysMoveInAStraightLineWithEasing) {
  Tracks k;
  k.eye = {{0, 0, 0, 0}, {8, 8, 16, -32}};
  k.target = {{0, 1, 1, 1}, {8, 1, 1, 1}};
  k.Wire();
  // Both tangents are (K1 - K0) / 6, so the fraction of the way is
  // B1/3 + B2*(2/3) + B3: 0.203125, 0.5 and 0.796875 at u = 1/4, 1/2, 3/4.
  ExpectVector(k.eye_ease[0], 8 / 6.0f, 16 / 6.0f, -32 / 6.0f);
  ExpectVector(k.eye_ease[1], 8 / 6.0f, 16 / 6.0f, -32 / 6.0f);
  ExpectVector(k.Eye(2), 1.625f, 3.25f, -6.5f);
  ExpectVector(k.Eye(4), 4, 8, -16);
  ExpectVector(k.Eye(6), 6.375f, 12.75f, -25.5f);
  ExpectVector(k.Target(5), 1, 1, 1);
}

TEST(CameraTrack, ThreeKeysFollowTheCurveThroughEachKey) {
  Tracks k;
  k.eye = {{0, 0, 0, 0}, {10, 10, 0, 0}, {20, 40, 0, 0}};
  k.target = {{0, 0, 0, 0}};
  k.Wire();
  // Tangents: (10 - 0)/6, (40 - 0)/6, (40 - 10)/6.
  EXPECT_FLOAT_EQ(k.eye_ease[0].x, 10 / 6.0f);
  EXPECT_FLOAT_EQ(k.eye_ease[1].x, 40 / 6.0f);
  EXPECT_FLOAT_EQ(k.eye_ease[2].x, 5);
  // t = 2.5: u = 1/4, weights 27/64, 27/64, 9/64, 1/64 on 0, 10/6, 10 - 40/6, 10.
  EXPECT_FLOAT_EQ(k.Eye(2.5f).x, 1.328125f);
  // t = 5: u = 1/2, weights 1/8, 3/8, 3/8, 1/8 on the same points.
  EXPECT_FLOAT_EQ(k.Eye(5).x, 3.125f);
  // t = 15: second segment, u = 1/2 on 10, 10 + 40/6, 40 - 5, 40.
  EXPECT_FLOAT_EQ(k.Eye(15).x, 25.625f);
  // On an inner key the segment starting there gives that key exactly.
  EXPECT_EQ(k.Eye(10).x, 10);
  // Outside the keys the end keys hold; a NaN time gives the first key.
  EXPECT_EQ(k.Eye(-100).x, 0);
  EXPECT_EQ(k.Eye(20).x, 40);
  EXPECT_EQ(k.Eye(1e9f).x, 40);
  EXPECT_EQ(k.Eye(std::numeric_limits<float>::quiet_NaN()).x, 0);
  // A one-key track gets tangent 0 and yields its key everywhere.
  ExpectVector(k.target_ease[0], 0, 0, 0);
  ExpectVector(k.Target(7), 0, 0, 0);
}

TEST(CameraTrack, EmptyTracksGiveTheOrigin) {
  Tracks k;
  k.eye = {{0, 1, 2, 3}, {10, 4, 5, 6}};
  k.Wire();
  ExpectVector(k.Target(5), 0, 0, 0);
  ExpectVector(k.Eye(10), 4, 5, 6);
  // Without its ease array, a track falls back to straight tangents of 0.
  k.scene.camerapositionease = nullptr;
  ExpectVector(k.Eye(5), 2.5f, 3.5f, 4.5f);
}

TEST(LinearTrack, ObjectsAndLightsMoveInStraightLines) {
  Tracks k;
  k.object = {{0, 0, 0, 0}, {10, 10, 20, 30}};
  k.light = k.object;
  k.Wire();
  for (auto at : {&Tracks::Object, &Tracks::Light}) {
    auto pos = [&](float t) { return (k.*at)(t, at == &Tracks::Object ? 0 : 3); };
    ExpectVector(pos(2.5f), 2.5f, 5, 7.5f);
    ExpectVector(pos(-5), 0, 0, 0);
    ExpectVector(pos(10), 10, 20, 30);
    ExpectVector(pos(99), 10, 20, 30);
  }
  // Indexes outside the scene and tracks without keys give the origin.
  ExpectVector(k.Object(2.5f, 1), 0, 0, 0);
  ExpectVector(k.Object(2.5f, -1), 0, 0, 0);
  ExpectVector(k.Light(2.5f, 8), 0, 0, 0);
  ExpectVector(k.Light(2.5f, 0), 0, 0, 0);
}

TEST(LinearTrack, KeysOnTheSameFrameAndFarApartFrames) {
  Tracks k;
  // At a frame two keys share, the later key holds.
  k.object = {{0, 0, 0, 0}, {10, 5, 0, 0}, {10, 7, 0, 0}, {20, 17, 0, 0}};
  // Frames four billion apart: their difference does not fit 32 bits.
  k.light = {{-2000000000, 0, 0, 0}, {2000000000, 4, 0, 0}};
  k.Wire();
  EXPECT_EQ(k.Object(10).x, 7);
  EXPECT_FLOAT_EQ(k.Object(15).x, 12);
  EXPECT_FLOAT_EQ(k.Light(0).x, 2);
  // One key holds at every time.
  k.scene.objects[0].positionkeycount = 1;
  EXPECT_EQ(k.Object(-3).x, 0);
  EXPECT_EQ(k.Object(30).x, 0);
}

}  // namespace
