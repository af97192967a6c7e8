// S3TC (DXT1, DXT3, DXT5) facts shared by the DDS and QTX filters: the
// three formats, the size of a level's blocks, whether the renderer keeps
// a format compressed, how many levels the texture quality drops, and the
// block decoders.
//
// A level of w x h pixels holds ceil(w/4) x ceil(h/4) blocks of 8 (DXT1)
// or 16 (DXT3, DXT5) bytes. Sizes are computed in 64 bits so that no
// header value can wrap them. The decoders write red-first pixels of 3 or
// 4 bytes and read exactly the blocks of the level they are given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "texture/loader.h"

constexpr int32_t TX_GL_DXT1 = 0x83F0;  // GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
constexpr int32_t TX_GL_DXT3 = 0x83F2;  // GL_COMPRESSED_RGBA_S3TC_DXT3_EXT
constexpr int32_t TX_GL_DXT5 = 0x83F3;  // GL_COMPRESSED_RGBA_S3TC_DXT5_EXT

constexpr uint32_t txFourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}

typedef void (*txDecodeProc)(const uint8_t *blocks, uint8_t *destination, int32_t width,
                             int32_t height, int32_t bits);

struct txS3tcFormat {
  uint32_t fourcc;
  const char *name;        // "DXT1" ...
  int32_t glFormat;        // subtype of a bitmap kept compressed
  uint32_t blockBytes;
  int32_t bits;            // bits of the bitmap, kept or decoded
  int32_t decodedLayout;   // subtype of a decoded bitmap
  txDecodeProc decode;
};

// The format of a four-character code, or NULL.
const txS3tcFormat *txS3tcFind(uint32_t fourcc);

// The name to log for a code: "DXT1", "DXT3", "DXT5" or "unknown".
const char *txS3tcName(uint32_t fourcc);

// True when the renderer takes the format compressed (the loader's support
// flags, never set for a format disabled by option).
bool txS3tcSupported(const txS3tcFormat *format);

// Bytes of the blocks of a w x h level (sides below 1 count as 1).
uint64_t txS3tcLevelBytes(const txS3tcFormat *format, uint64_t width, uint64_t height);

// Levels the texture quality drops from an image of `available` levels
// whose header declares `declared`: none for a single declared level, and
// never all of them.
int32_t txS3tcDropped(uint32_t declared, int32_t available);

void ddsDecodeDXT1(const uint8_t *blocks, uint8_t *destination, int32_t width, int32_t height,
                   int32_t bits);
void ddsDecodeDXT3(const uint8_t *blocks, uint8_t *destination, int32_t width, int32_t height,
                   int32_t bits);
void ddsDecodeDXT5(const uint8_t *blocks, uint8_t *destination, int32_t width, int32_t height,
                   int32_t bits);
