// Shared art pieces; see art.h.
#include "tools/content/art.h"

#include <algorithm>
#include <cmath>

#include "tools/content/procedural.h"

namespace content {

namespace {

Color RampAt(const Color *stops, int n, double t) {
  t = Clamp01(t) * (n - 1);
  int i = std::min(static_cast<int>(t), n - 2);
  return Lerp(stops[i], stops[i + 1], t - i);
}

// Darkening factor of the nebula in the swarm's background effect.
constexpr double kSwarmDim = 150.0 / 255.0;

// Anti-aliased coverage of an implicit shape by 4 x 4 supersampling.
template <class F>
float Coverage(double x, double y, double step, F inside) {
  int hits = 0;
  for (int sy = 0; sy < 4; ++sy) {
    for (int sx = 0; sx < 4; ++sx) {
      if (inside(x + (sx + 0.5) * step / 4.0, y + (sy + 0.5) * step / 4.0)) {
        ++hits;
      }
    }
  }
  return hits / 16.0f;
}

// The flame: a round bulb with a swaying, tapering tongue; u right, v up,
// both in -1..1.
bool InFlame(double u, double v) {
  double bu = u, bv = v + 0.22;
  if (bu * bu + bv * bv < 0.40 * 0.40) {
    return true;
  }
  if (v < -0.22 || v > 0.74) {
    return false;
  }
  double along = (v + 0.22) / 0.96;
  double half = 0.40 * std::pow(1.0 - along, 1.3);
  double centre = 0.13 * std::sin(along * 3.3) * along;
  return std::fabs(u - centre) < half;
}

}  // namespace

bool InFlameShape(double u, double v) { return InFlame(u, v); }

Color EmberRamp(double t) {
  static const Color stops[] = {Rgb(0, 0, 0), Rgb(0.35, 0.02, 0.02), Rgb(0.85, 0.22, 0.03), Rgb(1.0, 0.62, 0.12),
                                Rgb(1.0, 0.92, 0.55), Rgb(1.0, 1.0, 0.95)};
  return RampAt(stops, 6, t);
}

Color DuskRamp(double t) {
  static const Color stops[] = {Rgb(0.02, 0.03, 0.10), Rgb(0.20, 0.07, 0.32), Rgb(0.70, 0.18, 0.38),
                                Rgb(1.0, 0.55, 0.25), Rgb(1.0, 0.85, 0.50)};
  return RampAt(stops, 5, t);
}

Color QuadrantTint(double u, double v) {
  Color tl = Rgb(1.0, 0.82, 0.50), tr = Rgb(1.0, 0.55, 0.80), bl = Rgb(0.55, 0.55, 1.0), br = Rgb(0.50, 0.95, 0.85);
  // A steep blend, so each quadrant keeps its own hue.
  double su = SmoothStep(0.3, 0.7, u), sv = SmoothStep(0.3, 0.7, v);
  return Lerp(Lerp(tl, tr, su), Lerp(bl, br, su), sv);
}

Color Multiply(const Color &a, const Color &b) { return Rgb(a.r * b.r, a.g * b.g, a.b * b.b, a.a); }

Image NebulaPicture(int w, int h, uint32_t seed) {
  Image img(w, h);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / w, v = (y + 0.5) / h;
    double q = Fbm(u * 3.0, v * 3.0, 5, seed);
    double r = Fbm(u * 3.0 + 5.2, v * 3.0 + 1.3, 5, seed + 7);
    double d = Fbm(u * 2.5 + 1.8 * q, v * 2.5 + 1.8 * r, 6, seed + 13);
    double cloud = SmoothStep(0.38, 0.82, d);
    double thin = SmoothStep(0.25, 0.6, d) - cloud * 0.5;
    Color base = Add(Rgb(0.025, 0.012, 0.05), Scale(DuskRamp(0.15 + 0.25 * (1.0 - v)), 0.18));
    Color glow = Add(Scale(DuskRamp(0.3 + 0.3 * q), thin * 0.45), Scale(EmberRamp(0.25 + 0.7 * cloud), cloud * 1.1));
    Color c = Add(base, glow);
    Color tint = Lerp(Rgb(1, 1, 1), QuadrantTint(u, v), 0.55);
    return Multiply(c, tint);
  });
  // Scattered embers and stars.
  Rng rng(seed * 31u + 5u);
  int stars = w * h / 900;
  for (int i = 0; i < stars; ++i) {
    double x = rng.Range(0, w), y = rng.Range(0, h);
    double size = 0.6 + 1.6 * std::pow(rng.Unit(), 3.0);
    Color c = rng.Unit() < 0.6 ? Rgb(1.0, 0.85, 0.6) : Rgb(0.7, 0.8, 1.0);
    img.SoftDisc(x, y, size * 0.3, size * 1.4, Scale(c, 0.5 + 0.5 * rng.Unit()), true);
  }
  return img;
}

