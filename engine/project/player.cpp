// Playing an effect project: every active key of every operator, in file
// order, with its eased amount.
//
// Operators set the states they need and restore nothing, so later
// operators and later frames inherit them. Numbers in an operator that
// name nothing in the project (a scene, layer effect, render texture or
// object that is not there) make the player skip that operator: the file
// is outside input and must not make it read or write past an array.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/anim/anim.h"
#include "engine/effects/particles.h"
#include "engine/effects/shadows.h"
#include "engine/project/project.h"
#include "engine/render/engine_state.h"
#include "engine/render/scene_render.h"
#include "framework/random.h"
#include "window/gl_demo.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;

// Objects of scene 0 that the fixed effects address.
constexpr int32_t kSparkObjects[3] = {111, 105, 114};
constexpr int32_t kSwitchObject = 99;
constexpr int32_t kBoltObjects = 5;

int32_t B(const QEX_Operator &op, int n) { return op.param[n - 8]; }
int32_t W(const QEX_Operator &op, int n) { return op.param[n - 8] + 256 * op.param[n - 7]; }

// Rounds halves away from zero, kept inside what a GL size can be.
int32_t RoundSize(float v) {
  if (std::isnan(v)) return 0;
  constexpr float kLimit = float(1 << 24);
  return int32_t(std::round(std::clamp(v, -kLimit, kLimit)));
}

bool RenderTexture(int32_t n) { return n >= 0 && n < QEX_RENDER_TEXTURES; }

// The longest side a frame copy may give a render texture: the frame's
// longer side (at least the small textures' 256) taken up to a power of
// two. Texels past the frame are filled by no pixel of it, and the size
// is the file's (up to GL's own limit: a gigabyte of texture from one
// key of a few bytes, eight textures deep), so a larger copy is refused,
// as GL refuses one past its limit, and the texture keeps what it holds.
int32_t LargestCopy(const QEX_UnitState &s) {
  const int32_t frame =
      std::max({RoundSize(1024.0f * s.sx), RoundSize(768.0f * s.sy), int32_t(256)});
  int32_t side = 1;
  while (side < frame) side *= 2;
  return side;
}

_3DV_SCENE *SceneAt(const QEX_Project &project, int32_t index) {
  if (index < 0 || index >= project.scenecount || !project.scenes) return nullptr;
  return &project.scenes[index];
}

// Scene 0 when it has at least count objects.
_3DV_SCENE *FixedScene(const QEX_Project &project, int32_t count) {
  _3DV_SCENE *scene = SceneAt(project, 0);
  if (!scene || scene->objectcount < count || !scene->objects) return nullptr;
  return scene;
}

void FullScreenQuad() {
  dgl::glBegin(GL_QUADS);
  dgl::glTexCoord2f(1, 1);
  dgl::glVertex2f(1, 1);
  dgl::glTexCoord2f(0, 1);
  dgl::glVertex2f(-1, 1);
  dgl::glTexCoord2f(0, 0);
  dgl::glVertex2f(-1, -1);
  dgl::glTexCoord2f(1, 0);
  dgl::glVertex2f(1, -1);
  dgl::glEnd();
}

// One full-screen pass through a shader program. A program that was never
// made (handle 0) leaves the fixed pipeline: the texture is drawn as it is.
void ShaderPass(int32_t program, uint32_t texture, float a, bool otherUnitsOff, bool blendOff) {
  const bool shader = program != 0 && dgl::glUseProgramObjectARB && dgl::glGetUniformLocationARB &&
                      dgl::glUniform1fARB && dgl::glUniform1iARB;
  const GLhandleARB handle = GLhandleARB(program);
  if (shader) {
    dgl::glUseProgramObjectARB(handle);
    dgl::glUniform1fARB(dgl::glGetUniformLocationARB(handle, "SIZE"), a);
  }
  if (otherUnitsOff) {
    for (GLenum unit : {GL_TEXTURE1, GL_TEXTURE2, GL_TEXTURE3}) {
      dgl::glActiveTexture(unit);
      dgl::glDisable(GL_TEXTURE_2D);
    }
    dgl::glActiveTexture(GL_TEXTURE0);
  }
  const GLint sampler = shader ? dgl::glGetUniformLocationARB(handle, "texture") : -1;
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, texture);
  if (shader) dgl::glUniform1iARB(sampler, 0);
  dgl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::glDisable(GL_LIGHTING);
  if (blendOff) dgl::glDisable(GL_BLEND);
  dgl::glColor3f(1, 1, 1);
  FullScreenQuad();
  if (shader) dgl::glUseProgramObjectARB(0);
}

