// Scene 16, ring tunnel and falling sprites. See scene_tunnel.h.
//
// State: relies on the frame head for lighting off, texturing off and
// colour white. The rings are drawn without depth test in both passes (the
// end of the previous frame and "hatter2.ife" leave it off); the depth test
// goes on before the meshes and stays on. Leaves the depth function at
// GL_LEQUAL, sphere-map generation off, and blending, matrices and depth
// test as "v_blur.ife" leaves them.
#include "demo/scene_tunnel.h"

#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "demo/frame_loop.h"
#include "demo/glow.h"
#include "demo/mesh_draw.h"
#include "demo/procedural.h"
#include "framework/random.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "demo/texture_runs.h"
#include "window/gl_demo.h"

namespace {

constexpr float kSpriteHalfSize = 16.0f;
constexpr double kDegrees = std::numbers::pi / 180.0;
constexpr int32_t kRingStep = 8;          // degrees per quad
constexpr int32_t kRingHeight = 300;      // each band, stacked from z = 200
constexpr int32_t kRingBase = 200;

// The sprites that can show this frame, in the order they are drawn;
// empty until the first pass has worked it out.
using TSpriteOrder = std::optional<std::vector<int32_t>>;

void Camera(const TTunnelSceneValues &v) {
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(100.0, 4.0 / 3.0, 0.1, 4000.0);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  // Looking horizontally at the axis (z) from the side, at height h.
  dgl::gluLookAt(0.0, 240.5 + static_cast<double>(v.distance), v.height, 0.0, 0.0, v.height, 0.0,
                 0.0, 1.0);
  dgl::glRotatef(v.spin, 0, 0, 1);
}

void RingBands(int32_t t) {
  for (int32_t j = 0; j < TUNNEL_RINGS; ++j) {
    const float o = RingOffset(t, RingPeriods[j]);
    const float top = static_cast<float>(kRingHeight * j + kRingBase + kRingHeight);
    const float bottom = static_cast<float>(kRingHeight * j + kRingBase);
    dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexLine[j]));
    dgl::glBegin(GL_QUADS);
    for (int32_t i = 0; i < TUNNEL_RING_QUADS; ++i) {
      const double a0 = kRingStep * i * kDegrees, a1 = kRingStep * (i + 1) * kDegrees;
      const float x0 = static_cast<float>(TUNNEL_RADIUS * std::sin(a0));
      const float y0 = static_cast<float>(TUNNEL_RADIUS * std::cos(a0));
      const float x1 = static_cast<float>(TUNNEL_RADIUS * std::sin(a1));
      const float y1 = static_cast<float>(TUNNEL_RADIUS * std::cos(a1));
      const float u0 = static_cast<float>(i) / TUNNEL_RING_QUADS + o;
      const float u1 = static_cast<float>(i + 1) / TUNNEL_RING_QUADS + o;
      dgl::glTexCoord2f(u0, 0);
      dgl::glVertex3f(x0, y0, top);
      dgl::glTexCoord2f(u1, 0);
      dgl::glVertex3f(x1, y1, top);
      dgl::glTexCoord2f(u1, 1);
      dgl::glVertex3f(x1, y1, bottom);
      dgl::glTexCoord2f(u0, 1);
      dgl::glVertex3f(x0, y0, bottom);
    }
    dgl::glEnd();
  }
}

void SphereMapGeneration(bool on) {
  if (!on) {
    dgl::glDisable(GL_TEXTURE_GEN_S);
    dgl::glDisable(GL_TEXTURE_GEN_T);
    return;
  }
  dgl::glEnable(GL_TEXTURE_GEN_S);
  dgl::glEnable(GL_TEXTURE_GEN_T);
  dgl::glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  dgl::glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
}

