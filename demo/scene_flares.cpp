// Scene 15, flare particles and cube field. See scene_flares.h.
//
// State: inherits the frame head's (lighting and texturing off, colour
// white); leaves texture generation off, line width 1, and whatever the
// last layer effect ("bplogosmalllent.ife") leaves. Distances are measured
// from E, which sits one millisecond of bobbing ahead of the real eye;
// flares, trails and path lines fade with that distance.
#include "demo/scene_flares.h"

#include <cmath>

#include "demo/draw_helpers.h"
#include "demo/frame_loop.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "window/gl_demo.h"

TVec3 FlarePositions[IMAGE_PARTICLES];
float FlareBrightness[IMAGE_PARTICLES];

namespace {

constexpr float kFlareHalfSize = 0.08f;
constexpr float kTrailLength = 4.0f;
constexpr float kCubeFadeDistance = 38.0f;  // cubes vanish beyond it
constexpr float kPathFadeDistance = 16.0f;  // path lines turn black beyond it

float Distance(float x, float y, float z, const TVec3 &e) {
  const float dx = x - e.x, dy = y - e.y, dz = z - e.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Bobbing of the eye: 3.141, not pi, so the period is a hair over 4 s.
float Bob(int32_t u) {
  return static_cast<float>(std::sin(3.141 * static_cast<double>(u) / 2000.0) - 1.5);
}

void Camera(const TFlareSceneValues &v) {
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(80.0, 1.3333333, 0.1, 4000.0);
  // The view rolls 10 degrees a second.
  dgl::glRotatef(static_cast<float>(v.T) / 100.0f, 0, 0, 1);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  const double h = v.height;
  dgl::gluLookAt(1.0, 1.0 + h, 24.0, 1.0011, 1.0 + h + 0.013, 0.0011, 0.0, 1.0, 0.0);
}

void DrawCubeField(const TFlareSceneValues &v) {
  const float advance = static_cast<float>(v.u) / 500.0f;
  for (int32_t i = 0; i < LATTICE_SIZE; ++i) {
    const TVec3 &cell = CheckerLattice[i];
    const float x = 2.0f * cell.x, y = 2.0f * cell.y;
    const float z = WrapFieldDepth(2.0f * cell.z + advance);
    dgl::glPushMatrix();
    dgl::glTranslatef(x, y, z);
    const float d = Distance(x, y, z, v.eye);
    dgl::glColor4f(1, 1, 1, 1.0f - d / kCubeFadeDistance);
    DrawCube();
    dgl::glPopMatrix();
  }
}

void DrawFlares(const TFlareSceneValues &v) {
  // A particle exactly at E keeps the previous particle's colour.
  float c = 0.0f;
  dgl::glBegin(GL_QUADS);
  for (int32_t i = 0; i < IMAGE_PARTICLES; ++i) {
    const float x = FlarePositions[i].x, y = FlarePositions[i].y;
    const float z = FlarePositions[i].z + v.shift;
    const float d = Distance(x, y, z, v.eye);
    if (d != 0.0f) c = FlareBrightness[i] / d;
    dgl::glColor3f(c / 16.0f, c / 16.0f, c / 16.0f);
    dgl::glTexCoord2f(0, 0);
    dgl::glVertex3f(x - kFlareHalfSize, y - kFlareHalfSize, z);
    dgl::glTexCoord2f(1, 0);
    dgl::glVertex3f(x + kFlareHalfSize, y - kFlareHalfSize, z);
    dgl::glTexCoord2f(1, 1);
    dgl::glVertex3f(x + kFlareHalfSize, y + kFlareHalfSize, z);
    dgl::glTexCoord2f(0, 1);
    dgl::glVertex3f(x - kFlareHalfSize, y + kFlareHalfSize, z);
  }
  dgl::glEnd();
}

void DrawTrails(const TFlareSceneValues &v) {
  // Longest mid-beat, gone at its start and end.
  const float l = 2.0f * std::fabs(0.5f - v.ease);
  const float length = kTrailLength * (1.0f - l);
  dgl::glBegin(GL_LINES);
  for (int32_t i = 0; i < IMAGE_PARTICLES; ++i) {
    const float x = FlarePositions[i].x, y = FlarePositions[i].y;
    const float z = FlarePositions[i].z + v.shift;
    const float c = FlareBrightness[i];
    dgl::glColor3f(0.07f * c, 0.07f * c, 0.08f * c);
    dgl::glVertex3f(x, y, z);
    dgl::glColor3f(0, 0, 0);
    dgl::glVertex3f(x, y, z + length);
  }
  dgl::glEnd();
}

void DrawPathLines(const TFlareSceneValues &v) {
  dgl::glLineWidth(1);
  dgl::glBegin(GL_LINES);
  for (int32_t k = 0; k < FLARE_PATH_STEPS; ++k) {
    const int32_t row = k / 10;
    const float along = static_cast<float>(k % 10) / 10.0f;
    for (int32_t j = 0; j < IMAGE_PARTICLES; j += FLARE_PATH_STRIDE) {
      TVec3 a, b;
      SplinePoint(a, ImagePaths[j], static_cast<float>(k) / 10.0f);
      a.z += v.shift;
      const float d = Distance(a.x, a.y, a.z, v.eye);
      const float lit =
          Interpolate(ImageWeights[row][j], ImageWeights[row + 1][j], along, INTERPOLATE_LINEAR);
      const float c = ((1.0f - d / kPathFadeDistance) / 16.0f) * lit;
      dgl::glColor3f(c, c, c);
      dgl::glVertex3f(a.x, a.y, a.z);
      SplinePoint(b, ImagePaths[j], static_cast<float>(k + 1) / 10.0f);
      b.z += v.shift;
      dgl::glVertex3f(b.x, b.y, b.z);
    }
  }
  dgl::glEnd();
}

}  // namespace

TFlareSceneValues FlareSceneValues(int32_t t) {
  TFlareSceneValues v{};
  v.T = t | 1;
  v.u = v.T - 112000;
  v.height = Bob(v.u);
  v.eye = {1.0f, 1.0f + Bob(v.u + 1), 24.0f};
  const int32_t w = v.T - FLARE_SCENE_START;
  v.beat = w / FLARE_BEAT;
  // Inside the scene's span the beat is 0..15 already; a frame drawn
  // outside it holds the nearest key instead of reading past the rows.
  if (v.beat < 0) v.beat = 0;
  if (v.beat > FLARE_LAST_KEY) v.beat = FLARE_LAST_KEY;
  v.next = v.beat + 1 > FLARE_LAST_KEY ? FLARE_LAST_KEY : v.beat + 1;
  v.ease = PowCurve8(static_cast<float>(w % FLARE_BEAT) / static_cast<float>(FLARE_BEAT), 1.0f);
  // The last cube's depth before the wrap: one shift for every flare.
  v.shift = 2.0f * CheckerLattice[LATTICE_SIZE - 1].z + static_cast<float>(v.u) / 500.0f;
  return v;
}

float WrapFieldDepth(float z) {
  const float whole = std::trunc(z);
  const float fraction = z - whole;
  return static_cast<float>(static_cast<int64_t>(whole) % FLARE_FIELD_DEPTH) + fraction;
}

void UpdateFlares(const TFlareSceneValues &v) {
  const float at = static_cast<float>(v.beat) + v.ease;
  const float *from = ImageWeights[v.beat];
  const float *to = ImageWeights[v.next];
  for (int32_t i = 0; i < IMAGE_PARTICLES; ++i) {
    SplinePoint(FlarePositions[i], ImagePaths[i], at);
    FlareBrightness[i] = Interpolate(from[i], to[i], v.ease, INTERPOLATE_EASE_OUT);
  }
}

void Scene15() {
  const int32_t t = DemoTime;
  const TFlareSceneValues v = FlareSceneValues(t);
  SyncValue = v.u;

  ife_DrawInterface(IfeHatter2, 999);
  // Each flush lets the rasteriser paint what came before while the next
  // step is worked out and sent.
  dgl::glFlush();
  Camera(v);

  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexHatter));
  dgl::glDisable(GL_CULL_FACE);
  dgl::glEnable(GL_TEXTURE_GEN_S);
  dgl::glEnable(GL_TEXTURE_GEN_T);
  dgl::glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  dgl::glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  DrawCubeField(v);
  dgl::glFlush();

  dgl::glDisable(GL_TEXTURE_GEN_S);
  dgl::glDisable(GL_TEXTURE_GEN_T);
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexFlare));
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  dgl::glDisable(GL_DEPTH_TEST);

  UpdateFlares(v);
  DrawFlares(v);
  dgl::glDisable(GL_TEXTURE_2D);
  DrawTrails(v);
  DrawPathLines(v);

  // The flash runs on milliseconds, not effect frames.
  ife_DrawInterface(IfeWhiteFlash, static_cast<float>(t - FLARE_SCENE_START));
  ife_DrawInterface(IfeBpLogoSmallLent, 999);
}
