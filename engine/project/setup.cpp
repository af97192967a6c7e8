// The effect-project unit's shared resources and the flash.
//
// Every draw comes from the program's one random sequence, in a fixed
// order, so a seeded run makes the same tables and noise every time.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/project/project.h"
#include "framework/random.h"
#include "window/gl_demo.h"

QEX_UnitState QEX_State = {};

namespace {

constexpr int kNoiseSide = 256;
constexpr int kSmallRenderSide = 256;

void DeleteTextures(uint32_t *names, int count) {
  for (int i = 0; i < count; ++i) {
    if (names[i] != 0) dgl::glDeleteTextures(1, &names[i]);
    names[i] = 0;
  }
}

}  // namespace

void QEX_Init(int32_t width, int32_t height) {
  QEX_UnitState &s = QEX_State;
  for (QEX_CacheEntry &e : s.cache) e = {};
  s.cachecount = 0;

  for (int i = 0; i < QEX_POINTS; ++i) {
    s.X[i] = float(Random(5000) - 3000);
    s.Y[i] = float(Random(5000) - 3000);
    s.Z[i] = float(Random(5000) - 3000);
    s.G[i] = float(Random(1000)) / 2000.0f + 0.5f;
  }
  s.sx = float(width) / 1024.0f;
  s.sy = float(height) / 768.0f;

  // A second set-up replaces the textures of the first rather than
  // leaving them behind.
  DeleteTextures(s.noise, QEX_NOISE_TEXTURES);
  DeleteTextures(s.render, QEX_RENDER_TEXTURES);

  std::vector<uint8_t> image(size_t(kNoiseSide) * kNoiseSide);
  for (uint32_t &name : s.noise) {
    RandomFill(image.data(), image.size(), 256);
    dgl::glGenTextures(1, &name);
    dgl::glBindTexture(GL_TEXTURE_2D, name);
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    dgl::glTexImage2D(GL_TEXTURE_2D, 0, 1, kNoiseSide, kNoiseSide, 0, GL_LUMINANCE,
                      GL_UNSIGNED_BYTE, image.data());
  }

  // Defined (black) from the start, so a pass that shows a texture before
  // any copy reaches it shows nothing random. Rows of three bytes a texel
  // are packed tight only under an unpack alignment of 1: under the
  // default 4, a width such as 1366 has the driver read past the buffer.
  const int32_t w = width > 0 ? width : 1;
  const int32_t h = height > 0 ? height : 1;
  const uint64_t texels = std::max(uint64_t(w) * uint64_t(h),
                                   uint64_t(kSmallRenderSide) * uint64_t(kSmallRenderSide));
  std::vector<uint8_t> black(size_t(texels * 3), 0);
  GLint alignment = 4;
  dgl::glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  dgl::glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (int n = 0; n < QEX_RENDER_TEXTURES; ++n) {
    dgl::glEnable(GL_TEXTURE_2D);
    dgl::glGenTextures(1, &s.render[n]);
    dgl::glBindTexture(GL_TEXTURE_2D, s.render[n]);
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    const bool frame = n < 4;
    dgl::glTexImage2D(GL_TEXTURE_2D, 0, 3, frame ? w : kSmallRenderSide,
                      frame ? h : kSmallRenderSide, 0, GL_RGB, GL_UNSIGNED_BYTE, black.data());
  }
  const bool valid = alignment == 1 || alignment == 2 || alignment == 8;
  dgl::glPixelStorei(GL_UNPACK_ALIGNMENT, valid ? alignment : 4);
}

void QEX_DrawFlash(float amount) {
  dgl::glBindTexture(GL_TEXTURE_2D, QEX_State.noise[Random(31)]);
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glDisable(GL_LIGHTING);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_TEXTURE);
  dgl::glLoadIdentity();
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  const float a = amount / 1000.0f;
  dgl::glColor3f(a, a, a);
  dgl::glDisable(GL_CULL_FACE);
  dgl::glDisable(GL_DEPTH_TEST);
  dgl::glBegin(GL_QUADS);
  dgl::glTexCoord2f(0, 0);
  dgl::glVertex2f(-1, 1);
  dgl::glTexCoord2f(1, 0);
  dgl::glVertex2f(1, 1);
  dgl::glTexCoord2f(1, 1);
  dgl::glVertex2f(1, -1);
  dgl::glTexCoord2f(0, 1);
  dgl::glVertex2f(-1, -1);
  dgl::glEnd();
}

void QEX_Nop(std::string_view, std::string_view) {}
