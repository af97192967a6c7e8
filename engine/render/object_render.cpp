// The four object renderers; see object_render.h.
#include "engine/render/object_render.h"

#include <algorithm>

#include "engine/anim/anim.h"
#include "engine/render/engine_state.h"
#include "engine/render/vectors.h"
#include "window/gl_calls.h"
#include "window/gl_demo.h"

namespace {

constexpr GLsizei kVectorStride = sizeof(_3DV_VECTOR);
constexpr GLsizei kUvStride = sizeof(_3DV_TEXTCOORD);
constexpr GLint kMaxShininess = 128;  // OpenGL rejects anything above

// Push the model-view matrix and move to the object's tracked position.
void PushTrackTransform(const _3DV_SCENE &scene, const _3DV_OBJECT &object, int32_t index,
                        float t) {
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glPushMatrix();
  if (object.positionkeycount > 0) {
    _3DV_VECTOR p;
    _3DV_GetObjectPositionAt(p, scene, index, t);
    dgl::glTranslatef(p.x, p.y, p.z);
  }
}

void RotateAboutPivot(const _3DV_OBJECT &object) {
  const _3DV_VECTOR &p = object.pivot;
  dgl::glTranslatef(p.x, p.y, p.z);
  dgl::glRotatef(object.rotation.x, 1, 0, 0);
  dgl::glRotatef(object.rotation.y, 0, 1, 0);
  dgl::glRotatef(object.rotation.z, 0, 0, 1);
  dgl::glTranslatef(-p.x, -p.y, -p.z);
}

// Distance culling measures from the pivot, not the animated position.
bool WithinViewDistance(const _3DV_SCENE &scene, const _3DV_OBJECT &object) {
  if (object.distancecull == 0) return true;
  if (object.distancecull != 1) return false;
  return _3DV_VecLength(_3DV_VecSub(_3DV_CameraPos, object.pivot)) <= scene.viewdistance;
}

void SetFog(const _3DV_OBJECT &object) {
  if (!object.fog) {
    dgl::glDisable(GL_FOG);
    return;
  }
  static const GLint kModes[] = {GL_LINEAR, GL_EXP, GL_EXP2};
  dgl::glEnable(GL_FOG);
  if (object.fogmode < std::size(kModes)) dgl::glFogi(GL_FOG_MODE, kModes[object.fogmode]);
  dgl::glFogf(GL_FOG_DENSITY, object.fogparam.density);
  dgl::glFogf(GL_FOG_START, object.fogparam.start);
  dgl::glFogf(GL_FOG_END, object.fogparam.end);
  const GLfloat colour[4] = {object.fogcolor.r, object.fogcolor.g, object.fogcolor.b,
                             object.fogcolor.a};
  dgl::glFogfv(GL_FOG_COLOR, colour);
}

// Front faces are the culled ones: the scene files wind their triangles
// the other way round.
void SetCulling(const _3DV_OBJECT &object) {
  if (object.backfacecull) {
    dgl::glEnable(GL_CULL_FACE);
    dgl::glCullFace(GL_FRONT);
  } else {
    dgl::glDisable(GL_CULL_FACE);
  }
}

void SetTexture(const _3DV_MATERIAL &m, bool anisotropic) {
  if (!m.textured) {
    dgl::glDisable(GL_TEXTURE_2D);
    return;
  }
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, GLuint(m.texid));
  // Without the extension its enums are errors, so nothing is asked or set.
  if (anisotropic && glExtFlags.anisotropicFilter) {
    GLfloat maximum = 1;
    dgl::glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maximum);
    dgl::glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, std::max(maximum, 1.0f));
  }
  const GLint wrap = m.texturewrap == 1 ? GL_CLAMP_TO_EDGE : GL_REPEAT;
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

