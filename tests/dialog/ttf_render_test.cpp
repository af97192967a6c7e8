// Rendering through the TrueType handler, checked against the fixture
// font's own tables (read with ttx) and against renders of the same text
// placed differently; that no byte outside the image is ever written; and
// that a render loads each distinct glyph from FreeType once.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "dialog/ttf_handler.h"
#include "font_test_util.h"
#include "tools/strikefont/strike_font.h"

using namespace ember_test;

// FreeType's glyph loads, counted: this program's FT_Load_Glyph stands
// before the shared library's for the renderer and passes each call on.
static size_t g_glyph_loads = 0;
FT_Error FT_Load_Glyph(FT_Face face, FT_UInt glyph_index, FT_Int32 load_flags) {
  static const auto library =
      reinterpret_cast<FT_Error (*)(FT_Face, FT_UInt, FT_Int32)>(dlsym(RTLD_NEXT, "FT_Load_Glyph"));
  ++g_glyph_loads;
  return library(face, glyph_index, load_flags);
}

// The renderer's own rasterisations, by the width of their clipping box
// (FreeType's whole rendering does not come this way).
static std::vector<FT_Pos> g_clip_widths;
FT_Error FT_Outline_Render(FT_Library library, FT_Outline *outline, FT_Raster_Params *params) {
  static const auto render = reinterpret_cast<FT_Error (*)(FT_Library, FT_Outline *, FT_Raster_Params *)>(
      dlsym(RTLD_NEXT, "FT_Outline_Render"));
  g_clip_widths.push_back(params->clip_box.xMax - params->clip_box.xMin);
  return render(library, outline, params);
}

namespace {

// Height of the line box of a fixture font at a size, from its tables.
int LineBox(const std::string &key, int size) {
  const long em = Metric(key + ".unitsPerEm");
  const long win = Metric(key + ".usWinAscent") + Metric(key + ".usWinDescent");
  const long line = Metric(key + ".ascent") - Metric(key + ".descent");
  const long h = size * 62 / 81 + 1;
  const double s = win ? double(em * h / win) : line ? double(em * h / line) : 1.0;
  const int top = int(double(Metric(key + ".yMax")) / double(em) * s + 1.0);
  const int bottom = int(double(Metric(key + ".yMin")) / double(em) * s - 1.0);
  return top - bottom + 5;
}

bool SamePixels(const Image &a, const Image &b) {
  return std::memcmp(a.b->image[0], b.b->image[0], a.b->imagesize[0]) == 0;
}

TEST_F(FontTest, ColourBytesLandExactlyAtEveryDepth) {
  frFont *font = Font("sans_bold.ttf", 40, FR_ENC_UTF8);
  frSetColor(font, 0x102030FF);
  for (int32_t type : {3, 0, 2}) {
    Image img(type, 80, 60);
    ASSERT_EQ(frRender(font, img.b, "\xE2\x96\x88", nullptr, nullptr), 0);  // U+2588 full block
    const int bytes = img.b->bits / 8;
    const uint8_t want[4] = {0x10, 0x20, 0x30, 0xFF};
    int full = 0;
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 80; ++x) {
        const uint8_t *p = img.at(x, y);
        EXPECT_LE(p[0], 0x10);
        if (p[0] == 0x10 && std::memcmp(p, want, size_t(bytes)) == 0) ++full;
      }
    EXPECT_GT(full, 200) << "bits " << img.b->bits;
  }
}

TEST_F(FontTest, CoverageAccumulatesIntoAlphaAndBlendsOverThePixels) {
  frFont *font = Font("sans_bold.ttf", 40, FR_ENC_UTF8);
  frSetColor(font, 0xFFFFFF80);  // half opacity
  Image img(2, 80, 60);
  auto maxAlpha = [&] {
    uint8_t m = 0;
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 80; ++x) m = std::max(m, img.at(x, y)[3]);
    return m;
  };
  ASSERT_EQ(frRender(font, img.b, "\xE2\x96\x88", nullptr, nullptr), 0);
  EXPECT_EQ(maxAlpha(), 128);
  ASSERT_EQ(frRender(font, img.b, "\xE2\x96\x88", nullptr, nullptr), 0);
  EXPECT_EQ(maxAlpha(), 191);

  // Over a grey background: black where covered, grey left where not.
  Image grey(0, 80, 60);
  std::memset(grey.b->image[0], 200, grey.b->imagesize[0]);
  frSetColor(font, 0x000000FF);
  ASSERT_EQ(frRender(font, grey.b, "\xE2\x96\x88", nullptr, nullptr), 0);
  EXPECT_EQ(*grey.at(20, 30), 0);
  EXPECT_EQ(*grey.at(79, 59), 200);
}

TEST_F(FontTest, AlignmentsPlaceTheLineBoxReadFromTheFontsTables) {
  const int W = 200, H = 100, size = 20;
  struct Case {
    const char *file, *key;
    int box;
  } cases[] = {{"sans_bold.ttf", "sans_bold", LineBox("sans_bold", size)},
               {"sans_bold_zerometrics.ttf", "sans_bold_zerometrics", 7},
               {"sans_bold_noos2.ttf", "sans_bold", 7}};
  EXPECT_EQ(LineBox("sans_bold_zerometrics", size), 7);
  for (const Case &c : cases) {
    frFont *font = Font(c.file, size);
    int32_t width = 0;
    std::map<std::pair<int, int>, Ink> ink;
    for (int h : {0, 1, 2})
      for (int v : {3, 4, 2}) {
        frSetHAlign(font, h);
        frSetVAlign(font, v);
        Image img(3, W, H);
        ASSERT_EQ(frRender(font, img.b, "Ay", &width, nullptr), 0);
        ink[{h, v}] = InkOf(img);
      }
    auto at = [&](int h, int v) { return ink[std::make_pair(h, v)]; };
    EXPECT_EQ(at(1, 3).left - at(0, 3).left, W - width) << c.file;
    EXPECT_EQ(at(2, 3).left - at(0, 3).left, (W - width) / 2) << c.file;
    EXPECT_EQ(at(0, 4).top - at(0, 3).top, H - c.box) << c.file;
    EXPECT_EQ(at(0, 2).top - at(0, 3).top, (H - c.box) / 2) << c.file;
  }
}

