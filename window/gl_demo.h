// The demo side's OpenGL and GLU entry points and the extension check.
//
// The demo, the layer effects, the texture slot table and the 3D engine
// call OpenGL and GLU only through the variables of namespace dgl, one per
// entry point and named after it (dgl::glBindTexture, dgl::gluPerspective),
// so the program links against no GL library and gl.h's own declarations
// never clash with them. A variable is NULL while its library lacks the
// name.
//
// Who fills what, all on the main thread:
//   - init slot 2 "GL unit ..." (InitGL) opens "libGL.so.1" and fills the
//     core entry points; init slot 3 "GLU unit ..." (InitGLU) opens
//     "libGLU.so.1" (a library of its own on Linux) and fills the GLU ones;
//   - glInitExt, once the window's context is current, checks the
//     extensions into glExtFlags and fills the extension entry points.
// Each of the three then checks that every entry point the program calls
// (window/gl_calls.inc) is present and ends the program through the fatal
// exit, naming the first missing one, if not: a NULL entry point would
// otherwise crash at its first call, far from the cause.
//
// The variables are written during start-up and only read afterwards.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <cstdint>

namespace dgl {
#define GL_ENTRY(name, type) extern type name;
#include "window/gl_names_core.inc"
#include "window/gl_names_ext.inc"
#include "window/glu_names.inc"
#undef GL_ENTRY
}  // namespace dgl

// Capability flags of the current context and its maximum texture size.
// Flags are 1 when available; the texture slot table reads the DXT flags and
// the maximum texture size.
struct glExtFlags_t {
  uint8_t compiledVertexArray;
  uint8_t cubeMap;
  uint8_t textureCompression;  // after glInitExt: S3TC is offered
  uint8_t multitexture;
  uint8_t textureEnvCombine;
  uint8_t textureEnvDot3;
  uint8_t dxt1;
  uint8_t dxt3;
  uint8_t dxt5;
  uint8_t anisotropicFilter;
  uint8_t multisample;
  uint8_t shadingLanguage;     // after glInitExt: fragment shaders are offered
  uint8_t vertexShader;
  int32_t maxTextureSize;
};
extern glExtFlags_t glExtFlags;

// Module handles; NULL until the init slots open them and after release.
extern void *glModule;
extern void *gluModule;

// Module initialisation of the two units: registers init and exit slots 2
// ("GL unit ...") and 3 ("GLU unit ..."). The program calls them once,
// after the window manager's registration and before the slot runner.
void glRegister();
void gluRegister();

// The slot procedures.
void InitGL();
void FreeGL();
void InitGLU();
void FreeGLU();

// The entry point of that name in the OpenGL library, or NULL.
void *glGetExtProc(const char *name);

// Sets *flag to 1 when name is one of the space-separated extension names in
// extensions (NULL counts as empty), else 0, and logs the result.
void glCheckExtension(const char *extensions, const char *name, uint8_t *flag);

// Needs a current context: checks the extensions, logs the renderer and the
// maximum texture size, applies the renderer limits, lists the DXT formats
// and fills the extension entry points.
void glInitExt();