void RenderScene(const QEX_Operator &op, _3DV_SCENE &scene, float frame) {
  if (B(op, 10) == 1) {
    _3DV_RenderSceneVBO(scene, frame);
    _3DV_VECTOR light = scene.lights[0].pos;
    if (scene.lights[0].positionkeycount >= 1) _3DV_GetLightPositionAt(light, scene, 0, frame);
    _3DV_RenderShadowVolumes(scene, light, frame);
    dgl::glClear(GL_DEPTH_BUFFER_BIT);
    dgl::glStencilFunc(GL_EQUAL, 0, ~GLuint(0));
    _3DV_RenderSceneClipped(scene, frame);
    dgl::glDisable(GL_STENCIL_TEST);
  } else {
    _3DV_RenderSceneClipped(scene, frame);
  }
  if (B(op, 9) == 1) {
    dgl::glMatrixMode(GL_TEXTURE);
    dgl::glLoadIdentity();
    dgl::glDisable(GL_LIGHTING);
    _3DV_RenderParticles(scene, frame);
  }
}

void TexturedQuad(const QEX_Operator &op, float a) {
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glColor3f(float(B(op, 8)) / 255.0f * a, float(B(op, 9)) / 255.0f * a,
                 float(B(op, 10)) / 255.0f * a);
  switch (B(op, 12)) {
    case 0:
      dgl::glDisable(GL_BLEND);
      break;
    case 1:
      dgl::glEnable(GL_BLEND);
      dgl::glBlendFunc(GL_ONE, GL_ONE);
      break;
    case 2:
      dgl::glEnable(GL_BLEND);
      dgl::glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
      break;
    default:
      break;
  }
  dgl::glBindTexture(GL_TEXTURE_2D, QEX_State.render[B(op, 11)]);
  dgl::glDisable(GL_CULL_FACE);
  dgl::glDisable(GL_DEPTH_TEST);
  for (GLenum mode : {GL_PROJECTION, GL_MODELVIEW, GL_TEXTURE}) {
    dgl::glMatrixMode(mode);
    dgl::glLoadIdentity();
  }
  dgl::glDisable(GL_LIGHTING);
  FullScreenQuad();
}

void Ring(const ife_layer &layer, float a) {
  dgl::glColor3f(0, 0, 0);
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, GLuint(layer.texture));
  dgl::glDisable(GL_CULL_FACE);
  dgl::glDisable(GL_LIGHTING);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  const double u0 = -0.15 - a, du = 0.002;
  dgl::glBegin(GL_QUADS);
  for (int i = 0; i <= 180; ++i) {
    const float g = float(std::sin(i * kDeg));
    dgl::glColor3f(g, g, g);
    const double A = 2.0 * i * kDeg, Bn = (2.0 * i + 2.0) * kDeg;
    const float uA = float(1 - (u0 + i * du)), uB = float(1 - (u0 + du + i * du));
    dgl::glTexCoord2f(uA, 1);
    dgl::glVertex3f(float(90 * std::sin(A)), float(90 * std::cos(A)), -10);
    dgl::glTexCoord2f(uB, 1);
    dgl::glVertex3f(float(90 * std::sin(Bn)), float(90 * std::cos(Bn)), -10);
    dgl::glTexCoord2f(uB, 0);
    dgl::glVertex3f(float(60 * std::sin(Bn)), float(60 * std::cos(Bn)), -10);
    dgl::glTexCoord2f(uA, 0);
    dgl::glVertex3f(float(60 * std::sin(A)), float(60 * std::cos(A)), -10);
  }
  dgl::glEnd();
}

