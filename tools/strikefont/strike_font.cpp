#include "tools/strikefont/strike_font.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace strikefont {
namespace {

constexpr uint16_t kUnitsPerEm = 1024;

class Writer {
public:
  std::vector<uint8_t> bytes;
  void U8(uint32_t v) { bytes.push_back(uint8_t(v)); }
  void U16(uint32_t v) {
    U8(v >> 8);
    U8(v);
  }
  void U32(uint32_t v) {
    U16(v >> 16);
    U16(v);
  }
  void Zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
  size_t Size() const { return bytes.size(); }
  void Put32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (24 - 8 * i));
  }
};

// Floor of log2, and the binary-search fields that go with it.
uint16_t Log2(uint32_t n) {
  uint16_t k = 0;
  while ((2u << k) <= n) ++k;
  return k;
}

uint32_t Checksum(const std::vector<uint8_t> &t) {
  uint32_t sum = 0;
  for (size_t i = 0; i < t.size(); i += 4) {
    uint32_t word = 0;
    for (size_t j = 0; j < 4; ++j) word = word << 8 | (i + j < t.size() ? t[i + j] : 0);
    sum += word;
  }
  return sum;
}

// Scales a pixel length of the strike to font units.
int32_t Units(const Font &f, int32_t pixels) { return pixels * kUnitsPerEm / std::max<int32_t>(f.ppem, 1); }

std::vector<uint8_t> Head(const Font &f) {
  Writer w;
  w.U32(0x00010000);
  w.U32(0x00010000);
  w.U32(0);  // checkSumAdjustment
  w.U32(0x5F0F3CF5);
  w.U16(0x000B);
  w.U16(kUnitsPerEm);
  w.Zeros(16);  // created, modified
  int32_t top = 0, bottom = 0, right = 0;
  for (const Glyph &g : f.glyphs) {
    top = std::max<int32_t>(top, g.top);
    bottom = std::min<int32_t>(bottom, g.top - g.rows);
    right = std::max<int32_t>(right, g.left + g.width);
  }
  w.U16(0);
  w.U16(uint16_t(int16_t(Units(f, bottom))));
  w.U16(uint16_t(Units(f, right)));
  w.U16(uint16_t(Units(f, top)));
  w.U16(0);     // macStyle
  w.U16(8);     // lowestRecPPEM
  w.U16(2);     // fontDirectionHint
  w.U16(1);     // long loca offsets
  w.U16(0);
  return w.bytes;
}

std::vector<uint8_t> Hhea(const Font &f) {
  Writer w;
  uint8_t widest = 0;
  for (const Glyph &g : f.glyphs) widest = std::max(widest, g.advance);
  w.U32(0x00010000);
  w.U16(uint16_t(Units(f, f.ppem) * 4 / 5));
  w.U16(uint16_t(int16_t(-Units(f, f.ppem) / 5)));
  w.U16(0);
  w.U16(uint16_t(Units(f, widest)));
  w.Zeros(6);  // minLeftSideBearing, minRightSideBearing, xMaxExtent
  w.U16(1);
  w.U16(0);
  w.Zeros(12);  // caretOffset, 4 reserved, metricDataFormat
  w.U16(uint16_t(f.glyphs.size() + 1));
  return w.bytes;
}

std::vector<uint8_t> Maxp(const Font &f) {
  Writer w;
  w.U32(0x00010000);
  w.U16(uint16_t(f.glyphs.size() + 1));
  w.U16(4);  // maxPoints
  w.U16(1);  // maxContours
  w.Zeros(4);
  w.U16(2);  // maxZones
  w.Zeros(16);
  return w.bytes;
}

std::vector<uint8_t> Os2(const Font &f) {
  Writer w;
  w.U16(1);
  w.U16(uint16_t(Units(f, f.ppem) / 2));
  w.U16(400);
  w.U16(5);
  w.U16(0);
  w.Zeros(20);  // sub- and superscript, strikeout
  w.U16(0);     // sFamilyClass
  w.Zeros(10);  // panose
  w.Zeros(16);  // unicode ranges
  w.U32(0x454D4246);  // vendor
  w.U16(0x40);
  w.U16(f.first_char);
  w.U16(uint16_t(std::min<uint32_t>(f.first_char + f.glyphs.size(), 0xFFFF)));
  w.U16(uint16_t(Units(f, f.ppem) * 4 / 5));
  w.U16(uint16_t(int16_t(-Units(f, f.ppem) / 5)));
  w.U16(0);
  w.U16(uint16_t(Units(f, f.ppem) * 4 / 5));
  w.U16(uint16_t(Units(f, f.ppem) / 5));
  w.Zeros(8);  // code page ranges
  return w.bytes;
}

