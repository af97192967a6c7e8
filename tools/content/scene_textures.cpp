// The 36 textures the demo loads at start-up, in the order of its table:
// the environment map, the backgrounds, the flare and flower sprites, the
// five nested text pages, the seven ring bands of the tunnel, the credits
// pictures and strips, the monitor's screen picture and the full-screen
// logos. All are uncompressed TGA without an identifier, stored bottom-up,
// in power-of-two sizes; screen pictures are drawn in the 800 x 600 space
// and scaled to their texture size.
//
// Ring bands repeat around the tunnel, so every feature of "line1.tga" to
// "line7.tga" is periodic across the texture's width.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "tools/content/art.h"
#include "tools/content/generators.h"
#include "tools/content/procedural.h"
#include "tools/content/tga_writer.h"

namespace content {

namespace {

Bytes Tga(const Image &img, bool alpha = false) { return TgaTrueColour(img, alpha, RowOrder::kBottomUp); }

ContentSet One(const std::string &name, Bytes bytes) {
  ContentSet s;
  s.Add(name, std::move(bytes));
  return s;
}

// ---- environment map ----------------------------------------------------

// A sphere map: the picture a mirror ball shows. Because textures keep their
// first row at t = 0 and sphere mapping puts "up" at t = 1, the sky lies in
// the lower half of the picture.
Image EnvironmentMap(int size) {
  Image img(size, size);
  const double sun[3] = {0.45, 0.40, 0.80};
  double sl = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
  img.Shade([&](int x, int y) {
    double a = (x + 0.5) / size * 2.0 - 1.0, b = (y + 0.5) / size * 2.0 - 1.0;
    double rr = a * a + b * b;
    if (rr > 0.999) {
      double k = 1.0 / std::sqrt(rr / 0.999);
      a *= k;
      b *= k;
      rr = 0.999;
    }
    double nz = std::sqrt(1.0 - rr);
    double rx = 2 * nz * a, ry = 2 * nz * b, rz = 2 * nz * nz - 1.0;
    Color c;
    if (ry >= 0) {
      c = Lerp(Rgb(1.0, 0.55, 0.22), Rgb(0.12, 0.05, 0.30), std::pow(ry, 0.55));
      double cl = Fbm(rx * 3 + 7, rz * 3 + 2, 4, 5);
      c = Add(c, Scale(Rgb(1.0, 0.7, 0.6), SmoothStep(0.55, 0.8, cl) * 0.35 * (1 - ry)));
      double sd = (rx * sun[0] + ry * sun[1] + rz * sun[2]) / sl;
      c = Add(c, Scale(Rgb(1.0, 0.95, 0.8), std::pow(std::max(0.0, sd), 60.0) * 1.6 + std::pow(std::max(0.0, sd), 6.0) * 0.3));
    } else {
      double dist = 1.0 / std::max(0.05, -ry);
      double gx = rx * dist, gz = rz * dist;
      double lx = std::fabs(gx - std::round(gx)), lz = std::fabs(gz - std::round(gz));
      double line = std::max(SmoothStep(0.08, 0.0, lx), SmoothStep(0.08, 0.0, lz)) / (1.0 + 0.15 * dist);
      c = Add(Rgb(0.07, 0.025, 0.04), Scale(Rgb(1.0, 0.45, 0.1), line * 0.9));
      c = Add(c, Scale(Rgb(0.6, 0.25, 0.2), std::pow(1.0 + ry, 8.0)));
    }
    double horizon = std::exp(-ry * ry * 300.0);
    return Add(c, Scale(Rgb(1.0, 0.75, 0.45), horizon * 0.8));
  });
  return img;
}

// ---- flare and flowers ----------------------------------------------------

Image FlareImage(int size) {
  Image img(size, size);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / size * 2.0 - 1.0, v = (y + 0.5) / size * 2.0 - 1.0;
    double r = std::sqrt(u * u + v * v), ang = std::atan2(v, u);
    double fade = 1.0 - SmoothStep(0.7, 1.0, r);
    double core = std::exp(-(r * r) / 0.012), halo = std::exp(-(r * r) / 0.12);
    double rays = std::exp(-std::fabs(std::sin(2 * ang)) * 9.0) * std::exp(-r * 3.5);
    Color c = Add(Scale(Rgb(1.0, 0.97, 0.9), core), Scale(Rgb(1.0, 0.55, 0.2), halo * 0.55));
    c = Add(c, Scale(Rgb(1.0, 0.8, 0.5), rays * 0.5));
    return Scale(c, fade);
  });
  return img;
}

