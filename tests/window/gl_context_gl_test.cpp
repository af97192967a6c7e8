// The entry tables against a real context (Mesa's software renderer under
// Xvfb): the start-up order of the program, window manager first, then the
// GL and GLU slots, a window's context, and glInitExt.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "gl_test_log.h"
#include "platform/platform.h"
#include "window/gl_calls.h"
#include "window/gl_demo.h"
#include "window/gl_stub.h"
#include "window/wm.h"

using ember_test::GlTestLog;

class GlContextTest : public ::testing::Test {
protected:
  // The window manager starts once per process, as in the program.
  static void SetUpTestSuite() {
    ASSERT_EQ(plSetBackend(PL_BACKEND_SDL), 0);
    ASSERT_EQ(wmInit(), 0);
  }

  void SetUp() override {
    InitGL();
    InitGLU();
    window = wmNewWindow(0, 0, 64, 48);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(wmShowWindow(window), 0);
    wmMakeCurrent(window);
    glExtFlags = {};
  }

  void TearDown() override {
    if (window) wmDestroyWindow(window);
    FreeGLU();
    FreeGL();
    glExtFlags = {};
  }

  GlTestLog log;
  wm_window_t *window = nullptr;
};

TEST_F(GlContextTest, InitExtFillsFlagsAndEntryPoints) {
  glInitExt();

  GLint driver_max = 0;
  dgl::glGetIntegerv(GL_MAX_TEXTURE_SIZE, &driver_max);
  EXPECT_EQ(glExtFlags.maxTextureSize, driver_max);
  EXPECT_GE(glExtFlags.maxTextureSize, 1024);
  EXPECT_LE(glExtFlags.maxTextureSize, 65536);
  EXPECT_TRUE(log.Has("[gl] - Maximum texture size : " + std::to_string(driver_max) + "\n"));

  std::string renderer = reinterpret_cast<const char *>(dgl::glGetString(GL_RENDERER));
  EXPECT_TRUE(log.Has("[gl] - renderer: " + renderer.substr(0, 200)));

  // Every software renderer of this age offers these.
  EXPECT_EQ(glExtFlags.multitexture, 1);
  EXPECT_EQ(glExtFlags.cubeMap, 1);
  EXPECT_EQ(glExtFlags.textureEnvCombine, 1);

  // The DXT flags are exactly the formats the driver lists.
  if (glExtFlags.textureCompression) {
    GLint count = 0;
    dgl::glGetIntegerv(GL_NUM_COMPRESSED_TEXTURE_FORMATS, &count);
    std::vector<GLint> formats(static_cast<size_t>(count));
    if (count > 0) dgl::glGetIntegerv(GL_COMPRESSED_TEXTURE_FORMATS, formats.data());
    std::set<GLint> listed(formats.begin(), formats.end());
    EXPECT_EQ(glExtFlags.dxt1, listed.count(0x83F0) ? 1 : 0);
    EXPECT_EQ(glExtFlags.dxt3, listed.count(0x83F2) ? 1 : 0);
    EXPECT_EQ(glExtFlags.dxt5, listed.count(0x83F3) ? 1 : 0);
    EXPECT_TRUE(log.Has("[gl]   - supported DXTC modes (" + std::to_string(count) + "):"));
  } else {
    EXPECT_TRUE(log.Has("[gl] DXTC : not available.\n"));
  }

  EXPECT_NE(dgl::glCompressedTexImage2DARB, nullptr);
  EXPECT_NE(dgl::glBindBufferARB, nullptr);
  EXPECT_NE(dgl::glCreateShaderObjectARB, nullptr);
  EXPECT_NE(dgl::glGetQueryObjectuivARB, nullptr);  // the last extension entry point
  EXPECT_EQ(glFirstMissingCall(GL_CALLS_EXT), nullptr);
  EXPECT_EQ(glFirstMissingCall(GL_CALLS_ENGINE), nullptr);  // Mesa has the engine's buffers
}

TEST_F(GlContextTest, DemoEntryPointsDrawIntoTheContext) {
  glInitExt();
  dgl::glViewport(0, 0, 64, 48);
  dgl::glClearColor(0, 0, 1, 1);
  dgl::glClear(GL_COLOR_BUFFER_BIT);
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluOrtho2D(0, 64, 0, 48);
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::glColor3f(1, 0, 0);
  dgl::glBegin(GL_QUADS);
  dgl::glVertex2f(0, 0);
  dgl::glVertex2f(32, 0);
  dgl::glVertex2f(32, 48);
  dgl::glVertex2f(0, 48);
  dgl::glEnd();

  unsigned char left[4] = {}, right[4] = {};
  dgl::glReadPixels(8, 24, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, left);
  dgl::glReadPixels(56, 24, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, right);
  EXPECT_EQ(left[0], 255);
  EXPECT_EQ(left[2], 0);
  EXPECT_EQ(right[0], 0);
  EXPECT_EQ(right[2], 255);
  EXPECT_EQ(dgl::glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlContextTest, FrameworkTablesBuildATexture) {
  ASSERT_EQ(glu_stub_load(), 0);
  const unsigned char pixels[4 * 4 * 4] = {255, 0, 0, 255};
  GLuint id = 0;
  gl_stub_table.glGenTextures(1, &id);
  ASSERT_NE(id, 0u);
  gl_stub_table.glBindTexture(GL_TEXTURE_2D, id);
  EXPECT_EQ(glu_stub_table.gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, 4, 4, GL_RGBA,
                                             GL_UNSIGNED_BYTE, pixels),
            0);
  EXPECT_EQ(gl_stub_table.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  gl_stub_table.glDeleteTextures(1, &id);
}

// A context may outlive the window it was made for: the next context still
// joins the group, and the old one is destroyed, without either touching
// the window that is gone.
TEST_F(GlContextTest, AContextOutlivingItsWindowNeverReachesIt) {
  wmDestroyWindow(window);  // the orphan is then the oldest context
  window = nullptr;
  const intptr_t format = plGlChoosePixelFormat();
  plWindow *first = plWindowCreate(0, 0, 32, 32, 0);
  ASSERT_NE(first, nullptr);
  plContext *orphan = plGlCreateContext(first, format);
  ASSERT_NE(orphan, nullptr);
  ASSERT_EQ(plGlMakeCurrent(first, orphan), 0);
  plWindowDestroy(first);
  plWindow *second = plWindowCreate(0, 0, 32, 32, 0);
  ASSERT_NE(second, nullptr);
  plContext *next = plGlCreateContext(second, format);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(plGlDestroyContext(orphan), 0);
  ASSERT_EQ(plGlMakeCurrent(second, next), 0);
  EXPECT_EQ(plGlDestroyContext(next), 0);
  plWindowDestroy(second);
}
