// Pixel converters and down-scaling of txBitmap level 0: 32 to 24 bits,
// 24 to 32 bits, one channel to grey, an intensity image, palette expansion
// and box-filter shrinking. Other levels are left as they are.
//
// Every operation clears the last-error code on entry; on failure the
// bitmap is left exactly as it was. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "texture/loader.h"

int32_t tx32to24(pxBitmap bitmap);
int32_t tx24to32(pxBitmap bitmap);
int32_t tx24to8(pxBitmap bitmap, int32_t channel);
pxBitmap txIntensity(pxBitmap bitmap, int32_t weighted);
// Index bytes to 3-byte pixels through a palette of 4-byte entries (the
// fourth byte skipped). The palette must hold every entry an index names.
void txExpandPalette(const uint8_t *indices, uint8_t *destination, size_t count,
                     const uint8_t *palette);
int32_t txScale(pxBitmap bitmap, int32_t width, int32_t height);
// An 8-bit indexed bitmap with its palette made 24-bit pixels through it
// (channel order as the palette's, which is the bitmap's `type`), one
// level, palette freed. Other bitmaps are left alone (0). -1 with 1005 for
// a buffer shorter than its pixels, 5 out of memory, the bitmap unchanged.
int32_t txExpandIndexed(pxBitmap bitmap);

// A bitmap in a library's sample layout (txSampleLayout, loader.h) brought
// to one byte per channel, in place, for the uploaders: packed palette
// indices become index bytes (subtype 4, palette kept), packed grey becomes
// 8-bit grey (subtype 3, scaled to 0..255), 16-bit RGB and RGBA become 24
// and 32 bits (subtypes 0 and 2, rounded to 8 bits), 16-bit grey with alpha
// becomes RGBA with the grey in all three colours. The channel order stays
// as it is (`type`). Other bitmaps are left alone (0).
// Fails with -1, the bitmap unchanged: 1004 for 16 bits per pixel (16-bit
// grey and 8-bit grey with alpha cannot be told apart) or a layout not
// listed, 1005 for a buffer shorter than its rows, 5 out of memory.
int32_t txUnpack(pxBitmap bitmap);
