// Scene 12 drawn by the started demo: the voxel cube cloud.
#include <gtest/gtest.h>

#include <array>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "demo/draw_helpers.h"
#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo/vertex_batch.h"
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
  // Recorded, the batches cannot read where the eye is, so every cube of
  // the glow goes whole, in the grey.
  const std::vector<GlCall> calls = RecordFrame(100000);
  const std::vector<size_t> draws = Draws(calls, GL_QUADS);
  ASSERT_EQ(draws.size(), 2u);
  // Set between the cube pass and the glow: blending on, additive, no
  // depth test, no texturing, the grey.
  auto setBetween = [&](const std::string &name, const std::vector<double> &args) {
    const std::vector<GlCall> span(calls.begin() + static_cast<ptrdiff_t>(draws[0]),
                                   calls.begin() + static_cast<ptrdiff_t>(draws[1]));
    return IndexOfCall(span, name, args) < span.size();
  };
  EXPECT_TRUE(setBetween("glEnable", {GL_BLEND}));
  EXPECT_TRUE(setBetween("glBlendFunc", {GL_ONE, GL_ONE}));
  EXPECT_TRUE(setBetween("glDisable", {GL_DEPTH_TEST}));
  EXPECT_TRUE(setBetween("glDisable", {GL_TEXTURE_2D}));
  EXPECT_TRUE(setBetween("glColor3f", faint));
}

// Cubes scattered in front of the scene's eye, some close enough to be cut
// by its near plane, added in the glow's grey: every face of every cube,
// or through AddGlowCube as the scene adds them.
bool glowThroughFronts = false;
void DrawScatteredGlowCubes() {
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(100, 1.3333333, 0.1, 4000);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::gluLookAt(0, 0, 30, 0.001, 0.001, 0.001, 0, 1, 0);
  dgl::glDisable(GL_DEPTH_TEST);
  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  std::mt19937 random(12);
  std::uniform_real_distribution<float> unit(0, 1);
  VertexBatch all(GL_QUADS), fronts(GL_QUADS), whole(GL_QUADS);
  for (int n = 0; n < 600; ++n) {
    // The last hundred around the eye, within reach of its near plane.
    const float spread = n < 500 ? 1 : 0.1f;
    const float z = n < 500 ? -20 + 48 * unit(random) : 28.5f + 2 * unit(random);
    VertexBatch &place = glowThroughFronts ? fronts : all;
    place.PushMatrix();
    place.Translatef(spread * (-12 + 24 * unit(random)), spread * (-9 + 18 * unit(random)), z);
    place.Rotatef(360 * unit(random), unit(random) - 0.5f, unit(random) - 0.5f, unit(random));
    place.Scalef(0.3f + unit(random), 0.3f + unit(random), 0.3f + unit(random));
    if (glowThroughFronts)
      AddGlowCube(fronts, whole, 0.6f);
    else
      DrawCube(all);
    place.PopMatrix();
  }
  dgl::glColor3f(6 / 255.0f, 6 / 255.0f, 6 / 255.0f);  // 0.01 of 255 rounds to 3
  fronts.Flush();
  dgl::glColor3f(0.01f, 0.01f, 0.01f);
  all.Flush();
  whole.Flush();
}

TEST_F(VoxelScene, TheGlowAddsThroughFrontFacesWhatEveryFaceWouldAdd) {
  const TTimelineScene saved = DemoTimeline[11];
  DemoTimeline[11].draw = DrawScatteredGlowCubes;
  glowThroughFronts = false;
  const Frame every = DrawFrame(100000);
  glowThroughFronts = true;
  const Frame fronts = DrawFrame(100000);
  DemoTimeline[11] = saved;
  ASSERT_EQ(every.rgb.size(), fronts.rgb.size());
  size_t lit = 0, differ = 0;
  int worst = 0;
  for (size_t i = 0; i < every.rgb.size(); ++i) {
    const int d = std::abs(every.rgb[i] - fronts.rgb[i]);
    lit += every.rgb[i] != 0;
    differ += d != 0;
    worst = std::max(worst, d);
  }
  EXPECT_GT(lit, every.rgb.size() / 2);
  // Only where rounding puts a pixel centre on an outline or a face seen
  // edge-on: a handful of pixels, by one face's grey.
  EXPECT_LE(differ, 60u);
  EXPECT_LE(worst, 6);
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
