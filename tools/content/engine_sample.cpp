// The engine sample set (see engine_sample.h). Everything here is built
// from fixed numbers, so the files are the same on every run.
#include "tools/content/engine_sample.h"

#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "tools/content/image.h"
#include "tools/content/layer_effects.h"
#include "tools/content/tga_writer.h"

namespace content {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct V3 {
  float x = 0, y = 0, z = 0;
};
struct UV {
  float u = 0, v = 0;
};
struct Key {
  int32_t frame;
  float x, y, z;
};
using TriFace = std::array<int32_t, 3>;

struct Material {
  std::string name, texture, envtexture;
  float transparency = 0, utile = 1, vtile = 1, alphatest = 0, constantalpha = 1, flaresize = 0;
  float envalpha = 0;
  V3 envcolor;
  bool envblend = false;
  int32_t magtype = 1, shine = 20;
  bool envmap = false, receivelight = true, textured = false;
  uint8_t depthtest = 0, depthfunc = 1, blend = 0, texturewrap = 0;
  V3 ambient{0.3f, 0.3f, 0.3f}, diffuse{0.8f, 0.8f, 0.8f}, specular{0.2f, 0.2f, 0.2f};
};

struct Object {
  std::string name;
  std::vector<V3> vertices, normals;
  std::vector<UV> uvs;
  std::vector<TriFace> faces;
  std::vector<Key> positionkeys;
  int32_t material = 0, passno = 0;
  bool visible = true, backfacecull = true, castshadow = false, uselightfactor = false;
  uint8_t distancecull = 0, rendermode = 0;
  V3 pivot, texturescroll;
  bool fog = false;
  uint8_t fogmode = 0;
  V3 fogparam;  // density, start, end
  std::array<float, 4> fogcolor{};
  // Emitter.
  std::string particletexture;
  int32_t newparticle = 0;
  float power = 0, deltapower = 0, size = 0;
  bool particleenabled = false;
  uint8_t colorattrib = 0;
  V3 deltavector, deltavectorspread, color, colorspread;
};

struct Light {
  std::string name;
  V3 pos, ambient, diffuse, specular;
  bool enabled = false;
  std::vector<Key> positionkeys;
};

struct Scene {
  std::string name;
  float fov = 1.0f, cameranear = 1, camerafar = 4000, viewdistance = 5000, lightfactor = 1;
  std::vector<Material> materials;
  std::vector<Object> objects;
  std::vector<Key> camerapositions, cameratargets;
  std::array<Light, 8> lights;
};

// ---- the chunk writer --------------------------------------------------------

enum Type : uint8_t {
  kByte = 1, kWord = 2, kLong = 3, kSingle = 4, kUv = 5, kVector = 6, kRgba = 7, kString = 8,
  kFace = 9, kKeyVector = 10, kKeyQuat = 11, kMatrix = 12, kBool = 13,
};
constexpr int32_t kTypeSize[14] = {1, 1, 2, 4, 4, 8, 12, 16, 256, 12, 16, 20, 64, 1};

class Chunks {
public:
  void Raw(uint8_t type, uint8_t id, int32_t count, int32_t index, const void *data) {
    const int32_t bytes = count * kTypeSize[type];
    out_.push_back('Z');
    out_.push_back('!');
    out_.push_back(type);
    out_.push_back(id);
    Int(count);
    Int(bytes);
    Int(0);
    Int(index);
    const auto *p = static_cast<const uint8_t *>(data);
    if (bytes > 0) out_.insert(out_.end(), p, p + bytes);
  }
  void Byte(uint8_t id, uint8_t v, int32_t index = 0) { Raw(kByte, id, 1, index, &v); }
  void Bool(uint8_t id, bool v, int32_t index = 0) {
    const uint8_t b = v ? 1 : 0;
    Raw(kBool, id, 1, index, &b);
  }
  void Long(uint8_t id, int32_t v, int32_t index = 0) { Raw(kLong, id, 1, index, &v); }
  void Single(uint8_t id, float v, int32_t index = 0) { Raw(kSingle, id, 1, index, &v); }
  void Vector(uint8_t id, V3 v, int32_t index = 0) { Raw(kVector, id, 1, index, &v); }
  void String(uint8_t id, const std::string &s, int32_t index = 0) {
    uint8_t image[256] = {};
    image[0] = uint8_t(std::min<size_t>(s.size(), 255));
    std::memcpy(image + 1, s.data(), image[0]);
    Raw(kString, id, 1, index, image);
  }
  template <class T>
  void Array(uint8_t type, uint8_t id, const std::vector<T> &v, int32_t index) {
    static_assert(std::is_trivially_copyable_v<T>);
    Raw(type, id, int32_t(v.size()), index, v.data());
  }
  std::vector<uint8_t> &bytes() { return out_; }

private:
  void Int(int32_t v) {
    uint8_t b[4];
    std::memcpy(b, &v, 4);
    out_.insert(out_.end(), b, b + 4);
  }
  std::vector<uint8_t> out_;
};

static_assert(sizeof(V3) == 12 && sizeof(UV) == 8 && sizeof(Key) == 16 && sizeof(TriFace) == 12);

// Face across each edge (corner e to corner e + 1), -1 for none: faces in
// ascending pairs, an edge that has its neighbour is not matched again.
std::vector<TriFace> Neighbours(const std::vector<TriFace> &faces) {
  std::vector<TriFace> n(faces.size(), TriFace{-1, -1, -1});
  for (size_t i = 0; i < faces.size(); ++i) {
    for (size_t j = i + 1; j < faces.size(); ++j) {
      for (int e = 0; e < 3; ++e) {
        if (n[i][e] != -1) continue;
        const int32_t a = faces[i][e], b = faces[i][(e + 1) % 3];
        for (int g = 0; g < 3; ++g) {
          const int32_t c = faces[j][g], d = faces[j][(g + 1) % 3];
          if (std::min(a, b) == std::min(c, d) && std::max(a, b) == std::max(c, d)) {
            n[i][e] = int32_t(j);
            n[j][g] = int32_t(i);
          }
        }
      }
    }
  }
  return n;
}

std::vector<uint8_t> SceneFile(const Scene &s, bool version10) {
  Chunks c;
  int32_t chunkcount = 12 + 22 * int32_t(s.materials.size());
  for (const Object &o : s.objects)
    chunkcount += 33 + 1 + 2 + (o.positionkeys.empty() ? 0 : 1);  // uvs, normals
  chunkcount += (s.camerapositions.empty() ? 0 : 1) + (s.cameratargets.empty() ? 0 : 1);
  for (const Light &l : s.lights) chunkcount += 7 + (l.positionkeys.empty() ? 0 : 1);

  c.Long(87, chunkcount);
  c.Byte(1, 1);
  c.Byte(2, version10 ? 0 : 2);
  c.String(3, s.name);
  c.Long(4, 0);
  c.Long(5, int32_t(s.materials.size()));
  c.Long(6, int32_t(s.objects.size()));
  c.Single(7, s.fov);
  c.Single(8, s.cameranear);
  c.Single(9, s.camerafar);
  c.Long(10, int32_t(s.camerapositions.size()));
  c.Long(11, int32_t(s.cameratargets.size()));
  c.Single(84, s.viewdistance);
  c.Single(90, s.lightfactor);

  for (int32_t i = 0; i < int32_t(s.materials.size()); ++i) {
    const Material &m = s.materials[size_t(i)];
    c.String(12, m.name, i);
    c.String(13, m.texture, i);
    c.String(14, m.envtexture, i);
    c.Single(15, m.transparency, i);
    c.Single(16, m.utile, i);
    c.Single(17, m.vtile, i);
    c.Single(18, m.alphatest, i);
    c.Single(19, m.constantalpha, i);
    c.Single(20, m.flaresize, i);
    c.Single(92, m.envalpha, i);
    c.Vector(93, m.envcolor, i);
    c.Bool(94, m.envblend, i);
    c.Long(21, m.magtype, i);
    c.Long(22, m.shine, i);
    c.Bool(23, m.envmap, i);
    c.Bool(24, m.receivelight, i);
    c.Bool(25, m.textured, i);
    c.Byte(26, m.depthtest, i);
    c.Byte(82, m.depthfunc, i);
    c.Byte(27, m.blend, i);
    c.Byte(28, m.texturewrap, i);
    c.Byte(29, 24, i);  // what the reader sets anyway
    c.Vector(30, m.ambient, i);
    c.Vector(31, m.diffuse, i);
    c.Vector(32, m.specular, i);
  }

  for (int32_t i = 0; i < int32_t(s.objects.size()); ++i) {
    const Object &o = s.objects[size_t(i)];
    c.String(33, o.name, i);
    c.Long(34, int32_t(o.vertices.size()), i);
    c.Long(35, int32_t(o.faces.size()), i);
    c.Long(36, o.material, i);
    c.Long(37, int32_t(o.positionkeys.size()), i);
    c.Long(38, 0, i);
    c.Long(39, 0, i);
    c.Long(40, 0, i);
    c.Long(41, o.passno, i);
    c.Bool(42, true, i);
    c.Bool(43, false, i);
    c.Bool(44, true, i);
    c.Bool(45, o.visible, i);
    c.Bool(46, o.backfacecull, i);
    c.Bool(88, o.castshadow, i);
    c.Bool(89, o.uselightfactor, i);
    c.Byte(83, o.distancecull, i);
    c.Byte(47, o.rendermode, i);
    float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    c.Raw(kMatrix, 48, 1, i, identity);
    c.Vector(49, o.pivot, i);
    c.Vector(91, o.texturescroll, i);
    c.Bool(95, o.fog, i);
    c.Byte(96, o.fogmode, i);
    c.Vector(97, o.fogparam, i);
    c.Raw(kRgba, 98, 1, i, o.fogcolor.data());
    c.String(59, o.particletexture, i);
    c.Long(60, o.newparticle, i);
    c.Single(61, o.power, i);
    c.Single(62, o.deltapower, i);
    c.Single(63, o.size, i);
    c.Bool(64, o.particleenabled, i);
    c.Byte(65, o.colorattrib, i);
    c.Vector(66, o.deltavector, i);
    c.Vector(67, o.deltavectorspread, i);
    c.Vector(68, o.color, i);
    c.Vector(69, o.colorspread, i);
    c.Raw(kWord, 50, 0, i, nullptr);
    c.Array(kVector, 51, o.vertices, i);
    c.Array(kFace, 52, o.faces, i);
    c.Array(kFace, 99, o.faces, i);
    if (!version10) c.Array(kFace, 86, Neighbours(o.faces), i);
    c.Array(kUv, 54, o.uvs, i);
    c.Array(kVector, 55, o.normals, i);
    if (!o.positionkeys.empty()) c.Array(kKeyVector, 56, o.positionkeys, i);
  }

  if (!s.camerapositions.empty()) c.Array(kKeyVector, 70, s.camerapositions, 0);
  if (!s.cameratargets.empty()) c.Array(kKeyVector, 71, s.cameratargets, 0);

  for (int32_t i = 0; i < 8; ++i) {
    const Light &l = s.lights[size_t(i)];
    c.String(72, l.name, i);
    c.Long(73, int32_t(l.positionkeys.size()), i);
    c.Bool(74, l.enabled, i);
    c.Vector(75, l.pos, i);
    c.Vector(76, l.ambient, i);
    c.Vector(77, l.diffuse, i);
    c.Vector(78, l.specular, i);
    if (!l.positionkeys.empty()) c.Array(kKeyVector, 79, l.positionkeys, i);
  }
  return std::move(c.bytes());
}

// ---- geometry ------------------------------------------------------------------

// Appends a quad given counter-clockwise seen from the front. The engine
// culls GL_FRONT with counter-clockwise fronts, so what it shows are the
// clockwise triangles: they are stored that way round.
void AddQuad(Object &o, V3 a, V3 b, V3 cc, V3 d, V3 n, float us = 1, float vs = 1) {
  const int32_t base = int32_t(o.vertices.size());
  o.vertices.insert(o.vertices.end(), {a, b, cc, d});
  o.normals.insert(o.normals.end(), {n, n, n, n});
  o.uvs.insert(o.uvs.end(), {UV{0, 0}, UV{us, 0}, UV{us, vs}, UV{0, vs}});
  o.faces.push_back({base, base + 2, base + 1});
  o.faces.push_back({base, base + 3, base + 2});
}

// A box with shared corners per side (8 corners would need shared normals).
void AddBox(Object &o, V3 lo, V3 hi) {
  const float x0 = lo.x, y0 = lo.y, z0 = lo.z, x1 = hi.x, y1 = hi.y, z1 = hi.z;
  AddQuad(o, {x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}, {0, -1, 0});
  AddQuad(o, {x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}, {1, 0, 0});
  AddQuad(o, {x1, y1, z0}, {x0, y1, z0}, {x0, y1, z1}, {x1, y1, z1}, {0, 1, 0});
  AddQuad(o, {x0, y1, z0}, {x0, y0, z0}, {x0, y0, z1}, {x0, y1, z1}, {-1, 0, 0});
  AddQuad(o, {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}, {0, 0, 1});
  AddQuad(o, {x0, y1, z0}, {x1, y1, z0}, {x1, y0, z0}, {x0, y0, z0}, {0, 0, -1});
}

// A closed sphere: poles shared, the seam shared, so every edge has two faces.
void AddSphere(Object &o, V3 c, float r, int slices = 10, int rings = 6) {
  const int32_t base = int32_t(o.vertices.size());
  auto push = [&](double theta, double phi) {
    const V3 n{float(std::sin(theta) * std::cos(phi)), float(std::sin(theta) * std::sin(phi)),
               float(std::cos(theta))};
    o.vertices.push_back({c.x + r * n.x, c.y + r * n.y, c.z + r * n.z});
    o.normals.push_back(n);
    o.uvs.push_back({float(phi / (2 * kPi)), float(theta / kPi)});
  };
  push(0, 0);  // top
  for (int i = 1; i < rings; ++i)
    for (int j = 0; j < slices; ++j) push(kPi * i / rings, 2 * kPi * j / slices);
  push(kPi, 0);  // bottom
  const int32_t bottom = base + 1 + (rings - 1) * slices;
  auto at = [&](int ring, int j) { return base + 1 + (ring - 1) * slices + (j % slices); };
  // Clockwise seen from outside, like the quads.
  for (int j = 0; j < slices; ++j) o.faces.push_back({base, at(1, j + 1), at(1, j)});
  for (int i = 1; i < rings - 1; ++i) {
    for (int j = 0; j < slices; ++j) {
      o.faces.push_back({at(i, j), at(i + 1, j + 1), at(i + 1, j)});
      o.faces.push_back({at(i, j), at(i, j + 1), at(i + 1, j + 1)});
    }
  }
  for (int j = 0; j < slices; ++j) o.faces.push_back({at(rings - 1, j), at(rings - 1, j + 1), bottom});
}

Object Named(const std::string &name, int32_t material) {
  Object o;
  o.name = name;
  o.material = material;
  return o;
}

void Emitter(Object &o, V3 direction, V3 colour, int32_t perFrame) {
  o.particletexture = "particle.tga";
  o.newparticle = perFrame;
  o.power = 1.0f;
  o.deltapower = 0.02f;
  o.size = 6;
  o.particleenabled = true;
  o.colorattrib = 1;
  o.deltavector = direction;
  o.deltavectorspread = {0.6f, 0.6f, 0.4f};
  o.color = colour;
  o.colorspread = {0.1f, 0.1f, 0.1f};
}

Light MakeLight(const std::string &name, V3 pos, V3 diffuse, bool enabled = true) {
  Light l;
  l.name = name;
  l.pos = pos;
  l.ambient = {0.05f, 0.05f, 0.05f};
  l.diffuse = diffuse;
  l.specular = {0.3f, 0.3f, 0.3f};
  l.enabled = enabled;
  return l;
}

Scene Hall() {
  Scene s;
  s.name = "hall";
  s.fov = float(60 * kPi / 180);
  // Materials: every blend code (0..4), depth code (0..3), depth function
  // (0..4) and filter type (0..3) appears. Greater and greater-or-equal,
  // which hide what stands in front of the floor, go to the materials
  // drawn without the depth test (scroller, grille).
  Material floor;
  floor.name = "floor";
  floor.texture = "floor.tga";
  floor.utile = 4;
  floor.vtile = 4;
  floor.magtype = 3;
  floor.textured = true;
  floor.depthtest = 0;
  floor.depthfunc = 1;
  floor.blend = 0;
  floor.texturewrap = 2;
  Material stone;
  stone.name = "stone";
  stone.texture = "stone.tga";
  stone.magtype = 1;
  stone.textured = true;
  stone.depthtest = 0;
  stone.depthfunc = 0;
  stone.blend = 0;
  Material glowball;
  glowball.name = "glowball";
  glowball.receivelight = false;
  glowball.depthtest = 1;
  glowball.depthfunc = 1;
  glowball.blend = 1;
  glowball.ambient = {1.0f, 0.6f, 0.2f};
  Material chrome;
  chrome.name = "chrome";
  chrome.texture = "stone.tga";
  chrome.envtexture = "env.tga";
  chrome.envalpha = 0.7f;
  chrome.envcolor = {1, 1, 1};
  chrome.envblend = true;
  chrome.magtype = 2;
  chrome.shine = 80;
  chrome.envmap = true;
  chrome.textured = true;
  chrome.depthfunc = 1;
  Material screen;
  screen.name = "screen";
  screen.texture = "$framebuffer$.jpg";
  screen.magtype = 1;
  screen.receivelight = false;
  screen.textured = true;
  screen.texturewrap = 1;
  Material glass;
  glass.name = "glass";
  glass.transparency = 0.5f;
  glass.constantalpha = 0.4f;
  glass.depthtest = 1;
  glass.depthfunc = 1;
  glass.blend = 2;
  glass.ambient = {0.3f, 0.5f, 0.8f};
  glass.receivelight = false;
  Material grille;
  grille.name = "grille";
  grille.texture = "grille.tga";
  grille.alphatest = 0.5f;
  grille.magtype = 1;
  grille.textured = true;
  grille.depthtest = 2;
  grille.depthfunc = 4;
  grille.blend = 3;
  Material scroller;
  scroller.name = "scroller";
  scroller.texture = "scroll.tga";
  scroller.magtype = 1;
  scroller.receivelight = false;
  scroller.textured = true;
  scroller.depthtest = 3;
  scroller.depthfunc = 3;
  scroller.blend = 4;
  Material lamp;
  lamp.name = "lamp";
  lamp.texture = "flare.tga";
  lamp.flaresize = 30;
  lamp.magtype = 1;
  lamp.receivelight = false;
  lamp.textured = true;
  lamp.depthfunc = 2;
  lamp.blend = 1;
  lamp.ambient = {1, 0.9f, 0.6f};
  Material stud;
  stud.name = "stud";
  stud.depthfunc = 1;
  stud.blend = 7;
  stud.ambient = {0.5f, 0.3f, 0.2f};
  s.materials = {floor, stone, glowball, chrome, screen, glass, grille, scroller, lamp, stud};

  // 0: the floor, the bolts' target and the shadows' receiver. What lies in
  // a shadow keeps the buffer-object pass's picture, whose diffuse light the
  // scene's light factor dims.
  Object f = Named("floor", 0);
  f.uselightfactor = true;
  s.lightfactor = 0.3f;
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) {
      const float x0 = -200 + 50.0f * i, y0 = -200 + 50.0f * j;
      AddQuad(f, {x0, y0, 0}, {x0 + 50, y0, 0}, {x0 + 50, y0 + 50, 0}, {x0, y0 + 50, 0}, {0, 0, 1},
              0.5f, 0.5f);
    }
  s.objects.push_back(f);
  // 1-4: spheres orbiting the hall's middle, a quarter turn apart.
  for (int k = 0; k < 4; ++k) {
    Object o = Named("orbit" + std::to_string(k + 1), 2);
    AddSphere(o, {0, 0, 0}, 10);
    for (int key = 0; key <= 12; ++key) {
      const double a = 2 * kPi * (key / 12.0 + k / 4.0);
      o.positionkeys.push_back({key * 50, float(80 * std::cos(a)), float(80 * std::sin(a)),
                                float(60 + 15 * std::sin(3 * a))});
    }
    s.objects.push_back(o);
  }
  // 5-12: pillars that cast shadows.
  for (int k = 0; k < 8; ++k) {
    const double a = 2 * kPi * (k + 0.5) / 8;
    const float x = float(140 * std::cos(a)), y = float(140 * std::sin(a));
    Object o = Named("pillar" + std::to_string(k + 1), 1);
    AddBox(o, {x - 10, y - 10, 0}, {x + 10, y + 10, 120});
    o.castshadow = true;
    o.pivot = {x, y, 60};
    s.objects.push_back(o);
  }
  // 13: the environment-mapped sphere, turned by the project.
  Object chromeBall = Named("chromeball", 3);
  AddSphere(chromeBall, {0, 0, 35}, 25, 16, 10);
  chromeBall.pivot = {0, 0, 35};
  chromeBall.castshadow = true;
  s.objects.push_back(chromeBall);
  // 14: the screen on the back wall, showing render target 0 upright to a
  // camera in front of it (the side culling keeps).
  Object scr = Named("screen", 4);
  AddQuad(scr, {-80, 195, 40}, {80, 195, 40}, {80, 195, 130}, {-80, 195, 130}, {0, -1, 0});
  s.objects.push_back(scr);
  // 15: glass, drawn in the second pass, high on the back wall: the
  // buffer-object pass of a shadowed render draws it opaque, so it must
  // not stand between the camera and the floor the shadows fall on.
  Object gl = Named("glass", 5);
  AddQuad(gl, {-170, 190, 60}, {-90, 190, 60}, {-90, 190, 140}, {-170, 190, 140}, {0, -1, 0});
  gl.passno = 1;
  gl.backfacecull = false;
  s.objects.push_back(gl);
  // 16: the grille, alpha tested.
  Object gr = Named("grille", 6);
  AddQuad(gr, {170, -60, 0}, {170, 60, 0}, {170, 60, 90}, {170, -60, 90}, {-1, 0, 0}, 3, 2);
  gr.backfacecull = false;
  s.objects.push_back(gr);
  // 17: a band whose texture scrolls. It stays in the first pass: drawn
  // last, its depth function (greater) would be what the hall leaves, and
  // the bolts drawn after the hall would show only behind things.
  Object sc = Named("scroller", 7);
  AddQuad(sc, {-120, -195, 100}, {120, -195, 100}, {120, -195, 130}, {-120, -195, 130},
          {0, 1, 0}, 4, 1);
  sc.texturescroll = {0.002f, 0, 0};
  s.objects.push_back(sc);
  // 18-21: lamps above four pillars.
  for (int k = 0; k < 4; ++k) {
    const double a = 2 * kPi * (2 * k + 0.5) / 8;
    const float x = float(140 * std::cos(a)), y = float(140 * std::sin(a));
    Object o = Named("lamp" + std::to_string(k + 1), 8);
    AddBox(o, {x - 3, y - 3, 125}, {x + 3, y + 3, 131});
    o.pivot = {x, y, 128};
    s.objects.push_back(o);
  }
  // 22-114: studs in a ring on the floor, in fog; four of them emit.
  for (int k = 22; k <= 114; ++k) {
    const double a = 2 * kPi * (k - 22) / 93;
    const float x = float(180 * std::cos(a)), y = float(180 * std::sin(a));
    Object o = Named("stud" + std::to_string(k), 9);
    AddBox(o, {x - 3, y - 3, 0}, {x + 3, y + 3, 6});
    o.pivot = {x, y, 3};
    o.fog = true;
    o.fogmode = uint8_t(k % 3);
    o.fogparam = {0.002f, 100, 600};
    o.fogcolor = {0.08f, 0.09f, 0.15f, 1};
    o.distancecull = k % 2;
    if (k == 99) Emitter(o, {0, 0, 1.5f}, {0.4f, 0.7f, 1.0f}, 8);
    if (k == 105 || k == 111 || k == 114) Emitter(o, {0, 0, 2}, {1.0f, 0.6f, 0.2f}, 12);
    s.objects.push_back(o);
  }

