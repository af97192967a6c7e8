// Pixel converters and box-filter shrinking; see convert.h.
//
// Each converter builds its result in a new level-0 buffer and swaps it in
// only once everything succeeded, so a failure never leaves a half-changed
// bitmap. A bitmap whose level-0 buffer is smaller than its fields promise
// is refused rather than read past its end.
#include "texture/convert.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/sys.h"

namespace {

// Number of level-0 pixels, or false when the fields do not fit the buffer.
bool levelPixels(const txBitmap *bitmap, size_t *pixels) {
  size_t bytes = 0;
  if (!bitmap->image[0] || txSampleLayout(bitmap) || !txPixelBytes(bitmap->width, bitmap->height, bitmap->bits, &bytes) ||
      bitmap->imagesize[0] < bytes)
    return false;
  *pixels = size_t(bitmap->width) * size_t(bitmap->height);
  return true;
}

void replaceLevel0(txBitmap *bitmap, uint8_t *buffer, size_t bytes, int32_t bits) {
  SYS_MEMFREE(bitmap->image[0]);
  bitmap->image[0] = buffer;
  bitmap->imagesize[0] = uint32_t(bytes);
  bitmap->bits = bits;
}

// Changes level 0 to `toBytes` bytes per pixel; `fill` prepares the new
// buffer, then the first `keep` bytes of each source pixel are copied.
int32_t repack(txBitmap *bitmap, int32_t toBits, size_t keep, int fill, const char *tag) {
  size_t pixels = 0;
  if (!levelPixels(bitmap, &pixels)) {
    SYS_ErrorSet(TX_ERR_FORMAT);
    return -1;
  }
  size_t bytes = 0;
  if (!txPixelBytes(bitmap->width, bitmap->height, toBits, &bytes)) {
    SYS_ErrorSet(5);
    return -1;
  }
  uint8_t *out = static_cast<uint8_t *>(SYS_MemGet(bytes, __FILE__, __LINE__, tag));
  if (!out) {
    SYS_ErrorSet(5);
    return -1;
  }
  if (fill >= 0) std::memset(out, fill, bytes);
  const size_t from = size_t(bitmap->bits / 8), to = size_t(toBits / 8);
  const uint8_t *src = bitmap->image[0];
  for (size_t i = 0; i < pixels; ++i) std::memcpy(out + i * to, src + i * from, keep);
  replaceLevel0(bitmap, out, bytes, toBits);
  return 0;
}

}  // namespace

int32_t tx32to24(pxBitmap bitmap) {
  SYS_ErrorClear();
  if (!bitmap || bitmap->bits != 32) return 0;
  if (repack(bitmap, 24, 3, -1, "tx32to24") != 0) return -1;
  bitmap->subtype = TX_LAYOUT_RGB;
  return 0;
}

int32_t tx24to32(pxBitmap bitmap) {
  SYS_ErrorClear();
  if (!bitmap || bitmap->bits != 24) return 0;
  return repack(bitmap, 32, 3, 255, "tx24to32");
}

int32_t tx24to8(pxBitmap bitmap, int32_t channel) {
  SYS_ErrorClear();
  if (!bitmap || bitmap->bits < 24) {
    SYS_ErrorSet(TX_ERR_DEPTH);
    return -1;
  }
  if (channel < 0 || channel > 2) {
    SYS_ErrorSet(10);
    return -1;
  }
  size_t pixels = 0;
  if (bitmap->bits % 8 != 0 || !levelPixels(bitmap, &pixels)) {
    SYS_ErrorSet(TX_ERR_FORMAT);
    return -1;
  }
  uint8_t *out = static_cast<uint8_t *>(SYS_MemGet(pixels, __FILE__, __LINE__, "tx24to8"));
  if (!out) {
    SYS_ErrorSet(5);
    return -1;
  }
  const size_t stride = size_t(bitmap->bits / 8);
  const uint8_t *src = bitmap->image[0] + channel;
  for (size_t i = 0; i < pixels; ++i) out[i] = src[i * stride];
  replaceLevel0(bitmap, out, pixels, 8);
  bitmap->subtype = TX_LAYOUT_GREY;
  return 0;
}