std::vector<uint8_t> Hmtx(const Font &f) {
  Writer w;
  w.U16(uint16_t(Units(f, f.ppem / 2)));
  w.U16(0);
  for (const Glyph &g : f.glyphs) {
    w.U16(uint16_t(Units(f, g.advance)));
    w.U16(uint16_t(int16_t(Units(f, g.left))));
  }
  return w.bytes;
}

std::vector<uint8_t> Cmap(const Font &f) {
  const uint32_t last = f.first_char + uint32_t(f.glyphs.size()) - 1;
  const bool any = !f.glyphs.empty() && last < 0xFFFF;
  const uint16_t segs = any ? 2 : 1;
  Writer w;
  w.U16(0);
  w.U16(1);
  w.U16(3);
  w.U16(1);
  w.U32(12);
  w.U16(4);
  w.U16(16 + 8 * segs);
  w.U16(0);
  const uint16_t range = uint16_t(2 << Log2(segs));
  w.U16(2 * segs);
  w.U16(range);
  w.U16(Log2(segs));
  w.U16(2 * segs - range);
  if (any) w.U16(last);
  w.U16(0xFFFF);
  w.U16(0);
  if (any) w.U16(f.first_char);
  w.U16(0xFFFF);
  if (any) w.U16(uint16_t(1 - f.first_char));
  w.U16(1);
  w.Zeros(2 * segs);  // idRangeOffset
  return w.bytes;
}

// One box outline a glyph, the bitmap's box in font units, and loca.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> GlyfLoca(const Font &f) {
  Writer glyf, loca;
  loca.U32(0);
  loca.U32(0);  // .notdef: no outline
  for (const Glyph &g : f.glyphs) {
    const int16_t x0 = int16_t(Units(f, g.left)), x1 = int16_t(Units(f, g.left + g.width));
    const int16_t y1 = int16_t(Units(f, g.top)), y0 = int16_t(Units(f, g.top - g.rows));
    glyf.U16(1);
    glyf.U16(uint16_t(x0));
    glyf.U16(uint16_t(y0));
    glyf.U16(uint16_t(x1));
    glyf.U16(uint16_t(y1));
    glyf.U16(3);  // last point of the contour
    glyf.U16(0);  // no instructions
    for (int i = 0; i < 4; ++i) glyf.U8(0x01);  // on curve, coordinates as shorts
    const int16_t xs[4] = {x0, x0, x1, x1}, ys[4] = {y0, y1, y1, y0};
    int16_t px = 0, py = 0;
    for (int16_t x : xs) glyf.U16(uint16_t(int16_t(x - std::exchange(px, x))));
    for (int16_t y : ys) glyf.U16(uint16_t(int16_t(y - std::exchange(py, y))));
    loca.U32(uint32_t(glyf.Size()));
  }
  return {glyf.bytes, loca.bytes};
}

std::vector<uint8_t> Post() {
  Writer w;
  w.U32(0x00030000);
  w.Zeros(28);
  return w.bytes;
}

