// See draw_helpers.h.
#include "demo/draw_helpers.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "demo/clip_space_batch.h"
#include "demo/vertex_batch.h"
#include "window/gl_demo.h"

int32_t LetterTextures[LETTER_TEXTURE_COUNT] = {};
uint32_t LastGLError = 0;
const char *LastGLErrorText = nullptr;

namespace {

struct CubeFace {
  float normal[3];
  float corners[4][3];
};

// Faces in drawing order; DrawOpenCube leaves out the first (+z).
constexpr CubeFace kCubeFaces[6] = {
    {{0, 0, 1}, {{1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}}},
    {{0, 0, -1}, {{1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}}},
    {{0, 1, 0}, {{1, 1, 1}, {-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}}},
    {{0, -1, 0}, {{1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}}},
    {{1, 0, 0}, {{1, 1, 1}, {1, -1, 1}, {1, -1, -1}, {1, 1, -1}}},
    {{-1, 0, 0}, {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}}},
};

// The calls of one face list, for the batches and (with Immediate) for
// the context itself.
template <typename Quads>
void AddCubeFaces(Quads &quads, int first) {
  for (int f = first; f < 6; ++f) {
    const CubeFace &face = kCubeFaces[f];
    quads.Normal3f(face.normal[0], face.normal[1], face.normal[2]);
    for (const auto &c : face.corners) quads.Vertex3f(c[0], c[1], c[2]);
  }
}

template <typename Quads>
void AddStripQuad(Quads &quads, float u, float v) {
  // The cell sizes are added in double precision and rounded once.
  const float u1 = static_cast<float>(u + 0.0125);
  const float t0 = static_cast<float>(1.0 - v);
  const float t1 = static_cast<float>(1.0 - v - 1.0 / 60.0);
  quads.Normal3f(0, 0, 1);
  quads.TexCoord2f(u, t0);
  quads.Vertex3f(-1, -1, 1);
  quads.TexCoord2f(u1, t0);
  quads.Vertex3f(-1, 1, 1);
  quads.TexCoord2f(u1, t1);
  quads.Vertex3f(1, 1, 1);
  quads.TexCoord2f(u, t1);
  quads.Vertex3f(1, -1, 1);
}

struct Immediate {
  void Normal3f(float x, float y, float z) { dgl::glNormal3f(x, y, z); }
  void TexCoord2f(float s, float t) { dgl::glTexCoord2f(s, t); }
  void Vertex3f(float x, float y, float z) { dgl::glVertex3f(x, y, z); }
};

void DrawCubeFaces(int first) {
  Immediate immediate;
  dgl::glBegin(GL_QUADS);
  AddCubeFaces(immediate, first);
  dgl::glEnd();
}

// Errors drained per call at most: a lost context can report an error on
// every query, and the report must not spin forever then.
constexpr int kMaxErrorsPerCheck = 64;

}  // namespace

void DrawCube() { DrawCubeFaces(0); }
void DrawCube(VertexBatch &quads) { AddCubeFaces(quads, 0); }
void DrawCube(ClipSpaceBatch &quads) { AddCubeFaces(quads, 0); }
void DrawCubeFacingEye(VertexBatch &quads) {
  for (const CubeFace &face : kCubeFaces) {
    quads.Hide(!quads.FacesEye(face.normal, face.corners[0]));
    quads.Normal3f(face.normal[0], face.normal[1], face.normal[2]);
    for (const auto &c : face.corners) quads.Vertex3f(c[0], c[1], c[2]);
  }
  quads.Hide(false);
}
void AddGlowCube(VertexBatch &fronts, VertexBatch &whole, float clearance) {
  // The eight corners: the first and the opposite face hold them all.
  for (int f = 0; f < 2; ++f)
    for (const auto &c : kCubeFaces[f].corners)
      if (!(fronts.DepthFromEye(c) > clearance)) {  // NaN too: no clear answer
        whole.LoadMatrix(fronts.TopMatrix());
        AddCubeFaces(whole, 0);
        return;
      }
  DrawCubeFacingEye(fronts);
}
void DrawOpenCube() { DrawCubeFaces(1); }

