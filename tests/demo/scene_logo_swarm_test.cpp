// The logo swarm (scenes 8, 9, 13, 14) through the recording OpenGL table,
// with a few logo points the test chooses: the layer effects and their
// frames, where each point's square lands at the ends of its flight, and
// the clamp before the easing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "demo_harness.h"

namespace {

using ember_test::GlCall;
using ember_test::GlRecorder;
using ember_test::ProbeFrames;
using ember_test::ScopedProbeEffect;

constexpr int32_t kBpLogoTag = 8001, kHatterTag = 8002, kHatter2Tag = 8003;

struct Square {
  float x0, y0, x1, y1;  // lower-left and upper-right corners
  std::vector<double> color;
};

class LogoSwarm : public ::testing::Test {
protected:
  void SetUp() override {
    savedCount_ = LogoCount;
    std::memcpy(savedPoints_, LogoPoints, sizeof savedPoints_);
    std::memcpy(savedColors_, LogoColors, sizeof savedColors_);
    std::memcpy(savedSpeeds_, LogoSpeeds, sizeof savedSpeeds_);
    std::memcpy(savedCurves_, LogoCurves, sizeof savedCurves_);
    // Point 0 at the logo's origin, slowest; point 1 fast with the steepest
    // curve; point 2 in the middle with the gentlest.
    LogoCount = 3;
    LogoPoints[0] = {0, 0, 0};
    LogoPoints[1] = {100, 50, 0};
    LogoPoints[2] = {511, 255, 0};
    const float colors[3][4] = {{1, 0, 0, 1}, {0, 1, 0, 0.5f}, {0, 0, 1, 0.25f}};
    std::memcpy(LogoColors, colors, sizeof colors);
    LogoSpeeds[0] = 1.0f;
    LogoSpeeds[1] = 1.9f;
    LogoSpeeds[2] = 1.5f;
    LogoCurves[0] = 1;
    LogoCurves[1] = 0;
    LogoCurves[2] = 2;
  }
  void TearDown() override {
    LogoCount = savedCount_;
    std::memcpy(LogoPoints, savedPoints_, sizeof savedPoints_);
    std::memcpy(LogoColors, savedColors_, sizeof savedColors_);
    std::memcpy(LogoSpeeds, savedSpeeds_, sizeof savedSpeeds_);
    std::memcpy(LogoCurves, savedCurves_, sizeof savedCurves_);
  }

  static std::vector<GlCall> Record(void (*scene)(), int32_t t) {
    DemoTime = t;
    SyncValue = SyncValueForTime(t);
    GlRecorder recorder;
    scene();
    return recorder.calls();
  }

  // The swarm's squares: every untextured glVertex2f quadruple (layer
  // effects draw textured quads).
  static std::vector<Square> Squares(const std::vector<GlCall> &calls) {
    std::vector<Square> squares;
    std::vector<double> color;
    std::vector<const GlCall *> corners;
    bool textured = false;
    for (const GlCall &call : calls) {
      if ((call.name == "glEnable" || call.name == "glDisable") && call.args[0] == GL_TEXTURE_2D)
        textured = call.name == "glEnable";
      if (call.name == "glColor4f") color = call.args;
      if (call.name != "glVertex2f" || textured) continue;
      corners.push_back(&call);
      if (corners.size() == 4) {
        squares.push_back({static_cast<float>(corners[0]->args[0]),
                           static_cast<float>(corners[0]->args[1]),
                           static_cast<float>(corners[2]->args[0]),
                           static_cast<float>(corners[2]->args[1]), color});
        corners.clear();
      }
    }
    return squares;
  }

