// Single-byte text in one of nine ISO-8859 character sets, turned into
// 16-bit (UCS-2) or 32-bit (UCS-4) character codes for the font renderer.
//
// Conversion is a lookup per byte in a static table; nothing is kept
// between calls, so any thread may convert. Output elements are in host
// byte order and carry no terminator.
#pragma once

#include <cstdint>

// Character-set codes, shared with the font renderer's encodings.
enum : int32_t {
  SYS_CHARSET_ISO8859_1 = 1,
  SYS_CHARSET_ISO8859_2 = 2,
  SYS_CHARSET_ISO8859_4 = 4,
  SYS_CHARSET_ISO8859_5 = 5,
  SYS_CHARSET_ISO8859_9 = 9,
  SYS_CHARSET_ISO8859_10 = 10,
  SYS_CHARSET_ISO8859_13 = 13,
  SYS_CHARSET_ISO8859_14 = 14,
  SYS_CHARSET_ISO8859_15 = 15,
  SYS_CHARSET_UTF8 = 20,  // known to the font renderer; no conversion row
  SYS_CHARSET_UCS2 = 30,
  SYS_CHARSET_UCS4 = 31,
};

// One conversion row: the Unicode code point of every byte of the source
// set, in elements of `size` bytes (2 or 4).
struct SYS_Charset_t {
  const char *name;
  int32_t source;
  int32_t target;
  int32_t size;
  const void *table;  // 256 elements of `size` bytes, indexed by the byte
};

// The rows in lookup order, ended by a null pointer.
extern const SYS_Charset_t *const SYS_CharsetTable[];

// Converts count bytes of input into count elements of the target's size.
// The caller's output holds count x element size bytes; *out_bytes gets
// that number. No row for the pair: code 11, nothing written.
int SYS_CharsetConvert(int32_t source, int32_t target, const void *input, int32_t count, void *output,
                       uint32_t *out_bytes);