  // The camera circles the hall from above, looking down at its middle,
  // and stays in front of the glass and the screen on the back wall (y 190
  // and 195) all the way: its curve, not only its keys, keeps below y 150.
  // From 5 to 10 s it crosses the back looking to the front, where the
  // floor grid (the plane y -170) stands behind the hall, face on.
  const Key eyes[6] = {{0, 0, -330, 170},   {90, 300, -80, 170},   {150, 130, 120, 170},
                       {300, -130, 120, 180}, {450, -290, -120, 150}, {600, 40, -300, 170}};
  const Key targets[6] = {{0, 0, 0, 40},    {90, 0, 10, 45},   {150, 0, -20, 50},
                          {300, 0, -20, 40}, {450, 10, -10, 40}, {600, 0, 0, 45}};
  s.camerapositions.assign(std::begin(eyes), std::end(eyes));
  s.cameratargets.assign(std::begin(targets), std::end(targets));

  // Eight lights; light 0, the one that casts the shadows, circles overhead.
  s.lights[0] = MakeLight("sun", {0, 0, 260}, {0.9f, 0.85f, 0.75f});
  for (int key = 0; key <= 8; ++key) {
    const double a = 2 * kPi * key / 8;
    s.lights[0].positionkeys.push_back({key * 75, float(60 * std::cos(a)), float(60 * std::sin(a)), 260});
  }
  const V3 colours[7] = {{0.3f, 0.1f, 0.05f}, {0.05f, 0.1f, 0.3f}, {0.2f, 0.2f, 0.05f},
                         {0.1f, 0.3f, 0.1f},  {0.2f, 0.05f, 0.2f}, {0.05f, 0.2f, 0.2f},
                         {0.1f, 0.1f, 0.1f}};
  for (int k = 1; k < 8; ++k) {
    const double a = 2 * kPi * k / 7;
    s.lights[size_t(k)] = MakeLight("lamp" + std::to_string(k),
                                    {float(150 * std::cos(a)), float(150 * std::sin(a)), 130},
                                    colours[k - 1]);
  }
  return s;
}