TEST_F(FontTest, AFixedPositionShiftsTheTextAndMayStartOutside) {
  frFont *font = Font("sans_bold.ttf", 24);
  Image at0(2, 90, 40), shifted(2, 90, 40);
  frSetPosition(font, 0, 0);
  ASSERT_EQ(frRender(font, at0.b, "Wolf", nullptr, nullptr), 0);
  frSetPosition(font, -7, -5);
  ASSERT_EQ(frRender(font, shifted.b, "Wolf", nullptr, nullptr), 0);
  for (int y = 0; y + 5 < 40; ++y)
    for (int x = 0; x + 7 < 90; ++x)
      ASSERT_EQ(std::memcmp(shifted.at(x, y), at0.at(x + 7, y + 5), 4), 0) << x << "," << y;
}

TEST_F(FontTest, WidthIsTheSumOfTheTablesAdvances) {
  const int size = 30;
  frFont *font = Font("sans_bold.ttf", size);
  const char *text = "Hello, World! {~}";
  long want = 0;  // each glyph advances by whole pixels
  for (const char *p = text; *p; ++p) want += Metric("advance." + std::to_string(int(*p))) * size / 2048;
  Image img(3, 8, 8);
  int32_t width = -1, height = -1;
  g_glyph_loads = 0;
  ASSERT_EQ(frRender(font, img.b, text, &width, &height), 0);
  EXPECT_EQ(width, want);
  EXPECT_GT(height, size / 2);
  // Each character of the text has a glyph of its own, loaded once.
  EXPECT_EQ(g_glyph_loads, std::set<char>(text, text + std::strlen(text)).size());

  // Blank glyphs have no rows and no top: height 0.
  ASSERT_EQ(frRender(font, img.b, "   ", &width, &height), 0);
  EXPECT_EQ(width, 3 * (Metric("advance.32") * size / 2048));
  EXPECT_EQ(height, 0);
}

TEST_F(FontTest, AKernedPairMovesByTheTablesAmount) {
  const int size = 50;
  frFont *kerned = Font("sans_bold.ttf", size);
  frFont *plain = Font("sans_bold_nokern.ttf", size);
  EXPECT_EQ(kerned->face->kerning, 1);
  EXPECT_EQ(plain->face->kerning, 0);
  for (const char *pair : {"AV", "To"}) {
    Image a(3, 120, 70), b(3, 120, 70);
    int32_t wa = 0, wb = 0;
    ASSERT_EQ(frRender(kerned, a.b, pair, &wa, nullptr), 0);
    ASSERT_EQ(frRender(plain, b.b, pair, &wb, nullptr), 0);
    const double exact = double(Metric(std::string("kern.") + pair)) * size / 2048;
    EXPECT_EQ(InkOf(a).right - InkOf(b).right, long(std::lround(exact))) << pair;
    EXPECT_EQ(InkOf(a).left, InkOf(b).left);
    EXPECT_EQ(wa, wb);  // kerning moves glyphs, not the reported width
  }
}

TEST_F(FontTest, Utf8AndUcs2DrawTheSameAsLatin1) {
  frFont *latin = Font("sans_bold.ttf", 20, FR_ENC_ISO8859_1);
  frFont *utf8 = Font("sans_bold.ttf", 20, FR_ENC_UTF8);
  frFont *ucs2 = Font("sans_bold.ttf", 20, FR_ENC_UCS2);
  auto render = [](frFont *f, const char *text, Image &img) {
    int32_t w = 0;
    EXPECT_EQ(frRender(f, img.b, text, &w, nullptr), 0);
    return w;
  };
  Image l(2, 80, 30), u(2, 80, 30), w(2, 80, 30);
  const int32_t width = render(latin, "caf\xE9", l);
  EXPECT_EQ(render(utf8, "caf\xC3\xA9", u), width);
  // A UCS-2 font takes each byte as one unit and stops at the first 0 byte.
  EXPECT_EQ(render(ucs2, "caf\xE9\0WW", w), width);
  EXPECT_TRUE(SamePixels(l, u));
  EXPECT_TRUE(SamePixels(l, w));

  // Stray bytes, cut-off sequences and characters beyond 16 bits become U+FFFD.
  Image r(2, 120, 30), bad(2, 120, 30);
  render(utf8, "\xEF\xBF\xBD" "A\xEF\xBF\xBD\xEF\xBF\xBD", r);
  render(utf8, "\xFF" "A\xF0\x9F\x98\x80\xE2\x96", bad);
  EXPECT_TRUE(SamePixels(r, bad));
}

uint32_t Be(const uint8_t *p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
  return v;
}