Image FlowerImage(int size, int index) {
  static const Color petals[10] = {Rgb(1.0, 0.40, 0.70), Rgb(1.0, 0.55, 0.15), Rgb(1.0, 0.85, 0.30), Rgb(0.70, 0.40, 1.0),
                                   Rgb(1.0, 0.25, 0.20), Rgb(0.65, 0.82, 1.0), Rgb(1.0, 0.30, 0.90), Rgb(1.0, 0.70, 0.50),
                                   Rgb(0.30, 1.0, 0.80), Rgb(0.85, 0.60, 1.0)};
  const int n = 5 + index % 4;
  const double twist = index * 0.37;
  Image img(size, size);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / size * 2.0 - 1.0, v = (y + 0.5) / size * 2.0 - 1.0;
    double r = std::sqrt(u * u + v * v), ang = std::atan2(v, u) + twist;
    double petal_r = 0.86 * (0.30 + 0.70 * std::pow(std::fabs(std::cos(n * ang / 2.0)), 0.7));
    double inside = 1.0 - SmoothStep(petal_r - 0.06, petal_r, r);
    double vein = 0.75 + 0.25 * std::cos(n * ang);
    Color c = Scale(petals[index], inside * (0.35 + 0.65 * r / std::max(petal_r, 0.01)) * vein);
    double centre = 1.0 - SmoothStep(0.12, 0.20, r);
    c = Lerp(c, Rgb(1.0, 0.9, 0.45), centre);
    c = Add(c, Scale(Rgb(1.0, 0.95, 0.8), std::exp(-r * r / 0.004) * 0.8));
    return Scale(c, 1.0 - SmoothStep(0.9, 1.0, r));
  });
  return img;
}

// ---- text pages -----------------------------------------------------------

// Where the next, smaller page appears inside a page: its centre is at
// 2/9 of the width from the left and 2/9 of the height from the bottom, and
// it is one eighth of the page in size.
constexpr double kInsetCentreU = 2.0 / 9.0;
constexpr double kInsetCentreVFromTop = 7.0 / 9.0;
constexpr double kInsetSize = 1.0 / 8.0;

Image TextPage(const FontBook &fonts, int page) {
  static const char *lines[5][3] = {{"FROM A", "SINGLE", "SPARK"},
                                    {"GROWS A", "FIELD OF", "EMBERS"},
                                    {"GLOWING", "IN THE", "DARK"},
                                    {"DRIFTING", "ON THE", "WIND"},
                                    {"UNTIL", "ALL IS", "LIGHT"}};
  const int s = 512;
  Image img(s, s);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / s, v = (y + 0.5) / s;
    double n = Fbm(u * 6, v * 6, 4, 40 + page);
    Color c = Lerp(Rgb(0.16, 0.05, 0.04), Rgb(0.05, 0.02, 0.09), v);
    c = Add(c, Scale(Rgb(0.12, 0.05, 0.03), n));
    return Multiply(c, Lerp(Rgb(1, 1, 1), QuadrantTint(u, v), 0.5));
  });
  // Frame.
  Color gold = Rgb(1.0, 0.72, 0.30);
  for (double inset : {14.0, 22.0}) {
    double a = inset, b = s - inset;
    img.SoftLine(a, a, b, a, 1.2, 1.0, gold, false);
    img.SoftLine(b, a, b, b, 1.2, 1.0, gold, false);
    img.SoftLine(b, b, a, b, 1.2, 1.0, gold, false);
    img.SoftLine(a, b, a, a, 1.2, 1.0, gold, false);
  }
  // Three lines of text in the upper part.
  for (int i = 0; i < 3; ++i) {
    Mask m = fonts.Fit(Face::kSansBold, lines[page][i], 420, 84, 100);
    DrawTextMask(img, m, 268, 78 + 92 * i, Rgb(1.0, 0.93, 0.78), 4, Rgb(1.0, 0.45, 0.1), 1.5);
  }
  // The window of the next page, framed; the last page holds a spark.
  double cx = kInsetCentreU * s, cy = kInsetCentreVFromTop * s, half = kInsetSize * s / 2.0;
  for (int y = static_cast<int>(cy - half); y < cy + half; ++y) {
    for (int x = static_cast<int>(cx - half); x < cx + half; ++x) {
      img.BlendOver(x, y, Rgb(0.02, 0.01, 0.02), 1.0);
    }
  }
  double a = cx - half - 3, b = cx + half + 3, c = cy - half - 3, d = cy + half + 3;
  img.SoftLine(a, c, b, c, 1.5, 2.0, gold, true);
  img.SoftLine(b, c, b, d, 1.5, 2.0, gold, true);
  img.SoftLine(b, d, a, d, 1.5, 2.0, gold, true);
  img.SoftLine(a, d, a, c, 1.5, 2.0, gold, true);
  if (page == 4) {
    img.SoftDisc(cx, cy, 3, half * 0.9, Rgb(1.0, 0.6, 0.2), true);
    img.SoftDisc(cx, cy, 1, 8, Rgb(1.0, 1.0, 0.9), true);
  }
  // Page number in the lower right.
  Mask num = fonts.Render(Face::kSerif, std::to_string(page + 1) + " / 5", 26);
  DrawTextMask(img, num, 420, 452, Rgb(1.0, 0.8, 0.55));
  return img;
}

