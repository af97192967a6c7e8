// Scene 11 drawn by the started demo: the monster reveal and its rays.
#include <gtest/gtest.h>

#include "demo/resources.h"
#include "demo_harness.h"
#include "support/test_support.h"
#include "scene_frame_checks.h"
#include "window/gl_demo.h"

namespace ember_test {
namespace {

// Texture name of the probe that stands in for the flash effect.
constexpr int32_t kFlashTag = 9211;

class MonsterScene : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartDemo(); }
  void SetUp() override { UseTimelineDepthFunction(); }
};

// The calls of the nth GL_QUADS batch after the monster texture is bound:
// 0 is the uncovered picture, 1 to 5 the ray passes.
std::vector<GlCall> MonsterBatch(const std::vector<GlCall> &calls, size_t nth) {
  const size_t bind = IndexOfCall(calls, "glBindTexture", {GL_TEXTURE_2D, static_cast<double>(TexMonster)});
  size_t seen = 0;
  for (size_t i = bind; i < calls.size(); ++i) {
    if (calls[i].name != "glBegin" || calls[i].args[0] != GL_QUADS || seen++ != nth) continue;
    size_t end = i;
    while (end < calls.size() && calls[end].name != "glEnd") ++end;
    return {calls.begin() + static_cast<ptrdiff_t>(i + 1), calls.begin() + static_cast<ptrdiff_t>(end)};
  }
  return {};
}

std::vector<std::vector<double>> Args(const std::vector<GlCall> &calls, const std::string &name) {
  std::vector<std::vector<double>> args;
  for (const GlCall &call : calls)
    if (call.name == name) args.push_back(call.args);
  return args;
}

TEST_F(MonsterScene, TheScanColumnSweepsToSevenHundredAndBack) {
  struct Case {
    int32_t t, column;
  } cases[] = {{80000, 100}, {81000, 330}, {82000, 524}, {84000, 700},
               {86000, 524}, {87999, 100}};
  for (const Case &c : cases) {
    const std::vector<GlCall> picture = MonsterBatch(RecordFrame(c.t), 0);
    const double j = c.column, s = static_cast<float>(c.column) / 800.0f;
    EXPECT_EQ(Args(picture, "glVertex2f"),
              (std::vector<std::vector<double>>{{0, 0}, {j, 0}, {j, 600}, {0, 600}}))
        << c.t;
    EXPECT_EQ(Args(picture, "glTexCoord2f"),
              (std::vector<std::vector<double>>{{0, 1}, {s, 1}, {s, 0}, {0, 0}}))
        << c.t;
  }
}

TEST_F(MonsterScene, RaysStartAtTheScanColumnInTheMonstersColours) {
  const int32_t j = 330;  // at 81000
  const std::vector<GlCall> calls = RecordFrame(81000);
  const double origins[5][2] = {{0, 600}, {800, 0}, {800, 600}, {0, 0}, {400, 300}};
  for (size_t pass = 0; pass < 5; ++pass) {
    const std::vector<GlCall> rays = MonsterBatch(calls, 1 + pass);
    const std::vector<std::vector<double>> vertices = Args(rays, "glVertex2f");
    const std::vector<std::vector<double>> colours = Args(rays, "glColor4f");
    // Rows the alpha map leaves empty would add black: they are not sent.
    size_t covered = 0;
    for (int32_t y = 64; y <= 536; ++y) covered += MonsterAlphaTga.data[18 + y * 800 + j] != 0;
    ASSERT_GT(covered, 0u);
    ASSERT_LT(covered, 473u);
    ASSERT_EQ(vertices.size(), covered * 8u) << pass;
    ASSERT_EQ(colours.size(), covered * 4u) << pass;
    const double ox = origins[pass][0], oy = origins[pass][1];
    size_t n = 0;
    for (int32_t y = 64; y <= 536; ++y) {
      const size_t pixel = static_cast<size_t>(y) * 800 + j;
      if (MonsterAlphaTga.data[18 + pixel] == 0) continue;
      const float a = MonsterAlphaTga.data[18 + pixel] / 255.0f;
      const uint8_t *bgr = MonsterColorTga.data + 18 + 3 * pixel;
      const float R = bgr[2] / 255.0f * a * 0.4f, G = bgr[1] / 255.0f * a * 0.4f,
                  B = bgr[0] / 255.0f * a * 0.4f;
      ASSERT_EQ(colours[4 * n], (std::vector<double>{R, G, B, a})) << "row " << y;
      ASSERT_EQ(colours[4 * n + 1], (std::vector<double>{0, 0, 0, 0}));
      ASSERT_EQ(colours[4 * n + 2], (std::vector<double>{R, G, B, 12 * a}));
      const std::vector<std::vector<double>> expected = {
          {330.0, y + 0.0},
          {330.0, y - 1.0},
          {ox, oy},
          {ox, oy},
          {static_cast<float>(ox + 12 * (330 - ox)), static_cast<float>(oy + 12 * (y - oy))},
          {static_cast<float>(ox + 12 * (330 - ox)), static_cast<float>(oy + 12 * (y - 1 - oy))},
          {330.0, y - 1.0},
          {330.0, y + 0.0}};
      for (size_t v = 0; v < 8; ++v)
        ASSERT_EQ(vertices[8 * n + v], expected[v]) << "pass " << pass << " row " << y << " vertex " << v;
      ++n;
    }
  }
}

