// The TrueType handler: the font renderer's "TTF" row on FreeType. It opens
// faces from their bytes in memory, sizes them, and draws one line of text
// straight into a txBitmap: every glyph's coverage is blended over what the
// image holds, in the font's colour and opacity, placed by the font's
// alignment or position. Bold and italic come from the face file itself.
//
// One FreeType library for the process, made by the first ttfInit and never
// released. A face's FreeType face lives as long as its registry record:
// the registry has it released (ttfFreeFace) before it frees the bytes
// the FreeType face reads.
//
// Each render takes its two work buffers from the tracked allocator, loads
// each distinct glyph of its text once and keeps FreeType's copy of it
// (rendered, or its outline until it lands) up to a few megabytes, and
// gives all of it back before it returns; nothing is cached between calls. So what a render holds is its work buffers (a few
// bytes per character of the text), what it keeps and one glyph's bitmap,
// whatever the line's length.
//
// Never: writes a byte outside the bitmap's pixel rows (glyph pixels that
// fall outside are dropped), or reads a glyph bitmap other than by its
// pitch and pixel mode.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstddef>
#include <cstdint>

#include "dialog/font_renderer.h"

// The largest size ttfRender takes, in pixels: a glyph there takes about
// a megabyte, and its line box is taller than most screens. Larger sizes
// fail with code 10; sizes of 0 and below render at FreeType's smallest
// size.
constexpr int32_t TTF_MAX_SIZE = 1024;

extern const frHandler ttfHandler;
// The process's FreeType library; NULL before the first ttfInit.
extern FT_Library ttfLibrary;

int32_t ttfInit();
int32_t ttfClose();
int32_t ttfNewFace(frFace *face);
int32_t ttfRender(frFont *font, txBitmap *bitmap, const char *text, int32_t *width, int32_t *height);
// Releases the FreeType face of a face ttfNewFace accepted.
void ttfFreeFace(frFace *face);

// The character size at which the face's ascent plus descent spans h pixels.
float ttfSizeForHeight(FT_Face face, int32_t h);

// Where FreeType puts a glyph's rendered bitmap: its left column and top
// row from the pen, and its size.
struct ttfGlyphBox {
  int32_t left;
  int32_t top;
  uint32_t width;
  uint32_t rows;
};

// Glyphs whose bitmap would have more pixels than this are rendered only
// where they meet the image (ttfRenderWindow), a band at a time. Tests set
// it to compare the two ways.
extern uint64_t ttfWindowPixels;

// Whether FreeType renders a glyph of this outline and bitmap box whole:
// within its limits on the box, and rasterised without running out of its
// own room, which is found by rasterising the whole glyph and keeping none
// of it (the time of a whole rendering, without its memory).
bool ttfRendersWhole(const FT_Outline &outline, const ttfGlyphBox &box);
// Renders the columns [k0, k1) and rows [r0, r1) of the grey bitmap
// FreeType renders of an outline whose bitmap box is `box` into `window`
// (k1 - k0 bytes a row, top row first, zero-filled by the caller), and
// nothing else of it: the same bytes, for what the window costs. False
// where FreeType refuses the glyph's box, or the window lies outside it.
bool ttfRenderWindow(const FT_Outline &outline, const ttfGlyphBox &box, uint32_t k0, uint32_t k1, uint32_t r0,
                     uint32_t r1, uint8_t *window);

// A glyph's coverage as 0..255 per pixel, whatever FreeType's pixel mode
// and row order: grey as it stands (rescaled when it has fewer than 256
// levels), 1-bit as 0 or 255. Other modes must be converted to grey first.
struct ttfCoverage {
  const uint8_t *top_row;  // first byte of the top row
  ptrdiff_t pitch;         // bytes from one row to the next one down
  uint32_t rows;
  uint32_t width;
  bool mono;
  uint32_t levels;         // grey levels of a grey bitmap

  // False for pixel modes that need converting.
  static bool Of(const FT_Bitmap &bitmap, ttfCoverage *out);
  uint8_t At(uint32_t row, uint32_t column) const {
    const uint8_t *r = top_row + static_cast<ptrdiff_t>(row) * pitch;
    if (mono) return (r[column >> 3] >> (7 - (column & 7))) & 1 ? 255 : 0;
    const uint8_t v = r[column];
    if (levels == 256) return v;
    return v >= levels - 1 ? 255 : static_cast<uint8_t>(v * 255u / (levels - 1));
  }
};
