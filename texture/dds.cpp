// The DDS input filter and the S3TC block decoders it shares with the QTX
// filter.
//
// A DDS file is a 128-byte header followed by the DXT1, DXT3 or DXT5 blocks
// of its mipmap levels, largest first. The reader keeps the blocks when the
// renderer takes the format compressed (`type` 5, `subtype` the GL format)
// and otherwise decodes each kept level to red-first pixels. The texture
// quality drops the largest levels (one for half, two for a quarter) when
// the file has more than one.
//
// Every level's size is checked against the file in 64-bit arithmetic
// before a byte is copied. A mipmap count larger than the levels the file
// holds is cut back to the whole levels present; a file without one whole
// level fails (1002). At most 13 levels are kept, dropping never leaves
// none, and any other four-character code is refused (1004).
//
// Main thread only (the loader's parameters); the decoders keep no state.
#include <algorithm>
#include <cstring>

#include "framework/sys.h"
#include "texture/formats.h"
#include "texture/s3tc.h"

namespace {

constexpr size_t DDS_HEADER = 128;
constexpr uint32_t DDS_MAX_WALK = 32;  // halving a 32-bit side reaches 0 by then

const txS3tcFormat s3tcFormats[] = {
    {txFourCC('D', 'X', 'T', '1'), "DXT1", TX_GL_DXT1, 8, 24, TX_LAYOUT_RGB, ddsDecodeDXT1},
    {txFourCC('D', 'X', 'T', '3'), "DXT3", TX_GL_DXT3, 16, 32, TX_LAYOUT_RGBA, ddsDecodeDXT3},
    {txFourCC('D', 'X', 'T', '5'), "DXT5", TX_GL_DXT5, 16, 32, TX_LAYOUT_RGBA, ddsDecodeDXT5},
};

// ---------------------------------------------------------------------------
// Block decoding

// RGB 5:6:5 widened by shifting alone (0xFFFF gives 248, 252, 248).
inline void expand565(unsigned c, uint8_t *rgba) {
  rgba[0] = uint8_t((c >> 11) << 3);
  rgba[1] = uint8_t(((c >> 5) & 63) << 2);
  rgba[2] = uint8_t((c & 31) << 3);
  rgba[3] = 255;
}

// The four colours of a colour block; DXT1 blocks with c0 <= c1 have three
// and transparent black.
inline void colorTable(const uint8_t *block, bool dxt1, uint8_t table[4][4]) {
  const unsigned c0 = txGet16(block), c1 = txGet16(block + 2);
  expand565(c0, table[0]);
  expand565(c1, table[1]);
  if (!dxt1 || c0 > c1) {
    for (int i = 0; i < 3; ++i) {
      table[2][i] = uint8_t((2 * table[0][i] + table[1][i] + 1) / 3);
      table[3][i] = uint8_t((table[0][i] + 2 * table[1][i] + 1) / 3);
    }
    table[2][3] = table[3][3] = 255;
  } else {
    for (int i = 0; i < 3; ++i) table[2][i] = uint8_t((table[0][i] + table[1][i]) / 2);
    table[2][3] = 255;
    table[3][0] = table[3][1] = table[3][2] = table[3][3] = 0;
  }
}

inline void alphaDXT3(const uint8_t *block, uint8_t alpha[16]) {
  for (int row = 0; row < 4; ++row) {
    const unsigned word = txGet16(block + 2 * row);
    for (int x = 0; x < 4; ++x) alpha[4 * row + x] = uint8_t(((word >> (4 * x)) & 15) * 17);
  }
}

inline void alphaDXT5(const uint8_t *block, uint8_t alpha[16]) {
  const unsigned a0 = block[0], a1 = block[1];
  uint8_t table[8] = {uint8_t(a0), uint8_t(a1)};
  if (a0 > a1) {
    for (unsigned i = 2; i < 8; ++i) table[i] = uint8_t(((8 - i) * a0 + (i - 1) * a1 + 3) / 7);
  } else {
    for (unsigned i = 2; i < 6; ++i) table[i] = uint8_t(((6 - i) * a0 + (i - 1) * a1 + 2) / 5);
    table[6] = 0;
    table[7] = 255;
  }
  uint64_t indices = 0;
  for (int i = 5; i >= 0; --i) indices = indices << 8 | block[2 + i];
  for (int k = 0; k < 16; ++k) alpha[k] = table[(indices >> (3 * k)) & 7];
}

enum class Kind { DXT1, DXT3, DXT5 };

template <Kind K, int B>
void decodeBlocks(const uint8_t *blocks, uint8_t *destination, int32_t width, int32_t height) {
  constexpr size_t blockBytes = K == Kind::DXT1 ? 8 : 16;
  const size_t rowBytes = size_t(width) * B;
  const int32_t across = (width + 3) / 4, down = (height + 3) / 4;
  uint8_t table[4][4];
  uint8_t alpha[16];
  for (int32_t by = 0; by < down; ++by) {
    const int rows = std::min(4, height - 4 * by);
    for (int32_t bx = 0; bx < across; ++bx, blocks += blockBytes) {
      const int columns = std::min(4, width - 4 * bx);
      // DXT3 and DXT5 blocks put 8 bytes of alpha before the colour block.
      const uint8_t *color = K == Kind::DXT1 ? blocks : blocks + 8;
      if constexpr (K == Kind::DXT3) alphaDXT3(blocks, alpha);
      if constexpr (K == Kind::DXT5) alphaDXT5(blocks, alpha);
      colorTable(color, K == Kind::DXT1, table);
      const uint32_t indices = txGet32(color + 4);
      uint8_t *origin = destination + size_t(4 * by) * rowBytes + size_t(4 * bx) * B;
      for (int y = 0; y < rows; ++y) {
        uint8_t *p = origin + size_t(y) * rowBytes;
        for (int x = 0; x < columns; ++x, p += B) {
          const int k = 4 * y + x;
          const uint8_t *c = table[(indices >> (2 * k)) & 3];
          p[0] = c[0];
          p[1] = c[1];
          p[2] = c[2];
          if constexpr (B == 4) p[3] = K == Kind::DXT1 ? c[3] : alpha[k];
        }
      }
    }
  }
}

template <Kind K>
void decodeLevel(const uint8_t *blocks, uint8_t *destination, int32_t width, int32_t height,
                 int32_t bits) {
  if (!blocks || !destination || width <= 0 || height <= 0) return;
  if (bits == 24) decodeBlocks<K, 3>(blocks, destination, width, height);
  else if (bits == 32) decodeBlocks<K, 4>(blocks, destination, width, height);
}

pxBitmap fail(pxBitmap bitmap, int32_t code) {
  if (bitmap) txFree(&bitmap);
  SYS_ErrorSet(code);
  return nullptr;
}

}  // namespace

