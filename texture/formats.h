// The image formats behind the filter table: each format's header test,
// reader and, where the format is written, writer. Readers take the whole
// file in memory and return a new one-level bitmap, top row first, or NULL
// with the last-error code set; they never read outside the bytes given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "texture/loader.h"

int32_t bmpIdentify(const uint8_t *data, size_t size);
pxBitmap bmpRead(const uint8_t *data, size_t size);

int32_t tgaIdentify(const uint8_t *data, size_t size);
pxBitmap tgaRead(const uint8_t *data, size_t size);
int32_t tgaWrite(const char *name, pxBitmap bitmap);

int32_t pngIdentify(const uint8_t *data, size_t size);
pxBitmap pngRead(const uint8_t *data, size_t size);
int32_t pngWrite(const char *name, pxBitmap bitmap);

int32_t jpegIdentify(const uint8_t *data, size_t size);
pxBitmap jpegRead(const uint8_t *data, size_t size);
int32_t jpegWrite(const char *name, pxBitmap bitmap);
// One JPEG file from packed rows of `components` (1 grey, 3 red first) bytes
// per pixel.
int32_t jpegWriteFile(const char *name, const uint8_t *pixels, int32_t width, int32_t height,
                      int32_t components);

int32_t ddsIdentify(const uint8_t *data, size_t size);
pxBitmap ddsRead(const uint8_t *data, size_t size);

int32_t ddzIdentify(const uint8_t *data, size_t size);
pxBitmap ddzRead(const uint8_t *data, size_t size);
int32_t ddzWrite(const char *name, pxBitmap bitmap);

int32_t pnmIdentify(const uint8_t *data, size_t size);
pxBitmap pnmRead(const uint8_t *data, size_t size);
int32_t pnmWrite(const char *name, pxBitmap bitmap);

int32_t dicomIdentify(const uint8_t *data, size_t size);
pxBitmap dicomRead(const uint8_t *data, size_t size);

// Little-endian fields of file headers, read from a range the caller checked.
inline uint16_t txGet16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t txGet32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