void SetMaterial(_3DV_RGB ambient, _3DV_RGB diffuse, _3DV_RGB specular, float alpha,
                 int32_t shine) {
  const GLfloat a[4] = {ambient.r, ambient.g, ambient.b, alpha};
  const GLfloat d[4] = {diffuse.r, diffuse.g, diffuse.b, alpha};
  const GLfloat s[4] = {specular.r, specular.g, specular.b, alpha};
  dgl::glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, a);
  dgl::glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, d);
  dgl::glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, s);
  dgl::glShadeModel(GL_SMOOTH);
  dgl::glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp<GLint>(shine, 0, kMaxShininess));
}

_3DV_RGB Scaled(_3DV_RGB c, float f) { return {c.r * f, c.g * f, c.b * f}; }

// Vertex array, and normals when the object has them, from its buffers.
// Texture coordinates only for a textured material with uploaded ones.
// An array the object flags but does not hold has a buffer name with no
// data store, which a draw must not read.
struct ArraysOn {
  bool normals = false;
  bool uvs = false;
};
ArraysOn BindGeometry(const _3DV_OBJECT &o, bool withUvs) {
  ArraysOn on;
  dgl::glEnableClientState(GL_VERTEX_ARRAY);
  dgl::glBindBufferARB(GL_ARRAY_BUFFER_ARB, GLuint(o.vertexbuffer));
  dgl::glVertexPointer(3, GL_FLOAT, kVectorStride, nullptr);
  if (o.hasnormals && o.normals && o.normalbuffer) {
    on.normals = true;
    dgl::glEnableClientState(GL_NORMAL_ARRAY);
    dgl::glBindBufferARB(GL_ARRAY_BUFFER_ARB, GLuint(o.normalbuffer));
    dgl::glNormalPointer(GL_FLOAT, kVectorStride, nullptr);
  }
  if (withUvs && o.hasuv && o.uvs && o.uvbuffer) {
    on.uvs = true;
    dgl::glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    dgl::glBindBufferARB(GL_ARRAY_BUFFER_ARB, GLuint(o.uvbuffer));
    dgl::glTexCoordPointer(2, GL_FLOAT, kUvStride, nullptr);
  }
  return on;
}

void DrawFaces(const _3DV_OBJECT &o, int32_t faces) {
  dgl::glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, GLuint(o.facebuffer));
  if (faces > 0) dgl::glDrawElements(GL_TRIANGLES, 3 * faces, GL_UNSIGNED_INT, nullptr);
}

void UnbindGeometry(const ArraysOn &on) {
  dgl::glDisableClientState(GL_VERTEX_ARRAY);
  if (on.normals) dgl::glDisableClientState(GL_NORMAL_ARRAY);
  if (on.uvs) dgl::glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  _3DV_UnbindBuffers();
}

// The leading share of the faces; every face below 0 and above 1.
int32_t FaceShare(int32_t facecount) {
  if (_3DV_FaceFraction < 0) return facecount;
  const float share = _3DV_FaceFraction * float(facecount);
  if (!(share < float(facecount))) return facecount;  // also NaN
  return int32_t(share);
}

bool HasBuffers(const _3DV_OBJECT &o) { return o.vertexbuffer != 0 && o.facebuffer != 0; }

void DrawEnvironmentLayer(const _3DV_OBJECT &o, const _3DV_MATERIAL &m) {
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, GLuint(m.envmaptexid));
  dgl::glEnable(GL_TEXTURE_GEN_S);
  dgl::glEnable(GL_TEXTURE_GEN_T);
  dgl::glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  dgl::glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  dgl::glDepthFunc(GL_EQUAL);
  dgl::glEnable(GL_BLEND);
  if (m.envblend) {
    dgl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    dgl::glBlendFunc(GL_ONE, GL_ONE);
  }
  dgl::glColor4f(m.envcolor.r, m.envcolor.g, m.envcolor.b, m.envalpha);
  if (HasBuffers(o)) {
    const ArraysOn on = BindGeometry(o, false);
    DrawFaces(o, o.facecount);
    UnbindGeometry(on);
  }
  dgl::glDepthFunc(GL_LEQUAL);
  dgl::glDisable(GL_TEXTURE_GEN_S);
  dgl::glDisable(GL_TEXTURE_GEN_T);
  dgl::glDisable(GL_BLEND);
}

}  // namespace

