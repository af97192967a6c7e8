// Scene 10: the tile torus and the cube morph (60000 <= t < 80000).
//
// "hatter.tga" is cut into an 80 x 60 grid of tiles; the flat grid peels
// off, each tile leaving it after a delay given by its cloud scale, and
// flies to its place on the torus of the set-up while the camera circles
// it. Every tile is drawn twice: as a flat textured cell and as a
// sphere-mapped cube. From 64000 ms a cloud of 1301 small additive cubes
// morphs through the glyph key rows in front of it, spinning in 2-second
// beats: the first half of a beat eases into an odd row (the glyph), the
// second half accelerates out towards the next even row (a scatter).
//
// The flight amount k rises from 0 to 1 over the first 4 s, holds, and
// falls back to 0 over the last 4 s. The scene time is left in SyncValue
// for the rest of the frame. Nothing is kept between frames. Main thread,
// inside the frame loop, with the demo's context current.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "demo/clip_space_batch.h"
#include "demo/curves.h"
#include "demo/draw_helpers.h"
#include "demo/frame_loop.h"
#include "demo/mesh_draw.h"
#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "demo/vertex_batch.h"
#include "effects/ife.h"
#include "window/gl_demo.h"

namespace {

constexpr int32_t kSceneStart = 60000;
constexpr int32_t kMorphStart = 64000;
constexpr int32_t kFallStart = 76000;   // tiles fall back from here
constexpr int32_t kSceneEnd = 80000;
constexpr int32_t kBeat = 2000;         // ms per morph beat
constexpr int32_t kMorphBeats = 7;      // beats 0..6 read key rows 0..14
constexpr int32_t kTiles = CLOUD_SIZE;  // 80 x 60
constexpr int32_t kTileColumns = 80;

// The flight amount at demo time t, scene time u.
float FlightAmount(int32_t t, int32_t u) {
  const float k0 = std::min(static_cast<float>(u) / 4000.0f, 1.0f);
  float k = Interpolate(0, 1, k0, INTERPOLATE_EASE_IN);
  if (t > kFallStart) k = PowCurve2(static_cast<float>(kSceneEnd - t) / 4000.0f, 1);
  return k;
}

// Tiles or cubes, one per grid cell, each on its way from the flat grid
// to the torus. A tile and its cube's front face share a plane, so both
// passes go through a ClipSpaceBatch: many draws become few without moving
// a vertex.
template <typename DrawTile>
void TilePass(float k, ClipSpaceBatch &quads, DrawTile draw) {
  const TVec3 *torus = &TorusPositions[0][0];  // read as one list
  const float g = 0.05f + 0.03f * k;
  for (int32_t i = 0; i < kTiles; ++i) {
    const int32_t c = i % kTileColumns, r = i / kTileColumns;
    const float x0 = static_cast<float>(c) - 39.5f;
    const float y0 = static_cast<float>(r) - 29.5f;
    const float w = std::min(k * CloudScales[i], 1.0f);
    const TVec3 &T = torus[i];
    quads.PushMatrix();
    // Rows lie along x, columns along y, as the up vector (1, 0, 0) shows them.
    quads.Translatef((y0 / 10) * (1 - w) + w * T.x, (x0 / 10) * (1 - w) + w * T.y, w * T.z);
    quads.Scalef(g, g, g);
    draw(c, r);
    quads.PopMatrix();
  }
  quads.Flush();
}

void DrawCubeMorph(int32_t t) {
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(90, 1.3333333, 0.1, 4000);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::gluLookAt(0, 0, 3, 0.001, 0.001, 0.001, 0, 1, 0);

  const int32_t v = t - kMorphStart;
  const int32_t s = v / kBeat;
  const int32_t m = v % kBeat;
  const float spin = PowCurve3(static_cast<float>(m), 2000) / 5.5555556f;
  switch (s % 3) {
    case 0:
      dgl::glRotatef(spin, 0, 1, 0);
      dgl::glRotatef(spin, 0, 0, 1);
      break;
    case 1:
      dgl::glRotatef(spin, 0, 1, 0);
      dgl::glRotatef(spin, 1, 0, 0);
      break;
    default:
      dgl::glRotatef(spin, 0, 0, 1);
      dgl::glRotatef(spin, 1, 0, 0);
      break;
  }

  dgl::glDisable(GL_DEPTH_TEST);
  dgl::glDisable(GL_LIGHTING);
  dgl::glDisable(GL_CULL_FACE);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  BeginSphereMap(TexEnvMap);
  dgl::glScalef(0.0625f, 0.0625f, 0.0625f);

  if (s < kMorphBeats) {
    int32_t A, B;
    float f;
    uint8_t mode;
    if (m < 1000) {  // ease out into the glyph
      A = 2 * s;
      B = 2 * s + 1;
      f = 1 - PowCurve8(1 - static_cast<float>(m) / 1000.0f, 1);
      mode = INTERPOLATE_EASE_OUT;
    } else {  // accelerate out of it
      A = 2 * s + 1;
      B = 2 * s + 2;
      f = PowCurve8(static_cast<float>(m - 1000) / 1000.0f, 1);
      mode = INTERPOLATE_LINEAR;
    }
    // Cubes and dots add up without a depth test, and sums that saturate
    // come out the same in any order: all cubes go as one draw, then all
    // dots as another, rather than texturing switching on and off 2602
    // times. Most particles are black between two glyphs and add nothing:
    // they are not sent, though their colours still pass through the
    // batches, which leave the last one current as the calls would.
    VertexBatch cubes(GL_QUADS), dots(GL_POINTS);
    for (int32_t i = 0; i < GLYPH_PARTICLES; ++i) {
      const float c = 0.13f * Interpolate(GlyphWeights[A][i], GlyphWeights[B][i], f, mode);
      cubes.Hide(c == 0);
      dots.Hide(c == 0);
      const TVec3 &from = GlyphPositions[A][i];
      const TVec3 &to = GlyphPositions[B][i];
      const float x = Interpolate(from.x, to.x, f, mode);
      const float y = Interpolate(from.y, to.y, f, mode);
      const float z = Interpolate(from.z, to.z, f, mode);
      cubes.PushMatrix();
      cubes.Color3f(c, c, c);
      cubes.Translatef(2 * x, 2 * y, 2 * z);
      DrawCube(cubes);
      cubes.PopMatrix();
      dots.Color3f(15 * c, 15 * c, 15 * c);  // a bright dot at the cube's centre
      dots.Vertex3f(2 * x, 2 * y, 2 * z);
    }
    cubes.Hide(false);
    dots.Hide(false);
    dgl::glEnable(GL_TEXTURE_2D);
    cubes.Flush();
    dgl::glDisable(GL_TEXTURE_2D);
    dots.Flush();
  }
  dgl::glDisable(GL_TEXTURE_GEN_S);
  dgl::glDisable(GL_TEXTURE_GEN_T);
}

}  // namespace

