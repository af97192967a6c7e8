// The demo started in this process under a virtual display, with the
// staged data pack: everything it loads behind the loading bar, and frames
// drawn at chosen demo times and read back before the swap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "demo/debug_font.h"
#include "demo/frame_loop.h"
#include "demo/modules.h"
#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo/shell.h"
#include "effects/ife.h"
#include "framework/sys.h"
#include "support/test_support.h"
#include "texture/loader.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace {

std::vector<uint8_t> ReadWhole(const char *name) {
  SYS_File_p f = SYS_FileOpen(name, SYS_FILE_READ);
  if (!f) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(SYS_FileSize(name)));
  SYS_FileRead(f, bytes.data(), static_cast<int32_t>(bytes.size()));
  SYS_FileClose(f);
  return bytes;
}

void Nothing() {}

class DemoStarted : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    static char program[] = "demo_gl_tests";
    static char skipDialog[] = "-default";
    static char *argv[] = {program, skipDialog, nullptr};
    InitialiseModules(2, argv);
    SYS_CallInitProcs();
    const std::string pack = (ember_test::BinaryDir() / "stage" / "emberfield.dat").string();
    ASSERT_EQ(SYS_FilePackOpen(pack.c_str()), 0) << pack;
    StartVideo("vantor - emberfield", DemoWidth, DemoHeight, DemoFullScreen);
    LoadDemoResources();
    ResetFrameState();
  }

  void SetUp() override {
    std::memcpy(saved_, DemoTimeline, sizeof saved_);
    DemoDebug = 0;
    cfg_settings.last_key = 0;
  }
  void TearDown() override { std::memcpy(DemoTimeline, saved_, sizeof saved_); }

  static void NoScenes() {
    for (TTimelineScene &scene : DemoTimeline) scene.draw = Nothing;
  }

  // RGB of the back buffer, rows bottom-up.
  static std::vector<uint8_t> ReadFrame() {
    std::vector<uint8_t> pixels(800 * 600 * 3);
    dgl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
    dgl::glReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
  }
  // Red of the pixel x, y counted from the top left.
  static int Red(const std::vector<uint8_t> &frame, int x, int y) {
    return frame[((599 - y) * 800 + x) * 3];
  }

  TTimelineScene saved_[SCENE_COUNT];
};

TEST_F(DemoStarted, EverythingLoadsBehind109LoadingBarFrames) {
  EXPECT_EQ(LoadingSteps, 109);
  EXPECT_EQ(DemoWidth, 800);
  EXPECT_EQ(DemoHeight, 600);
  EXPECT_NE(DebugFontTexture, 0);
  EXPECT_NE(WorkTexture, 0);
  EXPECT_EQ(ife_BufferTable[0], WorkTexture);
  for (int32_t id : {TexEnvMap, TexHatter, TexFlare, TexDemos, TexVtrLogo, TexBpLogoBig,
                     TexEmberfld, TexMonster, TexVirag[9], TexText[4], TexLine[6],
                     TexLevel[TEX_LEVEL_CREDITS]})
    EXPECT_GT(id, 0);
  std::set<int32_t> noise(NoiseTextures, NoiseTextures + NOISE_TEXTURES);
  EXPECT_EQ(noise.size(), static_cast<size_t>(NOISE_TEXTURES));
  EXPECT_EQ(noise.count(0), 0u);
  EXPECT_GT(IfeLoadBar.layercount, 0);
  EXPECT_GT(IfeHBlur2.layercount, 0);
  EXPECT_EQ(MusicSyncCount, 4232);
}

