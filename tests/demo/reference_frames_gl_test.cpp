// Every scene drawn at fixed times and compared with the committed
// reference frames (tests/fixtures/frames), so that a change to how the
// scenes reach OpenGL (batching, copies, fewer state changes) is shown to
// leave the pictures as they were.
//
// The references are an eighth of the frame's size (each pixel the rounded
// mean of an 8 x 8 block; 100 x 75) to keep them small. A frame passes when
// at least 99.5 % of the small pixels (all but 37) have no channel off by
// more than 2, none is off by more than 16, and the mean difference over
// all channels stays under 0.25.
//
// Why these: the rasteriser is deterministic for the same calls, but the
// same triangles reached through another path (vertices moved by each
// primitive's matrix on the CPU instead of by OpenGL) round their corners
// slightly differently, and a pixel whose centre lies on an edge may fall
// to the other triangle. One such pixel moves its block's mean by up to
// 4; a wall of 14400 small boxes has edges in nearly every block, and a
// few dozen blocks then differ by up to 7 in one channel, with the rest
// unchanged. A difference of 2 in 255 over an area, or a lone block of the
// 100 x 75 picture off by 16 (a quarter of one of its 64 pixels' range
// spread over the block), is below what anybody sees. A wrong texture,
// colour, blend, a missing or misplaced object, or a flipped depth
// winner moves many blocks by far more, and a small error spread wide
// shows in the mean.
//
// To make the references again from the code as it stands, build the
// target reference-frames (tests/demo/picture_tools.cpp).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo_harness.h"
#include "framework/random.h"
#include "reference_frames.h"
#include "support/test_support.h"
#include "texture/formats.h"
#include "window/gl_demo.h"

namespace ember_test {
namespace {

constexpr int kChannelSlack = 2;
constexpr double kWithinSlack = 0.995;
constexpr int kWorstSlack = 16;
constexpr double kMeanSlack = 0.25;

class ReferenceFrames : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartDemo(); }
};

TEST_F(ReferenceFrames, EverySceneLooksAsItsReference) {
  for (int32_t t : kTimes) {
    const std::string bytes = ReadFile(ReferencePath(t));
    ASSERT_FALSE(bytes.empty()) << ReferencePath(t);
    pxBitmap ref = pngRead(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    ASSERT_NE(ref, nullptr) << t;
    const Small now = DrawSmall(t);
    ASSERT_EQ(ref->width, now.width);
    ASSERT_EQ(ref->height, now.height);
    ASSERT_EQ(ref->bits, 24);
    const uint8_t *expected = ref->image[0];
    size_t within = 0;
    int worst = 0;
    double total = 0;
    const size_t pixels = static_cast<size_t>(now.width) * now.height;
    for (size_t p = 0; p < pixels; ++p) {
      int off = 0;
      for (int c = 0; c < 3; ++c) {
        const int d = std::abs(int(now.rgb[3 * p + c]) - int(expected[3 * p + c]));
        off = std::max(off, d);
        total += d;
      }
      within += off <= kChannelSlack;
      worst = std::max(worst, off);
    }
    txFree(&ref);
    EXPECT_GE(static_cast<double>(within), kWithinSlack * static_cast<double>(pixels))
        << "scene " << SceneForTime(t) << " at " << t << " ms: " << pixels - within
        << " pixels off by more than " << kChannelSlack << ", worst " << worst;
    EXPECT_LE(worst, kWorstSlack) << "scene " << SceneForTime(t) << " at " << t << " ms";
    EXPECT_LE(total / static_cast<double>(3 * pixels), kMeanSlack)
        << "scene " << SceneForTime(t) << " at " << t << " ms";
  }
}

}  // namespace
}  // namespace ember_test
