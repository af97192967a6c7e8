// See vertex_batch.h.
#include "demo/vertex_batch.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "demo/gl_matrix_steps.h"
#include "demo/spare_arrays.h"
#include "window/gl_demo.h"

VertexBatch::VertexBatch(GLenum mode) : mode_(mode) {
  a_.positions = TakeSpareArray();
  a_.colors = TakeSpareArray();
  a_.texCoords = TakeSpareArray();
  a_.normals = TakeSpareArray();
}

VertexBatch::~VertexBatch() {
  Flush();
  GiveBackArray(a_.positions);
  GiveBackArray(a_.colors);
  GiveBackArray(a_.texCoords);
  GiveBackArray(a_.normals);
}

void VertexBatch::Backfill(std::vector<float> &array, int size, GLenum current) {
  const size_t gathered = VertexCount();
  if (gathered == 0) return;
  float value[4] = {0, 0, 0, 1};
  dgl::glGetFloatv(current, value);
  array.reserve(gathered * static_cast<size_t>(size));
  for (size_t v = 0; v < gathered; ++v) array.insert(array.end(), value, value + size);
}

void VertexBatch::Color3f(float r, float g, float b) {
  if (!(uses_ & kColor)) Backfill(a_.colors, 4, GL_CURRENT_COLOR);
  uses_ |= kColor;
  color_ = {r, g, b, 1};
}

void VertexBatch::UpdateNormalMatrix() {
  const Matrix &m = top_;
  // Cofactors of the upper 3 x 3 over its determinant: the inverse
  // transpose, stored row-major.
  const float a = m[0], b = m[4], c = m[8];
  const float d = m[1], e = m[5], f = m[9];
  const float g = m[2], h = m[6], i = m[10];
  const float A = e * i - f * h, B = f * g - d * i, C = d * h - e * g;
  const float det = a * A + b * B + c * C;
  const float k = det != 0 ? 1 / det : 0;
  normalMatrix_ = {A * k, B * k, C * k,
                   (c * h - b * i) * k, (a * i - c * g) * k, (b * g - a * h) * k,
                   (b * f - c * e) * k, (c * d - a * f) * k, (a * e - b * d) * k};
  normalMatrixStale_ = false;
}

void VertexBatch::Vertex3f(float x, float y, float z) {
  if (hidden_) return;
  // Attributes first set after this batch began were back-filled; keep the
  // arrays in step from here on.
  if (uses_ & kTexCoord) {
    if (a_.texCoords.size() < 2 * VertexCount()) Backfill(a_.texCoords, 2, GL_CURRENT_TEXTURE_COORDS);
    a_.texCoords.insert(a_.texCoords.end(), texCoord_.begin(), texCoord_.end());
  }
  if (uses_ & kNormal) {
    if (a_.normals.size() < 3 * VertexCount()) Backfill(a_.normals, 3, GL_CURRENT_NORMAL);
    if (identity_) {
      a_.normals.insert(a_.normals.end(), normal_.begin(), normal_.end());
    } else {
      if (normalMatrixStale_) UpdateNormalMatrix();
      const auto &n = normalMatrix_;
      const float nx = normal_[0], ny = normal_[1], nz = normal_[2];
      a_.normals.push_back(n[0] * nx + n[1] * ny + n[2] * nz);
      a_.normals.push_back(n[3] * nx + n[4] * ny + n[5] * nz);
      a_.normals.push_back(n[6] * nx + n[7] * ny + n[8] * nz);
    }
  }
  if (uses_ & kColor) a_.colors.insert(a_.colors.end(), color_.begin(), color_.end());
  if (identity_) {
    a_.positions.insert(a_.positions.end(), {x, y, z});
  } else {
    const Matrix &m = top_;
    a_.positions.push_back(m[0] * x + m[4] * y + m[8] * z + m[12]);
    a_.positions.push_back(m[1] * x + m[5] * y + m[9] * z + m[13]);
    a_.positions.push_back(m[2] * x + m[6] * y + m[10] * z + m[14]);
  }
}

void VertexBatch::MultiplyBy(const Matrix &b) {
  const Matrix a = top_;
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[col * 4 + k];
      top_[col * 4 + row] = sum;
    }
  identity_ = false;
  normalMatrixStale_ = true;
}

void VertexBatch::LoadMatrix(const Matrix &m) {
  top_ = m;
  identity_ = top_ == kIdentity;
  normalMatrixStale_ = true;
}

void VertexBatch::PopMatrix() {
  if (stack_.empty()) return;  // as OpenGL: an underflow changes nothing
  top_ = stack_.back();
  stack_.pop_back();
  identity_ = top_ == kIdentity;
  normalMatrixStale_ = true;
}

void VertexBatch::Translatef(float x, float y, float z) {
  TranslateGlMatrix(top_, x, y, z);
  identity_ = identity_ && x == 0 && y == 0 && z == 0;
  normalMatrixStale_ = true;
}

void VertexBatch::Scalef(float x, float y, float z) {
  ScaleGlMatrix(top_, x, y, z);
  identity_ = identity_ && x == 1 && y == 1 && z == 1;
  normalMatrixStale_ = true;
}

void VertexBatch::Rotatef(float degrees, float x, float y, float z) {
  const float length = std::sqrt(x * x + y * y + z * z);
  if (length == 0) return;  // no axis: OpenGL leaves the matrix as it is
  x /= length;
  y /= length;
  z /= length;
  const double radians = static_cast<double>(degrees) * std::numbers::pi / 180.0;
  const float s = static_cast<float>(std::sin(radians)), c = static_cast<float>(std::cos(radians));
  const float one = 1 - c;
  const Matrix r = {x * x * one + c,     y * x * one + z * s, x * z * one - y * s, 0,
                    x * y * one - z * s, y * y * one + c,     y * z * one + x * s, 0,
                    x * z * one + y * s, y * z * one - x * s, z * z * one + c,     0,
                    0,                   0,                   0,                   1};
  MultiplyBy(r);
}

