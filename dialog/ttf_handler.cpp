// The "TTF" font handler on FreeType.
//
// A render is two passes over the text. Measuring loads each distinct
// glyph once, without rasterising it: FreeType gives the bitmap a glyph
// would have (its box, bearings and advance), so the pass finds the text's
// width, its tallest glyph and its highest top, and keeps a few numbers per
// character. It also keeps FreeType's copy of each distinct glyph: a small
// one rendered there and then from the same load, a larger one as its
// outline. Drawing then places the line by the font's alignment or position
// and blends only the glyphs whose box meets the image, a large one
// rendered from its outline where it first lands and its coverage kept for
// its next places. So a repeated character costs one load and one
// rendering, and large glyphs, whose rendering is what costs, are rendered
// only where they land. What is kept is bounded (kKeptBytes): past it a
// glyph is loaded again where it lands, or its coverage dropped once drawn,
// so a render's memory is bounded whatever the line's length.
//
// A coverage read at one place and kept for the next ones points only into
// storage nothing else writes until it is dropped: a glyph loaded again
// lives in the face's slot, and a pixel mode that must be converted to grey
// is converted into a buffer of its own, apart from the one every other
// glyph's conversion reuses.
//
// A glyph whose bitmap would be very large (a face whose outlines reach far
// beyond its em) is never rendered whole: only the part of it that meets
// the image is, a band of rows at a time, by FreeType's own rasteriser on
// the same outline placed as FreeType places it, with a clipping box. Its
// pixels are the whole rendering's, and what it costs is bounded by the
// image, not by the glyph.
//
// A glyph that does not load leaves the slot as FreeType left it and the
// line goes on; a glyph that lands but cannot be rendered fails the call
// with code 10 (what was drawn before it stays), and only then: one that
// failed to render as it was measured but never lands costs nothing.
//
// A text is read up to its 0 byte and no further, whatever its encoding:
// UTF-8 is decoded inside those bytes, and a UCS-2 font takes each byte as
// one code unit (Latin-1 is UCS-2's first 256 units), so the narrow titles
// of the widget files read the same in either.
#include "dialog/ttf_handler.h"

#include FT_BITMAP_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "framework/charset.h"
#include "framework/log.h"
#include "framework/memory.h"

FT_Library ttfLibrary = nullptr;

const frHandler ttfHandler = {"TTF", ttfInit, ttfClose, ttfNewFace, ttfRender, ttfFreeFace};

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
// Bytes of glyphs a render keeps between their load and their drawing:
// FreeType's copy of each distinct glyph as it is measured, then the
// coverage of each large one that lands in place of its outline, so that
// its next places draw without rendering it again. It bounds what a render
// holds whatever the text: a dialog line keeps a few kilobytes, a line of
// every glyph of a large face or of many distinct glyphs landing at the
// largest sizes fills it. A glyph measured once it is full is loaded again
// where it lands, and a coverage that does not fit is dropped once drawn.
// A build may set it lower (the fuzz build does, so that its small inputs
// reach the glyphs loaded again).
#ifdef EMBER_TTF_KEPT_BYTES
constexpr size_t kKeptBytes = EMBER_TTF_KEPT_BYTES;
#else
constexpr size_t kKeptBytes = size_t(4) << 20;
#endif
// A glyph whose bitmap has at most this many pixels (a letter up to some
// 40 pixels in size) is rendered as it is measured, from the same load:
// that costs about what keeping its outline and rendering it later costs,
// and most glyphs of a dialog line land. A larger one is rendered only if
// it lands: rendering is what a line of big glyphs spends its time on.
constexpr size_t kSmallGlyphPixels = 1024;
// A glyph whose bitmap would pass this many pixels (four times what the
// largest size gives a letter of an ordinary face) is rendered only where
// it meets the image, in bands of at most kBandPixels. A build may set it
// lower (the fuzz build does, so that its inputs reach that rendering).
#ifdef EMBER_TTF_WINDOW_PIXELS
constexpr uint64_t kWindowPixels = EMBER_TTF_WINDOW_PIXELS;
#else
constexpr uint64_t kWindowPixels = uint64_t(1) << 22;
#endif
constexpr uint64_t kBandPixels = uint64_t(1) << 18;
// FreeType renders an outline that may overlap itself at four times the
// size in each direction and averages.
constexpr int kOverlapScale = 4;

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// trunc() into 32 bits; values beyond the range stay at its ends.
int32_t Trunc32(double v) {
  if (std::isnan(v)) return 0;
  return Clamp32(static_cast<int64_t>(std::clamp(v, -2147483648.0, 2147483647.0)));
}

