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
