// Scene 16 through the recording OpenGL, with small meshes and a sprite
// field made here: what the two passes send, the camera's path, the ring
// bands' geometry and scrolling, the sprites' fall, and the two draws the
// noise overlay takes from the demo's random sequence every frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "framework/random.h"
#include "demo/resources.h"
#include "demo/scene_tunnel.h"
#include "demo/scenes.h"
#include "gl_recorder.h"

namespace {

using ember_test::GlCall;
using ember_test::GlRecorder;

// A glBegin .. glEnd pair, or one indexed draw of a mesh.
struct Batch {
  GLenum mode;
  size_t begin;  // index of the glBegin or glDrawElements call
  std::vector<const GlCall *> calls;
  const GlCall *draw = nullptr;  // the glDrawElements call
  // Floats the draw read from one of its arrays.
  size_t Read(GLenum array) const {
    if (!draw || !draw->arrays.count(array)) return 0;
    return draw->arrays.at(array).size();
  }
  size_t Count(const char *name) const {
    size_t n = 0;
    for (const GlCall *c : calls) n += c->name == name;
    return n;
  }
};

std::vector<Batch> Batches(const GlRecorder &gl) {
  std::vector<Batch> out;
  bool open = false;
  for (size_t i = 0; i < gl.calls().size(); ++i) {
    const GlCall &c = gl.calls()[i];
    if (c.name == "glBegin") {
      out.push_back({static_cast<GLenum>(c.args[0]), i, {}});
      open = true;
    } else if (c.name == "glDrawElements") {
      out.push_back({static_cast<GLenum>(c.args[0]), i, {}, &c});
    } else if (c.name == "glEnd") {
      open = false;
    } else if (open) {
      out.back().calls.push_back(&c);
    }
  }
  return out;
}

// Index of the nth call of name at or after from, or SIZE_MAX.
size_t IndexOf(const GlRecorder &gl, const char *name, size_t from = 0) {
  for (size_t i = from; i < gl.calls().size(); ++i)
    if (gl.calls()[i].name == name) return i;
  return SIZE_MAX;
}

// tft of two triangles, alap and csap of one each; texture names that say
// what they are (line j: 100 + j, sprite k: 200 + k, noise n: 300 + n).
class TunnelScene : public ::testing::Test {
protected:
  void SetUp() override {
    saved_.tft = MeshTft;
    saved_.alap = MeshAlap;
    saved_.csap = MeshCsap;
    std::memcpy(&saved_.sprites, &SpriteField, sizeof SpriteField);
    std::memcpy(saved_.periods, RingPeriods, sizeof RingPeriods);
    std::memcpy(saved_.noise, NoiseTextures, sizeof NoiseTextures);
    std::memcpy(saved_.lines, TexLine, sizeof TexLine);
    std::memcpy(saved_.virag, TexVirag, sizeof TexVirag);

    MeshTft = {faces_, vertices_, third_, 2, 4};
    MeshAlap = {faces_, vertices_, third_, 1, 4};
    MeshCsap = {faces_, vertices_, third_, 1, 4};
    for (int k = 0; k < SPRITE_COUNT; ++k) {
      SpriteField.position[k] = {static_cast<float>(k % 100), static_cast<float>(k / 100),
                                 static_cast<float>(2 * k)};
      SpriteField.spin[k] = {1000.0f, -500.0f, 250.0f};
    }
    for (int j = 0; j < RING_PERIODS; ++j) RingPeriods[j] = -8000 - 1000 * j;
    for (int n = 0; n < NOISE_TEXTURES; ++n) NoiseTextures[n] = 300 + n;
    for (int j = 0; j < 7; ++j) TexLine[j] = 100 + j;
    for (int k = 0; k < 10; ++k) TexVirag[k] = 200 + k;
  }
  void TearDown() override {
    MeshTft = saved_.tft;
    MeshAlap = saved_.alap;
    MeshCsap = saved_.csap;
    std::memcpy(&SpriteField, &saved_.sprites, sizeof SpriteField);
    std::memcpy(RingPeriods, saved_.periods, sizeof RingPeriods);
    std::memcpy(NoiseTextures, saved_.noise, sizeof NoiseTextures);
    std::memcpy(TexLine, saved_.lines, sizeof TexLine);
    std::memcpy(TexVirag, saved_.virag, sizeof TexVirag);
  }

  static void Draw(GlRecorder &gl, int32_t t) {
    gl.Clear();
    DemoTime = t;
    Scene16();
  }

