// Scenes 6 and 7: the growing path lines with their sprites, and the box
// wall.
//
// Scene 6 (40000 <= t < 48000) grows the 37 field paths of the set-up as
// glowing lines: a wide faint line and a thin bright core run from a tail
// 2 path points behind the head to the head, and a flower sprite opens at
// every path point the head has passed, all added onto the frame while the
// camera drifts along. Positions along a path are counted in hundredths of
// a path point (E, Sb).
//
// Scene 7 (48000 <= t < 56000) builds an 80 x 60 wall of boxes whose fronts
// show "emberfld.tga" and whose backs show "bplogobig.tga"; the wall turns
// through half a turn while the boxes scatter by the near cloud's offsets
// and the far cloud's angles and come back together.
//
// Nothing is kept between frames; the set-up's tables are only read. Main
// thread, inside the frame loop, with the demo's context current.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "demo/curves.h"
#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "demo/vertex_batch.h"
#include "window/gl_demo.h"

namespace {

// ---- scene 6 ----------------------------------------------------------------

constexpr int32_t kPathEnd = 4200;   // hundredths: the last point of a 43-point path
constexpr int32_t kTailLength = 200;
constexpr int32_t kSpriteTextures = 10;

// Every path from the tail Sb to the head E, one segment per hundredth,
// fading from black at the tail to full at the head (T from 0 to 1); the
// colour of a segment is T divided by each channel's divisor.
void DrawPathLines(int32_t Sb, int32_t E, float redDivisor, float greenDivisor,
                   float blueDivisor) {
  dgl::glBegin(GL_LINES);
  for (const TSplinePath &path : FieldPaths) {
    for (int32_t J = Sb; J <= E; ++J) {
      const float T = E == Sb ? 1.0f
                              : 1.0f - static_cast<float>(E - J) / static_cast<float>(E - Sb);
      dgl::glColor3f(T / redDivisor, T / greenDivisor, T / blueDivisor);
      TVec3 p1, p2;
      SplinePoint(p1, path, static_cast<float>(J) / 100.0f);
      SplinePoint(p2, path, static_cast<float>(J + 1) / 100.0f);
      dgl::glVertex2f(p1.x, p1.y);  // the paths lie in z = 0
      dgl::glVertex2f(p2.x, p2.y);
    }
  }
  dgl::glEnd();
}

void DrawSpriteQuad(float x, float y, float R) {
  dgl::glTexCoord2f(0, 0);
  dgl::glVertex2f(x + R, y + R);
  dgl::glTexCoord2f(1, 0);
  dgl::glVertex2f(x - R, y + R);
  dgl::glTexCoord2f(1, 1);
  dgl::glVertex2f(x - R, y - R);
  dgl::glTexCoord2f(0, 1);
  dgl::glVertex2f(x + R, y - R);
}

// One sprite per path point, grouped by texture; a sprite opens while the
// head moves from its point to the next.
void DrawPathSprites(int32_t E) {
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glDisable(GL_DEPTH_TEST);
  for (int32_t F = 0; F < kSpriteTextures; ++F) {
    dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexVirag[F]));
    dgl::glBegin(GL_QUADS);
    for (int32_t i = 0; i < FIELD_PATHS; ++i) {
      const TSplinePath &path = FieldPaths[i];
      for (int32_t J = 0; J < FIELD_PATH_POINTS && J < path.count; ++J) {
        if ((J * 36 + i) % kSpriteTextures != F) continue;
        const TVec3 &point = path.points[J];
        const float T = std::clamp(static_cast<float>(E) / 100.0f - static_cast<float>(J), 0.0f,
                                   1.0f);
        dgl::glColor3f(0.4f, 0.4f, 0.4f);
        DrawSpriteQuad(point.x, point.y, 1.4f * T);
        dgl::glColor3f(0.1f, 0.1f, 0.1f);  // a faint halo
        DrawSpriteQuad(point.x, point.y, 2.0f * T);
      }
    }
    dgl::glEnd();
  }
}

// ---- scene 7 ----------------------------------------------------------------

