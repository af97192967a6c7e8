// Scene 12 drawn by the started demo: the voxel cube cloud.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

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

// The cube passes as they reach OpenGL: one draw of quads each, 24
// vertices per filled voxel with the cube's own matrix applied.
std::vector<const GlCall *> CubePasses(const std::vector<GlCall> &calls) {
  std::vector<const GlCall *> passes;
  for (size_t i : Draws(calls, GL_QUADS)) passes.push_back(&calls[i]);
  return passes;
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
    const std::vector<const GlCall *> passes = CubePasses(calls);
    ASSERT_EQ(passes.size(), c.passes) << c.t;
    for (const GlCall *pass : passes) {
      EXPECT_EQ(pass->args[2], 24.0 * static_cast<double>(voxels)) << c.t;
      EXPECT_EQ(pass->arrays.at(GL_NORMAL_ARRAY).size(), 3 * 24 * voxels) << c.t;
      // The colour is the one in force: no colour array.
      EXPECT_EQ(pass->arrays.count(GL_COLOR_ARRAY), 0u) << c.t;
    }
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
    const std::vector<GlCall> calls = RecordFrame(c.t);
    const std::vector<const GlCall *> passes = CubePasses(calls);
    ASSERT_FALSE(passes.empty());
    const GlCall &pass = *passes[0];
    const double u = c.t - 88000;
    size_t n = 0;
    for (int32_t i = 0; i < 128; ++i)
      for (int32_t j = 0; j < 128; ++j)
        for (int32_t k = 0; k < 48; ++k) {
          if (Matrix[i * 6144 + j * 48 + k] != 1) continue;
          const TVec3 &jitter = RandomVolume[i][j][k];
          // The cube's centre: spread and jitter, scaled, then swirled.
          std::array<double, 3> centre = {c.g * ((i - 64) * c.d + jitter.x),
                                          c.g * ((j - 64) * c.d + jitter.y),
                                          c.g * ((k - 24) * c.d + jitter.z)};
          centre = Turned(centre, u / 10, i / 127.0, j / 127.0, k / 47.0);
          std::array<double, 3> mean{};
          for (size_t v = 0; v < 24; ++v) {
            const std::vector<double> p = ArrayVertex(pass, GL_VERTEX_ARRAY, 24 * n + v);
            ASSERT_EQ(p.size(), 3u) << c.t;
            for (int a = 0; a < 3; ++a) mean[a] += p[a] / 24;
          }
          for (int a = 0; a < 3; ++a) ASSERT_NEAR(mean[a], centre[a], 2e-3) << c.t << " " << n;
          // The first face's first edge runs from (1, 1, 1) to (-1, 1, 1).
          const std::vector<double> p0 = ArrayVertex(pass, GL_VERTEX_ARRAY, 24 * n);
          const std::vector<double> p1 = ArrayVertex(pass, GL_VERTEX_ARRAY, 24 * n + 1);
          ASSERT_NEAR(std::hypot(p0[0] - p1[0], p0[1] - p1[1], p0[2] - p1[2]), 2 * c.g, 1e-4);
          ++n;
        }
    EXPECT_EQ(24 * n, static_cast<size_t>(pass.args[2]));
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