void DrawStripQuad(float u, float v) {
  Immediate immediate;
  dgl::glBegin(GL_QUADS);
  AddStripQuad(immediate, u, v);
  dgl::glEnd();
}
void DrawStripQuad(ClipSpaceBatch &quads, float u, float v) { AddStripQuad(quads, u, v); }

void DrawLetterText(int32_t x, int32_t y, std::string_view text, uint8_t cursor,
                    int32_t first, int32_t last, int32_t now) {
  if (now < first) return;
  const int64_t length = static_cast<int64_t>(text.size());
  int64_t shown = length;
  if (now < last) shown = std::min<int64_t>(length, static_cast<int64_t>(now) - first + 1);
  const float x0 = static_cast<float>(x - length * 11);
  const float y0 = static_cast<float>(600 - y);
  auto quad = [&](int64_t k) {
    const float left = x0 + static_cast<float>(22 * k);
    dgl::glBegin(GL_QUADS);
    dgl::glTexCoord2f(0, 0);
    dgl::glVertex2f(left, y0);
    dgl::glTexCoord2f(1, 0);
    dgl::glVertex2f(left + 32, y0);
    dgl::glTexCoord2f(1, 1);
    dgl::glVertex2f(left + 32, y0 + 64);
    dgl::glTexCoord2f(0, 1);
    dgl::glVertex2f(left, y0 + 64);
    dgl::glEnd();
  };
  for (int64_t k = 0; k < shown; ++k) {
    const char c = text[static_cast<size_t>(k)];
    int32_t entry = -1;
    if (c >= 'a' && c <= 'z') entry = c - 'a';
    if (c >= '0' && c <= '9') entry = 26 + (c - '0');
    if (entry < 0) continue;  // keeps its place, draws nothing
    dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(LetterTextures[entry]));
    quad(k);
  }
  if (cursor && now <= last) {
    dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(LetterTextures[LETTER_TEXTURE_CURSOR]));
    quad(shown);
  }
}

void CheckGLError() {
  for (int i = 0; i < kMaxErrorsPerCheck; ++i) {
    const GLenum code = dgl::glGetError();
    LastGLError = code;
    LastGLErrorText = reinterpret_cast<const char *>(dgl::gluErrorString(code));
    if (code == GL_NO_ERROR) return;
    std::printf("GL_ERROR:%s\n", LastGLErrorText ? LastGLErrorText : "");
  }
}

std::string IntToShortStr(int32_t v) { return std::to_string(v); }

void CenterVertices(float *vertices, int32_t count) {
  if (!vertices || count <= 0) return;
  float lo[3], hi[3];
  for (int a = 0; a < 3; ++a) lo[a] = hi[a] = vertices[a];
  for (int32_t i = 1; i < count; ++i)
    for (int a = 0; a < 3; ++a) {
      const float v = vertices[3 * i + a];
      if (v < lo[a]) lo[a] = v;
      if (v > hi[a]) hi[a] = v;
    }
  float centre[3];
  for (int a = 0; a < 3; ++a) centre[a] = (lo[a] + hi[a]) / 2.0f;
  for (int32_t i = 0; i < count; ++i)
    for (int a = 0; a < 3; ++a) vertices[3 * i + a] -= centre[a];
}

void ReadFloatLine(SYS_File_p file, float &value) {
  char line[512] = {};
  if (!SYS_FileGets(file, line, sizeof line)) line[0] = 0;
  const char *p = line;
  const char *end = line + std::char_traits<char>::length(line);
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  if (p < end && *p == '+') ++p;
  float parsed = 0.0f;
  if (std::from_chars(p, end, parsed).ec != std::errc()) parsed = 0.0f;
  value = parsed;
}
