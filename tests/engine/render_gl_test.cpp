// The engine's renderers against a real context (Mesa under Xvfb): lit and
// unlit panels read back, the face fraction, vertex colours and the
// environment layer's texture, render targets, picking,
// scene textures shared through the demo's texture slot table, the flare
// read-back, and the stencil of shadow volumes against shadows traced on
// the processor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "../texture/image_test_util.h"
#include "engine/effects/flares.h"
#include "engine/effects/picking.h"
#include "engine/effects/render_targets.h"
#include "engine/effects/shadows.h"
#include "engine/render/engine_state.h"
#include "engine/render/flare_occlusion.h"
#include "engine/render/scene_render.h"
#include "engine/scene/scene_textures.h"
#include "platform/platform.h"
#include "test_scene.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"
#include "support/gl_window.h"

using namespace ember_test;

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// What the scene loader's upload step does for each object.
void Upload(_3DV_SCENE &scene) {
  auto buffer = [](GLenum target, const void *data, size_t bytes) {
    GLuint name = 0;
    dgl::glGenBuffersARB(1, &name);
    dgl::glBindBufferARB(target, name);
    dgl::glBufferDataARB(target, GLsizeiptrARB(bytes), data, GL_STATIC_DRAW_ARB);
    dgl::glBindBufferARB(target, 0);
    return int32_t(name);
  };
  for (int32_t k = 0; k < scene.objectcount; ++k) {
    _3DV_OBJECT &o = scene.objects[k];
    const size_t n = size_t(o.vertexcount);
    o.vertexbuffer = buffer(GL_ARRAY_BUFFER_ARB, o.vertices, n * sizeof(_3DV_VECTOR));
    o.normalbuffer = buffer(GL_ARRAY_BUFFER_ARB, o.normals, n * sizeof(_3DV_VECTOR));
    o.uvbuffer = buffer(GL_ARRAY_BUFFER_ARB, o.uvs, n * sizeof(_3DV_TEXTCOORD));
    o.facebuffer =
        buffer(GL_ELEMENT_ARRAY_BUFFER_ARB, o.faces, size_t(o.facecount) * sizeof(_3DV_FACE));
  }
}

class EngineGl : public LoaderTest {
protected:
  void SetUp() override {
    LoaderTest::SetUp();
    window_ = ember_test::OpenGlWindow(kWidth, kHeight);
    ASSERT_NE(window_, nullptr);
    _3DV_EngineUnitInit();
    _3DV_InitTypeSizes();
    dgl::glViewport(0, 0, kWidth, kHeight);
    _3DV_ClearScreen();
  }
  void TearDown() override {
    _3DV_FreeScene(scene_);
    if (window_) wmDestroyWindow(window_);
    FreeGLU();
    FreeGL();
    glExtFlags = {};
    LoaderTest::TearDown();
  }

  std::vector<uint8_t> Read() {
    std::vector<uint8_t> rgba(size_t(kWidth) * kHeight * 4);
    dgl::glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
  }
  // Red level at the middle of the frame, and pixels with any red.
  int Centre() { return Read()[(size_t(kHeight / 2) * kWidth + kWidth / 2) * 4]; }
  std::vector<uint8_t> CentreRgb() {
    const auto rgba = Read();
    const size_t i = (size_t(kHeight / 2) * kWidth + kWidth / 2) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
  }
  int Covered() {
    int n = 0;
    const auto rgba = Read();
    for (size_t i = 0; i < rgba.size(); i += 4) n += rgba[i] > 0;
    return n;
  }

  wm_window_t *window_ = nullptr;
  _3DV_SCENE scene_{};
};