// Sprite k as OpenGL places it: its own matrix and one quad. Binds its
// texture unless that is the one bound already.
void Sprite(int32_t k, int32_t t, int64_t &bound) {
  const TVec3 &p = SpriteField.position[k];
  const TVec3 &spin = SpriteField.spin[k];
  dgl::glPushMatrix();
  const auto texture = static_cast<GLuint>(TexVirag[k % 10]);
  if (bound != texture) dgl::glBindTexture(GL_TEXTURE_2D, texture);
  bound = texture;
  const float z = SpriteHeight(p.z, t);
  dgl::glTranslatef(p.x, p.y, z);
  // The tumbling dies away as the sprite comes down.
  dgl::glRotatef(spin.x * z / 1000.0f, 1, 0, 0);
  dgl::glRotatef(spin.y * z / 1000.0f, 0, 1, 0);
  dgl::glRotatef(spin.z * z / 1000.0f, 0, 0, 1);
  dgl::glBegin(GL_QUADS);
  dgl::glTexCoord2f(0, 0);
  dgl::glVertex3f(-kSpriteHalfSize, -kSpriteHalfSize, 0);
  dgl::glTexCoord2f(1, 0);
  dgl::glVertex3f(kSpriteHalfSize, -kSpriteHalfSize, 0);
  dgl::glTexCoord2f(1, 1);
  dgl::glVertex3f(kSpriteHalfSize, kSpriteHalfSize, 0);
  dgl::glTexCoord2f(0, 1);
  dgl::glVertex3f(-kSpriteHalfSize, kSpriteHalfSize, 0);
  dgl::glEnd();
  dgl::glPopMatrix();
}

// Where the corners of sprite k lie in the world, in the order Sprite
// draws them: its matrix worked out here, only to find where it shows.
void SpriteCorners(int32_t k, int32_t t, float corners[12]) {
  const TVec3 &p = SpriteField.position[k];
  const TVec3 &spin = SpriteField.spin[k];
  const float z = SpriteHeight(p.z, t);
  const double a = spin.x * z / 1000.0f * kDegrees, b = spin.y * z / 1000.0f * kDegrees,
               c = spin.z * z / 1000.0f * kDegrees;
  const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b),
               cc = std::cos(c), sc = std::sin(c);
  // The x and y columns of the rotation about x, then y, then z.
  const double ex[3] = {cb * cc, sa * sb * cc + ca * sc, sa * sc - ca * sb * cc};
  const double ey[3] = {-cb * sc, ca * cc - sa * sb * sc, ca * sb * sc + sa * cc};
  const double centre[3] = {p.x, p.y, z};
  constexpr int kSigns[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  for (int q = 0; q < 4; ++q)
    for (int e = 0; e < 3; ++e)
      corners[3 * q + e] = static_cast<float>(
          centre[e] + kSpriteHalfSize * (kSigns[q][0] * ex[e] + kSigns[q][1] * ey[e]));
}

// The sprites that can show, in the order to draw them: runs of one
// texture wherever that leaves every overlapping pair as it was (see
// texture_runs.h), from the camera and viewport the context holds.
// Sprites that cover no pixel are left out.
std::vector<int32_t> SpriteOrder(int32_t t) {
  float projection[16] = {}, modelview[16] = {};
  GLint viewport[4] = {};
  dgl::glGetFloatv(GL_PROJECTION_MATRIX, projection);
  dgl::glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  dgl::glGetIntegerv(GL_VIEWPORT, viewport);
  const TScreenMapping screen(projection, modelview, viewport);

  std::vector<uint32_t> textures(TUNNEL_SPRITES);
  std::vector<TScreenBox> boxes(TUNNEL_SPRITES);
  for (int32_t k = 0; k < TUNNEL_SPRITES; ++k) {
    float corners[12];
    SpriteCorners(k, t, corners);
    boxes[k] = screen.Box(corners, 4);
    textures[k] = static_cast<uint32_t>(TexVirag[k % 10]);
  }
  std::vector<int32_t> order = OrderInTextureRuns(textures, boxes);
  std::erase_if(order, [&](int32_t k) { return boxes[k].Empty(); });
  return order;
}

// Additive, in the colour already set (white). The first pass orders the
// sprites with the camera it has just set; the second sets the same camera
// and draws them in that order again (the frame's pixels are smaller than
// the glow square's, so the boxes' margin holds for both). Each sprite
// still reaches OpenGL through its own matrix: the ones on the ground lie
// in one plane, and which of two overlapping ones shows there is decided
// by rounding that only the same arithmetic repeats.
void Sprites(int32_t t, TSpriteOrder &order) {
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  // The rasteriser's threads take the rings and meshes queued so far while
  // this thread orders and sends the sprites.
  dgl::glFlush();
  if (!order) order = SpriteOrder(t);
  int64_t bound = -1;  // none of the sprites' textures yet
  for (const int32_t k : *order) Sprite(k, t, bound);
}

