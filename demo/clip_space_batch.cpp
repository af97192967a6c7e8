// See clip_space_batch.h. Built with floating-point contraction off: every
// product and sum here must round on its own, as the context's do.
#include "demo/clip_space_batch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "demo/gl_matrix_steps.h"
#include "demo/spare_arrays.h"
#include "window/gl_demo.h"

namespace {

using Matrix = std::array<float, 16>;
constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

bool exactAllowed = true;

// The draw module runs a draw of quads through its clipping path in pieces
// of at least this many vertices, a piece as a whole.
constexpr GLsizei kClippedTogether = 4096;

// Vertices gathered before they are drawn: a few draws a frame keep the
// rasteriser busy beside the main thread without paying much for each.
constexpr size_t kVerticesPerDraw = 16384;

// a times b, each element summed left to right as Mesa's matmul4 does.
Matrix Multiply(const Matrix &a, const Matrix &b) {
  Matrix p;
  for (int i = 0; i < 4; ++i) {
    const float ai0 = a[i], ai1 = a[4 + i], ai2 = a[8 + i], ai3 = a[12 + i];
    for (int j = 0; j < 4; ++j)
      p[j * 4 + i] = ai0 * b[j * 4] + ai1 * b[j * 4 + 1] + ai2 * b[j * 4 + 2] + ai3 * b[j * 4 + 3];
  }
  return p;
}

// Row r of m times (x, y, z, 1): the fixed-function program's multiply
// and adds, x first; w * m[12 + r] is m[12 + r] itself.
inline float Row(const Matrix &m, int r, float x, float y, float z) {
  return ((x * m[r] + y * m[4 + r]) + z * m[8 + r]) + m[12 + r];
}

// A three-component dot product as the shader compiler lowers it: the
// last component's product first.
inline float Dot3(const float *a, const float *b) {
  return (a[2] * b[2] + a[1] * b[1]) + a[0] * b[0];
}

inline float InverseSqrt(float x) { return 1.0f / std::sqrt(x); }

// The clip planes a clip-space vertex lies outside of, tested as the draw
// module tests them (x > w, 0 > x + w, ...; a NaN is outside).
inline uint32_t OutsidePlanes(const float *h) {
  uint32_t planes = 0;
  if (!(h[0] <= h[3])) planes |= 1;
  if (!(0 <= h[0] + h[3])) planes |= 2;
  if (!(h[1] <= h[3])) planes |= 4;
  if (!(0 <= h[1] + h[3])) planes |= 8;
  if (!(0 <= h[2] + h[3])) planes |= 16;
  if (!(h[2] <= h[3])) planes |= 32;
  return planes;
}

// Room for n more floats at the end of v.
inline float *Append(std::vector<float> &v, size_t n) {
  v.resize(v.size() + n);
  return v.data() + v.size() - n;
}

std::array<float, 9> Linear(const Matrix &m) {
  return {m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]};
}

}  // namespace

ClipSpaceBatch::Verdict ClipSpaceBatch::verdicts_[2] = {};

void ClipSpaceBatch::AllowExact(bool allowed) { exactAllowed = allowed; }

ClipSpaceBatch::ClipSpaceBatch(TexCoords texCoords) : kind_(texCoords), exact_(false) {
  if (!exactAllowed) return;
  // A recording table answers no strings: it gets the calls as they are.
  if (!dgl::glGetString(GL_RENDERER) || !StateIsReproducible()) return;
  Verdict &verdict = verdicts_[static_cast<int>(texCoords)];
  if (verdict == Verdict::kUnknown) verdict = CompareWithContext(texCoords);
  if (verdict == Verdict::kMatches) Start();
}

ClipSpaceBatch::ClipSpaceBatch(TexCoords texCoords, bool exact)
    : kind_(texCoords), exact_(false) {
  if (exact) Start();
}

