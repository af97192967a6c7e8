// Light flares; see flares.h.
#include "engine/effects/flares.h"

#include "engine/anim/anim.h"
#include "engine/effects/billboard.h"
#include "engine/render/object_render.h"
#include "window/gl_demo.h"

void _3DV_RenderFlares(const _3DV_SCENE &scene, float t) {
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glDepthMask(GL_FALSE);
  _3DV_BILLBOARD basis;
  if (_3DV_BillboardBasis(basis)) {
    for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i) {
      const _3DV_OBJECT &o = scene.objects[i];
      const _3DV_MATERIAL *m = _3DV_MaterialOf(scene, o);
      if (!m || !(m->flaresize > 0)) continue;
      dgl::glBindTexture(GL_TEXTURE_2D, GLuint(m->texid));
      _3DV_VECTOR c = {0, 0, 0};
      if (o.positionkeycount != 0) _3DV_GetObjectPositionAt(c, scene, i, t);
      c = {c.x + o.pivot.x, c.y + o.pivot.y, c.z + o.pivot.z};
      dgl::glDisable(GL_CULL_FACE);
      dgl::glDisable(GL_DEPTH_TEST);
      dgl::glDisable(GL_LIGHTING);
      dgl::glEnable(GL_BLEND);
      dgl::glBlendFunc(GL_ONE, GL_ONE);
      dgl::glColor3f(o.flarecolor.r, o.flarecolor.g, o.flarecolor.b);
      _3DV_DrawBillboard(basis, c, m->flaresize);
    }
  }
  dgl::glDepthMask(GL_TRUE);
}
