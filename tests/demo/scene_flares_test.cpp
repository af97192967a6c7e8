// Scene 15 through the recording OpenGL, on key shapes made here: what one
// frame sends, that even and odd milliseconds draw alike, how the cube
// field wraps and fades, and where the particles stand at the ends of the
// beats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo/scene_flares.h"
#include "demo/scenes.h"
#include "gl_recorder.h"

namespace {

using ember_test::GlCall;
using ember_test::GlRecorder;

struct Batch {
  GLenum mode;
  std::vector<const GlCall *> calls;  // everything between begin and end
  size_t Count(const char *name) const {
    size_t n = 0;
    for (const GlCall *c : calls) n += c->name == name;
    return n;
  }
};

std::vector<Batch> Batches(const GlRecorder &gl) {
  std::vector<Batch> out;
  bool open = false;
  for (const GlCall &c : gl.calls()) {
    if (c.name == "glBegin") {
      out.push_back({static_cast<GLenum>(c.args[0]), {}});
      open = true;
    } else if (c.name == "glEnd") {
      open = false;
    } else if (open) {
      out.back().calls.push_back(&c);
    }
  }
  return out;
}

// Key rows made here: particle i's key r sits at (i, r, -r) with
// brightness (r + 1) / 16 on the inner rows, 0 on the first and last row
// as the set-up leaves them, except where a test changes it.
class FlareScene : public ::testing::Test {
protected:
  void SetUp() override {
    std::memcpy(savedPaths_, ImagePaths, sizeof ImagePaths);
    std::memcpy(savedWeights_, ImageWeights, sizeof ImageWeights);
    std::memcpy(savedLattice_, CheckerLattice, sizeof CheckerLattice);
    points_.resize(IMAGE_PARTICLES * IMAGE_ROWS);
    tangents_.resize(IMAGE_PARTICLES * IMAGE_ROWS);
    for (int i = 0; i < IMAGE_PARTICLES; ++i) {
      TVec3 *p = &points_[i * IMAGE_ROWS];
      for (int r = 0; r < IMAGE_ROWS; ++r)
        p[r] = {static_cast<float>(i % 50) / 10.0f, static_cast<float>(r) / 4.0f,
                -static_cast<float>(r)};
      ImagePaths[i] = {IMAGE_ROWS, &tangents_[i * IMAGE_ROWS], p};
      CalcSplineTangents(ImagePaths[i]);
    }
    for (int r = 0; r < IMAGE_ROWS; ++r)
      for (int i = 0; i < IMAGE_PARTICLES; ++i)
        ImageWeights[r][i] =
            (r == 0 || r == IMAGE_ROWS - 1) ? 0.0f : static_cast<float>(r + 1) / 16.0f;
    int n = 0;
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 8; ++j)
        for (int k = 7; k >= 0; --k)
          if ((i + j + k) % 2 == 0)
            CheckerLattice[n++] = {i - 3.5f, j - 3.5f, 2.0f * (k - 3.5f)};
  }
  void TearDown() override {
    std::memcpy(ImagePaths, savedPaths_, sizeof ImagePaths);
    std::memcpy(ImageWeights, savedWeights_, sizeof ImageWeights);
    std::memcpy(CheckerLattice, savedLattice_, sizeof CheckerLattice);
  }

  static void Draw(GlRecorder &gl, int32_t t) {
    gl.Clear();
    DemoTime = t;
    Scene15();
  }

  std::vector<TVec3> points_, tangents_;
  TSplinePath savedPaths_[IMAGE_PARTICLES];
  float savedWeights_[IMAGE_ROWS][IMAGE_PARTICLES];
  TVec3 savedLattice_[LATTICE_SIZE];
};

TEST(FlareSceneValues, BeatsEaseAndTheEyeFollowTheOddMillisecond) {
  const TFlareSceneValues first = FlareSceneValues(120000);
  EXPECT_EQ(first.T, 120001);
  EXPECT_EQ(first.u, 8001);
  EXPECT_EQ(first.beat, 0);
  EXPECT_EQ(first.next, 1);
  EXPECT_LT(first.ease, 1e-20f);
  EXPECT_FLOAT_EQ(first.height, static_cast<float>(std::sin(3.141 * 8001 / 2000) - 1.5));
  EXPECT_FLOAT_EQ(first.eye.y, static_cast<float>(1 + std::sin(3.141 * 8002 / 2000) - 1.5));
  EXPECT_EQ(first.eye.x, 1.0f);
  EXPECT_EQ(first.eye.z, 24.0f);

  // Most of the move comes in the beat's last fifth.
  const TFlareSceneValues late = FlareSceneValues(121600);
  EXPECT_EQ(late.beat, 0);
  EXPECT_NEAR(late.ease, std::pow(1601.0 / 2000.0, 8), 1e-6);

  const TFlareSceneValues last = FlareSceneValues(151999);
  EXPECT_EQ(last.beat, 15);
  EXPECT_EQ(last.next, 15);
  EXPECT_EQ(FlareSceneValues(150000).beat, 15);
  EXPECT_EQ(FlareSceneValues(149999).beat, 14);
  EXPECT_EQ(FlareSceneValues(149999).next, 15);

  // Frames outside the span (drawn by hand) stay within the key rows.
  EXPECT_EQ(FlareSceneValues(200000).beat, 15);
  EXPECT_EQ(FlareSceneValues(100000).beat, 0);
}

