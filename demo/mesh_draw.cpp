// Mesh drawing and sphere mapping. See mesh_draw.h.
//
// A mesh is drawn several times a frame (twice for the glow); sent corner
// by corner it cost six calls per triangle, so it goes to OpenGL as one
// indexed draw of the loaded arrays instead.
#include "demo/mesh_draw.h"

#include "window/gl_demo.h"

namespace {

// One draw of the whole mesh from its own arrays: the faces index the
// vertices and the third array alike, as the corners of the loop did. The
// current normal or texture coordinate is left as the loop's last corner
// left it.
void DrawIndexed(const TMeshRecord &mesh, bool textured) {
  if (mesh.faceCount <= 0 || !mesh.faces || !mesh.vertices || !mesh.third) return;
  const GLenum third = textured ? GL_TEXTURE_COORD_ARRAY : GL_NORMAL_ARRAY;
  dgl::glEnableClientState(GL_VERTEX_ARRAY);
  dgl::glEnableClientState(third);
  dgl::glVertexPointer(3, GL_FLOAT, 0, mesh.vertices);
  if (textured)
    dgl::glTexCoordPointer(2, GL_FLOAT, 3 * sizeof(float), mesh.third);
  else
    dgl::glNormalPointer(GL_FLOAT, 0, mesh.third);
  dgl::glDrawElements(GL_TRIANGLES, 3 * mesh.faceCount, GL_UNSIGNED_INT, mesh.faces);
  dgl::glDisableClientState(GL_VERTEX_ARRAY);
  dgl::glDisableClientState(third);
  const float *last = mesh.third + 3 * static_cast<int64_t>(mesh.faces[3 * mesh.faceCount - 1]);
  if (textured)
    dgl::glTexCoord2fv(last);
  else
    dgl::glNormal3fv(last);
}

}  // namespace

void DrawMesh(const TMeshRecord &mesh) { DrawIndexed(mesh, false); }

void DrawTexturedMesh(const TMeshRecord &mesh) { DrawIndexed(mesh, true); }

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
