// The five meshes, each as three files of packed little-endian 32-bit
// values: ".face" (three vertex indices per triangle), ".vertex" (x, y, z
// per vertex) and ".vertexnormal" (unit normal per vertex) or ".uvw"
// (texture coordinate per vertex, v running up the picture as usual; the
// demo turns it over when it loads the file).
//
// Sizes and places follow the scenes' cameras: the coin (radius 400, front
// facing +z, emblem embossed) fills a third of scene 2's view at scale 0.4;
// "Deckf" (a torus knot about 190 units across, centred) fills scene 5's
// view at its closest; the monitor of scene 16 stands on the tunnel floor
// at the origin with z up: its screen "tft" faces -y, its base "alap" and
// its neck "csap" stand behind it. Triangles wind counter-clockwise seen
// from outside.
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "tools/content/art.h"
#include "tools/content/generators.h"
#include "tools/content/procedural.h"

namespace content {

namespace {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
Vec3 Normalised(Vec3 a) {
  double l = Length(a);
  return l > 0 ? a * (1.0 / l) : Vec3{0, 0, 1};
}

struct Mesh {
  std::vector<Vec3> pos;
  std::vector<Vec3> attr;  // normal or texture coordinate
  std::vector<std::array<int, 3>> faces;

  int Add(Vec3 p, Vec3 a = {}) {
    pos.push_back(p);
    attr.push_back(a);
    return static_cast<int>(pos.size()) - 1;
  }
};

// Replaces the attributes of vertices [first, end) by the area-weighted
// average of the normals of the faces from face `first_face` on.
void SmoothNormals(Mesh &m, size_t first, size_t first_face) {
  std::vector<Vec3> acc(m.pos.size() - first);
  for (size_t f = first_face; f < m.faces.size(); ++f) {
    const auto &t = m.faces[f];
    Vec3 n = Cross(m.pos[t[1]] - m.pos[t[0]], m.pos[t[2]] - m.pos[t[0]]);
    for (int c : t) {
      acc[static_cast<size_t>(c) - first] = acc[static_cast<size_t>(c) - first] + n;
    }
  }
  for (size_t i = 0; i < acc.size(); ++i) {
    m.attr[first + i] = Normalised(acc[i]);
  }
}

// A surface of revolution: profile points (radius, height) revolved about an
// axis through `origin` along `axis`, with `side` and `up` spanning the
// radial plane. The profile runs so that the outside is on its right when
// walking it with the axis pointing up (as a lathe turns a vase: from the
// top centre outwards and down). A radius of 0 at either end closes the
// surface with a single pole vertex.
void Revolve(Mesh &m, const std::vector<std::array<double, 2>> &profile, int segments, Vec3 origin, Vec3 side,
             Vec3 front, Vec3 axis) {
  size_t first = m.pos.size(), first_face = m.faces.size();
  std::vector<std::vector<int>> rings;
  for (const auto &p : profile) {
    std::vector<int> ring;
    if (p[0] == 0.0) {
      ring.assign(static_cast<size_t>(segments), m.Add(origin + axis * p[1]));
    } else {
      for (int j = 0; j < segments; ++j) {
        double a = 2 * kPi * j / segments;
        Vec3 radial = side * std::cos(a) + front * std::sin(a);
        ring.push_back(m.Add(origin + radial * p[0] + axis * p[1]));
      }
    }
    rings.push_back(ring);
  }
  for (size_t i = 0; i + 1 < rings.size(); ++i) {
    for (int j = 0; j < segments; ++j) {
      int j1 = (j + 1) % segments;
      int a = rings[i][j], b = rings[i + 1][j], c = rings[i + 1][j1], d = rings[i][j1];
      if (a != b && b != c) {
        m.faces.push_back({a, b, c});
      }
      if (a != c && c != d && a != d) {
        m.faces.push_back({a, c, d});
      }
    }
  }
  SmoothNormals(m, first, first_face);
}

// One flat quad with its own four vertices and texture coordinates, wound
// so that its front faces `outward`.
void TexturedQuad(Mesh &m, Vec3 a, Vec3 b, Vec3 c, Vec3 d, Vec3 ta, Vec3 tb, Vec3 tc, Vec3 td, Vec3 outward) {
  if (Dot(Cross(b - a, c - a), outward) < 0) {
    std::swap(b, d);
    std::swap(tb, td);
  }
  int ia = m.Add(a, ta), ib = m.Add(b, tb), ic = m.Add(c, tc), id = m.Add(d, td);
  m.faces.push_back({ia, ib, ic});
  m.faces.push_back({ia, ic, id});
}

Bytes PackFloats(const std::vector<Vec3> &v) {
  Bytes out;
  out.reserve(v.size() * 12);
  for (const Vec3 &p : v) {
    for (double c : {p.x, p.y, p.z}) {
      float f = static_cast<float>(c);
      uint32_t u;
      std::memcpy(&u, &f, 4);
      for (int k = 0; k < 4; ++k) {
        out.push_back(static_cast<uint8_t>(u >> (8 * k)));
      }
    }
  }
  return out;
}

Bytes PackFaces(const Mesh &m) {
  Bytes out;
  out.reserve(m.faces.size() * 12);
  for (const auto &t : m.faces) {
    for (int c : t) {
      if (c < 0 || static_cast<size_t>(c) >= m.pos.size()) {
        throw std::logic_error("mesh face index outside its vertices");
      }
      uint32_t u = static_cast<uint32_t>(c);
      for (int k = 0; k < 4; ++k) {
        out.push_back(static_cast<uint8_t>(u >> (8 * k)));
      }
    }
  }
  return out;
}

void AddMesh(ContentSet &s, const std::string &base, const Mesh &m, const std::string &third) {
  s.Add(base + ".face", PackFaces(m));
  s.Add(base + ".vertex", PackFloats(m.pos));
  s.Add(base + "." + third, PackFloats(m.attr));
}

// ---- the coin ---------------------------------------------------------------

Mesh Coin() {
  const int segments = 144, face_rings = 44;
  const double face_r = 330, half = 30;
  // Emboss: the emblem on the front, rays and a ring on the back.
  Mask emblem = BlurMask(EmblemMask(256), 2);
  auto front_relief = [&](double x, double y) {
    double s = 300.0;
    return 9.0 * emblem.Sample((x / s + 1) * 128 - 0.5, (1 - y / s) * 128 - 0.5);
  };
  auto back_relief = [](double x, double y) {
    double r = std::sqrt(x * x + y * y), a = std::atan2(y, x);
    double star = std::pow(std::fabs(std::cos(4 * a)), 8.0) * SmoothStep(250, 60, r) * SmoothStep(20, 60, r);
    double ring = std::exp(-std::pow((r - 280) / 10, 2));
    return 8.0 * std::max(star, ring);
  };
  Mesh m;
  std::vector<std::vector<int>> rows;
  auto ring_of = [&](double r, auto zfun) {
    std::vector<int> ring;
    for (int j = 0; j < segments; ++j) {
      double a = 2 * kPi * j / segments, x = r * std::cos(a), y = r * std::sin(a);
      ring.push_back(m.Add({x, y, zfun(x, y)}));
    }
    rows.push_back(ring);
  };
  // Profile from the front centre out over the rim and back to the back
  // centre: outward is on the right, so faces (i, j), (i+1, j), (i+1, j+1)
  // wind counter-clockwise seen from outside.
  rows.push_back(std::vector<int>(segments, m.Add({0, 0, half + front_relief(0, 0)})));
  for (int i = 1; i <= face_rings; ++i) {
    ring_of(face_r * i / face_rings, [&](double x, double y) { return half + front_relief(x, y); });
  }
  for (auto [r, z] : std::vector<std::array<double, 2>>{{348, 44}, {386, 44}, {400, 30}, {400, -30}, {386, -44}, {348, -44}}) {
    ring_of(r, [z = z](double, double) { return z; });
  }
  for (int i = face_rings; i >= 1; --i) {
    ring_of(face_r * i / face_rings, [&](double x, double y) { return -half - back_relief(x, y); });
  }
  rows.push_back(std::vector<int>(segments, m.Add({0, 0, -half - back_relief(0, 0)})));
  for (size_t i = 0; i + 1 < rows.size(); ++i) {
    for (int j = 0; j < segments; ++j) {
      int j1 = (j + 1) % segments;
      int a = rows[i][j], b = rows[i + 1][j], c = rows[i + 1][j1], d = rows[i][j1];
      if (a != b && b != c) {
        m.faces.push_back({a, b, c});
      }
      if (a != d && c != d) {
        m.faces.push_back({a, c, d});
      }
    }
  }
  SmoothNormals(m, 0, 0);
  return m;
}

// ---- the torus knot -----------------------------------------------------------

Mesh TorusKnot() {
  const int along = 360, around = 24, p = 2, q = 3;
  const double big = 55, small = 24, tube = 15;
  auto curve = [&](double t) {
    double r = big + small * std::cos(q * t);
    return Vec3{r * std::cos(p * t), r * std::sin(p * t), small * std::sin(q * t)};
  };
  // Parallel-transported frame, its closing twist spread along the knot.
  std::vector<Vec3> c(along), tan(along), nrm(along);
  for (int i = 0; i < along; ++i) {
    c[i] = curve(2 * kPi * i / along);
  }
  for (int i = 0; i < along; ++i) {
    tan[i] = Normalised(c[(i + 1) % along] - c[(i + along - 1) % along]);
  }
  nrm[0] = Normalised(Cross(tan[0], Vec3{0, 0, 1}));
  for (int i = 1; i < along; ++i) {
    Vec3 n = nrm[i - 1] - tan[i] * Dot(nrm[i - 1], tan[i]);
    nrm[i] = Normalised(n);
  }
  Vec3 last = Normalised(nrm[along - 1] - tan[0] * Dot(nrm[along - 1], tan[0]));
  double twist = std::atan2(Dot(Cross(last, nrm[0]), tan[0]), Dot(last, nrm[0]));
  Mesh m;
  for (int i = 0; i < along; ++i) {
    double extra = twist * i / along;
    Vec3 b0 = Cross(tan[i], nrm[i]);
    Vec3 n = nrm[i] * std::cos(extra) + b0 * std::sin(extra);
    Vec3 b = Cross(tan[i], n);
    for (int j = 0; j < around; ++j) {
      double a = 2 * kPi * j / around;
      Vec3 out = n * std::cos(a) + b * std::sin(a);
      m.Add(c[i] + out * tube, out);
    }
  }
  for (int i = 0; i < along; ++i) {
    int i1 = (i + 1) % along;
    for (int j = 0; j < around; ++j) {
      int j1 = (j + 1) % around;
      int a = i * around + j, b = i1 * around + j, cc = i1 * around + j1, d = i * around + j1;
      // Around the tube then along it keeps the outside on the left.
      m.faces.push_back({a, d, cc});
      m.faces.push_back({a, cc, b});
    }
  }
  return m;
}

// ---- the monitor ------------------------------------------------------------------

// Screen picture on z 215..545, x -225..225; bezel and body around it take
// a corner of the picture's border, which is the colour of the case.
Mesh MonitorScreen() {
  const Vec3 casing{0.004, 0.996, 0};
  const double yf = -16, yb = 14, yk = 34;
  auto uv = [](double x, double z) { return Vec3{(x + 225) / 450.0, (z - 215) / 330.0, 0}; };
  Mesh m;
  // Picture (seen from -y: x grows to the right, z up).
  TexturedQuad(m, {-225, yf, 215}, {225, yf, 215}, {225, yf, 545}, {-225, yf, 545}, uv(-225, 215), uv(225, 215),
               uv(225, 545), uv(-225, 545), {0, -1, 0});
  auto quad = [&](Vec3 a, Vec3 b, Vec3 c, Vec3 d, Vec3 out) {
    TexturedQuad(m, a, b, c, d, casing, casing, casing, casing, out);
  };
  // Bezel: four strips around the picture.
  auto front = [&](double x0, double z0, double x1, double z1) {
    quad({x0, yf, z0}, {x1, yf, z0}, {x1, yf, z1}, {x0, yf, z1}, {0, -1, 0});
  };
  front(-245, 195, 245, 215);
  front(-245, 545, 245, 565);
  front(-245, 215, -225, 545);
  front(225, 215, 245, 545);
  // Rim of the case.
  quad({-245, yb, 565}, {245, yb, 565}, {245, yf, 565}, {-245, yf, 565}, {0, 0, 1});
  quad({-245, yf, 195}, {245, yf, 195}, {245, yb, 195}, {-245, yb, 195}, {0, 0, -1});
  quad({245, yf, 195}, {245, yf, 565}, {245, yb, 565}, {245, yb, 195}, {1, 0, 0});
  quad({-245, yb, 195}, {-245, yb, 565}, {-245, yf, 565}, {-245, yf, 195}, {-1, 0, 0});
  // Back: a frame sloping up to a bulge.
  quad({245, yb, 195}, {245, yb, 565}, {180, yk, 510}, {180, yk, 250}, {1, 1, 0});
  quad({-245, yb, 565}, {-245, yb, 195}, {-180, yk, 250}, {-180, yk, 510}, {-1, 1, 0});
  quad({245, yb, 565}, {-245, yb, 565}, {-180, yk, 510}, {180, yk, 510}, {0, 1, 1});
  quad({-245, yb, 195}, {245, yb, 195}, {180, yk, 250}, {-180, yk, 250}, {0, 1, -1});
  quad({180, yk, 250}, {180, yk, 510}, {-180, yk, 510}, {-180, yk, 250}, {0, 1, 0});
  return m;
}

constexpr double kNeckY = 52;

Mesh MonitorBase() {
  Mesh m;
  Revolve(m, {{0, 36}, {40, 36}, {150, 22}, {165, 12}, {168, 4}, {160, 0}, {0, 0}}, 96, {0, kNeckY, 0}, {1, 0, 0},
          {0, 1, 0}, {0, 0, 1});
  return m;
}

Mesh MonitorNeck() {
  Mesh m;
  // From the bottom up: the foot, the pole, and the hinge ball (radius 28
  // about z 360) from where it is as wide as the pole.
  std::vector<std::array<double, 2>> neck = {{0, 30}, {24, 30}, {20, 42}};
  const double start = -std::asin(20.0 / 28.0);
  for (int k = 0; k <= 12; ++k) {
    double a = start + (kPi / 2 - start) * k / 12.0;
    neck.push_back({k == 12 ? 0.0 : 28 * std::cos(a), 360 + 28 * std::sin(a)});
  }
  // The lathe walks from the top down.
  std::vector<std::array<double, 2>> down(neck.rbegin(), neck.rend());
  Revolve(m, down, 48, {0, kNeckY, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
  // The arm from the hinge into the back of the case, along y.
  Revolve(m, {{0, 24}, {16, 24}, {16, 0}, {0, 0}}, 32, {0, 30, 360}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0});
  return m;
}

}  // namespace

ContentSet MeshFiles() {
  ContentSet s;
  AddMesh(s, "0000_coin", Coin(), "vertexnormal");
  AddMesh(s, "0000_Deckf", TorusKnot(), "vertexnormal");
  AddMesh(s, "0002_tft", MonitorScreen(), "uvw");
  AddMesh(s, "0001_alap", MonitorBase(), "vertexnormal");
  AddMesh(s, "0000_csap", MonitorNeck(), "vertexnormal");
  return s;
}

}  // namespace content
