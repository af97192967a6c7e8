// Render targets and the glow texture; see render_targets.h.
#include "engine/effects/render_targets.h"

#include <string>

#include "engine/render/engine_state.h"
#include "framework/base.h"
#include "window/gl_demo.h"

namespace {

// A zeroed block from the framework allocator makes the new texture
// transparent black; without one the texture is defined empty.
void DefineTexture(int32_t width, int32_t height, const char *description) {
  const size_t bytes = width > 0 && height > 0 ? size_t(width) * size_t(height) * 4 : 0;
  void *block = pasMemGet(bytes, description);
  dgl::glTexImage2D(GL_TEXTURE_2D, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, block);
  if (block) pasMemFree(&block);
}

void BindTarget(int32_t n) {
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, _3DV_RenderTargets[n]);
}

bool ValidTarget(int32_t n, const char *operation) {
  if (n >= 0 && n < _3DV_RENDER_TARGET_COUNT) return true;
  _3DV_Log(std::string(operation) + ": no render target " + std::to_string(n) + " (0 to 7)");
  return false;
}

}  // namespace

void _3DV_InitFramebufferTexture() {
  const size_t bytes = size_t(_3DV_RENDER_TARGET_WIDTH) * _3DV_RENDER_TARGET_HEIGHT * 4;
  void *block = pasMemGet(bytes, " temporary texture data for framebuffer ");
  for (uint32_t &target : _3DV_RenderTargets) {
    dgl::glEnable(GL_TEXTURE_2D);
    dgl::glGenTextures(1, &target);
    dgl::glBindTexture(GL_TEXTURE_2D, target);
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    dgl::glTexImage2D(GL_TEXTURE_2D, 0, 4, _3DV_RENDER_TARGET_WIDTH, _3DV_RENDER_TARGET_HEIGHT, 0,
                      GL_RGBA, GL_UNSIGNED_BYTE, block);
  }
  if (block) pasMemFree(&block);
}

void _3DV_CopyFramebuffer(int32_t n) {
  if (!ValidTarget(n, "_3DV_CopyFramebuffer")) return;
  BindTarget(n);
  dgl::glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, _3DV_RENDER_TARGET_WIDTH,
                        _3DV_RENDER_TARGET_HEIGHT, 0);
}

void _3DV_CopyDepthbuffer(int32_t n) {
  if (!ValidTarget(n, "_3DV_CopyDepthbuffer")) return;
  BindTarget(n);
  dgl::glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, 0, 0, _3DV_DEPTH_COPY_SIZE,
                        _3DV_DEPTH_COPY_SIZE, 0);
}

void _3DV_InitGlowTexture() {
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glGenTextures(1, &_3DV_GlowTexture);
  dgl::glBindTexture(GL_TEXTURE_2D, _3DV_GlowTexture);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  DefineTexture(_3DV_GlowSize, _3DV_GlowSize,
                " temporary texture data for glow ");
}

void _3DV_CopyGlow() {
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, _3DV_GlowTexture);
  dgl::glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, _3DV_GlowSize, _3DV_GlowSize, 0);
}
