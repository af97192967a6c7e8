// The clip-space batch through the recording OpenGL, which it cannot
// check itself against: every call is passed on as the immediate-mode
// code makes it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo/clip_space_batch.h"
#include "demo/draw_helpers.h"
#include "gl_recorder.h"

namespace ember_test {
namespace {

TEST(ClipSpaceBatch, ARecordingGetsOneBeginAndEndPerMatrix) {
  GlRecorder gl;
  {
    ClipSpaceBatch quads(ClipSpaceBatch::TexCoords::kGiven);
    EXPECT_FALSE(quads.Exact());
    quads.PushMatrix();
    quads.Translatef(1, 2, 3);
    quads.Scalef(2, 2, 2);
    DrawStripQuad(quads, 0.5f, 0.25f);
    quads.PopMatrix();
    quads.Translatef(4, 5, 6);
    DrawCube(quads);
  }
  std::vector<std::string> expected = {"glPushMatrix", "glTranslatef", "glScalef", "glBegin",
                                       "glNormal3f"};
  for (int v = 0; v < 4; ++v) expected.insert(expected.end(), {"glTexCoord2f", "glVertex3f"});
  expected.insert(expected.end(), {"glEnd", "glPopMatrix", "glTranslatef", "glBegin"});
  for (int face = 0; face < 6; ++face) {
    expected.push_back("glNormal3f");
    expected.insert(expected.end(), 4, "glVertex3f");
  }
  expected.push_back("glEnd");
  std::vector<std::string> names = gl.Names();
  std::erase(names, "glGetString");  // the batch's question whether to check
  EXPECT_EQ(names, expected);
}

}  // namespace
}  // namespace ember_test