void Scene10() {
  const int32_t t = DemoTime;
  const int32_t u = t - kSceneStart;
  SyncValue = u;
  const float k = FlightAmount(t, u);

  ife_DrawInterface(IfeHatter, 999);  // leaves culling off for the passes below

  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(90, 1.3333333, 0.1, 4000);
  dgl::glRotatef(k * static_cast<float>(u) / 100, 1, 1, 0);

  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  const float a = static_cast<float>(u) / 1000;
  const float b = a + 2;
  dgl::gluLookAt((3 * std::sin(a) + 0.1f) * k, (3 * std::cos(a) + 0.1f) * k, 3 - 2.85f * k,
                 3 * k * std::sin(b) + 0.001f, 3 * k * std::cos(b) + 0.001f, 1.001, 1, 0, 0);

  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexHatter));
  dgl::glDisable(GL_BLEND);
  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glColor3f(1, 1, 1);
  // The mode is set now; generation itself stays off for the flat tiles.
  dgl::glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  dgl::glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);

  ClipSpaceBatch tiles(ClipSpaceBatch::TexCoords::kGiven);
  TilePass(k, tiles, [&tiles](int32_t c, int32_t r) {
    DrawStripQuad(tiles, static_cast<float>(c) / 80, static_cast<float>(r) / 60);
  });
  dgl::glEnable(GL_TEXTURE_GEN_S);
  dgl::glEnable(GL_TEXTURE_GEN_T);
  ClipSpaceBatch cubes(ClipSpaceBatch::TexCoords::kSphereMap);
  TilePass(k, cubes, [&cubes](int32_t, int32_t) { DrawCube(cubes); });
  dgl::glDisable(GL_TEXTURE_GEN_S);
  dgl::glDisable(GL_TEXTURE_GEN_T);

  ife_DrawInterface(IfeBpLogoSmall, 999);

  if (t >= kMorphStart) DrawCubeMorph(t);
}