Scene Room() {
  Scene s;
  s.name = "room";
  s.fov = float(50 * kPi / 180);
  Material floor;
  floor.name = "floor";
  floor.texture = "floor.tga";
  floor.utile = 2;
  floor.vtile = 2;
  floor.magtype = 1;
  floor.textured = true;
  Material box;
  box.name = "box";
  box.texture = "stone.tga";
  box.magtype = 1;
  box.textured = true;
  s.materials = {floor, box};
  Object f = Named("floor", 0);
  AddQuad(f, {-100, -100, 0}, {100, -100, 0}, {100, 100, 0}, {-100, 100, 0}, {0, 0, 1});
  s.objects.push_back(f);
  for (int k = 0; k < 3; ++k) {
    Object o = Named("box" + std::to_string(k + 1), 1);
    const float x = float(-50 + 50 * k);
    AddBox(o, {x - 12, -12, 0}, {x + 12, 12, float(20 + 15 * k)});
    o.pivot = {x, 0, 0};
    // The last box is drawn without culling and leaves culling off: the
    // shader passes draw their quad with the culling the scene left.
    o.backfacecull = k != 2;
    s.objects.push_back(o);
  }
  const V3 eyes[4] = {{0, -200, 120}, {180, -80, 100}, {120, 170, 130}, {-170, 60, 110}};
  for (int k = 0; k < 4; ++k) {
    s.camerapositions.push_back({k * 40, eyes[k].x, eyes[k].y, eyes[k].z});
    s.cameratargets.push_back({k * 40, 0, 0, 15});
  }
  s.lights[0] = MakeLight("key", {60, -80, 150}, {0.9f, 0.9f, 0.8f});
  s.lights[1] = MakeLight("fill", {-100, 60, 80}, {0.2f, 0.25f, 0.4f});
  for (int k = 2; k < 8; ++k) s.lights[size_t(k)] = MakeLight("off", {0, 0, 0}, {0, 0, 0}, false);
  return s;
}