  int32_t savedCount_;
  TVec3 savedPoints_[LOGO_POINTS_MAX];
  float savedColors_[LOGO_POINTS_MAX][4];
  float savedSpeeds_[LOGO_POINTS_MAX];
  uint8_t savedCurves_[LOGO_POINTS_MAX];
};

// The square of a logo pixel (x, y) with the logo at offset (ox, oy) and
// scale s.
void ExpectSquare(const Square &square, float x, float y, float ox, float oy, float s) {
  EXPECT_NEAR(square.x0, ox + x * s, 1e-3);
  EXPECT_NEAR(square.y0, oy + y * s, 1e-3);
  EXPECT_NEAR(square.x1, ox + x * s + s, 1e-3);
  EXPECT_NEAR(square.y1, oy + y * s + s, 1e-3);
}

TEST_F(LogoSwarm, EachSceneDrawsItsLayerEffectAtItsFrame) {
  ScopedProbeEffect bpLogo(IfeBpLogo, kBpLogoTag);
  ScopedProbeEffect hatter(IfeHatter, kHatterTag);
  ScopedProbeEffect hatter2(IfeHatter2, kHatter2Tag);
  const std::vector<GlCall> scene8 = Record(Scene8, 56500);
  EXPECT_EQ(ProbeFrames(scene8, kBpLogoTag), (std::vector<float>{999}));
  EXPECT_TRUE(Squares(scene8).empty());  // the layer effect and nothing else
  EXPECT_EQ(ProbeFrames(Record(Scene9, 57000), kHatterTag), (std::vector<float>{999}));
  EXPECT_EQ(ProbeFrames(Record(Scene9, 59999), kHatterTag), (std::vector<float>{999}));
  // 13 and 14 share the origin 112000: no jump between them.
  EXPECT_EQ(ProbeFrames(Record(Scene13, 112000), kHatter2Tag), (std::vector<float>{0}));
  EXPECT_EQ(ProbeFrames(Record(Scene13, 115999), kHatter2Tag), (std::vector<float>{499.875f}));
  EXPECT_EQ(ProbeFrames(Record(Scene14, 116000), kHatter2Tag), (std::vector<float>{500}));
  EXPECT_EQ(ProbeFrames(Record(Scene14, 119999), kHatter2Tag), (std::vector<float>{999.875f}));
}

TEST_F(LogoSwarm, SceneNineGathersTheLargeLogoIntoTheTopLeftCorner) {
  // First frame: every point at p = 0, the logo at scale 2.62.
  const std::vector<Square> start = Squares(Record(Scene9, 57000));
  ASSERT_EQ(start.size(), 3u);
  for (int i = 0; i < 3; ++i)
    ExpectSquare(start[i], LogoPoints[i].x, LogoPoints[i].y, -268, -42, 2.62f);
  // From 59900 every point has arrived: scale 1 at (-108, 388).
  const std::vector<Square> end = Squares(Record(Scene9, 59900));
  for (int i = 0; i < 3; ++i) ExpectSquare(end[i], LogoPoints[i].x, LogoPoints[i].y, -108, 388, 1);
  EXPECT_EQ(start[1].color, (std::vector<double>{0, 1, 0, 0.5}));
}

TEST_F(LogoSwarm, SceneThirteenDissolvesTheSmallLogoBackIntoTheLargeOne) {
  const std::vector<Square> start = Squares(Record(Scene13, 112000));
  for (int i = 0; i < 3; ++i)
    ExpectSquare(start[i], LogoPoints[i].x, LogoPoints[i].y, -108, 388, 1);
  // Half way the slowest point (factor 1) is half way too: the progress
  // is not eased (p^3 would give 1/8).
  const std::vector<Square> middle = Squares(Record(Scene13, 114000));
  EXPECT_NEAR(middle[0].x1 - middle[0].x0, 2.62f - 1.62f * 0.5f, 1e-4);
}

TEST_F(LogoSwarm, AnEmptyPointSetStillSendsItsBatch) {
  LogoCount = 0;
  const std::vector<GlCall> calls = Record(Scene14, 118000);
  EXPECT_EQ(ember_test::CountCalls(calls, "glBegin"), 1u);
  EXPECT_EQ(ember_test::CountCalls(calls, "glEnd"), 1u);
}

TEST_F(LogoSwarm, SceneFourteenSendsTheLogoToTheBottomRight) {
  const std::vector<Square> start = Squares(Record(Scene14, 116000));
  for (int i = 0; i < 3; ++i)
    ExpectSquare(start[i], LogoPoints[i].x, LogoPoints[i].y, -268, -42, 2.62f);
  // r = 0.75: points 1 and 2 (factors 1.9 and 1.5) have arrived at
  // (402, -52); point 0 is still on its way.
  const std::vector<Square> late = Squares(Record(Scene14, 119000));
  ExpectSquare(late[1], 100, 50, 402, -52, 1);
  ExpectSquare(late[2], 511, 255, 402, -52, 1);
  EXPECT_GT(late[0].x1 - late[0].x0, 1.01f);
}

TEST_F(LogoSwarm, ProgressIsClampedBeforeItIsEased) {
  // Scene 9 at r = 0.6: point 1 (factor 1.9, curve p^8) has 1.14, clamped
  // to 1, and sits at the end; eased first it would have barely moved.
  const int32_t t = 57000 + static_cast<int32_t>(0.6 * 2900);
  const std::vector<Square> squares = Squares(Record(Scene9, t));
  ExpectSquare(squares[1], 100, 50, -108, 388, 1);
  // Point 2 (factor 1.5, curve p^2): p = 0.9 eased to 0.81.
  const float r = static_cast<float>(t - 57000) / 2900;
  const float p = (r * 1.5f) * (r * 1.5f);
  const float q = std::sin(p * 3.1415927f);
  const float ox = -268 + 160 * p + 200 * q * std::sin(static_cast<float>(t) / 1000);
  const float oy = -42 + 430 * p + 100 * q * std::cos(static_cast<float>(t) / 900);
  ExpectSquare(squares[2], 511, 255, ox, oy, 2.62f - 1.62f * p);
}

}  // namespace