TEST(FlareSceneValues, TheFieldWrapsEvery32UnitsKeepingTheFraction) {
  EXPECT_FLOAT_EQ(WrapFieldDepth(0.0f), 0.0f);
  EXPECT_FLOAT_EQ(WrapFieldDepth(31.75f), 31.75f);
  EXPECT_FLOAT_EQ(WrapFieldDepth(32.25f), 0.25f);
  EXPECT_FLOAT_EQ(WrapFieldDepth(64.5f), 0.5f);
  EXPECT_FLOAT_EQ(WrapFieldDepth(95.0f), 31.0f);
  // Below zero the sign of z stays.
  EXPECT_FLOAT_EQ(WrapFieldDepth(-1.5f), -1.5f);
  EXPECT_FLOAT_EQ(WrapFieldDepth(-33.5f), -1.5f);
}

TEST_F(FlareScene, OneFrameSendsTheFieldTheFlaresTheirTrailsAndEvery32ndPath) {
  GlRecorder gl;
  Draw(gl, 130000);
  const std::vector<Batch> batches = Batches(gl);
  ASSERT_EQ(batches.size(), 256u + 3u);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(batches[i].mode, static_cast<GLenum>(GL_QUADS));
    EXPECT_EQ(batches[i].Count("glVertex3f"), 24u);
  }
  const Batch &flares = batches[256];
  EXPECT_EQ(flares.mode, static_cast<GLenum>(GL_QUADS));
  EXPECT_EQ(flares.Count("glVertex3f"), 4u * IMAGE_PARTICLES);
  EXPECT_EQ(flares.Count("glColor3f"), static_cast<size_t>(IMAGE_PARTICLES));
  const Batch &trails = batches[257];
  EXPECT_EQ(trails.mode, static_cast<GLenum>(GL_LINES));
  EXPECT_EQ(trails.Count("glVertex3f"), 2u * IMAGE_PARTICLES);
  const Batch &paths = batches[258];
  EXPECT_EQ(paths.mode, static_cast<GLenum>(GL_LINES));
  EXPECT_EQ(paths.Count("glVertex3f"), 2u * 106 * 150);

  EXPECT_EQ(gl.Count("glPushMatrix"), 256u);
  EXPECT_EQ(gl.Count("glPopMatrix"), 256u);
  EXPECT_EQ(SyncValue, 130001 - 112000);

  // The camera: a 80 degree view rolled by T / 100 degrees.
  const GlCall *perspective = gl.Find("gluPerspective");
  ASSERT_NE(perspective, nullptr);
  EXPECT_EQ(perspective->args[0], 80.0);
  EXPECT_NEAR(perspective->args[1], 1.3333333, 1e-9);
  const GlCall *roll = gl.Find("glRotatef");
  ASSERT_NE(roll, nullptr);
  EXPECT_FLOAT_EQ(static_cast<float>(roll->args[0]), 1300.01f);
  EXPECT_EQ(roll->args[3], 1.0);
  // Flares add, untested against depth; the field blends by alpha.
  const GlCall *alphaBlend = gl.Find("glBlendFunc", 0);
  const GlCall *addBlend = gl.Find("glBlendFunc", 1);
  ASSERT_NE(addBlend, nullptr);
  EXPECT_EQ(alphaBlend->args[0], GL_SRC_ALPHA);
  EXPECT_EQ(addBlend->args[0], GL_ONE);
  EXPECT_EQ(addBlend->args[1], GL_ONE);
  EXPECT_EQ(gl.Count("glLineWidth"), 1u);
}

TEST_F(FlareScene, EvenAndOddMillisecondsDrawTheSameFrame) {
  GlRecorder gl;
  Draw(gl, 131000);
  const std::vector<GlCall> even = gl.calls();
  Draw(gl, 131001);
  const std::vector<GlCall> odd = gl.calls();
  ASSERT_EQ(even.size(), odd.size());
  for (size_t i = 0; i < even.size(); ++i) {
    ASSERT_EQ(even[i].name, odd[i].name) << i;
    ASSERT_EQ(even[i].args, odd[i].args) << i << " " << even[i].name;
  }
}

