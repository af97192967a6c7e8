// The built-in debug font: 96 glyphs (ASCII 32 to 127) of 4 x 6 pixels
// packed into a 64 x 36 one-bit image, the texture built from it, and the
// text drawing of the debug overlay.
//
// The font image is 36 rows of 8 bytes; pixel x of row r is bit (x mod 8)
// of byte 8r + x div 8, bit 0 being the leftmost. Glyph g (code - 32) sits
// at pixels 4 (g mod 16) .. +3 of rows 6 (g div 16) .. +5, top row first.
//
// Drawing happens on the main thread with the font texture bound by the
// caller; nothing here binds, enables or changes matrices.
#pragma once

#include <cstdint>
#include <string_view>

constexpr int32_t DEBUG_FONT_BYTES = 288;
constexpr int32_t DEBUG_FONT_TEXTURE_SIZE = 64;  // texels per side
// Longest text DrawDebugText draws; longer texts are cut.
constexpr size_t DEBUG_TEXT_MAX = 255;

extern const uint8_t DebugFontBits[DEBUG_FONT_BYTES];

// 255 when bit `bit` of DebugFontBits[byteIndex] is set, else 0 (also for a
// byte index outside the table or a bit number outside 0..7).
uint8_t FontPixel(int32_t byteIndex, int32_t bit);

// Fills a 64 x 64 luminance image (4096 bytes): the first 36 rows hold the
// font, the rest stays 0.
void BuildDebugFontImage(uint8_t (&image)[DEBUG_FONT_TEXTURE_SIZE * DEBUG_FONT_TEXTURE_SIZE]);

// Flag 0: x is a text column (0..199 from the left) and y a text row (0..99
// from the top) in normalised device coordinates; any other flag: x and y
// are used as they are. A code outside 32..127 draws the blank glyph.
void DrawDebugChar(uint8_t c, float x, float y, uint8_t flag);
// Glyph after glyph, one cell each (blanks included).
void DrawDebugText(std::string_view text, float x, float y, uint8_t flag);
