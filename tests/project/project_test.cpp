// Effect projects without a context: the ease curves, the set-up and the
// player's calls against the recording OpenGL, and loading through
// injected scene and layer-effect loaders.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "../engine/test_scene.h"
#include "../framework/core_test_util.h"

#include "engine/anim/anim.h"
#include "engine/effects/particles.h"
#include "engine/effects/shadows.h"
#include "engine/project/project.h"
#include "engine/render/engine_state.h"
#include "engine/render/scene_render.h"
#include "engine/scene/scene_file.h"
#include "framework/random.h"
#include "project_file.h"
#include "window/gl_demo.h"
#include "window/gl_recorder.h"

using namespace ember_test;

namespace {

std::vector<std::string> scenes_loaded, layers_loaded;
int bar_steps = 0;

void FakeScene(_3DV_SCENE &scene, const std::string &path) {
  EXPECT_EQ(scene.objectcount, 0);  // handed over zeroed
  scenes_loaded.push_back(path);
  scene.camerafov = float(scenes_loaded.size());
}
void FakeLayers(ife_interface &, const std::string &path) { layers_loaded.push_back(path); }
void FakeStep() { ++bar_steps; }

class ProjectLoad : public ::testing::Test {
protected:
  void SetUp() override {
    scenes_loaded.clear();
    layers_loaded.clear();
    bar_steps = 0;
    QEX_State.cachecount = 0;
  }
  void TearDown() override {
    for (QEX_Project &p : projects_) QEX_FreeProjectArrays(p);
  }
  bool Parse(const std::vector<uint8_t> &bytes) {
    projects_.emplace_back();
    return QEX_ParseProject(projects_.back(), bytes.data(), bytes.size(),
                            {FakeScene, FakeLayers, FakeStep}, error_);
  }
  std::vector<QEX_Project> projects_;
  std::string error_;
};

TEST(ProjectEase, CurvesAtTheQuarters) {
  const float expected[3][2] = {{500, 500}, {707.1068f, 707.1068f}, {292.8932f, 292.8932f}};
  for (uint8_t mode = 0; mode < 3; ++mode) {
    EXPECT_NEAR(QEX_EaseKey(0, 100, mode, 0, 1000, 0, 25), expected[mode][0], 1e-3) << int(mode);
    EXPECT_NEAR(QEX_EaseKey(0, 100, mode, 0, 1000, 0, 75), expected[mode][1], 1e-3) << int(mode);
    EXPECT_EQ(QEX_EaseKey(0, 100, mode, 0, 1000, 7, 100.5f), 7);
    EXPECT_EQ(QEX_EaseKey(0, 100, mode, 3, 1000, 7, -0.5f), 3);
    EXPECT_EQ(QEX_EaseKey(0, 100, mode, 3, 1000, 7, 50), 1000);
  }
  // No curve for mode 3: each half holds its first value.
  EXPECT_EQ(QEX_EaseKey(0, 100, 3, 3, 1000, 7, 25), 3);
  EXPECT_EQ(QEX_EaseKey(0, 100, 3, 3, 1000, 7, 75), 1000);
  EXPECT_EQ(QEX_EaseKey(0, 100, 3, 3, 1000, 7, 101), 7);
  // A fifth into each half, where the sine curves part from their cosines.
  const float fifth[3] = {200, 309.017f, 48.943f};
  for (uint8_t mode = 0; mode < 3; ++mode) {
    EXPECT_NEAR(QEX_EaseKey(0, 100, mode, 0, 1000, 0, 10), fifth[mode], 1e-2) << int(mode);
    EXPECT_NEAR(QEX_EaseKey(0, 100, mode, 0, 1000, 0, 90), fifth[mode], 1e-2) << int(mode);
  }
  EXPECT_EQ(QEX_EaseKey(0, 100, 3, 3, 1000, 7, 100), 1000);  // the end itself is in the half
  // Start equal to end: the middle value only at that exact time.
  EXPECT_EQ(QEX_EaseKey(10, 10, 0, 1, 2, 3, 10), 2);
  EXPECT_EQ(QEX_EaseKey(10, 10, 0, 1, 2, 3, 10.5f), 3);
  EXPECT_EQ(QEX_EaseKey(0, 11, 0, 1, 2, 3, 5.5f), 2);  // the middle of an odd span
  RandSeed(1989);  // its first draw is 999 of 1000, where one of 999 gives 998
  EXPECT_EQ(QEX_EaseKey(0, 10, 0, -303, 0, 0, 5), 999);
  for (int i = 0; i < 200; ++i) {
    const float v = QEX_EaseKey(0, 10, 0, -303, 0, 0, float(i % 30) - 10);
    ASSERT_TRUE(v >= 0 && v <= 999 && v == std::floor(v)) << v;
  }
}

// Expected calls, written out from the operators' formulas.
struct Calls {
  std::vector<GlCall> list;
  Calls &operator()(const char *name, std::vector<double> args = {}) {
    GlCall c;
    c.name = name;
    c.args = std::move(args);
    list.push_back(std::move(c));
    return *this;
  }
  Calls &Vertex(const char *name, _3DV_VECTOR v) { return (*this)(name, {v.x, v.y, v.z}); }
  // The full-screen quad.
  Calls &Quad() {
    (*this)("glBegin", {GL_QUADS});
    for (const auto &[u, v] : {std::pair{1, 1}, {0, 1}, {0, 0}, {1, 0}}) {
      (*this)("glTexCoord2f", {double(u), double(v)});
      (*this)("glVertex2f", {2.0 * u - 1, 2.0 * v - 1});
    }
    return (*this)("glEnd");
  }
};

// The same calls as written out, numbers to 2e-5 of their size (a GL enum
// from its neighbour, a coordinate from one a unit away).
void ExpectCalls(const std::vector<GlCall> &got, const Calls &want) {
  ASSERT_EQ(got.size(), want.list.size());
  for (size_t i = 0; i < got.size(); ++i) {
    const GlCall &w = want.list[i];
    ASSERT_EQ(got[i].name, w.name) << "call " << i;
    ASSERT_EQ(got[i].args.size(), w.args.size()) << "call " << i << " " << w.name;
    for (size_t k = 0; k < w.args.size(); ++k)
      ASSERT_NEAR(got[i].args[k], w.args[k], 2e-5 * std::max(1.0, std::fabs(w.args[k])))
          << "call " << i << " " << w.name << " argument " << k;
  }
}

// Uploads of bytes read every texel as a driver would (tightly packed):
// the first luminance image is kept, and the RGB ones must be black.
std::vector<uint8_t> first_noise;
bool rgb_black = true;
void CatchUpload(GLenum target, GLint level, GLint components, GLsizei w, GLsizei h, GLint border,
                 GLenum format, GLenum type, const void *pixels) {
  GlCall &c = GlRecorder::active->Append("glTexImage2D");
  c.args = {double(target), double(level), double(components), double(w), double(h),
            double(border), double(format), double(type), 0};
  c.pointers = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, pixels};
  const auto *p = static_cast<const uint8_t *>(pixels);
  if (!p) return;
  if (format == GL_LUMINANCE && first_noise.empty()) first_noise.assign(p, p + size_t(w) * h);
  if (format == GL_RGB)
    rgb_black = rgb_black && std::all_of(p, p + size_t(w) * h * 3, [](uint8_t b) { return !b; });
}
std::vector<GLuint> deleted;
void CatchDelete(GLsizei n, const GLuint *names) {
  GlRecorder::active->Append("glDeleteTextures").args = {double(n), 0};
  deleted.insert(deleted.end(), names, names + n);
}