void ClipSpaceBatch::Start() {
  exact_ = true;
  dgl::glGetFloatv(GL_PROJECTION_MATRIX, projection_.data());
  dgl::glGetFloatv(GL_MODELVIEW_MATRIX, top_.data());
  dgl::glGetFloatv(GL_CURRENT_TEXTURE_COORDS, currentTexCoord_.data());
  normalize_ = dgl::glIsEnabled(GL_NORMALIZE);
  // r and q only when they could be other than 0 and 1.
  if (kind_ == TexCoords::kSphereMap && (currentTexCoord_[2] != 0 || currentTexCoord_[3] != 1))
    texSize_ = 4;
  clip_ = TakeSpareArray();
  texCoordArray_ = TakeSpareArray();
}

ClipSpaceBatch::~ClipSpaceBatch() {
  Flush();
  GiveBackArray(clip_);
  GiveBackArray(texCoordArray_);
}

bool ClipSpaceBatch::StateIsReproducible() const {
  GLint mode = 0;
  dgl::glGetIntegerv(GL_MATRIX_MODE, &mode);
  if (mode != GL_MODELVIEW) return false;
  // What the vertex program would compute from eye space, which the draw
  // under identity matrices cannot give.
  for (GLenum cap : {GL_LIGHTING, GL_FOG, GL_RESCALE_NORMAL, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q,
                     GL_CLIP_PLANE0, GL_CLIP_PLANE1, GL_CLIP_PLANE2, GL_CLIP_PLANE3,
                     GL_CLIP_PLANE4, GL_CLIP_PLANE5})
    if (dgl::glIsEnabled(cap)) return false;
  const bool sphere = kind_ == TexCoords::kSphereMap;
  for (GLenum coord : {GL_S, GL_T}) {
    if (dgl::glIsEnabled(coord == GL_S ? GL_TEXTURE_GEN_S : GL_TEXTURE_GEN_T) != sphere)
      return false;
    GLint generation = 0;
    if (sphere) dgl::glGetTexGeniv(coord, GL_TEXTURE_GEN_MODE, &generation);
    if (sphere && generation != GL_SPHERE_MAP) return false;
  }
  Matrix texture{};
  dgl::glGetFloatv(GL_TEXTURE_MATRIX, texture.data());
  return texture == kIdentity;
}

// ---- passing the calls on, or changing the batch's own matrix ------------

void ClipSpaceBatch::Begin() {
  if (begun_) return;
  dgl::glBegin(GL_QUADS);
  begun_ = true;
}

void ClipSpaceBatch::End() {
  if (!begun_) return;
  dgl::glEnd();
  begun_ = false;
}

void ClipSpaceBatch::PushMatrix() {
  if (!exact_) {
    End();
    dgl::glPushMatrix();
    return;
  }
  EndCopy();
  stack_.emplace_back(top_, calls_.size());
}

void ClipSpaceBatch::PopMatrix() {
  if (!exact_) {
    End();
    dgl::glPopMatrix();
    return;
  }
  EndCopy();
  if (stack_.empty()) return;  // as OpenGL: an underflow changes nothing
  top_ = stack_.back().first;
  calls_.resize(stack_.back().second);
  stack_.pop_back();
  MatrixChanged();
}

void ClipSpaceBatch::Translatef(float x, float y, float z) {
  if (!exact_) {
    End();
    dgl::glTranslatef(x, y, z);
    return;
  }
  EndCopy();
  TranslateGlMatrix(top_, x, y, z);
  calls_.push_back({false, x, y, z});
  MatrixChanged();
}

void ClipSpaceBatch::Scalef(float x, float y, float z) {
  if (!exact_) {
    End();
    dgl::glScalef(x, y, z);
    return;
  }
  EndCopy();
  ScaleGlMatrix(top_, x, y, z);
  calls_.push_back({true, x, y, z});
  MatrixChanged();
}

void ClipSpaceBatch::MatrixChanged() {
  mvpStale_ = true;
  eyeNormalStale_ = true;
  normals_ = kNoNormals;
  cornerCount_ = 0;
  cornerNext_ = 0;
}