  int32_t faces_[6] = {0, 1, 2, 2, 3, 0};
  float vertices_[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  float third_[12] = {0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1};
  struct {
    TMeshRecord tft, alap, csap;
    TSpriteField sprites;
    int32_t periods[RING_PERIODS];
    int32_t noise[NOISE_TEXTURES];
    int32_t lines[7];
    int32_t virag[10];
  } saved_;
};

TEST(TunnelSceneValues, TheEyeRisesBacksOffAndComesBackInTheLastSecond) {
  const TTunnelSceneValues start = TunnelSceneValues(152000);
  EXPECT_EQ(start.e, 0.0f);
  EXPECT_EQ(start.height, 89.5f);
  EXPECT_EQ(start.distance, 0.0f);
  EXPECT_EQ(start.spin, 180.0f);

  EXPECT_EQ(TunnelSceneValues(152200).distance, 50.0f);
  EXPECT_EQ(TunnelSceneValues(152400).distance, 100.0f);
  EXPECT_EQ(TunnelSceneValues(170000).distance, 100.0f);
  EXPECT_EQ(TunnelSceneValues(183000).distance, 100.0f);
  EXPECT_FLOAT_EQ(TunnelSceneValues(183001).distance, 99.9f);
  EXPECT_NEAR(TunnelSceneValues(183999).distance, 0.1f, 1e-4);

  const TTunnelSceneValues late = TunnelSceneValues(170000);
  EXPECT_FLOAT_EQ(late.height, static_cast<float>(89.5 + 18000 / 17.777));
  EXPECT_FLOAT_EQ(late.spin, static_cast<float>(180 + 18000 / 11.0933924981));
}

TEST(TunnelSceneValues, SpritesFallAHundredUnitsASecondAndStopOnTheGround) {
  EXPECT_EQ(SpriteHeight(5000.0f, 152000), 3800.0f);
  EXPECT_EQ(SpriteHeight(5000.0f, 153000), 3700.0f);
  EXPECT_EQ(SpriteHeight(1200.0f, 152000), 0.0f);
  EXPECT_EQ(SpriteHeight(500.0f, 152000), 0.0f);
  EXPECT_FLOAT_EQ(SpriteHeight(7999.0f, 183999), 3599.1f);
  EXPECT_EQ(SpriteHeight(4399.0f, 183999), 0.0f);
  EXPECT_FLOAT_EQ(SpriteHeight(7999.0f, 170000), 4999.0f);
}

TEST(TunnelSceneValues, RingsScrollOneRepeatPerPeriodAndTheNoiseStaysDim) {
  EXPECT_FLOAT_EQ(RingOffset(160000, -8000), -20.0f);
  EXPECT_FLOAT_EQ(RingOffset(152000, -16000), -9.5f);
  EXPECT_EQ(RingOffset(152000, 0), 0.0f);
  EXPECT_FLOAT_EQ(NoiseBrightness(0), 0.2f);
  EXPECT_FLOAT_EQ(NoiseBrightness(999), 0.3998f);
}

TEST_F(TunnelScene, BothPassesSendRingsMeshesAndSprites) {
  GlRecorder gl;
  Draw(gl, 160000);
  const std::vector<Batch> batches = Batches(gl);
  // Pass 1: 7 bands, tft, alap, csap, 3001 sprites; pass 2: 7 bands, tft
  // twice (the noise), alap, csap, 3001 sprites.
  ASSERT_EQ(batches.size(), (7u + 3u + 3001u) + (7u + 4u + 3001u));
  auto expectBands = [&](size_t first) {
    for (size_t j = 0; j < 7; ++j) {
      EXPECT_EQ(batches[first + j].mode, static_cast<GLenum>(GL_QUADS));
      EXPECT_EQ(batches[first + j].Count("glVertex3f"), 180u);
      EXPECT_EQ(batches[first + j].Count("glTexCoord2f"), 180u);
    }
  };
  expectBands(0);
  expectBands(3011);
  for (size_t m : {7u, 8u, 9u, 3018u, 3019u, 3020u, 3021u}) {
    EXPECT_EQ(batches[m].mode, static_cast<GLenum>(GL_TRIANGLES)) << m;
  }
  EXPECT_EQ(batches[7].Read(GL_TEXTURE_COORD_ARRAY), 6u * 2u);   // tft
  EXPECT_EQ(batches[8].Read(GL_NORMAL_ARRAY), 3u * 3u);          // alap
  EXPECT_EQ(batches[3019].Read(GL_TEXTURE_COORD_ARRAY), 6u * 2u);  // tft again, with noise
  EXPECT_EQ(gl.Count("glPushMatrix"), 6002u);
  EXPECT_EQ(gl.Count("glPopMatrix"), 6002u);
  EXPECT_EQ(gl.Count("glCopyTexImage2D"), 2u);
  EXPECT_EQ(gl.Count("gluLookAt"), 2u);

  // The glow source goes into the 512 x 512 square, the frame into the
  // aspect viewport after the blur.
  const GlCall *square = gl.Find("glViewport");
  ASSERT_NE(square, nullptr);
  EXPECT_EQ(square->args, (std::vector<double>{0, 0, 512, 512}));
  EXPECT_LT(IndexOf(gl, "glViewport"), batches[0].begin);
}

TEST_F(TunnelScene, TheCameraLooksHorizontallyAtTheAxisAndTheWorldSpins) {
  GlRecorder gl;
  Draw(gl, 152000);
  const GlCall *perspective = gl.Find("gluPerspective");
  ASSERT_NE(perspective, nullptr);
  EXPECT_EQ(perspective->args[0], 100.0);
  EXPECT_EQ(perspective->args[1], 4.0 / 3.0);
  EXPECT_EQ(perspective->args[2], 0.1);
  EXPECT_EQ(perspective->args[3], 4000.0);
  for (size_t pass = 0; pass < 2; ++pass) {
    const GlCall *look = gl.Find("gluLookAt", pass);
    ASSERT_NE(look, nullptr);
    EXPECT_EQ(look->args, (std::vector<double>{0, 240.5, 89.5, 0, 0, 89.5, 0, 0, 1}));
  }
  const GlCall *spin = &gl.calls()[IndexOf(gl, "gluLookAt") + 1];
  ASSERT_EQ(spin->name, "glRotatef");
  EXPECT_EQ(spin->args, (std::vector<double>{180, 0, 0, 1}));

  Draw(gl, 183999);
  EXPECT_NEAR(gl.Find("gluLookAt")->args[1], 240.6, 1e-4);
}

TEST_F(TunnelScene, BandsStandOneAboveTheOtherAndScrollWithTheirPeriods) {
  GlRecorder gl;
  const int32_t t = 156000;
  Draw(gl, t);
  const std::vector<Batch> batches = Batches(gl);
  for (int j = 0; j < 7; ++j) {
    const Batch &band = batches[j];
    // The band's texture is bound right before it.
    const GlCall &bind = gl.calls()[band.begin - 1];
    ASSERT_EQ(bind.name, "glBindTexture");
    EXPECT_EQ(bind.args[1], 100 + j);
    const float o = static_cast<float>(t) / static_cast<float>(-8000 - 1000 * j);
    std::vector<const GlCall *> tex, pos;
    for (const GlCall *c : band.calls) (c->name == "glTexCoord2f" ? tex : pos).push_back(c);
    ASSERT_EQ(pos.size(), 180u);
    // First quad: from angle 0 (x 0, y 960) to 8 degrees, top then bottom.
    EXPECT_FLOAT_EQ(static_cast<float>(tex[0]->args[0]), o);
    EXPECT_EQ(tex[0]->args[1], 0.0);
    EXPECT_NEAR(pos[0]->args[0], 0.0, 1e-4);
    EXPECT_FLOAT_EQ(static_cast<float>(pos[0]->args[1]), 960.0f);
    EXPECT_EQ(pos[0]->args[2], 300.0 * j + 500);
    EXPECT_EQ(pos[2]->args[2], 300.0 * j + 200);
    EXPECT_NEAR(pos[1]->args[0], 960 * std::sin(8 * std::numbers::pi / 180), 1e-3);
    EXPECT_FLOAT_EQ(static_cast<float>(tex[1]->args[0]), 1.0f / 45 + o);
    // Every corner lies on the cylinder of radius 960.
    for (const GlCall *p : pos)
      ASSERT_NEAR(std::hypot(p->args[0], p->args[1]), 960.0, 1e-2);
    // The last quad closes the ring at 360 degrees.
    EXPECT_NEAR(pos[177]->args[0], 0.0, 1e-2);
    EXPECT_FLOAT_EQ(static_cast<float>(tex[177]->args[0]), 1.0f + o);
  }
}

TEST_F(TunnelScene, SpritesLieFlatOnceTheyReachTheGround) {
  GlRecorder gl;
  Draw(gl, 152000);  // (t - 140000) / 10 = 1200 units fallen
  size_t k = 0;
  for (size_t i = 0; i < gl.calls().size() && k < TUNNEL_SPRITES; ++i) {
    if (gl.calls()[i].name != "glPushMatrix") continue;
    const GlCall &bind = gl.calls()[i + 1];
    const GlCall &move = gl.calls()[i + 2];
    ASSERT_EQ(bind.name, "glBindTexture");
    EXPECT_EQ(bind.args[1], 200 + static_cast<int>(k % 10));
    ASSERT_EQ(move.name, "glTranslatef");
    const float stored = static_cast<float>(2 * k);
    const float z = stored > 1200 ? stored - 1200 : 0.0f;
    EXPECT_EQ(move.args[2], z) << k;
    EXPECT_FLOAT_EQ(static_cast<float>(gl.calls()[i + 3].args[0]), 1000.0f * z / 1000.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(gl.calls()[i + 4].args[0]), -500.0f * z / 1000.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(gl.calls()[i + 5].args[0]), 250.0f * z / 1000.0f);
    EXPECT_EQ(gl.calls()[i + 5].args[3], 1.0);
    ++k;
  }
  EXPECT_EQ(k, static_cast<size_t>(TUNNEL_SPRITES));
}

TEST_F(TunnelScene, TheNoiseOverlayTakesTwoDrawsAFrameBrightnessFirst) {
  RandSeed(4711);
  const int32_t brightness = Random(1000), which = Random(10), after = Random(1 << 30);
  RandSeed(4711);
  GlRecorder gl;
  Draw(gl, 165000);
  const size_t equal = IndexOf(gl, "glDepthFunc");
  ASSERT_NE(equal, SIZE_MAX);
  EXPECT_EQ(gl.calls()[equal].args[0], GL_EQUAL);
  const GlCall &colour = gl.calls()[IndexOf(gl, "glColor3f", equal)];
  const float g = NoiseBrightness(brightness);
  EXPECT_EQ(colour.args, (std::vector<double>{g, g, g}));
  const GlCall &bind = gl.calls()[IndexOf(gl, "glBindTexture", equal)];
  EXPECT_EQ(bind.args[1], 300 + which);
  // The noise is drawn on tft's visible surfaces only, then the depth test
  // goes back to less-or-equal for the rest.
  const size_t lequal = IndexOf(gl, "glDepthFunc", equal + 1);
  ASSERT_NE(lequal, SIZE_MAX);
  EXPECT_EQ(gl.calls()[lequal].args[0], GL_LEQUAL);
  EXPECT_EQ(Random(1 << 30), after);

  // The same seed and the same frames give the same flicker.
  RandSeed(4711);
  Draw(gl, 165000);
  const std::vector<GlCall> again = gl.calls();
  RandSeed(4711);
  Draw(gl, 165000);
  ASSERT_EQ(again.size(), gl.calls().size());
  for (size_t i = 0; i < again.size(); ++i) ASSERT_EQ(again[i].args, gl.calls()[i].args) << i;
}

TEST_F(TunnelScene, TheFullFramesRingsAddWhileTheGlowSourcesRingsMultiply) {
  GlRecorder gl;
  Draw(gl, 170000);
  const std::vector<Batch> batches = Batches(gl);
  auto blendBefore = [&](size_t index) {
    const GlCall *last = nullptr;
    for (size_t i = 0; i < index; ++i)
      if (gl.calls()[i].name == "glBlendFunc") last = &gl.calls()[i];
    return last;
  };
  const GlCall *first = blendBefore(batches[0].begin);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->args, (std::vector<double>{GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR}));
  const GlCall *second = blendBefore(batches[3011].begin);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->args, (std::vector<double>{GL_ONE, GL_ONE}));
  // Pass 1's rings are not depth-tested: the test goes on after the bands,
  // before the meshes.
  size_t depthOn = SIZE_MAX;
  for (size_t i = 0; i < batches[7].begin; ++i) {
    const GlCall &c = gl.calls()[i];
    if (c.name == "glEnable" && c.args[0] == GL_DEPTH_TEST) depthOn = i;
  }
  ASSERT_NE(depthOn, SIZE_MAX);
  EXPECT_GT(depthOn, batches[6].begin);
}

}  // namespace