Image VignetteImage(int size) {
  Image img(size, size);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / size * 2.0 - 1.0, v = (y + 0.5) / size * 2.0 - 1.0;
    double d = std::sqrt(u * u * 0.8 + v * v * 0.8);
    double a = std::pow(SmoothStep(0.45, 1.25, d), 1.3) * 0.9;
    return Rgb(0, 0, 0, a);
  });
  return img;
}

Mask EmblemMask(int size, Mask *inner) {
  Mask m(size, size);
  if (inner != nullptr) {
    *inner = Mask(size, size);
  }
  double step = 2.0 / size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double u0 = x * step - 1.0, v0 = 1.0 - (y + 1) * step;
      float ring = Coverage(u0, v0, step, [](double u, double v) {
        double r = std::sqrt(u * u + v * v);
        return std::fabs(r - 0.87) < 0.095;
      });
      float flame = Coverage(u0, v0, step, [](double u, double v) { return InFlame(u / 0.78, v / 0.78); });
      float core = Coverage(u0, v0, step, [](double u, double v) { return InFlame(u / 0.40, (v + 0.34) / 0.40); });
      m.at(x, y) = std::max(ring, flame);
      if (inner != nullptr) {
        inner->at(x, y) = core;
      }
    }
  }
  return m;
}

Image SmallLogo(const FontBook &fonts) {
  Image img(512, 256, Rgb(0, 0, 0, 0));
  // Emblem on the left of the ink box.
  const int es = 136;
  Mask core;
  Mask emblem = EmblemMask(es, &core);
  const int ex = 116, ey = 124 - es / 2;
  for (int y = 0; y < es; ++y) {
    for (int x = 0; x < es; ++x) {
      double k = emblem.at(x, y);
      if (k <= 0) {
        continue;
      }
      double g = y / static_cast<double>(es);
      Color c = Lerp(Rgb(1.0, 0.86, 0.35), Rgb(0.95, 0.30, 0.05), g);
      c = Lerp(c, Rgb(1.0, 0.98, 0.80), core.at(x, y));
      img.BlendOver(ex + x, ey + y, c, k);
    }
  }
  // The title in two lines to its right.
  const char *lines[] = {"EMBER", "FIELD"};
  const double centres[] = {96, 156};
  for (int i = 0; i < 2; ++i) {
    Mask t = fonts.Fit(Face::kSansBold, lines[i], 136, 52, 64);
    Mask outline = BlurMask(t, 1);
    int x0 = 322 - t.width / 2, y0 = static_cast<int>(centres[i]) - t.height / 2;
    for (int y = 0; y < outline.height; ++y) {
      for (int x = 0; x < outline.width; ++x) {
        img.BlendOver(x0 + x, y0 + y, Rgb(0.25, 0.04, 0.02), std::min(1.0, outline.at(x, y) * 2.5));
      }
    }
    for (int y = 0; y < t.height; ++y) {
      for (int x = 0; x < t.width; ++x) {
        double g = y / static_cast<double>(t.height);
        img.BlendOver(x0 + x, y0 + y, Lerp(Rgb(1.0, 0.97, 0.86), Rgb(1.0, 0.62, 0.25), g), t.at(x, y));
      }
    }
  }
  return img;
}

