// Scene 16 drawn by the started demo: the tunnel with its glow in real
// pixels, the noise overlay that follows the random sequence, and where
// the picture may go for each aspect code.
#include <gtest/gtest.h>

#include "framework/random.h"
#include "demo_harness.h"
#include "scene_frame_checks.h"

namespace ember_test {
namespace {

class TunnelSceneFrames : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartDemo(); }
};

size_t DifferentPixels(const Frame &a, const Frame &b) {
  size_t n = 0;
  for (size_t i = 0; i + 2 < a.rgb.size(); i += 3)
    n += a.rgb[i] != b.rgb[i] || a.rgb[i + 1] != b.rgb[i + 1] || a.rgb[i + 2] != b.rgb[i + 2];
  return n;
}

TEST_F(TunnelSceneFrames, MidSceneTheTunnelTheMeshesAndTheSpritesLightTheFrame) {
  RandSeed(1);
  const Frame frame = DrawFrame(157000);
  EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_FALSE(WriteFramePng(frame, "scene16-tunnel").empty());
  size_t lit = 0;
  for (int y = 0; y < frame.height; y += 4)
    for (int x = 0; x < frame.width; x += 4)
      lit += frame.At(x, y, 0) + frame.At(x, y, 1) + frame.At(x, y, 2) > 30;
  EXPECT_GT(lit, 200u * 150u / 3);
}

TEST_F(TunnelSceneFrames, TheNoiseFollowsTheRandomSequenceAndTouchesOnlyPartOfTheFrame) {
  DrawFrame(156000);  // settles the inherited state
  RandSeed(11);
  const Frame a = DrawFrame(156000);
  RandSeed(11);
  const Frame again = DrawFrame(156000);
  EXPECT_EQ(FrameDigest(a), FrameDigest(again));

  // Another point of the sequence: another noise texture and brightness,
  // seen only on tft's visible surfaces.
  RandSeed(12);
  const Frame b = DrawFrame(156000);
  const size_t changed = DifferentPixels(a, b);
  EXPECT_GT(changed, 0u);
  EXPECT_LT(changed, static_cast<size_t>(a.width) * a.height / 2);
}

TEST_F(TunnelSceneFrames, ThePictureStaysInTheAspectViewportOrTheGlowSquare) {
  RandSeed(3);
  ExpectConfinedToAspect(160000, kGlowSquare);
}

TEST_F(TunnelSceneFrames, TheSceneDrawsOnlyInsideItsSpan) {
  auto cameras = [](int32_t t) {
    return CallsWith(RecordFrame(t), "gluPerspective", {100, 4.0 / 3.0, 0.1, 4000}).size();
  };
  EXPECT_EQ(cameras(151999), 0u);
  EXPECT_EQ(cameras(152000), 2u);
  EXPECT_EQ(cameras(183999), 2u);
  EXPECT_EQ(cameras(184000), 0u);
}

}  // namespace
}  // namespace ember_test
