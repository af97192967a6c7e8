// Scenes 17 to 19 through the recording OpenGL table: the layer effects
// and their frames, the credits page's camera, quads and turns, and the
// glow sequence around the page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo/frame_loop.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "demo/shell.h"
#include "demo_harness.h"

namespace {

using ember_test::GlCall;
using ember_test::GlRecorder;
using ember_test::ProbeFrames;
using ember_test::ScopedProbeEffect;

constexpr int32_t kBpScreenTag = 6001, kEndPartTag = 6002, kHBlurTag = 6003, kVBlurTag = 6004;
constexpr int32_t kLevelTextures[6] = {501, 502, 503, 504, 505, 506};  // the last: credits

std::vector<GlCall> Record(void (*scene)(), int32_t t) {
  DemoTime = t;
  SyncValue = SyncValueForTime(t);
  GlRecorder recorder;
  scene();
  return recorder.calls();
}

// One quad of the page as recorded: its texture, colour, turn about y (the
// sum of the y rotations since the camera was set), and its corners.
struct PageQuad {
  double texture = 0;
  double grey = 0;
  double turn = 0;
  std::vector<double> corners;    // x, y, z of four corners
  std::vector<double> texCoords;  // s, t of four corners
};

std::vector<std::vector<PageQuad>> Pages(const std::vector<GlCall> &calls) {
  std::vector<std::vector<PageQuad>> pages;
  double turn = 0, texture = 0, grey = 0;
  bool inPage = false, textured = false;
  for (const GlCall &call : calls) {
    if (call.name == "gluLookAt") {
      pages.emplace_back();
      turn = 0;
      inPage = true;
    } else if (call.name == "gluOrtho2D") {
      inPage = false;  // a layer effect
    }
    if (!inPage) continue;
    if (call.name == "glRotatef" && call.args[2] == 1) turn += call.args[0];
    if (call.name == "glBindTexture") texture = call.args[1];
    if (call.name == "glColor3f") grey = call.args[0];
    if (call.name == "glEnable" && call.args[0] == GL_TEXTURE_2D) textured = true;
    if (call.name == "glBegin") {
      EXPECT_TRUE(textured);
      pages.back().push_back({texture, grey, turn, {}, {}});
    }
    if (call.name == "glVertex3f")
      pages.back().back().corners.insert(pages.back().back().corners.end(), call.args.begin(),
                                         call.args.end());
    if (call.name == "glTexCoord2f")
      pages.back().back().texCoords.insert(pages.back().back().texCoords.end(),
                                           call.args.begin(), call.args.end());
  }
  return pages;
}

class Closing : public ::testing::Test {
protected:
  void SetUp() override {
    savedAspect_ = cfg_settings.aspect;
    for (int k = 0; k < 6; ++k) {
      savedLevels_[k] = TexLevel[k];
      TexLevel[k] = kLevelTextures[k];
    }
  }
  void TearDown() override {
    cfg_settings.aspect = savedAspect_;
    for (int k = 0; k < 6; ++k) TexLevel[k] = savedLevels_[k];
  }
  int32_t savedAspect_ = 0;
  int32_t savedLevels_[6] = {};
};

TEST_F(Closing, TheClosingScreensRunTheirLayerEffectsOverTheirOwnSpans) {
  ScopedProbeEffect bpScreen(IfeBpScreen, kBpScreenTag);
  ScopedProbeEffect endPart(IfeEndPart, kEndPartTag);
  EXPECT_EQ(ProbeFrames(Record(Scene17, 184000), kBpScreenTag), (std::vector<float>{0}));
  EXPECT_EQ(ProbeFrames(Record(Scene17, 191999), kBpScreenTag), (std::vector<float>{999.875f}));
  EXPECT_EQ(ProbeFrames(Record(Scene19, 228000), kEndPartTag), (std::vector<float>{0}));
  EXPECT_EQ(ProbeFrames(Record(Scene19, 235999), kEndPartTag), (std::vector<float>{999.875f}));
  // Nothing else is drawn in these scenes.
  EXPECT_EQ(ember_test::CountCalls(Record(Scene17, 188000), "glBegin"), 1u);
  EXPECT_EQ(ember_test::CountCalls(Record(Scene19, 230000), "glBegin"), 1u);
}

TEST_F(Closing, TheCreditsPageIsDrawnTwiceAroundTheGlow) {
  ScopedProbeEffect hBlur(IfeHBlur, kHBlurTag);
  ScopedProbeEffect vBlur(IfeVBlur, kVBlurTag);
  cfg_settings.aspect = ASPECT_4_3;
  const std::vector<GlCall> calls = Record(Scene18, 200000);

  std::vector<std::string> outline;
  for (const GlCall &call : calls) {
    if (call.name == "glViewport" || call.name == "glCopyTexImage2D" || call.name == "glClear" ||
        call.name == "gluLookAt")
      outline.push_back(call.name);
    if (call.name == "glBindTexture" && call.args[1] == kHBlurTag) outline.push_back("h_blur");
    if (call.name == "glBindTexture" && call.args[1] == kVBlurTag) outline.push_back("v_blur");
  }
  EXPECT_EQ(outline, (std::vector<std::string>{"glViewport", "gluLookAt", "glCopyTexImage2D",
                                               "glClear", "h_blur", "glCopyTexImage2D",
                                               "glViewport", "glClear", "gluLookAt", "v_blur"}));
  EXPECT_EQ(ProbeFrames(calls, kHBlurTag), (std::vector<float>{1000}));
  EXPECT_EQ(ProbeFrames(calls, kVBlurTag), (std::vector<float>{1000}));
  EXPECT_EQ(ember_test::Find(calls, "glViewport", 0)->args, (std::vector<double>{0, 0, 512, 512}));
  EXPECT_EQ(ember_test::Find(calls, "glViewport", 1)->args, (std::vector<double>{0, 0, 800, 600}));
  // Neither blending nor the depth test is touched outside the layer
  // effects.
  const std::vector<std::vector<PageQuad>> pages = Pages(calls);
  ASSERT_EQ(pages.size(), 2u);
  bool inPage = false;
  int quadsEnded = 0;
  for (const GlCall &call : calls) {
    if (call.name == "gluLookAt") {
      inPage = true;
      quadsEnded = 0;
    }
    if (call.name == "glEnd" && ++quadsEnded == 9) inPage = false;
    if (!inPage) continue;
    EXPECT_NE(call.name, "glBlendFunc");
    if (call.name == "glEnable" || call.name == "glDisable") {
      EXPECT_NE(call.args[0], GL_BLEND);
      EXPECT_NE(call.args[0], GL_DEPTH_TEST);
    }
  }
}

TEST_F(Closing, TheCameraLooksStraightDownThePageAndSlidesDownIt) {
  for (int32_t s : {0, 7000, 35999}) {
    const std::vector<GlCall> calls = Record(Scene18, 192000 + s);
    const GlCall *perspective = ember_test::Find(calls, "gluPerspective", 0);
    ASSERT_NE(perspective, nullptr);
    EXPECT_EQ(perspective->args[0], 90);
    EXPECT_DOUBLE_EQ(perspective->args[1], 4.0 / 3.0);
    EXPECT_DOUBLE_EQ(perspective->args[2], 0.1);
    EXPECT_EQ(perspective->args[3], 4000);
    const GlCall *lookAt = ember_test::Find(calls, "gluLookAt", 1);
    ASSERT_NE(lookAt, nullptr);
    const double q = 1.4f - static_cast<float>(s) / 7000.0f;
    EXPECT_EQ(lookAt->args, (std::vector<double>{-0.3, q, 0.7, -0.3, q, 0, 0, 1, 0})) << s;
  }
  const std::vector<GlCall> calls = Record(Scene18, 199000);
  const GlCall *lookAt = ember_test::Find(calls, "gluLookAt", 0);
  EXPECT_FLOAT_EQ(static_cast<float>(lookAt->args[1]), 0.4f);
}

TEST_F(Closing, EachImageTurnsTwentyDegreesFurtherAndItsTextKeepsItsTurn) {
  struct Expected {
    int texture;  // index into kLevelTextures
    double grey;
    int image;    // 1..5, the image whose turn it shares
    float ta, tb, cx, cy, w, h;
  };
  const Expected table[] = {
      {0, 1, 1, 0, 1, 0, 0, 0.5f, 1},           {1, 1, 2, 0, 1, 0, -0.75f, 0.5f, 0.5f},
      {5, 0.8, 2, 0, 0.25f, -0.5f, -0.75f, 0.25f, 0.25f},
      {2, 1, 3, 0, 1, -0.49f, -1.28f, 1, 0.5f}, {5, 0.8, 3, 0.25f, 0.5f, 0.31f, -1.28f, 0.25f, 0.25f},
      {3, 1, 4, 0, 1, -0.05f, -1.86f, 0.5f, 1}, {5, 0.8, 4, 0.5f, 0.75f, -0.65f, -1.86f, 0.25f, 0.25f},
      {4, 1, 5, 0, 1, -0.33f, -2.6f, 0.5f, 0.5f}, {5, 0.8, 5, 0.75f, 1, 0.22f, -2.6f, 0.25f, 0.25f},
  };
  for (int32_t s : {0, 7000, 31500}) {
    const float r = static_cast<float>(s) / 350.0f;
    const std::vector<std::vector<PageQuad>> pages = Pages(Record(Scene18, 192000 + s));
    ASSERT_EQ(pages.size(), 2u);
    for (const std::vector<PageQuad> &page : pages) {
      ASSERT_EQ(page.size(), 9u);
      for (size_t k = 0; k < 9; ++k) {
        const Expected &e = table[k];
        const PageQuad &quad = page[k];
        EXPECT_EQ(quad.texture, kLevelTextures[e.texture]) << k;
        EXPECT_FLOAT_EQ(static_cast<float>(quad.grey), static_cast<float>(e.grey)) << k;
        // Image k faces the camera when r = 20 (k - 1).
        EXPECT_NEAR(quad.turn, r - 20.0 * (e.image - 1), 1e-4) << "quad " << k << " s " << s;
        const std::vector<double> corners = {e.cx - e.w, e.cy + e.h, 0, e.cx + e.w, e.cy + e.h, 0,
                                             e.cx + e.w, e.cy - e.h, 0, e.cx - e.w, e.cy - e.h, 0};
        ASSERT_EQ(quad.corners.size(), 12u);
        for (size_t c = 0; c < 12; ++c)
          EXPECT_FLOAT_EQ(static_cast<float>(quad.corners[c]), static_cast<float>(corners[c]))
              << "quad " << k << " value " << c;
        EXPECT_EQ(quad.texCoords, (std::vector<double>{0, e.ta, 1, e.ta, 1, e.tb, 0, e.tb})) << k;
      }
    }
  }
}

}  // namespace
