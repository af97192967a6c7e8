// Scenes 2 and 3 drawn by the started demo: the glowing coin and the
// background interlude.
#include <gtest/gtest.h>

#include <cmath>

#include "demo/resources.h"
#include "demo_harness.h"
#include "support/test_support.h"
#include "scene_frame_checks.h"
#include "window/gl_demo.h"

namespace ember_test {
namespace {

// Texture names of the probes that stand in for the layer effects.
constexpr int32_t kFadeInTag = 9201, kHatterTag = 9202;

class CoinScenes : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartDemo(); }
  void SetUp() override { UseTimelineDepthFunction(); }
};

// The calls of the nth coin draw: from its GL_NORMALIZE to the draw of its
// triangles.
std::vector<GlCall> CoinDraw(const std::vector<GlCall> &calls, size_t nth) {
  size_t seen = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].name != "glEnable" || calls[i].args[0] != GL_NORMALIZE || seen++ != nth)
      continue;
    size_t end = i;
    while (end + 1 < calls.size() && calls[end].name != "glDrawElements") ++end;
    return {calls.begin() + static_cast<ptrdiff_t>(i), calls.begin() + static_cast<ptrdiff_t>(end + 1)};
  }
  return {};
}

const GlCall *First(const std::vector<GlCall> &calls, const std::string &name) {
  for (const GlCall &call : calls)
    if (call.name == name) return &call;
  return nullptr;
}

TEST_F(CoinScenes, TheCoinIsDrawnTwiceAlikeFirstIntoTheGlowSquareThenOnScreen) {
  const std::vector<GlCall> calls = RecordFrame(12000);
  const std::vector<size_t> triangles = IndicesOf(calls, "glDrawElements");
  ASSERT_EQ(triangles.size(), 2u);
  for (size_t i : triangles) {
    EXPECT_EQ(calls[i].args[1], 3.0 * MeshCoin.faceCount);
    EXPECT_EQ(calls[i].arrays.at(GL_VERTEX_ARRAY).size(), 9u * static_cast<size_t>(MeshCoin.faceCount));
    EXPECT_EQ(calls[i].arrays.at(GL_NORMAL_ARRAY).size(), 9u * static_cast<size_t>(MeshCoin.faceCount));
  }

  const std::vector<GlCall> first = CoinDraw(calls, 0), second = CoinDraw(calls, 1);
  ASSERT_FALSE(first.empty());
  ASSERT_EQ(first.size(), second.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].name, second[i].name) << i;
    EXPECT_EQ(first[i].args, second[i].args) << first[i].name;
    EXPECT_EQ(first[i].pointers, second[i].pointers) << first[i].name;
  }

  EXPECT_EQ(ViewportAt(calls, triangles[0]), kGlowSquare);
  EXPECT_EQ(ViewportAt(calls, triangles[1]), (GlRect{0, 0, 800, 600}));
  EXPECT_EQ(CountCalls(calls, "glCopyTexImage2D"), 2u);
  for (const GlCall *copy : CallsWith(calls, "glCopyTexImage2D", {GL_TEXTURE_2D}))
    EXPECT_EQ(copy->args, (std::vector<double>{GL_TEXTURE_2D, 0, GL_RGB, 0, 0, 512, 512, 0}));
}

