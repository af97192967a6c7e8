// The images the demo reads byte by byte instead of through the texture
// loader, in exactly the layouts its readers assume:
//
// - "emberfld.raw": 196 x 32 bytes without header, rows top-down, exactly
//   1591 non-zero bytes (the field paths use every lit pixel once).
// - "text.tga": seven 48 x 24 glyphs (words of the cube morph), one palette
//   index per pixel from byte 786; glyph k's rows follow one another from
//   its bottom row up, and no glyph has more than 433 lit pixels.
// - "greets.tga": fourteen 256 x 128 frames of greetings the same way, 1 to
//   3391 lit pixels each. The flare scene shows the frames mirrored left to
//   right and, on its rolled camera, upside down; each frame is therefore
//   stored as a plain raster with its top row first, which reads upright
//   there.
// - "bplogo_small.tga": the small logo, 512 x 256 pixels of blue, green,
//   red, alpha from byte 18, bottom row first.
// - "monster_color.tga" (24-bit) and "monster_alpha.tga" (8-bit grey):
//   800 x 600 from byte 18, bottom row first, and "monster.tga", the texture
//   of the same picture.
#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <string>

#include "tools/content/art.h"
#include "tools/content/generators.h"
#include "tools/content/tga_writer.h"

namespace content {

namespace {

constexpr int kFieldW = 196, kFieldH = 32, kFieldLit = 1591;
constexpr int kGlyphW = 48, kGlyphH = 24, kGlyphCount = 7, kGlyphMaxLit = 433;
constexpr int kFrameW = 256, kFrameH = 128, kFrameCount = 14, kFrameMaxLit = 3391;

std::array<std::array<uint8_t, 3>, 256> EmberPalette() {
  std::array<std::array<uint8_t, 3>, 256> p{};
  for (int i = 0; i < 256; ++i) {
    Color c = EmberRamp(0.25 + 0.75 * i / 255.0);
    if (i == 0) {
      c = Rgb(0, 0, 0);
    }
    p[static_cast<size_t>(i)] = {ToByte(c.r), ToByte(c.g), ToByte(c.b)};
  }
  return p;
}

int CountAbove(const Mask &m, float threshold) {
  return static_cast<int>(std::count_if(m.v.begin(), m.v.end(), [&](float v) { return v >= threshold; }));
}

// "EMBERFIELD" with exactly kFieldLit lit pixels, stretched from column 0
// to the last column and centred on the row scene 6's camera looks along.
// Every path starts at the leftmost lit pixels and the camera starts at the
// left edge and follows the heads rightwards, so a title that leaves empty
// columns on the left opens the scene on nothing. Of the sizes that span the
// width, the one whose solid pixels come closest to the count wins; then the
// best-covered pixels are lit first.
Bytes FieldRaw(const FontBook &fonts) {
  constexpr double kCameraRow = 16.5;  // the scene turns row y into height 33 - y
  Mask best;
  int best_err = 1 << 30;
  for (double size = 14; size <= 40; size += 0.25) {
    Mask t = fonts.Render(Face::kSansBold, "EMBERFIELD", size);
    double xs = static_cast<double>(kFieldW) / t.width;
    for (int pass = 0; pass < 4 && t.width != kFieldW; ++pass) {
      t = fonts.Render(Face::kSansBold, "EMBERFIELD", size, xs);
      xs *= static_cast<double>(kFieldW) / t.width;
    }
    // Pen positions are whole pixels: the ink may fall a column or two short.
    if (t.width > kFieldW || t.width < kFieldW - 3 || t.height > kFieldH - 2 || CountAbove(t, 0.01f) < kFieldLit) {
      continue;
    }
    int err = std::abs(CountAbove(t, 0.5f) - kFieldLit);
    if (err < best_err) {
      best_err = err;
      best = t;
    }
  }
  if (best.width == 0) {
    throw std::runtime_error("no size of the title fits the field image");
  }
  Mask field(kFieldW, kFieldH);
  int y0 = std::clamp(static_cast<int>(std::lround(kCameraRow - best.height / 2.0)), 0, kFieldH - best.height);
  for (int y = 0; y < best.height; ++y) {
    for (int x = 0; x < best.width; ++x) {
      field.at(x, y0 + y) = best.at(x, y);
    }
  }
  std::vector<int> order(field.v.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return field.v[a] > field.v[b]; });
  Bytes raw(field.v.size(), 0);
  for (int i = 0; i < kFieldLit; ++i) {
    raw[static_cast<size_t>(order[static_cast<size_t>(i)])] = 255;
  }
  return raw;
}

// A word rendered into a width x height cell as palette indices, shrunk
// until it has at most max_lit lit pixels. Rows of the cell top-down.
std::vector<uint8_t> WordCell(const FontBook &fonts, Face face, const char *word, int width, int height, int max_lit,
                              float threshold, bool solid) {
  double size = height * 1.6;
  for (int attempt = 0; attempt < 80; ++attempt, size *= 0.96) {
    Mask t = fonts.Fit(face, word, width - 2, height - 2, size);
    std::vector<uint8_t> cell(static_cast<size_t>(width) * height, 0);
    int x0 = (width - t.width) / 2, y0 = (height - t.height) / 2, lit = 0;
    for (int y = 0; y < t.height; ++y) {
      for (int x = 0; x < t.width; ++x) {
        float v = t.at(x, y);
        if (v >= threshold) {
          cell[static_cast<size_t>(y0 + y) * width + x0 + x] = solid ? 255 : ToByte(0.35 + 0.65 * v);
          ++lit;
        }
      }
    }
    if (lit >= 1 && lit <= max_lit) {
      return cell;
    }
  }
  throw std::runtime_error(std::string("word does not fit its cell: ") + word);
}

Bytes GlyphStrip(const FontBook &fonts) {
  // Seven words, shown one per beat of the cube morph.
  static const char *words[kGlyphCount] = {"FEEL", "THE", "WARM", "GLOW", "OF", "THE", "FIRE"};
  const int h = kGlyphH * kGlyphCount;
  std::vector<uint8_t> raster(static_cast<size_t>(kGlyphW) * h, 0);
  for (int k = 0; k < kGlyphCount; ++k) {
    std::vector<uint8_t> cell = WordCell(fonts, Face::kSansBold, words[k], kGlyphW, kGlyphH, kGlyphMaxLit, 0.5f, true);
    // Stored bottom-up, glyph k is the k-th block from the bottom.
    int top = h - kGlyphH * (k + 1);
    std::copy(cell.begin(), cell.end(), raster.begin() + static_cast<ptrdiff_t>(top) * kGlyphW);
  }
  return TgaColourMapped(raster, kGlyphW, h, EmberPalette(), RowOrder::kBottomUp);
}

Bytes GreetingFrames(const FontBook &fonts) {
  static const char *names[kFrameCount] = {"greetings", "ashfall", "cinder", "kindling", "glowworm",
                                           "firefly",   "lumen",   "tinder", "beacon",   "lantern",
                                           "hearth",    "furnace", "phoenix", "and you"};
  const int h = kFrameH * kFrameCount;
  std::vector<uint8_t> raster(static_cast<size_t>(kFrameW) * h, 0);
  for (int f = 0; f < kFrameCount; ++f) {
    std::vector<uint8_t> cell = WordCell(fonts, Face::kSans, names[f], kFrameW - 16, kFrameH - 40, kFrameMaxLit, 0.3f, false);
    // Centre the (narrower) cell in the frame.
    for (int y = 0; y < kFrameH - 40; ++y) {
      for (int x = 0; x < kFrameW - 16; ++x) {
        raster[static_cast<size_t>(f * kFrameH + 20 + y) * kFrameW + 8 + x] =
            cell[static_cast<size_t>(y) * (kFrameW - 16) + x];
      }
    }
  }
  return TgaColourMapped(raster, kFrameW, h, EmberPalette(), RowOrder::kTopDown);
}

}  // namespace