TEST(ProjectSetup, TablesScaleAndTextures) {
  GlRecorder gl;
  dgl::glTexImage2D = CatchUpload;
  dgl::glDeleteTextures = CatchDelete;
  RandSeed(7);
  gl.integers[GL_UNPACK_ALIGNMENT] = {8};
  QEX_State.cachecount = 3;
  QEX_State.cache[255].name.assign("room.scn");
  QEX_Init(800, 600);
  EXPECT_EQ(QEX_State.cachecount, 0);
  EXPECT_TRUE(QEX_State.cache[255].name.view().empty());
  EXPECT_FLOAT_EQ(QEX_State.sx, 0.78125f);
  EXPECT_FLOAT_EQ(QEX_State.sy, 0.78125f);
  // The numbers come from the one sequence in a fixed order: X, Y, Z and G
  // of each index, then each noise image byte by byte.
  RandSeed(7);
  for (int i = 0; i < QEX_POINTS; ++i) {
    for (float v : {QEX_State.X[i], QEX_State.Y[i], QEX_State.Z[i]}) {
      ASSERT_TRUE(v >= -3000 && v <= 1999 && v == std::floor(v));
      ASSERT_EQ(v, float(Random(5000) - 3000)) << i;
    }
    const float g = QEX_State.G[i];
    ASSERT_TRUE(g >= 0.5f && g <= 0.9995f + 1e-6f);
    ASSERT_NEAR(std::round((g - 0.5f) * 2000) / 2000, g - 0.5f, 1e-5);
    ASSERT_EQ(std::lround((g - 0.5f) * 2000), Random(1000)) << i;
  }
  ASSERT_EQ(first_noise.size(), 65536u);
  for (size_t b = 0; b < first_noise.size(); ++b) ASSERT_EQ(first_noise[b], Random(256)) << b;
  // 32 linear luminance noise textures, then eight clamped linear render
  // textures, four of the frame's size and four of 256, tightly unpacked.
  Calls want;
  for (double name = 1; name <= 32; ++name) {
    want("glGenTextures", {1, 0})("glBindTexture", {GL_TEXTURE_2D, name});
    want("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR});
    want("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR});
    want("glTexImage2D", {GL_TEXTURE_2D, 0, 1, 256, 256, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, 0});
  }
  want("glGetIntegerv", {GL_UNPACK_ALIGNMENT, 0})("glPixelStorei", {GL_UNPACK_ALIGNMENT, 1});
  for (double n = 0; n < 8; ++n) {
    want("glEnable", {GL_TEXTURE_2D})("glGenTextures", {1, 0});
    want("glBindTexture", {GL_TEXTURE_2D, 33 + n});
    for (GLenum filter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER})
      want("glTexParameteri", {GL_TEXTURE_2D, double(filter), GL_LINEAR});
    for (GLenum wrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T})
      want("glTexParameteri", {GL_TEXTURE_2D, double(wrap), GL_CLAMP_TO_EDGE});
    want("glTexImage2D", {GL_TEXTURE_2D, 0, 3, n < 4 ? 800.0 : 256.0, n < 4 ? 600.0 : 256.0, 0,
                          GL_RGB, GL_UNSIGNED_BYTE, 0});
  }
  ExpectCalls(gl.calls(), want("glPixelStorei", {GL_UNPACK_ALIGNMENT, 8}));
  // Every render texture is defined black, not left undefined.
  for (size_t n = 32; n < 40; ++n) EXPECT_NE(gl.Find("glTexImage2D", n)->pointers[8], nullptr);
  EXPECT_TRUE(rgb_black);
  // Rows of three bytes are read tight: a width of 1366 makes rows of
  // 4098 bytes, which an alignment of 4 or 8 would pad past the buffer.
  // The caller's alignment comes back afterwards.
  gl.Clear();
  gl.integers[GL_UNPACK_ALIGNMENT] = {2};
  QEX_Init(1366, 768);
  std::vector<GLuint> first(40);
  std::iota(first.begin(), first.end(), 1u);
  EXPECT_EQ(deleted, first);  // each texture of the first set-up once
  const std::vector<std::string> names = gl.Names();
  size_t tight = names.size(), upload = names.size(), restored = names.size();
  for (size_t i = 0; i < names.size(); ++i) {
    const GlCall &c = gl.calls()[i];
    if (names[i] == "glPixelStorei" && c.args[0] == GL_UNPACK_ALIGNMENT)
      (c.args[1] == 1 ? tight : restored) = i;
    if (names[i] == "glTexImage2D" && c.args[3] == 1366 && upload == names.size()) upload = i;
  }
  EXPECT_LT(tight, upload);
  ASSERT_LT(restored, names.size());
  EXPECT_GT(restored, upload);
  EXPECT_EQ(gl.calls()[restored].args[1], 2);
  EXPECT_TRUE(rgb_black);
  EXPECT_FLOAT_EQ(QEX_State.sx, 1366.0f / 1024.0f);
}

TEST(ProjectPlayer, ViewportClearAndSkippedOperators) {
  GlRecorder gl;
  QEX_Init(800, 600);
  std::vector<TestOperator> ops(12);
  ops[0] = {1, 0, {{12, 0}, {13, 4}, {14, 0}, {15, 3}}, {{0, 10, 0, 1000, 1000, 1000}}};
  ops[1] = {1000, 0, {{8, 255}, {9, 255}, {10, 255}, {11, 1}, {12, 1}}, {{0, 10, 0, 500, 500, 500}}};
  ops[2] = {1001, 3, {}, {{0, 10, 0, 0, 0, 0}}};            // no scene 3
  ops[3] = {1005, 0, {{11, 8}}, {{0, 10, 0, 0, 0, 0}}};     // no render texture 8
  ops[4] = {2001, 0, {{8, 1}}, {{0, 10, 0, 0, 0, 0}}};      // program never made
  ops[5] = {4006, 0, {}, {{0, 10, 0, 1, 1, 1}}};            // scene 0 missing
  ops[6] = {4002, 0, {}, {{0, 10, 0, 1, 1, 1}}};            // layer effect 1 missing
  ops[7] = {1, 0, {{8, 5}, {12, 100}, {14, 100}}, {{0, 10, 0, 0, 0, 0}}};  // 0 x 0: legal
  ops[8] = {1000, 0, {{11, 1}}, {{20, 30, 0, 0, 0, 0}, {0, 4, 0, 0, 0, 0}, {0, 5, 0, 0, 0, 0}}};
  ops[9] = {1, 0, {{12, 100}, {14, 100}}, {{0, 10, 0, -1000, -1000, -1000}}};  // negative
  // Frame copies of size 0 and of a negative size: the state steps both times.
  ops[10] = {3000, 0, {{8, 7}, {12, 100}, {14, 100}, {16, 2}}, {{0, 10, 0, 0, 0, 0}}};
  ops[11] = {3000, 0, {{12, 100}, {14, 100}, {16, 3}}, {{0, 10, 0, -1000, -1000, -1000}}};
  const std::vector<uint8_t> bytes = ProjectBytes({}, {}, ops);
  QEX_Project project{};
  std::string error;
  ASSERT_TRUE(QEX_ParseProject(project, bytes.data(), bytes.size(), {FakeScene, FakeLayers, FakeStep},
                               error))
      << error;
  gl.Clear();
  QEX_RenderProject(project, 4.9f);

  ASSERT_EQ(gl.Count("glViewport"), 2u);
  EXPECT_EQ(gl.Find("glViewport")->args, (std::vector<double>{0, 0, 800, 600}));
  EXPECT_EQ(gl.Find("glViewport", 1)->args, (std::vector<double>{5, 0, 0, 0}));
  ASSERT_EQ(gl.Count("glBindTexture"), 3u);  // the pass's, then the two copies'
  EXPECT_EQ(gl.Find("glBindTexture", 1)->args[1], QEX_State.render[2]);
  EXPECT_EQ(gl.Find("glBindTexture", 2)->args[1], QEX_State.render[3]);
  ASSERT_EQ(gl.Count("glCopyTexImage2D"), 1u);
  EXPECT_EQ(gl.Find("glCopyTexImage2D")->args,
            (std::vector<double>{GL_TEXTURE_2D, 0, GL_RGB, 7, 0, 0, 0, 0}));
  const GlCall *clear = gl.Find("glClearColor");
  ASSERT_NE(clear, nullptr);
  for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(float(clear->args[c]), 0.5f);
  EXPECT_EQ(gl.Find("glClear")->args[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  // The last operator acts once per active key: the keys ending at 4 and 5.
  EXPECT_EQ(gl.Count("glClear"), 1u + 1u + 2u);  // clear, shader pass, two keys
  EXPECT_EQ(gl.Count("glUseProgramObjectARB"), 0u);
  EXPECT_EQ(gl.Count("glGetUniformLocationARB"), 0u);
  QEX_FreeProjectArrays(project);
}

TEST(ProjectPath, StripsAtTheLastBackslash) {
  EXPECT_EQ(QEX_StripPath("hall.scn"), "hall.scn");
  EXPECT_EQ(QEX_StripPath("c:\\demo\\data\\hall.scn"), "hall.scn");
  EXPECT_EQ(QEX_StripPath("scenes\\"), "");
  EXPECT_EQ(QEX_StripPath("a/b/hall.scn"), "a/b/hall.scn");
  EXPECT_EQ(QEX_StripPath(""), "");
}

TEST_F(ProjectLoad, EmptyProjectIs284BytesAndMovesNoBar) {
  const std::vector<uint8_t> bytes = ProjectBytes({}, {}, {});
  ASSERT_EQ(bytes.size(), 284u);
  ASSERT_TRUE(Parse(bytes)) << error_;
  EXPECT_EQ(bar_steps, 0);
  EXPECT_EQ(projects_.back().scenes, nullptr);
  EXPECT_EQ(projects_.back().operators, nullptr);
}

TEST_F(ProjectLoad, ScenesLoadOnceThroughTheCacheAndTheBarStepsPerFile) {
  LogCapture log;
  ASSERT_TRUE(Parse(ProjectBytes({"x\\hall.scn", "room.scn", "y\\z\\hall.scn"},
                                 {"fx\\a.ife", "b.ife"}, {{1000, 0, {}, {}}})))
      << error_;
  EXPECT_EQ(scenes_loaded, (std::vector<std::string>{"data/hall.scn", "data/room.scn"}));
  EXPECT_EQ(layers_loaded, (std::vector<std::string>{"data/a.ife", "data/b.ife"}));
  EXPECT_EQ(bar_steps, 5);
  // Once, for the third slot.
  const std::string text = log.text();
  const size_t hit = text.find("[CACHE] cached load hall.scn\n");
  ASSERT_NE(hit, std::string::npos) << text;
  EXPECT_EQ(hit, text.find("[CACHE] cached load "));
  EXPECT_EQ(hit, text.rfind("[CACHE] cached load "));
  const QEX_Project &p = projects_.back();
  EXPECT_EQ(p.scenes[2].camerafov, p.scenes[0].camerafov);  // a copy of the first record
  EXPECT_EQ(p.operators[0].keycount, 0);
  EXPECT_EQ(p.operators[0].keys, nullptr);
  // A second project finds the first project's scene, the very first entry too.
  ASSERT_TRUE(Parse(ProjectBytes({"hall.scn"}, {}, {})));
  EXPECT_EQ(scenes_loaded.size(), 2u);
}

TEST_F(ProjectLoad, EveryDistinctSceneFileLoadsOnceWhateverItsSpellingsAndTheCachesRoom) {
  std::vector<std::string> names;
  for (int i = 0; i < 256; ++i) names.push_back("s" + std::to_string(i));
  names.push_back("s255");  // the last cached one: found
  ASSERT_TRUE(Parse(ProjectBytes(names, {}, {})));
  EXPECT_EQ(scenes_loaded.size(), 256u);
  EXPECT_EQ(QEX_State.cachecount, 256);
  // Past the cache's room distinct files still load, each once, uncached.
  scenes_loaded.clear();
  ASSERT_TRUE(Parse(ProjectBytes({"t0", "t1", "t0", "s3"}, {}, {}))) << error_;
  EXPECT_EQ(scenes_loaded, (std::vector<std::string>{"data/t0", "data/t1"}));
  EXPECT_EQ(QEX_State.cachecount, 256);
  EXPECT_EQ(projects_.back().scenes[2].camerafov, projects_.back().scenes[0].camerafov);

  // Spellings of one file, a link to it among them, load it once, in the
  // cache or past it; a file of equal bytes is another file.
  TempDir dir;
  ScopedCwd cwd(dir.path());
  std::filesystem::create_directory(dir.path() / "data");
  for (const std::string file : {"a", "b", "c", "d"}) WriteFile(dir.path() / "data" / (file + ".scn"), "scene");
  for (const auto &[room, one, other] : {std::tuple{6, "a", "b"}, std::tuple{0, "c", "d"}}) {
    const std::string name = std::string(one) + ".scn";
    std::filesystem::create_symlink(dir.path() / "data" / name, dir.path() / "data" / (std::string(one) + ".lnk"));
    scenes_loaded.clear();
    QEX_State.cachecount = QEX_CACHE_SIZE - room;
    std::vector<std::string> spellings(2000, name);
    for (int i = 0; i < 7; ++i) spellings[size_t(i) * 100 + 1] = "." + std::string(size_t(i) + 1, '/') + name;
    spellings[1500] = std::string(one) + ".lnk";
    spellings[1999] = std::string(other) + ".scn";
    ASSERT_TRUE(Parse(ProjectBytes(spellings, {}, {}))) << error_;
    EXPECT_EQ(scenes_loaded, (std::vector<std::string>{"data/" + name, "data/" + spellings[1999]}));
    EXPECT_EQ(QEX_State.cachecount, std::min(QEX_CACHE_SIZE, QEX_CACHE_SIZE - room + 2));
    EXPECT_EQ(projects_.back().scenes[1500].camerafov, projects_.back().scenes[0].camerafov);
  }
}

// Across loads a scene file is known by its name: a project never gets the
// scene of another file, whether the project that loaded it was freed (its
// scene record's memory handed to the next project) or the file it came
// from now lies on the same inode with other bytes.
TEST_F(ProjectLoad, AProjectNeverGetsAnotherFilesScene) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  std::filesystem::create_directory(dir.path() / "data");
  for (const std::string file : {"a", "b", "c"}) WriteFile(dir.path() / "data" / (file + ".scn"), file);
  projects_.reserve(projects_.size() + 8);  // moves no record while the scenes come and go
  auto load = [&](const char *scene) {
    EXPECT_TRUE(Parse(ProjectBytes({scene}, {}, {}))) << error_;
    return projects_.size() - 1;
  };
  // Played one after another: the next loaded while the current plays.
  const size_t a = load("a.scn"), c = load("c.scn");
  QEX_FreeProjectArrays(projects_[a]);
  load("b.scn");
  QEX_FreeProjectArrays(projects_[c]);
  const size_t again = load("a.scn");
  EXPECT_EQ(scenes_loaded, (std::vector<std::string>{"data/a.scn", "data/c.scn", "data/b.scn", "data/a.scn"}));
  EXPECT_EQ(projects_[again].scenes[0].camerafov, 4.0f);

  // The loaded file's inode, rewritten and renamed, is another file.
  WriteFile(dir.path() / "data" / "v1.scn", "version one");
  const size_t held = load("v1.scn");
  WriteFile(dir.path() / "data" / "v1.scn", "version two, longer");
  std::filesystem::rename(dir.path() / "data" / "v1.scn", dir.path() / "data" / "v2.scn");
  const size_t next = load("v2.scn");
  EXPECT_EQ(scenes_loaded.back(), "data/v2.scn");
  EXPECT_NE(projects_[next].scenes[0].camerafov, projects_[held].scenes[0].camerafov);
}

TEST_F(ProjectLoad, BadCountsAndShortFilesLoadNothing) {
  const std::vector<uint8_t> good =
      ProjectBytes({"a"}, {"b"}, {{1000, 0, {}, {{0, 1, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0}}}});
  ASSERT_EQ(good.size(), 284u + 2 * 256 + 304 + 2 * 24);
  for (size_t cut : {size_t(0), size_t(100), size_t(283), size_t(284 + 10), size_t(284 + 512 + 303),
                     good.size() - 1, good.size() - 24}) {
    const std::vector<uint8_t> bytes(good.begin(), good.begin() + long(cut));
    EXPECT_FALSE(Parse(bytes)) << cut;
  }
  auto with = [&](size_t offset, int32_t v) {
    std::vector<uint8_t> b = good;
    std::memcpy(b.data() + offset, &v, 4);
    return b;
  };
  EXPECT_FALSE(Parse(with(272, -1)));
  EXPECT_FALSE(Parse(with(276, INT32_MAX)));
  EXPECT_FALSE(Parse(with(280, 2)));
  EXPECT_FALSE(Parse(with(284 + 512 + 44, -3)));
  EXPECT_FALSE(Parse(with(284 + 512 + 44, 3)));
  EXPECT_TRUE(scenes_loaded.empty());
  EXPECT_EQ(bar_steps, 0);
  EXPECT_TRUE(Parse(with(284 + 512 + 40, 12345)));  // the key reference is not read
}

TEST(ProjectFile, AFileThatEndsInsideTheKeysEndsTheProgramNamingIt) {
  const std::vector<uint8_t> bytes = ProjectBytes({}, {}, {{1000, 0, {}, {{0, 1, 0, 0, 0, 0}}}});
  const std::string path = ::testing::TempDir() + "short.qep";
  std::FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size() - 1, f);
  std::fclose(f);
  QEX_Project project{};
  // The fatal exit writes to standard output; the death test reads errors.
  EXPECT_EXIT((dup2(2, 1), QEX_LoadProject(project, path)), ::testing::ExitedWithCode(1),
              "short.qep is damaged");
  EXPECT_EXIT((dup2(2, 1), QEX_LoadProject(project, ::testing::TempDir() + "none.qep")),
              ::testing::ExitedWithCode(1), "none.qep cannot be opened");
}

