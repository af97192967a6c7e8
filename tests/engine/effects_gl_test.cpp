// Flares and shadow volumes against a real context (Mesa under Xvfb): the
// flare read-back and the flare it colours, and the stencil left by the
// shadow volumes compared with shadows traced on the processor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "../texture/image_test_util.h"
#include "engine/effects/flares.h"
#include "engine/effects/shadows.h"
#include "engine/render/engine_state.h"
#include "engine/render/flare_occlusion.h"
#include "engine/render/scene_render.h"
#include "platform/platform.h"
#include "test_scene.h"
#include "window/gl_demo.h"
#include "window/wm.h"

using namespace ember_test;

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

class EffectsGl : public LoaderTest {
protected:
  void SetUp() override {
    LoaderTest::SetUp();
    ASSERT_EQ(plSetBackend(PL_BACKEND_SDL), 0);
    ASSERT_EQ(wmInit(), 0);
    InitGL();
    InitGLU();
    window_ = wmNewWindow(0, 0, kWidth, kHeight);
    ASSERT_NE(window_, nullptr);
    ASSERT_EQ(wmShowWindow(window_), 0);
    wmMakeCurrent(window_);
    glInitExt();
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
  std::vector<uint8_t> Centre() {
    std::vector<uint8_t> rgb(3);
    dgl::glReadPixels(kWidth / 2, kHeight / 2, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
  }

  wm_window_t *window_ = nullptr;
  _3DV_SCENE scene_{};
};

TEST_F(EffectsGl, FlareReadsTheAmbientColourUncoveredAndBlackCoveredOrBehindTheCamera) {
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
  EXPECT_EQ(Centre(), (std::vector<uint8_t>{255, 128, 64}));

  occluder.visible = 1;
  _3DV_ClearScreen();
  _3DV_RenderSceneOcclusion(scene_, 0);
  EXPECT_EQ(flare.flarecolor.r, 0.0f);
  EXPECT_EQ(flare.flarecolor.g, 0.0f);
  _3DV_ClearScreen();
  _3DV_RenderFlares(scene_, 0);
  EXPECT_EQ(Centre(), (std::vector<uint8_t>{0, 0, 0}));

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

TEST_F(EffectsGl, StencilCountsOneOnTheFloorInTheCubesShadowAndZeroOutside) {
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
