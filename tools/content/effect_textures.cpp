// Textures that only the layer effects and the dialogs name: backdrops,
// light streaks and rays, the vignette, the glass of the text pages, the
// closing screens and the loading screen's title. Additive layers use
// pictures on black; alpha-blended ones carry an alpha channel. The loading
// screen's pictures are grey: its layers give them their colour.
#include <cmath>

#include "tools/content/art.h"
#include "tools/content/generators.h"
#include "tools/content/procedural.h"
#include "tools/content/tga_writer.h"

namespace content {

namespace {

ContentSet One(const std::string &name, const Image &img, bool alpha) {
  ContentSet s;
  s.Add(name, TgaTrueColour(img, alpha, RowOrder::kBottomUp));
  return s;
}

// A line of text in white with a soft white glow, on transparent black.
Image GlowTitle(const FontBook &fonts, const char *text, int w, int h, Face face, double tracking) {
  Image img(w, h, Rgb(0, 0, 0, 0));
  Mask m = fonts.Fit(face, text, w - 40, h - 40, h, 1.0, tracking);
  Mask glow = BlurMask(m, 6);
  int x0 = (w - m.width) / 2, y0 = (h - m.height) / 2;
  for (int y = 0; y < glow.height; ++y) {
    for (int x = 0; x < glow.width; ++x) {
      img.BlendOver(x0 + x, y0 + y, Rgb(0.8, 0.8, 0.8), std::min(1.0, glow.at(x, y) * 1.2) * 0.6);
    }
  }
  img.DrawMask(m, x0, y0, Rgb(1, 1, 1), false);
  return img;
}

Image Spark(int size) {
  Image img(size, size);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / size * 2 - 1, v = (y + 0.5) / size * 2 - 1;
    double r2 = u * u + v * v;
    double k = (std::exp(-r2 / 0.02) + 0.4 * std::exp(-r2 / 0.15)) * (1.0 - SmoothStep(0.7, 1.0, std::sqrt(r2)));
    return Rgb(k, k, k);
  });
  return img;
}

Image NightSky(int size) {
  Image img(size, size);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / size, v = (y + 0.5) / size;
    double n = Fbm(u * 3 + 9, v * 3, 6, 61);
    Color c = Lerp(Rgb(0.01, 0.01, 0.04), Rgb(0.10, 0.04, 0.18), v);
    c = Add(c, Scale(Rgb(0.25, 0.15, 0.45), SmoothStep(0.5, 0.9, n) * 0.6));
    return Multiply(c, Lerp(Rgb(1, 1, 1), QuadrantTint(u, v), 0.5));
  });
  Rng rng(62);
  for (int i = 0; i < 500; ++i) {
    double x = rng.Range(0, size), y = rng.Range(0, size);
    img.SoftDisc(x, y, 0.2, 0.8 + 1.2 * std::pow(rng.Unit(), 4), Scale(Rgb(0.8, 0.85, 1.0), 0.4 + 0.6 * rng.Unit()), true);
  }
  return img;
}

// A horizontal streak of light, brightest in the middle.
Image Streak(int w, int h) {
  Image img(w, h);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / w * 2 - 1, v = (y + 0.5) / h * 2 - 1;
    double k = std::exp(-v * v / 0.02) * (1.0 - u * u) + 0.35 * std::exp(-v * v / 0.2) * (1.0 - std::fabs(u));
    k *= 1.0 - SmoothStep(0.85, 1.0, std::fabs(v));
    return Rgb(k, k, k);
  });
  return img;
}

// Rays from the centre on black.
Image Rays(int size) {
  Image img(size, size);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / size * 2 - 1, v = (y + 0.5) / size * 2 - 1;
    double r = std::sqrt(u * u + v * v), a = std::atan2(v, u);
    double rays = std::pow(0.5 + 0.5 * std::cos(a * 16), 6.0) * 0.7 + std::pow(0.5 + 0.5 * std::cos(a * 7 + 1), 10.0) * 0.5;
    double k = rays * std::exp(-r * 1.8) * (1.0 - SmoothStep(0.8, 1.0, r)) * SmoothStep(0.0, 0.15, r);
    return Rgb(k, k, k);
  });
  return img;
}

// The glass over the text pages: clear in the middle, with a bevelled rim
// and a faint reflection.
Image Glass(int size) {
  Image img(size, size);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / size, v = (y + 0.5) / size;
    double edge = std::min({u, v, 1 - u, 1 - v});
    double rim = SmoothStep(0.06, 0.0, edge);
    double bevel = std::exp(-std::pow((edge - 0.045) / 0.006, 2));
    double sheen = std::exp(-std::pow((u + v - 0.55) / 0.05, 2)) * 0.12;
    Color c = Lerp(Rgb(0.02, 0.02, 0.04), Rgb(1.0, 0.85, 0.6), bevel);
    double a = std::min(1.0, rim * 0.85 + bevel * 0.9 + sheen);
    return Rgb(c.r + sheen * 2, c.g + sheen * 2, c.b + sheen * 2, a);
  });
  return img;
}

// Backdrop of the coin and the text pages: warm rings around the centre.
Image CoinBackdrop(int size) {
  Image img(size, size);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / size, v = (y + 0.5) / size;
    double du = u - 0.5, dv = v - 0.5, r = std::sqrt(du * du + dv * dv);
    double n = Fbm(u * 5, v * 5, 5, 71);
    double rings = 0.5 + 0.5 * std::cos(r * 60 - n * 6);
    Color c = Lerp(Rgb(0.30, 0.09, 0.06), Rgb(0.04, 0.02, 0.09), SmoothStep(0.0, 0.75, r));
    c = Add(c, Scale(Rgb(0.8, 0.3, 0.08), rings * 0.35 * (1 - SmoothStep(0.05, 0.7, r))));
    return Multiply(c, Lerp(Rgb(1, 1, 1), QuadrantTint(u, v), 0.5));
  });
  return img;
}

