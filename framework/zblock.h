// z-blocks: the framework's self-checking unit of compressed data, and the
// checksum and rounding helpers that go with it.
//
// A z-block is a 12-byte header of three little-endian u32 words {raw size,
// packed size, CRC-32 of the packed bytes} followed by one zlib stream of
// exactly packed size bytes. The data pack keeps its catalog and its
// compressed entries as z-blocks, the QTX image format its mipmap levels.
//
// Every reader states how many bytes it holds and a block is never read
// past that length. A stream may inflate to less than its raw size (the
// rest of the output stays zero) but never to more.
//
// No locks: the deflate level is process-wide and written only by
// SYS_ZSetLevel; compression and decompression use only their own buffers
// and may run on any thread.
#pragma once

#include <cstdint>

constexpr uint32_t SYS_ZBLOCK_HEADER = 12;

// Raw sizes travel in signed 32-bit file sizes, so none may exceed this.
constexpr uint32_t SYS_ZBLOCK_MAX_RAW = 0x7fffffff;

void SYS_ZSetLevel(int32_t level);

// Compresses size bytes into a new tracked block (tag "z compress") that
// the caller releases with SYS_MemFree; *length is its total length.
int SYS_ZCompress(const void *data, uint32_t size, void **block, uint32_t *length);

// Inflates the block held in the first `length` bytes of `block` into a new
// tracked buffer of its raw size (tag "z uncompress"). Codes: 10 bad
// argument, 7 the block does not check out (shorter than its header says,
// or CRC mismatch), 8 the stream fails, is cut short or gives more than
// the raw size (or the raw size is beyond SYS_ZBLOCK_MAX_RAW), 5 out of
// memory. A stream that ends before the raw size leaves the rest zero. On failure
// *output is untouched when nothing was allocated and NULL otherwise.
int SYS_ZUncompress(const void *block, uint32_t length, void **output, uint32_t *output_length);

// As SYS_ZUncompress, with the same checks and codes, but *output holds
// only the *produced bytes the stream yields (tag "z uncompress"), not the
// zero fill up to the raw size. The buffer grows as the stream inflates, so
// a raw size the stream does not back costs nothing: for readers that must
// not trust the stated size. On failure *output is untouched.
int SYS_ZUncompressProduced(const void *block, uint32_t length, void **output, uint32_t *produced);

uint32_t SYS_Crc32(const void *data, uint32_t length);
uint32_t SYS_Adler32(const void *data, uint32_t length);
int32_t SYS_Round(float value);