void Grid(float a) {
  dgl::glColor3f(0.1f, 0.1f, 0.1f);
  for (GLenum cap : {GL_TEXTURE_2D, GL_CULL_FACE, GL_DEPTH_TEST, GL_LIGHTING}) dgl::glDisable(cap);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  auto point = [](float grey, float x, float z) {
    dgl::glColor3f(grey, grey, grey);
    dgl::glVertex3f(x, -170, z);
  };
  dgl::glBegin(GL_LINES);
  for (int i = 0; i <= 100; ++i) {
    const float c = float(80 * (i - 50));
    point(0, c, -4000);
    point(a, c, 0);
    point(a, c, 0);
    point(0, c, 4000);
    point(0, -4000, c);
    point(a, 0, c);
    point(a, 0, c);
    point(0, 4000, c);
  }
  dgl::glEnd();
}

_3DV_VECTOR Lerp(_3DV_VECTOR p, _3DV_VECTOR step, float s, _3DV_VECTOR j) {
  return {p.x + s * step.x + j.x, p.y + s * step.y + j.y, p.z + s * step.z + j.z};
}

// A jagged bolt from p to the centre of face f of object 0.
void DrawCurves(const _3DV_SCENE &scene, _3DV_VECTOR p, int32_t f) {
  const _3DV_OBJECT &target = scene.objects[0];
  const _3DV_FACE &face = target.faces[f];
  _3DV_VECTOR q{0, 0, 0};
  for (int32_t c : face.v) {
    q.x += target.vertices[c].x;
    q.y += target.vertices[c].y;
    q.z += target.vertices[c].z;
  }
  q = {q.x / 3, q.y / 3, q.z / 3};
  const int n = 6 + Random(6);
  const _3DV_VECTOR step{(q.x - p.x) / n, (q.y - p.y) / n, (q.z - p.z) / n};
  _3DV_VECTOR jitter[12] = {};
  for (int s = 1; s <= n; ++s) {
    jitter[s].x = float(Random(100)) / 30.0f;
    jitter[s].y = float(Random(100)) / 30.0f;
    jitter[s].z = float(Random(100)) / 30.0f;
  }
  jitter[0] = jitter[n] = {0, 0, 0};
  auto lines = [&](float r, float g, float b, float width) {
    dgl::glColor3f(r, g, b);
    dgl::glLineWidth(width);
    dgl::glBegin(GL_LINES);
    for (int s = 0; s < n; ++s) {
      const _3DV_VECTOR from = Lerp(p, step, float(s), jitter[s]);
      const _3DV_VECTOR to = s + 1 == n ? q : Lerp(p, step, float(s + 1), jitter[s + 1]);
      dgl::glVertex3f(from.x, from.y, from.z);
      dgl::glVertex3f(to.x, to.y, to.z);
    }
    dgl::glEnd();
  };
  lines(0.5f, 0.5f, 0.5f, 1);
  lines(0, 0, 0.3f, 8);
}

void Tunnel(float amount) {
  dgl::glBegin(GL_LINES);
  for (int r = -10; r <= 10; ++r) {
    for (int s = 0; s < 36; ++s) {
      const double A = 10.0 * s * kDeg, Bn = 10.0 * (s + 1) * kDeg;
      const float z = float(20 * r) + amount / 50.0f;
      const float ax = float(140 * std::sin(A)), ay = float(140 * std::cos(A));
      dgl::glVertex3f(ax, ay, z);
      dgl::glVertex3f(float(140 * std::sin(Bn)), float(140 * std::cos(Bn)), z);
      dgl::glVertex3f(ax, ay, z);
      dgl::glVertex3f(ax, ay, z + 20);
    }
  }
  dgl::glEnd();
}

void BoltsAndTunnel(const _3DV_SCENE &scene, float amount, float a) {
  dgl::glColor3f(1, 1, 1);
  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glDisable(GL_CULL_FACE);
  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glDisable(GL_LIGHTING);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  _3DV_FaceFraction = a;
  const _3DV_OBJECT &target = scene.objects[0];
  const int32_t faces = target.facecount;
  if (faces > 0 && target.faces && target.vertices) {
    for (int32_t j = 1; j <= 4; ++j) {
      _3DV_VECTOR p;
      _3DV_GetObjectPositionAt(p, scene, j, amount);
      const _3DV_VECTOR &pivot = scene.objects[j].pivot;
      p = {p.x + pivot.x, p.y + pivot.y, p.z + pivot.z};
      const double slot = std::trunc(double(amount) / 4000.0 * double(faces - 1));
      // Near the end of the range the formula passes the last face, and a
      // negative amount gives a negative face: both are held to the faces
      // there are.
      const double f = std::clamp(4.0 * (std::isnan(slot) ? 0.0 : slot) + j - 1, 0.0,
                                  double(faces - 1));
      DrawCurves(scene, p, int32_t(f));
    }
  }
  dgl::glLineWidth(1);
  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glColor3f(0.3f, 0.3f, 0.3f);
  Tunnel(amount);
  dgl::glLineWidth(5);
  dgl::glColor3f(0.1f, 0.1f, 0.1f);
  Tunnel(amount);
}

