// Scene 12 on a voxel grid made for the test, through the recording
// OpenGL: which bytes become cubes, and the voxel without a swirl axis.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "demo/frame_loop.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "demo/procedural.h"
#include "gl_recorder.h"
#include "scene_frame_checks.h"

namespace ember_test {
namespace {

class VoxelGrid : public ::testing::Test {
protected:
  void SetUp() override {
    std::memset(MatrixBuffer, 0, sizeof MatrixBuffer);
    Matrix = MatrixBuffer;
  }
  void TearDown() override { std::memset(MatrixBuffer, 0, sizeof MatrixBuffer); }

  static void Set(int i, int j, int k, uint8_t value) { MatrixBuffer[i * 6144 + j * 48 + k] = value; }

  static GlRecorder &Draw(GlRecorder &gl, int32_t t) {
    DemoTime = t;
    Scene12();
    return gl;
  }
};

// The cube passes' draws: 24 vertices per filled voxel each.
std::vector<const GlCall *> Passes(const GlRecorder &gl) {
  std::vector<const GlCall *> draws;
  for (const GlCall &call : gl.calls())
    if (call.name == "glDrawArrays" && call.args[0] == GL_QUADS) draws.push_back(&call);
  return draws;
}

// The centre of cube n of a pass: the mean of its 24 corners.
std::array<double, 3> Centre(const GlCall &pass, size_t n) {
  std::array<double, 3> mean{};
  const std::vector<float> &p = pass.arrays.at(GL_VERTEX_ARRAY);
  for (size_t v = 24 * n; v < 24 * n + 24; ++v)
    for (int a = 0; a < 3; ++a) mean[a] += p[3 * v + a] / 24.0;
  return mean;
}

TEST_F(VoxelGrid, OnlyTheValueOneFillsAVoxel) {
  Set(1, 2, 3, 1);
  Set(127, 127, 47, 1);
  Set(5, 5, 5, 2);
  Set(6, 6, 6, 255);
  Set(7, 7, 7, 0);
  GlRecorder gl;
  Draw(gl, 90000);
  const std::vector<const GlCall *> passes = Passes(gl);
  ASSERT_EQ(passes.size(), 1u);
  ASSERT_EQ(passes[0]->args[2], 2 * 24);
  // Each filled voxel swirled by 200 degrees about its own axis, in grid
  // order.
  const double d = 2000.0 / 15000;
  const int voxels[2][3] = {{1, 2, 3}, {127, 127, 47}};
  for (size_t n = 0; n < 2; ++n) {
    const auto [i, j, k] = voxels[n];
    const TVec3 &jitter = RandomVolume[i][j][k];
    const std::array<double, 3> centre = Turned(
        {(i - 64) * d + jitter.x, (j - 64) * d + jitter.y, (k - 24) * d + jitter.z}, 200,
        i / 127.0, j / 127.0, k / 47.0);
    const std::array<double, 3> got = Centre(*passes[0], n);
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(got[a], centre[a], 1e-4) << n;
  }
}

TEST_F(VoxelGrid, TheGlowPassDrawsEveryFilledVoxelAgainAfter96000) {
  Set(10, 20, 30, 1);
  Set(64, 64, 24, 1);
  for (int32_t t : {96000, 96001}) {
    GlRecorder gl;
    Draw(gl, t);
    const std::vector<const GlCall *> passes = Passes(gl);
    ASSERT_EQ(passes.size(), t > 96000 ? 2u : 1u) << t;
    for (const GlCall *pass : passes) EXPECT_EQ(pass->args[2], 2 * 24) << t;
  }
}

TEST_F(VoxelGrid, TheVoxelAtTheCornerIsDrawnUnturned) {
  Set(0, 0, 0, 1);
  GlRecorder gl;
  Draw(gl, 100000);
  const std::vector<const GlCall *> passes = Passes(gl);
  ASSERT_EQ(passes.size(), 2u);  // both passes
  const float d = 12000.0f / 15000;
  const TVec3 &jitter = RandomVolume[0][0][0];
  // Unturned: the first corner, (1, 1, 1), is only moved.
  const std::vector<float> &p = passes[0]->arrays.at(GL_VERTEX_ARRAY);
  EXPECT_NEAR(p[0], 1 - 64 * d + jitter.x, 1e-5);
  EXPECT_NEAR(p[1], 1 - 64 * d + jitter.y, 1e-5);
  EXPECT_NEAR(p[2], 1 - 24 * d + jitter.z, 1e-5);
}

}  // namespace
}  // namespace ember_test
