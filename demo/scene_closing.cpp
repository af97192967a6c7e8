// Scenes 17 to 19, the closing: the closing screen (a layer effect), the
// credits page and the end (a layer effect). The credits are five images
// and four text strips laid down a page in 3-D; the camera slides down the
// page while the page turns about its vertical axis, each image turned 20
// degrees further than the one above it so that it faces the camera in its
// turn, and a glow of the page is laid over the frame.
//
// Everything is recomputed from the demo time every frame. Scene 18 sets
// neither blending nor the depth test: it draws with the blending the last
// layer effect left (the depth test is off after every frame and every
// layer effect).
#include "demo/frame_loop.h"
#include "demo/glow.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "window/gl_demo.h"

namespace {

constexpr int32_t kClosingScreenStart = 184000;
constexpr int32_t kCreditsStart = 192000;
constexpr int32_t kEndStart = 228000;
// The images' turn relative to the one above them, in degrees.
constexpr float kPageStep = -20.0f;
// Frame of both blur effects of the credits' glow.
constexpr float kCreditsBlurFrame = 1000.0f;

// One quad of the page. An image after the first turns the page a step
// further first; a text strip keeps the turn of the image above it.
struct TCreditQuad {
  int32_t *texture;
  bool text;
  float ta, tb;    // texture v at the top and the bottom edge
  float cx, cy;    // centre on the page
  float w, h;      // half width and half height
};

// Down the page, in drawing order.
const TCreditQuad kCreditsPage[] = {
    {&TexLevel[0], false, 0.0f, 1.0f, 0.0f, 0.0f, 0.5f, 1.0f},
    {&TexLevel[1], false, 0.0f, 1.0f, 0.0f, -0.75f, 0.5f, 0.5f},
    {&TexLevel[TEX_LEVEL_CREDITS], true, 0.0f, 0.25f, -0.5f, -0.75f, 0.25f, 0.25f},
    {&TexLevel[2], false, 0.0f, 1.0f, -0.49f, -1.28f, 1.0f, 0.5f},
    {&TexLevel[TEX_LEVEL_CREDITS], true, 0.25f, 0.5f, 0.31f, -1.28f, 0.25f, 0.25f},
    {&TexLevel[3], false, 0.0f, 1.0f, -0.05f, -1.86f, 0.5f, 1.0f},
    {&TexLevel[TEX_LEVEL_CREDITS], true, 0.5f, 0.75f, -0.65f, -1.86f, 0.25f, 0.25f},
    {&TexLevel[4], false, 0.0f, 1.0f, -0.33f, -2.6f, 0.5f, 0.5f},
    {&TexLevel[TEX_LEVEL_CREDITS], true, 0.75f, 1.0f, 0.22f, -2.6f, 0.25f, 0.25f},
};

void DrawCreditsPage() {
  const int32_t s = DemoTime - kCreditsStart;
  const float q = 1.4f - static_cast<float>(s) / 7000.0f;
  const float r = static_cast<float>(s) / 350.0f;

  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(90, 4.0 / 3.0, 0.1, 4000);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  // Straight down -z at the page in the plane z = 0, sliding down it.
  dgl::gluLookAt(-0.3, q, 0.7, -0.3, q, 0, 0, 1, 0);

  dgl::glColor3f(1, 1, 1);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexLevel[0]));
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glRotatef(r, 0, 1, 0);

  bool first = true;
  for (const TCreditQuad &quad : kCreditsPage) {
    if (!quad.text && !first) dgl::glRotatef(kPageStep, 0, 1, 0);
    first = false;
    if (quad.text)
      dgl::glColor3f(0.8f, 0.8f, 0.8f);
    else
      dgl::glColor3f(1, 1, 1);
    dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(*quad.texture));
    dgl::glBegin(GL_QUADS);
    dgl::glTexCoord2f(0, quad.ta);
    dgl::glVertex3f(quad.cx - quad.w, quad.cy + quad.h, 0);
    dgl::glTexCoord2f(1, quad.ta);
    dgl::glVertex3f(quad.cx + quad.w, quad.cy + quad.h, 0);
    dgl::glTexCoord2f(1, quad.tb);
    dgl::glVertex3f(quad.cx + quad.w, quad.cy - quad.h, 0);
    dgl::glTexCoord2f(0, quad.tb);
    dgl::glVertex3f(quad.cx - quad.w, quad.cy - quad.h, 0);
    dgl::glEnd();
  }
}

}  // namespace

void Scene17() {
  ife_DrawInterface(IfeBpScreen,
                    static_cast<float>(static_cast<double>(DemoTime - kClosingScreenStart) / 8));
}

void Scene18() {
  GlowSourceViewport();
  DrawCreditsPage();
  GlowBlurSource(IfeHBlur, kCreditsBlurFrame);
  DrawCreditsPage();
  ife_DrawInterface(IfeVBlur, kCreditsBlurFrame);
}

void Scene19() {
  ife_DrawInterface(IfeEndPart, static_cast<float>(static_cast<double>(DemoTime - kEndStart) / 8));
}
