// Particles, flares, the flare pass and the shadow-volume geometry against
// the recording OpenGL; the flare read-back and the stencil are checked in
// render_gl_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "engine/effects/flares.h"
#include "engine/effects/particles.h"
#include "engine/effects/shadows.h"
#include "engine/render/engine_state.h"
#include "engine/render/flare_occlusion.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "support/test_support.h"
#include "test_scene.h"
#include "window/gl_demo.h"
#include "window/gl_recorder.h"

using namespace ember_test;

namespace {

class EngineEffects : public ::testing::Test {
protected:
  void SetUp() override {
    _3DV_EngineUnitInit();
    _3DV_InitTypeSizes();
    _3DV_ParticlesDrawn = 0;
    // A view with a horizontal part: the billboard basis exists.
    _3DV_CameraPos = {0, -8, 2};
    _3DV_CameraTarget = {0, 0, 0};
  }
  void TearDown() override {
    _3DV_FreeParticles(scene_);
    _3DV_FreeScene(scene_);
  }

  // One emitter (object 0) on a pool of `slots`.
  _3DV_PARTICLEDATA &Emitter(int32_t slots, int32_t objects = 1) {
    scene_ = MakeScene(objects);
    _3DV_AllocParticles(scene_, slots);
    _3DV_PARTICLEDATA &e = scene_.objects[0].particledata;
    e = {};
    e.particleenabled = 1;
    e.newparticle = 1;
    e.power = 10;
    e.deltapower = 1;
    e.color = {1, 1, 1};
    e.size = 1;
    return e;
  }
  int Live() const {
    int n = 0;
    for (int32_t k = 0; k < scene_.particlecount; ++k) n += !scene_.particles[k].free;
    return n;
  }

