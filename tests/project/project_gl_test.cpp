// The staged sample projects against Mesa under Xvfb: they load from their
// folder and play from the start without a GL error, the cache shares the
// room's arrays between its two slots, and projectplay writes the same
// frames in two fresh processes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../texture/image_test_util.h"
#include "project_file.h"
#include "effects/ife.h"
#include "engine/anim/anim.h"
#include "engine/effects/render_targets.h"
#include "engine/project/project.h"
#include "engine/render/engine_state.h"
#include "engine/scene/scene_file.h"
#include "engine/scene/scene_reader.h"
#include "engine/scene/scene_textures.h"
#include "framework/random.h"
#include "platform/platform.h"
#include "support/gl_window.h"
#include "support/test_support.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"

using namespace ember_test;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

fs::path SampleDir() { return BinaryDir() / "stage" / "engine-sample"; }

class ProjectGl : public LoaderTest {
protected:
  // A project loaded for the test. Loaded projects live until the process
  // ends, as in play (their scenes are shared through the scene cache), so
  // they are kept where the leak check at exit still finds them.
  static QEX_Project &Load(const char *name) {
    static auto *loaded = new std::deque<QEX_Project>;  // never destroyed
    QEX_Project &project = loaded->emplace_back();
    QEX_LoadProject(project, name);
    return project;
  }

  void SetUp() override {
    LoaderTest::SetUp();
    window_ = OpenGlWindow(kWidth, kHeight);
    ASSERT_NE(window_, nullptr);
    _3DV_AnimUnitInit();
    _3DV_EngineUnitInit();
    _3DV_InitTypeSizes();
    _3DV_LoaderUnitInit();
    // Mesa's software sampler can stall on anisotropic filtering at
    // grazing angles.
    _3DV_Anisotropic = 0;
    txSetParam(3, TX_RED_FIRST);
    txTexReset();
    RandSeed(1);
    _3DV_InitFramebufferTexture();
    _3DV_InitGlowTexture();
    QEX_Init(kWidth, kHeight);
    saved_ = fs::current_path();
    fs::current_path(SampleDir());
  }
  void TearDown() override {
    fs::current_path(saved_);
    txTexFreeAll();
    if (window_) wmDestroyWindow(window_);
    FreeGLU();
    FreeGL();
    glExtFlags = {};
    LoaderTest::TearDown();
  }

  // Plays from 0 to the end in steps; the GL error state at 25 times.
  void Play(const QEX_Project &project, int32_t end, int32_t step) {
    int checks = 0;
    for (int32_t ms = 0; ms <= end; ms += step) {
      dgl::glViewport(0, 0, kWidth, kHeight);
      QEX_RenderProject(project, float(ms));
      if (ms % (end / 25) < step && checks < 25) {
        ++checks;
        ASSERT_EQ(dgl::glGetError(), GLenum(GL_NO_ERROR)) << "at " << ms << " ms";
      }
      wmSwapBuffers(window_);
    }
    EXPECT_EQ(checks, 25);
  }