void ddsDecodeDXT1(const uint8_t *blocks, uint8_t *destination, int32_t width, int32_t height,
                   int32_t bits) {
  SYS_Log(1, "[TL][dds] wxh %dx%d\n", width, height);
  SYS_Log(1, "[TL][dds] d: %d\n", bits / 8);
  decodeLevel<Kind::DXT1>(blocks, destination, width, height, bits);
}

void ddsDecodeDXT3(const uint8_t *blocks, uint8_t *destination, int32_t width, int32_t height,
                   int32_t bits) {
  decodeLevel<Kind::DXT3>(blocks, destination, width, height, bits);
}

void ddsDecodeDXT5(const uint8_t *blocks, uint8_t *destination, int32_t width, int32_t height,
                   int32_t bits) {
  decodeLevel<Kind::DXT5>(blocks, destination, width, height, bits);
}

// ---------------------------------------------------------------------------
// Shared S3TC facts

const txS3tcFormat *txS3tcFind(uint32_t fourcc) {
  for (const txS3tcFormat &f : s3tcFormats)
    if (f.fourcc == fourcc) return &f;
  return nullptr;
}

const char *txS3tcName(uint32_t fourcc) {
  const txS3tcFormat *f = txS3tcFind(fourcc);
  return f ? f->name : "unknown";
}

bool txS3tcSupported(const txS3tcFormat *format) {
  switch (format->glFormat) {
    case TX_GL_DXT1: return txState.dxt1 != 0 && !(txState.disableBits & 1);
    case TX_GL_DXT3: return txState.dxt3 != 0 && !(txState.disableBits & 2);
    case TX_GL_DXT5: return txState.dxt5 != 0 && !(txState.disableBits & 4);
    default: return false;
  }
}

uint64_t txS3tcLevelBytes(const txS3tcFormat *format, uint64_t width, uint64_t height) {
  const uint64_t w = std::max<uint64_t>(1, width), h = std::max<uint64_t>(1, height);
  return ((w + 3) / 4) * ((h + 3) / 4) * format->blockBytes;
}