  GlRecorder gl_;
  _3DV_SCENE scene_{};
};

TEST_F(EngineEffects, OneEmitterDrawsTriangularNumbersThenATenPerStepPlateau) {
  Emitter(100);
  for (int n = 1; n <= 20; ++n) {
    _3DV_RenderParticles(scene_, 0);
    if (n <= 10) {
      EXPECT_EQ(_3DV_ParticlesDrawn, n * (n + 1) / 2) << n;
    }
  }
  EXPECT_EQ(_3DV_ParticlesDrawn, 155);
  EXPECT_EQ(gl_.Count("glVertex3f"), 4 * 155u);
  EXPECT_EQ(Live(), 9);  // the particle of step 11 died after its tenth draw
}

TEST_F(EngineEffects, FullPoolHandsTheLastSlotOverAndCapsEmissionAtThePoolSize) {
  _3DV_PARTICLEDATA &e = Emitter(4, 2);
  e.newparticle = 4;
  e.power = 100;
  _3DV_RenderParticles(scene_, 0);
  e.particleenabled = 0;
  _3DV_PARTICLEDATA &second = scene_.objects[1].particledata;
  second = e;
  second.particleenabled = 1;
  second.newparticle = 3;
  second.power = 50;
  _3DV_RenderParticles(scene_, 0);
  EXPECT_EQ(_3DV_ParticlesDrawn, 8);  // three takeovers of one slot draw once
  EXPECT_EQ(scene_.particles[3].emitter, 1);
  EXPECT_EQ(scene_.particles[2].emitter, 0);

  // A huge emission count costs one pass over the pool, not billions.
  second.newparticle = INT32_MAX;
  _3DV_RenderParticles(scene_, 0);
  EXPECT_EQ(_3DV_ParticlesDrawn, 12);
}

TEST_F(EngineEffects, EmittersPastAFullPoolCostOneTakeoverEach) {
  // 8000 emitters of a full pool's size each: the takeovers of the last
  // slot would be 40 million emissions a step; only the last one stays.
  _3DV_PARTICLEDATA &e = Emitter(5000);
  e.newparticle = 5000;
  e.power = 100;
  e.deltavectorspread = {1, 1, 1};
  EXPECT_EXIT(
      {
        constexpr int32_t kEmitters = 8000;
        auto *many = FileArray<_3DV_OBJECT>(kEmitters);
        for (int32_t k = 0; k < kEmitters; ++k) many[k].particledata = e;
        many[kEmitters - 1].particledata.power = 7;
        _3DV_OBJECT *one = scene_.objects;
        scene_.objects = many;
        scene_.objectcount = kEmitters;
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = 2;  // seconds of processor time
        setrlimit(RLIMIT_CPU, &limit);
        for (int step = 0; step < 2; ++step) _3DV_RenderParticles(scene_, 0);
        const _3DV_PARTICLE &last = scene_.particles[4999];
        scene_.objects = one;
        scene_.objectcount = 1;
        std::_Exit(last.emitter == kEmitters - 1 && last.power == 6 ? 0 : 2);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(EngineEffects, SpreadGivesVelocitiesInItsRangeAndNoneOrNegativeGivesTheBase) {
  _3DV_PARTICLEDATA &e = Emitter(2000);
  e.newparticle = 1000;
  e.deltavector = {1, 2, 3};
  e.deltavectorspread = {0.5f, 0.0003f, -4};  // not a number and infinity below
  _3DV_RenderParticles(scene_, 0);
  std::set<float> xs, ys;
  for (int32_t k = 0; k < 1000; ++k) {
    const _3DV_PARTICLE &p = scene_.particles[k];
    ASSERT_TRUE(p.velocity.x >= 0.75f && p.velocity.x < 1.25f) << p.velocity.x;
    xs.insert(p.velocity.x);
    ys.insert(p.velocity.y);
    ASSERT_TRUE(p.position.x == p.velocity.x && p.position.y == p.velocity.y &&
                p.position.z == 3 && p.velocity.z == 3);  // moved once
  }
  EXPECT_GT(xs.size(), 500u);
  // 0.0003 x 10000 = 3 values drawn, 0.0003 x 5000 = 1.5 rounded away from
  // zero to 2: the offsets are -2, -1 and 0 ten-thousandths.
  EXPECT_EQ(ys, (std::set<float>{float(2 - 0.0002), float(2 - 0.0001), 2}));

  e.deltavectorspread = {std::nanf(""), INFINITY, 0};
  _3DV_RenderParticles(scene_, 0);
  const _3DV_PARTICLE &q = scene_.particles[1000];
  EXPECT_EQ(q.velocity.x, 1.0f);
  EXPECT_TRUE(std::isfinite(q.velocity.y));
}

TEST_F(EngineEffects, AnEmitterWithoutPowerHasLifeFractionZero) {
  _3DV_PARTICLEDATA &e = Emitter(10);
  e.power = 0;
  e.colorattrib = 1 | 2;  // fade and shrink by the life fraction
  _3DV_RenderParticles(scene_, 0);
  EXPECT_EQ(gl_.Find("glColor3f", 1)->args[0], 0);
  EXPECT_EQ(gl_.Find("glVertex3f")->args[2], 0);  // size 0: every corner at the emitter
  EXPECT_EQ(Live(), 0);                           // power 0 - 1 frees it
}

TEST_F(EngineEffects, PoolsAreReplacedFreedAndAStepWithoutOneOrWithoutABasisDoesNothing) {
  Emitter(10);
  const size_t blocks = SYS_MemLiveCount();
  _3DV_AllocParticles(scene_, 20);  // the old pool goes back
  EXPECT_EQ(SYS_MemLiveCount(), blocks);
  EXPECT_EQ(scene_.particlecount, 20);
  // The memory list names the pool after its scene.
  TempDir dir;
  ASSERT_EQ(SYS_MemDumpLeaks(dir.str("blocks").c_str()), 0);
  EXPECT_NE(ReadFile(dir.path() / "blocks").find("] test particle info  -> "), std::string::npos);
  _3DV_FreeParticles(scene_);
  EXPECT_EQ(scene_.particles, nullptr);
  EXPECT_EQ(scene_.particlecount, 0);
  gl_.Clear();
  _3DV_RenderParticles(scene_, 0);
  EXPECT_TRUE(gl_.calls().empty());

  _3DV_AllocParticles(scene_, 20);
  _3DV_CameraPos = {0, -8, 0};  // eye and target differ only in y
  gl_.Clear();
  _3DV_RenderParticles(scene_, 0);
  EXPECT_EQ(Live(), 0);
  EXPECT_EQ(gl_.Count("glBegin"), 0u);
  EXPECT_EQ(gl_.calls().back().name, "glDepthMask");

  EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), _3DV_AllocParticles(scene_, 0)),
              testing::ExitedWithCode(1), "particles");
}

// Enables, disables, depth mask and blend function, in order.
std::vector<std::string> States(const GlRecorder &gl) {
  std::vector<std::string> out;
  for (const GlCall &c : gl.calls()) {
    if (c.name == "glEnable" || c.name == "glDisable" || c.name == "glDepthMask" ||
        c.name == "glBlendFunc") {
      std::string line = c.name + "(";
      for (size_t i = 0; i < c.args.size(); ++i)
        line += (i ? ", " : "") + std::to_string(int64_t(c.args[i]));
      out.push_back(line + ")");
    }
  }
  return out;
}

TEST_F(EngineEffects, ParticleAndFlareStatesAndTheFourColourAttributes) {
  // Particles: depth-tested, no depth writes, added, culling off, with
  // their emitter's image.
  _3DV_PARTICLEDATA &e = Emitter(1, 2);
  e.particletexid = 9;
  _3DV_RenderParticles(scene_, 0);
  ASSERT_EQ(gl_.Count("glBindTexture"), 1u);
  EXPECT_EQ(gl_.Find("glBindTexture")->args, (std::vector<double>{GL_TEXTURE_2D, 9}));
  const std::vector<std::string> particle_states = {
      "glDisable(" + std::to_string(GL_CULL_FACE) + ")",
      "glEnable(" + std::to_string(GL_DEPTH_TEST) + ")", "glDepthMask(0)",
      "glEnable(" + std::to_string(GL_BLEND) + ")", "glBlendFunc(1, 1)",
      "glEnable(" + std::to_string(GL_TEXTURE_2D) + ")", "glDepthMask(1)"};
  EXPECT_EQ(States(gl_), particle_states);
  e = {};

  // Flares: no depth test and no depth writes, added, culling and
  // lighting off, depth writes back on at the end.
  scene_.materials[0].flaresize = 1;
  gl_.Clear();
  _3DV_RenderFlares(scene_, 0);
  std::vector<std::string> flare_states = {"glEnable(" + std::to_string(GL_TEXTURE_2D) + ")",
                                           "glDepthMask(0)"};
  for (int flare = 0; flare < 2; ++flare) {
    for (const std::string &line :
         {"glDisable(" + std::to_string(GL_CULL_FACE) + ")",
          "glDisable(" + std::to_string(GL_DEPTH_TEST) + ")",
          "glDisable(" + std::to_string(GL_LIGHTING) + ")",
          "glEnable(" + std::to_string(GL_BLEND) + ")", std::string("glBlendFunc(1, 1)")})
      flare_states.push_back(line);
  }
  flare_states.push_back("glDepthMask(1)");
  EXPECT_EQ(States(gl_), flare_states);
  _3DV_FreeParticles(scene_);
  _3DV_FreeScene(scene_);

  // The colour attributes, a step after emission (life fraction 3/4):
  // 1 fades the colour out, 4 in, 2 shrinks, 8 grows; 4 and 8 win.
  struct Row {
    uint8_t attrib;
    float factor, size;
  };
  for (const Row row : {Row{0, 1, 2}, Row{1, 0.75f, 2}, Row{2, 1, 1.5f}, Row{4, 0.25f, 2},
                        Row{8, 1, 0.5f}, Row{5, 0.25f, 2}, Row{10, 1, 0.5f}}) {
    _3DV_PARTICLEDATA &p = Emitter(1);
    p.colorattrib = row.attrib;
    p.power = 4;
    p.color = {1, 0.5f, 0.25f};
    p.size = 2;
    _3DV_RenderParticles(scene_, 0);
    p.newparticle = 0;
    gl_.Clear();
    _3DV_RenderParticles(scene_, 0);
    const auto colours = gl_.Count("glColor3f");
    ASSERT_GE(colours, 1u);
    const GlCall *colour = gl_.Find("glColor3f", colours - 1);
    EXPECT_FLOAT_EQ(float(colour->args[0]), row.factor) << int(row.attrib);
    EXPECT_FLOAT_EQ(float(colour->args[1]), 0.5f * row.factor) << int(row.attrib);
    EXPECT_FLOAT_EQ(float(colour->args[2]), 0.25f * row.factor) << int(row.attrib);
    // The first corner lies at p - s * right, right = (-1, 0, 0) here.
    EXPECT_FLOAT_EQ(float(gl_.Find("glVertex3f")->args[0]), row.size) << int(row.attrib);
    _3DV_FreeParticles(scene_);
    _3DV_FreeScene(scene_);
  }
}

// Every call with its arguments, numbers to six significant digits and a
// pointer as "p".
std::string Format(const GlCall &c) {
  std::string line = c.name + "(";
  for (size_t i = 0; i < c.args.size(); ++i) {
    char n[32];
    std::snprintf(n, sizeof n, "%g", c.args[i]);
    line += (i ? ", " : "") + (c.pointers[i] ? std::string("p") : std::string(n));
  }
  return line + ")";
}
std::vector<std::string> FullTrace(const GlRecorder &gl) {
  std::vector<std::string> out;
  for (const GlCall &c : gl.calls()) out.push_back(Format(c));
  return out;
}
// The expected line; `pointer` adds a last argument that is a pointer.
std::string Line(const char *name, std::vector<double> args, bool pointer = false) {
  std::vector<const void *> pointers(args.size());
  if (pointer) args.push_back(0), pointers.push_back(&pointers);
  return Format(GlCall{name, args, pointers, {}, {}});
}

// The colour read-back as a context answers it: each glReadPixels call
// receives the next of these blocks of nine RGB pixels.
std::vector<std::vector<float>> read_blocks;
void AnswerReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type,
                      void *pixels) {
  GlCall &c = GlRecorder::active->Append("glReadPixels");
  c.args = {double(x), double(y), double(w), double(h), double(format), double(type), 0};
  c.pointers = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, pixels};
  if (read_blocks.empty()) return;
  std::copy(read_blocks.front().begin(), read_blocks.front().end(), static_cast<float *>(pixels));
  read_blocks.erase(read_blocks.begin());
}