// ---- ring bands -------------------------------------------------------------

Image RingBand(const FontBook &fonts, int band) {
  const int w = 1024, h = 128;
  Image img(w, h);
  img.Shade([&](int x, int y) {
    double v = (y + 0.5) / h;
    double edge = SmoothStep(0.0, 0.12, v) * SmoothStep(1.0, 0.88, v);
    double n = FbmWrapX(x / 128.0, y / 64.0, 3, 8, 90 + band);
    return Scale(Rgb(0.05 + 0.05 * n, 0.02, 0.06 + 0.04 * n), edge);
  });
  // Draws a periodic feature at x and at x +- width, so it wraps seamlessly.
  auto wrapped = [&](auto draw) {
    for (int shift : {-w, 0, w}) {
      draw(static_cast<double>(shift));
    }
  };
  switch (band) {
    case 0:  // twin rails with beads
      wrapped([&](double o) {
        img.SoftLine(o, 30, o + w, 30, 2, 3, Rgb(1.0, 0.75, 0.3), true);
        img.SoftLine(o, 98, o + w, 98, 2, 3, Rgb(1.0, 0.75, 0.3), true);
        for (int i = 0; i < 16; ++i) {
          img.SoftDisc(o + 32 + 64 * i, 64, 5, 11, Rgb(1.0, 0.5, 0.15), true);
        }
      });
      break;
    case 1:  // zigzag
      wrapped([&](double o) {
        for (int i = 0; i < 16; ++i) {
          double x0 = o + 64 * i;
          double y0 = (i % 2 == 0) ? 24 : 104, y1 = (i % 2 == 0) ? 104 : 24;
          img.SoftLine(x0, y0, x0 + 64, y1, 3, 5, Rgb(0.35, 0.75, 1.0), true);
        }
      });
      break;
    case 2: {  // the title, four times around
      Mask m = fonts.Fit(Face::kSansBold, "EMBERFIELD", 220, 64, 60);
      for (int i = 0; i < 4; ++i) {
        DrawTextMask(img, m, 128 + 256 * i, 64, Rgb(1.0, 0.8, 0.5), 4, Rgb(1.0, 0.4, 0.08), 1.4);
      }
      wrapped([&](double o) {
        for (int i = 0; i < 4; ++i) {
          img.SoftDisc(o + 256 * i, 64, 3, 7, Rgb(1.0, 0.6, 0.2), true);
        }
      });
      break;
    }
    case 3:  // a chain of rings
      wrapped([&](double o) {
        for (int i = 0; i < 8; ++i) {
          double cx = o + 64 + 128 * i;
          for (int k = 0; k < 48; ++k) {
            double a0 = k * 2 * kPi / 48, a1 = (k + 1) * 2 * kPi / 48;
            img.SoftLine(cx + 42 * std::cos(a0), 64 + 42 * std::sin(a0), cx + 42 * std::cos(a1), 64 + 42 * std::sin(a1),
                         2, 3, Rgb(1.0, 0.45, 0.8), true);
          }
          img.SoftLine(cx + 42, 64, cx + 86, 64, 1.5, 3, Rgb(0.8, 0.5, 1.0), true);
        }
      });
      break;
    case 4:  // three interleaved waves, period 256
      for (int k = 0; k < 3; ++k) {
        Color c = k == 0 ? Rgb(1.0, 0.3, 0.2) : (k == 1 ? Rgb(1.0, 0.6, 0.15) : Rgb(1.0, 0.9, 0.4));
        for (int x = 0; x < w; x += 2) {
          double y0 = 64 + 36 * std::sin((x + k * 85.0) * 2 * kPi / 256);
          double y1 = 64 + 36 * std::sin((x + 2 + k * 85.0) * 2 * kPi / 256);
          wrapped([&](double o) { img.SoftLine(o + x, y0, o + x + 2, y1, 1.5, 2.5, c, true); });
        }
      }
      break;
    case 5:  // diamonds
      wrapped([&](double o) {
        for (int i = 0; i < 8; ++i) {
          double cx = o + 64 + 128 * i;
          img.SoftLine(cx - 48, 64, cx, 18, 2, 3, Rgb(0.3, 1.0, 0.7), true);
          img.SoftLine(cx, 18, cx + 48, 64, 2, 3, Rgb(0.3, 1.0, 0.7), true);
          img.SoftLine(cx + 48, 64, cx, 110, 2, 3, Rgb(0.3, 1.0, 0.7), true);
          img.SoftLine(cx, 110, cx - 48, 64, 2, 3, Rgb(0.3, 1.0, 0.7), true);
          img.SoftDisc(cx, 64, 4, 18, Rgb(0.2, 0.7, 0.5), true);
        }
      });
      break;
    default: {  // a band of fire
      Image fire(w, h);
      fire.Shade([&](int x, int y) {
        double v = (y + 0.5) / h;
        double n = FbmWrapX(x / 64.0, y / 24.0, 5, 16, 300);
        double k = SmoothStep(0.35, 0.8, n) * std::sin(v * kPi);
        return EmberRamp(k * 0.9);
      });
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          img.AddLight(x, y, fire.at(x, y), 1.0);
        }
      }
      break;
    }
  }
  return img;
}

