// Stencil shadow volumes; see shadows.h.
#include "engine/effects/shadows.h"

#include <cstring>

#include "engine/anim/anim.h"
#include "engine/effects/faces.h"
#include "engine/render/object_render.h"
#include "engine/render/vectors.h"
#include "window/gl_demo.h"

float _3DV_ShadowExtrusion = 1000.0f;

namespace {

constexpr GLsizei kCornerBytes = sizeof(_3DV_VECTOR);
constexpr GLsizeiptrARB kQuadBytes = 4 * kCornerBytes;

// Whether the arrays the build reads are there; an object without faces
// builds nothing and draws no quads.
bool CanBuild(const _3DV_SCENE &scene, const _3DV_OBJECT &o) {
  if (o.facecount <= 0) return true;
  return o.faces && o.vertices && o.facenormals && o.facecenters && o.neighbours &&
         o.lightvisible && o.contour && scene.volumearray && scene.volumebuffer &&
         scene.volumeindexbuffer;
}

}  // namespace

void _3DV_CalcLightVisible(_3DV_OBJECT &object, _3DV_VECTOR light, _3DV_VECTOR position) {
  for (int32_t i = 0; i < object.facecount; ++i) {
    const _3DV_VECTOR n = object.facenormals[i];
    const _3DV_VECTOR v = _3DV_VecSub(_3DV_VecAdd(object.facecenters[i], position), light);
    object.lightvisible[i] = (n.x * v.x + n.y * v.y + n.z * v.z) > 0;
  }
}

void _3DV_FindContour(_3DV_OBJECT &object) {
  std::memset(object.contour, 0, size_t(object.facecount) * 3);
  for (int32_t i = 0; i < object.facecount; ++i) {
    if (!object.lightvisible[i]) continue;
    for (int32_t j = 0; j < 3; ++j) {
      const int32_t n = _3DV_GetNeighbour(object, i, j);
      if (n == -1 || !object.lightvisible[n]) object.contour[3 * i + j] = 1;
    }
  }
}

void _3DV_BuildShadowVolume(_3DV_SCENE &scene, _3DV_OBJECT &object, _3DV_VECTOR light,
                            _3DV_VECTOR position) {
  const float k = _3DV_ShadowExtrusion;
  for (int32_t i = 0; i < object.facecount; ++i) {
    for (int32_t j = 0; j < 3; ++j) {
      if (!object.contour[3 * i + j]) continue;
      const int32_t a = _3DV_GetFaceListVertex(object, i, j);
      const int32_t b = _3DV_GetFaceListVertex(object, i, (j + 1) % 3);
      const _3DV_VECTOR va = _3DV_VecAdd(object.vertices[a], position);
      const _3DV_VECTOR ea = _3DV_VecAdd(va, _3DV_VecScale(_3DV_VecSub(va, light), k));
      const _3DV_VECTOR vb = _3DV_VecAdd(object.vertices[b], position);
      const _3DV_VECTOR eb = _3DV_VecAdd(vb, _3DV_VecScale(_3DV_VecSub(vb, light), k));
      _3DV_VECTOR *quad = scene.volumearray + 4 * scene.shadowquadcount;
      quad[0] = va;
      quad[1] = ea;
      quad[2] = eb;
      quad[3] = vb;
      scene.shadowquadcount += 1;
    }
  }
}

void _3DV_RenderShadowVolumes(_3DV_SCENE &scene, _3DV_VECTOR light, float t) {
  _3DV_RequireBufferObjects();
  _3DV_ShadowExtrusion = scene.shadowextrusion;
  dgl::glEnable(GL_CULL_FACE);
  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glEnable(GL_STENCIL_TEST);
  dgl::glDepthMask(GL_FALSE);
  dgl::glDepthFunc(GL_LEQUAL);
  dgl::glDisable(GL_LIGHTING);
  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glDisable(GL_BLEND);
  dgl::glStencilFunc(GL_ALWAYS, 0, ~GLuint{0});
  dgl::glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  scene.shadowquadcount = 0;

  const int32_t count = scene.objects ? scene.objectcount : 0;
  for (int32_t i = 0; i < count; ++i) {
    _3DV_OBJECT &o = scene.objects[i];
    if (!o.visible || !o.castshadow) continue;
    // Every caster starts from no quads, so the count left at the end is
    // the last caster's, even when it has none.
    scene.shadowquadcount = 0;
    if (!CanBuild(scene, o)) continue;
    _3DV_VECTOR p = {0, 0, 0};
    if (o.positionkeycount != 0) _3DV_GetObjectPositionAt(p, scene, i, t);
    _3DV_CalcLightVisible(o, light, p);
    _3DV_FindContour(o);
    _3DV_BuildShadowVolume(scene, o, light, p);

    const GLsizei quads = scene.shadowquadcount;
    dgl::glBindBufferARB(GL_ARRAY_BUFFER_ARB, GLuint(scene.volumebuffer));
    dgl::glBufferDataARB(GL_ARRAY_BUFFER_ARB, quads * kQuadBytes, scene.volumearray,
                         GL_DYNAMIC_DRAW_ARB);
    dgl::glEnableClientState(GL_VERTEX_ARRAY);
    dgl::glBindBufferARB(GL_ARRAY_BUFFER_ARB, GLuint(scene.volumebuffer));
    dgl::glVertexPointer(3, GL_FLOAT, kCornerBytes, nullptr);

    dgl::glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    dgl::glCullFace(GL_BACK);
    dgl::glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, GLuint(scene.volumeindexbuffer));
    dgl::glDrawElements(GL_TRIANGLES, quads * 6, GL_UNSIGNED_INT, nullptr);

    dgl::glStencilOp(GL_KEEP, GL_KEEP, GL_DECR);
    dgl::glCullFace(GL_FRONT);
    dgl::glDrawElements(GL_TRIANGLES, quads * 6, GL_UNSIGNED_INT, nullptr);
    dgl::glDisableClientState(GL_VERTEX_ARRAY);
  }

  dgl::glCullFace(GL_BACK);
  dgl::glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  dgl::glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
  dgl::glDepthMask(GL_TRUE);
  dgl::glEnable(GL_TEXTURE_2D);
  // Later client-memory draws would read their pointers as buffer offsets.
  _3DV_UnbindBuffers();
}