// What a render keeps of a distinct glyph, and so how it draws.
enum class Kept : uint8_t {
  kNothing,    // no pixels to draw: no outline points, or an empty bitmap
  kOutline,    // rendered where it first lands
  kBitmap,     // rendered: its coverage is read where it lands
  kFailed,     // FreeType could not render it: the call fails if it lands
  kRasterise,  // nothing: loaded again and rendered where it lands
};

// One distinct glyph of the text, loaded once: where its bitmap lies from
// the pen and how far it moves the pen, in whole pixels, and what is kept.
struct GlyphRecord {
  int64_t advance;
  FT_Glyph glyph;  // FreeType's copy of the slot, for kOutline and kBitmap
  size_t bytes;    // that copy's size
  FT_UInt index;
  int32_t left;
  int32_t top;
  uint32_t width;  // of its bitmap, in pixels
  uint32_t rows;
  Kept kept;
  bool rendersWhole;  // found to, once: a very large glyph is checked where it first lands
};

// One character of the text: its entry among the distinct glyphs and the
// kerning that moves it.
struct CharRecord {
  uint32_t glyph;
  int32_t kerning;
};

// Whether bytes more fit beside what is kept. Nothing is kept past the cap,
// so neither sum can wrap.
bool Fits(size_t kept, size_t bytes) { return bytes <= kKeptBytes && kept + bytes <= kKeptBytes; }

// A glyph's bitmap of a pixel mode read no other way, converted to grey.
struct Converted {
  FT_Bitmap bitmap{};
  bool made = false;
  ~Converted() {
    if (made) FT_Bitmap_Done(ttfLibrary, &bitmap);
  }
};

// The render's work blocks, released on every way out. The "cache" block
// holds the distinct glyphs, then a record per character, then the table
// that finds a glyph index among the distinct glyphs.
struct WorkBuffers {
  uint16_t *units = nullptr;  // "temp str"
  uint8_t *cache = nullptr;
  uint8_t *band = nullptr;    // a band of a very large glyph, as it lands
  size_t bandBytes = 0;
  GlyphRecord *glyphs = nullptr;  // in the cache block
  uint32_t distinct = 0;          // glyph records filled
  FT_Glyph drawn = nullptr;       // a rendered glyph that was not kept
  Converted converted;            // read and drawn at one place, then reused
  Converted reloaded;             // the glyph in the slot, for the run of its places

  ~WorkBuffers() {
    FT_Done_Glyph(drawn);
    for (uint32_t i = 0; i < distinct; ++i) FT_Done_Glyph(glyphs[i].glyph);
    SYS_MEMFREE(band);
    SYS_MEMFREE(cache);
    SYS_MEMFREE(units);
  }

  // The band buffer, at least bytes long and zero-filled; null when it
  // cannot be had.
  uint8_t *Band(size_t bytes) {
    if (bytes > bandBytes) {
      SYS_MEMFREE(band);
      bandBytes = 0;
      band = static_cast<uint8_t *>(SYS_MemGet(bytes, __FILE__, __LINE__, "glyph band"));
      if (!band) return nullptr;
      bandBytes = bytes;
    }
    std::memset(band, 0, bytes);
    return band;
  }
};

// Distinct glyphs by glyph index: open addressing over a power-of-two
// table of entry numbers plus one, where 0 (as the tracked allocator hands
// the block over) is empty. Fibonacci hashing spreads the neighbouring
// indices of a script's letters.
struct GlyphTable {
  const GlyphRecord *glyphs;
  uint32_t *slots;
  uint32_t shift;  // 32 less the table's bits

  // The slot that holds index's entry number, or the empty one where it goes.
  uint32_t &Find(FT_UInt index) const {
    const uint32_t mask = ~0u >> shift;
    uint32_t at = (uint32_t(index) * 2654435769u) >> shift;
    while (slots[at] != 0 && glyphs[slots[at] - 1].index != index) at = (at + 1) & mask;
    return slots[at];
  }
};

size_t BitmapBytes(const FT_Bitmap &bitmap) {
  return sizeof(FT_BitmapGlyphRec) + size_t(std::abs(bitmap.pitch)) * bitmap.rows;
}