// ---- credits pictures -------------------------------------------------------

Image FlamePicture(int w, int h) {
  Image img(w, h);
  img.Shade([&](int x, int y) {
    double v = (y + 0.5) / h;
    return Add(Lerp(Rgb(0.05, 0.02, 0.10), Rgb(0.20, 0.04, 0.06), v), Scale(QuadrantTint((x + 0.5) / w, v), 0.05));
  });
  Mask flame(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double u = (x + 0.5) / w * 2 - 1, v = 1 - (y + 0.5) / h * 2;
      flame.at(x, y) = InFlameShape(u / 0.8, (v + 0.15) / 0.62) ? 1.0f : 0.0f;
    }
  }
  Mask soft = BlurMask(flame, 3), glow = BlurMask(flame, 24);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double g = glow.at(x, y), f = soft.at(x, y);
      img.AddLight(x, y, Rgb(1.0, 0.4, 0.1), g * 0.9);
      img.BlendOver(x, y, EmberRamp(0.45 + 0.55 * (1.0 - (y + 0.5) / h) * f + 0.3 * f), f);
    }
  }
  Rng rng(8);
  for (int i = 0; i < 60; ++i) {
    double x = w * (0.3 + 0.4 * rng.Unit()), y = h * 0.45 * rng.Unit();
    img.SoftDisc(x, y, 0.5, 2.5, Rgb(1.0, 0.7, 0.3), true);
  }
  return img;
}

Image SunsetField(int w, int h) {
  const double horizon = h * 0.58;
  Image img(w, h);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / w, yy = y + 0.5;
    if (yy < horizon) {
      double t = yy / horizon;
      Color c = DuskRamp(0.15 + 0.8 * t);
      double cl = Fbm(u * 5, t * 3, 4, 12);
      return Add(c, Scale(Rgb(1.0, 0.6, 0.5), SmoothStep(0.6, 0.85, cl) * 0.25 * t));
    }
    double d = (yy - horizon) / (h - horizon);
    double z = 1.0 / std::max(d, 0.02);
    double gx = (u - 0.5) * z * 4.0, gz = z * 1.5;
    double lx = std::fabs(gx - std::round(gx)), lz = std::fabs(gz - std::round(gz));
    double line = std::max(SmoothStep(0.06 * z * 0.3 + 0.02, 0.0, lx), SmoothStep(0.05 * z * 0.3 + 0.02, 0.0, lz));
    return Add(Rgb(0.08, 0.02, 0.05), Scale(Rgb(1.0, 0.45, 0.12), line * std::min(1.0, 1.6 * d + 0.1)));
  });
  img.SoftDisc(w * 0.5, horizon - h * 0.02, h * 0.10, h * 0.12, Rgb(1.0, 0.85, 0.5), false);
  img.SoftDisc(w * 0.5, horizon - h * 0.02, h * 0.05, h * 0.35, Rgb(0.9, 0.4, 0.15), true);
  for (int y = static_cast<int>(horizon); y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double k = std::exp(-std::pow((x + 0.5 - w * 0.5) / (w * 0.08), 2)) * std::exp(-(y - horizon) / (h * 0.2));
      img.AddLight(x, y, Rgb(1.0, 0.6, 0.3), k * 0.6);
    }
  }
  return img;
}