std::vector<GeneratorTask> RawImageTasks(const FontBook &fonts) {
  std::vector<GeneratorTask> t;
  t.push_back({"field", [&fonts] {
                 ContentSet s;
                 s.Add("emberfld.raw", FieldRaw(fonts));
                 return s;
               }});
  t.push_back({"glyphs", [&fonts] {
                 ContentSet s;
                 s.Add("text.tga", GlyphStrip(fonts));
                 return s;
               }});
  t.push_back({"greets", [&fonts] {
                 ContentSet s;
                 s.Add("greets.tga", GreetingFrames(fonts));
                 return s;
               }});
  t.push_back({"small logo", [&fonts] {
                 ContentSet s;
                 s.Add("bplogo_small.tga", TgaTrueColour(SmallLogo(fonts), true, RowOrder::kBottomUp));
                 return s;
               }});
  t.push_back({"monster", [] {
                 MonsterArt art = MonsterPicture();
                 std::vector<uint8_t> light(art.light.v.size());
                 for (size_t i = 0; i < light.size(); ++i) {
                   light[i] = ToByte(art.light.v[i]);
                 }
                 ContentSet s;
                 s.Add("monster_alpha.tga", TgaGrey(light, kScreenW, kScreenH, RowOrder::kBottomUp));
                 s.Add("monster_color.tga", TgaTrueColour(art.colour, false, RowOrder::kBottomUp));
                 s.Add("monster.tga", TgaTrueColour(art.colour.Resized(1024, 1024), false, RowOrder::kBottomUp));
                 return s;
               }});
  return t;
}

}  // namespace content
