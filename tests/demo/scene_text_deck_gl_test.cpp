// Scenes 4 and 5 drawn by the started demo: the zooming text pages and the
// deck mesh.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "demo/resources.h"
#include "demo_harness.h"
#include "support/test_support.h"
#include "scene_frame_checks.h"
#include "window/gl_demo.h"

namespace ember_test {
namespace {

// Texture names of the probes that stand in for the layer effects.
constexpr int32_t kVBlurTag = 9221, kHatterTag = 9222, kHBlur2Tag = 9223, kUvegTag = 9224,
                  kFadeOutTag = 9225;

class TextDeckScenes : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartDemo(); }
  void SetUp() override { UseTimelineDepthFunction(); }
};

constexpr int32_t kPagesStart = 18000 + 3300;  // s = 0

// A page quad as it lands in the 800 x 600 space: the texture bound and its
// four corners in drawing order.
struct PlacedPage {
  int32_t texture;
  std::array<std::array<double, 2>, 4> corners;
};

// Replays the projection transforms of scene 4 (translate, scale and turn
// about z after the gluOrtho2D) and places every quad it draws before the
// first capture into the work texture.
std::vector<PlacedPage> PlacePages(const std::vector<GlCall> &calls) {
  // x' = a x + b y + e, y' = c x + d y + f
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  int32_t bound = 0;
  std::vector<PlacedPage> pages;
  const size_t start = IndexOfCall(calls, "glViewport", {0, 0, 512, 512});
  for (size_t i = start; i < calls.size() && calls[i].name != "glCopyTexImage2D"; ++i) {
    const GlCall &call = calls[i];
    const std::vector<double> &v = call.args;
    if (call.name == "glLoadIdentity") {
      a = d = 1, b = c = e = f = 0;
    } else if (call.name == "glTranslatef") {
      e += a * v[0] + b * v[1];
      f += c * v[0] + d * v[1];
    } else if (call.name == "glScalef") {
      a *= v[0], c *= v[0], b *= v[1], d *= v[1];
    } else if (call.name == "glRotatef") {
      EXPECT_EQ(v[3], 1) << "pages turn about z only";
      const double r = static_cast<float>(v[0]) * M_PI / 180, co = std::cos(r), si = std::sin(r);
      const double na = a * co + b * si, nb = -a * si + b * co;
      const double nc = c * co + d * si, nd = -c * si + d * co;
      a = na, b = nb, c = nc, d = nd;
    } else if (call.name == "glBindTexture") {
      bound = static_cast<int32_t>(v[1]);
    } else if (call.name == "glBegin" && v[0] == GL_QUADS) {
      PlacedPage page{bound, {}};
      size_t corner = 0;
      for (size_t j = i + 1; j < calls.size() && calls[j].name != "glEnd"; ++j)
        if (calls[j].name == "glVertex2f" && corner < 4) {
          const double x = calls[j].args[0], y = calls[j].args[1];
          page.corners[corner++] = {a * x + b * y + e, c * x + d * y + f};
        }
      pages.push_back(page);
    }
  }
  return pages;
}

std::vector<int32_t> Textures(const std::vector<PlacedPage> &pages) {
  std::vector<int32_t> textures;
  for (const PlacedPage &page : pages) textures.push_back(page.texture);
  return textures;
}

TEST_F(TextDeckScenes, EachZoomStepBringsTheNextPageOntoTheFullPage) {
  const std::vector<PlacedPage> start = PlacePages(RecordFrame(kPagesStart));
  ASSERT_EQ(Textures(start), (std::vector<int32_t>{TexText[0]}));
  const std::array<std::array<double, 2>, 4> full = {
      {{100, 0}, {700, 0}, {700, 600}, {100, 600}}};
  for (int c = 0; c < 4; ++c) {
    EXPECT_NEAR(start[0].corners[c][0], full[c][0], 1e-3);
    EXPECT_NEAR(start[0].corners[c][1], full[c][1], 1e-3);
  }
  // At the end of step k (s = 3300 k) page k + 1 covers the full page,
  // texture corner for texture corner.
  for (int k = 1; k <= 4; ++k) {
    const std::vector<PlacedPage> pages = PlacePages(RecordFrame(kPagesStart + 3300 * k));
    ASSERT_EQ(pages.size(), static_cast<size_t>(k + 1)) << "step " << k;
    const PlacedPage &page = pages[k];
    EXPECT_EQ(page.texture, TexText[k]);
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(page.corners[c][0], full[c][0], 0.05) << "step " << k << " corner " << c;
      EXPECT_NEAR(page.corners[c][1], full[c][1], 0.05) << "step " << k << " corner " << c;
    }
  }
}