Image MountainPanorama(int w, int h) {
  Image img(w, h);
  img.Shade([&](int, int y) { return DuskRamp(0.85 - 0.75 * (y + 0.5) / h); });
  img.SoftDisc(w * 0.75, h * 0.25, h * 0.07, h * 0.09, Rgb(1.0, 0.95, 0.85), false);
  img.SoftDisc(w * 0.75, h * 0.25, h * 0.05, h * 0.3, Rgb(0.5, 0.35, 0.5), true);
  for (int layer = 0; layer < 4; ++layer) {
    double base = h * (0.45 + 0.14 * layer), amp = h * (0.25 - 0.04 * layer);
    Color c = Lerp(Rgb(0.35, 0.16, 0.32), Rgb(0.03, 0.01, 0.03), layer / 3.0);
    for (int x = 0; x < w; ++x) {
      double ridge = base - amp * Fbm(x / (90.0 - 15 * layer), layer * 10.0, 5, 200 + layer);
      for (int y = 0; y < h; ++y) {
        double k = Clamp01(y + 0.5 - ridge);
        if (k > 0) {
          img.BlendOver(x, y, c, k);
        }
      }
    }
  }
  Rng rng(9);
  for (int i = 0; i < 140; ++i) {
    double x = rng.Range(0, w), y = h * (0.3 + 0.7 * rng.Unit());
    img.SoftDisc(x, y, 0.4, 1.8 + 1.2 * rng.Unit(), Rgb(1.0, 0.6 + 0.3 * rng.Unit(), 0.2), true);
  }
  return img;
}

void Branch(Image &img, Rng &rng, double x, double y, double ang, double len, double width, int depth) {
  double x1 = x + len * std::cos(ang), y1 = y - len * std::sin(ang);
  img.SoftLine(x, y, x1, y1, width, 1.2, Rgb(0.10, 0.04, 0.05), false);
  if (depth == 0) {
    img.SoftDisc(x1, y1, 2, 9, Rgb(1.0, 0.45 + 0.3 * rng.Unit(), 0.12), true);
    img.SoftDisc(x1, y1, 0.5, 2.5, Rgb(1.0, 0.95, 0.7), true);
    return;
  }
  int n = 2 + (depth > 3 ? 0 : rng.Below(2));
  for (int i = 0; i < n; ++i) {
    double spread = (i - (n - 1) / 2.0) * 0.55 + rng.Range(-0.15, 0.15);
    Branch(img, rng, x1, y1, ang + spread, len * rng.Range(0.68, 0.8), width * 0.68, depth - 1);
  }
}

Image EmberTree(int w, int h) {
  Image img(w, h);
  img.Shade([&](int x, int y) {
    double v = (y + 0.5) / h;
    return Add(DuskRamp(0.7 - 0.6 * v), Scale(QuadrantTint((x + 0.5) / w, v), 0.04));
  });
  for (int y = static_cast<int>(h * 0.88); y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      img.BlendOver(x, y, Rgb(0.06, 0.02, 0.03), 1.0);
    }
  }
  Rng rng(21);
  Branch(img, rng, w * 0.5, h * 0.9, kPi / 2, h * 0.22, 9, 7);
  return img;
}