// Bytes FreeType takes to copy the slot's glyph, from its points or rows.
size_t CopyBytes(const FT_GlyphSlot slot) {
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return BitmapBytes(slot->bitmap);
  return sizeof(FT_OutlineGlyphRec) + size_t(std::max<int>(slot->outline.n_points, 0)) * (sizeof(FT_Vector) + 1) +
         size_t(std::max<int>(slot->outline.n_contours, 0)) * sizeof(short);
}

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

// The window a glyph's spans land in: w columns from column k0, and rows
// from row r0, of the glyph's whole bitmap of `rows` rows. Spans count
// their rows from the bottom one up.
struct WindowTarget {
  uint8_t *pixels;
  uint32_t w, k0, r0, rows;
};

// The window row of a span's row; FreeType's span columns are 16 bits wide
// and never negative here (the whole bitmap starts at column 0).
uint8_t *WindowRow(const WindowTarget &t, int y, int scale) {
  return t.pixels + size_t(t.rows - 1 - uint32_t(y / scale) - t.r0) * t.w;
}

// Each span's coverage, as FreeType writes it into a bitmap.
void WindowSpans(int y, int count, const FT_Span *spans, void *user) {
  const auto &t = *static_cast<const WindowTarget *>(user);
  uint8_t *const row = WindowRow(t, y, 1);
  for (; count--; spans++) std::memset(row + (uint16_t(spans->x) - t.k0), spans->coverage, spans->len);
}

// FreeType's averaging of the spans of an outline rendered at four times
// its size: each pixel sums its sixteen cells, a full one making 255.
void OverlapSpans(int y, int count, const FT_Span *spans, void *user) {
  const auto &t = *static_cast<const WindowTarget *>(user);
  uint8_t *const row = WindowRow(t, y, kOverlapScale);
  constexpr unsigned kCells = kOverlapScale * kOverlapScale;
  for (; count--; spans++) {
    const unsigned cover = (spans->coverage + kCells / 2) / kCells;
    for (unsigned x = 0; x < spans->len; ++x) {
      uint8_t &pixel = row[(uint16_t(spans->x) + x) / kOverlapScale - t.k0];
      const unsigned sum = pixel + cover;
      pixel = uint8_t(sum - (sum >> 8));
    }
  }
}

// A bitmap's coverage, converted to grey into `into` when its pixel mode
// asks for it; the conversion may move that buffer.
bool Read(const FT_Bitmap &bitmap, Converted *into, ttfCoverage *cov) {
  if (ttfCoverage::Of(bitmap, cov)) return true;
  if (!into->made) {
    FT_Bitmap_Init(&into->bitmap);
    into->made = true;
  }
  return FT_Bitmap_Convert(ttfLibrary, &bitmap, &into->bitmap, 1) == 0 && ttfCoverage::Of(into->bitmap, cov);
}

// Loads and renders one glyph into the face's slot and reads its coverage,
// which stays good until the next call; false when it cannot be rendered.
bool Rasterise(FT_Face ft, FT_UInt index, WorkBuffers *work, ttfCoverage *cov) {
  FT_Load_Glyph(ft, index, kLoadFlags);
  const FT_GlyphSlot slot = ft->glyph;
  if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;
  return Read(slot->bitmap, &work->reloaded, cov);
}

// The font's colour bytes and opacity.
struct Ink {
  uint32_t colour[3];
  uint32_t alpha;
};

#if defined(__SSE2__)
// x / 255, exactly, in each 16-bit lane holding at most 255 * 255.
inline __m128i Div255(__m128i x) {
  return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, _mm_set1_epi16(1)), _mm_srli_epi16(x, 8)), 8);
}