void _3DV_RequireBufferObjects() {
  static bool checked = false;
  if (checked) return;
  glRequireCalls(GL_CALLS_ENGINE, "OpenGL");
  checked = true;
}

void _3DV_UnbindBuffers() {
  _3DV_RequireBufferObjects();
  dgl::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  dgl::glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
}

const _3DV_OBJECT *_3DV_ObjectAt(const _3DV_SCENE &scene, int32_t index) {
  if (index < 0 || index >= scene.objectcount || !scene.objects) return nullptr;
  return &scene.objects[index];
}

const _3DV_MATERIAL *_3DV_MaterialOf(const _3DV_SCENE &scene, const _3DV_OBJECT &object) {
  if (object.material < 0 || object.material >= scene.materialcount || !scene.materials) {
    return nullptr;
  }
  return &scene.materials[object.material];
}

void _3DV_RenderObject(const _3DV_SCENE &scene, int32_t index, float t) {
  const _3DV_OBJECT *object = _3DV_ObjectAt(scene, index);
  if (!object) return;
  const _3DV_MATERIAL *material = _3DV_MaterialOf(scene, *object);
  if (!material) return;
  const _3DV_OBJECT &o = *object;
  const _3DV_MATERIAL &m = *material;
  _3DV_RequireBufferObjects();

  SetFog(o);
  PushTrackTransform(scene, o, index, t);
  RotateAboutPivot(o);
  dgl::glTranslatef(_3DV_Offset.x, _3DV_Offset.y, _3DV_Offset.z);
  dgl::glScalef(_3DV_SceneScale[0], _3DV_SceneScale[1], _3DV_SceneScale[2]);

  if (WithinViewDistance(scene, o)) {
    SetCulling(o);
    if (m.receivelight) {
      dgl::glEnable(GL_LIGHTING);
    } else {
      dgl::glDisable(GL_LIGHTING);
    }
    SetTexture(m, _3DV_Anisotropic);
    SetMaterial(m.ambient, m.diffuse, m.specular, m.constantalpha, m.shine);

    dgl::glMatrixMode(GL_TEXTURE);
    dgl::glLoadIdentity();
    dgl::glScalef(m.utile, m.vtile, 1);
    dgl::glTranslatef(o.texturescroll.x * t, o.texturescroll.y * t, o.texturescroll.z * t);

    if (HasBuffers(o)) {
      const ArraysOn on = BindGeometry(o, m.textured);
      dgl::glColor4f(m.ambient.r, m.ambient.g, m.ambient.b, m.constantalpha);
      DrawFaces(o, FaceShare(o.facecount));
      UnbindGeometry(on);
    }
    // Counted as drawn whether or not the object has buffers to draw from.
    _3DV_FacesDrawn += o.facecount;
    _3DV_ObjectsDrawn += 1;
    if (m.envmap) DrawEnvironmentLayer(o, m);
  }

  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glPopMatrix();
  dgl::glDisable(GL_FOG);
}

