// Scenes 4 and 5: the zooming text pages and the deck mesh.
//
// Scene 4 (18000 <= t < 36000) nests five text pages inside each other:
// the first grows in, then every 3300 ms the view zooms eightfold and turns
// a quarter turn into the next page, one eighth the size of the one around
// it. The pages are drawn only into the glow pass's 512 x 512 square and
// reach the screen blurred, between a background and a closing layer
// effect. Scene 5 (36000 <= t < 40000) flies the camera towards the Deckf
// mesh, sphere-mapped and glowing, and ends with a fade.
//
// Every transform of scene 4 acts on the projection matrix, so the steps
// accumulate: one completed zoom step brings page k + 1 exactly onto the
// place and size of page k. Nothing is kept between frames. Main thread,
// inside the frame loop, with the demo's context current.
#include <algorithm>
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

constexpr int32_t kPagePeriod = 3300;  // ms per zoom step
constexpr int32_t kPageCount = 5;
constexpr float kPageShift = 1.8f;     // a page's offset inside the one around it is h / this

// One page quad of half-size h, centred on the current origin.
void DrawPage(float h) {
  dgl::glBegin(GL_QUADS);
  dgl::glTexCoord2f(0, 1);
  dgl::glVertex2f(-h, -h);
  dgl::glTexCoord2f(1, 1);
  dgl::glVertex2f(h, -h);
  dgl::glTexCoord2f(1, 0);
  dgl::glVertex2f(h, h);
  dgl::glTexCoord2f(0, 0);
  dgl::glVertex2f(-h, h);
  dgl::glEnd();
}

void DrawPages(int32_t s) {
  const int32_t P = kPagePeriod;
  const float K = kPageShift;

  dgl::glMatrixMode(GL_TEXTURE);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluOrtho2D(0, 800, 0, 600);
  dgl::glTranslatef(400, 300, 0);

  // Growth of the first page over the first period.
  float b = s < 0 ? static_cast<float>(s + P) / static_cast<float>(P) : 1.0f;
  b = 1.0f - PowCurve2(1.0f - b, 1.0f);
  dgl::glScalef(b, b, b);
  dgl::glColor3f(b / 2, b / 2, b / 2);

  // Zoom: every completed period one full step, the current one eased out.
  const int32_t n = s / P;
  if (s >= 0) {
    const float q = static_cast<float>(s) / static_cast<float>(P);
    const float fraction = q - std::floor(q);
    for (int32_t k = n; k >= 0; --k) {
      const float a = k == n ? 1.0f - PowCurve2(1.0f - fraction, 1.0f) : 1.0f;
      const float zoom = 1.0f + 7.0f * a;
      dgl::glScalef(zoom, zoom, zoom);
      dgl::glRotatef(-90.0f * a, 0, 0, 1);
      if (a != 0.0f) dgl::glTranslatef(300.0f * a / K, 300.0f * a / K, 0);
    }
  }

  // Blending is whatever the previous frame left; the depth test is off.
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexText[0]));
  DrawPage(300);

  // Inner pages appear 825 ms into the zoom towards them.
  float h = 300;
  const int64_t m = (static_cast<int64_t>(s) + std::llround(P * 0.75)) / P;
  for (int64_t k = 1; k <= m && k < kPageCount; ++k) {
    dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexText[k]));
    dgl::glTranslatef(-h / K, -h / K, 0);
    h = h / 8;
    dgl::glRotatef(90, 0, 0, 1);
    DrawPage(h);
  }
}

// The deck at approach distance B and scene time s.
void DrawDeck(int32_t s, float B) {
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(60, 1.3333333333333333, 0.1, 4000);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::gluLookAt(0, 0, 2200 - B, 0, 0, 0, 0, 1, 0);

  // Texturing stays as the layer effect drawn before left it.
  BeginSphereMap(TexEnvMap);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  dgl::glEnable(GL_DEPTH_TEST);
  const float c = 0.6666667f;
  dgl::glColor4f(c, c, c, static_cast<float>(s) / 1000.0f);  // clamped above 1 by OpenGL

  dgl::glRotatef(static_cast<float>(180.0 - 0.5 * B / 5.5555), 0, 1, 0);
  dgl::glRotatef(static_cast<float>(270.0 + B / 22.2222), 1, 0, 0);
  dgl::glRotatef(static_cast<float>(-B / 5.5555), 0, 0, 1);
  DrawMesh(MeshDeckf);
  EndSphereMap();
}

}  // namespace

void Scene4() {
  const int32_t s = DemoTime - 18000 - kPagePeriod;
  GlowSourceViewport();  // drawn over the frame head's clear
  DrawPages(s);
  GlowBlurSource(IfeVBlur, 90);
  ife_DrawInterface(IfeGombHatter, 999);
  ife_DrawInterface(IfeHBlur2, 90);  // the blurred pages over the background
  ife_DrawInterface(IfeUveg, 999);
}

void Scene5() {
  const int32_t t = DemoTime;
  const int32_t s = t - 36000;
  ife_DrawInterface(IfeGombHatter, 999);
  // Each flush lets the rasteriser paint what came before while the next
  // step is transformed and sent.
  dgl::glFlush();

  float B = static_cast<float>(std::clamp(s, 0, 4000));
  B = PowCurve2(B, 4000) / 2;

  GlowSourceViewport();
  dgl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  DrawDeck(s, B);
  GlowBlurSource(IfeHBlur, 500);
  ife_DrawInterface(IfeGombHatter, 999);
  dgl::glFlush();
  DrawDeck(s, B);
  dgl::glFlush();
  ife_DrawInterface(IfeVBlur, 500);
  ife_DrawInterface(IfeFadeOut, static_cast<float>(t - 39500));
}
