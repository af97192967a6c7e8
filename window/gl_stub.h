// The framework's own OpenGL and GLU entry tables.
//
// The framework's texture manager and the dialog engine's widgets call GL
// through gl_stub_table and GLU through glu_stub_table, one function pointer
// per entry point, named after it, so the program links against no GL
// library. The tables are process-wide, zero at start and filled by name
// from "libGL.so.1" and "libGLU.so.1": gl_stub_load runs in the window
// manager's start-up and again when the dialog engine starts, glu_stub_load
// when the dialog engine starts. A name the library lacks stays NULL.
//
// Loading checks that every entry point the framework calls is present
// (window/gl_calls.inc); a missing one fails the load, so the caller's
// start-up fails instead of crashing at the first call. The libraries are
// never released here. Main thread only.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

// The libraries both sides' tables are filled from. On Linux GLU is a
// library of its own.
constexpr const char *GL_MODULE_NAME = "libGL.so.1";
constexpr const char *GLU_MODULE_NAME = "libGLU.so.1";

struct gl_stub_table_t {
#define GL_ENTRY(name, type) type name;
#include "window/gl_stub_names.inc"
#undef GL_ENTRY
  void *module;
};

struct glu_stub_table_t {
#define GL_ENTRY(name, type) type name;
#include "window/glu_stub_names.inc"
#undef GL_ENTRY
  void *module;
};

extern gl_stub_table_t gl_stub_table;
extern glu_stub_table_t glu_stub_table;

// Opens the library and fills the table in its order. 0, or -1 with the
// module loader's code when the library cannot be opened, or with 3001 when
// an entry point the framework calls is missing (logged with its name).
int gl_stub_load();
int glu_stub_load();
