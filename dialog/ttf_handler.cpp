// The "TTF" font handler on FreeType.
//
// A render is two passes over the text. Measuring loads every glyph
// without rasterising it: FreeType gives the bitmap a glyph would have
// (its box, bearings and advance), so the pass finds the text's width, its
// tallest glyph and its highest top, and keeps a few numbers per glyph.
// Drawing then places the line by the font's alignment or position and
// rasterises only the glyphs whose box meets the image, one at a time,
// blending each one's coverage into the pixels before the next is loaded.
// So a render holds one glyph's bitmap whatever the line's length, and its
// work follows what can land in the image, not the whole line.
//
// A glyph that does not load leaves the slot as FreeType left it and the
// line goes on; a glyph that lands but cannot be rendered fails the call
// with code 10 (what was drawn before it stays).
//
// A text is read up to its 0 byte and no further, whatever its encoding:
// UTF-8 is decoded inside those bytes, and a UCS-2 font takes each byte as
// one code unit (Latin-1 is UCS-2's first 256 units), so the narrow titles
// of the widget files read the same in either.
#include "dialog/ttf_handler.h"

#include FT_BITMAP_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "framework/charset.h"
#include "framework/log.h"
#include "framework/memory.h"

FT_Library ttfLibrary = nullptr;

const frHandler ttfHandler = {"TTF", ttfInit, ttfClose, ttfNewFace, ttfRender};

#define TTF_DEBUG(...)                    \
  do {                                    \
    if (frDebug) SYS_Log(1, __VA_ARGS__); \
  } while (0)

bool ttfCoverage::Of(const FT_Bitmap &bitmap, ttfCoverage *out) {
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return false;
  out->rows = bitmap.rows;
  out->width = bitmap.width;
  out->pitch = bitmap.pitch;
  out->mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
  out->levels = bitmap.num_grays >= 2 ? bitmap.num_grays : 256;
  // With a negative pitch the rows lie bottom row first from the buffer on.
  out->top_row = bitmap.buffer;
  if (bitmap.pitch < 0 && bitmap.rows > 0)
    out->top_row -= static_cast<ptrdiff_t>(bitmap.pitch) * static_cast<ptrdiff_t>(bitmap.rows - 1);
  return true;
}

namespace {

// Glyph placement of the line: the factor is 62/81.
constexpr double kLineHeightFactor = 0.7654320987654321;
// Extra rows of a line box below its glyphs' extent.
constexpr int32_t kLineBoxPadding = 5;
constexpr FT_Int32 kMeasureFlags = FT_LOAD_NO_HINTING;
constexpr FT_Int32 kLoadFlags = FT_LOAD_NO_HINTING | FT_LOAD_RENDER;
constexpr uint16_t kReplacement = 0xFFFD;

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// trunc() into 32 bits; values beyond the range stay at its ends.
int32_t Trunc32(double v) {
  if (std::isnan(v)) return 0;
  return Clamp32(static_cast<int64_t>(std::clamp(v, -2147483648.0, 2147483647.0)));
}

// One measured glyph: where its bitmap would lie and how far it moves the
// pen, in whole pixels.
struct GlyphRecord {
  FT_UInt index;
  int32_t left;
  int32_t kerning;
  int32_t top;
  int32_t advance_after_left;
  uint32_t width;  // of its bitmap, in pixels
  uint32_t rows;
};

// The render's two work blocks, released on every way out.
struct WorkBuffers {
  uint16_t *units = nullptr;    // "temp str"
  GlyphRecord *cache = nullptr;
  FT_Bitmap converted{};        // a glyph of a pixel mode read no other way, as grey
  bool has_converted = false;

  ~WorkBuffers() {
    if (has_converted) FT_Bitmap_Done(ttfLibrary, &converted);
    SYS_MEMFREE(cache);
    SYS_MEMFREE(units);
  }
};

// UTF-8 to UCS-2. Each ill-formed sequence (a stray byte, a cut-off or
// overlong sequence, a surrogate) and each character outside the basic
// plane becomes one U+FFFD. Writes at most n units.
size_t DecodeUtf8(const uint8_t *s, size_t n, uint16_t *out) {
  size_t i = 0, m = 0;
  while (i < n) {
    const uint8_t b = s[i++];
    if (b < 0x80) {
      out[m++] = b;
      continue;
    }
    int need;
    uint32_t cp;
    uint8_t lo = 0x80, hi = 0xBF;  // range of the next continuation byte
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out[m++] = kReplacement;
      continue;
    }
    int got = 0;
    while (got < need && i < n && s[i] >= lo && s[i] <= hi) {
      cp = cp << 6 | (s[i++] & 0x3F);
      ++got;
      lo = 0x80;
      hi = 0xBF;
    }
    out[m++] = got == need && cp <= 0xFFFF ? static_cast<uint16_t>(cp) : kReplacement;
  }
  return m;
}

