// The whole timeline drawn by the started demo, one frame every 250 ms from
// 0 to the end: no frame leaves an OpenGL error behind, no scene stays dark
// for more than a second (a viewer would take that for a broken demo), and
// the pass at the end time draws no scene. Cheap enough for every run; the
// sanitizer build runs it too, so every scene's code is checked for bad
// reads there.
//
// The small pictures of the README (docs/scenes) are written by the target
// readme-pictures (picture_tools.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "demo/frame_loop.h"
#include "demo_harness.h"
#include "framework/sys.h"
#include "scene_frame_checks.h"

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

}  // namespace
}  // namespace ember_test
