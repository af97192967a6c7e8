// The framework's OpenGL and GLU entry tables and their loaders.
//
// Both loaders may run more than once (the window manager's start-up and
// the dialog engine's both load the GL table); the module loader then hands
// back the library it already holds, and the table is simply filled again.
// Each load adds one user to the library; this unit never releases one, so
// the entry points stay valid for the life of the process.
#include "window/gl_stub.h"

#include "framework/log.h"
#include "framework/module.h"
#include "window/gl_calls.h"

gl_stub_table_t gl_stub_table;
glu_stub_table_t glu_stub_table;

namespace {

// A called entry point the library lacks fails the load: the caller's
// start-up then ends with an error instead of a crash at the first call.
int CheckCalls(glCallTable_t table, const char *tag) {
  if (const char *missing = glFirstMissingCall(table)) {
    SYS_Log(1, "%s  ! entry point not found: %s\n", tag, missing);
    SYS_ErrorSet(3001);
    return -1;
  }
  return 0;
}

}  // namespace

int gl_stub_load() {
  SYS_ErrorClear();
  SYS_Log(1, "[gl_stub]  ! load GL module.\n");
  void *module = SYS_DlOpen(GL_MODULE_NAME);
  gl_stub_table.module = module;
  if (!module) return -1;
#define GL_ENTRY(name, type) gl_stub_table.name = reinterpret_cast<type>(SYS_DlSym(module, #name));
#include "window/gl_stub_names.inc"
#undef GL_ENTRY
  SYS_ErrorClear();
  return CheckCalls(GL_STUB_CALLS, "[gl_stub]");
}

int glu_stub_load() {
  SYS_ErrorClear();
  SYS_Log(1, "[glu_stub]  ! load GLU module.\n");
  void *module = SYS_DlOpen(GLU_MODULE_NAME);
  glu_stub_table.module = module;
  if (!module) return -1;
#define GL_ENTRY(name, type) glu_stub_table.name = reinterpret_cast<type>(SYS_DlSym(module, #name));
#include "window/glu_stub_names.inc"
#undef GL_ENTRY
  SYS_ErrorClear();
  return CheckCalls(GLU_STUB_CALLS, "[glu_stub]");
}