TEST_F(FontTest, AGlyphThatDoesNotLoadLeavesTheRestOfTheLine) {
  // The fixture with the outline of "B" claiming 32767 contours, which
  // FreeType refuses to load, registered as a face of its own.
  const std::string bytes = ReadFile(FontPath("sans_bold.ttf"));
  auto *buffer = static_cast<uint8_t *>(SYS_MemGet(bytes.size(), __FILE__, __LINE__, "font buffer"));
  std::memcpy(buffer, bytes.data(), bytes.size());
  FT_Face ft = nullptr;
  ASSERT_EQ(FT_New_Memory_Face(ttfLibrary, buffer, FT_Long(bytes.size()), 0, &ft), 0);
  const FT_UInt glyph = FT_Get_Char_Index(ft, 'B');
  const bool longOffsets = static_cast<TT_Header *>(FT_Get_Sfnt_Table(ft, FT_SFNT_HEAD))->Index_To_Loc_Format;
  FT_Done_Face(ft);
  uint32_t loca = 0, glyf = 0;
  for (uint32_t i = 0; i < Be(buffer + 4, 2); ++i) {
    const uint8_t *entry = buffer + 12 + 16 * i;
    if (!std::memcmp(entry, "loca", 4)) loca = Be(entry + 8, 4);
    if (!std::memcmp(entry, "glyf", 4)) glyf = Be(entry + 8, 4);
  }
  const uint32_t at = glyf + (longOffsets ? Be(buffer + loca + 4 * glyph, 4) : 2 * Be(buffer + loca + 2 * glyph, 2));
  buffer[at] = 0x7F;
  buffer[at + 1] = 0xFF;
  ASSERT_EQ(frNewFace("broken B", buffer, int32_t(bytes.size())), 0);
  frFont *broken = frNewFont(FR_ENC_ISO8859_1, 0xFFFFFFFF, FR_HALIGN_LEFT, FR_VALIGN_TOP);
  ASSERT_EQ(frSetFont(broken, "broken B", 20, 100, 0), 0);
  fonts_.push_back(broken);

  frFont *intact = Font("sans_bold.ttf", 20);
  Image line(2, 120, 30), alone(2, 120, 30);
  EXPECT_EQ(frRender(broken, line.b, "AB", nullptr, nullptr), 0);
  EXPECT_EQ(frRender(intact, alone.b, "A", nullptr, nullptr), 0);
  EXPECT_TRUE(SamePixels(line, alone));
}

// An image whose pixel rows are fenced by bytes that must stay as they are.
struct Fenced {
  static constexpr size_t kFence = 256;
  std::vector<uint8_t> memory;
  txBitmap b{};
  Fenced(int bits, int w, int h) : memory(kFence * 2 + size_t(w) * h * (bits / 8), 0xA5) {
    b.type = TX_RED_FIRST;
    b.subtype = bits == 8 ? TX_LAYOUT_GREY : bits == 24 ? TX_LAYOUT_RGB : TX_LAYOUT_RGBA;
    b.width = w;
    b.height = h;
    b.bits = bits;
    b.levels = 1;
    b.imagesize[0] = uint32_t(size_t(w) * h * (bits / 8));
    b.image[0] = memory.data() + kFence;
    std::memset(b.image[0], 0, b.imagesize[0]);
  }
  bool intact() const {
    for (size_t i = 0; i < kFence; ++i)
      if (memory[i] != 0xA5 || memory[memory.size() - 1 - i] != 0xA5) return false;
    return true;
  }
  bool inked() const {
    for (uint32_t i = 0; i < b.imagesize[0]; ++i)
      if (b.image[0][i]) return true;
    return false;
  }
};

TEST_F(FontTest, NothingIsWrittenOutsideTheImage) {
  frFont *font = Font("sans_bold.ttf", 30);
  const std::string message(255, 'W');
  struct Case {
    const char *what;
    int w, h, size, halign, valign;
    std::string text;
    bool inked;
  } cases[] = {
      {"glyphs starting above the top", 30, 10, 30, 0, 3, "-'", true},
      {"right-aligned text wider than the image", 50, 30, 20, 1, 3, "Wide text beyond the edge", true},
      {"descenders below the last row", 60, 12, 30, 0, 4, "gjpqy", true},
      {"255 characters in a 400-pixel label", 400, 20, 14, 2, 2, message, true},
      {"far above and left", 40, 40, 30, -1000, -1000, "Hello", false},
      {"far below and right", 40, 40, 30, 1000, 1000, "Hello", false},
  };
  for (int bits : {8, 24, 32})
    for (const Case &c : cases) {
      Fenced img(bits, c.w, c.h);
      frSetSize(font, c.size);
      if (c.halign < -1) {
        frSetPosition(font, c.halign, c.valign);
      } else {
        frSetHAlign(font, c.halign);
        frSetVAlign(font, c.valign);
      }
      ASSERT_EQ(frRender(font, &img.b, c.text.c_str(), nullptr, nullptr), 0) << c.what;
      EXPECT_TRUE(img.intact()) << c.what << ", " << bits << " bits";
      EXPECT_EQ(img.inked(), c.inked) << c.what << ", " << bits << " bits";
    }
}

