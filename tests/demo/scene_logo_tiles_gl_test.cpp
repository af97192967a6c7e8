// Scene 1 drawn by the demo started on the sample pack: the tiles form the
// logo upright, the scene stays inside the aspect viewport, the frame's
// batches, and no OpenGL error on the way. Leaves a picture of the still
// logo in the build folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "demo/frame_loop.h"
#include "demo/resources.h"
#include "demo_harness.h"
#include "effects/ife.h"
#include "framework/sys.h"
#include "texture/formats.h"
#include "texture/loader.h"

namespace {

using ember_test::Frame;

class LogoTilesFrames : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ember_test::StartDemo(); }
  void SetUp() override { saved_ = DemoTimeline[0]; }
  void TearDown() override { DemoTimeline[0] = saved_; }
  TTimelineScene saved_{};
};

// "vtrlogo.tga" as the file holds it: RGBA, top row first.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
};

Picture LoadLogoPicture() {
  Picture picture;
  const char *name = "vtrlogo.tga";
  const int32_t size = SYS_FileSize(name);
  SYS_File_p file = SYS_FileOpen(name, SYS_FILE_READ);
  if (!file || size <= 0) return picture;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  SYS_FileRead(file, bytes.data(), size);
  SYS_FileClose(file);
  pxBitmap bitmap = tgaRead(bytes.data(), bytes.size());
  if (!bitmap || bitmap->bits != 32) return picture;
  picture.width = bitmap->width;
  picture.height = bitmap->height;
  picture.rgba.assign(bitmap->image[0], bitmap->image[0] + bitmap->imagesize[0]);
  if (bitmap->type == TX_BLUE_FIRST)
    for (size_t p = 0; p + 3 < picture.rgba.size(); p += 4) std::swap(picture.rgba[p], picture.rgba[p + 2]);
  txFree(&bitmap);
  return picture;
}

void LogoLayerOnly() { ife_DrawInterface(IfeVantorLogo, 333); }

// Mean difference per channel between the frame and the picture laid over
// the background with its alpha, the picture's rows taken top first or
// bottom first.
double MeanError(const Frame &frame, const Frame &background, const Picture &picture,
                 bool flipped) {
  double error = 0;
  int samples = 0;
  for (int y = 2; y < frame.height - 2; y += 3)
    for (int x = 2; x < frame.width - 2; x += 3) {
      const int px = x * picture.width / frame.width;
      int py = y * picture.height / frame.height;
      if (flipped) py = picture.height - 1 - py;
      const uint8_t *texel = &picture.rgba[(static_cast<size_t>(py) * picture.width + px) * 4];
      const double alpha = texel[3] / 255.0;
      for (int c = 0; c < 3; ++c) {
        const double expected = alpha * texel[c] + (1 - alpha) * background.At(x, y, c);
        error += std::fabs(frame.At(x, y, c) - expected);
        ++samples;
      }
    }
  return error / samples;
}

TEST_F(LogoTilesFrames, AtFiveAndAHalfSecondsTheTilesFormTheLogoUpright) {
  const Picture picture = LoadLogoPicture();
  ASSERT_GT(picture.width, 0);
  const Frame frame = ember_test::DrawFrame(5500);
  DemoTimeline[0].draw = LogoLayerOnly;
  const Frame background = ember_test::DrawFrame(5500);
  const double upright = MeanError(frame, background, picture, false);
  const double flipped = MeanError(frame, background, picture, true);
  EXPECT_LT(upright, 6.0);
  EXPECT_LT(upright * 3, flipped);
}

TEST_F(LogoTilesFrames, TheSceneStaysInsideTheAspectViewport) {
  for (int32_t t : {1000, 5500, 7000}) ember_test::ExpectDrawsInsideAspectViewport(t);
}

// The 4800 tiles reach OpenGL as one draw of quads after the logo layer.
// Still, each tile's corners are its texture coordinates mapped onto the
// -1..1 square, so the tiles put the picture together where it belongs.
TEST_F(LogoTilesFrames, EveryFrameSendsTheTilesAsOneDrawOverTheLogoLayer) {
  for (int32_t t : {0, 5500, 7999}) {
    const std::vector<ember_test::GlCall> calls = ember_test::RecordFrame(t);
    const size_t logoDraws = t > 6000 ? 2 : 1;
    EXPECT_EQ(ember_test::CountCalls(calls, "glBegin"),
              logoDraws * static_cast<size_t>(IfeVantorLogo.layercount))
        << t;
    ASSERT_EQ(ember_test::CountCalls(calls, "glDrawArrays"), 1u) << t;
    size_t lastBegin = 0, draw = 0;
    for (size_t n = 0; n < calls.size(); ++n) {
      if (calls[n].name == "glBegin") lastBegin = n;
      if (calls[n].name == "glDrawArrays") draw = n;
    }
    EXPECT_GT(draw, lastBegin) << t;
    const ember_test::GlCall &tiles = calls[draw];
    EXPECT_EQ(tiles.args[0], GL_QUADS);
    ASSERT_EQ(tiles.args[2], 4 * 4800) << t;
    if (t != 5500) continue;
    const std::vector<float> &p = tiles.arrays.at(GL_VERTEX_ARRAY);
    const std::vector<float> &tc = tiles.arrays.at(GL_TEXTURE_COORD_ARRAY);
    ASSERT_EQ(p.size(), 3u * 4 * 4800);
    ASSERT_EQ(tc.size(), 2u * 4 * 4800);
    int misplaced = 0;
    for (size_t v = 0; v < 4 * 4800; ++v)
      misplaced += std::fabs(p[3 * v] - (2 * tc[2 * v] - 1)) > 1e-5f ||
                   std::fabs(p[3 * v + 1] - (1 - 2 * tc[2 * v + 1])) > 1e-5f ||
                   p[3 * v + 2] != 0;
    EXPECT_EQ(misplaced, 0);
  }
}

TEST_F(LogoTilesFrames, NoOpenGLErrorInAnyFrameAndAPictureOfTheStillLogo) {
  for (int32_t t = 0; t < 8000; t += 250) {
    ember_test::DrawFrame(t);
    EXPECT_EQ(ember_test::TakeGlError(), static_cast<GLenum>(GL_NO_ERROR)) << t;
  }
  EXPECT_FALSE(ember_test::WriteFramePng(ember_test::DrawFrame(5500), "scene01-logo-tiles").empty());
}

}  // namespace
