// Scene 1, the opening: the group's logo layer effect plays, and over it a
// picture of the logo cut into 80 x 60 textured tiles flies together from
// scattered positions, holds still as one picture from 5000 to 6000 ms,
// then flies apart again while fading out.
//
// Every value comes from the demo time, the sync value and the cell grid of
// the set-up (each tile's fixed random offsets), so any frame can be drawn
// alone. Both matrices are the identity, so tile coordinates are
// normalized device coordinates of the aspect viewport; each tile's place
// and spin is a matrix of its own in one vertex batch, which costs the
// driver one draw instead of 4800. Leaves the projection matrix current,
// blending on with (GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA), texturing on and
// the tile colour.
#include "demo/curves.h"
#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "demo/vertex_batch.h"
#include "window/gl_demo.h"

namespace {

// One tile is 1/80 of the width and 1/60 of the height of the -1..1 square.
constexpr float kTileW = 0.025f;
constexpr float kTileH = 0.033333335f;
// The layer effect's last frame; it holds from about 2775 ms on.
constexpr float kLogoLastFrame = 333.0f;
// Tiles are whole from here until the break-up.
constexpr int32_t kAssembled = 5000;
constexpr int32_t kBreakUp = 6000;
// Span of the fly-in and fly-out curves.
constexpr float kFlightSpan = 2000.0f;

// sign -1 while assembling (tiles come from the left), +1 while breaking
// up (they leave to the right). s is the distance in ms from the still
// picture, fade its squared share of the flight span.
void DrawTileGrid(int32_t s, float fade, float sign) {
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::glColor4f(1, 1, 1, 1 - fade);
  dgl::glMatrixMode(GL_PROJECTION);

  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexVtrLogo));

  const float fs = static_cast<float>(s);
  VertexBatch quads(GL_QUADS);
  for (int32_t i = 0; i < CELL_COLUMNS; ++i) {
    for (int32_t j = 0; j < CELL_ROWS; ++j) {
      const TCell &cell = CellGrid[i][j];
      const float fi = static_cast<float>(i), fj = static_cast<float>(j);
      quads.PushMatrix();
      const float x = kTileW / 2 + fi * kTileW - 1 + sign * cell.d * fs / 4000 * fade * fade;
      const float y = kTileH / 2 + fj * kTileH - 1 + ((fs / 100) * fade * cell.a) / 50;
      quads.Translatef(x, y, 0);
      quads.Rotatef(cell.a * fs / 10 * fade, 1, 0, 0);
      quads.Rotatef(cell.b * fs / 10 * fade, 0, 1, 0);
      quads.Rotatef(cell.c * fs / 10 * fade, 0, 0, 1);

      const float u0 = fi / 80, u1 = (fi + 1) / 80;
      const float v0 = 1 - fj / 60, v1 = 1 - (fj + 1) / 60;
      quads.TexCoord2f(u0, v0);
      quads.Vertex3f(-kTileW / 2, -kTileH / 2, 0);
      quads.TexCoord2f(u1, v0);
      quads.Vertex3f(kTileW / 2, -kTileH / 2, 0);
      quads.TexCoord2f(u1, v1);
      quads.Vertex3f(kTileW / 2, kTileH / 2, 0);
      quads.TexCoord2f(u0, v1);
      quads.Vertex3f(-kTileW / 2, kTileH / 2, 0);
      quads.PopMatrix();
    }
  }
}

}  // namespace

void Scene1() {
  const int32_t t = DemoTime;
  // The logo runs at 0.12 frames per ms (the sync unit is 1/0.96 ms).
  const double frame = static_cast<double>(SyncValue) / 8;
  ife_DrawInterface(IfeVantorLogo, frame > kLogoLastFrame ? kLogoLastFrame
                                                          : static_cast<float>(frame));
  if (t > kBreakUp) {
    const int32_t s = t - kBreakUp;
    const float fade = PowCurve2(static_cast<float>(s), kFlightSpan) / kFlightSpan;
    ife_DrawInterface(IfeVantorLogo, kLogoLastFrame);
    DrawTileGrid(s, fade, 1);
  } else {
    int32_t s = kAssembled - t;
    if (s < 0) s = 0;
    const float fade = PowCurve2(static_cast<float>(s), kFlightSpan) / kFlightSpan;
    DrawTileGrid(s, fade, -1);
  }
}