pxBitmap txIntensity(pxBitmap bitmap, int32_t weighted) {
  SYS_ErrorClear();
  if (!bitmap) {
    SYS_ErrorSet(TX_ERR_FORMAT);
    return nullptr;
  }
  if (bitmap->bits < 24) {
    SYS_ErrorSet(TX_ERR_DEPTH);
    return nullptr;
  }
  size_t pixels = 0;
  if ((bitmap->bits != 24 && bitmap->bits != 32) || !levelPixels(bitmap, &pixels)) {
    SYS_ErrorSet(TX_ERR_FORMAT);
    return nullptr;
  }
  pxBitmap grey = static_cast<pxBitmap>(SYS_MemGet(sizeof(txBitmap), __FILE__, __LINE__,
                                                   "txIntensity: struct"));
  if (!grey) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  std::memset(grey, 0, sizeof(txBitmap));
  grey->image[0] = static_cast<uint8_t *>(SYS_MemGet(pixels, __FILE__, __LINE__,
                                                     "txIntensity: bitmap"));
  if (!grey->image[0]) {
    SYS_MEMFREE(grey);
    SYS_ErrorSet(5);
    return nullptr;
  }
  grey->width = bitmap->width;
  grey->height = bitmap->height;
  grey->bits = 8;
  grey->subtype = TX_LAYOUT_GREY;
  grey->levels = 1;
  grey->imagesize[0] = uint32_t(pixels);
  const size_t stride = size_t(bitmap->bits / 8);
  const uint8_t *src = bitmap->image[0];
  for (size_t i = 0; i < pixels; ++i, src += stride) {
    const uint32_t b0 = src[0], b1 = src[1], b2 = src[2];
    grey->image[0][i] =
        uint8_t(weighted ? (77 * b0 + 150 * b1 + 29 * b2) >> 8 : (b0 + b1 + b2) / 3);
  }
  return grey;
}

void txExpandPalette(const uint8_t *indices, uint8_t *destination, size_t count,
                     const uint8_t *palette) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t *entry = palette + 4 * size_t(indices[i]);
    destination[3 * i] = entry[0];
    destination[3 * i + 1] = entry[1];
    destination[3 * i + 2] = entry[2];
  }
}

int32_t txExpandIndexed(pxBitmap bitmap) {
  SYS_ErrorClear();
  if (!bitmap || bitmap->bits != 8 || bitmap->subtype != TX_LAYOUT_INDEXED || !bitmap->palette)
    return 0;
  size_t bytes = 0;
  if (!txPixelBytes(bitmap->width, bitmap->height, 24, &bytes) || !bitmap->image[0] ||
      bitmap->imagesize[0] < bytes / 3) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  uint8_t *rgb = static_cast<uint8_t *>(SYS_MemGet(bytes, __FILE__, __LINE__, "txExpandIndexed"));
  if (!rgb) {
    SYS_ErrorSet(5);
    return -1;
  }
  txExpandPalette(bitmap->image[0], rgb, bytes / 3, bitmap->palette);
  for (int i = 1; i < TX_MAX_LEVELS; ++i)
    if (bitmap->image[i]) SYS_MEMFREE(bitmap->image[i]);
  SYS_MEMFREE(bitmap->image[0]);
  SYS_MEMFREE(bitmap->palette);
  bitmap->image[0] = rgb;
  bitmap->imagesize[0] = uint32_t(bytes);
  bitmap->bits = 24;
  bitmap->subtype = TX_LAYOUT_RGB;
  bitmap->levels = 1;
  return 0;
}

namespace {

// Box averaging of level 0 to nw x nh (both no larger than the source).
int32_t shrink(txBitmap *bitmap, int32_t nw, int32_t nh) {
  const int32_t bpp = bitmap->bits / 8;
  size_t pixels = 0;
  if ((bitmap->bits != 8 && bitmap->bits != 24 && bitmap->bits != 32) ||
      bitmap->subtype == TX_LAYOUT_INDEXED || txSampleLayout(bitmap)) {
    // Averaging palette indices would invent colours.
    SYS_ErrorSet(TX_ERR_DEPTH);
    return -1;
  }
  if (!levelPixels(bitmap, &pixels)) {
    SYS_ErrorSet(TX_ERR_FORMAT);
    return -1;
  }
  size_t outBytes = 0;
  if (!txPixelBytes(nw, nh, bitmap->bits, &outBytes)) {
    SYS_ErrorSet(5);
    return -1;
  }
  // Four channel sums and a count per target pixel; 64-bit sums so a very
  // large reduction cannot wrap. Target rows take source rows in order
  // (the row index only grows with y), so one row of sums is enough: what
  // the shrink holds beyond its output stays a row's worth, whatever the
  // image's height, and every target pixel gets the same sums as ever.
  struct Cell {
    uint64_t sum[4];
    uint64_t count;
  };
  const size_t cells = size_t(nw);
  Cell *acc = static_cast<Cell *>(
      SYS_MemGet(cells * sizeof(Cell), __FILE__, __LINE__, "_Shrink: pixel buffer"));
  if (!acc) {
    SYS_ErrorSet(5);
    return -1;
  }
  // Fresh tracked memory is zero: a target row no source row reaches
  // stays 0, as an empty cell gives.
  uint8_t *out = static_cast<uint8_t *>(SYS_MemGet(outBytes, __FILE__, __LINE__,
                                                   "_Shrink: bitmap"));
  if (!out) {
    SYS_MEMFREE(acc);
    SYS_ErrorSet(5);
    return -1;
  }
  std::memset(acc, 0, cells * sizeof(Cell));

  const float sx = float(bitmap->width) / float(nw);
  const float sy = float(bitmap->height) / float(nh);
  // The target column of every source column, computed once per column
  // (the same float division per pixel, hoisted).
  std::vector<int32_t> column(size_t(bitmap->width));
  for (int32_t x = 0; x < bitmap->width; ++x)
    column[size_t(x)] = std::min(int32_t(float(x) / sx), nw - 1);

  // Writes the sums of target row `ty` and clears them for the next row.
  auto flush = [&](int32_t ty) {
    uint8_t *dst = out + size_t(ty) * size_t(nw) * size_t(bpp);
    for (size_t i = 0; i < cells; ++i, dst += bpp) {
      const Cell &c = acc[i];
      for (int32_t ch = 0; ch < bpp; ++ch) {
        float v = c.count ? float(c.sum[ch]) / float(c.count) : 0.0f;
        v = std::clamp(v, 0.0f, 255.0f);
        dst[ch] = uint8_t(v);
      }
    }
    std::memset(acc, 0, cells * sizeof(Cell));
  };

  const uint8_t *src = bitmap->image[0];
  int32_t current = 0;
  for (int32_t y = 0; y < bitmap->height; ++y) {
    const int32_t ty = std::min(int32_t(float(y) / sy), nh - 1);
    if (ty != current) {
      flush(current);
      current = ty;
    }
    for (int32_t x = 0; x < bitmap->width; ++x, src += bpp) {
      Cell &c = acc[column[size_t(x)]];
      c.sum[0] += src[0];
      if (bpp > 1) {
        c.sum[1] += src[1];
        c.sum[2] += src[2];
      }
      if (bpp > 3) c.sum[3] += src[3];
      c.count += 1;
    }
  }
  flush(current);
  SYS_MEMFREE(acc);
  bitmap->width = nw;
  bitmap->height = nh;
  replaceLevel0(bitmap, out, outBytes, bitmap->bits);
  return 0;
}

}  // namespace

