// Scene 15 drawn by the started demo: the cube field and the flares in real
// pixels, the odd-millisecond rule, the white flash on milliseconds, and
// where the picture may go for each aspect code.
#include <gtest/gtest.h>

#include "demo_harness.h"
#include "scene_frame_checks.h"

namespace ember_test {
namespace {

class FlareSceneFrames : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartDemo(); }
};

double MeanChannel(const Frame &f) {
  return static_cast<double>(f.Sum(0, 0, f.width, f.height)) / (3.0 * f.width * f.height);
}

TEST_F(FlareSceneFrames, MidSceneTheFieldAndTheFlaresLightTheFrame) {
  const Frame frame = DrawFrame(136500);
  EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_FALSE(WriteFramePng(frame, "scene15-flares").empty());
  // Most of the frame shows the nebula and the cubes; nothing is washed out.
  size_t lit = 0, white = 0;
  for (int y = 0; y < frame.height; y += 4)
    for (int x = 0; x < frame.width; x += 4) {
      const int sum = frame.At(x, y, 0) + frame.At(x, y, 1) + frame.At(x, y, 2);
      lit += sum > 30;
      white += sum == 765;
    }
  EXPECT_GT(lit, 200u * 150u / 2);
  EXPECT_LT(white, 200u * 150u / 10);
}

TEST_F(FlareSceneFrames, EvenAndOddMillisecondsShowTheSamePicture) {
  DrawFrame(133000);  // settles the state a frame inherits
  EXPECT_EQ(FrameDigest(DrawFrame(133000)), FrameDigest(DrawFrame(133001)));
  EXPECT_NE(FrameDigest(DrawFrame(133001)), FrameDigest(DrawFrame(133003)));
}

TEST_F(FlareSceneFrames, TheWhiteFlashRunsOnMillisecondsNotEffectFrames) {
  // 8000 ms into the scene the flash layer is at its peak; two
  // milliseconds earlier it is dark, and the field has hardly moved.
  const double before = MeanChannel(DrawFrame(127998));
  const double flash = MeanChannel(DrawFrame(128000));
  EXPECT_GT(flash, before + 100.0);
  const double after = MeanChannel(DrawFrame(129000));
  EXPECT_LT(after, before + 20.0);
}

TEST_F(FlareSceneFrames, ThePictureStaysInTheAspectViewport) {
  ExpectConfinedToAspect(140000, kWholeWindow, 1);
}

TEST_F(FlareSceneFrames, DrawingAFrameAgainGivesTheSamePixels) { ExpectRepeatable(144321); }

TEST_F(FlareSceneFrames, TheSceneDrawsOnlyInsideItsSpan) {
  EXPECT_EQ(CountCalls(RecordFrame(119999), "glLineWidth"), 0u);
  EXPECT_EQ(CountCalls(RecordFrame(120000), "glLineWidth"), 1u);
  EXPECT_EQ(CountCalls(RecordFrame(152000), "glLineWidth"), 0u);
  const std::vector<GlCall> calls = RecordFrame(151999);
  EXPECT_EQ(CountCalls(calls, "glLineWidth"), 1u);
  // Trails and paths: two batches of lines, the paths 106 polylines of 150
  // segments each.
  const std::vector<size_t> lines = Begins(calls, GL_LINES);
  ASSERT_EQ(lines.size(), 2u);
  size_t vertices = 0;
  for (size_t i = lines[1]; i < calls.size() && calls[i].name != "glEnd"; ++i)
    vertices += calls[i].name == "glVertex3f";
  EXPECT_EQ(vertices, 2u * 106u * 150u);
}

}  // namespace
}  // namespace ember_test