constexpr int32_t kWallColumns = 80, kWallRows = 60;
constexpr int32_t kWallBoxes = kWallColumns * kWallRows;

enum WallPass { kFronts, kBacks, kSides };

// The sides of a box, between its front (z = 1) and its back (z = -1).
struct BoxSide {
  float normal[3];
  float corners[4][3];
};
constexpr BoxSide kBoxSides[4] = {
    {{0, -1, 0}, {{0, 0, -1}, {1, 0, -1}, {1, 0, 1}, {0, 0, 1}}},
    {{0, 1, 0}, {{0, 1, -1}, {1, 1, -1}, {1, 1, 1}, {0, 1, 1}}},
    {{-1, 0, 0}, {{0, 0, -1}, {0, 1, -1}, {0, 1, 1}, {0, 0, 1}}},
    {{1, 0, 0}, {{1, 0, -1}, {1, 1, -1}, {1, 1, 1}, {1, 0, 1}}},
};
constexpr float kFrontNormal[3] = {0, 0, 1}, kFrontCorner[3] = {0, 0, 1};
constexpr float kBackNormal[3] = {0, 0, -1}, kBackCorner[3] = {0, 0, -1};

// The faces of one box of column c and row r in one pass. The boxes are
// closed, opaque and depth-tested: a face turned away from the eye is
// hidden by the box's own faces, so its vertices are not sent.
void DrawBoxFaces(VertexBatch &quads, WallPass pass, int32_t c, int32_t r) {
  const int32_t q = 60 - r;
  const float s0 = static_cast<float>(c) / 80.0f;
  const float t0 = static_cast<float>(q) / 60.0f;
  const float t1 = static_cast<float>(q - 1) / 60.0f;
  switch (pass) {
    case kFronts: {
      quads.Hide(!quads.FacesEye(kFrontNormal, kFrontCorner));
      const float s1 = static_cast<float>(c + 1) / 80.0f;
      quads.TexCoord2f(s0, t0);
      quads.Vertex3f(0, 0, 1);
      quads.TexCoord2f(s1, t0);
      quads.Vertex3f(1, 0, 1);
      quads.TexCoord2f(s1, t1);
      quads.Vertex3f(1, 1, 1);
      quads.TexCoord2f(s0, t1);
      quads.Vertex3f(0, 1, 1);
      break;
    }
    case kBacks: {
      quads.Hide(!quads.FacesEye(kBackNormal, kBackCorner));
      // Seen from behind the cell is mirrored, so it runs leftwards.
      const float s1 = static_cast<float>(c - 1) / 80.0f;
      quads.TexCoord2f(s0, t0);
      quads.Vertex3f(0, 0, -1);
      quads.TexCoord2f(s1, t0);
      quads.Vertex3f(1, 0, -1);
      quads.TexCoord2f(s1, t1);
      quads.Vertex3f(1, 1, -1);
      quads.TexCoord2f(s0, t1);
      quads.Vertex3f(0, 1, -1);
      break;
    }
    case kSides:
      for (const BoxSide &side : kBoxSides) {
        quads.Hide(!quads.FacesEye(side.normal, side.corners[0]));
        quads.Normal3f(side.normal[0], side.normal[1], side.normal[2]);
        for (const auto &v : side.corners) quads.Vertex3f(v[0], v[1], v[2]);
      }
      break;
  }
  quads.Hide(false);
}

// Every box's matrix: scattered by B (0 whole, 1 full scatter) and turned
// by A degrees about y. The three passes share them.
std::vector<VertexBatch::Matrix> WallBoxes(float A, float B) {
  const float K = 1;  // the whole wall sits one unit to the right
  std::vector<VertexBatch::Matrix> boxes;
  boxes.reserve(kWallBoxes);
  VertexBatch matrices(GL_QUADS);  // only its matrix stack is used
  for (int32_t I = 0; I < kWallBoxes; ++I) {
    const int32_t c = I % kWallColumns, r = I / kWallColumns;
    const TVec3 &S = NearCloud[I];
    const TVec3 &R = FarCloud[I];
    matrices.PushMatrix();
    matrices.Translatef(static_cast<float>(c - 40) + S.x * B + K,
                        static_cast<float>(r - 30) + S.y * B, S.z * B);
    matrices.Rotatef(R.x * B, 1, 0, 0);
    matrices.Rotatef(R.y * B + A, 0, 1, 0);
    matrices.Rotatef(R.z * B, 0, 0, 1);
    boxes.push_back(matrices.TopMatrix());
    matrices.PopMatrix();
  }
  return boxes;
}