TEST_F(FlareScene, CubesStayWithinTheFieldAndFadeWithTheirDistanceFromTheEye) {
  GlRecorder gl;
  for (int32_t t : {120000, 125500, 139876, 151999}) {
    Draw(gl, t);
    const TFlareSceneValues v = FlareSceneValues(t);
    size_t seen = 0, transparent = 0;
    for (size_t n = 0; n < gl.calls().size(); ++n) {
      const GlCall &c = gl.calls()[n];
      if (c.name != "glTranslatef") continue;
      const GlCall &colour = gl.calls()[n + 1];
      ASSERT_EQ(colour.name, "glColor4f");
      const float x = static_cast<float>(c.args[0]), y = static_cast<float>(c.args[1]);
      const float z = static_cast<float>(c.args[2]);
      EXPECT_GE(z, 0.0f) << t;
      EXPECT_LT(z, 32.0f) << t;
      const float d = std::sqrt((x - v.eye.x) * (x - v.eye.x) + (y - v.eye.y) * (y - v.eye.y) +
                                (z - v.eye.z) * (z - v.eye.z));
      EXPECT_NEAR(colour.args[3], 1.0 - d / 38.0, 1e-5);
      transparent += colour.args[3] <= 0.0;
      ++seen;
    }
    EXPECT_EQ(seen, 256u);
    EXPECT_LT(transparent, seen);
  }
}

TEST_F(FlareScene, TheFirstMillisecondShowsBlackFlaresAtTheFirstKey) {
  GlRecorder gl;
  Draw(gl, 120000);
  for (int i = 0; i < IMAGE_PARTICLES; ++i) {
    EXPECT_NEAR(FlarePositions[i].x, points_[i * IMAGE_ROWS].x, 1e-6);
    EXPECT_NEAR(FlarePositions[i].y, points_[i * IMAGE_ROWS].y, 1e-6);
    EXPECT_NEAR(FlareBrightness[i], 0.0f, 1e-9);
  }
  const std::vector<Batch> batches = Batches(gl);
  for (const Batch *b : {&batches[256], &batches[257]})
    for (const GlCall *c : b->calls)
      if (c->name == "glColor3f") {
        for (double channel : c->args) ASSERT_LT(channel, 1e-9);
      }
}

TEST_F(FlareScene, InTheLastBeatTheParticlesParkAtTheirLastKey) {
  for (int i = 0; i < IMAGE_PARTICLES; ++i) ImageWeights[IMAGE_ROWS - 1][i] = 0.5f;
  GlRecorder gl;
  for (int32_t t : {150000, 151001, 151999}) {
    Draw(gl, t);
    for (int i = 0; i < IMAGE_PARTICLES; i += 97) {
      const TVec3 &last = points_[i * IMAGE_ROWS + IMAGE_ROWS - 1];
      EXPECT_EQ(FlarePositions[i].x, last.x);
      EXPECT_EQ(FlarePositions[i].y, last.y);
      EXPECT_EQ(FlarePositions[i].z, last.z);
      EXPECT_EQ(FlareBrightness[i], 0.5f);
    }
  }
  // Halfway through an earlier beat: eased from row s towards row s + 1.
  Draw(gl, 127000);  // beat 3, x = 0.5005
  const TFlareSceneValues v = FlareSceneValues(127000);
  const float expect = Interpolate(4.0f / 16, 5.0f / 16, v.ease, INTERPOLATE_EASE_OUT);
  EXPECT_FLOAT_EQ(FlareBrightness[7], expect);
}

TEST_F(FlareScene, TrailsAreLongestMidBeatAndPathLinesDimWithDistance) {
  GlRecorder gl;
  // Mid-beat by the ease: f = 0.5 at x = 0.5^(1/8).
  const int32_t mid = 120000 + static_cast<int32_t>(2000 * std::pow(0.5, 1.0 / 8.0));
  Draw(gl, mid);
  const TFlareSceneValues v = FlareSceneValues(mid);
  const Batch trails = Batches(gl)[257];
  const float expectLength = 4.0f * (1.0f - 2.0f * std::fabs(0.5f - v.ease));
  EXPECT_GT(expectLength, 3.9f);
  std::vector<const GlCall *> vertices;
  for (const GlCall *c : trails.calls)
    if (c->name == "glVertex3f") vertices.push_back(c);
  for (size_t i = 0; i < vertices.size(); i += 2)
    ASSERT_NEAR(vertices[i + 1]->args[2] - vertices[i]->args[2], expectLength, 1e-4);

  // Path points farther than 16 from the eye are drawn black (or darker).
  const Batch paths = Batches(gl)[258];
  for (size_t n = 0; n + 1 < paths.calls.size(); ++n) {
    const GlCall *c = paths.calls[n];
    if (c->name != "glColor3f") continue;
    const GlCall *a = paths.calls[n + 1];
    const double dx = a->args[0] - v.eye.x, dy = a->args[1] - v.eye.y, dz = a->args[2] - v.eye.z;
    if (std::sqrt(dx * dx + dy * dy + dz * dz) > 16.0) {
      ASSERT_LE(c->args[0], 0.0);
    }
    ASSERT_LE(c->args[0], 1.0 / 16.0);
  }
}

}  // namespace
