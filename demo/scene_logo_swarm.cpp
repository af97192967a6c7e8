// Scenes 8, 9, 13 and 14, the logo swarm: every opaque pixel of the small
// logo is a coloured square flying on its own eased path between a large
// logo filling the screen and a small logo in a corner, over a layer
// effect. Scene 8 shows only its layer effect; 9 flies out to the top
// left, 13 flies back, 14 flies out to the bottom right. 13 and 14 share
// the effect-time origin 112000, so their background runs on without a
// jump.
//
// The swarm reads the logo points of the set-up and changes nothing; each
// frame follows from the demo time alone. It draws into an 800 x 600
// orthographic screen laid over the aspect viewport and leaves blending on
// with (GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA), texturing off and the
// projection matrix current.
#include <cmath>

#include "demo/curves.h"
#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "window/gl_demo.h"

namespace {

constexpr float kPi = 3.1415927f;
// Where the logo's origin sits at p = 0 (the large logo, scale 2.62).
constexpr float kStartX = -268.0f, kStartY = -42.0f;
constexpr float kLargeScale = 2.62f, kScaleShrink = 1.62f;
// Effect-time origin of scenes 13 and 14.
constexpr int32_t kHatter2Origin = 112000;

struct TSwarmFlight {
  float progress;  // raw progress r of every point this frame
  bool eased;      // the point's curve shapes p
  float a, b;      // travel in x and y from p = 0 to p = 1
};

float EaseByCurve(float p, uint8_t curve) {
  switch (curve) {
    case 2: return PowCurve2(p, 1);
    case 1: return PowCurve3(p, 1);
    default: return PowCurve8(p, 1);
  }
}

void DrawSwarm(const TSwarmFlight &flight) {
  dgl::glMatrixMode(GL_TEXTURE);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluOrtho2D(0, 800, 0, 600);

  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  // The swing of the bulge follows the demo time, not the scene time.
  const float t = static_cast<float>(DemoTime);
  const float sinT = std::sin(t / 1000);
  const float cosT = std::cos(t / 900);

  const auto color = dgl::glColor4f;
  const auto vertex = dgl::glVertex2f;
  dgl::glBegin(GL_QUADS);
  for (int32_t i = 0; i < LogoCount; ++i) {
    float p = flight.progress * LogoSpeeds[i];
    // Clamped before easing: a fast point arrives and stays.
    if (p < 0) p = 0;
    if (p > 1) p = 1;
    if (flight.eased) p = EaseByCurve(p, LogoCurves[i]);
    const float q = std::sin(p * kPi);
    const float cx = kStartX + flight.a * p + 200 * q * sinT;
    const float cy = kStartY + flight.b * p + 100 * q * cosT;
    const float s = kLargeScale - kScaleShrink * p;
    const float x = cx + LogoPoints[i].x * s, y = cy + LogoPoints[i].y * s;
    color(LogoColors[i][0], LogoColors[i][1], LogoColors[i][2], LogoColors[i][3]);
    vertex(x, y);
    vertex(x + s, y);
    vertex(x + s, y + s);
    vertex(x, y + s);
  }
  dgl::glEnd();
}

float Hatter2Frame() { return static_cast<float>(DemoTime - kHatter2Origin) / 8; }

}  // namespace

void Scene8() { ife_DrawInterface(IfeBpLogo, 999); }

void Scene9() {
  ife_DrawInterface(IfeHatter, 999);
  DrawSwarm({static_cast<float>(DemoTime - 57000) / 2900, true, 160, 430});
}

void Scene13() {
  ife_DrawInterface(IfeHatter2, Hatter2Frame());
  DrawSwarm({1 - static_cast<float>(DemoTime - 112000) / 4000, false, 160, 430});
}

void Scene14() {
  ife_DrawInterface(IfeHatter2, Hatter2Frame());
  DrawSwarm({static_cast<float>(DemoTime - 116000) / 4000, true, 670, -10});
}
