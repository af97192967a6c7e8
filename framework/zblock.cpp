// z-blocks on zlib: whole-buffer compression into a block, checked
// decompression out of one, and the checksum and rounding helpers.
//
// Invariants: a block made here always holds one finished zlib stream; a
// block read here is never read past the bytes the caller holds, its CRC
// is checked before anything is allocated, and its stream may not produce
// more than the raw size. A stream that ends early leaves the rest of the
// zero-filled output as it is: writers may size a block larger than its
// stream.
//
// Threads: any. The deflate level is a plain process-wide word.
#include "framework/zblock.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "framework/log.h"
#include "framework/memory.h"

namespace {

int32_t g_level = 9;

// Blocks are made with a zlib header and a 32 KB window.
constexpr int kWindowBits = 15;
constexpr int kMemLevel = 9;

uint32_t GetLE32(const unsigned char *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutLE32(unsigned char *p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// zlib counts in uInt; feed it in slices so sizes near 4 GB stay exact.
constexpr uint32_t kSlice = 1u << 30;

}  // namespace

void SYS_ZSetLevel(int32_t level) {
  SYS_ErrorClear();
  if (level < 0 || level > 9) {
    SYS_ErrorSet(6);
    return;
  }
  g_level = level;
}

int32_t SYS_Round(float value) {
  double v = value > 0 ? double(value) + 0.5 : double(value) - 0.5;
  // Out of range or not a number: saturate rather than invoke undefined
  // behaviour in the conversion.
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

uint32_t SYS_Crc32(const void *data, uint32_t length) {
  SYS_ErrorClear();
  if (!data || length == 0) {
    SYS_ErrorSet(10);
    return 0xffffffffu;
  }
  uLong crc = crc32(0L, Z_NULL, 0);
  auto *p = static_cast<const Bytef *>(data);
  for (uint32_t done = 0; done < length;) {
    uint32_t n = std::min(length - done, kSlice);
    crc = crc32(crc, p + done, n);
    done += n;
  }
  return static_cast<uint32_t>(crc);
}

uint32_t SYS_Adler32(const void *data, uint32_t length) {
  SYS_ErrorClear();
  if (!data || length == 0) {
    SYS_ErrorSet(10);
    return 0xffffffffu;
  }
  uLong sum = adler32(0L, Z_NULL, 0);
  auto *p = static_cast<const Bytef *>(data);
  for (uint32_t done = 0; done < length;) {
    uint32_t n = std::min(length - done, kSlice);
    sum = adler32(sum, p + done, n);
    done += n;
  }
  return static_cast<uint32_t>(sum);
}

int SYS_ZCompress(const void *data, uint32_t size, void **block, uint32_t *length) {
  SYS_ErrorClear();
  // A block's raw size must fit the signed file sizes that carry it.
  if (!data || size == 0 || size > SYS_ZBLOCK_MAX_RAW || !block || !length) {
    SYS_ErrorSet(10);
    return -1;
  }
  // Room for incompressible input: 0.1 % plus the header's worth of slack.
  uint64_t capacity = uint64_t(SYS_Round(float(size) * 1.001f)) + SYS_ZBLOCK_HEADER;

  auto *work = static_cast<unsigned char *>(SYS_MemGet(capacity, __FILE__, __LINE__, "z compress tmp"));
  if (!work) {
    SYS_ErrorSet(5);
    return -1;
  }

  z_stream zs{};
  if (deflateInit2(&zs, g_level, Z_DEFLATED, kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) != Z_OK) {
    SYS_MEMFREE(work);
    SYS_ErrorSet(8);
    return -1;
  }
  zs.next_in = const_cast<Bytef *>(static_cast<const Bytef *>(data));
  zs.avail_in = size;
  zs.next_out = work;
  zs.avail_out = static_cast<uInt>(capacity);
  // One finish call; a stream that did not reach its end (no room left)
  // would be a truncated block, so only Z_STREAM_END counts.
  int rc = deflate(&zs, Z_FINISH);
  uint64_t packed = capacity - zs.avail_out;
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) {
    SYS_MEMFREE(work);
    SYS_ErrorSet(8);
    return -1;
  }

  auto *out = static_cast<unsigned char *>(
      SYS_MemGet(packed + SYS_ZBLOCK_HEADER, __FILE__, __LINE__, "z compress"));
  if (!out) {
    SYS_MEMFREE(work);
    SYS_ErrorSet(5);
    return -1;
  }
  PutLE32(out, size);
  PutLE32(out + 4, static_cast<uint32_t>(packed));
  memcpy(out + SYS_ZBLOCK_HEADER, work, packed);
  PutLE32(out + 8, static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), work, static_cast<uInt>(packed))));
  SYS_MEMFREE(work);

  *block = out;
  *length = static_cast<uint32_t>(packed + SYS_ZBLOCK_HEADER);
  return 0;
}