TEST_F(CoinScenes, TheCoinGrowsTurnsAndFadesWhileTheCameraPansDown) {
  struct Case {
    int32_t t;
    double s;  // the eased working value
  } cases[] = {{8000, -8000}, {12000, -2000}, {15500, -31}, {15999, 0}};
  for (const Case &c : cases) {
    const std::vector<GlCall> draw = CoinDraw(RecordFrame(c.t), 0);
    ASSERT_FALSE(draw.empty()) << c.t;
    const GlCall *look = First(draw, "gluLookAt");
    ASSERT_NE(look, nullptr);
    EXPECT_DOUBLE_EQ(look->args[1], -12 - c.s / 22) << c.t;
    EXPECT_DOUBLE_EQ(look->args[4], -12 - c.s / 22) << c.t;
    EXPECT_EQ(look->args[2], 530);

    const std::vector<size_t> scales = IndicesOf(draw, "glScalef");
    ASSERT_EQ(scales.size(), 2u);
    EXPECT_FLOAT_EQ(static_cast<float>(draw[scales[0]].args[0]),
                    static_cast<float>(1 + c.s / 8000))
        << c.t;
    EXPECT_FLOAT_EQ(static_cast<float>(draw[scales[1]].args[0]), 0.4f);

    const GlCall *color = First(draw, "glColor4f");
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(color->args[0], 0.5);
    EXPECT_FLOAT_EQ(static_cast<float>(color->args[3]), (1000.0f - 2.0f * (c.t - 15500)) / 1000)
        << c.t;

    const std::vector<size_t> turns = IndicesOf(draw, "glRotatef");
    ASSERT_EQ(turns.size(), 3u);
    EXPECT_FLOAT_EQ(static_cast<float>(draw[turns[0]].args[0]), static_cast<float>(c.s / 10));
    EXPECT_FLOAT_EQ(static_cast<float>(draw[turns[1]].args[0]), static_cast<float>(-c.s / 14));
    EXPECT_FLOAT_EQ(static_cast<float>(draw[turns[2]].args[0]), static_cast<float>(c.s / 15));
  }
}

TEST_F(CoinScenes, TheBackgroundFadesInOverTheLastHalfSecond) {
  ScopedProbeEffect fadeIn(IfeGombFadeIn, kFadeInTag);
  EXPECT_EQ(ProbeFrames(RecordFrame(12000), kFadeInTag), (std::vector<float>{2.0f * (12000 - 15500)}));
  EXPECT_EQ(ProbeFrames(RecordFrame(15750), kFadeInTag), (std::vector<float>{500}));
  EXPECT_EQ(ProbeFrames(RecordFrame(15999), kFadeInTag), (std::vector<float>{998}));
}

TEST_F(CoinScenes, TheInterludeRunsTheBackgroundOnToItsHeldFrame) {
  ScopedProbeEffect hatter(IfeGombHatter, kHatterTag);
  // Halves of a millisecond count: 17999 is frame 999.58, not 999.16.
  EXPECT_EQ(ProbeFrames(RecordFrame(16000), kHatterTag), (std::vector<float>{160}));
  EXPECT_EQ(ProbeFrames(RecordFrame(17001), kHatterTag),
            (std::vector<float>{static_cast<float>(160 + (1001 / 2.0) * 0.84)}));
  EXPECT_EQ(ProbeFrames(RecordFrame(17999), kHatterTag),
            (std::vector<float>{static_cast<float>(160 + (1999 / 2.0) * 0.84)}));
}

TEST_F(CoinScenes, EveryAspectKeepsThePictureInsideItsViewport) {
  ExpectConfinedToAspect(12000, kGlowSquare);
  ExpectConfinedToAspect(17000, kWholeWindow);
}

TEST_F(CoinScenes, TheCoinShowsInTheMiddleOfTheScreenAtFullSize) {
  const Frame frame = DrawFrame(15400);
  EXPECT_GT(frame.Sum(300, 200, 500, 400), frame.Sum(0, 0, 100, 100));
  EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(CoinScenes, FramesRepeatAndDrawWithoutErrors) {
  for (int32_t t : {8000, 12000, 15999, 16000, 17999}) ExpectRepeatable(t);
  EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A fresh process draws these frames pixel for pixel alike.
std::string CoinScenesDigests() {
  std::string digests;
  for (int32_t t : {12000, 17000}) {
    DrawFrame(t);  // settles the state a frame inherits
    digests += FrameDigest(DrawFrame(t)) + "\n";
  }
  return digests;
}

TEST_F(CoinScenes, DISABLED_WriteDigests) { WriteFile(DigestFile(), CoinScenesDigests()); }

TEST_F(CoinScenes, AFreshProcessDrawsTheSameFrames) {
  const std::string here = CoinScenesDigests();
  EXPECT_EQ(RunSelfForDigests("CoinScenes.DISABLED_WriteDigests"), here);
}

TEST_F(CoinScenes, PicturesForAPerson) {
  EXPECT_FALSE(WriteFramePng(DrawFrame(14000), "scene02-coin").empty());
  EXPECT_FALSE(WriteFramePng(DrawFrame(17000), "scene03-interlude").empty());
}

}  // namespace
}  // namespace ember_test