// Pass 1: the whole subject small, the meshes in black but for csap, as
// the source of the glow.
void GlowSource(const TTunnelSceneValues &v, int32_t t, TSpriteOrder &sprites) {
  GlowSourceViewport();
  Camera(v);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexLine[0]));
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glEnable(GL_BLEND);
  dgl::glColor3f(1, 1, 1);
  dgl::glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
  RingBands(t);

  dgl::glColor3f(1, 1, 1);
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glDisable(GL_BLEND);
  dgl::glColor3f(0, 0, 0);
  dgl::glEnable(GL_DEPTH_TEST);
  DrawTexturedMesh(MeshTft);

  SphereMapGeneration(true);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexHatter));
  DrawMesh(MeshAlap);  // texturing is still off: black too
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glColor3f(1, 1, 1);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexEnvMap));
  DrawMesh(MeshCsap);
  SphereMapGeneration(false);

  Sprites(t, sprites);
}

// Pass 2: the full frame.
void FullFrame(const TTunnelSceneValues &v, int32_t t, TSpriteOrder &sprites) {
  Camera(v);
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glEnable(GL_BLEND);
  dgl::glColor3f(0.3f, 0.3f, 0.3f);
  // The second blend function is the one in force: the rings add.
  dgl::glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  RingBands(t);

  dgl::glColor3f(1, 1, 1);
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexDemos));
  dgl::glDisable(GL_BLEND);
  dgl::glEnable(GL_DEPTH_TEST);
  DrawTexturedMesh(MeshTft);

  // Noise only where tft is the visible surface: the same mesh again with
  // an equal depth test.
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  dgl::glDepthFunc(GL_EQUAL);
  const float g = NoiseBrightness(Random(1000));
  dgl::glColor3f(g, g, g);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(NoiseTextures[Random(NOISE_TEXTURES)]));
  DrawTexturedMesh(MeshTft);

  dgl::glColor3f(1, 1, 1);
  dgl::glDepthFunc(GL_LEQUAL);
  dgl::glDisable(GL_BLEND);
  SphereMapGeneration(true);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexHatter));
  DrawMesh(MeshAlap);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexEnvMap));
  DrawMesh(MeshCsap);
  SphereMapGeneration(false);

  Sprites(t, sprites);
}

}  // namespace

TTunnelSceneValues TunnelSceneValues(int32_t t) {
  TTunnelSceneValues v{};
  v.e = static_cast<float>(t - TUNNEL_SCENE_START);
  v.height = static_cast<float>(89.5 + static_cast<double>(v.e) / 17.777);
  v.distance = v.e / 4.0f;
  if (v.distance > 100.0f) v.distance = 100.0f;
  // The last second: the eye moves in towards the axis again.
  if (t > 183000) v.distance = 100.0f - static_cast<float>(t - 183000) / 10.0f;
  v.spin = static_cast<float>(180.0 + static_cast<double>(v.e) / 11.0933924981);
  return v;
}

float RingOffset(int32_t t, int32_t period) {
  // A zero period never comes from the set-up (they are -8000 .. -15999);
  // a band that had one would simply stand still.
  if (period == 0) return 0.0f;
  return static_cast<float>(t) / static_cast<float>(period);
}

float SpriteHeight(float storedHeight, int32_t t) {
  const float z = storedHeight - static_cast<float>(t - 140000) / 10.0f;
  return z < 0.0f ? 0.0f : z;
}

float NoiseBrightness(int32_t r) { return static_cast<float>(0.2 + r / 5000.0); }

void Scene16() {
  const int32_t t = DemoTime;
  const TTunnelSceneValues v = TunnelSceneValues(t);

  TSpriteOrder sprites;  // worked out by the first pass

  GlowSource(v, t, sprites);
  GlowBlurSource(IfeHBlur, 1000);
  ife_DrawInterface(IfeHatter2, 999);
  // The rasteriser's threads paint the background while this thread sends
  // the frame.
  dgl::glFlush();

  FullFrame(v, t, sprites);
  ife_DrawInterface(IfeVBlur, 1000);  // the glow over the frame
}