TEST_F(FontTest, RefusedImagesSizesAndFonts) {
  frFont *font = Font("sans_bold.ttf", 12);
  Image img(2, 16, 16);
  int32_t w = 123, h = 456;
  EXPECT_EQ(frRender(font, img.b, "", &w, &h), 0);
  EXPECT_EQ(w, 123);
  EXPECT_EQ(h, 456);

  img.b->type = TX_COMPRESSED;
  EXPECT_EQ(frRender(font, img.b, "A", &w, &h), -1);
  EXPECT_EQ(SYS_ErrorGet(), 1005);
  img.b->type = TX_RED_FIRST;
  img.b->bits = 16;  // two bytes a pixel: colour bytes would spill into the next
  EXPECT_EQ(frRender(font, img.b, "A", &w, &h), -1);
  EXPECT_EQ(SYS_ErrorGet(), 1005);
  img.b->bits = 32;

  // Sizes of 0 and below are FreeType's smallest; past the bound a size is
  // refused.
  Image smallest(2, 16, 16);
  frSetSize(font, 1);
  ASSERT_EQ(frRender(font, smallest.b, "AB", &w, &h), 0);
  for (int32_t size : {0, -3}) {
    Image small(2, 16, 16);
    frSetSize(font, size);
    EXPECT_EQ(frRender(font, small.b, "AB", &w, &h), 0) << size;
    EXPECT_TRUE(SamePixels(smallest, small)) << size;
  }
  frSetSize(font, TTF_MAX_SIZE + 1);
  EXPECT_EQ(frRender(font, img.b, "A", &w, &h), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  frSetSize(font, TTF_MAX_SIZE);
  EXPECT_EQ(frRender(font, img.b, "A", &w, &h), 0);
  EXPECT_GT(w, TTF_MAX_SIZE / 2);

  frFont *faceless = frNewFont(FR_ENC_ISO8859_1, 0, 0, 3);
  EXPECT_EQ(frRender(faceless, img.b, "A", &w, &h), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);
  EXPECT_EQ(frRender(nullptr, img.b, "A", &w, &h), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  frFreeFont(faceless);
}

// A line of any length draws the part that lands in the image, the same
// pixels as its first few characters alone, and reports the width of the
// whole line; a million small glyphs as well. Its one glyph is loaded once
// however often it occurs or lands.
TEST_F(FontTest, ALineOfAnyLengthDrawsThePartThatLandsAndMeasuresItAll) {
  frFont *font = Font("sans_bold.ttf", 12);
  for (const auto &[size, count] : {std::pair{96, 9242}, {400, 549}, {TTF_MAX_SIZE, 85}, {12, 1 << 20}}) {
    frSetSize(font, size);
    const long advance = Metric("advance.87") * size / 2048;
    Image line(2, 512, 64), start(2, 512, 64);
    int32_t w = 0, h = 0;
    g_glyph_loads = 0;
    ASSERT_EQ(frRender(font, line.b, std::string(size_t(count), 'W').c_str(), &w, &h), 0) << size;
    EXPECT_EQ(g_glyph_loads, 1u) << size;
    EXPECT_EQ(w, count * advance) << size;
    EXPECT_GT(h, size / 2) << size;
    ASSERT_EQ(frRender(font, start.b, std::string(size_t(512 / advance + 2), 'W').c_str(), nullptr, nullptr), 0);
    EXPECT_FALSE(InkOf(line).empty()) << size;
    EXPECT_TRUE(SamePixels(line, start)) << size;
  }
}

#ifndef __SANITIZE_ADDRESS__  // the sanitizer's shadow memory needs the whole address space
// Allocations that fail leave the code that was pending (the tracked
// allocator sets none), except the glyph records: 5. In a child whose
// address space is cut to a little above what it uses.
TEST_F(FontTest, MemoryThatRunsOutLeavesThePendingCodeButForTheGlyphRecords) {
  frFont *font = Font("sans_bold.ttf", 12);
  const std::string huge(size_t(64) << 20, 'A'), large(size_t(4) << 20, 'A');
  RunResult r = RunInChild([&] {
    Image img(2, 8, 8);
    ember_test::LimitAddressSpaceAboveUse(size_t(24) << 20);
    const int32_t text = frRender(font, img.b, huge.c_str(), nullptr, nullptr);  // "temp str"
    std::printf("%d %d ", text, SYS_ErrorGet());
    const int32_t records = frRender(font, img.b, large.c_str(), nullptr, nullptr);  // "cache"
    std::printf("%d %d ", records, SYS_ErrorGet());
    const int32_t face = frNewFace(huge.c_str(), nullptr, 0);  // the name's copy
    std::printf("%d %d", face, SYS_ErrorGet());
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.output, "-1 0 -1 5 -1 0");
}

// A render holds one glyph's coverage at a time: 3,000 W at the largest
// size, some 2 GB of coverage together, render in a few megabytes.
TEST_F(FontTest, ALongLineAtTheLargestSizeRendersInLittleMemory) {
  frFont *font = Font("sans_bold.ttf", TTF_MAX_SIZE);
  const std::string title(3000, 'W');
  Image alone(2, 512, 64);
  ASSERT_EQ(frRender(font, alone.b, "WW", nullptr, nullptr), 0);
  RunResult r = RunInChild([&] {
    Image img(2, 512, 64);
    ember_test::LimitAddressSpaceAboveUse(size_t(16) << 20);
    int32_t w = 0;
    const int32_t result = frRender(font, img.b, title.c_str(), &w, nullptr);
    std::printf("%d %d %d", result, w, int(SamePixels(img, alone)));
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.output, "0 " + std::to_string(3000 * (Metric("advance.87") * TTF_MAX_SIZE / 2048)) + " 1");
}
#endif

// Fonts of embedded strikes of every depth, 2 and 4 bits converted to grey
// as they are drawn. The text names enough 32 x 32 glyphs to fill what a
// render keeps (4 MiB), so the small glyphs first seen after them are
// loaded again where they land; it ends in a tail of small (X, Z) and kept
// (Y, V) glyphs in several orders. Each tail, right-aligned into an image
// as wide as it, must draw as the same tail rendered alone, where every
// glyph is kept.
TEST_F(FontTest, EveryPlaceOfAGlyphDrawsItsOwnPixelsWhateverLiesBetween) {
  for (const uint8_t bits : {1, 2, 4, 8}) {
    strikefont::Font font;
    font.bits = bits;
    font.first_char = 0x4E00;
    const size_t copy = sizeof(FT_BitmapGlyphRec) + (32 * size_t(bits) + 7) / 8 * 32;
    const uint32_t big = uint32_t((size_t(4) << 20) / copy + 64), small = 16;
    for (uint32_t i = 0; i < big + small; ++i)
      font.glyphs.push_back(strikefont::Patterned(i < big ? 32 : 8, i < big ? 32 : 8, bits, i));
    const std::vector<uint8_t> bytes = strikefont::Build(font);
    auto *buffer = static_cast<uint8_t *>(SYS_MemGet(bytes.size(), __FILE__, __LINE__, "font buffer"));
    std::memcpy(buffer, bytes.data(), bytes.size());
    const std::string name = "strike " + std::to_string(bits);
    ASSERT_EQ(frNewFace(name.c_str(), buffer, int32_t(bytes.size())), 0);
    frFont *f = frNewFont(FR_ENC_UTF8, 0xFFFFFFFF, FR_HALIGN_RIGHT, FR_VALIGN_TOP);
    fonts_.push_back(f);
    ASSERT_EQ(frSetFont(f, name.c_str(), 14, 100, 0), 0);

    auto utf8 = [&](uint32_t glyph) {
      const uint32_t c = font.first_char + glyph;
      return std::string{char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 63)), char(0x80 | (c & 63))};
    };
    // Every glyph once but the tails' small ones, which come first there.
    const uint32_t Y = 0, V = 1, X = big + 2, Z = big + 3;
    std::string names;
    for (uint32_t i = 0; i < big + small; ++i)
      if (i != X && i != Z) names += utf8(i);
    const std::vector<std::vector<uint32_t>> tails = {
        {X, Y, X}, {X, Y, V, X}, {Y, X, Z, X, Z}, {X, X, Y, X, X}, {Z, Y, X, V, Z, X}, {Y, X, Y, X}};
    for (const auto &tail : tails) {
      std::string text, alone;
      int32_t width = 0;
      for (uint32_t g : tail) {
        alone += utf8(g);
        width += g < big ? 32 : 8;
      }
      text = names + alone;
      for (const int32_t type : {3, 2}) {
        Image line(type, width, 40), expected(type, width, 40);
        ASSERT_EQ(frRender(f, line.b, text.c_str(), nullptr, nullptr), 0);
        ASSERT_EQ(frRender(f, expected.b, alone.c_str(), nullptr, nullptr), 0);
        EXPECT_FALSE(InkOf(expected).empty());
        EXPECT_TRUE(SamePixels(line, expected)) << "bits " << int(bits) << ", tail of " << tail.size();
      }
    }
  }
}

// FreeType's rendering of a whole glyph is the oracle: any window of it,
// rendered alone, holds the same bytes, for outlines as they load and
// marked as overlapping (rendered oversampled) or even-odd filled; and
// where FreeType refuses the whole glyph (too large, or too wide to
// oversample), the window is refused too.
TEST_F(FontTest, AWindowOfAGlyphHoldsTheBytesOfItsWholeRendering) {
  uint32_t seed = 7;
  auto next = [&](uint32_t bound) {
    seed = seed * 1664525u + 1013904223u;
    return bound ? (seed >> 8) % bound : 0;
  };
  for (const std::string &path : {FontPath("sans_bold.ttf"), std::string("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf")}) {
    FT_Face face = nullptr;
    ASSERT_EQ(FT_New_Face(ttfLibrary, path.c_str(), 0, &face), 0) << path;
    for (const int size : {9, 40, 300, 1200, 9000, 40000}) {
      FT_Set_Char_Size(face, 0, FT_F26Dot6(size) * 64, 0, 0);
      for (const char c : std::string("AgW@&8")) {
        for (const int flags : {0, FT_OUTLINE_OVERLAP, FT_OUTLINE_EVEN_ODD_FILL}) {
          // Only to be refused: too wide to oversample.
          if (size == 9000 && (c != 'W' || flags != FT_OUTLINE_OVERLAP)) continue;
          const std::string what = path + " " + std::to_string(size) + " '" + c + "' flags " + std::to_string(flags);
          ASSERT_EQ(FT_Load_Glyph(face, FT_Get_Char_Index(face, FT_ULong(uint8_t(c))), FT_LOAD_NO_HINTING), 0);
          const FT_GlyphSlot slot = face->glyph;
          FT_Outline &outline = slot->outline;
          outline.flags = (outline.flags & ~(FT_OUTLINE_OVERLAP | FT_OUTLINE_EVEN_ODD_FILL)) | flags;
          const ttfGlyphBox box{slot->bitmap_left, slot->bitmap_top, slot->bitmap.width, slot->bitmap.rows};
          // FreeType's whole rendering, where it refuses the glyph or the
          // glyph is small enough to make here.
          const bool beyond = int64_t(box.left) + box.width > 0x7FFF || box.top > 0x7FFF;
          const bool tooWide = flags == FT_OUTLINE_OVERLAP && box.width * 4 > 0x7FFF;
          if (!beyond && !tooWide && uint64_t(box.width) * box.rows > (uint64_t(16) << 20)) continue;
          uint8_t probe = 0;
          const bool accepted = ttfRenderWindow(outline, box, 0, std::min(box.width, 1u), 0, std::min(box.rows, 1u), &probe);
          std::vector<std::array<uint32_t, 4>> windows;
          std::vector<std::vector<uint8_t>> rendered;
          if (accepted) {
            const uint32_t w = box.width, h = box.rows;
            windows = {{0, w, 0, h}, {0, 1, 0, h}, {w - 1, w, 0, h}, {0, w, 0, 1}, {0, w, h - 1, h}};
            for (int i = 0; i < 24; ++i) {
              const uint32_t k0 = next(w), r0 = next(h);
              windows.push_back({k0, k0 + 1 + next(w - k0), r0, r0 + 1 + next(h - r0)});
            }
            for (const auto &[k0, k1, r0, r1] : windows) {
              rendered.emplace_back(size_t(k1 - k0) * (r1 - r0), 0);
              ASSERT_TRUE(ttfRenderWindow(outline, box, k0, k1, r0, r1, rendered.back().data())) << what;
            }
          }
          const bool rendersWhole = ttfRendersWhole(outline, box);
          const bool whole = FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0;
          EXPECT_EQ(whole, !beyond && !tooWide) << what;
          EXPECT_EQ(accepted, whole) << what;
          EXPECT_EQ(rendersWhole, whole) << what;
          if (!whole || !accepted) continue;
          const FT_Bitmap &b = slot->bitmap;
          ASSERT_EQ(b.width, box.width) << what;
          ASSERT_EQ(b.rows, box.rows) << what;
          for (size_t i = 0; i < windows.size(); ++i) {
            const auto &[k0, k1, r0, r1] = windows[i];
            size_t differ = 0;
            for (uint32_t r = r0; r < r1; ++r)
              for (uint32_t k = k0; k < k1; ++k)
                differ += rendered[i][size_t(r - r0) * (k1 - k0) + (k - k0)] != b.buffer[ptrdiff_t(r) * b.pitch + k];
            EXPECT_EQ(differ, 0u) << what << " window " << k0 << "-" << k1 << " x " << r0 << "-" << r1;
          }
        }
      }
    }
    FT_Done_Face(face);
  }
}

// FreeType's rasteriser holds a few hundred cells a band; a row with more
// makes the whole rendering fail. A window of the same outline holds fewer
// and would succeed, so whether the glyph renders whole is found on its own.
TEST_F(FontTest, AGlyphWhoseRowsOverflowTheRasteriserIsNotRenderedWhole) {
  // Teeth one pixel apart along one row, then back along the row above.
  std::vector<FT_Vector> points;
  constexpr int kTeeth = 1200;
  for (int i = 0; i < kTeeth; ++i) points.push_back({FT_Pos(i) * 64 + 32, i % 2 ? 96 : 16});
  for (int i = kTeeth - 1; i >= 0; --i) points.push_back({FT_Pos(i) * 64 + 32, i % 2 ? 120 : 112});
  std::vector<char> tags(points.size(), FT_CURVE_TAG_ON);
  short last = short(points.size() - 1);
  FT_Outline outline{};
  outline.n_points = short(points.size());
  outline.n_contours = 1;
  outline.points = points.data();
  outline.tags = tags.data();
  outline.contours = &last;
  // Its box: columns 0 to kTeeth, rows 0 to 2, so FreeType renders it
  // where it lies.
  const ttfGlyphBox box{0, 2, kTeeth, 2};
  std::vector<uint8_t> pixels(size_t(box.width) * box.rows);
  FT_Bitmap bitmap{box.rows, box.width, int(box.width), pixels.data(), 256, FT_PIXEL_MODE_GRAY, 0, nullptr};
  const bool whole = FT_Outline_Get_Bitmap(ttfLibrary, &outline, &bitmap) == 0;
  EXPECT_FALSE(whole);
  EXPECT_FALSE(ttfRendersWhole(outline, box));
  std::vector<uint8_t> window(size_t(40) * box.rows);
  EXPECT_TRUE(ttfRenderWindow(outline, box, 0, 40, 0, box.rows, window.data()));

  // The font fuzz target's face whose 'y' is such a glyph: a line fails
  // where the 'y' lands, as FreeType's whole rendering of it fails.
  frFont *font = Font("rotten_y.ttf", 40);
  frSetVAlign(font, FR_VALIGN_BOTTOM);
  Image line(2, 60, 40);
  EXPECT_EQ(frRender(font, line.b, "Ay", nullptr, nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

// A TrueType face of one glyph, a rectangle [x0, x1) x [y0, y1) in font
// units, advance 0, and no character map: every character is that glyph.
// Its edges have points at most 16384 units apart, so that every step
// between points fits the file's 16 bits.
std::vector<uint8_t> RectangleFont(uint16_t units_per_em, int16_t x0, int16_t y0, int16_t x1, int16_t y1) {
  struct Out {
    std::vector<uint8_t> b;
    void U16(uint32_t v) { b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)}); }
    void U32(uint32_t v) { U16(v >> 16), U16(v); }
    void Zeros(size_t n) { b.insert(b.end(), n, 0); }
  };
  std::vector<std::pair<int32_t, int32_t>> points;
  const int32_t corners[5][2] = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}, {x0, y0}};
  for (int e = 0; e < 4; ++e) {
    const auto [ax, ay] = corners[e];
    const auto [bx, by] = corners[e + 1];
    const int32_t steps = (std::max(std::abs(bx - ax), std::abs(by - ay)) + 16383) / 16384;
    for (int32_t i = 0; i < steps; ++i) points.emplace_back(ax + (bx - ax) * i / steps, ay + (by - ay) * i / steps);
  }
  const auto count = uint16_t(points.size());
  Out head, hhea, hmtx, loca, maxp, glyf;
  head.U32(0x00010000), head.U32(0x00010000), head.U32(0), head.U32(0x5F0F3CF5), head.U16(0), head.U16(units_per_em);
  head.Zeros(16);
  for (int16_t v : {x0, y0, x1, y1}) head.U16(uint16_t(v));
  head.U16(0), head.U16(8), head.U16(2), head.U16(1), head.U16(0);  // style, ppem, direction, long loca, format
  hhea.U32(0x00010000), hhea.U16(uint16_t(y1)), hhea.U16(uint16_t(y0)), hhea.Zeros(26), hhea.U16(1);
  hmtx.U16(0), hmtx.U16(uint16_t(x0));
  glyf.U16(1);
  for (int16_t v : {x0, y0, x1, y1}) glyf.U16(uint16_t(v));
  glyf.U16(count - 1), glyf.U16(0);  // one contour, no instructions
  glyf.b.insert(glyf.b.end(), count, 0x01);  // on the curve, both steps in 16 bits
  int32_t x = 0, y = 0;
  for (const auto &point : points) glyf.U16(uint16_t(int16_t(point.first - std::exchange(x, point.first))));
  for (const auto &point : points) glyf.U16(uint16_t(int16_t(point.second - std::exchange(y, point.second))));
  loca.U32(0), loca.U32(uint32_t(glyf.b.size()));
  maxp.U32(0x00010000), maxp.U16(1), maxp.U16(count), maxp.U16(1), maxp.Zeros(4), maxp.U16(2), maxp.Zeros(16);
  const std::pair<const char *, Out *> tables[] = {{"glyf", &glyf}, {"head", &head}, {"hhea", &hhea},
                                                   {"hmtx", &hmtx}, {"loca", &loca}, {"maxp", &maxp}};
  Out font;
  font.U32(0x00010000), font.U16(6), font.U16(64), font.U16(2), font.U16(32);
  uint32_t at = 12 + 16 * 6;
  for (const auto &[tag, t] : tables) {
    font.b.insert(font.b.end(), tag, tag + 4);
    font.U32(0), font.U32(at), font.U32(uint32_t(t->b.size()));
    at += uint32_t((t->b.size() + 3) & ~size_t(3));
  }
  for (const auto &[tag, t] : tables) {
    font.b.insert(font.b.end(), t->b.begin(), t->b.end());
    font.Zeros(((t->b.size() + 3) & ~size_t(3)) - t->b.size());
  }
  return font.b;
}