// Every box of the wall in one pass, each under its own matrix; the pass
// reaches OpenGL as one draw, and goes to the rasteriser at once so that it
// is drawn while the next pass is gathered.
void DrawWallPass(WallPass pass, const std::vector<VertexBatch::Matrix> &boxes) {
  {
    VertexBatch quads(GL_QUADS);
    for (int32_t I = 0; I < kWallBoxes; ++I) {
      quads.LoadMatrix(boxes[static_cast<size_t>(I)]);
      DrawBoxFaces(quads, pass, I % kWallColumns, I / kWallColumns);
    }
  }
  dgl::glFlush();
}

}  // namespace

void Scene6() {
  const int32_t t = DemoTime;
  const int32_t s = (t - 40000) * 5;
  int32_t E = static_cast<int32_t>(
      std::llround(PowCurve2(static_cast<float>(s) / 8.0f, 4400)));
  int32_t Sb = E - kTailLength;
  if (E > kPathEnd) E = kPathEnd;
  if (Sb > kPathEnd) Sb = kPathEnd;

  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(60, 1.3333333333333333, 0.1, 1000);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  const float p = PowCurve8(static_cast<float>(E) / 100.0f, 42);
  const float X = -3.0f + static_cast<float>(E) / 22.0f - 2.2f * p;
  dgl::gluLookAt(X, 16, 12.0f + 3.2f * p, X, 16, 4, 0, 1, 0);
  dgl::glRotatef(4.2f - static_cast<float>(E) / 1000.0f, -0.2f, 0.1f, 0.3f);

  if (Sb < 0) Sb = 0;

  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  dgl::glDisable(GL_DEPTH_TEST);
  dgl::glLineWidth(3);
  DrawPathLines(Sb, E, 8, 8, 6);
  dgl::glLineWidth(1);
  DrawPathLines(Sb, E, 4, 4, 4);  // the bright core

  DrawPathSprites(E);  // still added: blending stays (GL_ONE, GL_ONE)
}

void Scene7() {
  const int32_t t = DemoTime;
  const float A = std::min(static_cast<float>(t - 48000) / 8000.0f, 1.0f) * 180.0f;
  const float B = t < 52000 ? PowCurve2(static_cast<float>(t - 48000), 4000) / 4000
                            : PowCurve2(static_cast<float>(4000 - (t - 52000)), 4000) / 4000;

  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluPerspective(60, 1.3333333333333333, 0.1, 1000);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::gluLookAt(0, 0, 53.026, 0.001, 0.001, 0.001, 0, 1, 0);

  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glRotatef(2 * A, 0, 1, 0);
  dgl::glRotatef(4 * A, 1, 0, 0);
  dgl::glRotatef(-2 * A, 0, 0, 1);
  dgl::glDisable(GL_BLEND);
  dgl::glEnable(GL_DEPTH_TEST);

  const std::vector<VertexBatch::Matrix> boxes = WallBoxes(A, B);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexEmberfld));
  DrawWallPass(kFronts, boxes);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexBpLogoBig));
  DrawWallPass(kBacks, boxes);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexHatter));
  dgl::glEnable(GL_TEXTURE_GEN_S);
  dgl::glEnable(GL_TEXTURE_GEN_T);
  dgl::glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  dgl::glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  DrawWallPass(kSides, boxes);
  dgl::glDisable(GL_TEXTURE_GEN_S);
  dgl::glDisable(GL_TEXTURE_GEN_T);
}
