// The logo swarm drawn by the demo started on the sample pack: where the
// swarm lands at the ends of its flights (seen as the pixels that differ
// from the same frame without logo points), the quads of a frame, the
// aspect viewport and OpenGL errors. Leaves a picture of each scene in the
// build folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo_harness.h"

namespace {

using ember_test::Frame;

// Bounds (top-left origin, inclusive) of the pixels where two frames
// differ; empty when they do not.
struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  bool empty() const { return right < 0; }
};

Box Changed(const Frame &a, const Frame &b) {
  Box box;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      bool same = true;
      for (int c = 0; c < 3; ++c) same = same && a.At(x, y, c) == b.At(x, y, c);
      if (same) continue;
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, x);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y);
    }
  return box;
}

class LogoSwarmFrames : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ember_test::StartDemo(); }

  // What the swarm adds to the frame of demo time t.
  static Box SwarmAt(int32_t t) {
    const Frame with = ember_test::DrawFrame(t);
    const int32_t count = LogoCount;
    LogoCount = 0;
    const Frame without = ember_test::DrawFrame(t);
    LogoCount = count;
    return Changed(with, without);
  }
};

TEST_F(LogoSwarmFrames, TheSampleLogoHasPointsToFly) { EXPECT_GT(LogoCount, 1000); }

TEST_F(LogoSwarmFrames, TheLargeLogoFillsTheMiddleOfTheScreen) {
  for (int32_t t : {57000, 116000}) {
    const Box box = SwarmAt(t);
    ASSERT_FALSE(box.empty()) << t;
    // Scaled 2.62 from (-268, -42): wider than the screen.
    EXPECT_LE(box.left, 100) << t;
    EXPECT_GE(box.right, 700) << t;
  }
}

TEST_F(LogoSwarmFrames, SceneNineEndsWithTheSmallLogoTopLeft) {
  // Scale 1 at (-108, 388) of the 800 x 600 screen: x up to 404, and from
  // the top down to row 600 - 388 = 212.
  const Box box = SwarmAt(59950);
  ASSERT_FALSE(box.empty());
  EXPECT_LE(box.right, 405);
  EXPECT_LE(box.bottom, 213);
  // Scene 13 starts from the same picture.
  const Box back = SwarmAt(112000);
  EXPECT_LE(back.right, 405);
  EXPECT_LE(back.bottom, 213);
}

TEST_F(LogoSwarmFrames, SceneFourteenEndsWithTheSmallLogoBottomRight) {
  // Scale 1 at (402, -52): from x 402, and from row 600 - 204 = 396 down.
  const Box box = SwarmAt(119999);
  ASSERT_FALSE(box.empty());
  EXPECT_GE(box.left, 400);
  EXPECT_GE(box.top, 394);
}

TEST_F(LogoSwarmFrames, EveryPointIsOneQuadOfOneBatch) {
  const std::vector<ember_test::GlCall> calls = ember_test::RecordFrame(58000);
  EXPECT_EQ(ember_test::CountCalls(calls, "glVertex2f"),
            4u * static_cast<size_t>(LogoCount) + 4u * static_cast<size_t>(IfeHatter.layercount));
  EXPECT_EQ(ember_test::CountCalls(calls, "glBegin"),
            1u + static_cast<size_t>(IfeHatter.layercount));
}

TEST_F(LogoSwarmFrames, TheScenesStayInsideTheAspectViewport) {
  for (int32_t t : {56500, 58000, 114000, 118000}) ember_test::ExpectDrawsInsideAspectViewport(t);
}

TEST_F(LogoSwarmFrames, NoOpenGLErrorInAnyFrameAndAPictureOfEachScene) {
  for (int32_t t = 56000; t < 60000; t += 250) {
    ember_test::DrawFrame(t);
    EXPECT_EQ(ember_test::TakeGlError(), static_cast<GLenum>(GL_NO_ERROR)) << t;
  }
  for (int32_t t = 112000; t < 120000; t += 250) {
    ember_test::DrawFrame(t);
    EXPECT_EQ(ember_test::TakeGlError(), static_cast<GLenum>(GL_NO_ERROR)) << t;
  }
  const struct {
    int32_t t;
    const char *name;
  } pictures[] = {{56500, "scene08-bplogo"},
                  {58200, "scene09-swarm-out"},
                  {114000, "scene13-swarm-back"},
                  {118000, "scene14-swarm-away"}};
  for (const auto &picture : pictures)
    EXPECT_FALSE(ember_test::WriteFramePng(ember_test::DrawFrame(picture.t), picture.name).empty());
}

}  // namespace
