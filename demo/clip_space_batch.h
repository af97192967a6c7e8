// Quads under matrices of their own, gathered into a few draws without
// moving a single vertex by a bit.
//
// The tile torus draws thousands of small quads and cubes, each between
// glPushMatrix and glPopMatrix, and a tile and the front face of its cube
// share a plane. Which of two coplanar faces wins the depth test depends
// on the last bit of every vertex, so VertexBatch (which moves vertices on
// the CPU and lets the context transform them once more) changes the
// picture. A ClipSpaceBatch instead repeats the context's own arithmetic
// on the CPU, as Mesa's fixed-function path does it in float:
//   - glTranslatef and glScalef composed into the modelview, projection
//     times modelview;
//   - each vertex transformed by a multiply and three adds in order x, y,
//     z, w, never fused;
//   - for sphere-mapped texture coordinates, the eye position the same
//     way, then the vertex program's sphere map with its sums taken last
//     component first; the eye normals come from the context itself
//     (normal-map texture generation read back in feedback mode), so its
//     own inverse of the modelview is used.
// It then draws those clip coordinates under identity matrices, so they
// reach the rasteriser unchanged.
//
// Draw boundaries matter as well: llvmpipe's draw module takes a draw in
// pieces of at least 4096 vertices and sends a whole piece down its
// clipping path as soon as one of its vertices lies outside the view
// volume, and that path splits quads into triangles the other way round.
// The batch takes the vertices given under one matrix as one glBegin ..
// glEnd of the immediate-mode code and keeps each on its path: those
// wholly inside the view volume are drawn together, those that cross its
// border together in draws of at most 4096 vertices, and one wholly
// outside one of its planes is left out (it would draw nothing).
//
// The batch only does this where it has been shown to match. The first
// batch of each kind in a process draws nine small cubes both ways in
// feedback mode, in the context's state as it finds it, and compares
// every number (feedback mode shows the arithmetic, not the draw paths:
// the torus scene's tests compare whole frames both ways for that); and
// each batch checks that lighting, fog and clip planes
// are off, the texture matrix is the identity and the texture generation
// is the one it was made for (none, or sphere-mapped s and t only).
// Anywhere else (another OpenGL, a recording table) every call goes
// straight to the context, exactly as the immediate-mode code would make
// it: glBegin(GL_QUADS) before the first attribute under a matrix, glEnd
// before the next matrix call.
//
// Quads only, one texture unit, the modelview the current matrix; the
// context's state must stay as it is while a batch gathers. After the draw
// the current normal and texture coordinate are the last ones given, as
// after glEnd; the context's matrices are as they were. Main thread, with
// the demo's context current (or a recording table).
#pragma once

#include <GL/gl.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class ClipSpaceBatch {
public:
  // Texture coordinates given with TexCoord2f, or generated for s and t
  // by GL_SPHERE_MAP (which the context must have enabled for s and t).
  enum class TexCoords : uint8_t { kGiven, kSphereMap };

  explicit ClipSpaceBatch(TexCoords texCoords);
  ~ClipSpaceBatch();
  ClipSpaceBatch(const ClipSpaceBatch &) = delete;
  ClipSpaceBatch &operator=(const ClipSpaceBatch &) = delete;

  // On top of the context's modelview, as glPushMatrix and friends.
  void PushMatrix();
  void PopMatrix();
  void Translatef(float x, float y, float z);
  void Scalef(float x, float y, float z);

  void TexCoord2f(float s, float t);
  void Normal3f(float x, float y, float z);
  void Vertex3f(float x, float y, float z);

  // Draws what has been gathered (the matrix stack stays).
  void Flush();

  // Whether this batch computes clip coordinates rather than passing the
  // calls on.
  bool Exact() const { return exact_; }

  // Tests compare both ways: with false, every batch made afterwards
  // passes its calls on.
  static void AllowExact(bool allowed);

private:
  // Whether a kind of batch has been found to match the context.
  enum class Verdict : uint8_t { kUnknown, kMatches, kDiffers };
  static Verdict verdicts_[2];  // per kind of texture coordinates

  using Matrix = std::array<float, 16>;  // column-major, as OpenGL keeps it
  // A matrix call since the batch began, made again when the context is
  // asked for its normal transform.
  struct MatrixCall {
    bool scale;  // else a translation
    float x, y, z;
  };
  // The rows of the context's inverse transpose for one upper 3 x 3.
  struct NormalMatrix {
    std::array<float, 9> linear;
    std::array<float, 9> rows;
    // Normals given so far and what the program makes of them.
    std::vector<std::pair<std::array<float, 3>, std::array<float, 3>>> eyeNormals;
  };
  static constexpr size_t kNoNormals = ~size_t{0};
  // A vertex position already transformed under the current matrix.
  struct Corner {
    float in[3];
    float clip[4];
    uint32_t planes;    // the clip planes it lies outside of
    float unitEye[3];   // with sphere mapping
  };
  static constexpr int kCorners = 8;
  // Sphere-mapped vertices waiting for their s and t.
  static constexpr int kPending = 32;
  struct SphereInputs {
    float ux[kPending], uy[kPending], uz[kPending];  // unit eye position
    float nx[kPending], ny[kPending], nz[kPending];  // eye normal
  };
  struct Range {
    GLint first;
    GLsizei count;
    bool inside;  // wholly inside the view volume, so others may join
  };

  ClipSpaceBatch(TexCoords texCoords, bool exact);
  static Verdict CompareWithContext(TexCoords texCoords);
  void Start();
  bool StateIsReproducible() const;
  void Begin();
  void End();
  void MatrixChanged();
  const Corner &CornerAt(float x, float y, float z);
  void WorkOutSphereMap();
  void EndCopy();
  void Draw();
  bool UpdateEyeNormal();
  bool ReadNormalMatrix(std::array<float, 9> &rows);
  void GiveUp();
  static void MakeCall(const MatrixCall &call);

  TexCoords kind_;
  bool exact_;
  bool begun_ = false;  // passing on: inside glBegin .. glEnd
  bool normalize_ = false;
  bool gaveTexCoord_ = false, gaveNormal_ = false;
  bool leaveTexCoord_ = false, leaveNormal_ = false;  // given since the last draw
  std::array<float, 2> texCoord_{0, 0};
  std::array<float, 3> normal_{0, 0, 1};
  std::array<float, 4> currentTexCoord_{0, 0, 0, 1};  // as the batch found it

  Matrix projection_{};
  Matrix top_{};
  Matrix mvp_{};
  bool mvpStale_ = true;
  std::vector<std::pair<Matrix, size_t>> stack_;  // a top, and the calls made below it
  std::vector<MatrixCall> calls_;
  std::vector<NormalMatrix> normalMatrices_;
  size_t normals_ = kNoNormals;  // the one for the current matrix
  std::array<float, 3> eyeNormal_{};
  bool eyeNormalStale_ = true;
  Corner corners_[kCorners];
  int cornerCount_ = 0, cornerNext_ = 0;
  SphereInputs sphereInputs_;
  int pending_ = 0;

  // The copy being given starts at vertex copyStart_; copyAll_ has the
  // clip planes all its vertices lie outside, copyAny_ those any does.
  size_t copyStart_ = 0;
  uint32_t copyAll_ = ~0u, copyAny_ = 0;
  std::vector<float> clip_;           // x y z w per vertex
  std::vector<float> texCoordArray_;  // s t, or s t r q, per vertex
  int texSize_ = 2;
  std::vector<Range> draws_;
};
