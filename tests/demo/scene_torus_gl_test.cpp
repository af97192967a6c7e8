// Scene 10 drawn by the started demo: the tile torus and the cube morph.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "demo/clip_space_batch.h"
#include "demo/draw_helpers.h"
#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo_harness.h"
#include "support/test_support.h"
#include "scene_frame_checks.h"
#include "window/gl_demo.h"

namespace ember_test {
namespace {

class TorusScene : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartDemo(); }
  void SetUp() override { UseTimelineDepthFunction(); }
};

// Translations right after a glPushMatrix, in drawing order: 4800 tiles,
// then 4800 cubes.
std::vector<std::vector<double>> PushedTranslations(const std::vector<GlCall> &calls) {
  std::vector<std::vector<double>> moves;
  for (size_t i = 0; i + 1 < calls.size(); ++i) {
    if (calls[i].name != "glPushMatrix") continue;
    size_t j = i + 1;
    while (j < calls.size() && calls[j].name != "glTranslatef" && calls[j].name != "glPopMatrix")
      ++j;
    if (j < calls.size() && calls[j].name == "glTranslatef") moves.push_back(calls[j].args);
  }
  return moves;
}

// The morph's dots, one per particle at its cube's centre, as drawn.
std::vector<float> MorphDots(const std::vector<GlCall> &calls) {
  for (const GlCall &call : calls)
    if (call.name == "glDrawArrays" && call.args[0] == GL_POINTS) return call.arrays.at(GL_VERTEX_ARRAY);
  return {};
}

// The vertices of the morph's cubes (drawn before the dots).
size_t MorphCubeVertices(const std::vector<GlCall> &calls) {
  for (const GlCall &call : calls)
    if (call.name == "glDrawArrays" && call.args[0] == GL_QUADS) return static_cast<size_t>(call.args[2]);
  return 0;
}

TEST_F(TorusScene, TheMorphRunsOnlyFrom64000To78000) {
  struct Case {
    int32_t t;
    bool runs, draws;  // the last beat ends on a row of black particles
  } cases[] = {{60000, false, false}, {63999, false, false}, {64000, true, true},
               {70000, true, true},   {77999, true, false},  {78000, false, false},
               {79999, false, false}};
  for (const Case &c : cases) {
    const std::vector<GlCall> calls = RecordFrame(c.t);
    const std::vector<float> dots = MorphDots(calls);
    EXPECT_EQ(!dots.empty(), c.draws) << c.t;
    EXPECT_EQ(MorphCubeVertices(calls), 8 * dots.size()) << c.t;  // a cube round each dot
    // One strip quad per tile, six faces per cube; the morph's batch sets
    // its last normal as the current one.
    EXPECT_EQ(CountCalls(calls, "glNormal3f"), 4800 + 6 * 4800 + (c.runs ? 1 : 0)) << c.t;
    EXPECT_EQ(PushedTranslations(calls).size(), 2 * 4800u) << c.t;
  }
  // After the last beat the morph's state is still set, but nothing drawn.
  const std::vector<GlCall> late = RecordFrame(79000);
  EXPECT_FALSE(CallsWith(late, "glBlendFunc", {GL_ONE, GL_ONE}).empty());
  EXPECT_LT(IndexOfCall(late, "glScalef", {0.0625f, 0.0625f, 0.0625f}), late.size());
}

