// Writes small TrueType fonts whose glyphs carry, beside a box outline, an
// embedded bitmap in one strike of 1, 2, 4 or 8 bits a pixel: the bitmaps
// FreeType hands over in pixel modes the renderer must convert. Used to
// make test fonts and fuzz seeds; no Debian font has grey strikes of 2 or 4
// bits.
//
// The font maps first_char, first_char + 1, ... to glyphs 1, 2, ...; glyph
// 0 is an empty .notdef. Every glyph's metrics and pixels are its own.
#pragma once

#include <cstdint>
#include <vector>

namespace strikefont {

struct Glyph {
  uint8_t width = 0, rows = 0;
  int8_t left = 0, top = 0;  // bearings of the bitmap from the pen, in pixels
  uint8_t advance = 0;
  // rows x width levels, each below 1 << bits; row 0 is the top row.
  std::vector<uint8_t> levels;
};

struct Font {
  uint8_t bits = 8;    // of the strike: 1, 2, 4 or 8
  uint8_t ppem = 14;   // the size the strike is for
  uint16_t first_char = 0x20;
  std::vector<Glyph> glyphs;  // glyphs 1, 2, ...
};

// A glyph of that box whose levels are a pattern of its own, set by seed,
// with every level of the depth present and none of its rows empty.
Glyph Patterned(uint8_t width, uint8_t rows, uint8_t bits, uint32_t seed);

// The font file's bytes.
std::vector<uint8_t> Build(const Font &font);

}  // namespace strikefont
