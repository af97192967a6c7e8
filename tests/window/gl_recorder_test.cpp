// The recording OpenGL itself: later tests count draw calls with it, so it
// must record every table's calls faithfully and put everything back.
#include <gtest/gtest.h>

#include "gl_recorder.h"
#include "window/gl_demo.h"
#include "window/gl_stub.h"

using ember_test::GlRecorder;

TEST(GlRecorder, RecordsCallsOfEveryTableWithTheirArguments) {
  auto before_begin = dgl::glBegin;
  auto before_stub = gl_stub_table.glVertex2i;
  {
    GlRecorder gl;
    const GLfloat colour[4] = {1, 0.5f, 0.25f, 1};
    dgl::glBegin(GL_QUADS);
    dgl::glVertex3f(1.5f, -2, 3);
    dgl::glEnd();
    gl_stub_table.glColor4fv(colour);
    gl_stub_table.glVertex2i(7, 8);
    dgl::gluPerspective(45, 4.0 / 3.0, 1, 100);
    glu_stub_table.gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 16, 16, GL_RGBA, GL_UNSIGNED_BYTE, colour);
    dgl::glDrawRangeElements(GL_TRIANGLES, 0, 3, 3, GL_UNSIGNED_INT, nullptr);

    EXPECT_EQ(gl.Names(), (std::vector<std::string>{"glBegin", "glVertex3f", "glEnd", "glColor4fv",
                                                    "glVertex2i", "gluPerspective",
                                                    "gluBuild2DMipmaps", "glDrawRangeElements"}));
    EXPECT_EQ(gl.Find("glBegin")->args, std::vector<double>{GL_QUADS});
    EXPECT_EQ(gl.Find("glVertex3f")->args, (std::vector<double>{1.5, -2, 3}));
    EXPECT_EQ(gl.Find("glColor4fv")->pointers[0], colour);
    EXPECT_EQ(gl.Find("glVertex2i")->args, (std::vector<double>{7, 8}));
    EXPECT_DOUBLE_EQ(gl.Find("gluPerspective")->args[1], 4.0 / 3.0);
    EXPECT_EQ(gl.Find("gluBuild2DMipmaps")->pointers[6], colour);
    EXPECT_EQ(gl.Count("glBegin"), 1u);
    EXPECT_EQ(gl.Find("glBegin", 1), nullptr);
    gl.Clear();
    EXPECT_TRUE(gl.calls().empty());
  }
  EXPECT_EQ(dgl::glBegin, before_begin);
  EXPECT_EQ(gl_stub_table.glVertex2i, before_stub);
}

TEST(GlRecorder, AnswersQueries) {
  GlRecorder gl;
  gl.strings[GL_VENDOR] = "Recorder";
  gl.integers[GL_VIEWPORT] = {0, 0, 800, 600};
  gl.floats[GL_LINE_WIDTH] = {2.5f};
  gl.error = GL_INVALID_ENUM;

  EXPECT_STREQ(reinterpret_cast<const char *>(dgl::glGetString(GL_VENDOR)), "Recorder");
  EXPECT_EQ(gl_stub_table.glGetString(GL_RENDERER), nullptr);
  GLint viewport[4] = {};
  dgl::glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 800);
  EXPECT_EQ(viewport[3], 600);
  GLfloat width = 0;
  dgl::glGetFloatv(GL_LINE_WIDTH, &width);
  EXPECT_EQ(width, 2.5f);
  GLuint names[3] = {};
  dgl::glGenTextures(2, names);
  gl_stub_table.glGenTextures(1, names + 2);
  EXPECT_EQ(names[0], 1u);
  EXPECT_EQ(names[1], 2u);
  EXPECT_EQ(names[2], 3u);
  EXPECT_EQ(dgl::glGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
  EXPECT_EQ(dgl::glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_EQ(dgl::glIsEnabled(GL_BLEND), GL_FALSE);  // other queries answer zero
  EXPECT_EQ(gl.Count("glGetError"), 2u);
}
