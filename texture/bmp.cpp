// The BMP input filter: uncompressed Windows bitmaps of 8, 24 and 32 bits.
//
// The reader trusts nothing in the file: the palette starts after the info
// header the file declares, the pixels start where the file header points,
// rows keep the format's 4-byte alignment, and every range is checked
// against the bytes at hand. Bottom-up rows become top row first; pixels
// stay blue first. Top-down (negative height) files, run-length and other
// compressed files and depths below 8 or of 16 bits are refused; 32-bit
// files declared with bit fields are read when the fields are the plain
// B, G, R, A byte order.
#include <cstring>

#include "framework/sys.h"
#include "texture/formats.h"

namespace {

constexpr size_t BMP_FILE_HEADER = 14;
constexpr size_t BMP_INFO_HEADER = 40;     // the smallest info header we read
constexpr size_t BMP_HEADERS = BMP_FILE_HEADER + BMP_INFO_HEADER;  // 54
constexpr uint32_t BMP_RGB = 0;
constexpr uint32_t BMP_BITFIELDS = 3;

// The bit-field masks of a 32-bit file whose bytes are B, G, R, A.
bool plainBitFields(const uint8_t *data, size_t size, uint32_t infoSize) {
  const size_t masks = BMP_HEADERS;  // inside a V4/V5 header, or right after a 40-byte one
  const bool hasAlphaMask = infoSize >= 56;
  if (masks + (hasAlphaMask ? 16 : 12) > size) return false;
  if (txGet32(data + masks) != 0x00FF0000u || txGet32(data + masks + 4) != 0x0000FF00u ||
      txGet32(data + masks + 8) != 0x000000FFu)
    return false;
  return !hasAlphaMask || txGet32(data + masks + 12) == 0xFF000000u ||
         txGet32(data + masks + 12) == 0;
}

pxBitmap fail(pxBitmap bitmap, int32_t code) {
  if (bitmap) txFree(&bitmap);
  SYS_ErrorSet(code);
  return nullptr;
}

}  // namespace

int32_t bmpIdentify(const uint8_t *data, size_t size) {
  return size >= 2 && data[0] == 'B' && data[1] == 'M' ? 0 : TX_ERR_FORMAT;
}

pxBitmap bmpRead(const uint8_t *data, size_t size) {
  SYS_ErrorClear();
  if (!data || size < BMP_HEADERS) return fail(nullptr, TX_ERR_SHORT);

  const uint32_t pixelOffset = txGet32(data + 10);
  const uint32_t infoSize = txGet32(data + 14);
  const int32_t width = int32_t(txGet32(data + 18));
  const int32_t height = int32_t(txGet32(data + 22));
  const int32_t bits = txGet16(data + 28);
  const uint32_t compression = txGet32(data + 30);
  const uint32_t colorsUsed = txGet32(data + 46);

  if (infoSize < BMP_INFO_HEADER) return fail(nullptr, TX_ERR_DEPTH);  // OS/2 headers
  if (bits != 8 && bits != 24 && bits != 32) return fail(nullptr, TX_ERR_DEPTH);
  const bool bitFields = compression == BMP_BITFIELDS && bits == 32 &&
                         plainBitFields(data, size, infoSize);
  if (compression != BMP_RGB && !bitFields) return fail(nullptr, TX_ERR_DEPTH);
  if (width <= 0 || height <= 0) return fail(nullptr, TX_ERR_SHORT);

  size_t imageBytes = 0;
  if (!txPixelBytes(width, height, bits, &imageBytes)) return fail(nullptr, TX_ERR_SHORT);
  const size_t row = size_t(width) * size_t(bits / 8);
  const size_t stride = (row + 3) & ~size_t(3);

  // The palette lies between the headers (and bit fields) and the pixels.
  size_t paletteStart = BMP_FILE_HEADER + size_t(infoSize);
  if (compression == BMP_BITFIELDS && infoSize == BMP_INFO_HEADER) paletteStart += 12;
  if (pixelOffset < paletteStart || pixelOffset > size) return fail(nullptr, TX_ERR_SHORT);
  if (size_t(height) > (size - pixelOffset) / stride) return fail(nullptr, TX_ERR_SHORT);

  size_t entries = 0;
  if (bits == 8) {
    const size_t room = (pixelOffset - paletteStart) / 4;
    if (colorsUsed != 0) {
      entries = colorsUsed < TX_PALETTE_ENTRIES ? colorsUsed : TX_PALETTE_ENTRIES;
      if (entries > room) return fail(nullptr, TX_ERR_SHORT);
    } else if (room >= TX_PALETTE_ENTRIES) {
      // "0 colours used" means a full table when the file has room for one.
      entries = TX_PALETTE_ENTRIES;
    }
  }

  pxBitmap bitmap = txNewBitmap("bmpRead: struct");
  if (!bitmap) return nullptr;
  bitmap->type = TX_BLUE_FIRST;
  bitmap->width = width;
  bitmap->height = height;
  bitmap->bits = bits;
  bitmap->levels = 1;
  bitmap->imagesize[0] = uint32_t(imageBytes);
  bitmap->subtype = bits == 24 ? TX_LAYOUT_RGB
                    : bits == 32 ? TX_LAYOUT_RGBA
                    : entries    ? TX_LAYOUT_INDEXED
                                 : TX_LAYOUT_GREY;

  if (txState.debug) {
    SYS_Log(1, "[TL][bmp] BMP: %s\n", txState.loading.c_str());
    SYS_Log(1, "[TL][bmp]  size: %dx%d bits: %d\n", width, height, bits);
    SYS_Log(1, "[TL][bmp]  clr used: %d\n", int32_t(colorsUsed));
    SYS_Log(1, "[TL][bmp]  compression: %d\n", int32_t(compression));
    SYS_Log(1, "[TL][bmp]  imagesize[0]: %lu\n", static_cast<unsigned long>(imageBytes));
  }

  if (entries) {
    bitmap->palette = static_cast<uint8_t *>(
        SYS_MemGet(TX_PALETTE_BYTES, __FILE__, __LINE__, "bmpRead: palette"));
    if (!bitmap->palette) return fail(bitmap, 5);
    std::memset(bitmap->palette, 0, TX_PALETTE_BYTES);
    std::memcpy(bitmap->palette, data + paletteStart, entries * 4);
  }

  bitmap->image[0] = static_cast<uint8_t *>(
      SYS_MemGet(imageBytes, __FILE__, __LINE__, "bmpRead: bitmap"));
  if (!bitmap->image[0]) return fail(bitmap, 5);
  // File rows run bottom to top; copy them into place already turned over.
  const uint8_t *src = data + pixelOffset;
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(bitmap->image[0] + size_t(height - 1 - y) * row, src + size_t(y) * stride, row);
  return bitmap;
}