// A project baked at one key per frame: an operator of 699,027 keys, each
// backed by its 24 bytes, in a file just over 16 MiB.
TEST(ProjectFile, AnOperatorOfAKeyPerFrameLoadsEveryKey) {
  TestOperator op{1000, 0, {}, std::vector<TestKey>(699'027)};
  for (size_t k = 0; k < op.keys.size(); ++k)
    op.keys[k] = {int32_t(40 * k), int32_t(40 * k + 40), 0, 0, 0, int32_t(k)};
  const std::vector<uint8_t> bytes = ProjectBytes({}, {}, {op});
  const std::string path = ::testing::TempDir() + "keys.qep";
  WriteBytes(path, {bytes.begin(), bytes.end()});
  std::vector<uint8_t> read;
  std::string error;
  ASSERT_TRUE(QEX_ReadProjectFile(path, read, error)) << error;
  QEX_Project project{};
  ASSERT_TRUE(QEX_ParseProject(project, read.data(), read.size(), {FakeScene, FakeLayers, FakeStep},
                               error))
      << error;
  ASSERT_EQ(project.operators[0].keycount, 699'027);
  EXPECT_EQ(project.operators[0].keys[699'026].start, 40 * 699'026);
  EXPECT_EQ(project.operators[0].keys[699'026].endvalue, 699'026);
  QEX_FreeProjectArrays(project);
  std::remove(path.c_str());
}

}  // namespace

namespace {

// A project of the given operators over the given scene and layer effects
// (the loader's arrays are replaced, then given back by the destructor).
struct Played {
  Played(const std::vector<TestOperator> &ops, _3DV_SCENE *scene, ife_interface *layers = nullptr,
         int32_t layercount = 0) {
    const std::vector<uint8_t> bytes = ProjectBytes({}, {}, ops);
    std::string error;
    EXPECT_TRUE(QEX_ParseProject(project, bytes.data(), bytes.size(),
                                 {FakeScene, FakeLayers, FakeStep}, error))
        << error;
    project.scenecount = scene ? 1 : 0;
    project.scenes = scene;
    project.layercount = layercount;
    project.layers = layers;
  }
  ~Played() {
    project.scenecount = project.layercount = 0;
    project.scenes = nullptr;
    project.layers = nullptr;
    QEX_FreeProjectArrays(project);
  }
  QEX_Project project{};
};

TestKey Hold(int32_t amount) { return {0, 10, 0, amount, amount, amount}; }

constexpr double kPiForTests = 3.141592653589793;

// The (x, y[, z]) of every call of one entry point, in order.
std::vector<std::vector<double>> ArgsOf(const GlRecorder &gl, std::string_view name) {
  std::vector<std::vector<double>> out;
  for (const GlCall &c : gl.calls())
    if (c.name == name) out.push_back(c.args);
  return out;
}

// One operator at a time against the recording GL: what each sends for
// an amount, with an 800 x 600 frame (scale 0.78125).
// An 800 x 600 frame fills at most 1024 x 1024 texels of a copy; a copy
// sized past that by its bytes (up to 65535 x 0.78125 a side) is not made.
TEST(ProjectPlayer, AFrameCopyLargerThanTheFrameCanFillIsNotMade) {
  GlRecorder gl;
  QEX_Init(800, 600);
  const auto copies = [&](uint8_t w12, uint8_t w13, uint8_t w14, uint8_t w15) {
    Played played({{3000, 0, {{12, w12}, {13, w13}, {14, w14}, {15, w15}, {16, 1}}, {Hold(1000)}}},
                  nullptr);
    gl.Clear();
    QEX_RenderProject(played.project, 5);
    const GlCall *copy = gl.Find("glCopyTexImage2D");
    return copy ? std::vector<double>(copy->args.begin() + 5, copy->args.begin() + 7)
                : std::vector<double>{};
  };
  EXPECT_EQ(copies(0x1F, 5, 0x1F, 5), (std::vector<double>{1024, 1024}));  // 1311: 1024.2
  EXPECT_EQ(copies(0x20, 5, 0, 3), std::vector<double>{});                 // 1312: 1025
  EXPECT_EQ(copies(0, 3, 0xFF, 0xFF), std::vector<double>{});              // 51199
  EXPECT_EQ(gl.Count("glBindTexture"), 1u);  // the state steps still stand
}

TEST(ProjectPlayer, EachOperatorSendsWhatItsAmountAndBytesSay) {
  GlRecorder gl;
  RandSeed(3);
  QEX_Init(800, 600);
  std::vector<_3DV_OBJECT> objects(115);
  _3DV_SCENE scene{};
  scene.objectcount = 115;
  scene.objects = objects.data();
  // Layer effect 0: one layer moving from x 100 to 300 over frames 0 to
  // 1000; layer effect 1: the ring's texture.
  ife_keys moves[2] = {{0, 100, 50, 0, 0, 10, 10, 255, 255, 255, 255},
                       {1000, 300, 50, 0, 0, 10, 10, 255, 255, 255, 255}};
  ife_layer layers[2] = {};
  layers[0].keycount = 2;
  layers[0].keys = moves;
  layers[1].texture = 77;
  layers[1].keycount = 1;
  layers[1].keys = moves;
  ife_interface effects[2] = {{1, 0, &layers[0]}, {1, 0, &layers[1]}};

  const double kPi = 3.141592653589793;
  struct Row {
    const char *what;
    TestOperator op;
    std::function<void()> before;
    std::function<void()> check;
  };
  // Emission of the three spark objects, 111, 105 and 114.
  const auto sparks = [&](int32_t a, int32_t b, int32_t c) {
    objects[111].particledata.particleenabled = a;
    objects[105].particledata.particleenabled = b;
    objects[114].particledata.particleenabled = c;
  };
  const auto expect_sparks = [&](int32_t a, int32_t b, int32_t c) {
    EXPECT_EQ(objects[111].particledata.particleenabled, a);
    EXPECT_EQ(objects[105].particledata.particleenabled, b);
    EXPECT_EQ(objects[114].particledata.particleenabled, c);
  };
  // Seed 3770 draws 36, 20, 22 of 40 (of 41: 37, 21, 23; of 39: 35, 19, 21).
  constexpr uint32_t kSecondSparks = 3770;
  const auto switch99 = [&](int32_t visible, int32_t emits) {
    objects[99].visible = _3DV_BOOLEAN(visible);
    objects[99].particledata.particleenabled = emits;
  };
  const auto expect_switch99 = [&](int32_t visible, int32_t emits) {
    EXPECT_EQ(objects[99].visible, visible);
    EXPECT_EQ(objects[99].particledata.particleenabled, emits);
  };
  const std::vector<Row> rows = {
      {"1004 flash",
       {1004, 0, {}, {Hold(500)}},
       [&] { RandSeed(45); },  // draws 30 of 31, where a draw of 32 would give 31
       [&] {
         // Earlier operators may leave lighting, culling and the depth test
         // on and blending off: the flash turns each to what it needs.
         Calls want;
         want("glBindTexture", {GL_TEXTURE_2D, double(QEX_State.noise[30])});
         want("glEnable", {GL_TEXTURE_2D})("glDisable", {GL_LIGHTING});
         for (GLenum mode : {GL_MODELVIEW, GL_PROJECTION, GL_TEXTURE})
           want("glMatrixMode", {double(mode)})("glLoadIdentity");
         want("glEnable", {GL_BLEND})("glBlendFunc", {GL_ONE, GL_ONE});
         want("glColor3f", {0.5, 0.5, 0.5});
         want("glDisable", {GL_CULL_FACE})("glDisable", {GL_DEPTH_TEST})("glBegin", {GL_QUADS});
         for (const auto &[u, v] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}})
           want("glTexCoord2f", {double(u), double(v)})("glVertex2f", {2.0 * u - 1, 1 - 2.0 * v});
         ExpectCalls(gl.calls(), want("glEnd"));
       }},
      {"1005 blend off",
       {1005, 0, {{8, 255}, {9, 0}, {10, 51}, {11, 6}, {12, 0}}, {Hold(1000)}},
       {},
       [&] {
         EXPECT_GE(gl.Count("glDisable"), 1u);
         EXPECT_EQ(gl.Find("glDisable")->args[0], GL_BLEND);
         EXPECT_EQ(gl.Count("glBlendFunc"), 0u);
         EXPECT_EQ(gl.Find("glBindTexture")->args[1], QEX_State.render[6]);
         EXPECT_FLOAT_EQ(float(gl.Find("glColor3f")->args[2]), 0.2f);
         EXPECT_EQ(ArgsOf(gl, "glMatrixMode"),
                   (std::vector<std::vector<double>>{{GL_PROJECTION}, {GL_MODELVIEW}, {GL_TEXTURE}}));
         EXPECT_EQ(ArgsOf(gl, "glVertex2f"),
                   (std::vector<std::vector<double>>{{1, 1}, {-1, 1}, {-1, -1}, {1, -1}}));
       }},
      {"1005 additive",
       {1005, 0, {{11, 0}, {12, 1}}, {Hold(1000)}},
       {},
       [&] {
         EXPECT_EQ(gl.Find("glEnable", 1)->args[0], GL_BLEND);
         EXPECT_EQ(gl.Find("glBlendFunc")->args, (std::vector<double>{GL_ONE, GL_ONE}));
       }},
      {"1005 by colour",
       {1005, 0, {{11, 0}, {12, 2}}, {Hold(1000)}},
       {},
       [&] {
         EXPECT_EQ(gl.Find("glBlendFunc")->args,
                   (std::vector<double>{GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR}));
       }},
      {"3000 copy rectangle",
       {3000, 0, {{8, 10}, {10, 20}, {12, 0}, {13, 2}, {14, 128}, {15, 1}, {16, 5}}, {Hold(500)}},
       {},
       [&] {
         // 512 x 0.5 x 0.78125 = 200, 384 x 0.5 x 0.78125 = 150.
         EXPECT_EQ(gl.Find("glBindTexture")->args[1], QEX_State.render[5]);
         ASSERT_NE(gl.Find("glCopyTexImage2D"), nullptr);
         EXPECT_EQ(gl.Find("glCopyTexImage2D")->args,
                   (std::vector<double>{GL_TEXTURE_2D, 0, GL_RGB, 10, 20, 200, 150, 0}));
       }},
      {"2003 copy of the whole frame",
       {2003, 0, {{8, 4}}, {Hold(1000)}},
       {},
       [&] {
         EXPECT_EQ(gl.Find("glBindTexture", 0)->args[1], QEX_State.render[4]);
         EXPECT_EQ(gl.Find("glBindTexture", 1)->args[1], QEX_State.render[0]);
         ASSERT_NE(gl.Find("glCopyTexImage2D"), nullptr);
         EXPECT_EQ(gl.Find("glCopyTexImage2D")->args,
                   (std::vector<double>{GL_TEXTURE_2D, 0, GL_RGB, 0, 0, 800, 600, 0}));
         EXPECT_EQ(gl.Find("glBindTexture", 2)->args[1], QEX_State.render[0]);
       }},
      {"4001 sparks",
       {4001, 0, {}, {Hold(1000)}},
       [&] {
         RandSeed(kSecondSparks);
         sparks(1, 0, 1);
       },
       [&] { expect_sparks(0, 1, 0); }},
      {"4001 amount 0",
       {4001, 0, {}, {Hold(0)}},
       [&] {
         RandSeed(kSecondSparks);
         sparks(1, 1, 1);
       },
       [&] { expect_sparks(0, 0, 0); }},
      {"4001 amount below 0",
       {4001, 0, {}, {Hold(-1)}},
       [&] {
         RandSeed(kSecondSparks);
         sparks(1, 0, 1);
       },
       [&] { expect_sparks(0, 1, 0); }},
      {"4001 without object 114",
       {4001, 0, {}, {Hold(0)}},
       [&] {
         sparks(1, 1, 1);
         scene.objectcount = 114;
       },
       [&] {
         expect_sparks(1, 1, 1);
         scene.objectcount = 115;
       }},
      {"4006 without object 99",
       {4006, 0, {}, {Hold(1)}},
       [&] {
         switch99(1, 0);
         scene.objectcount = 99;
       },
       [&] {
         expect_switch99(1, 0);
         scene.objectcount = 115;
       }},
      {"4006 amount above 0", {4006, 0, {}, {Hold(1)}}, [&] { switch99(1, 0); },
       [&] { expect_switch99(0, 1); }},
      {"4006 amount 0", {4006, 0, {}, {Hold(0)}}, [&] { switch99(0, 1); },
       [&] { expect_switch99(1, 0); }},
      {"4006 amount below 0", {4006, 0, {}, {Hold(-1)}}, [&] { switch99(0, 1); },
       [&] { expect_switch99(1, 0); }},
      {"4002 ring",
       {4002, 0, {}, {Hold(500)}},
       {},
       [&] {
         EXPECT_EQ(gl.Find("glBindTexture")->args[1], 77);
         EXPECT_EQ(ArgsOf(gl, "glTexParameteri"),
                   (std::vector<std::vector<double>>{{GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT},
                                                     {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT}}));
         const auto uv = ArgsOf(gl, "glTexCoord2f");
         const auto xyz = ArgsOf(gl, "glVertex3f");
         ASSERT_EQ(xyz.size(), 181u * 4u);
         ASSERT_EQ(uv.size(), xyz.size());
         // u0 = -0.15 - 0.5; quad i from 2i to 2i + 2 degrees, outer 90, inner 60.
         for (size_t i : {size_t(0), size_t(45), size_t(180)}) {
           const double A = 2.0 * double(i) * kPi / 180, B = A + 2 * kPi / 180;
           const double u = 1 - (-0.65 + double(i) * 0.002), u2 = u - 0.002;
           const double want[4][5] = {{u, 1, 90 * std::sin(A), 90 * std::cos(A), -10},
                                      {u2, 1, 90 * std::sin(B), 90 * std::cos(B), -10},
                                      {u2, 0, 60 * std::sin(B), 60 * std::cos(B), -10},
                                      {u, 0, 60 * std::sin(A), 60 * std::cos(A), -10}};
           for (size_t c = 0; c < 4; ++c) {
             EXPECT_NEAR(uv[4 * i + c][0], want[c][0], 1e-5) << i << " " << c;
             EXPECT_EQ(uv[4 * i + c][1], want[c][1]) << i << " " << c;
             for (int k = 0; k < 3; ++k) EXPECT_NEAR(xyz[4 * i + c][size_t(k)], want[c][2 + k], 1e-3) << i;
           }
         }
       }},
      {"7 field of view",
       {7, 0, {}, {Hold(90)}},
       {},
       [&] { EXPECT_EQ(scene.camerafov, float(90 * kPi / 180)); }},
      {"1002 layer time",
       {1002, 0, {}, {Hold(500)}},
       {},
       [&] {
         ASSERT_NE(gl.Find("glTranslatef"), nullptr);
         EXPECT_FLOAT_EQ(float(gl.Find("glTranslatef")->args[0]), 200.0f);
       }},
      {"6 every object",
       {6, 0, {{8, 3}, {10, 0}, {11, 1}}, {Hold(45)}},
       {},
       [&] {
         for (const _3DV_OBJECT &o : objects) ASSERT_EQ(o.rotation.x, 45.0f);
       }},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    Played played({row.op}, &scene, effects, 2);
    if (row.before) row.before();
    gl.Clear();
    QEX_RenderProject(played.project, 5);
    row.check();
  }
}

// With program handles set, the passes use them: the uniforms, texture
// units 1 to 3 off for the single passes, and program 0 after each.
TEST(ProjectPlayer, ShaderPassesUseTheProgramsTheyAreGiven) {
  GlRecorder gl;
  QEX_Init(1024, 768);
  QEX_State.program1 = 5;
  QEX_State.program2 = 6;
  const auto names = [&] {
    std::vector<std::string> out;
    for (const GlCall &c : gl.calls()) {
      if (c.name == "glGetUniformLocationARB")
        out.push_back(std::string("location ") + static_cast<const char *>(c.pointers[1]));
      else if (c.name == "glActiveTexture")
        out.push_back("unit " + std::to_string(int(c.args[0]) - GL_TEXTURE0));
      else if (c.name == "glUseProgramObjectARB" || c.name == "glUniform1fARB" ||
               c.name == "glUniform1iARB")
        out.push_back(c.name + " " + std::to_string(c.args.back()).substr(0, 4));
      else if (c.name == "glDisable" && (c.args[0] == GL_TEXTURE_2D || c.args[0] == GL_BLEND))
        out.push_back(c.args[0] == GL_BLEND ? "blend off" : "texturing off");
    }
    return out;
  };
  {
    Played played({{2002, 0, {{8, 3}}, {Hold(250)}}}, nullptr);
    gl.Clear();
    QEX_RenderProject(played.project, 5);
    EXPECT_EQ(names(), (std::vector<std::string>{
                           "glUseProgramObjectARB 6.00", "location SIZE", "glUniform1fARB 0.25",
                           "unit 1", "texturing off", "unit 2", "texturing off", "unit 3",
                           "texturing off", "unit 0", "location texture", "glUniform1iARB 0.00", "glUseProgramObjectARB 0.00"}));
    EXPECT_EQ(gl.Find("glBindTexture")->args[1], QEX_State.render[3]);
  }
  {
    Played played({{2003, 0, {{8, 1}}, {Hold(1000)}}}, nullptr);
    gl.Clear();
    QEX_RenderProject(played.project, 5);
    const std::vector<std::string> pass = {"location SIZE", "glUniform1fARB 1.00", "location texture",
                                           "glUniform1iARB 0.00"};
    std::vector<std::string> want = {"glUseProgramObjectARB 5.00"};
    want.insert(want.end(), pass.begin(), pass.end());
    want.insert(want.end(), {"blend off", "glUseProgramObjectARB 0.00", "glUseProgramObjectARB 6.00"});
    want.insert(want.end(), pass.begin(), pass.end());
    want.push_back("glUseProgramObjectARB 0.00");
    EXPECT_EQ(names(), want);
  }
  QEX_State.program1 = QEX_State.program2 = 0;
}

// The frame loop: keys act in their order with their own amounts, and a
// key is active on the whole-number part of t, both ends included.
TEST(ProjectPlayer, KeysActInOrderOnTheWholePartOfTheTime) {
  GlRecorder gl;
  QEX_Init(1024, 768);
  Played played({{1000, 0, {{8, 255}}, {{0, 10, 0, 600, 600, 600}, {0, 10, 0, 200, 200, 200}}},
                 {1000, 0, {}, {{0, 10, 0, 300, 500, 700}}}},
                nullptr);
  const auto alphas = [&](float t) {
    gl.Clear();
    QEX_RenderProject(played.project, t);
    std::vector<double> out;
    for (const auto &args : ArgsOf(gl, "glClearColor")) out.push_back(std::round(args[3] * 1000));
    return out;
  };
  EXPECT_EQ(alphas(5), (std::vector<double>{600, 200, 500}));
  EXPECT_EQ(alphas(-0.5f), (std::vector<double>{600, 200, 300}));  // trunc(-0.5) = 0: start value
  EXPECT_EQ(alphas(10.7f), (std::vector<double>{600, 200, 700}));  // trunc(10.7) = 10: end value
  EXPECT_EQ(alphas(-1), (std::vector<double>{}));
  EXPECT_EQ(alphas(11), (std::vector<double>{}));
  // Inside its window a key follows its own curve at t itself, not at its
  // whole part: 1000 sin(0.51 pi / 2) and 1000 x 0.51.
  Played eased({{1000, 0, {}, {{0, 100, 1, 0, 1000, 0}, {0, 100, 0, 0, 1000, 0}}}}, nullptr);
  gl.Clear();
  QEX_RenderProject(eased.project, 25.5f);
  std::vector<double> eased_alphas;
  for (const auto &args : ArgsOf(gl, "glClearColor")) eased_alphas.push_back(std::round(args[3] * 1000));
  EXPECT_EQ(eased_alphas, (std::vector<double>{718, 510}));
}

// Operators that address fixed objects of scene 0 act only when the scene
// has them; each bolt runs from its object's position at frame = amount
// (plus its pivot) to the centre of its face of object 0, held to the
// faces there are.
TEST(ProjectPlayer, FixedObjectOperatorsAndWhereTheBoltsEnd) {
  GlRecorder gl;
  QEX_Init(1024, 768);
  std::vector<_3DV_OBJECT> objects(100);
  // Object 0: 12 faces, face k centred on (10k + 1, 1, 0).
  std::vector<_3DV_VECTOR> corners;
  std::vector<_3DV_FACE> faces;
  for (int32_t k = 0; k < 12; ++k) {
    const float x = 10.0f * float(k);
    corners.insert(corners.end(), {{x, 0, 0}, {x + 3, 0, 0}, {x, 3, 0}});
    faces.push_back({{3 * k, 3 * k + 1, 3 * k + 2}});
  }
  objects[0].vertexcount = int32_t(corners.size());
  objects[0].vertices = corners.data();
  objects[0].facecount = int32_t(faces.size());
  objects[0].faces = faces.data();
  // Object 1 moves from (0, 0, 0) at frame 0 to (100, 0, 0) at frame 2000.
  _3DV_KEYVECTOR track[2] = {{0, 0, 0, 0}, {2000, 100, 0, 0}};
  objects[1].positionkeycount = 2;
  objects[1].positionkeys = track;
  for (int j = 1; j <= 4; ++j) objects[size_t(j)].pivot = {0, 10.0f * float(j), 5};
  objects[99].visible = 1;
  _3DV_SCENE scene{};
  scene.objectcount = 100;
  scene.objects = objects.data();

  // The first and last corner of each GL_LINES block of a bolt pass.
  const auto ends = [&](int32_t amount) {
    Played played({{4004, 0, {}, {Hold(amount)}}}, &scene);
    gl.Clear();
    QEX_RenderProject(played.project, 5);
    std::vector<std::vector<double>> out;
    std::vector<std::vector<double>> block;
    for (const GlCall &c : gl.calls()) {
      if (c.name == "glBegin") block.clear();
      if (c.name == "glVertex3f") block.push_back(c.args);
      if (c.name == "glEnd" && out.size() < 16) {
        out.push_back(block.front());
        out.push_back(block.back());
      }
    }
    return out;
  };
  // 1000: 4 x trunc(0.25 x 11) + j - 1 = faces 8 to 11; object 1 at frame 1000.
  const auto at1000 = ends(1000);
  ASSERT_EQ(at1000.size(), 16u);
  for (int j = 1; j <= 4; ++j) {
    for (int pass = 0; pass < 2; ++pass) {
      const size_t b = size_t(4 * (j - 1) + 2 * pass);
      const double x0 = j == 1 ? 50 : 0;
      EXPECT_EQ(at1000[b], (std::vector<double>{x0, 10.0 * j, 5})) << j;
      EXPECT_EQ(at1000[b + 1], (std::vector<double>{10.0 * (7 + j) + 1, 1, 0})) << j;
    }
  }
  // Past the last face (4000: 4 x 11 + j - 1) and below the first (-1000):
  // every bolt ends on the last face, then on the first.
  for (const auto &[amount, face] : {std::pair{4000, 11}, std::pair{-1000, 0}}) {
    const auto e = ends(amount);
    ASSERT_EQ(e.size(), 16u);
    for (size_t b = 1; b < 16; b += 2)
      EXPECT_EQ(e[b], (std::vector<double>{10.0 * face + 1, 1, 0})) << amount;
  }
  EXPECT_EQ(ArgsOf(gl, "glLineWidth").back(), (std::vector<double>{5}));

  std::vector<TestOperator> ops = {
      {4006, 0, {}, {Hold(0)}},                                 // amount 0: stays visible
      {4001, 0, {}, {Hold(1000)}},                              // needs 115 objects
      {6, 0, {{8, 5}, {10, 3}}, {Hold(90)}},                    // no such axis
      {6, 0, {{8, 120}, {10, 1}}, {Hold(90)}},                  // no such object
      {6, 0, {{8, 7}, {10, 1}}, {Hold(90)}},
      {1005, 0, {{11, 2}, {12, 3}}, {Hold(1000)}},              // blend state kept
  };
  Played played(ops, &scene);
  gl.Clear();
  QEX_RenderProject(played.project, 5);
  EXPECT_EQ(objects[99].visible, 1);
  EXPECT_EQ(objects[99].particledata.particleenabled, 0);
  for (size_t k = 0; k < objects.size(); ++k) {
    const _3DV_VECTOR r = objects[k].rotation;
    EXPECT_EQ(r.y, k == 7 ? 90.0f : 0.0f) << k;
    EXPECT_EQ(r.x + r.z, 0.0f) << k;
  }
  EXPECT_EQ(gl.Count("glBlendFunc"), 0u);
  for (const auto &args : ArgsOf(gl, "glDisable")) EXPECT_NE(args[0], GL_BLEND);
  _3DV_FaceFraction = -1;
}

// Two recordings are the same calls: names, numbers, and the bytes and
// client arrays each call read.
void ExpectSameCalls(const std::vector<GlCall> &got, const std::vector<GlCall> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].name, want[i].name) << "call " << i;
    ASSERT_EQ(got[i].args, want[i].args) << "call " << i << " " << got[i].name;
    ASSERT_TRUE(got[i].data == want[i].data) << "call " << i << " " << got[i].name;
    ASSERT_EQ(got[i].arrays, want[i].arrays) << "call " << i << " " << got[i].name;
  }
}

