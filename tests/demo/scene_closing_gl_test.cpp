// The closing scenes drawn by the demo started on the sample pack: the
// credits' glow, the aspect viewport and OpenGL errors. Leaves a picture of each scene in the build folder.
#include <gtest/gtest.h>

#include <vector>

#include "demo/resources.h"
#include "demo_harness.h"

namespace {

using ember_test::Frame;

class ClosingFrames : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ember_test::StartDemo(); }
};

TEST_F(ClosingFrames, TheGlowAddsLightToTheCreditsPage) {
  const Frame glowing = ember_test::DrawFrame(205000);
  const ife_interface glow = IfeVBlur;
  IfeVBlur = ife_interface{};
  const Frame plain = ember_test::DrawFrame(205000);
  IfeVBlur = glow;
  const uint64_t all = plain.Sum(0, 0, plain.width, plain.height);
  ASSERT_GT(all, 0u);
  EXPECT_GT(glowing.Sum(0, 0, glowing.width, glowing.height), all + all / 10);
}

TEST_F(ClosingFrames, TheScenesStayInsideTheAspectViewport) {
  for (int32_t t : {186000, 192000, 210000, 220000, 232000}) ember_test::ExpectDrawsInsideAspectViewport(t);
}

TEST_F(ClosingFrames, WithAnAspectCodeOutsideTheTableTheCreditsStayInTheCaptureSquare) {
  ember_test::ScopedAspect unknown(0);
  const Frame frame = ember_test::DrawFrame(210000);
  EXPECT_TRUE(frame.AllBlack(512, 0, frame.width, frame.height));
  EXPECT_TRUE(frame.AllBlack(0, 0, 512, frame.height - 512));
  EXPECT_GT(frame.Sum(0, frame.height - 512, 512, frame.height), 0u);
}

TEST_F(ClosingFrames, NoOpenGLErrorInAnyFrameAndAPictureOfEachScene) {
  for (int32_t t = 184000; t < 236000; t += 500) {
    ember_test::DrawFrame(t);
    EXPECT_EQ(ember_test::TakeGlError(), static_cast<GLenum>(GL_NO_ERROR)) << t;
  }
  const struct {
    int32_t t;
    const char *name;
  } pictures[] = {{188000, "scene17-closing-screen"},
                  {203000, "scene18-credits"},
                  {232000, "scene19-end"}};
  for (const auto &picture : pictures)
    EXPECT_FALSE(ember_test::WriteFramePng(ember_test::DrawFrame(picture.t), picture.name).empty());
}

}  // namespace