// The closing screen: the emblem, the title and the makers, on transparent.
Image ClosingScreen(const FontBook &fonts) {
  Image img(kScreenW, kScreenH, Rgb(0, 0, 0, 0));
  Mask core;
  Mask emblem = EmblemMask(220, &core);
  Mask glow = BlurMask(emblem, 8);
  int ex = 400 - 110, ey = 40;
  for (int y = 0; y < 220; ++y) {
    for (int x = 0; x < 220; ++x) {
      img.BlendOver(ex + x, ey + y, Rgb(1.0, 0.4, 0.08), std::min(1.0, glow.at(x, y) * 1.5) * 0.6);
      Color c = Lerp(Rgb(1.0, 0.85, 0.35), Rgb(0.95, 0.3, 0.05), y / 220.0);
      img.BlendOver(ex + x, ey + y, Lerp(c, Rgb(1, 0.98, 0.85), core.at(x, y)), emblem.at(x, y));
    }
  }
  Mask title = fonts.Fit(Face::kSansBold, "EMBERFIELD", 620, 110, 130, 1.0, 6);
  DrawTextMask(img, title, 400, 345, Rgb(1.0, 0.93, 0.8), 8, Rgb(1.0, 0.35, 0.05), 1.3);
  Mask by = fonts.Render(Face::kSerif, "a vantor production", 38);
  DrawTextMask(img, by, 400, 430, Rgb(1.0, 0.85, 0.7), 3, Rgb(0.6, 0.2, 0.05), 1.0);
  Mask small = fonts.Render(Face::kSans, "code, pixels and music made from scratch", 22);
  DrawTextMask(img, small, 400, 490, Rgb(0.85, 0.8, 0.9));
  return img;
}

Image EndWords(const FontBook &fonts) {
  Image img(kScreenW, kScreenH, Rgb(0, 0, 0, 0));
  Mask a = fonts.Fit(Face::kSerifBold, "thank you for watching", 640, 90, 70);
  DrawTextMask(img, a, 400, 250, Rgb(1.0, 0.92, 0.8), 6, Rgb(1.0, 0.4, 0.1), 1.2);
  Mask b = fonts.Render(Face::kSans, "emberfield  -  vantor", 30, 1.0, 3);
  DrawTextMask(img, b, 400, 340, Rgb(0.9, 0.75, 0.6));
  return img;
}

// The configuration dialog's banner: emblem and title on the dialog's dark.
Image DialogBanner(const FontBook &fonts) {
  Image img(512, 128);
  img.Shade([&](int x, int y) {
    double u = (x + 0.5) / 512, v = (y + 0.5) / 128;
    double n = Fbm(u * 8, v * 2, 4, 81);
    return Add(Lerp(Rgb(0.20, 0.06, 0.04), Rgb(0.10, 0.08, 0.13), v), Scale(Rgb(0.3, 0.1, 0.04), n * 0.5));
  });
  Mask core;
  Mask emblem = EmblemMask(96, &core);
  for (int y = 0; y < 96; ++y) {
    for (int x = 0; x < 96; ++x) {
      Color c = Lerp(Rgb(1.0, 0.85, 0.35), Rgb(0.95, 0.3, 0.05), y / 96.0);
      img.BlendOver(24 + x, 16 + y, Lerp(c, Rgb(1, 0.98, 0.85), core.at(x, y)), emblem.at(x, y));
    }
  }
  Mask title = fonts.Fit(Face::kSansBold, "EMBERFIELD", 350, 70, 80, 1.0, 3);
  DrawTextMask(img, title, 312, 64, Rgb(1.0, 0.93, 0.8), 5, Rgb(1.0, 0.35, 0.05), 1.3);
  return img;
}

}  // namespace

std::vector<GeneratorTask> EffectTextureTasks(const FontBook &fonts) {
  std::vector<GeneratorTask> t;
  t.push_back({"loading title", [&fonts] {
                 return One("lb_title.tga", GlowTitle(fonts, "EMBERFIELD", 512, 128, Face::kSansBold, 6), true);
               }});
  t.push_back({"loading spark", [] { return One("lb_spark.tga", Spark(64), false); }});
  t.push_back({"night sky", [] { return One("vtrback.tga", NightSky(512), false); }});
  t.push_back({"streak", [] { return One("streak.tga", Streak(512, 64), false); }});
  t.push_back({"vignette", [] { return One("vignette.tga", VignetteImage(256), true); }});
  t.push_back({"rays", [] { return One("rays.tga", Rays(512), false); }});
  t.push_back({"glass", [] { return One("uveg.tga", Glass(512), true); }});
  t.push_back({"coin backdrop", [] { return One("gombhatter.tga", CoinBackdrop(512), false); }});
  t.push_back({"closing screen", [&fonts] { return One("bpscreen.tga", ClosingScreen(fonts).Resized(1024, 1024), true); }});
  t.push_back({"end words", [&fonts] { return One("endtext.tga", EndWords(fonts).Resized(1024, 1024), true); }});
  t.push_back({"dialog banner", [&fonts] { return One("cfglogo.tga", DialogBanner(fonts), false); }});
  return t;
}

}  // namespace content