TEST_F(EngineGl, AnEnabledLightBrightensWhatADisabledOneLeavesDark) {
  scene_ = MakeScene(1);
  Upload(scene_);
  _3DV_MATERIAL &m = scene_.materials[0];
  m.receivelight = 1;
  m.ambient = {0, 0, 0};
  scene_.lights[0].pos = {0, -8, 0};
  scene_.lights[0].diffuse = {1, 1, 1};
  scene_.lights[0].enabled = 1;
  _3DV_RenderSceneClipped(scene_, 0);
  const int lit = Centre();
  EXPECT_GT(lit, 200);
  EXPECT_EQ(dgl::glGetError(), GLenum(GL_NO_ERROR));

  scene_.lights[0].enabled = 0;
  _3DV_ClearScreen();
  _3DV_RenderSceneClipped(scene_, 0);
  EXPECT_LT(Centre(), 10);
  EXPECT_EQ(_3DV_ObjectsDrawn, 2);
  EXPECT_EQ(_3DV_FacesDrawn, 4);
}

TEST_F(EngineGl, HalfTheFacesCoverHalfThePanel) {
  scene_ = MakeScene(1);
  MakePanel(scene_.objects[0], Panel{0, 0, 0, 2, 1, 4}, "wide");  // replaces the default one
  Upload(scene_);
  _3DV_RenderSceneSimple(scene_, 0);
  const int whole = Covered();
  ASSERT_GT(whole, 1000);
  _3DV_ClearScreen();
  _3DV_FaceFraction = 0.5f;
  _3DV_RenderSceneSimple(scene_, 0);
  EXPECT_NEAR(Covered(), whole / 2, whole / 50);
  _3DV_ClearScreen();
  _3DV_FaceFraction = 3;  // more than all: every face, nothing beyond
  _3DV_RenderSceneSimple(scene_, 0);
  EXPECT_EQ(Covered(), whole);
  // The buffer-object renderer draws every face whatever the fraction.
  _3DV_ClearScreen();
  _3DV_FaceFraction = 0.25f;
  _3DV_RenderSceneVBO(scene_, 0);
  EXPECT_EQ(Covered(), whole);
}

// A 1 x 1 texture of one colour, complete without mipmaps.
GLuint SolidTexture(uint8_t r, uint8_t g, uint8_t b) {
  GLuint name = 0;
  dgl::glGenTextures(1, &name);
  dgl::glBindTexture(GL_TEXTURE_2D, name);
  const uint8_t texel[4] = {r, g, b, 255};
  dgl::glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  return name;
}