// ---- vertices -------------------------------------------------------------

void ClipSpaceBatch::TexCoord2f(float s, float t) {
  gaveTexCoord_ = leaveTexCoord_ = true;
  texCoord_ = {s, t};
  if (!exact_) {
    Begin();
    dgl::glTexCoord2f(s, t);
  }
}

void ClipSpaceBatch::Normal3f(float x, float y, float z) {
  gaveNormal_ = leaveNormal_ = true;
  normal_ = {x, y, z};
  eyeNormalStale_ = true;
  if (!exact_) {
    Begin();
    dgl::glNormal3f(x, y, z);
  }
}

void ClipSpaceBatch::Vertex3f(float x, float y, float z) {
  if (exact_ && kind_ == TexCoords::kSphereMap && eyeNormalStale_ && !UpdateEyeNormal())
    GiveUp();
  if (!exact_) {
    Begin();
    dgl::glVertex3f(x, y, z);
    return;
  }
  const Corner &corner = CornerAt(x, y, z);
  copyAll_ &= corner.planes;
  copyAny_ |= corner.planes;
  float *out = Append(clip_, 4);
  for (int k = 0; k < 4; ++k) out[k] = corner.clip[k];

  float *tex = Append(texCoordArray_, texSize_);
  if (kind_ == TexCoords::kGiven) {
    if (gaveTexCoord_) {
      tex[0] = texCoord_[0];
      tex[1] = texCoord_[1];
      if (texSize_ == 4) {
        tex[2] = 0;
        tex[3] = 1;
      }
    } else {
      for (int k = 0; k < texSize_; ++k) tex[k] = currentTexCoord_[k];
    }
    return;
  }
  // With no texture coordinate given, r and q are the current ones; s and
  // t are worked out a few vertices at a time.
  if (texSize_ == 4) {
    tex[2] = gaveTexCoord_ ? 0 : currentTexCoord_[2];
    tex[3] = gaveTexCoord_ ? 1 : currentTexCoord_[3];
  }
  SphereInputs &in = sphereInputs_;
  in.ux[pending_] = corner.unitEye[0];
  in.uy[pending_] = corner.unitEye[1];
  in.uz[pending_] = corner.unitEye[2];
  in.nx[pending_] = eyeNormal_[0];
  in.ny[pending_] = eyeNormal_[1];
  in.nz[pending_] = eyeNormal_[2];
  if (++pending_ == kPending) WorkOutSphereMap();
}

namespace {

// The vertex program's sphere map: u the unit eye position, n the eye
// normal, r = u - 2 (n.u) n, m = 2 |r + (0, 0, 1)|, texture coordinate
// r / m + 1/2. The shader compiler takes the 1 added to r's z before the
// eye position's share. Each lane rounds as the scalar operations would,
// so the compiler may run several vertices at once.
void SphereMap(int count, const float *__restrict ux, const float *__restrict uy,
               const float *__restrict uz, const float *__restrict nx,
               const float *__restrict ny, const float *__restrict nz, float *__restrict s,
               float *__restrict t) {
  for (int i = 0; i < count; ++i) {
    const float nu = (nz[i] * uz[i] + ny[i] * uy[i]) + nx[i] * ux[i];
    const float twice = nu + nu;
    const float rx = -twice * nx[i] + ux[i], ry = -twice * ny[i] + uy[i];
    const float rz1 = (-twice * nz[i] + 1.0f) + uz[i];
    const float half = 1.0f / std::sqrt((rz1 * rz1 + ry * ry) + rx * rx) * 0.5f;
    s[i] = rx * half + 0.5f;
    t[i] = ry * half + 0.5f;
  }
}

}  // namespace