// Loads and renders one glyph into the face's slot and reads its coverage
// (converted to grey in the work buffers when its pixel mode asks for
// it); false when it cannot be rendered.
bool Rasterise(FT_Face ft, FT_UInt index, WorkBuffers *work, ttfCoverage *cov) {
  FT_Load_Glyph(ft, index, kLoadFlags);
  const FT_GlyphSlot slot = ft->glyph;
  if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;
  if (ttfCoverage::Of(slot->bitmap, cov)) return true;
  if (!work->has_converted) {
    FT_Bitmap_Init(&work->converted);
    work->has_converted = true;
  }
  return FT_Bitmap_Convert(ttfLibrary, &slot->bitmap, &work->converted, 1) == 0 &&
         ttfCoverage::Of(work->converted, cov);
}

// Whether the bitmap's level-0 pixels can take a text.
bool Drawable(const txBitmap *b) {
  if (b->type < 0 || b->type > 3 || b->subtype < 0 || b->subtype > 3) return false;
  if (b->bits != 8 && b->bits != 24 && b->bits != 32) return false;
  if (b->width <= 0 || b->height <= 0) return true;  // nothing can land in it
  const uint64_t bytes = uint64_t(b->width) * uint64_t(b->height) * uint64_t(b->bits / 8);
  return b->image[0] && b->imagesize[0] >= bytes;
}

}  // namespace

int32_t ttfInit() {
  SYS_ErrorClear();
  if (ttfLibrary) return 0;
  if (FT_Init_FreeType(&ttfLibrary) != 0) {
    ttfLibrary = nullptr;
    SYS_ErrorSet(13);
    return -1;
  }
  return 0;
}

int32_t ttfClose() {
  SYS_ErrorClear();
  return 0;
}

int32_t ttfNewFace(frFace *face) {
  SYS_ErrorClear();
  FT_Face ft = nullptr;
  if (!face || !ttfLibrary || !face->buffer || face->buffer_size <= 0 ||
      FT_New_Memory_Face(ttfLibrary, face->buffer, face->buffer_size, 0, &ft) != 0) {
    SYS_ErrorSet(10);
    return -1;
  }
  // Bitmap formats FreeType also opens have no em square to size by.
  if (ft->units_per_EM == 0) {
    FT_Done_Face(ft);
    SYS_ErrorSet(10);
    return -1;
  }
  face->reserved = 0;
  face->bold = (ft->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  face->italic = (ft->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  face->scalable = (ft->face_flags & FT_FACE_FLAG_SCALABLE) != 0;
  face->kerning = (ft->face_flags & FT_FACE_FLAG_KERNING) != 0;
  face->render = ttfRender;
  face->handler_face = ft;
  TTF_DEBUG("[fr][ttf] New font: '%s' (b: %d i: %d s: %d k: %d)\n", face->name, face->bold, face->italic,
            face->scalable, face->kerning);
  if (ft->face_flags & FT_FACE_FLAG_FIXED_WIDTH) TTF_DEBUG("[fr][ttf]  ! added font is fixed width\n");
  TTF_DEBUG("[fr][ttf]  - encodings:\n");
  for (FT_Int i = 0; i < ft->num_charmaps; ++i) {
    const uint32_t e = ft->charmaps[i]->encoding;
    const char tag[5] = {char(e >> 24), char(e >> 16), char(e >> 8), char(e), 0};
    TTF_DEBUG("[fr][ttf]    - %.4s\n", tag);
  }
  // A face without a Unicode map keeps its default map and is still used.
  if (FT_Select_Charmap(ft, FT_ENCODING_UNICODE) != 0) SYS_ErrorClear();
  return 0;
}

float ttfSizeForHeight(FT_Face face, int32_t h) {
  auto *os2 = face ? static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)) : nullptr;
  if (!os2) {
    TTF_DEBUG("[fr][ttf]  ! Warning: pOS2 table is NULL.\n");
    return 1.0f;
  }
  auto *hhea = static_cast<TT_HoriHeader *>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  if (!hhea) {
    TTF_DEBUG("[fr][ttf]  ! Warning: pHori table is NULL.\n");
    return 1.0f;
  }
  int64_t height = h == 0 ? 16 : h;
  if (height < 0) return static_cast<float>(-height);
  const int64_t em = face->units_per_EM;
  const int64_t win = int64_t(os2->usWinAscent) + int64_t(os2->usWinDescent);
  if (win != 0) return static_cast<float>(em * height / win);
  const int64_t line = int64_t(hhea->Ascender) - int64_t(hhea->Descender);
  if (line == 0) {
    // No line height at all: sized as a face without the table.
    TTF_DEBUG("[fr][ttf]  ! Warning: pHori table is NULL.\n");
    return 1.0f;
  }
  return static_cast<float>(em * height / line);
}