TEST_F(TorusScene, TilesStartInTheFlatGridAndLandOnTheTorus) {
  const std::vector<GlCall> flat = RecordFrame(60000);
  EXPECT_EQ(SyncValue, 0);
  const std::vector<std::vector<double>> start = PushedTranslations(flat);
  ASSERT_EQ(start.size(), 9600u);
  for (size_t n = 0; n < start.size(); ++n) {
    const int32_t i = static_cast<int32_t>(n % 4800), c = i % 80, r = i / 80;
    ASSERT_EQ(start[n], (std::vector<double>{(r - 29.5f) / 10, (c - 39.5f) / 10, 0})) << n;
  }
  // No roll of the view while k is 0.
  const size_t perspective = IndexOfCall(flat, "gluPerspective", {90});
  ASSERT_LT(perspective + 1, flat.size());
  EXPECT_EQ(flat[perspective + 1].name, "glRotatef");
  EXPECT_EQ(flat[perspective + 1].args[0], 0);

  const std::vector<GlCall> landed = RecordFrame(70000);
  EXPECT_EQ(SyncValue, 10000);
  const std::vector<std::vector<double>> torus = PushedTranslations(landed);
  ASSERT_GE(torus.size(), 9600u);
  const TVec3 *T = &TorusPositions[0][0];
  for (size_t n = 0; n < 9600; ++n) {
    const TVec3 &p = T[n % 4800];
    ASSERT_EQ(torus[n], (std::vector<double>{p.x, p.y, p.z})) << n;
  }
  const std::vector<const GlCall *> scales = CallsWith(landed, "glScalef", {});
  ASSERT_FALSE(scales.empty());
  EXPECT_NEAR(scales[0]->args[0], 0.08, 1e-6);  // tiles grow as they fly
}

TEST_F(TorusScene, EachBeatStartsOnAnEvenKeyRowAndPassesTheOddOneHalfWay) {
  for (int32_t s = 0; s < 7; ++s) {
    for (int32_t half = 0; half < 2; ++half) {
      const int32_t t = 64000 + 2000 * s + 1000 * half;
      const std::vector<GlCall> calls = RecordFrame(t);
      const std::vector<float> dots = MorphDots(calls);
      const GlCall *dotDraw = nullptr;
      for (const GlCall &call : calls)
        if (call.name == "glDrawArrays" && call.args[0] == GL_POINTS) dotDraw = &call;
      // Every lit particle of the row, in order, with its bright dot; the
      // black ones add nothing and are left out.
      const int32_t row = 2 * s + half;
      const bool lit = std::count(GlyphWeights[row], GlyphWeights[row] + GLYPH_PARTICLES, 0.0f) <
                       GLYPH_PARTICLES;
      ASSERT_EQ(dotDraw != nullptr, lit) << t;
      if (!lit) continue;
      const std::vector<float> &colours = dotDraw->arrays.at(GL_COLOR_ARRAY);
      size_t n = 0;
      for (int32_t i = 0; i < GLYPH_PARTICLES; ++i) {
        if (GlyphWeights[row][i] == 0) continue;
        ASSERT_LT(3 * n, dots.size()) << t;
        const TVec3 &p = GlyphPositions[row][i];
        const float *dot = &dots[3 * n];
        EXPECT_FLOAT_EQ(colours[4 * n], 15 * (0.13f * GlyphWeights[row][i])) << t;
        ++n;
        ASSERT_EQ(std::vector<float>(dot, dot + 3), (std::vector<float>{2 * p.x, 2 * p.y, 2 * p.z})) << t            << "beat " << s << " row " << row << " particle " << i;
      }
      EXPECT_EQ(3 * n, dots.size()) << t;
    }
  }
}

TEST_F(TorusScene, TheBeatsSpinAboutTheirAxisPairs) {
  const std::vector<std::vector<double>> axes[3] = {
      {{0, 1, 0}, {0, 0, 1}}, {{0, 1, 0}, {1, 0, 0}}, {{0, 0, 1}, {1, 0, 0}}};
  for (int32_t s = 0; s < 8; ++s) {  // beat 7 spins with nothing to draw
    const std::vector<GlCall> calls = RecordFrame(64000 + 2000 * s + 1000);
    const size_t look = IndexOfCall(calls, "gluLookAt", {0, 0, 3});
    ASSERT_LT(look + 2, calls.size());
    const float spin = 2000.0f * 0.125f / 5.5555556f;  // half a beat in: (1/2)^3 of 2000
    for (size_t r = 0; r < 2; ++r) {
      const GlCall &turn = calls[look + 1 + r];
      ASSERT_EQ(turn.name, "glRotatef");
      EXPECT_FLOAT_EQ(static_cast<float>(turn.args[0]), spin) << s;
      EXPECT_EQ(std::vector<double>(turn.args.begin() + 1, turn.args.end()), axes[s % 3][r]) << s;
    }
  }
}