// A glyph of a bitmap FreeType's whole rendering cannot allocate (more
// than INT_MAX bytes of grey) makes the line fail with code 10 where it
// lands, as FreeType refuses it, and is never rasterised; a glyph just
// inside that is drawn, and however many places it has, it is rasterised
// whole, to find that it renders, once a render. Font units are pixels at
// size 1024 here.
TEST_F(FontTest, AVeryLargeGlyphIsCheckedOnceAndRefusedWhereFreeTypeCouldNotHoldIt) {
  struct Case {
    int16_t x0, y0, x1, y1;
    bool refused;
  } cases[] = {
      {-23168, -23168, 23168, 23168, false},  // 46336 a side: 2,147,024,896 bytes
      {-23168, -23168, 23232, 23232, true},   // 46400 a side
      {-32768, -16384, 32767, 16384, false},  // 65535 x 32768: a grey row's pitch is its width
      {-32768, -16384, 32767, 16385, true},
  };
  int n = 0;
  for (const Case &c : cases) {
    const std::string what = std::to_string(c.x1 - c.x0) + " x " + std::to_string(c.y1 - c.y0);
    const std::vector<uint8_t> bytes = RectangleFont(1024, c.x0, c.y0, c.x1, c.y1);
    ASSERT_LT(bytes.size(), 700u);
#ifndef __SANITIZE_ADDRESS__
    // FreeType's own whole rendering, where it cannot have the bitmap's
    // memory anyway: it refuses the size before it asks for memory.
    const RunResult freetype = RunInChild([&] {
      FT_Face face = nullptr;
      if (FT_New_Memory_Face(ttfLibrary, bytes.data(), FT_Long(bytes.size()), 0, &face) != 0) _exit(1);
      FT_Set_Char_Size(face, 0, 1024 * 64, 0, 0);
      if (FT_Load_Glyph(face, 0, FT_LOAD_NO_HINTING) != 0) _exit(2);
      ember_test::LimitAddressSpaceAboveUse(size_t(64) << 20);
      const FT_Error error = FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
      std::printf("%d", error == FT_Err_Array_Too_Large ? 1 : error == FT_Err_Out_Of_Memory ? 0 : 100 + error);
    });
    ASSERT_EQ(freetype.status, 99) << what;
    EXPECT_EQ(freetype.output, c.refused ? "1" : "0") << what;
#endif
    const std::string name = "rectangle " + std::to_string(n++);
    auto *buffer = static_cast<uint8_t *>(SYS_MemGet(bytes.size(), __FILE__, __LINE__, "font buffer"));
    std::memcpy(buffer, bytes.data(), bytes.size());
    ASSERT_EQ(frNewFace(name.c_str(), buffer, int32_t(bytes.size())), 0) << what;
    frFont *font = frNewFont(FR_ENC_ISO8859_1, 0xFFFFFFFF, -1, -1);
    fonts_.push_back(font);
    ASSERT_EQ(frSetFont(font, name.c_str(), TTF_MAX_SIZE, 100, 0), 0);
    // Every place lands over the whole image.
    frSetPosition(font, c.x0, c.y1 - (c.y1 - c.y0) * 3 / 2);
    Image img(3, 64, 48);
    g_clip_widths.clear();
    const int32_t result = frRender(font, img.b, std::string(40, 'A').c_str(), nullptr, nullptr);
    const auto whole = std::count_if(g_clip_widths.begin(), g_clip_widths.end(), [](FT_Pos w) { return w > 64; });
    if (c.refused) {
      EXPECT_EQ(result, -1) << what;
      EXPECT_EQ(SYS_ErrorGet(), 10) << what;
      EXPECT_TRUE(g_clip_widths.empty()) << what;
      continue;
    }
    EXPECT_EQ(result, 0) << what;
    EXPECT_EQ(whole, 1) << what;
    EXPECT_EQ(std::count(img.b->image[0], img.b->image[0] + 64 * 48, 255), 64 * 48) << what;
  }
}