namespace {

// The point a modelview maps to the eye-space origin: -A^-1 t for an
// affine matrix [A t]. False for a projective or singular one.
bool EyeOf(const float m[16], std::array<float, 3> &eye) {
  if (m[3] != 0 || m[7] != 0 || m[11] != 0 || m[15] != 1) return false;
  const double a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9];
  const double g = m[2], h = m[6], i = m[10];
  const double A = e * i - f * h, B = f * g - d * i, C = d * h - e * g;
  const double det = a * A + b * B + c * C;
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
  // Rows of the inverse, from the cofactors.
  const double inv[9] = {A / det, (c * h - b * i) / det, (b * f - c * e) / det,
                         B / det, (a * i - c * g) / det, (c * d - a * f) / det,
                         C / det, (b * g - a * h) / det, (a * e - b * d) / det};
  for (int row = 0; row < 3; ++row)
    eye[row] = static_cast<float>(
        -(inv[row * 3] * m[12] + inv[row * 3 + 1] * m[13] + inv[row * 3 + 2] * m[14]));
  return true;
}

}  // namespace

void VertexBatch::ReadEye() {
  float modelview[16] = {};
  dgl::glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  eyeState_ = EyeOf(modelview, eye_) ? Eye::kKnown : Eye::kUnknown;
  eyeDepthRow_ = {modelview[2], modelview[6], modelview[10], modelview[14]};
}

std::array<float, 3> VertexBatch::Place(const float point[3]) const {
  if (identity_) return {point[0], point[1], point[2]};
  const Matrix &m = top_;
  std::array<float, 3> p;
  for (int k = 0; k < 3; ++k)
    p[k] = m[k] * point[0] + m[4 + k] * point[1] + m[8 + k] * point[2] + m[12 + k];
  return p;
}

float VertexBatch::DepthFromEye(const float point[3]) {
  if (eyeState_ == Eye::kUnread) ReadEye();
  if (eyeState_ != Eye::kKnown) return std::numeric_limits<float>::quiet_NaN();
  const std::array<float, 3> p = Place(point);
  const auto &z = eyeDepthRow_;
  return -(z[0] * p[0] + z[1] * p[1] + z[2] * p[2] + z[3]);
}

bool VertexBatch::FacesEye(const float normal[3], const float point[3]) {
  if (eyeState_ == Eye::kUnread) ReadEye();
  if (eyeState_ != Eye::kKnown) return true;
  const std::array<float, 3> p = Place(point);
  float n[3];
  if (identity_) {
    for (int k = 0; k < 3; ++k) n[k] = normal[k];
  } else {
    if (normalMatrixStale_) UpdateNormalMatrix();
    const auto &nm = normalMatrix_;
    for (int k = 0; k < 3; ++k)
      n[k] = nm[k * 3] * normal[0] + nm[k * 3 + 1] * normal[1] + nm[k * 3 + 2] * normal[2];
  }
  const float d[3] = {eye_[0] - p[0], eye_[1] - p[1], eye_[2] - p[2]};
  const float along = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
  const float nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
  const float dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  // Turned away only beyond a thousandth of a radian past edge-on, so that
  // rounding never drops a face the rasteriser would have drawn.
  constexpr float kMargin = 1e-3f;
  return !(along < 0 && along * along > kMargin * kMargin * nn * dd);
}

// The current values an array leaves are undefined; set the last ones, as
// glEnd would have left them.
void VertexBatch::LeaveCurrentValues() {
  if (uses_ & kColor) dgl::glColor4f(color_[0], color_[1], color_[2], color_[3]);
  if (uses_ & kTexCoord) dgl::glTexCoord2f(texCoord_[0], texCoord_[1]);
  if (uses_ & kNormal) dgl::glNormal3f(normal_[0], normal_[1], normal_[2]);
}

void VertexBatch::Flush() {
  const size_t count = VertexCount();
  if (count == 0) {
    // Every vertex hidden: nothing to draw, but the current values move on.
    LeaveCurrentValues();
    uses_ = 0;
    return;
  }
  dgl::glEnableClientState(GL_VERTEX_ARRAY);
  dgl::glVertexPointer(3, GL_FLOAT, 0, a_.positions.data());
  if (uses_ & kColor) {
    dgl::glEnableClientState(GL_COLOR_ARRAY);
    dgl::glColorPointer(4, GL_FLOAT, 0, a_.colors.data());
  }
  if (uses_ & kTexCoord) {
    dgl::glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    dgl::glTexCoordPointer(2, GL_FLOAT, 0, a_.texCoords.data());
  }
  if (uses_ & kNormal) {
    dgl::glEnableClientState(GL_NORMAL_ARRAY);
    dgl::glNormalPointer(GL_FLOAT, 0, a_.normals.data());
  }
  dgl::glDrawArrays(mode_, 0, static_cast<GLsizei>(count));
  dgl::glDisableClientState(GL_VERTEX_ARRAY);
  if (uses_ & kColor) dgl::glDisableClientState(GL_COLOR_ARRAY);
  if (uses_ & kTexCoord) dgl::glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  if (uses_ & kNormal) dgl::glDisableClientState(GL_NORMAL_ARRAY);
  LeaveCurrentValues();
  a_.positions.clear();
  a_.colors.clear();
  a_.texCoords.clear();
  a_.normals.clear();
  uses_ = 0;
}