TEST_F(TorusScene, EveryAspectKeepsThePictureInsideItsViewport) {
  ExpectConfinedToAspect(70000, kWholeWindow);
}

TEST_F(TorusScene, FramesRepeatAndDrawWithoutErrors) {
  for (int32_t t : {60000, 63999, 64000, 70000, 77999, 79999}) ExpectRepeatable(t);
  EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The frame's pixels, and the normal and texture coordinate it leaves
// current for the next scene.
std::string FrameAndCurrentValues(int32_t t) {
  DrawFrame(t);
  std::string seen = FrameDigest(DrawFrame(t));
  float values[7] = {};
  dgl::glGetFloatv(GL_CURRENT_NORMAL, values);
  dgl::glGetFloatv(GL_CURRENT_TEXTURE_COORDS, values + 3);
  for (float v : values) {
    char text[32];
    std::snprintf(text, sizeof text, " %.9g", v);
    seen += text;
  }
  return seen;
}

// Both passes go through ClipSpaceBatch. With its calls passed on one
// tile at a time instead, everything comes out the same: the flat grid,
// tiles in flight, the landed torus with the morph, and the fall.
TEST_F(TorusScene, BatchedPassesDrawEveryPixelAsTheCallsOneTileAtATime) {
  for (int32_t t : {60000, 61200, 66500, 70500, 77300}) {
    ClipSpaceBatch::AllowExact(false);
    const std::string oneByOne = FrameAndCurrentValues(t);
    ClipSpaceBatch::AllowExact(true);
    EXPECT_EQ(FrameAndCurrentValues(t), oneByOne) << t;
  }
  // The batches do compute here, in the state each pass draws in.
  {
    ClipSpaceBatch tiles(ClipSpaceBatch::TexCoords::kGiven);
    EXPECT_TRUE(tiles.Exact());
  }
  dgl::glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  dgl::glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  dgl::glEnable(GL_TEXTURE_GEN_S);
  dgl::glEnable(GL_TEXTURE_GEN_T);
  {
    ClipSpaceBatch cubes(ClipSpaceBatch::TexCoords::kSphereMap);
    EXPECT_TRUE(cubes.Exact());
    // A cube flattened to nothing has no normals the context could give:
    // the batch hands it and the rest to the context, its stack in step.
    GLint depth = 0, after = 0;
    dgl::glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    cubes.PushMatrix();
    cubes.Translatef(0, 0, -2);
    cubes.Scalef(0, 0, 0);
    DrawCube(cubes);
    EXPECT_FALSE(cubes.Exact());
    cubes.PopMatrix();
    dgl::glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &after);
    EXPECT_EQ(after, depth);
  }
  dgl::glDisable(GL_TEXTURE_GEN_S);
  dgl::glDisable(GL_TEXTURE_GEN_T);
  EXPECT_EQ(TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A fresh process draws these frames pixel for pixel alike.
std::string TorusSceneDigests() {
  std::string digests;
  for (int32_t t : {62500, 70500}) {
    DrawFrame(t);  // settles the state a frame inherits
    digests += FrameDigest(DrawFrame(t)) + "\n";
  }
  return digests;
}

TEST_F(TorusScene, DISABLED_WriteDigests) { WriteFile(DigestFile(), TorusSceneDigests()); }

TEST_F(TorusScene, AFreshProcessDrawsTheSameFrames) {
  const std::string here = TorusSceneDigests();
  EXPECT_EQ(RunSelfForDigests("TorusScene.DISABLED_WriteDigests"), here);
}

TEST_F(TorusScene, PicturesForAPerson) {
  EXPECT_FALSE(WriteFramePng(DrawFrame(62500), "scene10-torus-flight").empty());
  EXPECT_FALSE(WriteFramePng(DrawFrame(70500), "scene10-torus-morph").empty());
}

}  // namespace
}  // namespace ember_test