// ---- textures ------------------------------------------------------------------

std::vector<uint8_t> Tga(const Image &img, bool alpha = false) {
  return TgaTrueColour(img, alpha, RowOrder::kBottomUp);
}

void AddTextures(ContentSet &set, const FontBook &fonts) {
  Image floor(128, 128);
  floor.Shade([](int x, int y) {
    const bool dark = ((x / 32) + (y / 32)) % 2 == 0;
    const double grain = 0.05 * std::sin(x * 0.7) * std::cos(y * 0.9);
    return dark ? Rgb(0.35 + grain, 0.33 + grain, 0.3) : Rgb(0.75 + grain, 0.72 + grain, 0.66);
  });
  set.Add("textures/floor.tga", Tga(floor));

  Image stone(64, 64);
  stone.Shade([](int x, int y) {
    const double v = 0.55 + 0.15 * std::sin(x * 0.45 + std::sin(y * 0.3) * 2) +
                     ((y % 16) == 0 ? -0.2 : 0.0);
    return Rgb(v, v * 0.95, v * 0.85);
  });
  set.Add("textures/stone.tga", Tga(stone));

  Image env(128, 128);
  env.Shade([](int x, int y) {
    const double u = (x - 64) / 64.0, v = (y - 64) / 64.0;
    const double r = std::min(1.0, std::sqrt(u * u + v * v));
    const double sky = 1 - r;
    return Rgb(0.2 + 0.7 * sky, 0.3 + 0.6 * sky, 0.5 + 0.5 * sky * (v < 0 ? 1 : 0.6));
  });
  set.Add("textures/env.tga", Tga(env));

  Image grille(64, 64);
  grille.Shade([](int x, int y) {
    const bool bar = (x % 16) < 4 || (y % 16) < 4;
    return bar ? Rgb(0.6, 0.62, 0.7, 1.0) : Rgb(0, 0, 0, 0.0);
  });
  set.Add("textures/grille.tga", Tga(grille, true));

  Image scroll(128, 32);
  scroll.Shade([](int x, int y) {
    const double w = 0.5 + 0.5 * std::sin(x * 2 * kPi / 32) * std::cos(y * kPi / 32);
    return Rgb(0.9 * w, 0.4 * w + 0.1, 0.1);
  });
  set.Add("textures/scroll.tga", Tga(scroll));

  Image flare(64, 64, Rgb(0, 0, 0));
  flare.SoftDisc(32, 32, 2, 30, Rgb(1, 0.9, 0.7), true);
  set.Add("textures/flare.tga", Tga(flare));

  Image particle(32, 32, Rgb(0, 0, 0));
  particle.SoftDisc(16, 16, 1, 15, Rgb(1, 1, 1), true);
  set.Add("textures/particle.tga", Tga(particle));

  Image band(256, 64);
  band.Shade([](int x, int y) {
    const double stripe = 0.5 + 0.5 * std::sin(x * 2 * kPi / 32);
    const double edge = std::sin(y * kPi / 63);
    return Rgb(0.3 + 0.7 * stripe, 0.5 * stripe, 1.0 - 0.5 * stripe, edge);
  });
  set.Add("textures/band.tga", Tga(band, true));

  Image title(512, 128, Rgb(0, 0, 0, 0));
  const Mask text = fonts.Fit(content::Face::kSansBold, "EMBERFIELD ENGINE", 480, 70, 64);
  DrawTextMask(title, text, 256, 64, Rgb(1, 0.85, 0.6, 1), 6, Rgb(1, 0.4, 0.1, 0.8));
  set.Add("textures/title.tga", Tga(title, true));
}

