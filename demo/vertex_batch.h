// Immediate-mode drawing gathered into vertex arrays.
//
// The scenes draw thousands of small primitives, each between glBegin and
// glEnd and often under a matrix of its own. Every such call costs the
// driver set-up on the CPU, and that cost, not the pixels, is what limits
// the frame rate. A VertexBatch takes the same calls (colour, texture
// coordinate, normal, vertex, and a matrix stack of its own) and sends
// everything gathered as one glDrawArrays when flushed: at Flush, at
// destruction, or before anything else touches the OpenGL state.
//
// The batch's matrix stack starts at identity and is applied on the CPU
// (positions by the matrix, normals by its inverse transpose, as OpenGL
// would); the context's own matrices apply on top as before, so eye-space
// positions and normals (lighting, sphere mapping) come out as if each
// primitive had pushed its own modelview. An attribute never set in the
// batch is not sent: the context's current value applies, as it would to
// glBegin .. glEnd. After a draw the context's current colour, normal and
// texture coordinate are the last ones set in the batch, as after glEnd.
//
// One primitive mode per batch. Main thread, with the demo's context
// current (or a recording table).
#pragma once

#include <GL/gl.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class VertexBatch {
public:
  explicit VertexBatch(GLenum mode);
  ~VertexBatch();
  VertexBatch(const VertexBatch &) = delete;
  VertexBatch &operator=(const VertexBatch &) = delete;

  void Color3f(float r, float g, float b);
  void TexCoord2f(float s, float t) {
    uses_ |= kTexCoord;
    texCoord_ = {s, t};
  }
  void Normal3f(float x, float y, float z) {
    uses_ |= kNormal;
    normal_ = {x, y, z};
  }
  void Vertex3f(float x, float y, float z);
  void Vertex2f(float x, float y) { Vertex3f(x, y, 0); }

  // The batch's own matrix: a stack like OpenGL's modelview, multiplied on
  // the right in the same way.
  void PushMatrix() { stack_.push_back(top_); }
  void PopMatrix();
  void Translatef(float x, float y, float z);
  void Rotatef(float degrees, float x, float y, float z);
  void Scalef(float x, float y, float z);
  // The matrix in force, to be set again later without working it out anew.
  using Matrix = std::array<float, 16>;  // column-major, as OpenGL keeps it
  const Matrix &TopMatrix() const { return top_; }
  void LoadMatrix(const Matrix &m);

  // Whether the face through `point` with outward `normal`, both in the
  // batch's current coordinates, is turned towards the eye. A face of a
  // closed, opaque, depth-tested solid that is turned away is hidden by
  // the solid's other faces whatever the order, so it need not be sent.
  // The eye is the origin of eye space, read from the context's modelview
  // the first time this is asked (a perspective projection); a face seen
  // edge-on, or any face when the matrices leave no clear answer, counts
  // as turned towards it.
  bool FacesEye(const float normal[3], const float point[3]);
  // How far in front of the eye `point` (in the batch's current
  // coordinates) lies along the view direction: minus its eye-space z,
  // from the modelview read as for FacesEye. NaN when that gives no clear
  // answer.
  float DepthFromEye(const float point[3]);
  // While hidden, vertices are dropped, but colours, texture coordinates
  // and normals still become the current ones: what the batch leaves
  // behind is as if every face had been sent.
  void Hide(bool hidden) { hidden_ = hidden; }

  // Draws what has been gathered and starts again (the matrix stack stays).
  void Flush();

  size_t VertexCount() const { return a_.positions.size() / 3; }

private:
  static constexpr uint8_t kColor = 1, kTexCoord = 2, kNormal = 4;
  static constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  void MultiplyBy(const Matrix &m);
  // Fills the attribute for the vertices gathered before it was first set,
  // from the context's current value.
  void Backfill(std::vector<float> &array, int size, GLenum current);
  void UpdateNormalMatrix();
  void LeaveCurrentValues();

  GLenum mode_;
  uint8_t uses_ = 0;
  bool hidden_ = false;
  std::array<float, 4> color_{1, 1, 1, 1};
  std::array<float, 2> texCoord_{0, 0};
  std::array<float, 3> normal_{0, 0, 1};
  Matrix top_ = kIdentity;
  bool identity_ = true;
  bool normalMatrixStale_ = false;
  std::array<float, 9> normalMatrix_{};  // inverse transpose of top_'s 3 x 3
  std::vector<Matrix> stack_;
  void ReadEye();
  // Where point lands in the coordinates the batch's matrix maps to.
  std::array<float, 3> Place(const float point[3]) const;

  enum class Eye : uint8_t { kUnread, kKnown, kUnknown } eyeState_ = Eye::kUnread;
  std::array<float, 3> eye_{};  // in the coordinates the batch's matrix maps to
  std::array<float, 4> eyeDepthRow_{};  // the modelview's z row
  // The arrays outlive the batch (see spare_arrays.h): a frame
  // of one scene gathers the same megabytes as the last one did.
  struct Arrays {
    std::vector<float> positions, colors, texCoords, normals;
  };
  Arrays a_;
};