void PointCloud() {
  dgl::glColor3f(1, 1, 1);
  for (GLenum cap : {GL_TEXTURE_2D, GL_CULL_FACE, GL_DEPTH_TEST, GL_LIGHTING}) dgl::glDisable(cap);
  const QEX_UnitState &s = QEX_State;
  dgl::glBegin(GL_POINTS);
  for (int i = 0; i < QEX_POINTS; ++i) {
    dgl::glColor3f(s.G[i], s.G[i], s.G[i]);
    dgl::glVertex3f(s.X[i], s.Y[i], s.Z[i]);
  }
  dgl::glEnd();
}

void Perform(const QEX_Project &project, const QEX_Operator &op, float amount) {
  const float a = amount / 1000.0f;
  const QEX_UnitState &s = QEX_State;
  switch (op.type) {
    case 1: {
      const int32_t w = RoundSize(float(W(op, 12)) * a * s.sx);
      const int32_t h = RoundSize(float(W(op, 14)) * a * s.sy);
      // A 0 x 0 viewport is legal and draws nothing; a negative size is a
      // GL error that would stay behind for the caller.
      if (w >= 0 && h >= 0) dgl::glViewport(W(op, 8), W(op, 10), w, h);
      break;
    }
    case 6: {
      _3DV_SCENE *scene = SceneAt(project, op.index);
      const int32_t axis = B(op, 10);
      if (!scene || axis > 2 || !scene->objects) break;
      auto turn = [&](_3DV_OBJECT &o) {
        float *c[3] = {&o.rotation.x, &o.rotation.y, &o.rotation.z};
        *c[axis] = amount;
      };
      if (B(op, 11) == 1) {
        for (int32_t k = 0; k < scene->objectcount; ++k) turn(scene->objects[k]);
      } else if (W(op, 8) < scene->objectcount) {
        turn(scene->objects[W(op, 8)]);
      }
      break;
    }
    case 7:
      if (_3DV_SCENE *scene = SceneAt(project, op.index))
        scene->camerafov = float(double(amount) * kPi / 180.0);
      break;
    case 1000: {
      dgl::glClearColor(float(B(op, 8)) / 255.0f * a, float(B(op, 9)) / 255.0f * a,
                        float(B(op, 10)) / 255.0f * a, a);
      GLbitfield mask = 0;
      if (B(op, 11)) mask |= GL_COLOR_BUFFER_BIT;
      if (B(op, 12)) mask |= GL_DEPTH_BUFFER_BIT;
      if (B(op, 13)) mask |= GL_ACCUM_BUFFER_BIT;
      if (B(op, 14)) mask |= GL_STENCIL_BUFFER_BIT;
      dgl::glClear(mask);
      break;
    }
    case 1001:
      if (_3DV_SCENE *scene = SceneAt(project, op.index)) RenderScene(op, *scene, amount);
      break;
    case 1002:
      if (op.index >= 0 && op.index < project.layercount && project.layers)
        ife_DrawInterface(project.layers[op.index], amount);
      break;
    case 1004:
      QEX_DrawFlash(amount);
      break;
    case 1005:
      if (RenderTexture(B(op, 11))) TexturedQuad(op, a);
      break;
    case 2001:
    case 2002:
      if (RenderTexture(B(op, 8)))
        ShaderPass(op.type == 2001 ? s.program1 : s.program2, s.render[B(op, 8)], a, true, false);
      break;
    case 2003:
      if (!RenderTexture(B(op, 8))) break;
      ShaderPass(s.program1, s.render[B(op, 8)], a, false, true);
      dgl::glBindTexture(GL_TEXTURE_2D, s.render[0]);
      dgl::glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, RoundSize(1024.0f * s.sx),
                            RoundSize(768.0f * s.sy), 0);
      ShaderPass(s.program2, s.render[0], a, false, false);
      break;
    case 3000: {
      if (!RenderTexture(B(op, 16))) break;
      const int32_t w = RoundSize(float(W(op, 12)) * a * s.sx);
      const int32_t h = RoundSize(float(W(op, 14)) * a * s.sy);
      dgl::glEnable(GL_TEXTURE_2D);
      dgl::glBindTexture(GL_TEXTURE_2D, s.render[B(op, 16)]);
      // A negative size is a GL error, a size past LargestCopy refused; the
      // state steps above stand.
      const int32_t most = LargestCopy(s);
      if (w >= 0 && h >= 0 && w <= most && h <= most)
        dgl::glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, W(op, 8), W(op, 10), w, h, 0);
      break;
    }
    case 4001:
      if (_3DV_SCENE *scene = FixedScene(project, 115)) {
        for (int32_t k : kSparkObjects)
          scene->objects[k].particledata.particleenabled = Random(40) == 20;
        if (amount == 0)
          for (int32_t k : kSparkObjects) scene->objects[k].particledata.particleenabled = 0;
      }
      break;
    case 4002:
      if (project.layercount > 1 && project.layers && project.layers[1].layercount > 0 &&
          project.layers[1].layers)
        Ring(project.layers[1].layers[0], a);
      break;
    case 4003:
      Grid(a);
      break;
    case 4004:
      if (const _3DV_SCENE *scene = FixedScene(project, kBoltObjects))
        BoltsAndTunnel(*scene, amount, a);
      break;
    case 4005:
      PointCloud();
      break;
    case 4006:
      if (_3DV_SCENE *scene = FixedScene(project, kSwitchObject + 1)) {
        _3DV_OBJECT &o = scene->objects[kSwitchObject];
        o.particledata.particleenabled = amount > 0;
        o.visible = !(amount > 0);
      }
      break;
    default:
      break;
  }
}

}  // namespace