Image SwarmBackground() {
  Image neb = NebulaPicture(512, 512, 11).Resized(kScreenW, kScreenH);
  Image vig = VignetteImage(256).Resized(kScreenW, kScreenH);
  Image out(kScreenW, kScreenH);
  out.Shade([&](int x, int y) {
    Color c = Scale(neb.at(x, y), kSwarmDim);
    double a = vig.at(x, y).a;
    return Rgb(c.r * (1 - a), c.g * (1 - a), c.b * (1 - a));
  });
  return out;
}

Image BigLogoScreen(const FontBook &fonts) {
  Image out = SwarmBackground();
  Image logo = SmallLogo(fonts);
  // Logo pixel (i, j), j counted from the bottom, covers the screen square
  // from (-268 + 2.62 i, -42 + 2.62 j) upwards (y up from the bottom).
  const double s = 2.62;
  for (int y = 0; y < kScreenH; ++y) {
    for (int x = 0; x < kScreenW; ++x) {
      double sx = x + 0.5, sy_up = kScreenH - (y + 0.5);
      double i = (sx + 268.0) / s, j = (sy_up + 42.0) / s;
      int ii = static_cast<int>(std::floor(i)), jj = static_cast<int>(std::floor(j));
      if (ii < 0 || jj < 0 || ii > 511 || jj > 255) {
        continue;
      }
      const Color &c = logo.at(ii, 255 - jj);
      out.BlendOver(x, y, Rgb(c.r, c.g, c.b), c.a);
    }
  }
  return out;
}