int32_t txScale(pxBitmap bitmap, int32_t width, int32_t height) {
  SYS_ErrorClear();
  SYS_Log(1, "[TL] !!! --- scale to %dx%d\n", width, height);
  if (!bitmap) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (bitmap->width >= width && bitmap->height >= height) return shrink(bitmap, width, height);
  if (bitmap->width < width && bitmap->height < height) {
    SYS_Log(1, "[TL] !!! Magnify ... please implement me.\n");
    return 0;
  }
  SYS_Log(1, "[TL] !!! Scale ... please implement me.\n");
  return 0;
}

namespace {

// One 16-bit big-endian sample scaled to 0..255, rounded.
inline uint8_t sample16(const uint8_t *p) {
  return uint8_t((uint32_t(p[0] << 8 | p[1]) * 255u + 32767u) / 65535u);
}

}  // namespace

int32_t txUnpack(pxBitmap bitmap) {
  SYS_ErrorClear();
  if (!txSampleLayout(bitmap)) return 0;
  const int32_t bits = bitmap->bits;
  const bool packed = bits == 1 || bits == 2 || bits == 4;
  int32_t outBits = 0, subtype = 0;
  if (packed) {
    outBits = 8;
    subtype = bitmap->palette ? TX_LAYOUT_INDEXED : TX_LAYOUT_GREY;
  } else if (bits == 48) {
    outBits = 24;
    subtype = TX_LAYOUT_RGB;
  } else if (bits == 64 || bits == 32) {  // RGBA, or grey with alpha
    outBits = 32;
    subtype = TX_LAYOUT_RGBA;
  }
  size_t row = 0, outBytes = 0;
  if (outBits == 0 || bitmap->levels != 1 || !txRowBytes(bitmap->width, bits, &row) ||
      !txPixelBytes(bitmap->width, bitmap->height, outBits, &outBytes)) {
    SYS_ErrorSet(TX_ERR_DEPTH);
    return -1;
  }
  if (!bitmap->image[0] || bitmap->imagesize[0] / size_t(bitmap->height) < row) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  uint8_t *out = static_cast<uint8_t *>(SYS_MemGet(outBytes, __FILE__, __LINE__, "txUnpack"));
  if (!out) {
    SYS_ErrorSet(5);
    return -1;
  }
  const size_t width = size_t(bitmap->width);
  const uint32_t top = packed ? (1u << bits) - 1 : 0;  // the largest packed value
  uint8_t *dst = out;
  for (int32_t y = 0; y < bitmap->height; ++y) {
    const uint8_t *src = bitmap->image[0] + size_t(y) * row;
    for (size_t x = 0; x < width; ++x) {
      if (packed) {
        // The leftmost pixel sits in the highest bits of its byte.
        const size_t bit = x * size_t(bits);
        const uint32_t v = (src[bit / 8] >> (8 - bits - bit % 8)) & top;
        *dst++ = uint8_t(bitmap->palette ? v : v * 255u / top);
      } else if (bits == 32) {
        const uint8_t grey = sample16(src + 4 * x);
        *dst++ = grey;
        *dst++ = grey;
        *dst++ = grey;
        *dst++ = sample16(src + 4 * x + 2);
      } else {
        const size_t channels = size_t(bits / 16);
        for (size_t c = 0; c < channels; ++c) *dst++ = sample16(src + 2 * (x * channels + c));
      }
    }
  }
  replaceLevel0(bitmap, out, outBytes, outBits);
  bitmap->subtype = subtype;
  return 0;
}
