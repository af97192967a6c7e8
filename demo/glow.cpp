// The glow and blur pass. See glow.h.
#include "demo/glow.h"

#include <string>

#include "demo/frame_loop.h"
#include "demo/resources.h"
#include "window/gl_demo.h"
#include "window/wm.h"

void GlowSourceViewport() { dgl::glViewport(0, 0, GLOW_SIZE, GLOW_SIZE); }

void CaptureWorkTexture() {
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(WorkTexture));
  dgl::glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, GLOW_SIZE, GLOW_SIZE, 0);
}

void GlowBlurSource(ife_interface &firstBlur, float frame) {
  CaptureWorkTexture();
  dgl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  ife_DrawInterface(firstBlur, frame);
  CaptureWorkTexture();
  SetAspectViewport();
  dgl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

bool GlowFitsDrawable(int32_t width, int32_t height) {
  return width >= GLOW_SIZE && height >= GLOW_SIZE;
}

void CheckGlowDrawable(int32_t width, int32_t height) {
  // A freshly current context's viewport is its drawable's size.
  GLint viewport[4] = {0, 0, width, height};
  dgl::glGetIntegerv(GL_VIEWPORT, viewport);
  if (GlowFitsDrawable(viewport[2], viewport[3])) return;
  wmFatal("The window's drawable of " + std::to_string(viewport[2]) + " x " +
          std::to_string(viewport[3]) + " pixels is smaller than 512 x 512.");
}
