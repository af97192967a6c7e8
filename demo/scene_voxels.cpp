// Scene 12: the voxel cube cloud (88000 <= t < 112000).
//
// The voxel model of "matrix.dat" (128 x 128 x 48 bytes, voxel (i, j, k) at
// byte i * 6144 + j * 48 + k, filled when the byte is exactly 1) is drawn
// as one sphere-mapped cube per filled voxel. The model grows out of one
// point, every voxel swirling about its own axis (i / 127, j / 127,
// k / 47), and over the last 8 s it bursts outwards while shrinking to
// nothing. After 96000 ms a second, additive pass of untextured cubes in
// 0.01 grey adds a glow where many overlap.
//
// Voxel (0, 0, 0) has no swirl axis: it is drawn unrotated. The scene time
// is left in SyncValue for the rest of the frame. Nothing is kept between
// frames. Main thread, inside the frame loop, with the demo's context
// current.
#include <cmath>
#include <cstdint>
#include <vector>

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

constexpr int32_t kSceneStart = 88000;
constexpr int32_t kGlowAfter = 96000;
constexpr int32_t kBurstAfter = 104000;
constexpr uint8_t kFilled = 1;  // any other byte is empty

constexpr double kNearPlane = 0.1;
// The glow's grey, and the same added twice as the colour buffer's 8 bits
// hold it (0.01 of 255 rounds to 3).
constexpr float kGlowGrey = 0.01f;
const float kGlowTwice = 2 * std::round(kGlowGrey * 255) / 255;

// The matrix of every filled voxel's cube, in i, j, k order, at spread d
// and size g; worked out once for both passes.
std::vector<VertexBatch::Matrix> VoxelCubes(float u, float d, float g) {
  const uint8_t *voxels = Matrix ? Matrix : MatrixBuffer;
  std::vector<VertexBatch::Matrix> cubes;
  VertexBatch place(GL_QUADS);  // only its matrix stack is used
  for (int32_t i = 0; i < VOLUME_A; ++i)
    for (int32_t j = 0; j < VOLUME_B; ++j)
      for (int32_t k = 0; k < VOLUME_C; ++k) {
        if (voxels[i * (VOLUME_B * VOLUME_C) + j * VOLUME_C + k] != kFilled) continue;
        place.PushMatrix();
        if (i != 0 || j != 0 || k != 0)
          place.Rotatef(u / 10, static_cast<float>(i) / 127, static_cast<float>(j) / 127,
                        static_cast<float>(k) / 47);
        place.Scalef(g, g, g);
        place.Translatef(static_cast<float>(i - 64) * d, static_cast<float>(j - 64) * d,
                         static_cast<float>(k - 24) * d);
        const TVec3 &jitter = RandomVolume[i][j][k];
        place.Translatef(jitter.x, jitter.y, jitter.z);
        cubes.push_back(place.TopMatrix());
        place.PopMatrix();
      }
  return cubes;
}

// Opaque and depth-tested: only the faces turned towards the eye can show.
void OpaquePass(const std::vector<VertexBatch::Matrix> &cubes) {
  VertexBatch quads(GL_QUADS);
  for (const VertexBatch::Matrix &cube : cubes) {
    quads.LoadMatrix(cube);
    DrawCubeFacingEye(quads);
  }
}

// Every face adds the grey where it covers a pixel: through the faces
// turned towards the eye at twice the grey where the cube is closed.
void GlowPass(const std::vector<VertexBatch::Matrix> &cubes) {
  VertexBatch fronts(GL_QUADS), whole(GL_QUADS);
  for (const VertexBatch::Matrix &cube : cubes) {
    fronts.LoadMatrix(cube);
    AddGlowCube(fronts, whole, static_cast<float>(kNearPlane + 0.5));
  }
  dgl::glColor3f(kGlowTwice, kGlowTwice, kGlowTwice);
  fronts.Flush();
  dgl::glColor3f(kGlowGrey, kGlowGrey, kGlowGrey);
  whole.Flush();
}

}  // namespace

void Scene12() {
  const int32_t t = DemoTime;
  const int32_t su = t - kSceneStart;
  SyncValue = su;
  const float u = static_cast<float>(su);
  float d = u / 15000;
  float g = 1;
  if (t > kBurstAfter) {
    const float b = PowCurve2(static_cast<float>(t - kBurstAfter) / 8000, 1);
    d = u / 15000 + 16 * b;
    g = 1 - b;
  }

  ife_DrawInterface(IfeBpLogoSmallHatter, 999);
  // The rasteriser paints the background while the cubes are gathered.
  dgl::glFlush();

  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(100, 1.3333333, kNearPlane, 4000);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::gluLookAt(0, 0, 30, 0.001, 0.001, 0.001, 0, 1, 0);

  // No colour is set: the cubes take the one the layer effect left.
  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glDisable(GL_BLEND);
  dgl::glEnable(GL_TEXTURE_2D);
  BeginSphereMap(TexHatter);
  const std::vector<VertexBatch::Matrix> cubes = VoxelCubes(u, d, g);
  OpaquePass(cubes);
  // The rasteriser paints the opaque cubes while the glow is gathered.
  dgl::glFlush();
  dgl::glDisable(GL_TEXTURE_GEN_S);
  dgl::glDisable(GL_TEXTURE_GEN_T);

  if (t > kGlowAfter) {
    dgl::glEnable(GL_BLEND);
    dgl::glBlendFunc(GL_ONE, GL_ONE);
    dgl::glDisable(GL_DEPTH_TEST);
    dgl::glDisable(GL_TEXTURE_2D);
    GlowPass(cubes);
  }

  ife_DrawInterface(IfeBpLogoSmall, 999);
}