// Blends grey coverage over 32-bit pixels four at a time, with Blend's own
// sums in 16-bit lanes (no sum passes 255 * 255, and an uncovered pixel
// comes back as it was); returns the first column left, p moved to it.
int64_t BlendGrey4(const uint8_t *grey, int64_t k, int64_t end, const Ink &ink, uint8_t *&p) {
  const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255);
  const __m128i alpha = _mm_set1_epi16(int16_t(ink.alpha));
  const auto c0 = int16_t(ink.colour[0]), c1 = int16_t(ink.colour[1]), c2 = int16_t(ink.colour[2]);
  const __m128i colour = _mm_set_epi16(255, c2, c1, c0, 255, c2, c1, c0);
  for (; k + 4 <= end; k += 4, p += 16) {
    uint32_t four;
    std::memcpy(&four, grey + k, 4);
    if (four == 0) continue;
    const __m128i v = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(four)), zero);
    const __m128i a = Div255(_mm_mullo_epi16(v, alpha));
    const __m128i pairs = _mm_unpacklo_epi16(a, a);
    const __m128i a01 = _mm_unpacklo_epi32(pairs, pairs), a23 = _mm_unpackhi_epi32(pairs, pairs);
    const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i p01 = _mm_unpacklo_epi8(px, zero), p23 = _mm_unpackhi_epi8(px, zero);
    const __m128i lo = Div255(_mm_add_epi16(_mm_mullo_epi16(p01, _mm_sub_epi16(full, a01)), _mm_mullo_epi16(colour, a01)));
    const __m128i hi = Div255(_mm_add_epi16(_mm_mullo_epi16(p23, _mm_sub_epi16(full, a23)), _mm_mullo_epi16(colour, a23)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm_packus_epi16(lo, hi));
  }
  return k;
}
#endif

// Blends one row of a coverage, its columns [begin, end), over B-byte
// pixels from p on.
template <int B>
void Blend(const ttfCoverage &cov, uint32_t row, int64_t begin, int64_t end, const Ink &ink, uint8_t *p) {
  // The grey of a rendered outline is read as it stands.
  const uint8_t *grey = !cov.mono && cov.levels == 256 ? cov.top_row + ptrdiff_t(row) * cov.pitch : nullptr;
#if defined(__SSE2__)
  if constexpr (B == 4)
    if (grey) begin = BlendGrey4(grey, begin, end, ink, p);
#endif
  for (int64_t k = begin; k < end; ++k, p += B) {
    const uint32_t v = grey ? grey[k] : cov.At(row, uint32_t(k));
    if (v == 0) continue;
    const uint32_t a = v * ink.alpha / 255, keep = 255 - a;
    p[0] = uint8_t((p[0] * keep + ink.colour[0] * a) / 255);
    if constexpr (B != 1) {
      p[1] = uint8_t((p[1] * keep + ink.colour[1] * a) / 255);
      p[2] = uint8_t((p[2] * keep + ink.colour[2] * a) / 255);
    }
    if constexpr (B == 4) p[3] = uint8_t((p[3] * keep + 255 * a) / 255);
  }
}

// Blend for the image's bytes per pixel.
void BlendRow(const ttfCoverage &cov, uint32_t row, int64_t begin, int64_t end, const Ink &ink, int64_t B,
              uint8_t *p) {
  if (B == 4) {
    Blend<4>(cov, row, begin, end, ink, p);
  } else if (B == 3) {
    Blend<3>(cov, row, begin, end, ink, p);
  } else {
    Blend<1>(cov, row, begin, end, ink, p);
  }
}

