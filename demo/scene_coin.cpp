// Scenes 2 and 3: the glowing coin and the background interlude.
//
// Scene 2 (8000 <= t < 16000) pans the camera down onto the coin mesh,
// which grows from nothing to full size while it turns, sphere-mapped with
// "envmap.tga" and glowing through the glow pass (glow.h); over its last
// half second its background fades in while the coin fades out. Scene 3
// (16000 <= t < 18000) runs "gombhatter.ife" on towards the frame that
// scenes 4 and 5 hold, and leaves a plain 2D state behind.
//
// Both coin draws of a frame are the same call with the same values, so
// the glow lies exactly behind the sharp coin. Everything is derived from
// the demo time; nothing is kept between frames. Main thread, inside the
// frame loop, with the demo's context current.
#include <cmath>
#include <cstdint>

#include "demo/curves.h"
#include "demo/frame_loop.h"
#include "demo/glow.h"
#include "demo/mesh_draw.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "effects/ife.h"
#include "window/gl_demo.h"

namespace {

constexpr int32_t kCoinEnd = 16000;      // the coin's scale reaches 1 here
constexpr int32_t kFadeStart = 15500;    // background fades in, coin out
constexpr float kCoinSpan = -8000.0f;    // negative: the curve runs to 0 from below

// The coin at working value s (-8000 .. 0) and demo time t.
void DrawCoin(int32_t s, int32_t t) {
  dgl::glEnable(GL_NORMALIZE);  // the scale below would shorten the normals
  dgl::glEnable(GL_LIGHT0);

  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(60, 1.3333333333333333, 0.1, 1000);

  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  const double h = -12.0 - s / 22.0;
  dgl::gluLookAt(0, h, 530, 0, h, 0, 0, 1, 0);
  const float k = 1.0f + static_cast<float>(s) / 8000.0f;
  dgl::glScalef(k, k, k);
  dgl::glScalef(0.4f, 0.4f, 0.4f);

  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glEnable(GL_DEPTH_TEST);
  BeginSphereMap(TexEnvMap);
  dgl::glEnable(GL_CULL_FACE);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  // Above 1 until the fade starts; OpenGL clamps it.
  const float alpha = static_cast<float>(1000 - 2 * (t - kFadeStart)) / 1000.0f;
  dgl::glColor4f(0.5f, 0.5f, 0.5f, alpha);

  dgl::glRotatef(static_cast<float>(s / 10.0), 0, 1, 0);
  dgl::glRotatef(static_cast<float>(-s / 14.0), 1, 0, 0);
  dgl::glRotatef(static_cast<float>(s / 15.0), 0, 0, 1);
  DrawMesh(MeshCoin);
  EndSphereMap();
}

}  // namespace

void Scene2() {
  const int32_t t = DemoTime;
  int32_t s = t - kCoinEnd;
  if (s > 0) s = 0;
  s = static_cast<int32_t>(std::llround(PowCurve2(static_cast<float>(s), kCoinSpan)));

  GlowSourceViewport();  // drawn over the frame head's clear
  DrawCoin(s, t);
  GlowBlurSource(IfeHBlur, 1000);
  ife_DrawInterface(IfeGombFadeIn, static_cast<float>(2 * (t - kFadeStart)));
  // Each flush lets the rasteriser paint what came before while the next
  // step is transformed and sent.
  dgl::glFlush();
  DrawCoin(s, t);
  dgl::glFlush();
  ife_DrawInterface(IfeVBlur, 1000);
}

void Scene3() {
  const int32_t t = DemoTime;
  ife_DrawInterface(IfeGombHatter, static_cast<float>(160.0 + ((t - 16000) / 2.0) * 0.84));

  dgl::glMatrixMode(GL_TEXTURE);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluOrtho2D(0, 800, 0, 600);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  dgl::glColor4f(1, 1, 1, 1);
}