TEST_F(TextDeckScenes, EachPageSitsInTheLowerLeftOfTheOneAroundItTurnedAQuarter) {
  // In the coordinates of page k (its corners at plus and minus 300), page
  // k + 1 is one eighth its size, centred at -300 / 1.8 on both axes and
  // turned a quarter turn anticlockwise.
  const double h = 300.0 / 8, centre = -300.0 / 1.8;
  const double inner[4][2] = {{h, -h}, {h, h}, {-h, h}, {-h, -h}};
  for (int32_t t : {kPagesStart + 825, kPagesStart + 5000, kPagesStart + 12000}) {
    const std::vector<PlacedPage> pages = PlacePages(RecordFrame(t));
    ASSERT_GE(pages.size(), 2u) << t;
    for (size_t k = 0; k + 1 < pages.size(); ++k) {
      // Page k's local axes on the screen.
      const auto &c = pages[k].corners;
      const double ox = (c[0][0] + c[2][0]) / 2, oy = (c[0][1] + c[2][1]) / 2;
      const double xx = (c[1][0] - c[0][0]) / 600, xy = (c[1][1] - c[0][1]) / 600;
      const double yx = (c[3][0] - c[0][0]) / 600, yy = (c[3][1] - c[0][1]) / 600;
      const double det = xx * yy - yx * xy;
      for (int v = 0; v < 4; ++v) {
        const double dx = pages[k + 1].corners[v][0] - ox, dy = pages[k + 1].corners[v][1] - oy;
        const double lx = (dx * yy - dy * yx) / det, ly = (xx * dy - xy * dx) / det;
        EXPECT_NEAR(lx, centre + inner[v][0], 0.01) << t << " page " << k + 2 << " corner " << v;
        EXPECT_NEAR(ly, centre + inner[v][1], 0.01) << t << " page " << k + 2 << " corner " << v;
      }
    }
  }
}

TEST_F(TextDeckScenes, InnerPagesAppear825MsIntoTheZoomAndNeverPastTheFifth) {
  EXPECT_EQ(Textures(PlacePages(RecordFrame(18000))), (std::vector<int32_t>{TexText[0]}));
  EXPECT_EQ(Textures(PlacePages(RecordFrame(kPagesStart + 824))),
            (std::vector<int32_t>{TexText[0]}));
  EXPECT_EQ(Textures(PlacePages(RecordFrame(kPagesStart + 825))),
            (std::vector<int32_t>{TexText[0], TexText[1]}));
  // The zoom runs on into page 5; no sixth texture is ever bound.
  EXPECT_EQ(Textures(PlacePages(RecordFrame(35999))),
            (std::vector<int32_t>{TexText[0], TexText[1], TexText[2], TexText[3], TexText[4]}));
}

TEST_F(TextDeckScenes, TheFirstPageGrowsAndBrightensOverTheFirstPeriod) {
  struct Case {
    int32_t t;
    float b;
  } cases[] = {{18000, 0}, {18000 + 1650, 0.75f}, {kPagesStart, 1}, {30000, 1}};
  for (const Case &c : cases) {
    const std::vector<GlCall> calls = RecordFrame(c.t);
    const std::vector<const GlCall *> colours = CallsWith(calls, "glColor3f", {});
    const std::vector<PlacedPage> pages = PlacePages(calls);
    ASSERT_FALSE(pages.empty());
    bool grey = false;
    for (const GlCall *colour : colours)
      grey |= colour->args == std::vector<double>{c.b / 2, c.b / 2, c.b / 2};
    EXPECT_TRUE(grey) << c.t;
    if (c.t < kPagesStart) {
      EXPECT_NEAR(pages[0].corners[1][0] - pages[0].corners[0][0], 600 * c.b, 1e-3) << c.t;
    }
  }
}