void ClipSpaceBatch::WorkOutSphereMap() {
  if (pending_ == 0) return;
  SphereInputs &in = sphereInputs_;
  float s[kPending], t[kPending];
  SphereMap(pending_, in.ux, in.uy, in.uz, in.nx, in.ny, in.nz, s, t);
  const size_t first = clip_.size() / 4 - static_cast<size_t>(pending_);
  for (int i = 0; i < pending_; ++i) {
    texCoordArray_[(first + i) * texSize_] = s[i];
    texCoordArray_[(first + i) * texSize_ + 1] = t[i];
  }
  pending_ = 0;
}

// A corner's clip coordinates (and unit eye position, when sphere mapping)
// under the current matrix; a box gives each corner three times.
const ClipSpaceBatch::Corner &ClipSpaceBatch::CornerAt(float x, float y, float z) {
  const float in[3] = {x, y, z};
  for (int i = 0; i < cornerCount_; ++i)
    if (std::memcmp(corners_[i].in, in, sizeof in) == 0) return corners_[i];
  if (mvpStale_) {
    mvp_ = Multiply(projection_, top_);
    mvpStale_ = false;
  }
  Corner &c = corners_[cornerNext_];
  cornerNext_ = (cornerNext_ + 1) % kCorners;
  if (cornerCount_ < kCorners) ++cornerCount_;
  std::memcpy(c.in, in, sizeof in);
  for (int r = 0; r < 4; ++r) c.clip[r] = Row(mvp_, r, x, y, z);
  c.planes = OutsidePlanes(c.clip);
  if (kind_ == TexCoords::kSphereMap) {
    const float e[3] = {Row(top_, 0, x, y, z), Row(top_, 1, x, y, z), Row(top_, 2, x, y, z)};
    const float scale = InverseSqrt(Dot3(e, e));
    for (int k = 0; k < 3; ++k) c.unitEye[k] = e[k] * scale;
  }
  return c;
}

// Closes the copy given under the matrix that is about to change.
void ClipSpaceBatch::EndCopy() {
  WorkOutSphereMap();
  const size_t end = clip_.size() / 4;
  if (end == copyStart_) return;
  const GLint first = static_cast<GLint>(copyStart_);
  const GLsizei count = static_cast<GLsizei>(end - copyStart_);
  if (copyAll_ != 0) {  // beyond one plane as a whole: draws nothing
    clip_.resize(copyStart_ * 4);
    texCoordArray_.resize(copyStart_ * texSize_);
  } else {
    // Copies on the same path share a draw; those that cross the border
    // only as long as the draw module takes the draw in one piece.
    const bool inside = copyAny_ == 0;
    Range *last = draws_.empty() ? nullptr : &draws_.back();
    if (last && last->inside == inside && last->first + last->count == first &&
        (inside || last->count + count <= kClippedTogether))
      last->count += count;
    else
      draws_.push_back({first, count, inside});
  }
  copyStart_ = clip_.size() / 4;
  copyAll_ = ~0u;
  copyAny_ = 0;
  if (copyStart_ >= kVerticesPerDraw) Draw();
}

// ---- eye normals ----------------------------------------------------------

bool ClipSpaceBatch::UpdateEyeNormal() {
  if (normals_ == kNoNormals) {
    const std::array<float, 9> linear = Linear(top_);
    for (size_t i = 0; i < normalMatrices_.size() && normals_ == kNoNormals; ++i)
      if (normalMatrices_[i].linear == linear) normals_ = i;
    if (normals_ == kNoNormals) {
      NormalMatrix read{linear, {}, {}};
      if (!ReadNormalMatrix(read.rows)) return false;
      normalMatrices_.push_back(read);
      normals_ = normalMatrices_.size() - 1;
    }
  }
  NormalMatrix &m = normalMatrices_[normals_];
  for (const auto &known : m.eyeNormals)
    if (known.first == normal_) {
      eyeNormal_ = known.second;
      eyeNormalStale_ = false;
      return true;
    }
  // The program's normal transform (a dot product per row) and, with
  // GL_NORMALIZE, its normalisation.
  float n[3];
  for (int r = 0; r < 3; ++r) n[r] = Dot3(normal_.data(), &m.rows[r * 3]);
  if (normalize_) {
    const float scale = InverseSqrt(Dot3(n, n));
    for (float &c : n) c *= scale;
  }
  eyeNormal_ = {n[0], n[1], n[2]};
  m.eyeNormals.emplace_back(normal_, eyeNormal_);
  eyeNormalStale_ = false;
  return true;
}