int32_t ttfRender(frFont *font, txBitmap *bitmap, const char *text, int32_t *width, int32_t *height) {
  SYS_ErrorClear();
  if (!font || !bitmap || !text || !font->face || !font->face->handler_face) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (!Drawable(bitmap)) {
    SYS_ErrorSet(1005);
    return -1;
  }
  TTF_DEBUG("[fr][ttf]  - rendering: %s...\n", text);
  // One glyph's bitmap is held at a time, so the size bounds what a
  // render holds. Sizes of 0 and below are FreeType's smallest, one pixel.
  if (font->size > TTF_MAX_SIZE) {
    SYS_ErrorSet(10);
    return -1;
  }
  frFace *face = font->face;
  auto ft = static_cast<FT_Face>(face->handler_face);
  if (face->scalable) {
    FT_Set_Char_Size(ft, 0, FT_F26Dot6(font->size) * 64, 0, 0);
  } else {
    TTF_DEBUG("[fr][ttf] !!!! WARNING : unable to set font size.\n");
  }

  // The line box.
  const double s = ttfSizeForHeight(ft, Trunc32(font->size * kLineHeightFactor) + 1);
  const double em = ft->units_per_EM;
  const int32_t boxTop = Trunc32(double(ft->bbox.yMax) / em * s + 1.0);
  const int32_t boxBottom = Trunc32(double(ft->bbox.yMin) / em * s - 1.0);
  const int64_t lineHeight = int64_t(boxTop) - boxBottom + kLineBoxPadding;

  // Code units of the text: at most one per byte.
  const size_t n = std::strlen(text);
  WorkBuffers work;
  // The tracked allocator sets no code of its own: the pending one stands.
  work.units = static_cast<uint16_t *>(SYS_MemGet(2 * n + 1, __FILE__, __LINE__, "temp str"));
  if (!work.units) return -1;
  work.cache = static_cast<GlyphRecord *>(
      SYS_MemGet(std::max<size_t>(n, 1) * sizeof(GlyphRecord), __FILE__, __LINE__, "cache"));
  if (!work.cache) {
    SYS_ErrorSet(5);
    return -1;
  }
  size_t m = n;
  if (font->encoding == FR_ENC_UTF8) {
    m = DecodeUtf8(reinterpret_cast<const uint8_t *>(text), n, work.units);
  } else if (font->encoding == FR_ENC_UCS2) {
    for (size_t i = 0; i < n; ++i) work.units[i] = static_cast<uint8_t>(text[i]);
  } else {
    // A set without a conversion row leaves the units 0.
    uint32_t bytes = 0;
    SYS_CharsetConvert(font->encoding, SYS_CHARSET_UCS2, text, int32_t(std::min<size_t>(n, INT32_MAX)),
                       work.units, &bytes);
    SYS_ErrorClear();
  }

  // Measure: without FT_LOAD_RENDER FreeType still gives the bitmap box
  // the glyph will have when rendered.
  int64_t totalWidth = 0;
  uint32_t maxRows = 0;
  int64_t minTop = std::numeric_limits<int32_t>::max();
  uint16_t prev = 0;
  FT_UInt prevIndex = 0;
  for (size_t i = 0; i < m; ++i) {
    const uint16_t c = work.units[i];
    GlyphRecord &rec = work.cache[i];
    rec = GlyphRecord{};
    rec.index = FT_Get_Char_Index(ft, c);
    FT_Load_Glyph(ft, rec.index, kMeasureFlags);
    if (face->kerning && i > 0 && prev != 0 && c != 0) {
      FT_Vector kern{0, 0};
      FT_Get_Kerning(ft, prevIndex, rec.index, FT_KERNING_DEFAULT, &kern);
      rec.kerning = Clamp32((kern.x + 32) >> 6);
    }
    const FT_GlyphSlot slot = ft->glyph;
    rec.left = slot->bitmap_left;
    rec.top = slot->bitmap_top;
    rec.width = slot->bitmap.width;
    rec.rows = slot->bitmap.rows;
    const int64_t advance = slot->advance.x >> 6;
    rec.advance_after_left = Clamp32(advance - rec.left);
    totalWidth += advance;
    maxRows = std::max(maxRows, rec.rows);
    if (rec.top != 0) minTop = std::min<int64_t>(minTop, rec.top);
    prev = c;
    prevIndex = rec.index;
  }

  const int32_t reportedWidth = Clamp32(totalWidth);
  const int32_t reportedHeight = Clamp32(std::max<int64_t>(0, 2 * int64_t(maxRows) - minTop));
  if (width) *width = reportedWidth;
  if (height) *height = reportedHeight;
  TTF_DEBUG("[fr][ttf]  - bitmap size: %dx%d, top: %d\n", reportedWidth, reportedHeight, int32_t(minTop));

  // Place.
  const int64_t W = bitmap->width, H = bitmap->height;
  int64_t x0 = font->x, y0 = font->y;
  switch (font->halign) {
    case FR_HALIGN_LEFT: x0 = 0; break;
    case FR_HALIGN_RIGHT: x0 = W - reportedWidth; break;
    case FR_HALIGN_CENTER: x0 = (W - reportedWidth) / 2; break;
    default: break;
  }
  switch (font->valign) {
    case FR_VALIGN_TOP: y0 = 0; break;
    case FR_VALIGN_BOTTOM: y0 = H - lineHeight; break;
    case FR_VALIGN_CENTER: y0 = (H - lineHeight) / 2; break;
    default: break;
  }

  // Draw the glyphs whose box meets the image, dropping every glyph pixel
  // outside it.
  const int64_t B = bitmap->bits / 8;
  const uint32_t c0 = font->color >> 24, c1 = (font->color >> 16) & 255, c2 = (font->color >> 8) & 255;
  const uint32_t a0 = font->color & 255;
  uint8_t *pixels = bitmap->image[0];
  int64_t pen = 0;
  // The glyph in the slot: a run of one character is rasterised once.
  ttfCoverage cov{};
  bool rasterised = false;
  FT_UInt inSlot = 0;
  for (size_t i = 0; i < m; ++i) {
    const GlyphRecord &rec = work.cache[i];
    if (i > 0) pen += int64_t(rec.left) + rec.kerning;
    const int64_t left = x0 + pen;
    const int64_t top = y0 + int64_t(maxRows) - rec.top;
    pen += rec.advance_after_left;
    if (left >= W || top >= H || left + int64_t(rec.width) <= 0 || top + int64_t(rec.rows) <= 0) continue;
    if (!rasterised || rec.index != inSlot) {
      rasterised = Rasterise(ft, rec.index, &work, &cov);
      inSlot = rec.index;
      if (!rasterised) {
        TTF_DEBUG("[fr][ttf]  ! FT_Render_Glyph 0x%04x (char '%c') failed.\n", unsigned(work.units[i]), text[i]);
        SYS_ErrorSet(10);
        return -1;
      }
    }
    const int64_t kBegin = std::max<int64_t>(0, -left);
    const int64_t kEnd = std::min<int64_t>(cov.width, W - left);
    const int64_t rBegin = std::max<int64_t>(0, -top);
    const int64_t rEnd = std::min<int64_t>(cov.rows, H - top);
    for (int64_t r = rBegin; r < rEnd; ++r) {
      for (int64_t k = kBegin; k < kEnd; ++k) {
        const uint32_t v = cov.At(uint32_t(r), uint32_t(k));
        if (v == 0) continue;
        const uint32_t a = v * a0 / 255;
        uint8_t *p = pixels + ((r + top) * W + left + k) * B;
        p[0] = uint8_t((p[0] * (255 - a) + c0 * a) / 255);
        if (B != 1) {
          p[1] = uint8_t((p[1] * (255 - a) + c1 * a) / 255);
          p[2] = uint8_t((p[2] * (255 - a) + c2 * a) / 255);
        }
        if (B == 4) p[3] = uint8_t((p[3] * (255 - a) + 255 * a) / 255);
      }
    }
  }
  return 0;
}