MonsterArt MonsterPicture() {
  const int w = kScreenW, h = kScreenH;
  MonsterArt art{Image(w, h), Mask(w, h)};
  Mask body(w, h), glow(w, h);
  // Silhouette: head, shoulders and two horns, anti-aliased.
  auto in_body = [](double x, double y) {
    auto ell = [](double x, double y, double cx, double cy, double rx, double ry) {
      double dx = (x - cx) / rx, dy = (y - cy) / ry;
      return dx * dx + dy * dy < 1.0;
    };
    if (ell(x, y, 400, 300, 185, 165) || ell(x, y, 400, 520, 260, 120) || ell(x, y, 400, 430, 150, 110)) {
      return true;
    }
    // Horns: discs along a curve, thinning to a point.
    for (int side = -1; side <= 1; side += 2) {
      for (int k = 0; k <= 40; ++k) {
        double t = k / 40.0;
        double hx = 400 + side * (120 + 95 * t + 40 * t * t), hy = 190 - 150 * t + 60 * t * t * t;
        double r = 34 * (1.0 - t) + 2;
        double dx = x - hx, dy = y - hy;
        if (dx * dx + dy * dy < r * r) {
          return true;
        }
      }
    }
    return false;
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      body.at(x, y) = Coverage(x, y, 1.0, in_body);
    }
  }
  // Eyes, mouth and glowing cracks.
  Mask eyes(w, h), pupils(w, h), mouth(w, h), teeth(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      eyes.at(x, y) = Coverage(x, y, 1.0, [](double x, double y) {
        for (int side = -1; side <= 1; side += 2) {
          double dx = (x - (400 + side * 78)) / 50.0, dy = (y - 268 + std::fabs(x - 400) * 0.12 - 9) / 26.0;
          if (dx * dx + dy * dy < 1.0) {
            return true;
          }
        }
        return false;
      });
      pupils.at(x, y) = Coverage(x, y, 1.0, [](double x, double y) {
        for (int side = -1; side <= 1; side += 2) {
          double dx = (x - (400 + side * 78)) / 7.0, dy = (y - 268) / 24.0;
          if (dx * dx + dy * dy < 1.0) {
            return true;
          }
        }
        return false;
      });
      mouth.at(x, y) = Coverage(x, y, 1.0, [](double x, double y) {
        double t = (x - 400) / 125.0;
        if (std::fabs(t) > 1.0) {
          return false;
        }
        double top = 372 - 30 * (1 - t * t), bottom = 382 + 42 * (1 - t * t) - 18 * (1 - t * t) * (1 - t * t);
        return y > top && y < bottom;
      });
      teeth.at(x, y) = Coverage(x, y, 1.0, [](double x, double y) {
        double t = (x - 400) / 125.0;
        if (std::fabs(t) > 0.95) {
          return false;
        }
        double top = 372 - 30 * (1 - t * t), bottom = 382 + 42 * (1 - t * t) - 18 * (1 - t * t) * (1 - t * t);
        double phase = std::fmod(x - 275.0, 25.0) / 25.0;
        double tri = 1.0 - std::fabs(phase * 2.0 - 1.0);
        return (y > top && y < top + 22 * tri) || (y < bottom && y > bottom - 16 * tri);
      });
    }
  }
  const uint32_t seed = 77;
  // Rounded look: the skin darkens towards the silhouette's edge.
  Mask depth = BlurMask(body, 22);
  art.colour.Shade([&](int x, int y) {
    double u = (x + 0.5) / w, v = (y + 0.5) / h;
    // Background: a smouldering dark red wall.
    double n = Fbm(u * 4, v * 3, 5, seed);
    Color bg = Multiply(Add(Rgb(0.06, 0.015, 0.02), Scale(EmberRamp(0.15 + 0.25 * n), 0.5)),
                        Lerp(Rgb(1, 1, 1), QuadrantTint(u, v), 0.6));
    // Skin: dark violet with lava cracks.
    double s = Fbm(u * 9, v * 9, 5, seed + 3);
    double ridge = 1.0 - std::fabs(2.0 * Fbm(u * 5 + 2, v * 5, 4, seed + 9) - 1.0);
    double crack = SmoothStep(0.955, 0.99, ridge) * SmoothStep(0.25, 0.6, s);
    double shade = (0.55 + 0.45 * SmoothStep(0.0, 1.0, 1.0 - std::hypot(u - 0.45, v - 0.35) * 1.6)) *
                   (0.35 + 0.65 * SmoothStep(0.3, 0.9, depth.at(x, y)));
    Color skin = Add(Scale(Rgb(0.28 + 0.2 * s, 0.08 + 0.05 * s, 0.30 + 0.15 * s), shade),
                     Scale(EmberRamp(0.45 + 0.3 * crack), crack * 1.3));
    Color c = Lerp(bg, skin, body.at(x, y));
    c = Lerp(c, Rgb(1.0, 0.45, 0.05), mouth.at(x, y) * 0.9);
    c = Lerp(c, Rgb(0.95, 0.92, 0.82), teeth.at(x, y));
    double eg = eyes.at(x, y);
    c = Lerp(c, Lerp(Rgb(1.0, 0.95, 0.4), Rgb(1.0, 0.55, 0.05), std::fabs(v - 0.447) * 20), eg);
    c = Lerp(c, Rgb(0.05, 0.0, 0.0), pupils.at(x, y));
    glow.at(x, y) = static_cast<float>(std::max({crack * body.at(x, y), eg * (1.0 - pupils.at(x, y)),
                                                 mouth.at(x, y) * (1.0 - teeth.at(x, y)) * 0.8}));
    return c;
  });
  // Soft halo of the glowing parts over the picture.
  Mask halo = BlurMask(glow, 10);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      art.colour.AddLight(x, y, Rgb(1.0, 0.5, 0.12), halo.at(x, y) * 0.45);
      art.light.at(x, y) = static_cast<float>(std::min(1.0, body.at(x, y) * (0.30 + 0.7 * glow.at(x, y))));
    }
  }
  return art;
}

}  // namespace content
