// The engine's module initialisations, its element-size table, its
// allocation entry points and the face accessors.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/anim/anim.h"
#include "engine/effects/faces.h"
#include "engine/render/engine_state.h"
#include "engine/scene/records.h"
#include "engine/scene/scene_file.h"
#include "framework/log.h"
#include "support/test_support.h"

namespace {

TEST(EngineInit, ModuleInitialisationsSetTheDocumentedStartValues) {
  _3DV_Offset = {1, 2, 3};
  _3DV_FaceFraction = 0.5f;
  _3DV_Anisotropic = 0;
  _3DV_CameraPos = {4, 5, 6};
  _3DV_AnimUnitInit();
  _3DV_EngineUnitInit();
  _3DV_InitTypeSizes();
  _3DV_LoaderUnitInit();

  const int32_t sizes[] = {1, 1, 2, 4, 4, 8, 12, 16, 256, 12, 16, 20, 64, 1};
  for (int i = 0; i < _3DV_TYPE_COUNT; ++i) EXPECT_EQ(_3DV_TypeSize[i], sizes[i]) << "type " << i;
  // The table agrees with the records the format copies.
  EXPECT_EQ(_3DV_TypeSize[_3DV_TYPE_VECTOR], int32_t{sizeof(_3DV_FOGPARAM)});
  EXPECT_EQ(_3DV_TypeSize[_3DV_TYPE_KEYQUAT], int32_t{sizeof(_3DV_KEYQUAT)});
  EXPECT_EQ(_3DV_TypeSize[_3DV_TYPE_SHORTSTRING], int32_t{sizeof(_3DV_SHORTSTRING)});
  EXPECT_EQ(_3DV_FileVersionMajor, 1);
  EXPECT_EQ(_3DV_FileVersionMinor, 2);

  EXPECT_EQ(_3DV_Offset.x, 0);
  EXPECT_EQ(_3DV_Offset.z, 0);
  EXPECT_EQ(_3DV_SceneScale[0], 1);
  EXPECT_EQ(_3DV_SceneScale[2], 1);
  EXPECT_EQ(_3DV_ProjectionScale, 1);
  EXPECT_EQ(_3DV_Scale[1], 1);
  EXPECT_EQ(_3DV_Color.g, 1);
  EXPECT_EQ(_3DV_FlarePointSize, 5);
  EXPECT_EQ(_3DV_GlowSize, 8);
  EXPECT_NE(_3DV_Anisotropic, 0);
  EXPECT_EQ(_3DV_ClipPlaneEnabled, 0);
  EXPECT_EQ(_3DV_ClipPlane[3], 0);
  EXPECT_EQ(_3DV_FaceFraction, -1);
  EXPECT_EQ(_3DV_CameraPos.x, 0);
  EXPECT_EQ(_3DV_FacesDrawn, 0);

  _3DV_SetOffset(1, 2, 3);
  _3DV_SetScale(4, 5, 6);
  _3DV_SetColor(0.25f, 0.5f, 0.75f);
  EXPECT_EQ(_3DV_Offset.y, 2);
  EXPECT_EQ(_3DV_Scale[2], 6);
  EXPECT_EQ(_3DV_Color.b, 0.75f);
  _3DV_EngineUnitInit();
}

TEST(EngineMemory, BlocksAreZeroedAndReturned) {
  auto *bytes = static_cast<unsigned char *>(_3DV_MemGet(1000, " face center stored "));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(bytes[i], 0) << i;
  _3DV_MemFree(bytes);
  void *empty = _3DV_MemGet(0, "empty");
  EXPECT_NE(empty, nullptr);
  _3DV_MemFree(empty);
  _3DV_MemFree(nullptr);
}

TEST(EngineMemory, ANegativeSizeEndsTheProcess) {
  EXPECT_EXIT(_3DV_MemGet(-12, "bad"), testing::ExitedWithCode(1), "cannot allocate -12 bytes");
}

TEST(EngineRecords, CountedStringsKeepAtMost255Characters) {
  _3DV_SHORTSTRING s{};
  s.assign(std::string(300, 'a'));
  EXPECT_EQ(s.length, 255);
  EXPECT_EQ(s.view(), std::string(255, 'a'));
  s.assign("Box01");
  EXPECT_EQ(s.view(), "Box01");
}

TEST(EngineLog, WritesOneUntaggedLineCutTo255Characters) {
  ember_test::TempDir dir;
  const std::string file = dir.str("engine.log");
  ASSERT_EQ(SYS_LogSetFile(file.c_str()), 0);
  const uint32_t flags = SYS_LogGetFlags();
  SYS_LogSetFlags(SYS_LOG_ON);
  _3DV_Log("V3IZozu: Scene not renderable without camera animation target and position track");
  _3DV_Log(std::string(300, 'x'));
  SYS_LogSetFlags(flags);
  EXPECT_EQ(ember_test::ReadFile(file),
            "V3IZozu: Scene not renderable without camera animation target and position track\n" +
                std::string(255, 'x') + "\n");
}

// One face whose three triples are all different, so every entry tells
// which array and which slot it came from.
struct FaceFixture {
  _3DV_FACE orig{{10, 11, 12}};
  _3DV_FACE list{{20, 21, 22}};
  _3DV_FACE near[2] = {{{-1, 1, -1}}, {{0, -1, -1}}};
  _3DV_OBJECT object{};
  FaceFixture() {
    object.facecount = 2;
    object.origfaces = &orig;
    object.faces = &list;
    object.neighbours = near;
  }
};

TEST(FaceAccessors, EntryIsKMod3AndANegativeKReadsZeroAndWritesNothing) {
  FaceFixture f;
  EXPECT_EQ(_3DV_GetFaceVertex(f.object, 0, 2), 12);
  EXPECT_EQ(_3DV_GetFaceVertex(f.object, 0, 3), 10);
  EXPECT_EQ(_3DV_GetFaceVertex(f.object, 0, 4), 11);
  EXPECT_EQ(_3DV_GetFaceVertex(f.object, 0, -1), 0);
  EXPECT_EQ(_3DV_GetFaceListVertex(f.object, 0, 4), 21);
  EXPECT_EQ(_3DV_GetFaceListVertex(f.object, 0, -1), 0);
  EXPECT_EQ(_3DV_GetNeighbour(f.object, 1, 3), 0);
  EXPECT_EQ(_3DV_GetNeighbour(f.object, 0, -1), 0);
  _3DV_SetNeighbour(f.object, 1, 4, 7);
  _3DV_SetNeighbour(f.object, 1, -1, 99);
  _3DV_SetNeighbour(f.object, 0, -4, 99);
  EXPECT_EQ(_3DV_GetNeighbour(f.object, 1, 1), 7);
  EXPECT_EQ(f.near[1].v[2], -1);
  _3DV_SetNeighbour(f.object, 1, 3, 5);
  EXPECT_EQ(f.near[1].v[0], 5);
  _3DV_SetNeighbour(f.object, 1, 0, 6);
  EXPECT_EQ(f.near[1].v[0], 6);
  EXPECT_EQ(f.near[0].v[0], -1);
  EXPECT_EQ(f.near[0].v[1], 1);
  EXPECT_EQ(f.near[0].v[2], -1);
}

}  // namespace