TEST_F(EngineEffects, FlaresAreObjectsWithAFlareSizeAndAMaterial) {
  scene_ = MakeScene(6, 3);
  scene_.materials[1].flaresize = 2;
  scene_.materials[1].ambient = {1, 0.5f, 0.25f};
  scene_.materials[1].texid = 12;
  scene_.materials[0].flaresize = -1;    // neither flare nor occluder
  scene_.objects[2].material = 7;         // no such material
  scene_.objects[3].material = 2;         // occluder, hidden
  scene_.objects[3].visible = 0;
  scene_.objects[4].material = 2;         // occluder
  scene_.objects[5].material = 1;         // flare, the last object
  scene_.objects[5].pivot = {1, 2, 3};
  // The first flare moves along its track, the occluder along another,
  // both halfway at frame 4.
  auto track = [](_3DV_OBJECT &o, _3DV_VECTOR start, _3DV_VECTOR end) {
    o.positionkeycount = 2;
    o.positionkeys = FileArray<_3DV_KEYVECTOR>(2);
    o.positionkeys[0] = {0, start.x, start.y, start.z};
    o.positionkeys[1] = {8, end.x, end.y, end.z};
  };
  track(scene_.objects[1], {1, 1, 1}, {3, 7, 11});
  scene_.objects[1].pivot = {0.5f, 0.25f, 0.125f};
  track(scene_.objects[4], {0, 0, 0}, {-2, -4, -6});
  // The camera's last key holds from frame 2 on.
  pasMemFree(&scene_.camerapositions);
  scene_.camerapositioncount = 2;
  scene_.camerapositions = FileArray<_3DV_KEYVECTOR>(2);
  scene_.camerapositions[0] = {1, 0, -20, 0};
  scene_.camerapositions[1] = {2, 0, -8, 0};
  scene_.objects[4].rotation = {10, 20, 30};  // the depth draw ignores it
  _3DV_SceneScale[0] = 2, _3DV_SceneScale[1] = 3, _3DV_SceneScale[2] = 4;
  _3DV_FlarePointSize = 7;
  // The raster position answered for both flares: trunc, not floor, of a
  // negative x gives the block's left column -1.
  gl_.integers[GL_CURRENT_RASTER_POSITION_VALID] = {1};
  gl_.floats[GL_CURRENT_RASTER_POSITION] = {-0.5f, 10.75f, 0.25f, 1};
  dgl::glReadPixels = AnswerReadPixels;
  // The first block has its greatest red in the first pixel, green in the
  // last and blue in the middle; the second is below 0 throughout.
  read_blocks = {{0.75f, -1, 0, 0.5f, 0.25f, 0.125f, 0, 0, 0,  //
                  0, 0, 0, 0.5f, 0.5f, 1, 0.25f, 0, 0.5f,      //
                  0, 0, 0, 0, 0, 0, 0.125f, 0.625f, 0},
                 std::vector<float>(27, -0.5f)};
  _3DV_RenderSceneOcclusion(scene_, 4);
  const std::vector<std::string> camera = {
      Line("glEnable", {GL_DEPTH_TEST}), Line("glMatrixMode", {GL_TEXTURE}),
      Line("glLoadIdentity", {}), Line("glMatrixMode", {GL_PROJECTION}),
      Line("glLoadIdentity", {}), Line("gluPerspective", {45, 4.0 / 3.0, 0.5, 100}),
      Line("glScalef", {2, 3, 4}), Line("glMatrixMode", {GL_MODELVIEW}),
      Line("glLoadIdentity", {}), Line("gluLookAt", {0, -8, 0, 0, 0, 0, 0, 0, 1}),
      Line("glDisable", {GL_BLEND}), Line("glDepthMask", {1}), Line("glDisable", {GL_TEXTURE_2D})};
  auto point = [](_3DV_VECTOR c) {
    return std::vector<std::string>{
        Line("glEnable", {GL_POINT_SMOOTH}), Line("glPointSize", {7}),
        Line("glColor3f", {1, 0.5f, 0.25f}), Line("glBegin", {GL_POINTS}),
        Line("glVertex3f", {c.x, c.y, c.z}), Line("glEnd", {})};
  };
  const std::vector<std::string> occluder = {
      Line("glMatrixMode", {GL_MODELVIEW}), Line("glPushMatrix", {}),
      Line("glTranslatef", {-1, -2, -3}), Line("glDisable", {GL_CULL_FACE}),
      Line("glDisable", {GL_LIGHTING}), Line("glDisable", {GL_TEXTURE_2D}),
      Line("glDisableClientState", {GL_NORMAL_ARRAY}),
      Line("glDisableClientState", {GL_TEXTURE_COORD_ARRAY}),
      Line("glDisableClientState", {GL_COLOR_ARRAY}),
      Line("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 0}),
      Line("glBindBufferARB", {GL_ELEMENT_ARRAY_BUFFER_ARB, 0}),
      Line("glEnableClientState", {GL_VERTEX_ARRAY}),
      Line("glVertexPointer", {3, GL_FLOAT, 12}, true),
      Line("glColor4f", {0, 0, 0, 1}),
      Line("glDrawElements", {GL_TRIANGLES, 6, GL_UNSIGNED_INT}, true),
      Line("glDisableClientState", {GL_VERTEX_ARRAY}), Line("glPopMatrix", {})};
  auto read = [](_3DV_VECTOR c) {
    return std::vector<std::string>{
        Line("glRasterPos3f", {c.x, c.y, c.z}),
        Line("glGetIntegerv", {GL_CURRENT_RASTER_POSITION_VALID}, true),
        Line("glGetFloatv", {GL_CURRENT_RASTER_POSITION}, true),
        Line("glReadPixels", {-1, 9, 3, 3, GL_RGB, GL_FLOAT}, true)};
  };
  std::vector<std::string> expected = camera;
  for (const auto &part : {point({2.5f, 4.25f, 6.125f}), point({1, 2, 3}), occluder,
                           read({2.5f, 4.25f, 6.125f}), read({1, 2, 3}),
                           std::vector<std::string>{Line("glDisable", {GL_ALPHA_TEST}),
                                                    Line("glDepthMask", {1})}})
    expected.insert(expected.end(), part.begin(), part.end());
  EXPECT_EQ(FullTrace(gl_), expected);
  EXPECT_EQ(gl_.Find("glDrawElements")->pointers[3], scene_.objects[4].faces);
  EXPECT_EQ(gl_.Find("glVertexPointer")->pointers[3], scene_.objects[4].vertices);
  EXPECT_FALSE(scene_.objects[1].visible || scene_.objects[5].visible);
  EXPECT_TRUE(scene_.objects[0].visible && scene_.objects[2].visible);
  const _3DV_RGB &first = scene_.objects[1].flarecolor, &second = scene_.objects[5].flarecolor;
  EXPECT_EQ(std::vector<float>({first.r, first.g, first.b}),
            std::vector<float>({0.75f, 0.625f, 1}));
  EXPECT_EQ(std::vector<float>({second.r, second.g, second.b}), std::vector<float>({0, 0, 0}));
  // A raster position that is not valid reads nothing and gives black.
  gl_.integers[GL_CURRENT_RASTER_POSITION_VALID] = {0};
  read_blocks = {std::vector<float>(27, 1), std::vector<float>(27, 1)};
  gl_.Clear();
  _3DV_RenderSceneOcclusion(scene_, 4);
  EXPECT_EQ(gl_.Count("glReadPixels") + gl_.Count("glGetFloatv"), 0u);
  EXPECT_EQ(std::vector<float>({first.r, first.g, first.b}), std::vector<float>({0, 0, 0}));
  // A track of one key places the flare at that key whatever the frame;
  // a camera without a target track is reported.
  scene_.objects[1].positionkeycount = 1;
  scene_.cameratargetcount = 0;
  TempDir dir;
  const std::string log = dir.str("engine.log");
  ASSERT_EQ(SYS_LogSetFile(log.c_str()), 0);
  const uint32_t flags = SYS_LogGetFlags();
  SYS_LogSetFlags(SYS_LOG_ON);
  gl_.Clear();
  _3DV_RenderSceneOcclusion(scene_, 4);
  SYS_LogSetFlags(flags);
  EXPECT_EQ(FullTrace(gl_).at(camera.size() + 4), Line("glVertex3f", {1.5f, 1.25f, 1.125f}));
  EXPECT_NE(ReadFile(log).find("Scene not renderable without camera animation target and "
                               "position track\n"),
            std::string::npos);
  scene_.cameratargetcount = 1;
  // A scene whose object array is absent has no flares and no occluders.
  _3DV_OBJECT *const objects = scene_.objects;
  scene_.objects = nullptr;
  gl_.Clear();
  _3DV_RenderSceneOcclusion(scene_, 4);
  scene_.objects = objects;
  EXPECT_EQ(gl_.Count("glBegin") + gl_.Count("glDrawElements") + gl_.Count("glReadPixels"), 0u);
  _3DV_EngineUnitInit();

  _3DV_CameraPos = {0, -8, 2};  // the pass left its own camera, along y
  gl_.Clear();
  _3DV_RenderFlares(scene_, 0);
  // For this camera right = (-d.z, 0, d.x) / h = (-1, 0, 0) and up =
  // (0, 1, 4) / sqrt(17), square to d = (0, -8, 2) and upwards. The first
  // flare's centre is its one key plus its pivot, the second's its pivot;
  // both are black, as the last read-back left them.
  const float uy = 2 / std::sqrt(17.0f), uz = 4 * uy;  // the half-diagonal 2 along up
  std::vector<std::string> want = {Line("glEnable", {GL_TEXTURE_2D}), Line("glDepthMask", {0})};
  for (const _3DV_VECTOR c : {_3DV_VECTOR{1.5f, 1.25f, 1.125f}, _3DV_VECTOR{1, 2, 3}}) {
    for (const std::string &line :
         {Line("glBindTexture", {GL_TEXTURE_2D, 12}), Line("glDisable", {GL_CULL_FACE}),
          Line("glDisable", {GL_DEPTH_TEST}), Line("glDisable", {GL_LIGHTING}),
          Line("glEnable", {GL_BLEND}), Line("glBlendFunc", {GL_ONE, GL_ONE}),
          Line("glColor3f", {0, 0, 0}), Line("glBegin", {GL_TRIANGLE_STRIP}),
          Line("glTexCoord2f", {0, 0}), Line("glVertex3f", {c.x + 2, c.y, c.z}),
          Line("glTexCoord2f", {1, 0}), Line("glVertex3f", {c.x, c.y - uy, c.z - uz}),
          Line("glTexCoord2f", {0, 1}), Line("glVertex3f", {c.x, c.y + uy, c.z + uz}),
          Line("glTexCoord2f", {1, 1}), Line("glVertex3f", {c.x - 2, c.y, c.z}), Line("glEnd", {})})
      want.push_back(line);
  }
  want.push_back(Line("glDepthMask", {1}));
  EXPECT_EQ(FullTrace(gl_), want);

  _3DV_CameraPos = {0, -8, 0};
  gl_.Clear();
  _3DV_RenderFlares(scene_, 0);
  EXPECT_EQ(gl_.Count("glBegin"), 0u);
  EXPECT_EQ(gl_.calls().back().name, "glDepthMask");
}

// Shadow geometry of scenes that went through the scene file and reader,
// which derive normals, centres and the volume arrays.
class ShadowGeometry : public EngineEffects {
protected:
  void Load(const Mesh &mesh) {
    std::string error;
    scene_ = ReadMeshes({mesh}, error);
    ASSERT_EQ(scene_.objectcount, 1) << error;
    scene_.volumebuffer = 5;
    scene_.volumeindexbuffer = 6;
  }
  std::vector<std::vector<_3DV_VECTOR>> Quads() const {
    std::vector<std::vector<_3DV_VECTOR>> q;
    for (int32_t i = 0; i < scene_.shadowquadcount; ++i)
      q.emplace_back(scene_.volumearray + 4 * i, scene_.volumearray + 4 * i + 4);
    return q;
  }
};

bool Same(_3DV_VECTOR a, _3DV_VECTOR b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
std::string Show(_3DV_VECTOR v) {
  return "(" + std::to_string(v.x) + ", " + std::to_string(v.y) + ", " + std::to_string(v.z) + ")";
}
#define EXPECT_VEC(a, b) EXPECT_TRUE(Same(a, b)) << Show(a) << " vs " << Show(b)

TEST_F(ShadowGeometry, OpenQuadUnderALightGivesItsFourBorderEdgesExtruded) {
  // A horizontal quad whose normals point down, away from a light above.
  Load(Square(1, 0));
  const _3DV_VECTOR v[4] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
  const _3DV_VECTOR e[4] = {
      {-1001, -1001, -10000}, {1001, -1001, -10000}, {1001, 1001, -10000}, {-1001, 1001, -10000}};
  ASSERT_FALSE(HasFatalFailure());
  _3DV_RenderShadowVolumes(scene_, {0, 0, 10}, 0);
  auto q = Quads();
  ASSERT_EQ(q.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;  // edges 0-1, 1-2, 2-3, 3-0
    EXPECT_VEC(q[i][0], v[i]);
    EXPECT_VEC(q[i][1], e[i]);
    EXPECT_VEC(q[i][2], e[j]);
    EXPECT_VEC(q[i][3], v[j]);
  }
  // The whole pass: its states, the upload of the four quads, front faces
  // counted up, back faces down, the states it restores.
  const GlCall upload = {"glBufferDataARB",
                         {GL_ARRAY_BUFFER_ARB, 4 * 48, 0, GL_DYNAMIC_DRAW_ARB},
                         {nullptr, nullptr, &upload, nullptr}, {}, {}};
  const std::vector<std::string> pass = {
      Line("glEnable", {GL_CULL_FACE}), Line("glEnable", {GL_DEPTH_TEST}),
      Line("glEnable", {GL_STENCIL_TEST}), Line("glDepthMask", {0}),
      Line("glDepthFunc", {GL_LEQUAL}), Line("glDisable", {GL_LIGHTING}),
      Line("glDisable", {GL_TEXTURE_2D}), Line("glDisable", {GL_BLEND}),
      Line("glStencilFunc", {GL_ALWAYS, 0, 4294967295.0}), Line("glColorMask", {0, 0, 0, 0}),
      Line("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 5}), Format(upload),
      Line("glEnableClientState", {GL_VERTEX_ARRAY}),
      Line("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 5}),
      Line("glVertexPointer", {3, GL_FLOAT, 12, 0}),
      Line("glStencilOp", {GL_KEEP, GL_KEEP, GL_INCR}), Line("glCullFace", {GL_BACK}),
      Line("glBindBufferARB", {GL_ELEMENT_ARRAY_BUFFER_ARB, 6}),
      Line("glDrawElements", {GL_TRIANGLES, 4 * 6, GL_UNSIGNED_INT, 0}),
      Line("glStencilOp", {GL_KEEP, GL_KEEP, GL_DECR}), Line("glCullFace", {GL_FRONT}),
      Line("glDrawElements", {GL_TRIANGLES, 4 * 6, GL_UNSIGNED_INT, 0}),
      Line("glDisableClientState", {GL_VERTEX_ARRAY}), Line("glCullFace", {GL_BACK}),
      Line("glColorMask", {1, 1, 1, 1}), Line("glStencilOp", {GL_KEEP, GL_KEEP, GL_KEEP}),
      Line("glDepthMask", {1}), Line("glEnable", {GL_TEXTURE_2D}),
      Line("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 0}),
      Line("glBindBufferARB", {GL_ELEMENT_ARRAY_BUFFER_ARB, 0})};
  EXPECT_EQ(FullTrace(gl_), pass);

  scene_.shadowextrusion = 0;
  _3DV_RenderShadowVolumes(scene_, {0, 0, 10}, 0);
  q = Quads();
  ASSERT_EQ(q.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_VEC(q[i][1], v[i]);
    EXPECT_VEC(q[i][2], v[(i + 1) % 4]);
  }

  // From below, or from within its plane, no face turns away: no quads.
  for (const _3DV_VECTOR light : {_3DV_VECTOR{0, 0, -10}, _3DV_VECTOR{5, 0, 0}}) {
    gl_.Clear();
    _3DV_RenderShadowVolumes(scene_, light, 0);
    EXPECT_EQ(scene_.shadowquadcount, 0);
    EXPECT_EQ(gl_.Find("glDrawElements")->args[1], 0);
  }
  // Both bindings end at 0.
  const auto &calls = gl_.calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2].name, "glBindBufferARB");
  EXPECT_EQ(calls[calls.size() - 2].args[1], 0);
  EXPECT_EQ(calls.back().args[1], 0);

  // The position track at frame t moves the quad: halfway along its keys
  // it lies 2 along x and 5 lower, and its volume with it; moved past the
  // light, it faces the light and casts nothing.
  scene_.shadowextrusion = 1000;
  _3DV_OBJECT &o = scene_.objects[0];
  o.positionkeycount = 2;
  o.positionkeys = FileArray<_3DV_KEYVECTOR>(2);
  o.positionkeys[0] = {0, 0, 0, 0};
  o.positionkeys[1] = {8, 4, 0, -10};
  _3DV_RenderShadowVolumes(scene_, {0, 0, 10}, 4);
  q = Quads();
  ASSERT_EQ(q.size(), 4u);
  EXPECT_VEC(q[0][0], (_3DV_VECTOR{1, -1, -5}));
  EXPECT_VEC(q[0][1], (_3DV_VECTOR{1001, -1001, -15005}));
  EXPECT_VEC(q[0][2], (_3DV_VECTOR{3003, -1001, -15005}));
  EXPECT_VEC(q[0][3], (_3DV_VECTOR{3, -1, -5}));
  o.positionkeys[1] = {8, 0, 0, 40};
  _3DV_RenderShadowVolumes(scene_, {0, 0, 10}, 4);
  EXPECT_EQ(scene_.shadowquadcount, 0);
}

TEST_F(ShadowGeometry, CubeUnderALightCastsItsTopRimAsOneClosedLoop) {
  Load(Cube());
  ASSERT_FALSE(HasFatalFailure());
  _3DV_RenderShadowVolumes(scene_, {0, 0, 10}, 0);
  const auto q = Quads();
  ASSERT_EQ(q.size(), 4u);
  std::set<std::pair<int, int>> edges;
  auto index = [](_3DV_VECTOR p) { return (p.x > 0) + 2 * (p.y > 0) + 4 * (p.z > 0); };
  for (const auto &quad : q) {
    for (int k : {0, 3}) {
      const _3DV_VECTOR c = quad[k];
      EXPECT_EQ(c.z, 1);
      const _3DV_VECTOR far = quad[k == 0 ? 1 : 2];
      EXPECT_VEC(far, (_3DV_VECTOR{1001 * c.x, 1001 * c.y, -8999}));
    }
    edges.insert({index(quad[0]), index(quad[3])});
  }
  // The rim 4-5-7-6 once round, all edges the same way.
  const std::set<std::pair<int, int>> one_way = {{4, 5}, {5, 7}, {7, 6}, {6, 4}};
  const std::set<std::pair<int, int>> other_way = {{5, 4}, {7, 5}, {6, 7}, {4, 6}};
  EXPECT_TRUE(edges == one_way || edges == other_way);

  scene_.shadowextrusion = 0;  // degenerate quads on the same rim
  _3DV_RenderShadowVolumes(scene_, {0, 0, 10}, 0);
  EXPECT_EQ(scene_.shadowquadcount, 4);
  for (const auto &quad : Quads()) {
    EXPECT_VEC(quad[1], quad[0]);
    EXPECT_VEC(quad[2], quad[3]);
  }

  // An invisible or non-casting object casts nothing.
  scene_.objects[0].castshadow = 0;
  _3DV_RenderShadowVolumes(scene_, {0, 0, 10}, 0);
  EXPECT_EQ(scene_.shadowquadcount, 0);
}

TEST_F(ShadowGeometry, TheCountLeftIsTheLastCastersEvenWithoutFaces) {
  // A cube, then a visible caster with no faces: the count is reset for
  // every visible caster, so it ends at 0; hidden, the cube's stays.
  std::string error;
  scene_ = ReadMeshes({Cube(), Mesh{}}, error);
  ASSERT_EQ(scene_.objectcount, 2) << error;
  scene_.volumebuffer = 5;
  scene_.volumeindexbuffer = 6;
  _3DV_RenderShadowVolumes(scene_, {0, 0, 10}, 0);
  EXPECT_EQ(scene_.shadowquadcount, 0);
  EXPECT_EQ(gl_.Count("glDrawElements"), 4u);  // two per caster
  scene_.objects[1].visible = 0;
  _3DV_RenderShadowVolumes(scene_, {0, 0, 10}, 0);
  EXPECT_EQ(scene_.shadowquadcount, 4);
}

}  // namespace