// Operator 1001 makes the engine's calls in its order: the shadowed
// render (lit pass, volumes from light 0 at the frame, depth cleared,
// stencil equal 0, clipped pass, stencil off) or the clipped render alone,
// then the particle step. The same calls made by hand must record the
// same, so each step, its frame and its light are pinned.
TEST(ProjectPlayer, SceneOperatorRendersThroughTheEngineInItsOrder) {
  GlRecorder gl;
  _3DV_InitTypeSizes();
  _3DV_LoaderUnitInit();
  _3DV_EngineUnitInit();
  QEX_Init(1024, 768);
  std::string error;
  _3DV_SCENE scene = ReadMeshes({Cube()}, error);
  ASSERT_EQ(scene.objectcount, 1) << error;
  _3DV_UploadScene(scene);
  // The recording GL hands out no buffer names; the volumes want some.
  scene.volumebuffer = scene.volumeindexbuffer = 1;
  // Off the y axis, so the billboards of the particles have a basis.
  scene.camerapositions[0] = {0, 1, -8, 0};
  // The cube moves, so its shadow and its particles depend on the frame.
  _3DV_OBJECT &cube = scene.objects[0];
  cube.positionkeycount = 2;
  cube.positionkeys = FileArray<_3DV_KEYVECTOR>(2);
  cube.positionkeys[0] = {0, 0, 0, 0};
  cube.positionkeys[1] = {2000, 4, 0, 0};
  cube.particledata.particleenabled = 1;
  cube.particledata.newparticle = 2;
  cube.particledata.size = 1;
  // Light 0 stands at pos, or moves along two keys of which the first
  // counts alone when its key count is 1; light 1 stands elsewhere.
  _3DV_LIGHT &light = scene.lights[0];
  light.enabled = 1;
  light.pos = {0, 0, 9};
  light.positionkeys = FileArray<_3DV_KEYVECTOR>(2);
  light.positionkeys[0] = {0, 5, 0, 5};
  light.positionkeys[1] = {3000, -5, 0, 5};
  scene.lights[1].pos = {9, 0, 0};

  const float frame = 1500;
  const auto by_hand = [&](int b9, int b10) {
    if (b10 == 1) {
      _3DV_RenderSceneVBO(scene, frame);
      _3DV_VECTOR at = light.pos;
      if (light.positionkeycount >= 1) _3DV_GetLightPositionAt(at, scene, 0, frame);
      _3DV_RenderShadowVolumes(scene, at, frame);
      dgl::glClear(GL_DEPTH_BUFFER_BIT);
      dgl::glStencilFunc(GL_EQUAL, 0, ~GLuint(0));
      _3DV_RenderSceneClipped(scene, frame);
      dgl::glDisable(GL_STENCIL_TEST);
    } else {
      _3DV_RenderSceneClipped(scene, frame);
    }
    if (b9 == 1) {
      dgl::glMatrixMode(GL_TEXTURE);
      dgl::glLoadIdentity();
      dgl::glDisable(GL_LIGHTING);
      _3DV_RenderParticles(scene, frame);
    }
  };
  // Each run starts from an empty particle pool and one random sequence.
  const auto fresh = [&] {
    _3DV_FreeParticles(scene);
    _3DV_AllocParticles(scene, 8);
    RandSeed(5);
    gl.Clear();
  };
  const struct {
    int b9, b10, b11, lightkeys;
  } cases[] = {{1, 1, 0, 2}, {1, 1, 0, 1}, {1, 1, 0, 0}, {2, 2, 1, 0}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "b9 " << c.b9 << " b10 " << c.b10 << " keys " << c.lightkeys);
    light.positionkeycount = c.lightkeys;
    fresh();
    {
      Played played({{1001, 0,
                      {{9, uint8_t(c.b9)}, {10, uint8_t(c.b10)}, {11, uint8_t(c.b11)}},
                      {Hold(int32_t(frame))}}},
                    &scene);
      QEX_RenderProject(played.project, 5);
    }
    const std::vector<GlCall> played = gl.calls();
    fresh();
    by_hand(c.b9, c.b10);
    ExpectSameCalls(played, gl.calls());
  }
  light.positionkeycount = 2;
  _3DV_FreeParticles(scene);
  _3DV_FreeScene(scene);
}