// The rows of the context's own inverse transpose of the modelview, under
// the same matrix calls as the copy: normal-map texture generation gives
// each axis's transformed normal as (s, t, r), read back in feedback mode.
// Normalisation is off meanwhile, so the rows come out as they are.
bool ClipSpaceBatch::ReadNormalMatrix(std::array<float, 9> &rows) {
  // A point the modelview takes to the eye-space origin, inside the view
  // volume once the projection is the identity.
  const Matrix &m = top_;
  const double a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9];
  const double g = m[2], h = m[6], i = m[10];
  const double A = e * i - f * h, B = f * g - d * i, C = d * h - e * g;
  const double det = a * A + b * B + c * C;
  if (!std::isfinite(det) || det == 0) return false;
  const double inv[9] = {A / det, (c * h - b * i) / det, (b * f - c * e) / det,
                         B / det, (a * i - c * g) / det, (c * d - a * f) / det,
                         C / det, (b * g - a * h) / det, (a * e - b * d) / det};
  float point[3];
  for (int r = 0; r < 3; ++r)
    point[r] = static_cast<float>(
        -(inv[r * 3] * m[12] + inv[r * 3 + 1] * m[13] + inv[r * 3 + 2] * m[14]));

  // What the reading changes, put back by hand: attribute groups would
  // also rebind every texture.
  constexpr GLenum kCoords[3] = {GL_S, GL_T, GL_R};
  constexpr GLenum kGens[3] = {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R};
  GLint modes[3] = {};
  GLboolean gens[3] = {};
  for (int c = 0; c < 3; ++c) {
    dgl::glGetTexGeniv(kCoords[c], GL_TEXTURE_GEN_MODE, &modes[c]);
    gens[c] = dgl::glIsEnabled(kGens[c]);
  }
  float currentNormal[3] = {0, 0, 1};
  dgl::glGetFloatv(GL_CURRENT_NORMAL, currentNormal);

  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glPushMatrix();
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glPushMatrix();
  for (const MatrixCall &call : calls_) MakeCall(call);
  if (normalize_) dgl::glDisable(GL_NORMALIZE);
  for (int c = 0; c < 3; ++c) {
    dgl::glTexGeni(kCoords[c], GL_TEXTURE_GEN_MODE, GL_NORMAL_MAP);
    dgl::glEnable(kGens[c]);
  }
  // Per point: a token, x y z, r g b a, s t r q.
  constexpr int kPointFloats = 12;
  float feedback[3 * kPointFloats] = {};
  dgl::glFeedbackBuffer(3 * kPointFloats, GL_3D_COLOR_TEXTURE, feedback);
  dgl::glRenderMode(GL_FEEDBACK);
  // From arrays: immediate-mode vertices would move where Mesa's vertex
  // store wraps, and with it how later draws are split.
  const float points[9] = {point[0], point[1], point[2], point[0], point[1],
                           point[2], point[0], point[1], point[2]};
  static constexpr float kAxes[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  dgl::glEnableClientState(GL_VERTEX_ARRAY);
  dgl::glVertexPointer(3, GL_FLOAT, 0, points);
  dgl::glEnableClientState(GL_NORMAL_ARRAY);
  dgl::glNormalPointer(GL_FLOAT, 0, kAxes);
  dgl::glDrawArrays(GL_POINTS, 0, 3);
  dgl::glDisableClientState(GL_VERTEX_ARRAY);
  dgl::glDisableClientState(GL_NORMAL_ARRAY);
  const GLint floats = dgl::glRenderMode(GL_RENDER);
  for (int c = 0; c < 3; ++c) {
    dgl::glTexGeni(kCoords[c], GL_TEXTURE_GEN_MODE, modes[c]);
    if (!gens[c]) dgl::glDisable(kGens[c]);
  }
  if (normalize_) dgl::glEnable(GL_NORMALIZE);
  dgl::glNormal3f(currentNormal[0], currentNormal[1], currentNormal[2]);
  dgl::glPopMatrix();
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glPopMatrix();
  dgl::glMatrixMode(GL_MODELVIEW);
  if (floats != 3 * kPointFloats) return false;
  // Axis k's transformed normal is column k of the rows.
  for (int k = 0; k < 3; ++k)
    for (int r = 0; r < 3; ++r) rows[r * 3 + k] = feedback[k * kPointFloats + 8 + r];
  return true;
}

