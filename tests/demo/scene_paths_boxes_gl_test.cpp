// Scenes 6 and 7 drawn by the started demo: the growing path lines with
// their sprites, and the box wall.
#include <gtest/gtest.h>

#include <cmath>

#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo_harness.h"
#include "support/test_support.h"
#include "scene_frame_checks.h"
#include "window/gl_demo.h"

namespace ember_test {
namespace {

class PathsBoxesScenes : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartDemo(); }
  void SetUp() override { UseTimelineDepthFunction(); }
};

// The calls inside the nth glBegin(primitive) .. glEnd pair.
std::vector<GlCall> Batch(const std::vector<GlCall> &calls, GLenum primitive, size_t nth) {
  const std::vector<size_t> begins = Begins(calls, primitive);
  if (nth >= begins.size()) return {};
  size_t end = begins[nth];
  while (end < calls.size() && calls[end].name != "glEnd") ++end;
  return {calls.begin() + static_cast<ptrdiff_t>(begins[nth] + 1),
          calls.begin() + static_cast<ptrdiff_t>(end)};
}

// ---- scene 6 ----------------------------------------------------------------

TEST_F(PathsBoxesScenes, LinesRunFromTheTailToTheHeadOfEveryPath) {
  struct Case {
    int32_t t;
    size_t segments;  // per path: E - Sb + 1
  } cases[] = {
      {40000, 1},    // E = 0, Sb = -200 clamped to 0
      {44000, 201},  // E = 1420, Sb = 1220
      {46877, 201},  // E = 4199
      {46878, 201},  // E reaches 4200
      {47039, 2},    // Sb = 4199
      {47040, 1},    // Sb reaches 4200 too: the lines have gone
      {47999, 1},
  };
  for (const Case &c : cases) {
    const std::vector<GlCall> calls = RecordFrame(c.t);
    ASSERT_EQ(Begins(calls, GL_LINES).size(), 2u) << c.t;
    for (size_t pass = 0; pass < 2; ++pass) {
      const std::vector<GlCall> lines = Batch(calls, GL_LINES, pass);
      EXPECT_EQ(CountCalls(lines, "glVertex2f"), 2 * FIELD_PATHS * c.segments) << c.t;
      EXPECT_EQ(CountCalls(lines, "glColor3f"), FIELD_PATHS * c.segments) << c.t;
    }
    const std::vector<const GlCall *> widths = CallsWith(calls, "glLineWidth", {});
    ASSERT_EQ(widths.size(), 2u);
    EXPECT_EQ(widths[0]->args[0], 3);
    EXPECT_EQ(widths[1]->args[0], 1);
  }
}