// ---- layer effects ---------------------------------------------------------------


void AddLayerEffects(ContentSet &set) {
  LayerEffect title{"title.ife", "the sample's title, frames 0-6000",
                    {{"title.tga", "title", kBlendAlpha,
                      {Quad(0, 400, 420, 480, 120, 255, 255, 255, 0), Quad(1500, 400, 420, 512, 128, 255, 255, 255, 255),
                       Quad(4500, 400, 420, 512, 128, 255, 255, 255, 255), Quad(6000, 400, 440, 560, 140, 255, 255, 255, 0)}}}};
  LayerEffect ring{"ring.ife", "the band the ring operator wraps around",
                   {{"band.tga", "band", kBlendAdd, {Quad(0, 400, 60, 800, 40, 255, 255, 255, 128)}}}};
  LayerEffect glow{"glow.ife", "render target 0 and the glow texture over the frame",
                   {{"RT", "render target 0, small in a corner", kBlendAlpha,
                     {Quad(0, 680, 100, 200, 150, 255, 255, 255, 200)}},
                    // Its texture is a small copy of the frame before, added by its
                    // colour: at more than a quarter, each frame's glow would feed the
                    // next one's up to white.
                    {"GLOW", "glow over everything", kBlendAdd,
                     {Quad(0, 400, 300, 800, 600, 0, 0, 0, 255), Quad(2000, 400, 300, 800, 600, 64, 56, 48, 255),
                      Quad(4000, 400, 300, 800, 600, 0, 0, 0, 255)}}}};
  for (const LayerEffect *e : {&title, &ring, &glow}) set.AddText("data/" + e->file, e->Text());
}

