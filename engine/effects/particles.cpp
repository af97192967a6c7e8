// Particle pools and the particle step; see particles.h.
#include "engine/effects/particles.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "engine/anim/anim.h"
#include "engine/effects/billboard.h"
#include "engine/render/engine_state.h"
#include "framework/base.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace {

constexpr uint8_t kFadeOut = 1;
constexpr uint8_t kShrink = 2;
constexpr uint8_t kFadeIn = 4;
constexpr uint8_t kGrow = 8;

// Keeps spread x 10000 inside 64 bits (and an infinite spread finite).
constexpr float kMaxSpread = 1.0e14f;

std::minstd_rand random_source(27);

// Nearest integer, halves away from zero.
int64_t Nearest(float x) { return std::llround(x); }

// base + (R - N(s x 5000)) / 10000 with 0 <= R < N(s x 10000).
float Spread(float base, float s) {
  if (!(s > 0)) return base;  // negative or not a number: no spread
  s = std::min(s, kMaxSpread);
  const float whole = s * 10000.0f;
  const float half = s * 5000.0f;
  const int64_t bound = Nearest(whole);
  int64_t r = 0;
  if (bound > 0) r = std::uniform_int_distribution<int64_t>(0, bound - 1)(random_source);
  return float(double(base) + double(r - Nearest(half)) / 10000.0);
}

// Nothing is freed while emitters emit, so the slots before the last one
// taken stay busy: the search for the first free slot goes on from there.
int32_t TakeSlot(const _3DV_SCENE &scene, int32_t &search_from) {
  for (int32_t k = search_from; k < scene.particlecount; ++k) {
    if (scene.particles[k].free) {
      search_from = k + 1;
      return k;
    }
  }
  search_from = scene.particlecount;
  return scene.particlecount - 1;
}

void Emit(_3DV_SCENE &scene, int32_t index, float t, int32_t &search_from) {
  const _3DV_OBJECT &o = scene.objects[index];
  const _3DV_PARTICLEDATA &e = o.particledata;
  _3DV_VECTOR at = {0, 0, 0};
  if (o.positionkeycount != 0) _3DV_GetObjectPositionAt(at, scene, index, t);
  at = {at.x + o.pivot.x, at.y + o.pivot.y, at.z + o.pivot.z};
  const int32_t count = std::min(e.newparticle, scene.particlecount);
  for (int32_t n = 0; n < count; ++n) {
    // Once the pool is full every further emission takes the last slot
    // over and writes all of it, so of this emitter's rest only the last
    // is left: it alone is made. A step then costs the pool plus one
    // emission per emitter, however many emitters a scene enables.
    if (search_from >= scene.particlecount) n = count - 1;
    _3DV_PARTICLE &p = scene.particles[TakeSlot(scene, search_from)];
    p.free = 0;
    p.colorattrib = e.colorattrib;
    p.power = e.power;
    p.deltapower = e.deltapower;
    p.emitter = index;
    p.position = at;
    p.color = e.color;
    p.velocity = {Spread(e.deltavector.x, e.deltavectorspread.x),
                  Spread(e.deltavector.y, e.deltavectorspread.y),
                  Spread(e.deltavector.z, e.deltavectorspread.z)};
  }
}

void Draw(const _3DV_PARTICLE &p, const _3DV_PARTICLEDATA &e, const _3DV_BILLBOARD &basis) {
  dgl::glBindTexture(GL_TEXTURE_2D, GLuint(e.particletexid));
  float size = e.size;
  dgl::glColor3f(p.color.r, p.color.g, p.color.b);
  const float f = e.power != 0 ? p.power / e.power : 0.0f;
  if (p.colorattrib & kFadeOut) dgl::glColor3f(p.color.r * f, p.color.g * f, p.color.b * f);
  if (p.colorattrib & kShrink) size = e.size * f;
  if (p.colorattrib & kFadeIn) {
    const float g = 1 - f;
    dgl::glColor3f(p.color.r * g, p.color.g * g, p.color.b * g);
  }
  if (p.colorattrib & kGrow) size = e.size * (1 - f);
  _3DV_DrawBillboard(basis, p.position, size);
}

}  // namespace

void _3DV_AllocParticles(_3DV_SCENE &scene, int32_t count) {
  _3DV_FreeParticles(scene);
  const std::string description = std::string(scene.name.view()) + " particle info ";
  void *pool = nullptr;
  if (count > 0) {
    pool = pasMemGet(size_t(count) * sizeof(_3DV_PARTICLE), description.substr(0, 255).c_str());
  }
  if (!pool) {
    wmFatal("3DV: no memory for " + std::to_string(count) + " particles of scene " +
            std::string(scene.name.view()) + ".");
  }
  scene.particles = static_cast<_3DV_PARTICLE *>(pool);
  scene.particlecount = count;
  for (int32_t k = 0; k < count; ++k) scene.particles[k].free = 1;
}

void _3DV_FreeParticles(_3DV_SCENE &scene) {
  pasMemFree(&scene.particles);
  scene.particles = nullptr;
  scene.particlecount = 0;
}

void _3DV_RenderParticles(_3DV_SCENE &scene, float t) {
  if (!scene.particles || scene.particlecount <= 0) return;
  dgl::glDisable(GL_CULL_FACE);
  dgl::glEnable(GL_DEPTH_TEST);
  dgl::glDepthMask(GL_FALSE);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  dgl::glEnable(GL_TEXTURE_2D);

  _3DV_BILLBOARD basis;
  if (!_3DV_BillboardBasis(basis)) {
    dgl::glDepthMask(GL_TRUE);
    return;
  }

  int32_t search_from = 0;
  for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i) {
    if (scene.objects[i].particledata.particleenabled) Emit(scene, i, t, search_from);
  }

  for (int32_t k = 0; k < scene.particlecount; ++k) {
    _3DV_PARTICLE &p = scene.particles[k];
    if (p.free) continue;
    if (p.emitter < 0 || p.emitter >= scene.objectcount || !scene.objects) {
      p.free = 1;
      continue;
    }
    Draw(p, scene.objects[p.emitter].particledata, basis);
    _3DV_ParticlesDrawn += 1;
    p.power -= p.deltapower;
    p.position = {p.position.x + p.velocity.x, p.position.y + p.velocity.y,
                  p.position.z + p.velocity.z};
    if (p.power <= 0) p.free = 1;
  }

  dgl::glDepthMask(GL_TRUE);
}