TEST_F(TextDeckScenes, ThePagesReachTheScreenOnlyBlurredOverTheBackground) {
  const std::vector<GlCall> calls = RecordFrame(26000);
  EXPECT_EQ(CountCalls(calls, "glCopyTexImage2D"), 2u);
  EXPECT_EQ(ViewportAt(calls, IndicesOf(calls, "glCopyTexImage2D")[0]), kGlowSquare);
  ScopedProbeEffect vBlur(IfeVBlur, kVBlurTag), hatter(IfeGombHatter, kHatterTag),
      hBlur(IfeHBlur2, kHBlur2Tag), uveg(IfeUveg, kUvegTag);
  const std::vector<GlCall> probed = RecordFrame(26000);
  EXPECT_EQ(ProbeFrames(probed, kVBlurTag), (std::vector<float>{90}));
  EXPECT_EQ(ProbeFrames(probed, kHatterTag), (std::vector<float>{999}));
  EXPECT_EQ(ProbeFrames(probed, kHBlur2Tag), (std::vector<float>{90}));
  EXPECT_EQ(ProbeFrames(probed, kUvegTag), (std::vector<float>{999}));
}

TEST_F(TextDeckScenes, TheDeckIsDrawnTwiceWhileTheCameraApproaches) {
  struct Case {
    int32_t t;
    double B;
  } cases[] = {{36000, 0}, {38000, 500}, {39999, 3999.0 * 3999.0 / 8000.0}};
  for (const Case &c : cases) {
    const std::vector<GlCall> calls = RecordFrame(c.t);
    const std::vector<size_t> meshes = IndicesOf(calls, "glDrawElements");
    ASSERT_EQ(meshes.size(), 2u) << c.t;
    for (size_t m : meshes) EXPECT_EQ(calls[m].args[1], 3.0 * MeshDeckf.faceCount) << c.t;
    // The glow square is cleared before the first draw.
    const size_t square = IndexOfCall(calls, "glViewport", {0, 0, 512, 512});
    ASSERT_LT(square + 1, calls.size());
    EXPECT_EQ(ViewportAt(calls, square + 1), kGlowSquare);
    EXPECT_EQ(calls[square + 1].name, "glClear");
    EXPECT_EQ(ViewportAt(calls, meshes[1]), (GlRect{0, 0, 800, 600}));

    const std::vector<size_t> looks = IndicesOf(calls, "gluLookAt");
    ASSERT_EQ(looks.size(), 2u);
    for (size_t look : looks) EXPECT_NEAR(calls[look].args[2], 2200 - c.B, 1e-3) << c.t;
    const std::vector<const GlCall *> deckColours =
        CallsWith(calls, "glColor4f", {0.6666667f, 0.6666667f, 0.6666667f});
    ASSERT_EQ(deckColours.size(), 2u);
    EXPECT_FLOAT_EQ(static_cast<float>(deckColours[0]->args[3]), (c.t - 36000) / 1000.0f);
  }
  ScopedProbeEffect fadeOut(IfeFadeOut, kFadeOutTag);
  EXPECT_EQ(ProbeFrames(RecordFrame(39800), kFadeOutTag), (std::vector<float>{300}));
}

TEST_F(TextDeckScenes, EveryAspectKeepsThePictureInsideItsViewport) {
  ExpectConfinedToAspect(26000, kGlowSquare);
  ExpectConfinedToAspect(38000, kGlowSquare);
}

TEST_F(TextDeckScenes, TheDeckShowsInTheMiddleOfTheScreen) {
  const Frame before = DrawFrame(36000);  // alpha 0: background and glow only
  const Frame after = DrawFrame(39000);
  EXPECT_NE(before.Sum(300, 200, 500, 400), after.Sum(300, 200, 500, 400));
}

TEST_F(TextDeckScenes, FramesRepeatAndDrawWithoutErrors) {
  for (int32_t t : {18000, 24600, 30000, 35999, 36000, 38000, 39999}) ExpectRepeatable(t);
  EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A fresh process draws these frames pixel for pixel alike.
std::string TextDeckScenesDigests() {
  std::string digests;
  for (int32_t t : {26000, 38500}) {
    DrawFrame(t);  // settles the state a frame inherits
    digests += FrameDigest(DrawFrame(t)) + "\n";
  }
  return digests;
}

TEST_F(TextDeckScenes, DISABLED_WriteDigests) { WriteFile(DigestFile(), TextDeckScenesDigests()); }

TEST_F(TextDeckScenes, AFreshProcessDrawsTheSameFrames) {
  const std::string here = TextDeckScenesDigests();
  EXPECT_EQ(RunSelfForDigests("TextDeckScenes.DISABLED_WriteDigests"), here);
}

TEST_F(TextDeckScenes, PicturesForAPerson) {
  EXPECT_FALSE(WriteFramePng(DrawFrame(26000), "scene04-text-pages").empty());
  EXPECT_FALSE(WriteFramePng(DrawFrame(38500), "scene05-deck").empty());
}

}  // namespace
}  // namespace ember_test