// ---- projects ------------------------------------------------------------------

struct PKey {
  int32_t start, end;
  uint8_t mode;
  int32_t v0, v1, v2;
};
struct POp {
  std::string name;
  int32_t type, index;
  std::vector<std::pair<int, int>> params;  // (record offset, value); words take two bytes
  std::vector<PKey> keys;
};

void PutInt(std::vector<uint8_t> &out, int32_t v) {
  uint8_t b[4];
  std::memcpy(b, &v, 4);
  out.insert(out.end(), b, b + 4);
}
void PutName(std::vector<uint8_t> &out, const std::string &s) {
  std::vector<uint8_t> image(256, 0);
  image[0] = uint8_t(s.size());
  std::memcpy(image.data() + 1, s.data(), s.size());
  out.insert(out.end(), image.begin(), image.end());
}

std::vector<uint8_t> ProjectFile(const std::string &name, const std::vector<std::string> &scenes,
                                 const std::vector<std::string> &layers,
                                 const std::vector<POp> &ops) {
  std::vector<uint8_t> out;
  PutName(out, name);
  for (int i = 0; i < 4; ++i) PutInt(out, 0);
  PutInt(out, int32_t(scenes.size()));
  PutInt(out, int32_t(layers.size()));
  PutInt(out, int32_t(ops.size()));
  for (const auto &s : scenes) PutName(out, s);
  for (const auto &s : layers) PutName(out, s);
  for (const POp &op : ops) {
    PutInt(out, op.type);
    PutInt(out, op.index);
    uint8_t params[32] = {};
    for (auto [offset, value] : op.params) {
      params[offset - 8] = uint8_t(value & 255);
      if (value > 255) params[offset - 7] = uint8_t(value >> 8);
    }
    out.insert(out.end(), params, params + 32);
    PutInt(out, 0);
    PutInt(out, int32_t(op.keys.size()));
    PutName(out, op.name);
  }
  for (const POp &op : ops) {
    for (const PKey &k : op.keys) {
      PutInt(out, k.start);
      PutInt(out, k.end);
      out.insert(out.end(), {k.mode, 0, 0, 0});
      PutInt(out, k.v0);
      PutInt(out, k.v1);
      PutInt(out, k.v2);
    }
  }
  return out;
}

