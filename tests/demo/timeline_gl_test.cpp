// The whole timeline drawn by the started demo, one frame every 250 ms from
// 0 to the end: no frame leaves an OpenGL error behind, no scene stays dark
// for more than a second (a viewer would take that for a broken demo), and
// the pass at the end time draws no scene. Cheap enough for every run; the
// sanitizer build runs it too, so every scene's code is checked for bad
// reads there.
//
// A disabled test writes the small pictures of the README (docs/scenes),
// run under xvfb-run with --gtest_also_run_disabled_tests and
// --gtest_filter=TimelineFrames.DISABLED_WriteReadmePictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "demo/frame_loop.h"
#include "framework/random.h"
#include "demo/procedural.h"
#include "demo_harness.h"
#include "framework/sys.h"
#include "scene_frame_checks.h"
#include "texture/formats.h"

namespace ember_test {
namespace {

constexpr int32_t kSampleStep = 250;   // ms
// Dark frames in a row inside one scene, in ms. The timeline's own dark
// moments stay under it: the first frames of scenes 1, 2, 6, 17 and 19 while
// their pictures come up, and the fades that end scenes 5 and 17. No scene
// is excused.
constexpr int32_t kLongestDark = 1000;

class TimelineFrames : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartDemo(); }
};

// Dark to a viewer: fewer than one pixel in a thousand stands out.
bool LooksDark(const Frame &frame) {
  size_t lit = 0;
  for (size_t i = 0; i + 2 < frame.rgb.size(); i += 3)
    lit += std::max({frame.rgb[i], frame.rgb[i + 1], frame.rgb[i + 2]}) > 32;
  return lit * 1000 < frame.rgb.size() / 3;
}

TEST_F(TimelineFrames, EveryQuarterSecondDrawsCleanlyAndNoSceneStaysDark) {
  std::map<int32_t, int32_t> longestDark;  // per scene, in ms
  int32_t darkSince = -1, darkScene = 0;
  for (int32_t t = 0; t < DEMO_END_TIME; t += kSampleStep) {
    const int32_t scene = SceneForTime(t);
    ASSERT_GE(scene, 1) << t;
    const Frame frame = DrawFrame(t);
    EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR))
        << "scene " << scene << " at " << t << " ms";
    if (scene != darkScene) darkSince = -1;
    darkScene = scene;
    if (!LooksDark(frame)) {
      darkSince = -1;
      continue;
    }
    if (darkSince < 0) darkSince = t;
    longestDark[scene] = std::max(longestDark[scene], t - darkSince + kSampleStep);
  }
  for (int32_t scene = 1; scene <= SCENE_COUNT; ++scene)
    EXPECT_LE(longestDark[scene], kLongestDark) << "scene " << scene << " stays dark";

  // The pass that reads the end time draws no scene: only the cleared frame.
  const Frame end = DrawFrame(DEMO_END_TIME);
  EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_TRUE(end.AllBlack(0, 0, end.width, end.height));
}

TEST_F(TimelineFrames, ScenesFollowEachOtherAtTheirBordersWithoutAnError) {
  // The first and last millisecond of every scene, in order and backwards,
  // as seeking may jump: each scene starts from whatever state the one
  // before left.
  std::vector<int32_t> times;
  for (const TTimelineScene &scene : DemoTimeline) {
    times.push_back(scene.from < 0 ? 0 : scene.from);
    times.push_back(scene.to - 1);
  }
  for (int32_t t : times) {
    DrawFrame(t);
    EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR)) << t;
  }
  for (auto t = times.rbegin(); t != times.rend(); ++t) {
    DrawFrame(*t);
    EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR)) << *t;
  }
}

// Halves the frame by averaging 2 x 2 pixels and writes it as a PNG.
bool WriteHalfSizePng(const Frame &frame, const std::filesystem::path &path) {
  const int w = frame.width / 2, h = frame.height / 2;
  std::vector<uint8_t> rows(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        const int sum = frame.At(2 * x, 2 * y, c) + frame.At(2 * x + 1, 2 * y, c) +
                        frame.At(2 * x, 2 * y + 1, c) + frame.At(2 * x + 1, 2 * y + 1, c);
        rows[(static_cast<size_t>(y) * w + x) * 3 + c] = static_cast<uint8_t>((sum + 2) / 4);
      }
  txBitmap bitmap{};
  bitmap.type = TX_RED_FIRST;
  bitmap.subtype = 0;
  bitmap.width = w;
  bitmap.height = h;
  bitmap.bits = 24;
  bitmap.levels = 1;
  bitmap.imagesize[0] = static_cast<int32_t>(rows.size());
  bitmap.image[0] = rows.data();
  return pngWrite(path.string().c_str(), &bitmap) == 0;
}

TEST_F(TimelineFrames, DISABLED_WriteReadmePictures) {
  const std::filesystem::path folder = std::filesystem::path(EMBER_SOURCE_DIR) / "docs" / "scenes";
  std::filesystem::create_directories(folder);
  struct Picture {
    int32_t t;
    const char *name;
  } pictures[] = {
      {4000, "logo-and-tiles"}, {30000, "text-pages"},  {70000, "tile-torus"},
      {84500, "monster"},       {100000, "voxel-cloud"}, {136500, "flares"},
      {155994, "ring-tunnel"},  {188000, "closing-screen"},
  };
  RandSeed(DEMO_RANDOM_SEED);  // the tunnel's noise: the same picture every time
  for (const Picture &p : pictures) {
    DrawFrame(p.t);  // settles the state a frame inherits
    const Frame frame = DrawFrame(p.t);
    EXPECT_TRUE(WriteHalfSizePng(frame, folder / (std::string(p.name) + ".png"))) << p.name;
  }
}

}  // namespace
}  // namespace ember_test