  // The frame at t (ms) of a project played from 0 in 120 ms steps, read
  // back before the swap: mean brightness of a rectangle (GL rows, 0 at
  // the bottom), 0..255.
  double MeanAt(const QEX_Project &project, int32_t t, int x0, int y0, int x1, int y1) {
    for (int32_t ms = 0; ms < t; ms += 120) {
      dgl::glViewport(0, 0, kWidth, kHeight);
      QEX_RenderProject(project, float(ms));
      wmSwapBuffers(window_);
    }
    dgl::glViewport(0, 0, kWidth, kHeight);
    QEX_RenderProject(project, float(t));
    std::vector<uint8_t> rgb(size_t(x1 - x0) * size_t(y1 - y0) * 3);
    dgl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
    dgl::glReadPixels(x0, y0, x1 - x0, y1 - y0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    wmSwapBuffers(window_);
    double sum = 0;
    for (uint8_t v : rgb) sum += v;
    return sum / double(rgb.size());
  }

  wm_window_t *window_ = nullptr;
  fs::path saved_;
};

TEST_F(ProjectGl, BothSampleProjectsPlayWithoutAGlError) {
  QEX_Project &sample = Load("sample.qep");
  ASSERT_EQ(sample.scenecount, 4);
  ASSERT_EQ(sample.layercount, 3);
  // The room through two paths is one scene: the second slot shares the
  // first slot's arrays.
  EXPECT_EQ(sample.scenes[1].objects, sample.scenes[2].objects);
  EXPECT_NE(sample.scenes[0].objects, sample.scenes[3].objects);
  Play(sample, 30000, 120);
  // The shader project's room comes from the cache as well.
  QEX_Project &shader = Load("shader.qep");
  EXPECT_EQ(shader.scenes[0].objects, sample.scenes[1].objects);
  Play(shader, 9000, 40);
}

// At 16.5 s the hall is drawn with the shadows of light 0: the chrome
// ball's shadow on the floor is darker than the lit floor beside it.
TEST_F(ProjectGl, TheShadowedFloorIsDarkerThanTheLitFloor) {
  const double shadow = MeanAt(Load("sample.qep"), 16500, 340, 180, 400, 200);
  RandSeed(1);
  const double lit = MeanAt(Load("sample.qep"), 16500, 440, 100, 480, 150);
  EXPECT_LT(shadow, 0.7 * lit) << "shadow " << shadow << ", lit " << lit;
}

// At 15.5 s one stud emits: its plume brightens the frame above it, and
// without the particle step of the scene operators it is gone.
TEST_F(ProjectGl, ParticlesBrightenTheEmittersArea) {
  const double with = MeanAt(Load("sample.qep"), 15500, 730, 240, 790, 380);
  RandSeed(1);
  QEX_Project &bare = Load("sample.qep");
  for (int32_t i = 0; i < bare.operatorcount; ++i)
    if (bare.operators[i].type == 1001) bare.operators[i].param[9 - 8] = 0;  // b9: particle step
  const double without = MeanAt(bare, 15500, 730, 240, 790, 380);
  EXPECT_GT(with, without + 8) << "with " << with << ", without " << without;
}

// Loaded and freed again and again, a project's layer effects and a
// scene's textures hand back every slot they took, even after the player
// has switched the emitters off and when a scene's textures were loaded
// twice.
TEST_F(ProjectGl, FreedLayerEffectsAndSceneTexturesKeepNoSlot) {
  auto live = [] {
    int n = 0;
    for (const txNode &slot : txNodes) n += !slot.free;
    return n;
  };
  const int before = live();
  const std::vector<uint8_t> bytes = ProjectBytes({}, {"title.ife", "glow.ife", "ring.ife"}, {});
  for (int round = 0; round < 3; ++round) {
    QEX_Project project{};
    std::string error;
    ASSERT_TRUE(QEX_ParseProject(project, bytes.data(), bytes.size(), QEX_DefaultLoaders(), error)) << error;
    QEX_FreeProjectArrays(project);
    EXPECT_EQ(live(), before) << "round " << round;
  }

  // Each load takes its own references and each free gives one back; the
  // names stay, the particle textures' as the materials'.
  _3DV_SCENE hall{};
  _3DV_LoadScene(hall, "data/hall.scn");
  _3DV_LoadSceneTextures(hall, "textures");
  _3DV_LoadSceneTextures(hall, "textures");
  auto names = [&hall] {
    std::vector<_3DV_GLNAME> out;
    for (int32_t i = 0; i < hall.objectcount; ++i) out.push_back(hall.objects[i].particledata.particletexid);
    return out;
  };
  const std::vector<_3DV_GLNAME> loaded = names();
  ASSERT_GT(std::count_if(loaded.begin(), loaded.end(), [](_3DV_GLNAME n) { return n != 0; }), 0);
  for (int32_t i = 0; i < hall.objectcount; ++i) hall.objects[i].particledata.particleenabled = 0;
  _3DV_FreeSceneTextures(hall);
  EXPECT_GT(live(), before);
  _3DV_FreeSceneTextures(hall);
  EXPECT_EQ(live(), before);
  EXPECT_EQ(names(), loaded);
  _3DV_FreeScene(hall);
}

// The player switches emitters between a scene's texture loads and
// frees. Another user holds each particle texture throughout: a load with
// the emitters on takes a reference for each emitter, a free gives back
// one that a load took and no free gave back yet, and nothing else, so the
// other user's never falls below 1 and is exactly 1 at the end.
TEST_F(ProjectGl, SwitchingEmittersBetweenLoadsAndFreesLeavesOtherUsersTheirParticleTextures) {
  _3DV_SCENE hall{};
  _3DV_LoadScene(hall, "data/hall.scn");
  std::vector<_3DV_BOOLEAN> enabled;
  std::map<std::string, int32_t> emitting;  // emitters of each texture
  for (int32_t i = 0; i < hall.objectcount; ++i) {
    const _3DV_PARTICLEDATA &p = hall.objects[i].particledata;
    enabled.push_back(p.particleenabled);
    if (p.particleenabled && p.particletexture.length > 0)
      ++emitting["textures/" + std::string(p.particletexture.view())];
  }
  ASSERT_FALSE(emitting.empty());
  auto references = [](int32_t id) {
    for (const txNode &slot : txNodes)
      if (!slot.free && slot.uploaded && slot.id == id) return slot.references;
    return 0;
  };
  auto emitters = [&](bool on) {
    for (int32_t i = 0; i < hall.objectcount; ++i) hall.objects[i].particledata.particleenabled = on && enabled[i];
  };
  // Load, Free, emitters Off and oN; the loads left unfreed after each.
  const std::pair<std::string_view, std::string_view> runs[] = {
      {"LFOLF", "10000"}, {"LOLFF", "11100"}, {"LFOLNF", "100000"}, {"LLOFF", "12210"}};
  for (const auto &[steps, left] : runs) {
    std::map<std::string, int32_t> held;
    for (const auto &[name, count] : emitting) held[name] = txTexLoad(name, 3);
    for (size_t at = 0; at < steps.size(); ++at) {
      const char step = steps[at];
      if (step == 'L') _3DV_LoadSceneTextures(hall, "textures");
      if (step == 'F') _3DV_FreeSceneTextures(hall);
      if (step == 'O' || step == 'N') emitters(step == 'N');
      for (const auto &[name, id] : held)
        EXPECT_EQ(references(id), 1 + emitting[name] * (left[at] - '0')) << steps << " at " << at << " " << name;
    }
    for (const auto &[name, id] : held) txTexRelease(id);
    emitters(true);
  }
  _3DV_FreeScene(hall);
}

// The second process reads the hall through a pipe, as "cat hall.scn |"
// feeds it: a scene read as a stream is the scene of the file.
TEST(ProjectPlay, TwoFreshProcessesWriteTheSameFrames) {
  const fs::path tool = BinaryDir() / "tools" / "projectplay" / "projectplay";
  ASSERT_TRUE(fs::exists(tool));
  const fs::path out = fs::path(::testing::TempDir()) / ("projectplay-" + std::to_string(getpid()));
  const fs::path piped = out / "piped";
  fs::create_directories(out);
  fs::copy(SampleDir(), piped, fs::copy_options::recursive);
  fs::remove(piped / "data" / "hall.scn");
  fs::create_symlink("/dev/stdin", piped / "data" / "hall.scn");
  std::vector<std::vector<unsigned char>> frames[2];
  for (int run = 0; run < 2; ++run) {
    const fs::path dir = out / std::to_string(run);
    const std::string play = "'" + tool.string() + "' '" +
                             ((run ? piped : SampleDir()) / "sample.qep").string() + "' '" +
                             dir.string() + "' 3000 9020 18000";
    const std::string feed = run ? "cat '" + (SampleDir() / "data" / "hall.scn").string() + "' | " : "";
    const RunResult r = ember_test::Run({"/bin/sh", "-c", feed + play});
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char *t : {"3000", "9020", "18000"})
      frames[run].push_back(ReadBytes(dir / (std::string("frame-") + t + ".png")));
  }
  for (size_t i = 0; i < frames[0].size(); ++i) {
    EXPECT_GT(frames[0][i].size(), 10000u) << i;  // a picture, not a blank
    EXPECT_TRUE(frames[0][i] == frames[1][i]) << i;
  }
  fs::remove_all(out);
}