// The drawing operators, call by call, on a 1000 x 500 frame (sx and sy
// differ): what each sends is what its formula gives for the amount.
TEST(ProjectPlayer, DrawingOperatorsSendWhatTheirFormulasGive) {
  GlRecorder gl;
  RandSeed(3);
  QEX_Init(1000, 500);
  const double sx = 1000.0 / 1024, sy = 500.0 / 768, kPi = 3.141592653589793, deg = kPi / 180;
  const auto play = [&](const TestOperator &op, _3DV_SCENE *scene, ife_interface *layers = nullptr,
                        int32_t layercount = 0) {
    Played played({op}, scene, layers, layercount);
    gl.Clear();
    QEX_RenderProject(played.project, 5);
  };

  {
    SCOPED_TRACE("1 viewport and 3000 copy: w8, w10, round(w12 a sx), round(w14 a sy)");
    const std::vector<std::pair<int, uint8_t>> rect = {{8, 1}, {9, 2}, {10, 3}, {11, 4}, {12, 188},
                                                       {13, 2}, {14, 128}, {15, 1}, {16, 7}};
    const double w = std::round(float(700 * 0.999f) * float(sx));  // 682.9: rounds up
    const double h = std::round(float(384 * 0.999f) * float(sy));
    play({1, 0, rect, {Hold(999)}}, nullptr);
    ExpectCalls(gl.calls(), Calls()("glViewport", {513, 1027, w, h}));
    play({3000, 0, rect, {Hold(999)}}, nullptr);
    ExpectCalls(gl.calls(), Calls()("glEnable", {GL_TEXTURE_2D})(
                                "glBindTexture", {GL_TEXTURE_2D, double(QEX_State.render[7])})(
                                "glCopyTexImage2D", {GL_TEXTURE_2D, 0, GL_RGB, 513, 1027, w, h, 0}));
    // A size past what GL takes is held at 2^24; one of 0 is legal.
    play({1, 0, {{12, 255}, {13, 255}}, {Hold(2000000000)}}, nullptr);
    ExpectCalls(gl.calls(), Calls()("glViewport", {0, 0, double(1 << 24), 0}));
    play({1, 0, {{14, 255}, {15, 255}}, {Hold(2000000000)}}, nullptr);
    ExpectCalls(gl.calls(), Calls()("glViewport", {0, 0, 0, double(1 << 24)}));
    play({3000, 0, {{15, 1}, {16, 8}}, {Hold(999)}}, nullptr);  // no render texture 8
    EXPECT_TRUE(gl.calls().empty());
    for (int32_t t : {3000, 1}) {
      // A negative width or height alone skips the call.
      play({t, 0, {{12, 10}, {14, 10}}, {{0, 10, 0, -1000, -1000, -1000}}}, nullptr);
      const size_t n = gl.calls().size();
      play({t, 0, {{12, 10}}, {{0, 10, 0, -1000, -1000, -1000}}}, nullptr);
      EXPECT_EQ(gl.calls().size(), n) << t;
      play({t, 0, {{14, 10}}, {{0, 10, 0, -1000, -1000, -1000}}}, nullptr);
      EXPECT_EQ(gl.calls().size(), n) << t;
    }
  }

  const auto pass = [&](Calls &c, int32_t program, uint32_t texture, double a, bool units,
                        bool blendOff) {
    if (program) {
      c("glUseProgramObjectARB", {double(program)});
      c("glGetUniformLocationARB", {double(program), 0})("glUniform1fARB", {0, a});
    }
    if (units) {
      for (int u = 1; u <= 3; ++u)
        c("glActiveTexture", {double(GL_TEXTURE0 + u)})("glDisable", {GL_TEXTURE_2D});
      c("glActiveTexture", {GL_TEXTURE0});
    }
    if (program) c("glGetUniformLocationARB", {double(program), 0});
    c("glEnable", {GL_TEXTURE_2D})("glBindTexture", {GL_TEXTURE_2D, double(texture)});
    if (program) c("glUniform1iARB", {0, 0});
    c("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT});
    c("glMatrixMode", {GL_PROJECTION})("glLoadIdentity")("glMatrixMode", {GL_MODELVIEW})(
        "glLoadIdentity")("glDisable", {GL_LIGHTING});
    if (blendOff) c("glDisable", {GL_BLEND});
    c("glColor3f", {1, 1, 1}).Quad();
    if (program) c("glUseProgramObjectARB", {0});
  };
  for (int32_t program : {0, 5}) {
    SCOPED_TRACE(testing::Message() << "2001 to 2003, program 1 = " << program);
    QEX_State.program1 = program;
    QEX_State.program2 = program ? program + 1 : 0;
    for (int32_t type : {2001, 2002}) {
      play({type, 0, {{8, 3}, {9, 5}}, {Hold(250)}}, nullptr);
      Calls want;
      pass(want, type == 2001 ? QEX_State.program1 : QEX_State.program2, QEX_State.render[3], 0.25,
           true, false);
      ExpectCalls(gl.calls(), want);
    }
    play({2003, 0, {{8, 6}}, {Hold(500)}}, nullptr);
    Calls want;
    pass(want, QEX_State.program1, QEX_State.render[6], 0.5, false, true);
    want("glBindTexture", {GL_TEXTURE_2D, double(QEX_State.render[0])});
    want("glCopyTexImage2D", {GL_TEXTURE_2D, 0, GL_RGB, 0, 0, 1000, 500, 0});
    pass(want, QEX_State.program2, QEX_State.render[0], 0.5, false, false);
    ExpectCalls(gl.calls(), want);
  }
  QEX_State.program1 = QEX_State.program2 = 0;

  for (uint8_t blend : {0, 1, 2, 3}) {
    SCOPED_TRACE(testing::Message() << "1005, b12 = " << int(blend));
    play({1005, 0, {{8, 255}, {9, 102}, {10, 51}, {11, 6}, {12, blend}}, {Hold(500)}}, nullptr);
    Calls want;
    want("glEnable", {GL_TEXTURE_2D})("glColor3f", {0.5, 0.2, 0.1});
    if (blend == 0) want("glDisable", {GL_BLEND});
    if (blend == 1) want("glEnable", {GL_BLEND})("glBlendFunc", {GL_ONE, GL_ONE});
    if (blend == 2)
      want("glEnable", {GL_BLEND})("glBlendFunc", {GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR});
    want("glBindTexture", {GL_TEXTURE_2D, double(QEX_State.render[6])});
    want("glDisable", {GL_CULL_FACE})("glDisable", {GL_DEPTH_TEST});
    for (GLenum mode : {GL_PROJECTION, GL_MODELVIEW, GL_TEXTURE})
      want("glMatrixMode", {double(mode)})("glLoadIdentity");
    want("glDisable", {GL_LIGHTING}).Quad();
    ExpectCalls(gl.calls(), want);
  }

  {
    SCOPED_TRACE("4002 ring");
    ife_keys still[1] = {{0, 0, 0, 0, 0, 10, 10, 1, 1, 1, 1}};
    ife_layer layers[3] = {};
    for (ife_layer &l : layers) l = {{}, {}, {}, 0, 1, 0, still};
    layers[1].texture = 77;
    layers[2].texture = 78;
    ife_interface effects[2] = {{1, 0, &layers[0]}, {2, 0, &layers[1]}};
    play({4002, 0, {}, {Hold(500)}}, nullptr, effects, 2);
    Calls want;
    want("glColor3f", {0, 0, 0})("glEnable", {GL_TEXTURE_2D})("glBindTexture", {GL_TEXTURE_2D, 77});
    want("glDisable", {GL_CULL_FACE})("glDisable", {GL_LIGHTING});
    want("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT});
    want("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT});
    want("glEnable", {GL_BLEND})("glBlendFunc", {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA});
    want("glBegin", {GL_QUADS});
    const double u0 = -0.15 - 0.5, du = 0.002;
    for (int i = 0; i <= 180; ++i) {
      const double g = std::sin(i * deg), A = 2 * i * deg, B = (2 * i + 2) * deg;
      want("glColor3f", {g, g, g});
      want("glTexCoord2f", {1 - (u0 + i * du), 1})("glVertex3f", {90 * std::sin(A), 90 * std::cos(A), -10});
      want("glTexCoord2f", {1 - (u0 + du + i * du), 1})("glVertex3f", {90 * std::sin(B), 90 * std::cos(B), -10});
      want("glTexCoord2f", {1 - (u0 + du + i * du), 0})("glVertex3f", {60 * std::sin(B), 60 * std::cos(B), -10});
      want("glTexCoord2f", {1 - (u0 + i * du), 0})("glVertex3f", {60 * std::sin(A), 60 * std::cos(A), -10});
    }
    want("glEnd");
    ExpectCalls(gl.calls(), want);
    // Layer effect 1 must be there with a layer.
    play({4002, 0, {}, {Hold(500)}}, nullptr, effects, 1);
    EXPECT_TRUE(gl.calls().empty());
    effects[1].layercount = 0;
    play({4002, 0, {}, {Hold(500)}}, nullptr, effects, 2);
    EXPECT_TRUE(gl.calls().empty());
  }

  {
    SCOPED_TRACE("4003 floor grid");
    play({4003, 0, {}, {Hold(500)}}, nullptr);
    Calls want;
    want("glColor3f", {0.1, 0.1, 0.1});
    for (GLenum cap : {GL_TEXTURE_2D, GL_CULL_FACE, GL_DEPTH_TEST, GL_LIGHTING})
      want("glDisable", {double(cap)});
    want("glEnable", {GL_BLEND})("glBlendFunc", {GL_ONE, GL_ONE})("glBegin", {GL_LINES});
    for (int i = 0; i <= 100; ++i) {
      const double c = 80.0 * (i - 50), a = 0.5;
      const double points[8][4] = {{0, c, -4000}, {a, c, 0}, {a, c, 0}, {0, c, 4000},
                                   {0, -4000, c}, {a, 0, c}, {a, 0, c}, {0, 4000, c}};
      for (const auto &pt : points)
        want("glColor3f", {pt[0], pt[0], pt[0]})("glVertex3f", {pt[1], -170, pt[2]});
    }
    want("glEnd");
    ExpectCalls(gl.calls(), want);
  }

  {
    SCOPED_TRACE("4005 point cloud");
    play({4005, 0, {}, {Hold(500)}}, nullptr);
    Calls want;
    want("glColor3f", {1, 1, 1});
    for (GLenum cap : {GL_TEXTURE_2D, GL_CULL_FACE, GL_DEPTH_TEST, GL_LIGHTING})
      want("glDisable", {double(cap)});
    want("glBegin", {GL_POINTS});
    for (int i = 0; i < QEX_POINTS; ++i) {
      const QEX_UnitState &u = QEX_State;
      want("glColor3f", {u.G[i], u.G[i], u.G[i]})("glVertex3f", {u.X[i], u.Y[i], u.Z[i]});
    }
    want("glEnd");
    ExpectCalls(gl.calls(), want);
  }

  {
    SCOPED_TRACE("4004 bolts and tunnel");
    // Object 0: 12 faces, face k with corners (10k, 0, 0), (10k + 3, 0, 3),
    // (10k, 3, 6). Object 1 moves; every object j has a pivot of its own.
    std::vector<_3DV_OBJECT> objects(5);
    std::vector<_3DV_VECTOR> corners;
    std::vector<_3DV_FACE> faces;
    for (int32_t k = 0; k < 12; ++k) {
      const float x = 10.0f * float(k);
      corners.insert(corners.end(), {{x, 0, 0}, {x + 3, 0, 3}, {x, 3, 6}});
      faces.push_back({{3 * k, 3 * k + 1, 3 * k + 2}});
    }
    objects[0].vertexcount = int32_t(corners.size());
    objects[0].vertices = corners.data();
    objects[0].facecount = int32_t(faces.size());
    objects[0].faces = faces.data();
    _3DV_KEYVECTOR track[2] = {{0, 0, 0, 0}, {2000, 100, 40, 20}};
    objects[1].positionkeycount = 2;
    objects[1].positionkeys = track;
    for (int j = 1; j <= 4; ++j) objects[size_t(j)].pivot = {2.0f * float(j), 10.0f * float(j), 5.0f + float(j)};
    _3DV_SCENE scene{};
    scene.objectcount = 5;
    scene.objects = objects.data();
    // Face f = 4 trunc(amount / 4000 (F0 - 1)) + j - 1, held to the faces
    // there are; with 5 faces, 1000 gives exactly 1.
    for (const auto &[facecount, amount] :
         {std::pair{12, 1000}, {12, 3999}, {12, -100}, {5, 1000}, {1, 1000}}) {
      SCOPED_TRACE(testing::Message() << facecount << " faces, amount " << amount);
      objects[0].facecount = facecount;
      RandSeed(8);
      _3DV_FaceFraction = -1;
      play({4004, 0, {}, {Hold(amount)}}, &scene);
      EXPECT_FLOAT_EQ(_3DV_FaceFraction, float(amount) / 1000);
      RandSeed(8);
      Calls want;
      want("glColor3f", {1, 1, 1})("glDisable", {GL_TEXTURE_2D})("glDisable", {GL_CULL_FACE});
      want("glEnable", {GL_DEPTH_TEST})("glDisable", {GL_LIGHTING})("glEnable", {GL_BLEND});
      want("glBlendFunc", {GL_ONE, GL_ONE});
      for (int32_t j = 1; j <= 4; ++j) {
        _3DV_VECTOR p;
        _3DV_GetObjectPositionAt(p, scene, j, float(amount));
        p = {p.x + 2.0f * float(j), p.y + 10.0f * float(j), p.z + 5.0f + float(j)};
        const int32_t f = std::clamp(4 * int32_t(double(amount) / 4000 * (facecount - 1)) + j - 1, 0,
                                     facecount - 1);
        const _3DV_VECTOR q = {10.0f * float(f) + 1, 1, 3};
        const int n = 6 + Random(6);
        std::vector<_3DV_VECTOR> jitter(size_t(n) + 1, {0, 0, 0});
        for (int k = 1; k <= n; ++k) {
          const float x = float(Random(100)) / 30, y = float(Random(100)) / 30;
          jitter[size_t(k)] = {x, y, float(Random(100)) / 30};
        }
        jitter[size_t(n)] = {0, 0, 0};
        const auto at = [&](int k) {
          const float t = float(k) / float(n);
          const _3DV_VECTOR &d = jitter[size_t(k)];
          return _3DV_VECTOR{p.x + t * (q.x - p.x) + d.x, p.y + t * (q.y - p.y) + d.y,
                             p.z + t * (q.z - p.z) + d.z};
        };
        for (const auto &[grey, blue, width] : {std::tuple{0.5, 0.5, 1.0}, {0.0, 0.3, 8.0}}) {
          want("glColor3f", {grey, grey, blue})("glLineWidth", {width})("glBegin", {GL_LINES});
          for (int k = 0; k < n; ++k) want.Vertex("glVertex3f", at(k)).Vertex("glVertex3f", at(k + 1));
          want("glEnd");
        }
      }
      const auto tunnel = [&] {
        want("glBegin", {GL_LINES});
        for (int r = -10; r <= 10; ++r) {
          for (int k = 0; k < 36; ++k) {
            const double A = 10 * k * deg, B = 10 * (k + 1) * deg, z = 20 * r + amount / 50.0;
            want("glVertex3f", {140 * std::sin(A), 140 * std::cos(A), z});
            want("glVertex3f", {140 * std::sin(B), 140 * std::cos(B), z});
            want("glVertex3f", {140 * std::sin(A), 140 * std::cos(A), z});
            want("glVertex3f", {140 * std::sin(A), 140 * std::cos(A), z + 20});
          }
        }
        want("glEnd");
      };
      want("glLineWidth", {1})("glEnable", {GL_DEPTH_TEST})("glColor3f", {0.3, 0.3, 0.3});
      tunnel();
      want("glLineWidth", {5})("glColor3f", {0.1, 0.1, 0.1});
      tunnel();
      ExpectCalls(gl.calls(), want);
    }
    // Scene 0 needs objects 0 to 4.
    objects[0].facecount = 12;
    scene.objectcount = 4;
    play({4004, 0, {}, {Hold(1000)}}, &scene);
    EXPECT_TRUE(gl.calls().empty());
  }
  _3DV_FaceFraction = -1;
}

// The index names a scene or layer effect of the project, from 0; one
// before the first or past the last names nothing. The project's arrays
// here start one entry into larger ones, so a step outside shows.
TEST(ProjectPlayer, OperatorsActOnWhatTheirIndexAndBytesName) {
  GlRecorder gl;
  QEX_Init(1024, 768);
  std::vector<_3DV_OBJECT> objects(4);
  _3DV_SCENE scenes[4] = {};
  for (_3DV_SCENE &scene : scenes) {
    scene.objectcount = 3;
    scene.objects = objects.data();
  }
  ife_keys at[4][1] = {};
  ife_layer layers[4] = {};
  ife_interface effects[4] = {};
  for (int i = 0; i < 4; ++i) {
    at[i][0] = {0, 10.0f * float(i), 0, 0, 0, 10, 10, 1, 1, 1, 1};
    layers[i] = {{}, {}, {}, 0, 1, 0, at[i]};
    effects[i] = {1, 0, &layers[i]};
  }
  const auto play = [&](const std::vector<TestOperator> &ops) {
    Played played(ops, nullptr, effects + 1, 2);
    played.project.scenes = scenes + 1;
    played.project.scenecount = 2;
    gl.Clear();
    QEX_RenderProject(played.project, 5);
    played.project.scenes = nullptr;
  };
  const auto fovs = [&] {
    std::vector<float> out;
    for (const _3DV_SCENE &scene : scenes) out.push_back(scene.camerafov);
    return out;
  };
  play({{7, -1, {}, {Hold(180)}}, {7, 1, {}, {Hold(180)}}, {7, 2, {}, {Hold(180)}}});
  EXPECT_EQ(fovs(), (std::vector<float>{0, 0, float(kPiForTests), 0}));
  play({{1002, -1, {}, {Hold(0)}}, {1002, 1, {}, {Hold(0)}}, {1002, 2, {}, {Hold(0)}}});
  const auto moves = ArgsOf(gl, "glTranslatef");
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_FLOAT_EQ(float(moves[0][0]), 20.0f);

  // Operator 6 on scene 1 (objects shared): all objects when b11 is 1,
  // else object w8 when there is one; axis b10 from 0 to 2.
  const auto rotations = [&] {
    std::vector<std::vector<float>> out;
    for (const _3DV_OBJECT &o : objects) out.push_back({o.rotation.x, o.rotation.y, o.rotation.z});
    for (_3DV_OBJECT &o : objects) o.rotation = {0, 0, 0};
    return out;
  };
  using R = std::vector<std::vector<float>>;
  play({{6, 1, {{10, 2}, {11, 1}}, {Hold(30)}}});
  EXPECT_EQ(rotations(), (R{{0, 0, 30}, {0, 0, 30}, {0, 0, 30}, {0, 0, 0}}));
  play({{6, 1, {{8, 1}, {10, 0}, {11, 2}}, {Hold(30)}}});
  EXPECT_EQ(rotations(), (R{{0, 0, 0}, {30, 0, 0}, {0, 0, 0}, {0, 0, 0}}));
  play({{6, 1, {{8, 1}, {9, 1}, {10, 1}}, {Hold(30)}},   // object 257
        {6, 1, {{8, 3}, {10, 1}}, {Hold(30)}},           // one past the last
        {6, 2, {{10, 1}, {11, 1}}, {Hold(30)}},          // no scene 2
        {6, -1, {{10, 1}, {11, 1}}, {Hold(30)}}});
  EXPECT_EQ(rotations(), (R{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}));
  // w8 is a word, low byte first: object 257 of a scene that has it.
  std::vector<_3DV_OBJECT> many(258);
  scenes[2].objectcount = 258;
  scenes[2].objects = many.data();
  play({{6, 1, {{8, 1}, {9, 1}, {10, 1}}, {Hold(30)}}});
  EXPECT_EQ(many[257].rotation.y, 30);
  EXPECT_EQ(many[1].rotation.y, 0);

  // Operator 1000: colour b8..b10 / 255 x a and alpha a; each of b11..b14
  // selects its own buffer.
  play({{1000, 0, {{8, 51}, {9, 102}, {10, 153}, {11, 1}}, {Hold(1000)}},
        {1000, 0, {{12, 1}}, {Hold(1000)}},
        {1000, 0, {{13, 1}}, {Hold(1000)}},
        {1000, 0, {{14, 1}}, {Hold(1000)}}});
  ASSERT_EQ(gl.Count("glClearColor"), 4u);
  const std::vector<double> colour = gl.Find("glClearColor")->args;
  EXPECT_NEAR(colour[0], 0.2, 1e-6);
  EXPECT_NEAR(colour[1], 0.4, 1e-6);
  EXPECT_NEAR(colour[2], 0.6, 1e-6);
  EXPECT_EQ(colour[3], 1);
  EXPECT_EQ(ArgsOf(gl, "glClear"),
            (std::vector<std::vector<double>>{{GL_COLOR_BUFFER_BIT}, {GL_DEPTH_BUFFER_BIT},
                                              {GL_ACCUM_BUFFER_BIT}, {GL_STENCIL_BUFFER_BIT}}));
}

}  // namespace