float QEX_EaseIn(float a, float b, uint8_t mode, float f) {
  const double d = double(b) - double(a);
  switch (mode) {
    case 0:
      return float(a + d * f);
    case 1:
      return float(a + d * std::sin(f * kPi / 2));
    case 2:
      return float(a + d * (1 - std::sin(kPi / 2 + f * kPi / 2)));
    default:
      return a;  // no curve: the half's first value
  }
}

float QEX_EaseOut(float a, float b, uint8_t mode, float f) {
  const double d = double(b) - double(a);
  switch (mode) {
    case 0:
      return float(a + d * f);
    case 1:
      return float(a + d * (1 - std::sin(kPi / 2 + f * kPi / 2)));
    case 2:
      return float(a + d * std::sin(f * kPi / 2));
    default:
      return a;
  }
}

float QEX_EaseKey(float start, float end, uint8_t mode, float startValue, float middleValue,
                  float endValue, float t) {
  if (startValue == -303.0f) return float(Random(1000));
  const float mid = (start + end) / 2;
  if (t < mid) {
    if (t < start) return startValue;
    return QEX_EaseIn(startValue, middleValue, mode, (t - start) / (mid - start));
  }
  if (t > mid) {
    if (t > end) return endValue;
    return QEX_EaseOut(middleValue, endValue, mode, (t - mid) / (end - mid));
  }
  return middleValue;
}

void QEX_RenderProject(QEX_Project project, float t) {
  const double whole = std::trunc(double(t));
  for (int32_t i = 0; i < project.operatorcount && project.operators; ++i) {
    const QEX_Operator &op = project.operators[i];
    for (int32_t k = 0; k < op.keycount && op.keys; ++k) {
      const QEX_Key &key = op.keys[k];
      if (!(whole >= key.start && whole <= key.end)) continue;
      const float amount =
          QEX_EaseKey(float(key.start), float(key.end), key.easemode, float(key.startvalue),
                      float(key.middlevalue), float(key.endvalue), t);
      Perform(project, op, amount);
    }
  }
}
