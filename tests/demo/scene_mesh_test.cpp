// Mesh drawing and the sphere-map state block, seen through the recording
// OpenGL table: what reaches OpenGL per corner, in which order, and what
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

TEST(MeshDraw, OneBatchWithANormalThenAVertexPerCornerInFaceOrder) {
  SmallMesh m;
  GlRecorder recorder;
  DrawMesh(m.mesh);

  const std::vector<GlCall> &calls = recorder.calls();
  ASSERT_EQ(calls.size(), 2u + 2u * 6u);
  EXPECT_EQ(calls.front().name, "glBegin");
  EXPECT_EQ(calls.front().args[0], GL_TRIANGLES);
  EXPECT_EQ(calls.back().name, "glEnd");
  const int32_t corners[6] = {0, 1, 2, 3, 3, 1};
  for (int k = 0; k < 6; ++k) {
    const GlCall &normal = calls[1 + 2 * k];
    const GlCall &vertex = calls[2 + 2 * k];
    EXPECT_EQ(normal.name, "glNormal3fv") << k;
    EXPECT_EQ(vertex.name, "glVertex3fv") << k;
    // Corner index k addresses element k of both arrays.
    EXPECT_EQ(normal.pointers[0], m.third + 3 * corners[k]) << k;
    EXPECT_EQ(vertex.pointers[0], m.vertices + 3 * corners[k]) << k;
  }
}

TEST(MeshDraw, ATexturedMeshSendsItsCoordinatesInPlaceOfNormals) {
  SmallMesh m;
  GlRecorder recorder;
  DrawTexturedMesh(m.mesh);

  EXPECT_EQ(recorder.Count("glNormal3fv"), 0u);
  ASSERT_EQ(recorder.Count("glTexCoord2fv"), 6u);
  ASSERT_EQ(recorder.Count("glVertex3fv"), 6u);
  // The fourth corner is vertex 3: u, v = 0.5, 0.125; w (9) is never read
  // because only two values are passed.
  EXPECT_EQ(recorder.Find("glTexCoord2fv", 3)->pointers[0], m.third + 9);
  const std::vector<std::string> names = NamesOf(recorder);
  EXPECT_EQ(names[1], "glTexCoord2fv");
  EXPECT_EQ(names[2], "glVertex3fv");
}

TEST(MeshDraw, AMeshWithoutFacesStillSendsItsEmptyBatch) {
  SmallMesh m;
  m.mesh.faceCount = 0;
  GlRecorder recorder;
  DrawMesh(m.mesh);
  DrawTexturedMesh(m.mesh);
  EXPECT_EQ(NamesOf(recorder),
            (std::vector<std::string>{"glBegin", "glEnd", "glBegin", "glEnd"}));
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