TEST_F(DemoStarted, MeshCountsComeFromTheirFilesAndTheDeckIsCentred) {
  struct Expect {
    const TMeshRecord *mesh;
    const char *faces, *vertices;
  } meshes[] = {{&MeshCoin, "0000_coin.face", "0000_coin.vertex"},
                {&MeshDeckf, "0000_Deckf.face", "0000_Deckf.vertex"},
                {&MeshTft, "0002_tft.face", "0002_tft.vertex"},
                {&MeshAlap, "0001_alap.face", "0001_alap.vertex"},
                {&MeshCsap, "0000_csap.face", "0000_csap.vertex"}};
  for (const Expect &e : meshes) {
    EXPECT_EQ(e.mesh->faceCount, SYS_FileSize(e.faces) / 12) << e.faces;
    EXPECT_EQ(e.mesh->vertexCount, SYS_FileSize(e.vertices) / 12) << e.vertices;
  }
  float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
  for (int i = 0; i < MeshDeckf.vertexCount; ++i)
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], MeshDeckf.vertices[3 * i + a]);
      hi[a] = std::max(hi[a], MeshDeckf.vertices[3 * i + a]);
    }
  for (int a = 0; a < 3; ++a) EXPECT_NEAR((lo[a] + hi[a]) / 2, 0.0f, 1e-4f) << a;
}

TEST_F(DemoStarted, TheTextureCoordinatesOfTftRunUpwards) {
  const std::vector<uint8_t> file = ReadWhole("0002_tft.uvw");
  ASSERT_EQ(file.size() % 12, 0u);
  for (size_t i = 0; i < file.size() / 12; ++i) {
    float u, v, w;
    std::memcpy(&u, &file[12 * i], 4);
    std::memcpy(&v, &file[12 * i + 4], 4);
    std::memcpy(&w, &file[12 * i + 8], 4);
    EXPECT_EQ(MeshTft.third[3 * i], u);
    EXPECT_EQ(MeshTft.third[3 * i + 1], 1.0f - v);
    EXPECT_EQ(MeshTft.third[3 * i + 2], w);
  }
}

TEST_F(DemoStarted, TheFieldPathsUseEveryLitPixelOfTheShippedImageOnce) {
  std::set<std::pair<int, int>> lit;
  for (int p = 0; p < EMBERFIELD_RAW_BYTES; ++p)
    if (EmberfieldRaw.data[p]) lit.insert({p % 196, p / 196});
  ASSERT_EQ(lit.size(), static_cast<size_t>(FIELD_POINTS_MAX));
  std::multiset<std::pair<int, int>> used;
  for (const TSplinePath &path : FieldPaths)
    for (int i = 0; i < path.count; ++i)
      used.insert({static_cast<int>(std::floor(path.points[i].x)),
                   33 - static_cast<int>(std::floor(path.points[i].y))});
  EXPECT_EQ(used.size(), lit.size());
  const std::set<std::pair<int, int>> distinct(used.begin(), used.end());
  EXPECT_EQ(distinct, lit);
}

TEST_F(DemoStarted, TheOverlayDrawsTheDemoTimeInTheDebugFont) {
  NoScenes();
  DemoDebug = 1;
  DemoDrawFrame(0);  // status line "0 FPS : [...": "0" in column 1 of row 1
  const std::vector<uint8_t> frame = ReadFrame();
  // Glyph "0" (code 48): font rows 6-11, pixels 0-3; drawn 4 x 6 pixels
  // from pixel (4, 6) of the window.
  for (int row = 0; row < 6; ++row)
    for (int x = 0; x < 4; ++x) {
      const int expected = FontPixel(8 * (6 + row), x);
      EXPECT_EQ(Red(frame, 4 + x, 6 + row), expected) << "glyph pixel " << x << "," << row;
    }
  EXPECT_EQ(Red(frame, 400, 300), 0);
}

TEST_F(DemoStarted, WithoutTheDebugFlagNothingIsDrawnOverTheScene) {
  NoScenes();
  DemoDrawFrame(1234);
  const std::vector<uint8_t> frame = ReadFrame();
  EXPECT_EQ(*std::max_element(frame.begin(), frame.end()), 0);
}

TEST_F(DemoStarted, EveryScenesFirstAndLastFrameDraws) {
  for (const TTimelineScene &scene : saved_) {
    DemoDrawFrame(std::max(scene.from, 0));
    DemoDrawFrame(scene.to - 1);
  }
  DemoDrawFrame(DEMO_END_TIME);
  EXPECT_EQ(dgl::glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