// Rendered only where they land or whole, glyphs draw the same pixels and
// the render answers the same, at every depth and placement, for glyphs
// kept as outlines and, in a line of more distinct glyphs than a render
// keeps, for glyphs loaded again where they land.
TEST_F(FontTest, GlyphsRenderedOnlyWhereTheyLandDrawAsTheWholeGlyphs) {
  std::string every;  // every glyph of the face, more than a render keeps
  for (uint32_t c = 0xA1; c < 0xFFFE; ++c)
    every += c < 0x800 ? std::string{char(0xC0 | c >> 6), char(0x80 | (c & 63))}
                       : std::string{char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 63)), char(0x80 | (c & 63))};
  std::string ascii;
  for (char c = 0x21; c < 0x7F; ++c) ascii += c;
  const std::string dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  ASSERT_EQ(frLoadFace(dejavu.c_str()), 0);
  frFont *font = frNewFont(FR_ENC_UTF8, 0xC0A0FFE0, FR_HALIGN_LEFT, FR_VALIGN_TOP);
  fonts_.push_back(font);
  ASSERT_EQ(frSetFont(font, dejavu.c_str(), 60, 100, 0), 0);
  const uint64_t saved = ttfWindowPixels;
  int inked = 0;
  for (const std::string &text : {std::string("W"), std::string("AgW@ gAgA"), ascii + ascii, every + ascii}) {
    for (const int size : {60, 300}) {
      frSetSize(font, size);
      for (const int32_t type : {3, 0, 2}) {
        for (const auto &[halign, valign] : std::vector<std::pair<int, int>>{
                 {FR_HALIGN_LEFT, FR_VALIGN_TOP}, {FR_HALIGN_CENTER, FR_VALIGN_CENTER},
                 {FR_HALIGN_RIGHT, FR_VALIGN_BOTTOM}, {-1, -1}}) {
          // The long line once a size: its tail lands.
          if (text.size() > 1000 && (type != 2 || halign != FR_HALIGN_RIGHT)) continue;
          Image whole(type, 173, 97), windowed(type, 173, 97);
          frSetHAlign(font, halign);
          frSetVAlign(font, valign);
          frSetPosition(font, -41, -23);
          int32_t w1 = 0, h1 = 0, w2 = 0, h2 = 0;
          ttfWindowPixels = UINT64_MAX;
          const int32_t a = frRender(font, whole.b, text.c_str(), &w1, &h1);
          ttfWindowPixels = 0;
          const int32_t b = frRender(font, windowed.b, text.c_str(), &w2, &h2);
          ttfWindowPixels = saved;
          EXPECT_EQ(a, b);
          EXPECT_EQ(w1, w2);
          EXPECT_EQ(h1, h2);
          inked += !InkOf(whole).empty();
          EXPECT_TRUE(SamePixels(whole, windowed))
              << "text of " << text.size() << " bytes, size " << size << ", type " << type << ", align " << halign;
        }
      }
    }
  }
  EXPECT_GT(inked, 60);  // of 74 renders
}

