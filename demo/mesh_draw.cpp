// Mesh drawing and sphere mapping. See mesh_draw.h.
//
// The loop is the hottest code of the meshes' scenes (six calls per
// triangle, the mesh drawn twice per frame for the glow), so it reads the
// arrays straight and hoists the entry points out of the loop.
#include "demo/mesh_draw.h"

#include "window/gl_demo.h"

namespace {

template <typename AttributeCall>
void TriangleLoop(const TMeshRecord &mesh, AttributeCall attribute) {
  const auto vertex = dgl::glVertex3fv;
  dgl::glBegin(GL_TRIANGLES);
  const int32_t *face = mesh.faces;
  for (int32_t f = 0; f < mesh.faceCount; ++f, face += 3) {
    for (int corner = 0; corner < 3; ++corner) {
      const int64_t k = 3 * static_cast<int64_t>(face[corner]);
      attribute(mesh.third + k);
      vertex(mesh.vertices + k);
    }
  }
  dgl::glEnd();
}

}  // namespace

void DrawMesh(const TMeshRecord &mesh) {
  const auto normal = dgl::glNormal3fv;
  TriangleLoop(mesh, [normal](const float *n) { normal(n); });
}

void DrawTexturedMesh(const TMeshRecord &mesh) {
  const auto texCoord = dgl::glTexCoord2fv;
  TriangleLoop(mesh, [texCoord](const float *uv) { texCoord(uv); });
}

void BeginSphereMap(int32_t texture) {
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
  dgl::glEnable(GL_TEXTURE_GEN_S);
  dgl::glEnable(GL_TEXTURE_GEN_T);
  dgl::glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  dgl::glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
}

void EndSphereMap() {
  dgl::glDisable(GL_TEXTURE_GEN_S);
  dgl::glDisable(GL_TEXTURE_GEN_T);
  dgl::glDisable(GL_LIGHTING);
  dgl::glDisable(GL_CULL_FACE);
}