constexpr int32_t kEnd = 30000;

PKey Hold(int32_t from, int32_t to, int32_t v) { return {from, to, 0, v, v, v}; }

std::vector<POp> SampleOperators() {
  const std::vector<std::pair<int, int>> fullFrame = {{8, 0}, {10, 0}, {12, 1024}, {14, 768}};
  return {
      // First, so its tunnel and bolts are cleared away: all faces until
      // 12 s, the hall building up from 12 to 16 s, all faces again after.
      // Its amounts stay from 0 to 1000, the share it sets and the range
      // whose face numbers the floor has.
      {"face share", 4004, 0, {},
       {Hold(0, 11999, 1000), {12000, 15999, 0, 0, 500, 1000}, Hold(16000, kEnd, 1000)}},
      {"clear", 1000, 0, {{8, 20}, {9, 24}, {10, 40}, {11, 1}, {12, 1}, {14, 1}},
       {Hold(0, kEnd, 1000)}},
      {"viewport", 1, 0, fullFrame, {Hold(0, kEnd, 1000)}},
      {"field of view", 7, 0, {}, {{0, kEnd, 1, 60, 45, 70}}},
      {"turn the chrome ball", 6, 0, {{8, 13}, {10, 2}}, {{0, kEnd, 0, 0, 360, 720}}},
      {"turn the room", 6, 1, {{10, 2}, {11, 1}}, {{0, kEnd, 0, 0, 90, 180}}},
      {"no axis", 6, 0, {{10, 3}, {11, 1}}, {Hold(0, kEnd, 45)}},
      {"emitter switch", 4006, 0, {},
       {Hold(0, 9999, 0), Hold(10000, 19999, 1000), Hold(20000, kEnd, 0)}},
      {"sparks", 4001, 0, {}, {Hold(0, 14999, 500), Hold(15000, kEnd, 0)}},
      {"hall", 1001, 0, {{9, 1}, {10, 1}}, {{0, 19999, 0, 0, 300, 600}}},
      {"room", 1001, 1, {}, {{20000, 22499, 0, 0, 60, 120}}},
      {"room again", 1001, 2, {{9, 1}}, {{22500, 24999, 0, 0, 60, 120}}},
      {"old hall", 1001, 3, {{10, 1}}, {{25000, kEnd, 2, 300, 450, 600}}},
      {"grid", 4003, 0, {}, {{5000, 10000, 1, 0, 1000, 0}}},
      // Inside the grid's span: the ring lies under the floor, and the grid
      // leaves the depth test off.
      {"ring", 4002, 0, {}, {{6500, 10000, 0, 0, 500, 1000}}},
      {"points", 4005, 0, {}, {{14000, 17000, 0, 0, 0, 0}}},
      // The hall's own frames (510 to 600 from 17 to 20 s): the bolts leave
      // the orbiting spheres where the hall draws them and end on the
      // floor's faces 64 to 79, moving as the amount grows.
      {"bolts", 4004, 0, {}, {{17000, 19999, 0, 510, 555, 600}}},
      {"copy", 3000, 0, {{8, 0}, {10, 0}, {12, 1024}, {14, 768}, {16, 1}}, {Hold(0, kEnd, 1000)}},
      {"feedback", 1005, 0, {{8, 255}, {9, 160}, {10, 90}, {11, 1}, {12, 1}},
       {{10000, 14000, 1, 0, 350, 0}}},
      {"keep blend", 1005, 0, {{8, 60}, {9, 60}, {10, 60}, {11, 1}, {12, 3}},
       {{14001, 15000, 0, 200, 200, 0}}},
      {"glow", 1005, 0, {{8, 128}, {9, 128}, {10, 255}, {11, 1}, {12, 2}},
       {{26000, 28000, 0, 0, 400, 0}}},
      {"title", 1002, 0, {}, {{0, 6000, 0, 0, 3000, 6000}}},
      {"targets", 1002, 2, {}, {{23000, 27000, 0, 0, 2000, 4000}}},
      {"flash", 1004, 0, {}, {{6000, 6600, 2, 1000, 400, 0}, {20000, 20400, 0, 800, 400, 0}}},
      {"flicker", 1004, 0, {}, {{28500, 28900, 0, -303, 0, 0}}},
  };
}

