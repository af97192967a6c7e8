// Mesh drawing and the sphere-map state block, seen through the recording
// OpenGL table: what each corner's draw reads, in which order, and what
// the state block switches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo/mesh_draw.h"
#include "demo_harness.h"

namespace {

using ember_test::GlCall;
using ember_test::GlRecorder;

// Two triangles over four vertices; the second repeats a corner (a
// degenerate triangle is drawn like any other).
struct SmallMesh {
  int32_t faces[6] = {0, 1, 2, 3, 3, 1};
  float vertices[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 5};
  float third[12] = {0, 0, 1, 0.25f, 0.5f, 0.75f, 1, 0, 0, 0.5f, 0.125f, 9};
  TMeshRecord mesh{faces, vertices, third, 2, 4};
};

std::vector<std::string> NamesOf(const GlRecorder &recorder) { return recorder.Names(); }

// The one draw of a mesh, or NULL.
const GlCall *MeshDraw(const GlRecorder &recorder) {
  EXPECT_EQ(recorder.Count("glDrawElements"), 1u);
  return recorder.Find("glDrawElements");
}

TEST(MeshDraw, OneDrawWithANormalAndAVertexPerCornerInFaceOrder) {
  SmallMesh m;
  GlRecorder recorder;
  DrawMesh(m.mesh);

  const GlCall *draw = MeshDraw(recorder);
  ASSERT_NE(draw, nullptr);
  EXPECT_EQ(draw->args[0], GL_TRIANGLES);
  EXPECT_EQ(draw->args[1], 6);
  // Corner k reads element faces[k] of both arrays.
  const int32_t corners[6] = {0, 1, 2, 3, 3, 1};
  std::vector<float> normals, vertices;
  for (int32_t c : corners) {
    normals.insert(normals.end(), m.third + 3 * c, m.third + 3 * c + 3);
    vertices.insert(vertices.end(), m.vertices + 3 * c, m.vertices + 3 * c + 3);
  }
  EXPECT_EQ(draw->arrays.at(GL_NORMAL_ARRAY), normals);
  EXPECT_EQ(draw->arrays.at(GL_VERTEX_ARRAY), vertices);
  EXPECT_EQ(draw->arrays.count(GL_TEXTURE_COORD_ARRAY), 0u);
  // The arrays are on for the draw only; the last corner's normal stays
  // current, as after a glEnd.
  EXPECT_EQ(recorder.Count("glEnableClientState"), 2u);
  EXPECT_EQ(recorder.Count("glDisableClientState"), 2u);
  ASSERT_NE(recorder.Find("glNormal3fv"), nullptr);
  EXPECT_EQ(recorder.Find("glNormal3fv")->pointers[0], m.third + 3);
  EXPECT_EQ(NamesOf(recorder).back(), "glNormal3fv");
}

TEST(MeshDraw, ATexturedMeshSendsItsCoordinatesInPlaceOfNormals) {
  SmallMesh m;
  GlRecorder recorder;
  DrawTexturedMesh(m.mesh);

  const GlCall *draw = MeshDraw(recorder);
  ASSERT_NE(draw, nullptr);
  EXPECT_EQ(draw->arrays.count(GL_NORMAL_ARRAY), 0u);
  // u, v of each corner: the first two of its triple; w (9 for vertex 3)
  // is never read.
  EXPECT_EQ(draw->arrays.at(GL_TEXTURE_COORD_ARRAY),
            (std::vector<float>{0, 0, 0.25f, 0.5f, 1, 0, 0.5f, 0.125f, 0.5f, 0.125f, 0.25f, 0.5f}));
  EXPECT_EQ(recorder.Count("glNormal3fv"), 0u);
  ASSERT_NE(recorder.Find("glTexCoord2fv"), nullptr);
  EXPECT_EQ(recorder.Find("glTexCoord2fv")->pointers[0], m.third + 3);
}

TEST(MeshDraw, AMeshWithoutFacesDrawsNothing) {
  SmallMesh m;
  m.mesh.faceCount = 0;
  GlRecorder recorder;
  DrawMesh(m.mesh);
  DrawTexturedMesh(m.mesh);
  EXPECT_EQ(recorder.Count("glDrawElements"), 0u);
  EXPECT_EQ(recorder.Count("glEnableClientState"), 0u);
}

TEST(MeshDraw, TheSphereMapBlockBindsThenGeneratesSAndT) {
  GlRecorder recorder;
  BeginSphereMap(42);
  const std::vector<GlCall> &calls = recorder.calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].name, "glBindTexture");
  EXPECT_EQ(calls[0].args[1], 42);
  EXPECT_EQ(calls[1].name, "glEnable");
  EXPECT_EQ(calls[1].args[0], GL_TEXTURE_GEN_S);
  EXPECT_EQ(calls[2].args[0], GL_TEXTURE_GEN_T);
  for (int k = 3; k < 5; ++k) {
    EXPECT_EQ(calls[k].name, "glTexGeni");
    EXPECT_EQ(calls[k].args[0], k == 3 ? GL_S : GL_T);
    EXPECT_EQ(calls[k].args[1], GL_TEXTURE_GEN_MODE);
    EXPECT_EQ(calls[k].args[2], GL_SPHERE_MAP);
  }

  recorder.Clear();
  EndSphereMap();
  std::vector<double> disabled;
  for (const GlCall &call : recorder.calls()) {
    EXPECT_EQ(call.name, "glDisable");
    disabled.push_back(call.args[0]);
  }
  EXPECT_EQ(disabled, (std::vector<double>{GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_LIGHTING,
                                           GL_CULL_FACE}));
}

}  // namespace