// Draws the part of a very large glyph that meets the image, a band of rows
// at a time; false when it cannot be rendered. `rendersWhole` is the
// glyph's: set once it was found to, so that its other places skip that.
bool DrawWindowed(const FT_Outline &outline, const ttfGlyphBox &box, int64_t left, int64_t top, int64_t W,
                  int64_t H, int64_t B, uint8_t *pixels, const Ink &ink, WorkBuffers *work, bool &rendersWhole) {
  const auto k0 = uint32_t(std::max<int64_t>(0, -left)), k1 = uint32_t(std::min<int64_t>(box.width, W - left));
  const auto r0 = uint32_t(std::max<int64_t>(0, -top)), r1 = uint32_t(std::min<int64_t>(box.rows, H - top));
  // The whole glyph is rasterised first, keeping nothing, so that it
  // fails where FreeType's whole rendering fails (a row of more cells than
  // its rasteriser holds, say), before any of it is drawn. The outline is
  // the same at every place, and so is the answer.
  if (!rendersWhole && !ttfRendersWhole(outline, box)) return false;
  rendersWhole = true;
  if (k0 >= k1 || r0 >= r1) return true;
  const uint32_t w = k1 - k0;
  const uint32_t band = uint32_t(std::clamp<uint64_t>(kBandPixels / w, 1, r1 - r0));
  for (uint32_t b = r0; b < r1; b += band) {
    const uint32_t e = std::min(r1, b + band);
    uint8_t *buffer = work->Band(size_t(w) * (e - b));
    if (!buffer || !ttfRenderWindow(outline, box, k0, k1, b, e, buffer)) return false;
    ttfCoverage cov{buffer, ptrdiff_t(w), e - b, w, false, 256};
    for (uint32_t r = b; r < e; ++r)
      BlendRow(cov, r - b, 0, w, ink, B, pixels + ((int64_t(r) + top) * W + left + k0) * B);
  }
  return true;
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

uint64_t ttfWindowPixels = kWindowPixels;

namespace {

// The glyph's box within FreeType's limits for a whole rendering: its
// pixel box in 16 bits, a bitmap FreeType's allocator takes (no more rows
// than INT_MAX over the pitch, a grey row's width), and an overlapping
// outline's oversampled columns too.
bool BoxRenders(const FT_Outline &outline, const ttfGlyphBox &box) {
  if (int64_t(box.left) < -0x8000 || int64_t(box.left) + box.width > 0x7FFF ||
      int64_t(box.top) - box.rows < -0x8000 || box.top > 0x7FFF)
    return false;
  if (box.width == 0 || box.rows == 0) return true;  // FreeType renders nothing
  if (box.rows > uint32_t(std::numeric_limits<int>::max()) / box.width) return false;
  return !(outline.flags & FT_OUTLINE_OVERLAP) || uint64_t(box.width) * kOverlapScale <= 0x7FFF;
}

void NoSpans(int, int, const FT_Span *, void *) {}

// Rasterises the outline placed in its whole bitmap as FreeType places it,
// every coordinate as in FreeType's own rendering, within the columns
// [k0, k1) and rows [r0, r1) of that bitmap, handing the spans to `spans`.
// Only the clipping box differs from the whole rendering, and the
// rasteriser's cells outside it change nothing inside it.
bool RenderClipped(const FT_Outline &outline, const ttfGlyphBox &box, uint32_t k0, uint32_t k1, uint32_t r0,
                   uint32_t r1, FT_SpanFunc spans, void *user) {
  if (k0 == k1 || r0 == r1 || outline.n_points <= 0 || outline.n_contours <= 0) return true;
  FT_Outline moved;
  if (FT_Outline_New(ttfLibrary, FT_UInt(outline.n_points), outline.n_contours, &moved) != 0) return false;
  FT_Outline_Copy(&outline, &moved);
  FT_Outline_Translate(&moved, -64 * FT_Pos(box.left), 64 * (FT_Pos(box.rows) - box.top));
  const bool overlap = (outline.flags & FT_OUTLINE_OVERLAP) != 0;
  const int scale = overlap ? kOverlapScale : 1;
  if (overlap) {
    for (int i = 0; i < moved.n_points; ++i) {
      moved.points[i].x *= kOverlapScale;
      moved.points[i].y *= kOverlapScale;
    }
  }
  FT_Raster_Params params{};
  params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
  params.gray_spans = spans;
  params.user = user;
  params.clip_box = {FT_Pos(k0) * scale, (FT_Pos(box.rows) - r1) * scale, FT_Pos(k1) * scale,
                     (FT_Pos(box.rows) - r0) * scale};
  const FT_Error error = FT_Outline_Render(ttfLibrary, &moved, &params);
  FT_Outline_Done(ttfLibrary, &moved);
  return error == 0;
}

}  // namespace

bool ttfRendersWhole(const FT_Outline &outline, const ttfGlyphBox &box) {
  return BoxRenders(outline, box) && RenderClipped(outline, box, 0, box.width, 0, box.rows, NoSpans, nullptr);
}

bool ttfRenderWindow(const FT_Outline &outline, const ttfGlyphBox &box, uint32_t k0, uint32_t k1, uint32_t r0,
                     uint32_t r1, uint8_t *window) {
  if (!BoxRenders(outline, box) || k1 > box.width || r1 > box.rows || k0 > k1 || r0 > r1) return false;
  WindowTarget target{window, k1 - k0, k0, r0, box.rows};
  const bool overlap = (outline.flags & FT_OUTLINE_OVERLAP) != 0;
  return RenderClipped(outline, box, k0, k1, r0, r1, overlap ? OverlapSpans : WindowSpans, &target);
}

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

void ttfFreeFace(frFace *face) {
  if (!face || !face->handler_face) return;
  FT_Done_Face(static_cast<FT_Face>(face->handler_face));
  face->handler_face = nullptr;
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
  // The size bounds a glyph's bitmap, and so what a render holds beyond
  // what it keeps. Sizes of 0 and below are FreeType's smallest, one pixel.
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
  // No more distinct glyphs than characters, nor than the face has: the
  // character map gives no index past its glyphs.
  const size_t chars = std::max<size_t>(n, 1);
  const size_t distinct = std::min<size_t>(chars, size_t(std::max<FT_Long>(ft->num_glyphs, 1)));
  uint32_t bits = 4;
  while ((size_t(1) << bits) < 2 * distinct) ++bits;
  work.cache = static_cast<uint8_t *>(SYS_MemGet(distinct * sizeof(GlyphRecord) + chars * sizeof(CharRecord) +
                                                     (size_t(1) << bits) * sizeof(uint32_t),
                                                 __FILE__, __LINE__, "cache"));
  if (!work.cache) {
    SYS_ErrorSet(5);
    return -1;
  }
  GlyphRecord *const glyphs = work.glyphs = reinterpret_cast<GlyphRecord *>(work.cache);
  auto *records = reinterpret_cast<CharRecord *>(glyphs + distinct);
  const GlyphTable table{glyphs, reinterpret_cast<uint32_t *>(records + chars), 32 - bits};
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

  // Measure: each distinct glyph is loaded once, without FT_LOAD_RENDER,
  // which still gives the bitmap box it has when rendered. FreeType's copy
  // of it is kept: rendered already when it is small, else its outline.
  size_t kept = 0;
  int64_t totalWidth = 0;
  uint32_t maxRows = 0;
  int64_t minTop = std::numeric_limits<int32_t>::max();
  uint16_t prev = 0;
  FT_UInt prevIndex = 0;
  for (size_t i = 0; i < m; ++i) {
    const uint16_t c = work.units[i];
    FT_UInt index = FT_Get_Char_Index(ft, c);
    // FreeType maps no character past the face's glyphs, which bound the
    // glyph records.
    if (index >= FT_UInt(std::max<FT_Long>(ft->num_glyphs, 1))) index = 0;
    uint32_t &entry = table.Find(index);
    if (entry == 0) {
      GlyphRecord &g = glyphs[work.distinct];
      entry = ++work.distinct;
      g = GlyphRecord{};
      g.index = index;
      FT_Load_Glyph(ft, index, kMeasureFlags);
      const FT_GlyphSlot slot = ft->glyph;
      g.left = slot->bitmap_left;
      g.top = slot->bitmap_top;
      g.width = slot->bitmap.width;
      g.rows = slot->bitmap.rows;
      g.advance = slot->advance.x >> 6;
      const bool outline = slot->format == FT_GLYPH_FORMAT_OUTLINE;
      const bool small = size_t(g.width) * g.rows <= kSmallGlyphPixels;
      g.kept = Kept::kRasterise;
      if (outline ? slot->outline.n_points == 0
                  : slot->format == FT_GLYPH_FORMAT_BITMAP && (slot->bitmap.width == 0 || slot->bitmap.rows == 0)) {
        g.kept = Kept::kNothing;
      } else if (!Fits(kept, small ? BitmapBytes(slot->bitmap) : CopyBytes(slot))) {
        // Kept nothing: loaded again if it lands.
      } else if (small && slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) {
        g.kept = Kept::kFailed;
      } else if (!Fits(kept, CopyBytes(slot))) {
        // Rendered larger than the box it was measured by: not kept either.
      } else if (FT_Get_Glyph(slot, &g.glyph) == 0) {
        g.bytes = CopyBytes(slot);
        kept += g.bytes;
        g.kept = g.glyph->format == FT_GLYPH_FORMAT_BITMAP ? Kept::kBitmap : Kept::kOutline;
      }
    }
    const GlyphRecord &g = glyphs[entry - 1];
    CharRecord &rec = records[i];
    rec = CharRecord{entry - 1, 0};
    if (face->kerning && i > 0 && prev != 0 && c != 0) {
      FT_Vector kern{0, 0};
      FT_Get_Kerning(ft, prevIndex, index, FT_KERNING_DEFAULT, &kern);
      rec.kerning = Clamp32((kern.x + 32) >> 6);
    }
    totalWidth += g.advance;
    maxRows = std::max(maxRows, g.rows);
    if (g.top != 0) minTop = std::min<int64_t>(minTop, g.top);
    prev = c;
    prevIndex = index;
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
  const Ink ink{{font->color >> 24, (font->color >> 16) & 255, (font->color >> 8) & 255}, font->color & 255};
  uint8_t *pixels = bitmap->image[0];
  int64_t pen = 0;
  // The glyph loaded again into the slot, or rendered and not kept: a run
  // of one character is rendered once.
  ttfCoverage again{};
  bool rasterised = false;
  FT_UInt inSlot = 0;
  FT_UInt inDrawn = 0;
  for (size_t i = 0; i < m; ++i) {
    const CharRecord &rec = records[i];
    GlyphRecord &g = glyphs[rec.glyph];
    if (i > 0) pen += int64_t(g.left) + rec.kerning;
    const int64_t left = x0 + pen;
    const int64_t top = y0 + int64_t(maxRows) - g.top;
    pen += Clamp32(g.advance - g.left);
    if (left >= W || top >= H || left + int64_t(g.width) <= 0 || top + int64_t(g.rows) <= 0) continue;
    if (uint64_t(g.width) * g.rows > ttfWindowPixels && (g.kept == Kept::kOutline || g.kept == Kept::kRasterise)) {
      const FT_Outline *outline = nullptr;
      if (g.kept == Kept::kOutline) {
        outline = &reinterpret_cast<FT_OutlineGlyph>(g.glyph)->outline;
      } else {
        FT_Load_Glyph(ft, g.index, kMeasureFlags);
        rasterised = false;  // the slot no longer holds a rendered glyph
        if (ft->glyph->format == FT_GLYPH_FORMAT_OUTLINE) outline = &ft->glyph->outline;
      }
      if (outline) {
        if (!DrawWindowed(*outline, ttfGlyphBox{g.left, g.top, g.width, g.rows}, left, top, W, H, B, pixels, ink,
                          &work, g.rendersWhole)) {
          TTF_DEBUG("[fr][ttf]  ! FT_Render_Glyph 0x%04x (char '%c') failed.\n", unsigned(work.units[i]), text[i]);
          SYS_ErrorSet(10);
          return -1;
        }
        continue;
      }
    }
    bool rendered = true;
    ttfCoverage cov{};
    switch (g.kept) {
      case Kept::kNothing: continue;
      case Kept::kOutline:
        if (!work.drawn || inDrawn != g.index) {
          // Its coverage takes the outline's place if the kept bytes have
          // room for it; else it goes once drawn and the outline stays.
          FT_Done_Glyph(work.drawn);
          work.drawn = g.glyph;
          if (FT_Glyph_To_Bitmap(&work.drawn, FT_RENDER_MODE_NORMAL, nullptr, 0) != 0) {
            work.drawn = nullptr;
            rendered = false;
            break;
          }
          inDrawn = g.index;
          const size_t bytes = BitmapBytes(reinterpret_cast<FT_BitmapGlyph>(work.drawn)->bitmap);
          if (Fits(kept - g.bytes, bytes)) {
            FT_Done_Glyph(g.glyph);
            kept = kept - g.bytes + bytes;
            g.glyph = work.drawn;
            g.bytes = bytes;
            g.kept = Kept::kBitmap;
            work.drawn = nullptr;
          }
        }
        rendered = Read(reinterpret_cast<FT_BitmapGlyph>(work.drawn ? work.drawn : g.glyph)->bitmap,
                        &work.converted, &cov);
        break;
      case Kept::kBitmap:
        rendered = Read(reinterpret_cast<FT_BitmapGlyph>(g.glyph)->bitmap, &work.converted, &cov);
        break;
      case Kept::kFailed: rendered = false; break;
      case Kept::kRasterise:
        if (!rasterised || g.index != inSlot) {
          rasterised = Rasterise(ft, g.index, &work, &again);
          inSlot = g.index;
        }
        rendered = rasterised;
        cov = again;
        break;
    }
    if (!rendered) {
      TTF_DEBUG("[fr][ttf]  ! FT_Render_Glyph 0x%04x (char '%c') failed.\n", unsigned(work.units[i]), text[i]);
      SYS_ErrorSet(10);
      return -1;
    }
    const int64_t kBegin = std::max<int64_t>(0, -left);
    const int64_t kEnd = std::min<int64_t>(cov.width, W - left);
    const int64_t rBegin = std::max<int64_t>(0, -top);
    const int64_t rEnd = std::min<int64_t>(cov.rows, H - top);
    for (int64_t r = rBegin; r < rEnd && kBegin < kEnd; ++r)
      BlendRow(cov, uint32_t(r), kBegin, kEnd, ink, B, pixels + ((r + top) * W + left + kBegin) * B);
  }
  return 0;
}