void _3DV_RenderObjectVBO(const _3DV_SCENE &scene, int32_t index, float t) {
  const _3DV_OBJECT *object = _3DV_ObjectAt(scene, index);
  if (!object) return;
  const _3DV_MATERIAL *material = _3DV_MaterialOf(scene, *object);
  if (!material) return;
  const _3DV_OBJECT &o = *object;
  const _3DV_MATERIAL &m = *material;
  _3DV_RequireBufferObjects();

  PushTrackTransform(scene, o, index, t);
  RotateAboutPivot(o);

  if (WithinViewDistance(scene, o)) {
    SetCulling(o);
    if (m.receivelight) {
      dgl::glEnable(GL_LIGHTING);
    } else {
      dgl::glDisable(GL_LIGHTING);
    }
    SetTexture(m, false);
    const float factor = o.uselightfactor ? scene.lightfactor : 1.0f;
    SetMaterial(m.ambient, Scaled(m.diffuse, factor), Scaled(m.specular, factor), 1.0f, m.shine);

    dgl::glMatrixMode(GL_TEXTURE);
    dgl::glLoadIdentity();
    dgl::glScalef(m.utile, m.vtile, 1);

    if (HasBuffers(o)) {
      const ArraysOn on = BindGeometry(o, m.textured);
      bool colours = false;
      if (o.uselightfactor) {
        dgl::glColor4f(m.diffuse.r, m.diffuse.g, m.diffuse.b, m.constantalpha);
      } else {
        if (o.hascolors && o.colors) {
          // Vertex colours come from memory: no buffer may be bound.
          colours = true;
          dgl::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
          dgl::glEnableClientState(GL_COLOR_ARRAY);
          dgl::glColorPointer(3, GL_FLOAT, kVectorStride, o.colors);
        }
        dgl::glColor4f(m.ambient.r, m.ambient.g, m.ambient.b, m.constantalpha);
      }
      DrawFaces(o, o.facecount);
      UnbindGeometry(on);
      if (colours) dgl::glDisableClientState(GL_COLOR_ARRAY);
    }
    _3DV_FacesDrawn += o.facecount;
    _3DV_ObjectsDrawn += 1;
  }

  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glPopMatrix();
}

void _3DV_RenderObjectLines(const _3DV_SCENE &scene, int32_t index, float t, float grey) {
  dgl::glLineWidth(2.0f);
  dgl::glDepthFunc(GL_LESS);
  const _3DV_OBJECT *object = _3DV_ObjectAt(scene, index);
  if (!object) return;
  const _3DV_OBJECT &o = *object;
  PushTrackTransform(scene, o, index, t);
  dgl::glDisable(GL_CULL_FACE);
  dgl::glDisable(GL_LIGHTING);
  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glColor4f(grey, grey, grey, 1.0f);
  dgl::glBegin(GL_LINES);
  if (o.faces && o.vertices) {
    auto corner = [&](int32_t v) {
      const _3DV_VECTOR &p = o.vertices[v];
      dgl::glVertex3f(p.x, p.y, p.z);
    };
    for (int32_t f = 0; f < o.facecount; ++f) {
      const int32_t *c = o.faces[f].v;
      // A corner outside the vertex list would read past it.
      if (std::any_of(c, c + 3, [&](int32_t v) { return v < 0 || v >= o.vertexcount; })) continue;
      corner(c[0]), corner(c[1]);
      corner(c[1]), corner(c[2]);
      corner(c[2]), corner(c[0]);
    }
  }
  dgl::glEnd();
  dgl::glPopMatrix();
}

void _3DV_RenderObjectDepth(const _3DV_SCENE &scene, int32_t index, float t) {
  const _3DV_OBJECT *object = _3DV_ObjectAt(scene, index);
  if (!object) return;
  const _3DV_OBJECT &o = *object;
  PushTrackTransform(scene, o, index, t);
  SetCulling(o);
  dgl::glDisable(GL_LIGHTING);
  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glDisableClientState(GL_NORMAL_ARRAY);
  dgl::glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  dgl::glDisableClientState(GL_COLOR_ARRAY);
  _3DV_UnbindBuffers();
  dgl::glEnableClientState(GL_VERTEX_ARRAY);
  dgl::glVertexPointer(3, GL_FLOAT, kVectorStride, o.vertices);
  dgl::glColor4f(0, 0, 0, 1);
  if (o.vertices) {
    if (o.rendermode == 1) {
      if (o.strip && o.stripcount > 0) {
        dgl::glDrawElements(GL_TRIANGLE_STRIP, o.stripcount, GL_UNSIGNED_SHORT, o.strip);
      }
    } else if (o.faces && o.facecount > 0) {
      dgl::glDrawElements(GL_TRIANGLES, 3 * o.facecount, GL_UNSIGNED_INT, o.faces);
    }
  }
  dgl::glDisableClientState(GL_VERTEX_ARRAY);
  dgl::glPopMatrix();
}