// A scene file written chunk by chunk, whatever its counts say.
struct SceneChunks {
  std::string bytes;
  template <typename T>
  SceneChunks &Put(uint8_t type, uint8_t id, T value, int32_t index = 0) {
    const int32_t head[4] = {1, int32_t(sizeof value), 0, index};  // count, size, packed, index
    bytes += {'Z', '!', char(type), char(id)};
    bytes.append(reinterpret_cast<const char *>(head), sizeof head);
    bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
    return *this;
  }
};

// A version 1.2 scene of one material and one object, its header chunks.
SceneChunks OneObjectScene() {
  SceneChunks s;
  s.Put(1, 1, uint8_t{1}).Put(1, 2, uint8_t{2}).Put(3, 5, int32_t{1}).Put(3, 6, int32_t{1});
  return s;
}

// A project of the scene files in dir/data, rendering the first from 0
// to 1 s.
void WriteProject(const fs::path &file, const std::vector<std::string> &scenes) {
  fs::create_directories(file.parent_path() / "data");
  fs::create_directories(file.parent_path() / "textures");
  TestOperator render;
  render.type = 1001;
  render.keys = {{0, 1000, 0, 0, 0, 0}};
  const std::vector<uint8_t> bytes = ProjectBytes(scenes, {}, {render});
  WriteFile(file, std::string(bytes.begin(), bytes.end()));
}