namespace {

// Checks a block's header and CRC against the bytes held. Returns 0 and
// the raw size and the stream, or the code the block fails with.
int32_t CheckBlock(const unsigned char *in, uint32_t length, uint32_t *raw, const unsigned char **stream,
                   uint32_t *packed) {
  if (length < SYS_ZBLOCK_HEADER) return 7;
  *raw = GetLE32(in);
  *packed = GetLE32(in + 4);
  uint32_t crc = GetLE32(in + 8);
  if (*packed == 0 || *packed > length - SYS_ZBLOCK_HEADER) return 7;
  *stream = in + SYS_ZBLOCK_HEADER;
  uLong sum = crc32(0L, Z_NULL, 0);
  for (uint32_t done = 0; done < *packed;) {
    uint32_t n = std::min(*packed - done, kSlice);
    sum = crc32(sum, *stream + done, n);
    done += n;
  }
  if (static_cast<uint32_t>(sum) != crc) return 7;
  if (*raw > SYS_ZBLOCK_MAX_RAW) return 8;
  return 0;
}

// The common start of both inflates: clears the code, refuses missing
// arguments with 10 and a bad header or CRC with its code.
bool OpenBlock(const void *block, uint32_t length, bool have_outputs, uint32_t *raw,
               const unsigned char **stream, uint32_t *packed) {
  SYS_ErrorClear();
  if (!block || !have_outputs) {
    SYS_ErrorSet(10);
    return false;
  }
  if (int32_t code = CheckBlock(static_cast<const unsigned char *>(block), length, raw, stream, packed)) {
    SYS_ErrorSet(code);
    return false;
  }
  return true;
}

// First room for a stream whose output is not known yet: a few times its
// packed size covers what real data inflates to, and the buffer doubles
// from there.
constexpr uint64_t kFirstRoom = 64u << 10;
constexpr uint64_t kExpectedRatio = 4;

}  // namespace

int SYS_ZUncompress(const void *block, uint32_t length, void **output, uint32_t *output_length) {
  uint32_t raw = 0, packed = 0;
  const unsigned char *stream = nullptr;
  if (!OpenBlock(block, length, output && output_length, &raw, &stream, &packed)) return -1;

  // One spare byte: an empty raw size still gets a block, and a stream
  // that tries to run past the raw size shows itself by filling it.
  auto *out = static_cast<unsigned char *>(SYS_MemGet(size_t(raw) + 1, __FILE__, __LINE__, "z uncompress"));
  if (!out) {
    SYS_ErrorSet(5);
    return -1;
  }
  *output = out;
  *output_length = raw;

  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) {
    SYS_MEMFREE(out);
    *output = nullptr;
    SYS_ErrorSet(8);
    return -1;
  }
  zs.next_in = const_cast<Bytef *>(stream);
  zs.avail_in = packed;
  zs.next_out = out;
  zs.avail_out = raw + 1;
  int rc = inflate(&zs, Z_FINISH);
  // Z_FINISH with room for everything either ends the stream or fails;
  // a Z_BUF_ERROR here means input ran out or output overflowed. Bytes
  // after the stream's end are not looked at.
  uint64_t produced = zs.total_out;
  inflateEnd(&zs);
  if (rc != Z_STREAM_END || produced > raw) {
    SYS_MEMFREE(out);
    *output = nullptr;
    SYS_ErrorSet(8);
    return -1;
  }
  return 0;
}

int SYS_ZUncompressProduced(const void *block, uint32_t length, void **output, uint32_t *produced) {
  uint32_t raw = 0, packed = 0;
  const unsigned char *stream = nullptr;
  if (!OpenBlock(block, length, output && produced, &raw, &stream, &packed)) return -1;

  // One spare byte over the raw size, as in SYS_ZUncompress: a stream that
  // fills it gives more than its raw size.
  const uint64_t most = uint64_t(raw) + 1;
  uint64_t room = std::min(most, std::max(kFirstRoom, uint64_t(packed) * kExpectedRatio));
  void *out = SYS_MemGet(room, __FILE__, __LINE__, "z uncompress");
  if (!out) {
    SYS_ErrorSet(5);
    return -1;
  }
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) {
    SYS_MemFree(&out, __FILE__, __LINE__);
    SYS_ErrorSet(8);
    return -1;
  }
  zs.next_in = const_cast<Bytef *>(stream);
  zs.avail_in = packed;
  int32_t code = 0;
  for (;;) {
    zs.next_out = static_cast<Bytef *>(out) + zs.total_out;
    zs.avail_out = static_cast<uInt>(room - zs.total_out);
    int rc = inflate(&zs, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) break;
    // Output room left and no end: the input ran out or the stream is bad.
    if ((rc != Z_OK && rc != Z_BUF_ERROR) || zs.avail_out != 0 || room == most) {
      code = 8;
      break;
    }
    room = std::min(most, room * 2);
    if (!SYS_MemRealloc(&out, room, __FILE__, __LINE__, "z uncompress")) {
      code = 5;
      break;
    }
  }
  uint64_t total = zs.total_out;
  inflateEnd(&zs);
  if (!code && total > raw) code = 8;
  if (code) {
    SYS_MemFree(&out, __FILE__, __LINE__);
    SYS_ErrorSet(code);
    return -1;
  }
  *output = out;
  *produced = static_cast<uint32_t>(total);
  return 0;
}