int32_t txS3tcDropped(uint32_t declared, int32_t available) {
  if (declared <= 1 || available <= 1) return 0;
  const int32_t wanted = txState.quality == 1 ? 1 : txState.quality == 2 ? 2 : 0;
  return std::min(wanted, available - 1);
}

// ---------------------------------------------------------------------------
// The DDS reader

int32_t ddsIdentify(const uint8_t *data, size_t size) {
  return size >= 4 && std::memcmp(data, "DDS ", 4) == 0 ? 0 : TX_ERR_FORMAT;
}

pxBitmap ddsRead(const uint8_t *data, size_t size) {
  SYS_ErrorClear();
  if (!data || size < DDS_HEADER) return fail(nullptr, TX_ERR_SHORT);
  const uint32_t height = txGet32(data + 12);
  const uint32_t width = txGet32(data + 16);
  const uint32_t declared = std::max<uint32_t>(1, txGet32(data + 28));
  const uint32_t fourcc = txGet32(data + 84);
  const txS3tcFormat *format = txS3tcFind(fourcc);

  if (txState.debug) {
    SYS_Log(1, "[TL][dds] DDS: %s\n", txState.loading.c_str());
    SYS_Log(1, "[TL][dds]  size: %dx%d bits: %d (%s)\n", int32_t(width), int32_t(height),
            format ? format->bits : 0, txS3tcName(fourcc));
    SYS_Log(1, "[TL][dds]  mipmap level: %d\n", int32_t(declared));
    SYS_Log(1, "[TL][dds]  size: %d\n", int32_t(size - DDS_HEADER));
  }
  if (!format) return fail(nullptr, TX_ERR_DEPTH);
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
    return fail(nullptr, TX_ERR_FORMAT);

  // The whole levels present, in file order.
  int32_t available = 0;
  uint64_t end = DDS_HEADER;
  for (uint32_t i = 0; i < std::min(declared, DDS_MAX_WALK); ++i) {
    if ((width >> i) == 0 && (height >> i) == 0) break;
    const uint64_t bytes = txS3tcLevelBytes(format, width >> i, height >> i);
    if (bytes > size - end) break;
    end += bytes;
    ++available;
  }
  if (available == 0) return fail(nullptr, TX_ERR_SHORT);
  const int32_t dropped = txS3tcDropped(declared, available);
  const int32_t kept = std::min(available - dropped, TX_MAX_LEVELS);

  const bool keep = txS3tcSupported(format);
  if (txState.debug) SYS_Log(1, "[TL][dds]  decode: %s\n", keep ? "no" : "yes");

  pxBitmap bitmap = txNewBitmap("ddsRead: struct");
  if (!bitmap) return nullptr;
  bitmap->type = keep ? TX_COMPRESSED : TX_RED_FIRST;
  bitmap->subtype = keep ? format->glFormat : format->decodedLayout;
  bitmap->fourcc = fourcc;
  bitmap->width = int32_t(std::max<uint32_t>(1, width >> dropped));
  bitmap->height = int32_t(std::max<uint32_t>(1, height >> dropped));
  bitmap->bits = format->bits;
  bitmap->levels = kept;

  uint64_t position = DDS_HEADER;
  for (int32_t i = 0; i < dropped + kept; ++i) {
    const uint32_t w = std::max<uint32_t>(1, width >> i), h = std::max<uint32_t>(1, height >> i);
    const uint64_t blockBytes = txS3tcLevelBytes(format, w, h);
    const uint8_t *blocks = data + position;
    position += blockBytes;
    if (i < dropped) continue;
    const int32_t level = i - dropped;
    if (blockBytes > UINT32_MAX) return fail(bitmap, 5);
    size_t bytes = size_t(blockBytes);
    const char *tag = "ddsRead: bitmap (mipmap)";
    if (!keep) {
      if (!txPixelBytes(w, h, format->bits, &bytes)) return fail(bitmap, 5);
      bytes = std::max<size_t>(bytes, 64);
      tag = "ddsRead: bitmap (mipmap, decompress)";
    }
    bitmap->image[level] = static_cast<uint8_t *>(SYS_MemGet(bytes, __FILE__, __LINE__, tag));
    if (!bitmap->image[level]) return fail(bitmap, 5);
    bitmap->imagesize[level] = uint32_t(bytes);
    if (keep) {
      std::memcpy(bitmap->image[level], blocks, bytes);
    } else {
      std::memset(bitmap->image[level], 0, bytes);
      format->decode(blocks, bitmap->image[level], int32_t(w), int32_t(h), format->bits);
    }
  }
  return bitmap;
}
