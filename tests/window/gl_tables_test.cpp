// Filling the entry tables from the system's libGL and libGLU (no context
// needed to resolve names), releasing them in the orderly shutdown, and the
// check that every entry point the program calls was found.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>

#include "framework/base.h"
#include "framework/log.h"
#include "framework/module.h"
#include "gl_test_log.h"
#include "window/gl_calls.h"
#include "window/gl_demo.h"
#include "window/gl_stub.h"

using ember_test::GlTestLog;

namespace {

// Users the module loader counts for a module name; 0 when it is not listed.
int Users(const char *name) {
  for (PModule m = SYS_DlGetList(); m; m = m->next) {
    if (strcmp(m->name, name) == 0) return m->users;
  }
  return 0;
}

// The first entry of the framework table the library lacks, or "".
std::string FirstNullStubEntry() {
#define GL_ENTRY(name, type) \
  if (!gl_stub_table.name) return #name;
#include "window/gl_stub_names.inc"
#undef GL_ENTRY
  return "";
}

}  // namespace

TEST(GlStubLoad, FillsTheFrameworkTableFromLibGL) {
  GlTestLog log;
  ASSERT_EQ(gl_stub_load(), 0);
  EXPECT_NE(gl_stub_table.module, nullptr);
  EXPECT_NE(gl_stub_table.glBegin, nullptr);
  EXPECT_NE(gl_stub_table.glStencilMaskSeparate, nullptr);
  EXPECT_NE(gl_stub_table.glCompressedTexImage2DARB, nullptr);
  EXPECT_EQ(glFirstMissingCall(GL_STUB_CALLS), nullptr);
  EXPECT_TRUE(log.Has("[gl_stub]  ! load GL module.\n"));

  // A second load fills the table again from the library already held.
  void *first = gl_stub_table.module;
  ASSERT_EQ(gl_stub_load(), 0);
  EXPECT_EQ(gl_stub_table.module, first);
  EXPECT_TRUE(log.Has("[dl] preloaded module: libGL.so.1\n"));
}

TEST(GlStubLoad, GluTableComesFromItsOwnLibrary) {
  GlTestLog log;
  ASSERT_EQ(glu_stub_load(), 0);
  EXPECT_TRUE(log.Has("[glu_stub]  ! load GLU module.\n"));
  EXPECT_NE(glu_stub_table.module, nullptr);
  EXPECT_NE(glu_stub_table.module, gl_stub_table.module);
  EXPECT_NE(glu_stub_table.gluBuild2DMipmaps, nullptr);
  EXPECT_NE(glu_stub_table.gluTessNormal, nullptr);
  EXPECT_NE(glu_stub_table.gluUnProject4, nullptr);
  EXPECT_EQ(glFirstMissingCall(GLU_STUB_CALLS), nullptr);
}

TEST(GlStubLoad, MissingNamesStayEmptyAndAreLoggedOnlyWhenAsked) {
  ASSERT_EQ(gl_stub_load(), 0);
  std::string missing = FirstNullStubEntry();
  // Mesa's libGL lacks some vendor extensions of the headers.
  ASSERT_FALSE(missing.empty()) << "this libGL has every entry point of the headers";
  std::string line = "[dl] symbol not found: " + missing + " (";
  {
    GlTestLog log;
    ASSERT_EQ(gl_stub_load(), 0);  // a gap in the library is no failure
    EXPECT_FALSE(log.Has(line));
  }
  {
    GlTestLog log;
    int32_t saved = SYS_LogDlSymbols;
    SYS_LogDlSymbols = 1;
    ASSERT_EQ(gl_stub_load(), 0);
    SYS_LogDlSymbols = saved;
    EXPECT_TRUE(log.Has(line)) << line;
  }
}

TEST(GlUnits, InitSlotsFillTheDemoEntriesFromSeparateLibraries) {
  InitGL();
  InitGLU();
  ASSERT_NE(glModule, nullptr);
  ASSERT_NE(gluModule, nullptr);
  EXPECT_NE(glModule, gluModule);
  EXPECT_NE(dgl::glBegin, nullptr);
  EXPECT_NE(dgl::glWindowPos3sv, nullptr);     // last core entry point
  EXPECT_NE(dgl::gluPerspective, nullptr);
  EXPECT_NE(dgl::gluGetString, nullptr);
  EXPECT_EQ(glFirstMissingCall(GL_CALLS_CORE), nullptr);
  EXPECT_EQ(glFirstMissingCall(GLU_CALLS), nullptr);
  // The extension entry points wait for a context.
  EXPECT_NE(glGetExtProc("glBindBufferARB"), nullptr);
  EXPECT_EQ(glGetExtProc("glNoSuchEntryPointEXT"), nullptr);
  EXPECT_EQ(glGetExtProc(nullptr), nullptr);
  FreeGLU();
  FreeGL();
}