// EBDT holds each glyph as small metrics and byte-aligned rows; EBLC one
// strike with one index subtable of 32-bit offsets.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> Strike(const Font &f) {
  Writer data, index;
  data.U32(0x00020000);
  std::vector<uint32_t> offsets;
  uint8_t widest = 0;
  int8_t ascent = 0, descent = 0;
  for (const Glyph &g : f.glyphs) {
    offsets.push_back(uint32_t(data.Size() - 4));
    data.U8(g.rows);
    data.U8(g.width);
    data.U8(uint8_t(g.left));
    data.U8(uint8_t(g.top));
    data.U8(g.advance);
    const size_t pitch = (size_t(g.width) * f.bits + 7) / 8;
    for (size_t r = 0; r < g.rows; ++r) {
      std::vector<uint8_t> row(pitch, 0);
      for (size_t c = 0; c < g.width; ++c) {
        const uint32_t v = g.levels[r * g.width + c] & ((1u << f.bits) - 1);
        const size_t bit = c * f.bits;
        row[bit / 8] |= uint8_t(v << (8 - f.bits - bit % 8));
      }
      data.bytes.insert(data.bytes.end(), row.begin(), row.end());
    }
    widest = std::max(widest, g.width);
    ascent = std::max(ascent, g.top);
    descent = std::min<int8_t>(descent, int8_t(g.top - g.rows));
  }
  offsets.push_back(uint32_t(data.Size() - 4));

  const uint16_t last = uint16_t(f.glyphs.size());
  index.U32(0x00020000);
  index.U32(1);
  index.U32(8 + 48);  // indexSubTableArrayOffset
  index.U32(uint32_t(8 + 8 + 4 * offsets.size()));
  index.U32(1);
  index.U32(0);
  for (int line = 0; line < 2; ++line) {  // horizontal, then vertical
    index.U8(uint8_t(ascent));
    index.U8(uint8_t(descent));
    index.U8(widest);
    index.U8(1);
    index.U8(0);
    index.U8(0);
    index.Zeros(6);
  }
  index.U16(1);
  index.U16(last);
  index.U8(f.ppem);
  index.U8(f.ppem);
  index.U8(f.bits);
  index.U8(1);  // horizontal metrics
  index.U16(1);
  index.U16(last);
  index.U32(8);  // to the subtable, from the array
  index.U16(1);  // offsets of 32 bits
  index.U16(1);  // small metrics, byte-aligned rows
  index.U32(4);  // the glyph data begins after EBDT's version
  for (uint32_t o : offsets) index.U32(o);
  return {data.bytes, index.bytes};
}

}  // namespace

Glyph Patterned(uint8_t width, uint8_t rows, uint8_t bits, uint32_t seed) {
  Glyph g;
  g.width = width;
  g.rows = rows;
  g.top = int8_t(rows);
  g.advance = width;
  const uint32_t levels = 1u << bits;
  uint32_t state = seed * 2654435761u + 1;
  g.levels.resize(size_t(width) * rows);
  for (size_t r = 0; r < rows; ++r)
    for (size_t c = 0; c < width; ++c) {
      state = state * 1103515245u + 12345u;
      // Every level appears along a row; the noise tells glyphs apart.
      g.levels[r * width + c] = uint8_t((c + r + (state >> 16)) % levels);
    }
  for (size_t r = 0; r < rows; ++r) g.levels[r * width] = uint8_t(levels - 1);
  return g;
}

std::vector<uint8_t> Build(const Font &font) {
  auto [glyf, loca] = GlyfLoca(font);
  auto [ebdt, eblc] = Strike(font);
  // In tag order, as the directory lists them.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> tables = {
      {"EBDT", ebdt},        {"EBLC", eblc},        {"OS/2", Os2(font)}, {"cmap", Cmap(font)},
      {"glyf", glyf},        {"head", Head(font)},  {"hhea", Hhea(font)}, {"hmtx", Hmtx(font)},
      {"loca", loca},        {"maxp", Maxp(font)},  {"post", Post()}};
  const uint16_t n = uint16_t(tables.size());
  Writer out;
  out.U32(0x00010000);
  out.U16(n);
  const uint16_t range = uint16_t(16 << Log2(n));
  out.U16(range);
  out.U16(Log2(n));
  out.U16(16 * n - range);
  size_t at = 12 + 16 * size_t(n);
  for (const auto &[tag, bytes] : tables) {
    for (char c : tag) out.U8(uint8_t(c));
    out.U32(Checksum(bytes));
    out.U32(uint32_t(at));
    out.U32(uint32_t(bytes.size()));
    at += (bytes.size() + 3) & ~size_t(3);
  }
  for (const auto &table : tables) {
    out.bytes.insert(out.bytes.end(), table.second.begin(), table.second.end());
    out.Zeros(((table.second.size() + 3) & ~size_t(3)) - table.second.size());
  }
  return out.bytes;
}

}  // namespace strikefont
