// The QTX filter: z-packed DDS images, read and written.
//
// A QTX file ("QTX ", or "DDZ " from older writers) is a 14-byte header
// {magic, u16 width, u16 height, four-character code, u16 level count}
// followed by each mipmap level, largest first, as an i32 length n and n
// bytes of z-block (n > 0) or -n bytes of blocks stored as they are. The
// reader keeps the blocks when the renderer takes the format compressed
// and the loader's keep-compressed parameter allows it, and otherwise
// decodes each kept level to red-first pixels; the texture quality drops
// the largest levels as for DDS files.
//
// Every level must hold exactly the blocks of its size: a z-block that
// fails its check or inflates to another size, or a stored level of
// another length, fails the read. A stream that ends early leaves the
// rest of its level zero, but no level may need more than deflate's
// 1032-fold of its z-block's bytes (1002). A level count larger than the levels
// the file holds is cut back to the whole levels present; a file without
// one whole level fails (1002). At most 13 levels are kept, dropping
// never leaves none, and an unknown four-character code is refused (1004).
//
// The writer stores only what it can read back: a bitmap of S3TC blocks
// read by the DDS filter, whose levels hold exactly their blocks.
//
// Main thread only (the loader's parameters).
#include <algorithm>
#include <cstring>

#include "framework/sys.h"
#include "framework/zblock.h"
#include "texture/formats.h"
#include "texture/s3tc.h"