TEST_F(MonsterScene, TheFlashPeaksAsTheScanTurns) {
  ScopedProbeEffect flash(IfeMonsterFlash, kFlashTag);
  EXPECT_EQ(ProbeFrames(RecordFrame(84000), kFlashTag), (std::vector<float>{500}));
  EXPECT_EQ(ProbeFrames(RecordFrame(85000), kFlashTag), (std::vector<float>{4500}));
  EXPECT_EQ(ProbeFrames(RecordFrame(82000), kFlashTag), (std::vector<float>{-7500}));
}

TEST_F(MonsterScene, RaysAreAddedOntoThePicture) {
  const std::vector<GlCall> calls = RecordFrame(80000);
  const size_t bind = IndexOfCall(calls, "glBindTexture", {GL_TEXTURE_2D, static_cast<double>(TexMonster)});
  ASSERT_LT(bind, calls.size());
  const std::vector<const GlCall *> adds = CallsWith(calls, "glBlendFunc", {GL_ONE, GL_ONE});
  // One additive pass per ray origin, each after the picture.
  size_t after = 0;
  for (const GlCall *add : adds) after += static_cast<size_t>(add - calls.data()) > bind;
  EXPECT_GE(after, 5u);
  EXPECT_GT(IndexOfCall(calls, "glBlendFunc", {GL_ONE, GL_ONE}), bind);
}

TEST_F(MonsterScene, EveryAspectKeepsThePictureInsideItsViewport) {
  ExpectConfinedToAspect(83000, kWholeWindow);
}

TEST_F(MonsterScene, FramesRepeatAndDrawWithoutErrors) {
  for (int32_t t : {80000, 83875, 84000, 87999}) ExpectRepeatable(t);
  EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A fresh process draws these frames pixel for pixel alike.
std::string MonsterSceneDigests() {
  std::string digests;
  for (int32_t t : {82500}) {
    DrawFrame(t);  // settles the state a frame inherits
    digests += FrameDigest(DrawFrame(t)) + "\n";
  }
  return digests;
}

TEST_F(MonsterScene, DISABLED_WriteDigests) { WriteFile(DigestFile(), MonsterSceneDigests()); }

TEST_F(MonsterScene, AFreshProcessDrawsTheSameFrames) {
  const std::string here = MonsterSceneDigests();
  EXPECT_EQ(RunSelfForDigests("MonsterScene.DISABLED_WriteDigests"), here);
}

TEST_F(MonsterScene, PicturesForAPerson) {
  EXPECT_FALSE(WriteFramePng(DrawFrame(82500), "scene11-monster").empty());
}

}  // namespace
}  // namespace ember_test