// The context's normals cannot be had: draw what has been gathered and
// pass every later call on, the context's modelview brought to where the
// batch's stands.
void ClipSpaceBatch::GiveUp() {
  Flush();
  exact_ = false;
  size_t made = 0;
  for (const auto &level : stack_) {
    for (size_t c = made; c < level.second; ++c) MakeCall(calls_[c]);
    dgl::glPushMatrix();
    made = level.second;
  }
  for (size_t c = made; c < calls_.size(); ++c) MakeCall(calls_[c]);
  // The copy's attributes given so far.
  Begin();
  if (gaveTexCoord_) dgl::glTexCoord2f(texCoord_[0], texCoord_[1]);
  if (gaveNormal_) dgl::glNormal3f(normal_[0], normal_[1], normal_[2]);
}

void ClipSpaceBatch::MakeCall(const MatrixCall &call) {
  if (call.scale)
    dgl::glScalef(call.x, call.y, call.z);
  else
    dgl::glTranslatef(call.x, call.y, call.z);
}

// ---- drawing --------------------------------------------------------------

void ClipSpaceBatch::Flush() {
  if (!exact_) {
    End();
    return;
  }
  EndCopy();
  Draw();
}

// Draws what has been gathered and lets the rasteriser start on it: with
// llvmpipe its threads then work while the main thread gathers the rest.
void ClipSpaceBatch::Draw() {
  const bool drawing = !draws_.empty();
  if (drawing) {
    dgl::glMatrixMode(GL_PROJECTION);
    dgl::glPushMatrix();
    dgl::glLoadIdentity();
    dgl::glMatrixMode(GL_MODELVIEW);
    dgl::glPushMatrix();
    dgl::glLoadIdentity();
    const bool sphere = kind_ == TexCoords::kSphereMap;
    if (sphere) {
      dgl::glDisable(GL_TEXTURE_GEN_S);
      dgl::glDisable(GL_TEXTURE_GEN_T);
    }
    dgl::glEnableClientState(GL_VERTEX_ARRAY);
    dgl::glVertexPointer(4, GL_FLOAT, 0, clip_.data());
    dgl::glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    dgl::glTexCoordPointer(texSize_, GL_FLOAT, 0, texCoordArray_.data());
    for (const Range &range : draws_) dgl::glDrawArrays(GL_QUADS, range.first, range.count);
    dgl::glDisableClientState(GL_VERTEX_ARRAY);
    dgl::glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (sphere) {
      dgl::glEnable(GL_TEXTURE_GEN_S);
      dgl::glEnable(GL_TEXTURE_GEN_T);
    }
    dgl::glPopMatrix();
    dgl::glMatrixMode(GL_PROJECTION);
    dgl::glPopMatrix();
    dgl::glMatrixMode(GL_MODELVIEW);
    dgl::glFlush();
  }
  // The current values glEnd would leave: the last ones given, also for
  // copies left out; an array's values are not left current.
  if (leaveTexCoord_ || drawing) {
    if (gaveTexCoord_)
      dgl::glTexCoord2f(texCoord_[0], texCoord_[1]);
    else
      dgl::glTexCoord4f(currentTexCoord_[0], currentTexCoord_[1], currentTexCoord_[2],
                        currentTexCoord_[3]);
  }
  if (leaveNormal_) dgl::glNormal3f(normal_[0], normal_[1], normal_[2]);
  leaveTexCoord_ = leaveNormal_ = false;
  clip_.clear();
  texCoordArray_.clear();
  draws_.clear();
  copyStart_ = 0;
}

