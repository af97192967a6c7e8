// The demo side's OpenGL and GLU entry variables and the two start-up slots
// that fill them.
//
// Slot 2 "GL unit ..." fills the core entry points from "libGL.so.1", slot 3
// "GLU unit ..." the GLU ones from "libGLU.so.1"; both run in the slot
// runner after the window manager's slot, so the GL library is already
// loaded by the framework's table and the module loader hands it back. The
// extension entry points wait for glInitExt (window/gl_ext.cpp), because
// they mean something only once a context exists.
//
// The exit slots run in the orderly shutdown, also when their init slot
// never ran (a fatal exit in an earlier slot): each releases its own
// library once, if it holds one, and clears the variables that pointed into
// it. GL and GLU are separate libraries here, so nothing is released twice.
#include "window/gl_demo.h"

#include "framework/base.h"
#include "framework/module.h"
#include "window/gl_calls.h"
#include "window/gl_stub.h"
#include "window/wm.h"

namespace dgl {
#define GL_ENTRY(name, type) type name = nullptr;
#include "window/gl_names_core.inc"
#include "window/gl_names_ext.inc"
#include "window/glu_names.inc"
#undef GL_ENTRY
}  // namespace dgl

void *glModule = nullptr;
void *gluModule = nullptr;

namespace {

// Subsystem slot numbers of the two units.
constexpr int32_t kGlSlot = 2;
constexpr int32_t kGluSlot = 3;

void ClearCore() {
#define GL_ENTRY(name, type) dgl::name = nullptr;
#include "window/gl_names_core.inc"
#include "window/gl_names_ext.inc"
#undef GL_ENTRY
}

void ClearGlu() {
#define GL_ENTRY(name, type) dgl::name = nullptr;
#include "window/glu_names.inc"
#undef GL_ENTRY
}

}  // namespace

void InitGL() {
  glModule = SYS_DlOpen(GL_MODULE_NAME);
  if (!glModule) wmFatal("OpenGL lib not found.");
#define GL_ENTRY(name, type) dgl::name = reinterpret_cast<type>(SYS_DlSym(glModule, #name));
#include "window/gl_names_core.inc"
#undef GL_ENTRY
  glRequireCalls(GL_CALLS_CORE, "OpenGL");
}

void FreeGL() {
  if (!glModule) return;
  SYS_DlClose(glModule);
  glModule = nullptr;
  ClearCore();
}

void InitGLU() {
  gluModule = SYS_DlOpen(GLU_MODULE_NAME);
  if (!gluModule) wmFatal("Sorry, OpenGL Utils lib not loaded. Please check your configuraion.");
#define GL_ENTRY(name, type) dgl::name = reinterpret_cast<type>(SYS_DlSym(gluModule, #name));
#include "window/glu_names.inc"
#undef GL_ENTRY
  glRequireCalls(GLU_CALLS, "OpenGL Utils");
}

void FreeGLU() {
  if (!gluModule) return;
  SYS_DlClose(gluModule);
  gluModule = nullptr;
  ClearGlu();
}

void glRegister() {
  SYS_AddInitProc("GL unit ...", kGlSlot, InitGL);
  SYS_AddExitProc("Uninit GL unit ...", kGlSlot, FreeGL);
}

void gluRegister() {
  SYS_AddInitProc("GLU unit ...", kGluSlot, InitGLU);
  SYS_AddExitProc("Uninit GLU unit ...", kGluSlot, FreeGLU);
}

void *glGetExtProc(const char *name) {
  if (!glModule || !name) return nullptr;
  return SYS_DlSym(glModule, name);
}