#if defined(__SANITIZE_ADDRESS__)
#define EMBER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define EMBER_ASAN 1
#endif
#endif

// projectplay writing frame 0 of the project into out; standard error
// only. A minute without an end counts as a hang. The run's memory is
// held to about 4 GB, so that what would fill the machine fails instead
// (the sanitizer reserves more address space than that, so there an
// allocation above 1 GB fails instead).
RunResult PlayFrameZero(const fs::path &project, const fs::path &out) {
  const fs::path tool = BinaryDir() / "tools" / "projectplay" / "projectplay";
#ifdef EMBER_ASAN
  const std::string cap =
      "ASAN_OPTIONS=$ASAN_OPTIONS:max_allocation_size_mb=1024:allocator_may_return_null=1 ";
#else
  const std::string cap = "ulimit -v 4000000; ";
#endif
  return Run({"/bin/sh", "-c",
              cap + "timeout -k 5 60 '" + tool.string() + "' '" + project.string() + "' '" +
                  out.string() + "' 0 2>&1 >/dev/null"});
}

// Bad input ends the tool with a message on standard error: 2 for times
// it cannot play (a huge one is not an allocation failure), 1 for a
// project that is not there or names files that are not there.
TEST(ProjectPlay, BadInputIsSaidOnStandardError) {
  const fs::path tool = BinaryDir() / "tools" / "projectplay" / "projectplay";
  const std::string sample = (SampleDir() / "sample.qep").string();
  const fs::path out = fs::path(::testing::TempDir()) / ("projectplay-bad-" + std::to_string(getpid()));
  fs::create_directories(out / "lone");
  fs::copy_file(SampleDir() / "sample.qep", out / "lone" / "sample.qep");
  fs::copy_file(SampleDir() / "sample.qep", out / "cut.qep");
  fs::resize_file(out / "cut.qep", 300);  // ends inside the scene names
  const struct {
    std::vector<std::string> words;
    int status;
    const char *says;
  } cases[] = {
      {{sample, out.string(), "99999999999999999999"}, 2, "is not a time"},
      {{sample, out.string(), "16777217"}, 2, "is not a time"},
      {{sample, out.string(), "-40"}, 2, "is not a time"},
      {{sample, out.string(), "nan"}, 2, "is not a time"},
      {{sample, out.string(), ""}, 2, "is not a time"},
      {{(out / "missing.qep").string(), out.string(), "0"}, 1, "no project file"},
      {{out.string()}, 1, "no project file"},
      {{(out / "lone" / "sample.qep").string(), out.string(), "0"}, 1, "data/hall.scn, which is not there"},
      {{(out / "cut.qep").string(), out.string(), "0"}, 1, "is not a whole project"},
      {{sample, (out / "lone" / "sample.qep" / "frames").string(), "0"}, 1, "cannot make the folder"},
  };
  for (const auto &c : cases) {
    std::string line = "'" + tool.string() + "'";
    for (const std::string &w : c.words) line += " '" + w + "'";
    // Standard error alone.
    const RunResult r = ember_test::Run({"/bin/sh", "-c", line + " 2>&1 >/dev/null"});
    EXPECT_EQ(r.status, c.status) << line << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << line << "\n" << r.output;
  }
  EXPECT_FALSE(fs::exists(out / "frame-0.png"));

  // Files the project names that are there but cannot be played, a
  // project of 5 GB (sparse) and one that claims as many bytes of
  // operators and holds none of them, and a scene of 1.5 GB, its holes in
  // a chunk the scene does not keep: writing frames, each either plays or
  // ends the tool with its reason on standard error, with no message box
  // to wait for and no signal.
  auto copySample = [&](const std::string &name) {
    fs::copy(SampleDir(), out / name, fs::copy_options::recursive);
    return out / name;
  };
  const fs::path cut = copySample("cut") / "data" / "hall.scn";
  fs::resize_file(cut, fs::file_size(cut) / 2);
  fs::resize_file(copySample("blank") / "data" / "title.ife", 0);
  WriteProject(out / "empty" / "t.qep", {"t.scn"});
  SceneChunks textured = OneObjectScene();
  textured.Put(13, 25, uint8_t{1});  // material 0 textured, its texture named ""
  WriteFile(out / "empty" / "data" / "t.scn", textured.bytes);
  WriteProject(out / "huge" / "t.qep", {});
  fs::resize_file(out / "huge" / "t.qep", uintmax_t(5) << 30);
  std::vector<uint8_t> filled = ProjectBytes({}, {}, {});
  const int32_t operators = int32_t((uintmax_t(5) << 30) / QEX_OPERATOR_SIZE);
  std::memcpy(&filled[280], &operators, 4);
  fs::create_directories(out / "filled");
  WriteFile(out / "filled" / "t.qep", std::string(filled.begin(), filled.end()));
  WriteProject(out / "big" / "t.qep", {"t.scn"});
  const int32_t holes = int32_t(3) << 29;
  std::string dropped = {'Z', '!', 1, 85};  // id 85 has no field
  for (int32_t v : {holes, holes, 0, 0}) dropped.append(reinterpret_cast<const char *>(&v), 4);
  WriteFile(out / "big" / "data" / "t.scn", dropped);
  fs::resize_file(out / "big" / "data" / "t.scn", 20 + uintmax_t(holes));
  {
    std::ofstream tail(out / "big" / "data" / "t.scn", std::ios::binary | std::ios::app);
    tail << OneObjectScene().bytes;
  }
  const struct {
    fs::path project;
    int status;
    const char *says;
  } broken[] = {
      {out / "cut" / "sample.qep", 1, "data/hall.scn is damaged"},
      {out / "blank" / "sample.qep", 1, "data/title.ife, line 1"},
      {out / "empty" / "t.qep", 1, "File not found: textures/."},
      {out / "huge" / "t.qep", 0, ""},  // bytes past its records are never read
      {out / "filled" / "t.qep", 1, "the file ends inside the operator records"},
      {out / "big" / "t.qep", 0, ""},
  };
  for (const auto &c : broken) {
    const RunResult r = PlayFrameZero(c.project, out / "frames");
    EXPECT_EQ(r.status, c.status) << c.project << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.project << "\n" << r.output;
  }
  fs::remove_all(out);
}

// An object with no faces that counts 2^31 - 1 vertices with normals and
// texture coordinates, none of which it carries, plays without asking
// the driver for memory no file backs.
TEST(ProjectPlay, AFacelessObjectCountingVerticesItDoesNotCarryPlays) {
  TempDir dir;
  SceneChunks scene = OneObjectScene();
  scene.Put(3, 34, int32_t{INT32_MAX}).Put(3, 35, int32_t{0});
  for (uint8_t id : {42, 44, 45}) scene.Put(13, id, uint8_t{1});  // uvs, normals, visible
  WriteProject(dir.path() / "lone.qep", {"lone.scn"});
  WriteFile(dir.path() / "data" / "lone.scn", scene.bytes);
  const RunResult r = PlayFrameZero(dir.path() / "lone.qep", dir.path() / "frames");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.find("GL error"), std::string::npos) << r.output;
}

}  // namespace