std::vector<POp> ShaderOperators() {
  return {
      {"clear", 1000, 0, {{8, 10}, {9, 10}, {10, 20}, {11, 1}, {12, 1}}, {Hold(0, 9000, 1000)}},
      {"viewport", 1, 0, {{12, 1024}, {14, 768}}, {Hold(0, 9000, 1000)}},
      // The room's camera keys span frames 0 to 120: it moves all the way.
      {"room", 1001, 0, {}, {{0, 9000, 0, 0, 60, 120}}},
      {"copy", 3000, 0, {{12, 1024}, {14, 768}, {16, 2}}, {Hold(0, 9000, 1000)}},
      {"pass one", 2001, 0, {{8, 2}}, {{0, 2999, 0, 0, 500, 1000}}},
      {"pass two", 2002, 0, {{8, 2}}, {{3000, 5999, 0, 0, 500, 1000}}},
      {"two-pass filter", 2003, 0, {{8, 2}}, {{6000, 9000, 0, 0, 500, 1000}}},
  };
}

}  // namespace

ContentSet EngineSampleFiles(const FontBook &fonts) {
  ContentSet set;
  const Scene hall = Hall();
  set.Add("data/hall.scn", SceneFile(hall, false));
  set.Add("data/hall10.scn", SceneFile(hall, true));
  set.Add("data/room.scn", SceneFile(Room(), false));
  AddTextures(set, fonts);
  AddLayerEffects(set);
  set.Add("sample.qep",
          ProjectFile("engine sample", {"scenes\\hall.scn", "room.scn", "backup\\room.scn", "hall10.scn"},
                      {"fx\\title.ife", "ring.ife", "glow.ife"}, SampleOperators()));
  set.Add("shader.qep", ProjectFile("shader passes", {"room.scn"}, {}, ShaderOperators()));
  return set;
}

}  // namespace content
