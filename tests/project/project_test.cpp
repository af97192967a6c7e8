// Effect projects without a context: the ease curves, the set-up and the
// player's calls against the recording OpenGL, and loading through
// injected scene and layer-effect loaders.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../framework/core_test_util.h"

#include "engine/project/project.h"
#include "engine/render/engine_state.h"
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
  // Start equal to end: the middle value only at that exact time.
  EXPECT_EQ(QEX_EaseKey(10, 10, 0, 1, 2, 3, 10), 2);
  EXPECT_EQ(QEX_EaseKey(10, 10, 0, 1, 2, 3, 10.5f), 3);
  for (int i = 0; i < 200; ++i) {
    const float v = QEX_EaseKey(0, 10, 0, -303, 0, 0, float(i % 30) - 10);
    ASSERT_TRUE(v >= 0 && v <= 999 && v == std::floor(v)) << v;
  }
}

TEST(ProjectSetup, TablesScaleAndTextures) {
  GlRecorder gl;
  RandSeed(7);
  gl.integers[GL_UNPACK_ALIGNMENT] = {8};
  QEX_Init(800, 600);
  EXPECT_FLOAT_EQ(QEX_State.sx, 0.78125f);
  EXPECT_FLOAT_EQ(QEX_State.sy, 0.78125f);
  for (int i = 0; i < QEX_POINTS; ++i) {
    for (float v : {QEX_State.X[i], QEX_State.Y[i], QEX_State.Z[i]})
      ASSERT_TRUE(v >= -3000 && v <= 1999 && v == std::floor(v));
    const float g = QEX_State.G[i];
    ASSERT_TRUE(g >= 0.5f && g <= 0.9995f + 1e-6f);
    ASSERT_NEAR(std::round((g - 0.5f) * 2000) / 2000, g - 0.5f, 1e-5);
  }
  EXPECT_EQ(gl.Count("glGenTextures"), 40u);
  // Every render texture is defined with data, not left undefined.
  const GlCall *first_render = gl.Find("glTexImage2D", 32);
  ASSERT_NE(first_render, nullptr);
  EXPECT_EQ(first_render->args[3], 800);
  EXPECT_NE(first_render->pointers[8], nullptr);
  EXPECT_EQ(gl.Find("glTexImage2D", 36)->args[3], 256);
  EXPECT_EQ(gl.Count("glDeleteTextures"), 0u);
  // Rows of three bytes are read tight: a width of 1366 makes rows of
  // 4098 bytes, which an alignment of 4 or 8 would pad past the buffer.
  // The caller's alignment comes back afterwards.
  gl.Clear();
  QEX_Init(1366, 768);
  EXPECT_EQ(gl.Count("glDeleteTextures"), 40u);
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
  EXPECT_EQ(gl.calls()[restored].args[1], 8);
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
  EXPECT_EQ(log.text().find("[CACHE] cached load hall.scn\n"),
            log.text().rfind("[CACHE] cached load "));  // once, for the third slot
  const QEX_Project &p = projects_.back();
  EXPECT_EQ(p.scenes[2].camerafov, p.scenes[0].camerafov);  // a copy of the first record
  EXPECT_EQ(p.operators[0].keycount, 0);
  EXPECT_EQ(p.operators[0].keys, nullptr);
  // A second project finds the first project's scene, the very first entry too.
  ASSERT_TRUE(Parse(ProjectBytes({"hall.scn"}, {}, {})));
  EXPECT_EQ(scenes_loaded.size(), 2u);
}

TEST_F(ProjectLoad, TheCacheStopsAt256DistinctScenes) {
  std::vector<std::string> names;
  for (int i = 0; i < 257; ++i) names.push_back("s" + std::to_string(i));
  names.push_back("s256");  // past the cache: loaded again
  names.push_back("s255");  // the last cached one: found
  ASSERT_TRUE(Parse(ProjectBytes(names, {}, {})));
  EXPECT_EQ(scenes_loaded.size(), 258u);
  EXPECT_EQ(QEX_State.cachecount, 256);
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

TEST(ProjectFile, RecordsOfMoreThanSixteenMiBAreRefusedNamingTheFile) {
  // Zeros after the header; its operator count says they are 64 MiB of
  // operators.
  std::vector<uint8_t> bytes = ProjectBytes({}, {}, {});
  const int32_t operators = int32_t((uintmax_t(64) << 20) / QEX_OPERATOR_SIZE);
  std::memcpy(&bytes[280], &operators, 4);
  const std::string path = ::testing::TempDir() + "filled.qep";
  std::FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  ASSERT_EQ(truncate(path.c_str(), off_t(64) << 20), 0);
  QEX_Project project{};
  EXPECT_EXIT((dup2(2, 1), QEX_LoadProject(project, path)), ::testing::ExitedWithCode(1),
              "filled.qep is too large to read");
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

// The (x, y[, z]) of every call of one entry point, in order.
std::vector<std::vector<double>> ArgsOf(const GlRecorder &gl, std::string_view name) {
  std::vector<std::vector<double>> out;
  for (const GlCall &c : gl.calls())
    if (c.name == name) out.push_back(c.args);
  return out;
}

// One operator at a time against the recording GL: what each sends for
// an amount, with an 800 x 600 frame (scale 0.78125).
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
  int noise = -1;
  const std::vector<Row> rows = {
      {"1004 flash",
       {1004, 0, {}, {Hold(500)}},
       [&] {
         RandSeed(11);
         noise = Random(31);
         RandSeed(11);
       },
       [&] {
         ASSERT_NE(gl.Find("glBindTexture"), nullptr);
         EXPECT_EQ(gl.Find("glBindTexture")->args[1], QEX_State.noise[noise]);
         EXPECT_EQ(ArgsOf(gl, "glMatrixMode"),
                   (std::vector<std::vector<double>>{{GL_MODELVIEW}, {GL_PROJECTION}, {GL_TEXTURE}}));
         EXPECT_EQ(gl.Count("glLoadIdentity"), 3u);
         EXPECT_EQ(gl.Find("glBlendFunc")->args, (std::vector<double>{GL_ONE, GL_ONE}));
         EXPECT_EQ(gl.Find("glColor3f")->args, (std::vector<double>{0.5, 0.5, 0.5}));
         EXPECT_EQ(ArgsOf(gl, "glTexCoord2f"),
                   (std::vector<std::vector<double>>{{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
         EXPECT_EQ(ArgsOf(gl, "glVertex2f"),
                   (std::vector<std::vector<double>>{{-1, 1}, {1, 1}, {1, -1}, {-1, -1}}));
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
      {"4001 amount 0",
       {4001, 0, {}, {Hold(0)}},
       [&] {
         for (int k : {105, 111, 114}) objects[size_t(k)].particledata.particleenabled = 1;
       },
       [&] {
         for (int k : {105, 111, 114}) EXPECT_EQ(objects[size_t(k)].particledata.particleenabled, 0) << k;
       }},
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

}  // namespace
