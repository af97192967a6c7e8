// Scene 12 on a voxel grid made for the test, through the recording
// OpenGL: which bytes become cubes, and the voxel without a swirl axis.
#include <gtest/gtest.h>

#include <cstring>

#include "demo/frame_loop.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "gl_recorder.h"

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

TEST_F(VoxelGrid, OnlyTheValueOneFillsAVoxel) {
  Set(1, 2, 3, 1);
  Set(127, 127, 47, 1);
  Set(5, 5, 5, 2);
  Set(6, 6, 6, 255);
  Set(7, 7, 7, 0);
  GlRecorder gl;
  Draw(gl, 90000);
  EXPECT_EQ(gl.Count("glNormal3f"), 2u * 6u);
  EXPECT_EQ(gl.Count("glPushMatrix"), 2u);
  // The swirl axes of the two filled voxels, in grid order.
  ASSERT_EQ(gl.Count("glRotatef"), 2u);
  EXPECT_EQ(gl.Find("glRotatef", 0)->args,
            (std::vector<double>{200.0f, 1 / 127.0f, 2 / 127.0f, 3 / 47.0f}));
  EXPECT_EQ(gl.Find("glRotatef", 1)->args, (std::vector<double>{200.0f, 1, 1, 1}));
}

TEST_F(VoxelGrid, TheGlowPassDrawsEveryFilledVoxelAgainAfter96000) {
  Set(10, 20, 30, 1);
  Set(64, 64, 24, 1);
  for (int32_t t : {96000, 96001}) {
    GlRecorder gl;
    Draw(gl, t);
    EXPECT_EQ(gl.Count("glNormal3f"), (t > 96000 ? 2u : 1u) * 2u * 6u) << t;
  }
}

TEST_F(VoxelGrid, TheVoxelAtTheCornerIsDrawnUnturned) {
  Set(0, 0, 0, 1);
  GlRecorder gl;
  Draw(gl, 100000);
  EXPECT_EQ(gl.Count("glNormal3f"), 2u * 6u);  // both passes
  EXPECT_EQ(gl.Count("glRotatef"), 0u);
  const GlCall *first = gl.Find("glTranslatef", 0);
  ASSERT_NE(first, nullptr);
  const float d = 12000.0f / 15000;
  EXPECT_EQ(first->args, (std::vector<double>{-64 * d, -64 * d, -24 * d}));
}

}  // namespace
}  // namespace ember_test