TEST(GlUnits, EachExitSlotReleasesItsOwnLibraryOnce) {
  int gl_before = Users(GL_MODULE_NAME);
  int glu_before = Users(GLU_MODULE_NAME);
  InitGL();
  InitGLU();
  EXPECT_EQ(Users(GL_MODULE_NAME), gl_before + 1);
  EXPECT_EQ(Users(GLU_MODULE_NAME), glu_before + 1);

  // The orderly shutdown runs slot 3 before slot 2.
  FreeGLU();
  EXPECT_EQ(gluModule, nullptr);
  EXPECT_EQ(dgl::gluPerspective, nullptr);  // nothing points into a released library
  EXPECT_EQ(Users(GLU_MODULE_NAME), glu_before);
  EXPECT_EQ(Users(GL_MODULE_NAME), gl_before + 1);
  FreeGL();
  EXPECT_EQ(glModule, nullptr);
  EXPECT_EQ(dgl::glBegin, nullptr);
  EXPECT_EQ(Users(GL_MODULE_NAME), gl_before);

  // An exit slot whose init slot never ran (or ran its exit already) does
  // nothing.
  FreeGLU();
  FreeGL();
  EXPECT_EQ(Users(GL_MODULE_NAME), gl_before);
  EXPECT_EQ(Users(GLU_MODULE_NAME), glu_before);
}

TEST(GlUnits, RegisterSlotsTwoAndThree) {
  glRegister();
  gluRegister();
  EXPECT_EQ(SYS_RemoveInitProc("GL unit ..."), 0);
  EXPECT_EQ(SYS_RemoveExitProc("Uninit GL unit ..."), 0);
  EXPECT_EQ(SYS_RemoveInitProc("GLU unit ..."), 0);
  EXPECT_EQ(SYS_RemoveExitProc("Uninit GLU unit ..."), 0);
}

TEST(GlCalls, FirstMissingFollowsTheTableOrder) {
  InitGL();
  InitGLU();
  auto alpha = dgl::glAlphaFunc;
  auto viewport = dgl::glViewport;
  dgl::glViewport = nullptr;
  EXPECT_STREQ(glFirstMissingCall(GL_CALLS_CORE), "glViewport");
  dgl::glAlphaFunc = nullptr;
  EXPECT_STREQ(glFirstMissingCall(GL_CALLS_CORE), "glAlphaFunc");
  dgl::glAlphaFunc = alpha;
  dgl::glViewport = viewport;
  EXPECT_EQ(glFirstMissingCall(GL_CALLS_CORE), nullptr);
  EXPECT_EQ(glFirstMissingCall(GL_CALLS_EXT), nullptr);
  // The engine's buffer calls have a table of their own.
  auto bind = dgl::glBindBufferARB;
  dgl::glBindBufferARB = nullptr;
  EXPECT_STREQ(glFirstMissingCall(GL_CALLS_ENGINE), "glBindBufferARB");
  dgl::glBindBufferARB = bind;
  EXPECT_EQ(glFirstMissingCall(static_cast<glCallTable_t>(99)), nullptr);

  auto mipmaps = dgl::gluBuild2DMipmaps;
  dgl::gluBuild2DMipmaps = nullptr;
  EXPECT_STREQ(glFirstMissingCall(GLU_CALLS), "gluBuild2DMipmaps");
  dgl::gluBuild2DMipmaps = mipmaps;
  FreeGLU();
  FreeGL();
}

TEST(GlCallsDeathTest, AMissingCalledEntryEndsTheProgramNamingIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  InitGL();
  // The fatal exit writes to standard output; the matcher reads errors.
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        dgl::glReadPixels = nullptr;
        glRequireCalls(GL_CALLS_CORE, "OpenGL");
      },
      ::testing::ExitedWithCode(1), "OpenGL entry point not found: glReadPixels\\.");
  FreeGL();
}
