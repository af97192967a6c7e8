// The check that every entry point the program calls was found.
//
// The names live in window/gl_calls.inc, one table per entry table. The
// framework's loaders fail with the name in the log; the demo side's init
// slots and glInitExt end the program through the fatal exit with it. Main
// thread only, after the table in question has been filled.
#pragma once

enum glCallTable_t {
  GL_CALLS_CORE,   // dgl core entry points (InitGL)
  GL_CALLS_EXT,    // dgl extension entry points (glInitExt)
  GLU_CALLS,       // dgl GLU entry points (InitGLU)
  GL_STUB_CALLS,   // gl_stub_table (gl_stub_load)
  GLU_STUB_CALLS,  // glu_stub_table (glu_stub_load)
  GL_CALLS_ENGINE, // dgl extension entry points of the 3D engine (its first use)
};

// The first entry point of the table that is still NULL, or NULL when all
// are present.
const char *glFirstMissingCall(glCallTable_t table);

// Ends the program through the fatal exit, naming the first missing entry
// point of the table, if there is one. what names the library ("OpenGL",
// "OpenGL Utils").
void glRequireCalls(glCallTable_t table, const char *what);
