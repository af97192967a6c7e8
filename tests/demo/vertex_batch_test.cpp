// The vertex batch through the recording OpenGL: what one draw carries.
#include <gtest/gtest.h>

#include "demo/draw_helpers.h"
#include "demo/vertex_batch.h"
#include "gl_recorder.h"

namespace ember_test {
namespace {

const GlCall &OnlyDraw(const GlRecorder &gl) {
  EXPECT_EQ(gl.Count("glDrawArrays"), 1u);
  return *gl.Find("glDrawArrays");
}

TEST(VertexBatch,
     AColourSetLateStartsFromTheCurrentOneAndTheLastValuesStayCurrent) {
  GlRecorder gl;
  gl.floats[GL_CURRENT_COLOR] = {0.25f, 0.5f, 0.75f, 1};
  {
    VertexBatch points(GL_POINTS);
    points.Vertex2f(1, 2);
    points.Color3f(1, 0, 0);
    points.Vertex3f(3, 4, 5);
  }
  const GlCall &draw = OnlyDraw(gl);
  EXPECT_EQ(draw.args, (std::vector<double>{GL_POINTS, 0, 2}));
  EXPECT_EQ(draw.arrays.at(GL_VERTEX_ARRAY),
            (std::vector<float>{1, 2, 0, 3, 4, 5}));
  EXPECT_EQ(draw.arrays.at(GL_COLOR_ARRAY),
            (std::vector<float>{0.25f, 0.5f, 0.75f, 1, 1, 0, 0, 1}));
  EXPECT_EQ(draw.arrays.count(GL_NORMAL_ARRAY),
            0u); // never set: the current one applies
  ASSERT_NE(gl.Find("glColor4f"), nullptr);
  EXPECT_EQ(gl.Find("glColor4f")->args, (std::vector<double>{1, 0, 0, 1}));
  EXPECT_EQ(gl.Count("glEnableClientState"), gl.Count("glDisableClientState"));
}

TEST(VertexBatch, EachPrimitiveKeepsItsOwnMatrixAndNormalsStayPerpendicular) {
  GlRecorder gl;
  {
    VertexBatch quads(GL_QUADS);
    quads.PushMatrix();
    quads.Translatef(10, 0, 0);
    quads.Rotatef(90, 0, 0, 1);
    quads.Scalef(2, 1, 1);
    // A surface along x = y with its normal (1, -1, 0) / sqrt 2.
    quads.Normal3f(0.70710678f, -0.70710678f, 0);
    quads.Vertex3f(1, 1, 0);
    quads.PopMatrix();
    quads.Vertex3f(1, 1, 0); // the batch's own identity again
  }
  const GlCall &draw = OnlyDraw(gl);
  const std::vector<float> &p = draw.arrays.at(GL_VERTEX_ARRAY);
  // (1, 1, 0) scaled to (2, 1, 0), turned to (-1, 2, 0), moved to (9, 2, 0).
  EXPECT_NEAR(p[0], 9, 1e-6);
  EXPECT_NEAR(p[1], 2, 1e-6);
  EXPECT_EQ((std::vector<float>{p[3], p[4], p[5]}),
            (std::vector<float>{1, 1, 0}));
  // The surface's direction (1, 1, 0) becomes (-1, 2, 0): the normal must
  // stay perpendicular to it.
  const std::vector<float> &n = draw.arrays.at(GL_NORMAL_ARRAY);
  EXPECT_NEAR(-1 * n[0] + 2 * n[1], 0, 1e-6);
  EXPECT_EQ((std::vector<float>{n[3], n[4], n[5]}),
            (std::vector<float>{0.70710678f, -0.70710678f, 0}));
}

TEST(VertexBatch,
     OnlyFacesTurnedToTheEyeAreSentButTheLastValuesStillFollowEveryFace) {
  {
    GlRecorder gl;
    // Eye space is the world moved 5 back: the eye sits at (0, 0, 5).
    gl.floats[GL_MODELVIEW_MATRIX] = {1, 0, 0, 0, 0, 1, 0,  0,
                                      0, 0, 1, 0, 0, 0, -5, 1};
    {
      VertexBatch quads(GL_QUADS);
      quads.PushMatrix();
      quads.Translatef(3, 0, 0); // right of the eye: its +z and -x faces show
      DrawCubeFacingEye(quads);
      quads.PopMatrix();
      // Seen exactly edge-on, a face still counts as shown.
      const float up[3] = {0, 1, 0}, onEyeLevel[3] = {0, 0, 0};
      EXPECT_TRUE(quads.FacesEye(up, onEyeLevel));
    }
    const GlCall &draw = OnlyDraw(gl);
    const std::vector<float> &n = draw.arrays.at(GL_NORMAL_ARRAY);
    ASSERT_EQ(n.size(), 8u * 3u);
    EXPECT_EQ((std::vector<float>{n[0], n[1], n[2]}),
              (std::vector<float>{0, 0, 1}));
    EXPECT_EQ((std::vector<float>{n[12], n[13], n[14]}),
              (std::vector<float>{-1, 0, 0}));
    ASSERT_NE(gl.Find("glNormal3f"), nullptr);
    EXPECT_EQ(gl.Find("glNormal3f")->args, (std::vector<double>{-1, 0, 0}));
  }

  // A batch whose every face is turned away draws nothing and still leaves
  // its last colour current; without a readable modelview every face shows.
  {
    GlRecorder away;
    away.floats[GL_MODELVIEW_MATRIX] = {1, 0, 0, 0, 0, 1, 0,  0,
                                        0, 0, 1, 0, 0, 0, -5, 1};
    {
      VertexBatch quads(GL_QUADS);
      const float back[3] = {0, 0, -1}, corner[3] = {0, 0, -1};
      quads.Hide(!quads.FacesEye(back, corner));
      quads.Color3f(0, 1, 0);
      quads.Vertex3f(0, 0, -1);
    }
    EXPECT_EQ(away.Count("glDrawArrays"), 0u);
    ASSERT_NE(away.Find("glColor4f"), nullptr);
    EXPECT_EQ(away.Find("glColor4f")->args, (std::vector<double>{0, 1, 0, 1}));
  }
  GlRecorder unread;
  {
    VertexBatch quads(GL_QUADS);
    DrawCubeFacingEye(quads);
  }
  EXPECT_EQ(OnlyDraw(unread).args, (std::vector<double>{GL_QUADS, 0, 24}));
}

} // namespace
} // namespace ember_test