// ---- the check against the context ---------------------------------------

namespace {

// x = m^-1 y for a 4 x 4 column-major m, by elimination with partial
// pivoting; false when m is singular.
bool Solve(const Matrix &m, const double y[4], double x[4]) {
  double a[4][5];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) a[r][c] = m[c * 4 + r];
    a[r][4] = y[r];
  }
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    if (a[pivot][c] == 0) return false;
    std::swap(a[c], a[pivot]);
    for (int r = 0; r < 4; ++r) {
      if (r == c) continue;
      const double f = a[r][c] / a[c][c];
      for (int k = c; k < 5; ++k) a[r][k] -= f * a[c][k];
    }
  }
  for (int r = 0; r < 4; ++r) x[r] = a[r][4] / a[r][r];
  return true;
}

struct SampleCube {
  float centre[3];
  float size;
};

// Nine small cubes spread over the middle of the view, each a fiftieth of
// its distance from the eye, under matrix calls of its own.
bool PlaceSamples(const Matrix &projection, const Matrix &modelview, SampleCube samples[9]) {
  const Matrix mvp = Multiply(projection, modelview);
  const double origin[4] = {0, 0, 0, 1};
  double eye[4];
  if (!Solve(modelview, origin, eye) || eye[3] == 0) return false;
  for (int i = 0; i < 9; ++i) {
    const double ndc[4] = {0.4 * (i % 3 - 1), 0.4 * (i / 3 - 1), 0, 1};
    double p[4];
    if (!Solve(mvp, ndc, p) || p[3] == 0) return false;
    double distance = 0;
    for (int k = 0; k < 3; ++k) {
      samples[i].centre[k] = static_cast<float>(p[k] / p[3]);
      distance += (p[k] / p[3] - eye[k] / eye[3]) * (p[k] / p[3] - eye[k] / eye[3]);
    }
    samples[i].size = static_cast<float>(std::sqrt(distance) / 50);
    if (!std::isfinite(samples[i].size) || samples[i].size == 0) return false;
  }
  return true;
}

// A cube's 24 corners, face by face, with their normals and texture
// coordinates.
struct CubeArrays {
  float positions[72], normals[72], texCoords[48];
};

