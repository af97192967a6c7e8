// A shown window with a current OpenGL context and both entry tables
// filled, on the SDL back-end, as the program has one after its video
// start: what every test and benchmark that draws for real starts from.
// Needs a display (xvfb-run in the tests). Null when any step fails.
#pragma once

#include "platform/platform.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace ember_test {

inline wm_window_t *OpenGlWindow(int32_t width, int32_t height) {
  if (plSetBackend(PL_BACKEND_SDL) != 0 || wmInit() != 0) return nullptr;
  InitGL();
  InitGLU();
  wm_window_t *window = wmNewWindow(0, 0, width, height);
  if (!window || wmShowWindow(window) != 0) return nullptr;
  wmMakeCurrent(window);
  glInitExt();
  return window;
}

}  // namespace ember_test