Image Mandala(int size) {
  Image img(size, size);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / size * 2 - 1, v = (y + 0.5) / size * 2 - 1;
    double r = std::sqrt(u * u + v * v), a = std::atan2(v, u);
    double petals = std::pow(std::fabs(std::cos(6 * a)), 3.0);
    double rings = 0.5 + 0.5 * std::cos(r * 38);
    double rose = SmoothStep(0.05, 0.0, std::fabs(r - (0.45 + 0.25 * petals)));
    double inner = SmoothStep(0.04, 0.0, std::fabs(r - (0.2 + 0.08 * std::cos(12 * a))));
    double fade = 1.0 - SmoothStep(0.85, 1.0, r);
    Color c = Scale(DuskRamp(0.2 + 0.3 * (1 - r)), 0.5 + 0.2 * rings * fade);
    c = Add(c, Scale(EmberRamp(0.75), rose));
    c = Add(c, Scale(Rgb(1.0, 0.5, 0.8), inner));
    c = Add(c, Scale(Rgb(1.0, 0.9, 0.6), std::exp(-r * r / 0.005)));
    return Multiply(c, Lerp(Rgb(1, 1, 1), QuadrantTint((x + 0.5) / size, (y + 0.5) / size), 0.4));
  });
  return img;
}

// Four square text strips stacked: the credits.
Image CreditStrips(const FontBook &fonts) {
  static const char *texts[4][3] = {{"CODE", "vantor", ""},
                                    {"PIXELS", "grown from", "noise"},
                                    {"MUSIC", "synthesized", "note by note"},
                                    {"TYPE", "DejaVu", "fonts"}};
  Image img(256, 1024, Rgb(0, 0, 0, 0));
  for (int i = 0; i < 4; ++i) {
    double top = 256.0 * i;
    Mask title = fonts.Fit(Face::kSansBold, texts[i][0], 220, 60, 64);
    DrawTextMask(img, title, 128, top + 70, Rgb(1.0, 0.62, 0.2), 3, Rgb(1.0, 0.3, 0.05), 1.2);
    for (int k = 1; k < 3; ++k) {
      if (texts[i][k][0] == '\0') {
        continue;
      }
      Mask line = fonts.Fit(Face::kSerif, texts[i][k], 230, 44, 40);
      DrawTextMask(img, line, 128, top + 105 + 52 * k, Rgb(1.0, 0.95, 0.88));
    }
  }
  return img;
}

// ---- the monitor's picture and the full-screen logos ---------------------------

Image ScreenPicture(const FontBook &fonts) {
  const int s = 512;
  Image img = SunsetField(s, s);
  Mask title = fonts.Fit(Face::kSansBold, "EMBERFIELD", 440, 80, 90);
  DrawTextMask(img, title, 256, 110, Rgb(1.0, 0.95, 0.85), 5, Rgb(1.0, 0.4, 0.1), 1.6);
  Mask by = fonts.Render(Face::kSerif, "a vantor demo", 30);
  DrawTextMask(img, by, 256, 175, Rgb(0.95, 0.85, 1.0));
  // Scan lines, and a border in the colour of the case: the bezel, rim and
  // back of the monitor all sample it, and the back fills much of the
  // frame whenever the spinning world turns it to the camera.
  const Color case_colour = Rgb(0.36, 0.33, 0.38);
  for (int y = 0; y < s; ++y) {
    for (int x = 0; x < s; ++x) {
      Color &c = img.at(x, y);
      if (x < 10 || y < 10 || x >= s - 10 || y >= s - 10) {
        c = case_colour;
      } else {
        c = Scale(c, (y % 4 < 2) ? 1.0 : 0.82);
      }
    }
  }
  return img;
}

Image GroupLogoScreen(const FontBook &fonts) {
  Image img(kScreenW, kScreenH, Rgb(0, 0, 0, 0));
  Mask name = fonts.Fit(Face::kSansBold, "VANTOR", 640, 170, 220, 1.0, 18);
  Mask glow = BlurMask(name, 10);
  int x0 = 400 - name.width / 2, y0 = 265 - name.height / 2;
  for (int y = 0; y < glow.height; ++y) {
    for (int x = 0; x < glow.width; ++x) {
      img.BlendOver(x0 + x, y0 + y, Rgb(0.55, 0.35, 1.0), std::min(1.0, glow.at(x, y) * 1.4) * 0.7);
    }
  }
  for (int y = 0; y < name.height; ++y) {
    for (int x = 0; x < name.width; ++x) {
      double g = y / static_cast<double>(name.height);
      img.BlendOver(x0 + x, y0 + y, Lerp(Rgb(0.92, 0.97, 1.0), Rgb(0.55, 0.7, 1.0), g), name.at(x, y));
    }
  }
  img.SoftLine(190, 372, 610, 372, 1.0, 1.5, Rgb(0.8, 0.75, 1.0), false);
  Mask presents = fonts.Render(Face::kSerif, "presents", 40, 1.0, 6);
  DrawTextMask(img, presents, 400, 412, Rgb(0.85, 0.8, 1.0), 3, Rgb(0.5, 0.3, 1.0), 1.0);
  return img;
}