CubeArrays MakeCube() {
  static constexpr float kNormals[6][3] = {{0, 0, 1}, {0, 0, -1}, {0, 1, 0},
                                           {0, -1, 0}, {1, 0, 0}, {-1, 0, 0}};
  static constexpr float kTurn[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
  CubeArrays cube{};
  int v = 0;
  for (const auto &n : kNormals) {
    // The face's corners, turning about its normal.
    const int along = n[0] != 0 ? 0 : (n[1] != 0 ? 1 : 2);
    const int a = along == 0 ? 1 : 0, b = along == 2 ? 1 : 2;
    for (const auto &t : kTurn) {
      cube.positions[v * 3 + along] = n[along];
      cube.positions[v * 3 + a] = t[0];
      cube.positions[v * 3 + b] = t[1];
      for (int k = 0; k < 3; ++k) cube.normals[v * 3 + k] = n[k];
      cube.texCoords[v * 2] = 0.37f * t[0] + 0.5f;
      cube.texCoords[v * 2 + 1] = 0.29f * t[1] + 0.5f;
      ++v;
    }
  }
  return cube;
}

const CubeArrays kCube = MakeCube();

void AddSamples(ClipSpaceBatch &quads, const SampleCube samples[9]) {
  for (int i = 0; i < 9; ++i) {
    const SampleCube &cube = samples[i];
    quads.PushMatrix();
    quads.Translatef(cube.centre[0], cube.centre[1], cube.centre[2]);
    quads.Scalef(cube.size, cube.size, cube.size);
    for (int v = 0; v < 24; ++v) {
      const float *p = &kCube.positions[v * 3], *n = &kCube.normals[v * 3];
      quads.Normal3f(n[0], n[1], n[2]);
      quads.TexCoord2f(kCube.texCoords[v * 2], kCube.texCoords[v * 2 + 1]);
      quads.Vertex3f(p[0], p[1], p[2]);
    }
    quads.PopMatrix();
  }
}

// The same cubes drawn by the context under its own matrices, one draw
// each, from arrays (see ReadNormalMatrix).
void DrawSamples(const SampleCube samples[9]) {
  dgl::glEnableClientState(GL_VERTEX_ARRAY);
  dgl::glVertexPointer(3, GL_FLOAT, 0, kCube.positions);
  dgl::glEnableClientState(GL_NORMAL_ARRAY);
  dgl::glNormalPointer(GL_FLOAT, 0, kCube.normals);
  dgl::glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  dgl::glTexCoordPointer(2, GL_FLOAT, 0, kCube.texCoords);
  for (int i = 0; i < 9; ++i) {
    const SampleCube &cube = samples[i];
    dgl::glPushMatrix();
    dgl::glTranslatef(cube.centre[0], cube.centre[1], cube.centre[2]);
    dgl::glScalef(cube.size, cube.size, cube.size);
    dgl::glDrawArrays(GL_QUADS, 0, 24);
    dgl::glPopMatrix();
  }
  dgl::glDisableClientState(GL_VERTEX_ARRAY);
  dgl::glDisableClientState(GL_NORMAL_ARRAY);
  dgl::glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

}  // namespace

// Draws the samples in feedback mode both ways, in the context's state as
// it is, and compares every number. Undecided when the samples cannot be
// placed or nothing of them is seen.
ClipSpaceBatch::Verdict ClipSpaceBatch::CompareWithContext(TexCoords texCoords) {
  Matrix projection{}, modelview{};
  dgl::glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
  dgl::glGetFloatv(GL_MODELVIEW_MATRIX, modelview.data());
  SampleCube samples[9];
  if (!PlaceSamples(projection, modelview, samples)) return Verdict::kUnknown;
  float normal[3] = {0, 0, 1}, texCoord[4] = {0, 0, 0, 1};
  dgl::glGetFloatv(GL_CURRENT_NORMAL, normal);
  dgl::glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord);

  // Nine cubes of twelve triangles, each a token, a count and three
  // vertices of x y z w, r g b a, s t r q; room to spare.
  constexpr GLsizei kFloats = 8192;
  std::vector<float> computed(kFloats), passed(kFloats);
  GLint a = 0;
  {
    ClipSpaceBatch exact(texCoords, true);
    AddSamples(exact, samples);  // reads the normals before feedback starts
    dgl::glFeedbackBuffer(kFloats, GL_4D_COLOR_TEXTURE, computed.data());
    dgl::glRenderMode(GL_FEEDBACK);
    exact.Flush();
    a = dgl::glRenderMode(GL_RENDER);
  }
  dgl::glFeedbackBuffer(kFloats, GL_4D_COLOR_TEXTURE, passed.data());
  dgl::glRenderMode(GL_FEEDBACK);
  DrawSamples(samples);
  const GLint b = dgl::glRenderMode(GL_RENDER);
  dgl::glNormal3f(normal[0], normal[1], normal[2]);
  dgl::glTexCoord4f(texCoord[0], texCoord[1], texCoord[2], texCoord[3]);
  if (a <= 0 || b <= 0) return Verdict::kUnknown;
  const bool alike = a == b && std::equal(computed.begin(), computed.begin() + a, passed.begin());
  return alike ? Verdict::kMatches : Verdict::kDiffers;
}