TEST_F(PathsBoxesScenes, LinesBrightenFromTailToHead) {
  const std::vector<GlCall> calls = RecordFrame(44000);
  const std::vector<GlCall> wide = Batch(calls, GL_LINES, 0), core = Batch(calls, GL_LINES, 1);
  const std::vector<size_t> wideColours = IndicesOf(wide, "glColor3f");
  const std::vector<size_t> coreColours = IndicesOf(core, "glColor3f");
  ASSERT_EQ(wideColours.size(), 37u * 201u);
  EXPECT_EQ(wide[wideColours[0]].args, (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(wide[wideColours[200]].args, (std::vector<double>{1.0f / 8, 1.0f / 8, 1.0f / 6}));
  EXPECT_EQ(core[coreColours[200]].args, (std::vector<double>{0.25, 0.25, 0.25}));
  EXPECT_NEAR(wide[wideColours[100]].args[0], 0.5 / 8, 1e-6);

  // The head of each path: the segment from E / 100 to (E + 1) / 100.
  const std::vector<size_t> vertices = IndicesOf(wide, "glVertex2f");
  for (int32_t i = 0; i < FIELD_PATHS; ++i) {
    TVec3 head;
    SplinePoint(head, FieldPaths[i], 14.2f);
    const GlCall &v = wide[vertices[(static_cast<size_t>(i) * 201 + 200) * 2]];
    EXPECT_EQ(v.args, (std::vector<double>{head.x, head.y})) << "path " << i;
  }
}

TEST_F(PathsBoxesScenes, SpritesOpenAtThePointsTheHeadHasPassed) {
  struct Case {
    int32_t t;
    float head;  // E / 100
  } cases[] = {{40000, 0}, {44000, 14.2f}, {47500, 42}};
  for (const Case &c : cases) {
    const std::vector<GlCall> calls = RecordFrame(c.t);
    const std::vector<size_t> quads = Begins(calls, GL_QUADS);
    ASSERT_EQ(quads.size(), 10u) << c.t;
    for (int32_t F = 0; F < 10; ++F) {
      EXPECT_EQ(ViewportAt(calls, quads[F]), (GlRect{0, 0, 800, 600}));
      const std::vector<GlCall> batch = Batch(calls, GL_QUADS, static_cast<size_t>(F));
      const std::vector<size_t> vertices = IndicesOf(batch, "glVertex2f");
      size_t q = 0;  // the quads of this texture, in drawing order
      for (int32_t i = 0; i < FIELD_PATHS; ++i)
        for (int32_t J = 0; J < FIELD_PATH_POINTS; ++J) {
          if ((J * 36 + i) % 10 != F) continue;
          const TVec3 &p = FieldPaths[i].points[J];
          const float T = std::min(std::max(c.head - static_cast<float>(J), 0.0f), 1.0f);
          for (float R : {1.4f * T, 2.0f * T}) {
            ASSERT_LT(4 * q, vertices.size());
            const GlCall &corner = batch[vertices[4 * q]];
            EXPECT_EQ(corner.args, (std::vector<double>{p.x + R, p.y + R}))
                << c.t << " path " << i << " point " << J;
            ++q;
          }
        }
      EXPECT_EQ(4 * q, vertices.size()) << "texture " << F;
    }
    // Every sprite texture is bound once, in order.
    std::vector<double> bound;
    for (const GlCall *bind : CallsWith(calls, "glBindTexture", {GL_TEXTURE_2D}))
      bound.push_back(bind->args[1]);
    ASSERT_GE(bound.size(), 10u);
    for (int F = 0; F < 10; ++F) EXPECT_EQ(bound[bound.size() - 10 + F], TexVirag[F]);
  }
}

TEST_F(PathsBoxesScenes, ThePathsKeepInsideEveryAspectsViewport) {
  // Wide lines may reach a pixel or two past the viewport's edge.
  ExpectConfinedToAspect(44000, kWholeWindow, 2);
}

// ---- scene 7 ----------------------------------------------------------------

struct Box {
  std::vector<double> translation, angles;
};

// Every box's translation and the angles of its three turns, in drawing
// order (three passes of 4800).
std::vector<Box> Boxes(const std::vector<GlCall> &calls) {
  std::vector<Box> boxes;
  for (size_t i = 0; i + 3 < calls.size(); ++i) {
    if (calls[i].name != "glPushMatrix" || calls[i + 1].name != "glTranslatef") continue;
    Box box{calls[i + 1].args, {}};
    for (size_t r = 0; r < 3; ++r) box.angles.push_back(calls[i + 2 + r].args[0]);
    boxes.push_back(box);
  }
  return boxes;
}

TEST_F(PathsBoxesScenes, TheWallStandsWholeOneUnitRightOfCentreAtItsStart) {
  const std::vector<GlCall> calls = RecordFrame(48000);
  const std::vector<Box> boxes = Boxes(calls);
  ASSERT_EQ(boxes.size(), 3u * 4800u);
  for (size_t n = 0; n < boxes.size(); ++n) {
    const int32_t I = static_cast<int32_t>(n % 4800), c = I % 80, r = I / 80;
    ASSERT_EQ(boxes[n].translation, (std::vector<double>{c - 39.0, r - 30.0, 0})) << n;
    ASSERT_EQ(boxes[n].angles, (std::vector<double>{0, 0, 0})) << n;
  }
  EXPECT_EQ(CountCalls(calls, "glBegin"), 3u * 4800u);
  EXPECT_EQ(CountCalls(calls, "glVertex3f"), 4800u * (4 + 4 + 16));
  EXPECT_EQ(CountCalls(calls, "glNormal3f"), 4800u * 4);

  // The camera sees 80 units across at the wall: the wall's left edge
  // leaves an empty strip a unit wide, its right edge runs off the screen.
  const Frame frame = DrawFrame(48000);
  EXPECT_TRUE(frame.AllBlack(0, 0, 8, 600));
  EXPECT_GT(frame.Sum(792, 100, 800, 500), 0u);
}

TEST_F(PathsBoxesScenes, TheBoxesScatterByTheCloudsAndComeBack) {
  const std::vector<Box> full = Boxes(RecordFrame(52000));  // B = 1, A = 90
  ASSERT_EQ(full.size(), 3u * 4800u);
  for (size_t n = 0; n < full.size(); ++n) {
    const int32_t I = static_cast<int32_t>(n % 4800), c = I % 80, r = I / 80;
    const TVec3 &S = NearCloud[I], &R = FarCloud[I];
    ASSERT_EQ(full[n].translation,
              (std::vector<double>{static_cast<float>(c - 40) + S.x + 1,
                                   static_cast<float>(r - 30) + S.y, S.z}))
        << n;
    ASSERT_EQ(full[n].angles, (std::vector<double>{R.x, R.y + 90, R.z})) << n;
  }
  const std::vector<Box> back = Boxes(RecordFrame(55999));  // nearly whole again
  for (size_t n = 0; n < back.size(); ++n) {
    const int32_t I = static_cast<int32_t>(n % 4800), c = I % 80, r = I / 80;
    ASSERT_NEAR(back[n].translation[0], c - 39.0, 1e-4) << n;
    ASSERT_NEAR(back[n].translation[1], r - 30.0, 1e-4) << n;
    ASSERT_NEAR(back[n].translation[2], 0, 1e-4) << n;
  }
}

TEST_F(PathsBoxesScenes, FrontsBacksAndSidesEachHaveTheirTexture) {
  const std::vector<GlCall> calls = RecordFrame(50000);
  std::vector<int32_t> bound;
  for (const GlCall *bind : CallsWith(calls, "glBindTexture", {GL_TEXTURE_2D}))
    bound.push_back(static_cast<int32_t>(bind->args[1]));
  EXPECT_EQ(bound, (std::vector<int32_t>{TexEmberfld, TexBpLogoBig, TexHatter}));
  // Sphere mapping only for the sides.
  const size_t genOn = IndexOfCall(calls, "glEnable", {GL_TEXTURE_GEN_S});
  const size_t genOff = IndexOfCall(calls, "glDisable", {GL_TEXTURE_GEN_S});
  const std::vector<size_t> begins = Begins(calls, GL_QUADS);
  ASSERT_EQ(begins.size(), 3u * 4800u);
  EXPECT_GT(genOn, begins[2 * 4800 - 1]);
  EXPECT_LT(genOn, begins[2 * 4800]);
  EXPECT_GT(genOff, begins.back());
  // A back cell samples the column to the left of its own, mirrored: box
  // (c, r) = (10, 20) shows u from 10/80 down to 9/80, v from 40/60 to 39/60.
  const std::vector<GlCall> back = Batch(calls, GL_QUADS, 4800 + 20 * 80 + 10);
  std::vector<std::vector<double>> uv;
  for (const GlCall &call : back)
    if (call.name == "glTexCoord2f") uv.push_back(call.args);
  const double u0 = 10.0f / 80, u1 = 9.0f / 80, v0 = 40.0f / 60, v1 = 39.0f / 60;
  EXPECT_EQ(uv, (std::vector<std::vector<double>>{{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}}));
}

TEST_F(PathsBoxesScenes, TheWallKeepsInsideEveryAspectsViewport) {
  ExpectConfinedToAspect(50000, kWholeWindow);
}

TEST_F(PathsBoxesScenes, FramesRepeatAndDrawWithoutErrors) {
  for (int32_t t : {40000, 44000, 47999, 48000, 52000, 55999}) ExpectRepeatable(t);
  EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A fresh process draws these frames pixel for pixel alike.
std::string PathsBoxesScenesDigests() {
  std::string digests;
  for (int32_t t : {44000, 50500}) {
    DrawFrame(t);  // settles the state a frame inherits
    digests += FrameDigest(DrawFrame(t)) + "\n";
  }
  return digests;
}

TEST_F(PathsBoxesScenes, DISABLED_WriteDigests) { WriteFile(DigestFile(), PathsBoxesScenesDigests()); }

TEST_F(PathsBoxesScenes, AFreshProcessDrawsTheSameFrames) {
  const std::string here = PathsBoxesScenesDigests();
  EXPECT_EQ(RunSelfForDigests("PathsBoxesScenes.DISABLED_WriteDigests"), here);
}

TEST_F(PathsBoxesScenes, PicturesForAPerson) {
  EXPECT_FALSE(WriteFramePng(DrawFrame(44000), "scene06-paths").empty());
  EXPECT_FALSE(WriteFramePng(DrawFrame(50500), "scene07-box-wall").empty());
}

}  // namespace
}  // namespace ember_test
