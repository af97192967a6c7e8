// Scene 12 drawn by the started demo: the voxel cube cloud.
#include <gtest/gtest.h>

#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo_harness.h"
#include "support/test_support.h"
#include "scene_frame_checks.h"
#include "window/gl_demo.h"

namespace ember_test {
namespace {

class VoxelScene : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartDemo(); }
  void SetUp() override { UseTimelineDepthFunction(); }

  static size_t FilledVoxels() {
    size_t n = 0;
    for (int32_t i = 0; i < MATRIX_BYTES; ++i) n += Matrix[i] == 1;
    return n;
  }
};

// Each cube's two translations and its scale, in drawing order.
struct Cube {
  std::vector<double> spread, jitter, scale;
};

std::vector<Cube> Cubes(const std::vector<GlCall> &calls) {
  std::vector<Cube> cubes;
  for (size_t i = 0; i + 4 < calls.size(); ++i) {
    if (calls[i].name != "glPushMatrix") continue;
    size_t j = i + 1;
    if (calls[j].name == "glRotatef") ++j;
    if (calls[j].name != "glScalef") continue;
    cubes.push_back({calls[j + 1].args, calls[j + 2].args, calls[j].args});
  }
  return cubes;
}

TEST_F(VoxelScene, OneCubePerFilledVoxelAndASecondAfter96000) {
  const size_t voxels = FilledVoxels();
  ASSERT_GT(voxels, 0u);
  struct Case {
    int32_t t;
    size_t passes;
  } cases[] = {{88000, 1}, {95999, 1}, {96000, 1}, {96001, 2}, {104000, 2}, {111999, 2}};
  for (const Case &c : cases) {
    const std::vector<GlCall> calls = RecordFrame(c.t);
    EXPECT_EQ(CountCalls(calls, "glNormal3f"), 6 * voxels * c.passes) << c.t;
    EXPECT_EQ(Cubes(calls).size(), voxels * c.passes) << c.t;
    EXPECT_EQ(SyncValue, c.t - 88000);
  }
}

TEST_F(VoxelScene, TheCloudGrowsOutOfOnePointAndBurstsWhileShrinking) {
  struct Case {
    int32_t t;
    float d, g;
  } cases[] = {{88000, 0, 1},
               {100000, 12000.0f / 15000, 1},
               {108000, 20000.0f / 15000 + 4, 0.75f}};
  for (const Case &c : cases) {
    const std::vector<Cube> cubes = Cubes(RecordFrame(c.t));
    size_t n = 0;
    for (int32_t i = 0; i < 128; ++i)
      for (int32_t j = 0; j < 128; ++j)
        for (int32_t k = 0; k < 48; ++k) {
          if (Matrix[i * 6144 + j * 48 + k] != 1) continue;
          ASSERT_LT(n, cubes.size());
          const Cube &cube = cubes[n++];
          const TVec3 &jitter = RandomVolume[i][j][k];
          ASSERT_EQ(cube.scale, (std::vector<double>{c.g, c.g, c.g})) << c.t;
          ASSERT_NEAR(cube.spread[0], (i - 64) * c.d, 1e-3) << c.t;
          ASSERT_NEAR(cube.spread[1], (j - 64) * c.d, 1e-3) << c.t;
          ASSERT_NEAR(cube.spread[2], (k - 24) * c.d, 1e-3) << c.t;
          ASSERT_EQ(cube.jitter, (std::vector<double>{jitter.x, jitter.y, jitter.z}));
        }
  }
}

TEST_F(VoxelScene, TheGlowPassAddsFaintUntexturedCubesWithoutDepth) {
  const std::vector<double> faint = {0.01f, 0.01f, 0.01f};
  const std::vector<GlCall> before = RecordFrame(96000);  // no glow yet
  EXPECT_EQ(IndexOfCall(before, "glColor3f", faint), before.size());
  const std::vector<GlCall> calls = RecordFrame(100000);
  const size_t grey = IndexOfCall(calls, "glColor3f", faint);
  ASSERT_LT(grey, calls.size());
  // Between the cube pass's last cube and the grey: blending on, additive,
  // no depth test; texturing goes off right after it.
  const std::vector<GlCall> setup(calls.begin() + static_cast<ptrdiff_t>(grey) - 3,
                                  calls.begin() + static_cast<ptrdiff_t>(grey) + 2);
  EXPECT_EQ(setup[0].name, "glEnable");
  EXPECT_EQ(setup[0].args, (std::vector<double>{GL_BLEND}));
  EXPECT_EQ(setup[1].name, "glBlendFunc");
  EXPECT_EQ(setup[1].args, (std::vector<double>{GL_ONE, GL_ONE}));
  EXPECT_EQ(setup[2].name, "glDisable");
  EXPECT_EQ(setup[2].args, (std::vector<double>{GL_DEPTH_TEST}));
  EXPECT_EQ(setup[4].name, "glDisable");
  EXPECT_EQ(setup[4].args, (std::vector<double>{GL_TEXTURE_2D}));
}

TEST_F(VoxelScene, EveryAspectKeepsThePictureInsideItsViewport) {
  ExpectConfinedToAspect(100000, kWholeWindow);
}

TEST_F(VoxelScene, FramesRepeatAndDrawWithoutErrors) {
  for (int32_t t : {88000, 96001, 104001, 111999}) ExpectRepeatable(t);
  EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A fresh process draws these frames pixel for pixel alike.
std::string VoxelSceneDigests() {
  std::string digests;
  for (int32_t t : {94000, 106000}) {
    DrawFrame(t);  // settles the state a frame inherits
    digests += FrameDigest(DrawFrame(t)) + "\n";
  }
  return digests;
}

TEST_F(VoxelScene, DISABLED_WriteDigests) { WriteFile(DigestFile(), VoxelSceneDigests()); }

TEST_F(VoxelScene, AFreshProcessDrawsTheSameFrames) {
  const std::string here = VoxelSceneDigests();
  EXPECT_EQ(RunSelfForDigests("VoxelScene.DISABLED_WriteDigests"), here);
}

TEST_F(VoxelScene, PicturesForAPerson) {
  EXPECT_FALSE(WriteFramePng(DrawFrame(94000), "scene12-voxels").empty());
  EXPECT_FALSE(WriteFramePng(DrawFrame(106000), "scene12-voxels-burst").empty());
}

}  // namespace
}  // namespace ember_test