Image TitleScreen(const FontBook &fonts) {
  Image img(kScreenW, kScreenH);
  Image neb = NebulaPicture(512, 512, 23).Resized(kScreenW, kScreenH);
  img.Shade([&](int x, int y) { return Scale(neb.at(x, y), 0.45); });
  Mask title = fonts.Fit(Face::kSansBold, "EMBERFIELD", 720, 150, 200, 1.0, 4);
  Mask glow = BlurMask(title, 14);
  int x0 = 400 - title.width / 2, y0 = 290 - title.height / 2;
  for (int y = 0; y < glow.height; ++y) {
    for (int x = 0; x < glow.width; ++x) {
      img.AddLight(x0 + x, y0 + y, Rgb(1.0, 0.35, 0.05), std::min(1.0, glow.at(x, y) * 1.6));
    }
  }
  for (int y = 0; y < title.height; ++y) {
    for (int x = 0; x < title.width; ++x) {
      img.BlendOver(x0 + x, y0 + y, EmberRamp(0.95 - 0.45 * y / title.height), title.at(x, y));
    }
  }
  Mask sub = fonts.Render(Face::kSerif, "a field of glowing embers", 34);
  DrawTextMask(img, sub, 400, 420, Rgb(1.0, 0.85, 0.65));
  Rng rng(31);
  for (int i = 0; i < 220; ++i) {
    double x = rng.Range(0, kScreenW), y = rng.Range(0, kScreenH);
    img.SoftDisc(x, y, 0.5, 1.5 + 2.5 * rng.Unit(), Rgb(1.0, 0.55 + 0.35 * rng.Unit(), 0.2), true);
  }
  return img;
}

}  // namespace

std::vector<GeneratorTask> SceneTextureTasks(const FontBook &fonts) {
  std::vector<GeneratorTask> t;
  t.push_back({"envmap", [] { return One("envmap.tga", Tga(EnvironmentMap(256))); }});
  t.push_back({"hatter", [] { return One("hatter.tga", Tga(NebulaPicture(512, 512, 11))); }});
  t.push_back({"flare", [] { return One("flare.tga", Tga(FlareImage(128))); }});
  t.push_back({"flowers", [] {
                 ContentSet s;
                 for (int i = 0; i < 10; ++i) {
                   char name[16];
                   std::snprintf(name, sizeof name, "virag%02d.tga", i + 1);
                   s.Add(name, Tga(FlowerImage(128, i)));
                 }
                 return s;
               }});
  for (int p = 0; p < 5; ++p) {
    t.push_back({"text page", [&fonts, p] {
                   return One("text" + std::to_string(p + 1) + ".tga", Tga(TextPage(fonts, p)));
                 }});
  }
  for (int b = 0; b < 7; ++b) {
    t.push_back({"ring band", [&fonts, b] {
                   return One("line" + std::to_string(b + 1) + ".tga", Tga(RingBand(fonts, b)));
                 }});
  }
  t.push_back({"level1", [] { return One("level1.tga", Tga(FlamePicture(256, 512))); }});
  t.push_back({"level2", [] { return One("level2.tga", Tga(SunsetField(512, 512))); }});
  t.push_back({"level3", [] { return One("level3.tga", Tga(MountainPanorama(512, 256))); }});
  t.push_back({"level4", [] { return One("level4.tga", Tga(EmberTree(256, 512))); }});
  t.push_back({"level5", [] { return One("level5.tga", Tga(Mandala(512))); }});
  t.push_back({"credits", [&fonts] { return One("credits.tga", Tga(CreditStrips(fonts), true)); }});
  t.push_back({"demos", [&fonts] { return One("demos.tga", Tga(ScreenPicture(fonts))); }});
  t.push_back({"vtrlogo", [&fonts] { return One("vtrlogo.tga", Tga(GroupLogoScreen(fonts).Resized(1024, 1024), true)); }});
  t.push_back({"bplogobig", [&fonts] { return One("bplogobig.tga", Tga(BigLogoScreen(fonts).Resized(1024, 1024))); }});
  t.push_back({"emberfld", [&fonts] { return One("emberfld.tga", Tga(TitleScreen(fonts).Resized(1024, 1024))); }});
  return t;
}

}  // namespace content
