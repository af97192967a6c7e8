// Scenes 6 and 7 drawn by the started demo: the growing path lines with
// their sprites, and the box wall.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <tuple>

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

// The wall's three passes as they reach OpenGL: one draw of quads each,
// every box under its own matrix already applied to its vertices.
struct WallDraws {
  const GlCall *fronts = nullptr, *backs = nullptr, *sides = nullptr;
};

WallDraws Wall(const std::vector<GlCall> &calls) {
  const std::vector<size_t> draws = Draws(calls, GL_QUADS);
  if (draws.size() != 3) return {};
  return {&calls[draws[0]], &calls[draws[1]], &calls[draws[2]]};
}

std::array<double, 3> At(const GlCall &draw, size_t v) {
  const std::vector<double> p = ArrayVertex(draw, GL_VERTEX_ARRAY, v);
  return p.size() == 3 ? std::array<double, 3>{p[0], p[1], p[2]} : std::array<double, 3>{};
}

TEST_F(PathsBoxesScenes, TheWallStandsWholeOneUnitRightOfCentreAtItsStart) {
  const std::vector<GlCall> calls = RecordFrame(48000);
  const WallDraws wall = Wall(calls);
  ASSERT_NE(wall.sides, nullptr);
  EXPECT_EQ(wall.fronts->args[2], 4800 * 4);
  EXPECT_EQ(wall.backs->args[2], 4800 * 4);
  EXPECT_EQ(wall.sides->args[2], 4800 * 16);
  // Only the sides carry normals, one per face.
  EXPECT_EQ(wall.fronts->arrays.count(GL_NORMAL_ARRAY), 0u);
  EXPECT_EQ(wall.sides->arrays.at(GL_NORMAL_ARRAY).size(), 3u * 4800 * 16);
  EXPECT_EQ(ArrayVertex(*wall.sides, GL_NORMAL_ARRAY, 16 * 7 + 4), (std::vector<double>{0, 1, 0}));
  for (size_t I = 0; I < 4800; ++I) {
    const double c = static_cast<double>(I % 80), r = static_cast<double>(I / 80);
    ASSERT_EQ(At(*wall.fronts, 4 * I), (std::array<double, 3>{c - 39, r - 30, 1})) << I;
    ASSERT_EQ(At(*wall.fronts, 4 * I + 2), (std::array<double, 3>{c - 38, r - 29, 1})) << I;
    ASSERT_EQ(At(*wall.backs, 4 * I), (std::array<double, 3>{c - 39, r - 30, -1})) << I;
    ASSERT_EQ(At(*wall.sides, 16 * I + 14), (std::array<double, 3>{c - 38, r - 29, 1})) << I;
  }

  // The camera sees 80 units across at the wall: the wall's left edge
  // leaves an empty strip a unit wide, its right edge runs off the screen.
  const Frame frame = DrawFrame(48000);
  EXPECT_TRUE(frame.AllBlack(0, 0, 8, 600));
  EXPECT_GT(frame.Sum(792, 100, 800, 500), 0u);
}

TEST_F(PathsBoxesScenes, TheBoxesScatterByTheCloudsAndComeBack) {
  const std::vector<GlCall> full = RecordFrame(52000);  // B = 1, A = 90
  const WallDraws wall = Wall(full);
  ASSERT_NE(wall.sides, nullptr);
  for (size_t I = 0; I < 4800; ++I) {
    const int32_t c = static_cast<int32_t>(I % 80), r = static_cast<int32_t>(I / 80);
    const TVec3 &S = NearCloud[I], &R = FarCloud[I];
    const double T[3] = {static_cast<float>(c - 40) + S.x + 1, static_cast<float>(r - 30) + S.y, S.z};
    // The box's corners (0, 0, 1) and (1, 1, -1), turned about z, y and x
    // in that order, then moved.
    for (auto [corner, draw, v] : {std::tuple{std::array<double, 3>{0, 0, 1}, wall.fronts, 4 * I},
                                   std::tuple{std::array<double, 3>{1, 1, -1}, wall.backs, 4 * I + 2}}) {
      std::array<double, 3> p = Turned(corner, R.z, 0, 0, 1);
      p = Turned(p, R.y + 90, 0, 1, 0);
      p = Turned(p, R.x, 1, 0, 0);
      const std::array<double, 3> got = At(*draw, v);
      for (int a = 0; a < 3; ++a) ASSERT_NEAR(got[a], p[a] + T[a], 1e-3) << I << " axis " << a;
    }
  }
  const std::vector<GlCall> later = RecordFrame(55999);
  const WallDraws back = Wall(later);  // nearly whole again, turned half round
  ASSERT_NE(back.fronts, nullptr);
  for (size_t I = 0; I < 4800; ++I) {
    const double c = static_cast<double>(I % 80), r = static_cast<double>(I / 80);
    const std::array<double, 3> got = At(*back.fronts, 4 * I);
    ASSERT_NEAR(got[0], c - 39.0, 1e-3) << I;
    ASSERT_NEAR(got[1], r - 30.0, 1e-3) << I;
    ASSERT_NEAR(got[2], -1, 1e-3) << I;
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
  const std::vector<size_t> draws = Draws(calls, GL_QUADS);
  ASSERT_EQ(draws.size(), 3u);
  EXPECT_GT(genOn, draws[1]);
  EXPECT_LT(genOn, draws[2]);
  EXPECT_GT(genOff, draws[2]);
  // Fronts and backs carry texture coordinates, the sides none.
  EXPECT_EQ(calls[draws[2]].arrays.count(GL_TEXTURE_COORD_ARRAY), 0u);
  // A back cell samples the column to the left of its own, mirrored: box
  // (c, r) = (10, 20) shows u from 10/80 down to 9/80, v from 40/60 to 39/60.
  std::vector<std::vector<double>> uv;
  for (size_t v = 0; v < 4; ++v)
    uv.push_back(ArrayVertex(calls[draws[1]], GL_TEXTURE_COORD_ARRAY, 4 * (20 * 80 + 10) + v));
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
