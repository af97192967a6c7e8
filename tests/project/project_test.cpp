// Effect projects without a context: the ease curves, the set-up and the
// player's calls against the recording OpenGL, and loading through
// injected scene and layer-effect loaders.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

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
  ASSERT_TRUE(Parse(ProjectBytes({"x\\hall.scn", "room.scn", "y\\z\\hall.scn"},
                                 {"fx\\a.ife", "b.ife"}, {{1000, 0, {}, {}}})))
      << error_;
  EXPECT_EQ(scenes_loaded, (std::vector<std::string>{"data/hall.scn", "data/room.scn"}));
  EXPECT_EQ(layers_loaded, (std::vector<std::string>{"data/a.ife", "data/b.ife"}));
  EXPECT_EQ(bar_steps, 5);
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
}

}  // namespace

namespace {

// Operators that address fixed objects of scene 0 act only when the scene
// has them; the bolt target clamps to the last face.
TEST(ProjectPlayer, FixedObjectOperatorsNeedTheirObjects) {
  GlRecorder gl;
  QEX_Init(1024, 768);
  std::vector<_3DV_OBJECT> objects(100);
  _3DV_VECTOR corners[3] = {{0, 0, 0}, {3, 0, 0}, {0, 3, 0}};
  _3DV_FACE face{{0, 1, 2}};
  objects[0].vertexcount = 3;
  objects[0].vertices = corners;
  objects[0].facecount = 1;
  objects[0].faces = &face;
  objects[99].visible = 1;
  _3DV_SCENE scene{};
  scene.objectcount = 100;
  scene.objects = objects.data();
  std::vector<TestOperator> ops = {
      {4006, 0, {}, {{0, 10, 0, 0, 0, 0}}},                      // amount 0: stays visible
      {4001, 0, {}, {{0, 10, 0, 1000, 1000, 1000}}},             // needs 115 objects
      {4004, 0, {}, {{0, 10, 0, 4000, 4000, 4000}}},             // face 4 x 0 + 3 clamps to 0
      {6, 0, {{8, 5}, {10, 3}}, {{0, 10, 0, 90, 90, 90}}},       // no such axis
      {6, 0, {{8, 120}, {10, 1}}, {{0, 10, 0, 90, 90, 90}}},     // no such object
      {6, 0, {{8, 7}, {10, 1}}, {{0, 10, 0, 90, 90, 90}}},
      {1005, 0, {{11, 2}, {12, 3}}, {{0, 10, 0, 1000, 1000, 1000}}},  // blend state kept
  };
  const std::vector<uint8_t> bytes = ProjectBytes({}, {}, ops);
  QEX_Project project{};
  std::string error;
  ASSERT_TRUE(QEX_ParseProject(project, bytes.data(), bytes.size(), {FakeScene, FakeLayers, FakeStep},
                               error));
  project.scenecount = 1;
  project.scenes = &scene;
  gl.Clear();
  QEX_RenderProject(project, 5);
  EXPECT_EQ(objects[99].visible, 1);
  EXPECT_EQ(objects[99].particledata.particleenabled, 0);
  EXPECT_FLOAT_EQ(_3DV_FaceFraction, 4.0f);
  // Two bolts of one line pair per segment and colour, each ending on the
  // centre of the one face.
  EXPECT_GE(gl.Count("glLineWidth"), 4u * 2u);
  for (size_t k = 0; k < objects.size(); ++k) {
    const _3DV_VECTOR r = objects[k].rotation;
    EXPECT_EQ(r.y, k == 7 ? 90.0f : 0.0f) << k;
    EXPECT_EQ(r.x + r.z, 0.0f) << k;
  }
  EXPECT_EQ(gl.Count("glBlendFunc"), 1u);  // the bolts' only
  project.scenecount = 0;
  project.scenes = nullptr;
  QEX_FreeProjectArrays(project);
  _3DV_FaceFraction = -1;
}

}  // namespace