TEST_F(EngineGl, VertexColoursStayWithTheirObjectAndTheLayerBringsItsOwnTexture) {
  // Two panels side by side: the left one red from its vertex colours, the
  // right one blue from its ambient colour, drawn after it.
  scene_ = MakeScene(2, 2);
  MakePanel(scene_.objects[0], Panel{-1.5f, 0, 0, 1, 1, 1}, "left");
  MakePanel(scene_.objects[1], Panel{1.5f, 0, 0, 1, 1, 1}, "right");
  Upload(scene_);
  _3DV_OBJECT &left = scene_.objects[0];
  left.hascolors = 1;
  left.colors = FileArray<_3DV_RGB>(left.vertexcount);
  std::fill(left.colors, left.colors + left.vertexcount, _3DV_RGB{1, 0, 0});
  scene_.materials[1].ambient = {0, 0, 1};
  _3DV_RenderSceneVBO(scene_, 0);
  auto rgb = [&](int x) {
    const auto rgba = Read();
    const size_t i = (size_t(kHeight / 2) * kWidth + x) * 4;
    return std::vector<int>{rgba[i], rgba[i + 1], rgba[i + 2]};
  };
  const int left_x = kWidth / 2 - 136, right_x = kWidth / 2 + 136;
  EXPECT_EQ(rgb(left_x), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ(rgb(right_x), (std::vector<int>{0, 0, 255}));

  // A red texture under a green environment map added over it: yellow,
  // not the material's red twice.
  _3DV_ClearScreen();
  _3DV_MATERIAL &m = scene_.materials[1];
  m.ambient = {1, 1, 1};
  m.textured = 1;
  m.texid = int32_t(SolidTexture(255, 0, 0));
  m.envmap = 1;
  m.envmaptexid = int32_t(SolidTexture(0, 255, 0));
  m.envcolor = {1, 1, 1};
  m.envalpha = 1;
  _3DV_RenderSceneClipped(scene_, 0);
  EXPECT_EQ(rgb(right_x), (std::vector<int>{255, 255, 0}));
  const GLuint textures[2] = {GLuint(m.texid), GLuint(m.envmaptexid)};
  dgl::glDeleteTextures(2, textures);
  m.textured = m.envmap = 0;
  EXPECT_EQ(dgl::glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(EngineGl, RenderTargetsStartTransparentBlackAndReceiveCopies) {
  _3DV_InitFramebufferTexture();
  _3DV_InitGlowTexture();
  std::vector<uint8_t> texels(size_t(kWidth) * kHeight * 4, 0xAB);
  dgl::glBindTexture(GL_TEXTURE_2D, _3DV_RenderTargets[5]);
  dgl::glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  EXPECT_TRUE(std::all_of(texels.begin(), texels.end(), [](uint8_t b) { return b == 0; }));

  // The copies keep the frame's alpha: the window has eight bits of it.
  dgl::glClearColor(1, 0, 0, 0.5f);
  dgl::glClear(GL_COLOR_BUFFER_BIT);
  _3DV_CopyFramebuffer(0);
  _3DV_CopyGlow();
  dgl::glBindTexture(GL_TEXTURE_2D, _3DV_GlowTexture);
  dgl::glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  EXPECT_EQ(texels[0], 255);
  EXPECT_EQ(texels[1], 0);
  EXPECT_NEAR(texels[3], 128, 1);
  GLint side = 0;
  dgl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &side);
  EXPECT_EQ(side, _3DV_GlowSize);
  dgl::glBindTexture(GL_TEXTURE_2D, _3DV_RenderTargets[0]);
  dgl::glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  const size_t last = texels.size() - 4;
  EXPECT_EQ(texels[last], 255);
  EXPECT_NEAR(texels[last + 3], 128, 1);
  EXPECT_EQ(dgl::glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(EngineGl, PickingFindsTheNearerObjectWhateverItsPass) {
  scene_ = MakeScene(2);
  MakePanel(scene_.objects[0], Panel{0, -2, 0, 1, 1, 1}, "near");
  MakePanel(scene_.objects[1], Panel{0, 2, 0, 2, 2, 1}, "far");
  scene_.passcount = 1;
  Upload(scene_);
  // The window's middle row, counted the way the pick flips it.
  _3DV_PickX = kWidth / 2;
  _3DV_PickY = 479 - kHeight / 2;
  // The nearer panel drawn first, then drawn last: the depth decides, not
  // the order of the hits.
  scene_.objects[1].passno = 1;
  EXPECT_EQ(_3DV_PickScene(scene_, 0), 1);
  scene_.objects[1].passno = 0;
  scene_.objects[0].passno = 1;
  EXPECT_EQ(_3DV_PickScene(scene_, 0), 1);
  scene_.objects[0].visible = 0;
  EXPECT_EQ(_3DV_PickScene(scene_, 0), 2);
  _3DV_PickX = 5;
  EXPECT_EQ(_3DV_PickScene(scene_, 0), 0);
  EXPECT_EQ(Covered(), 0);  // nothing reached the colour buffer
  EXPECT_EQ(dgl::glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(EngineGl, SceneTexturesShareSlotsAndGiveThemBack) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  std::filesystem::create_directory(dir.path() / "textures");
  TgaSpec spec;
  spec.width = spec.height = 4;
  spec.bits = 32;
  spec.pixels = Ramp(16, 4);
  WriteBytes(dir.path() / "textures" / "stone.tga", MakeTga(spec));
  spec.bits = 24;
  spec.pixels = Ramp(16, 3);
  WriteBytes(dir.path() / "textures" / "sky.tga", MakeTga(spec));
  txSetParam(3, TX_RED_FIRST);
  txTexReset();
  _3DV_InitFramebufferTexture();

  scene_ = MakeScene(2, 4);
  for (int m = 0; m < 2; ++m) {
    scene_.materials[m].textured = 1;
    scene_.materials[m].texturename.assign("stone.tga");
    scene_.materials[m].magtype = 1;
  }
  scene_.materials[2].envmap = 1;  // untextured, still gets its map
  scene_.materials[2].envmaptexture.assign("sky.tga");
  scene_.materials[3].textured = 1;
  scene_.materials[3].texturename.assign("$framebuffer$.jpg");
  scene_.materials[3].bpp = 24;
  scene_.objects[0].particledata.particleenabled = 1;  // no texture named: none taken
  for (int i = 0; i < 4; ++i) scene_.materials[i].bpp = 24;

  _3DV_LoadSceneTextures(scene_, "textures");
  EXPECT_EQ(scene_.materials[0].texid, scene_.materials[1].texid);
  EXPECT_EQ(scene_.materials[0].bpp, 32);
  EXPECT_NE(scene_.materials[2].envmaptexid, 0);
  EXPECT_EQ(scene_.materials[3].texid, int32_t(_3DV_RenderTargets[0]));
  EXPECT_EQ(scene_.materials[3].bpp, 24);
  EXPECT_EQ(scene_.objects[0].particledata.particletexid, 0);
  int live = 0, references = 0;
  for (const txNode &n : txNodes) {
    live += !n.free;
    references += n.free ? 0 : n.references;
  }
  EXPECT_EQ(live, 2);
  EXPECT_EQ(references, 3);

  _3DV_FreeSceneTextures(scene_);
  EXPECT_TRUE(
      std::all_of(std::begin(txNodes), std::end(txNodes), [](const txNode &n) { return n.free; }));
  EXPECT_EQ(dgl::glIsTexture(GLuint(scene_.materials[0].texid)), GL_FALSE);
  EXPECT_EQ(dgl::glIsTexture(_3DV_RenderTargets[0]), GL_TRUE);
  txTexFreeAll();
}

TEST_F(EngineGl, FlareReadsTheAmbientColourUncoveredAndBlackCoveredOrBehindTheCamera) {
  scene_ = MakeScene(2, 2);
  // Slightly above the flare, so the billboard basis exists; the flare at
  // the origin stays at the centre of the picture.
  scene_.camerapositions[0] = {0, 0, -8, 1};
  _3DV_OBJECT &flare = scene_.objects[0];
  _3DV_OBJECT &occluder = scene_.objects[1];
  scene_.materials[0].flaresize = 1;
  scene_.materials[0].ambient = {1, 0.5f, 0.25f};
  occluder.positionkeycount = 1;
  occluder.positionkeys = FileArray<_3DV_KEYVECTOR>(1);
  occluder.positionkeys[0] = {0, 0, -2, 0};  // between the camera and the flare
  occluder.visible = 0;

  _3DV_RenderSceneOcclusion(scene_, 0);
  EXPECT_FALSE(flare.visible);
  EXPECT_EQ(flare.flarecolor.r, 1.0f);
  EXPECT_EQ(flare.flarecolor.g, 128 / 255.0f);
  EXPECT_EQ(flare.flarecolor.b, 64 / 255.0f);
  _3DV_ClearScreen();
  _3DV_RenderFlares(scene_, 0);
  EXPECT_EQ(CentreRgb(), (std::vector<uint8_t>{255, 128, 64}));

  occluder.visible = 1;
  _3DV_ClearScreen();
  _3DV_RenderSceneOcclusion(scene_, 0);
  EXPECT_EQ(flare.flarecolor.r, 0.0f);
  EXPECT_EQ(flare.flarecolor.g, 0.0f);
  _3DV_ClearScreen();
  _3DV_RenderFlares(scene_, 0);
  EXPECT_EQ(CentreRgb(), (std::vector<uint8_t>{0, 0, 0}));

  // Behind the eye the raster position is invalid: black, not whatever
  // memory the read would have left.
  occluder.visible = 0;
  flare.pivot = {0, -20, 0};
  dgl::glClearColor(1, 1, 1, 1);
  _3DV_ClearScreen();
  _3DV_RenderSceneOcclusion(scene_, 0);
  EXPECT_EQ(flare.flarecolor.r, 0.0f);
  dgl::glClearColor(0, 0, 0, 0);
  EXPECT_EQ(dgl::glGetError(), GLenum(GL_NO_ERROR));
}

// Whether the segment from p to the light passes through the cube [-1, 1]^3.
bool CubeBetween(const double p[3], const double light[3]) {
  double enter = 0, leave = 1;
  for (int a = 0; a < 3; ++a) {
    const double d = light[a] - p[a];
    if (std::abs(d) < 1e-12) {
      if (p[a] < -1 || p[a] > 1) return false;
      continue;
    }
    double t0 = (-1 - p[a]) / d, t1 = (1 - p[a]) / d;
    if (t0 > t1) std::swap(t0, t1);
    enter = std::max(enter, t0);
    leave = std::min(leave, t1);
  }
  return enter < leave;
}

TEST_F(EngineGl, StencilCountsOneOnTheFloorInTheCubesShadowAndZeroOutside) {
  GLint bits = 0;
  dgl::glGetIntegerv(GL_STENCIL_BITS, &bits);
  ASSERT_GE(bits, 8);
  std::string error;
  Mesh floor = Square(10, -2);
  floor.castshadow = false;
  scene_ = ReadMeshes({floor, Cube()}, error);
  ASSERT_EQ(scene_.objectcount, 2) << error;
  _3DV_UploadScene(scene_);
  scene_.camerapositions[0] = {0, 0, -8, 6};
  scene_.cameratargets[0] = {0, 0, 0, -2};
  const double light[3] = {0, 0, 10};

  _3DV_RenderSceneVBO(scene_, 0);
  GLdouble model[16], projection[16];
  GLint viewport[4];
  dgl::glGetDoublev(GL_MODELVIEW_MATRIX, model);
  dgl::glGetDoublev(GL_PROJECTION_MATRIX, projection);
  dgl::glGetIntegerv(GL_VIEWPORT, viewport);
  _3DV_RenderShadowVolumes(scene_, {0, 0, 10}, 0);
  EXPECT_EQ(dgl::glGetError(), GLenum(GL_NO_ERROR));

  std::vector<float> depth(size_t(kWidth) * kHeight);
  std::vector<uint8_t> stencil(depth.size());
  dgl::glReadPixels(0, 0, kWidth, kHeight, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
  dgl::glReadPixels(0, 0, kWidth, kHeight, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, stencil.data());
  int shadowed = 0, lit = 0, wrong = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const size_t i = size_t(y) * kWidth + x;
      double p[3];
      if (depth[i] >= 1.0f) continue;
      dgl::gluUnProject(x + 0.5, y + 0.5, depth[i], model, projection, viewport, &p[0], &p[1],
                        &p[2]);
      if (std::abs(p[2] + 2) > 0.01) continue;  // the cube, not the floor
      const bool in_shadow = CubeBetween(p, light);
      (in_shadow ? shadowed : lit) += 1;
      wrong += stencil[i] != (in_shadow ? 1 : 0);
    }
  }
  EXPECT_GT(shadowed, 2000);
  EXPECT_GT(lit, 20000);
  // Only pixels on the shadow's border may disagree.
  EXPECT_LT(wrong, shadowed / 20) << shadowed << " shadowed, " << lit << " lit";
}

}  // namespace