TEST(TtfCoverage, ReadsRowsByPitchAndPixelMode) {
  // Two rows of four pixels, stored bottom row first (negative pitch).
  uint8_t grey[] = {1, 2, 3, 4, 15, 0, 5, 10};
  FT_Bitmap b{};
  b.rows = 2;
  b.width = 4;
  b.pitch = -4;
  b.buffer = grey;
  b.pixel_mode = FT_PIXEL_MODE_GRAY;
  b.num_grays = 16;
  ttfCoverage c;
  ASSERT_TRUE(ttfCoverage::Of(b, &c));
  EXPECT_EQ(c.At(0, 0), 255);
  EXPECT_EQ(c.At(0, 2), 85);
  EXPECT_EQ(c.At(1, 3), 68);

  uint8_t mono[] = {0xA0, 0xFF, 0x01, 0x00};  // pitch 2: a padding byte per row
  b.pitch = 2;
  b.width = 9;
  b.buffer = mono;
  b.pixel_mode = FT_PIXEL_MODE_MONO;
  ASSERT_TRUE(ttfCoverage::Of(b, &c));
  EXPECT_EQ(c.At(0, 0), 255);
  EXPECT_EQ(c.At(0, 1), 0);
  EXPECT_EQ(c.At(0, 2), 255);
  EXPECT_EQ(c.At(0, 8), 255);
  EXPECT_EQ(c.At(1, 7), 255);
  EXPECT_EQ(c.At(1, 8), 0);

  b.pixel_mode = FT_PIXEL_MODE_GRAY4;
  EXPECT_FALSE(ttfCoverage::Of(b, &c));  // converted to grey before reading
}

}  // namespace