namespace {

constexpr size_t QTX_HEADER = 14;
constexpr uint32_t QTX_MAX_WALK = 17;  // halving a 16-bit side reaches 0 by then
constexpr uint64_t QTX_MAX_RATIO = 1032;  // deflate's best expansion

struct QtxLevel {
  size_t offset;  // first byte after the length word
  int32_t length; // the length word: > 0 z-block, <= 0 stored
  uint64_t bytes; // |length|
};

pxBitmap fail(pxBitmap bitmap, int32_t code) {
  if (bitmap) txFree(&bitmap);
  SYS_ErrorSet(code);
  return nullptr;
}

// The blocks of one level in a tracked buffer of exactly `expected`
// bytes, or NULL with the last-error code set.
uint8_t *levelBlocks(const uint8_t *data, const QtxLevel &level, uint64_t expected) {
  if (level.length > 0) {
    // Deflate never expands better than 1032:1, so no z-block of n bytes
    // holds more than 1032 n bytes of blocks; a level that needs more would
    // be mostly the zero fill of a short stream, which the file never
    // held. Refusing it first keeps what a level costs within a fixed
    // multiple of its bytes, and no file the writer makes comes near it.
    if (expected > level.bytes * QTX_MAX_RATIO) {
      SYS_ErrorSet(TX_ERR_SHORT);
      return nullptr;
    }
    void *raw = nullptr;
    uint32_t rawSize = 0;
    if (level.bytes >= SYS_ZBLOCK_HEADER && txGet32(data + level.offset) != expected) {
      // A z-block whose own raw size is not the level's fails the read
      // whatever it holds. It still fails with its own code when it does not
      // check out or inflate, but its stated size, which may be any figure
      // up to 2 GB, is never allocated: only what the stream gives is.
      if (SYS_ZUncompressProduced(data + level.offset, uint32_t(level.bytes), &raw, &rawSize) != 0)
        return nullptr;
      SYS_MemFree(&raw, __FILE__, __LINE__);
      SYS_ErrorSet(TX_ERR_SHORT);
      return nullptr;
    }
    if (SYS_ZUncompress(data + level.offset, uint32_t(level.bytes), &raw, &rawSize) != 0)
      return nullptr;
    if (rawSize != expected) {
      SYS_MemFree(&raw, __FILE__, __LINE__);
      SYS_ErrorSet(TX_ERR_SHORT);
      return nullptr;
    }
    return static_cast<uint8_t *>(raw);
  }
  if (level.bytes != expected) {
    SYS_ErrorSet(TX_ERR_SHORT);
    return nullptr;
  }
  uint8_t *copy = static_cast<uint8_t *>(
      SYS_MemGet(size_t(expected), __FILE__, __LINE__, "ddzRead: dec.nocomp."));
  if (!copy) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  std::memcpy(copy, data + level.offset, size_t(expected));
  return copy;
}

void put16(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void put32(uint8_t *p, uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

}  // namespace

int32_t ddzIdentify(const uint8_t *data, size_t size) {
  if (size >= 4 && (std::memcmp(data, "DDZ ", 4) == 0 || std::memcmp(data, "QTX ", 4) == 0))
    return 0;
  SYS_ErrorSet(TX_ERR_FORMAT);
  return -1;
}

pxBitmap ddzRead(const uint8_t *data, size_t size) {
  SYS_ErrorClear();
  if (!data || size < QTX_HEADER) return fail(nullptr, TX_ERR_SHORT);
  const uint32_t width = txGet16(data + 4);
  const uint32_t height = txGet16(data + 6);
  const uint32_t fourcc = txGet32(data + 8);
  const uint32_t declared = txGet16(data + 12);
  const txS3tcFormat *format = txS3tcFind(fourcc);

  if (txState.debug) {
    SYS_Log(1, "[TL][ddz] DDZ: %s\n", txState.loading.c_str());
    SYS_Log(1, "[TL][ddz]  size: %dx%d bits: %d (%s)\n", int32_t(width), int32_t(height),
            format ? format->bits : 0, txS3tcName(fourcc));
    SYS_Log(1, "[TL][ddz]  mipmap level: %d\n", int32_t(declared));
    SYS_Log(1, "[TL][ddz]  size: %d\n", int32_t(size - QTX_HEADER));
  }
  if (!format) return fail(nullptr, TX_ERR_DEPTH);
  if (width == 0 || height == 0 || declared == 0) return fail(nullptr, TX_ERR_FORMAT);

  // The whole levels present, in file order.
  QtxLevel levels[QTX_MAX_WALK] = {};
  int32_t available = 0;
  size_t position = QTX_HEADER;
  for (uint32_t i = 0; i < std::min(declared, QTX_MAX_WALK); ++i) {
    if ((width >> i) == 0 && (height >> i) == 0) break;
    if (size - position < 4) break;
    const int32_t length = int32_t(txGet32(data + position));
    const uint64_t bytes = length > 0 ? uint64_t(length) : uint64_t(-int64_t(length));
    if (bytes > size - position - 4) break;
    levels[available++] = {position + 4, length, bytes};
    position += 4 + size_t(bytes);
  }
  if (available == 0) return fail(nullptr, TX_ERR_SHORT);
  const int32_t dropped = txS3tcDropped(declared, available);
  const int32_t kept = std::min(available - dropped, TX_MAX_LEVELS);

  const bool keep = txState.keepCompressed != 0 && txS3tcSupported(format);
  if (txState.debug) SYS_Log(1, "[TL][ddz]  decode: %s\n", keep ? "no" : "yes");

  pxBitmap bitmap = txNewBitmap("ddsRead: struct");
  if (!bitmap) return nullptr;
  bitmap->type = keep ? TX_COMPRESSED : TX_RED_FIRST;
  bitmap->subtype = keep ? format->glFormat : format->decodedLayout;
  bitmap->width = int32_t(std::max<uint32_t>(1, width >> dropped));
  bitmap->height = int32_t(std::max<uint32_t>(1, height >> dropped));
  bitmap->bits = format->bits;
  bitmap->levels = kept;

  for (int32_t level = 0; level < kept; ++level) {
    const int32_t i = level + dropped;
    const uint32_t w = std::max<uint32_t>(1, width >> i), h = std::max<uint32_t>(1, height >> i);
    uint8_t *blocks = levelBlocks(data, levels[i], txS3tcLevelBytes(format, w, h));
    if (!blocks) return fail(bitmap, SYS_ErrorGet());
    if (keep) {
      bitmap->image[level] = blocks;
      bitmap->imagesize[level] = uint32_t(txS3tcLevelBytes(format, w, h));
      continue;
    }
    size_t bytes = 0;
    if (!txPixelBytes(w, h, format->bits, &bytes)) {
      SYS_MEMFREE(blocks);
      return fail(bitmap, 5);
    }
    bytes = std::max<size_t>(bytes, 64);
    bitmap->image[level] = static_cast<uint8_t *>(
        SYS_MemGet(bytes, __FILE__, __LINE__, "ddzRead: bitmap (mipmap, decompress)"));
    if (!bitmap->image[level]) {
      SYS_MEMFREE(blocks);
      return fail(bitmap, 5);
    }
    bitmap->imagesize[level] = uint32_t(bytes);
    std::memset(bitmap->image[level], 0, bytes);
    format->decode(blocks, bitmap->image[level], int32_t(w), int32_t(h), format->bits);
    SYS_MEMFREE(blocks);
  }
  return bitmap;
}

int32_t ddzWrite(const char *name, pxBitmap bitmap) {
  SYS_ErrorClear();
  if (!name || !bitmap) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (bitmap->id != TX_ID_DDS) {
    SYS_ErrorSet(TX_ERR_FORMAT);
    return -1;
  }
  // Decoded pixels, or levels that are not exactly their blocks, would
  // make a file that does not read back.
  const txS3tcFormat *format = txS3tcFind(bitmap->fourcc);
  bool storable = format && bitmap->type == TX_COMPRESSED && bitmap->width > 0 &&
                  bitmap->width <= 0xFFFF && bitmap->height > 0 && bitmap->height <= 0xFFFF &&
                  bitmap->levels >= 1 && bitmap->levels <= TX_MAX_LEVELS;
  for (int32_t i = 0; storable && i < bitmap->levels; ++i)
    storable = bitmap->image[i] &&
               bitmap->imagesize[i] == txS3tcLevelBytes(format, uint32_t(bitmap->width) >> i,
                                                         uint32_t(bitmap->height) >> i);
  if (!storable) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  if (txState.debug) {
    SYS_Log(1, "[TL][ddz]  write : %s\n", name);
    SYS_Log(1, "[TL][ddz]   - size : %dx%d\n", bitmap->width, bitmap->height);
    SYS_Log(1, "[TL][ddz]   - mipmap level: %d\n", bitmap->levels);
    SYS_Log(1, "[TL][ddz]   - fourcc : %s\n", format->name);
  }

  SYS_File_p file = SYS_FileOpen(name, SYS_FILE_WRITE);
  if (!file) {
    SYS_ErrorSet(2);
    return -1;
  }
  uint8_t header[QTX_HEADER];
  std::memcpy(header, "QTX ", 4);
  put16(header + 4, uint32_t(bitmap->width));
  put16(header + 6, uint32_t(bitmap->height));
  put32(header + 8, format->fourcc);
  put16(header + 12, uint32_t(bitmap->levels));
  bool ok = SYS_FileWrite(file, header, int32_t(QTX_HEADER)) == 0;
  int32_t code = 2;

  uint64_t rawTotal = 0, writtenTotal = 0;
  for (int32_t i = 0; ok && i < bitmap->levels; ++i) {
    const uint32_t raw = bitmap->imagesize[i];
    if (txState.debug) SYS_Log(1, "[TL][ddz]   - level %d : ", i);
    void *packed = nullptr;
    uint32_t packedSize = 0;
    if (SYS_ZCompress(bitmap->image[i], raw, &packed, &packedSize) != 0) {
      code = SYS_ErrorGet();
      ok = false;
      break;
    }
    uint8_t length[4];
    if (packedSize < raw) {
      put32(length, packedSize);
      ok = SYS_FileWrite(file, length, 4) == 0 &&
           SYS_FileWrite(file, packed, int32_t(packedSize)) == 0;
      writtenTotal += packedSize;
      if (txState.debug)
        SYS_Log(0, "%d -> %d (%.2f%%)\n", int32_t(raw), int32_t(packedSize),
                double(packedSize) / double(raw) * 100.0);
    } else {
      put32(length, uint32_t(-int64_t(raw)));
      ok = SYS_FileWrite(file, length, 4) == 0 &&
           SYS_FileWrite(file, bitmap->image[i], int32_t(raw)) == 0;
      writtenTotal += raw;
      if (txState.debug) SYS_Log(0, "not compressed\n");
    }
    rawTotal += raw;
    SYS_MemFree(&packed, __FILE__, __LINE__);
  }
  SYS_FileClose(file);
  if (!ok) {
    SYS_ErrorSet(code);
    return -1;
  }
  if (txState.debug)
    SYS_Log(1, "[TL][ddz]   - compressed : %.2f%%\n",
            double(writtenTotal) / double(rawTotal) * 100.0);
  SYS_ErrorClear();
  return 0;
}
