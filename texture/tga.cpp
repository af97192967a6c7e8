// The TGA filter: uncompressed true-colour, grey and colour-mapped Targa
// images in, true-colour and grey Targa images out.
//
// The reader checks every range against the file: the image ID, the whole
// colour map (skipped by its declared size whatever its entry size) and the
// pixels must all lie inside the bytes given. A colour map supplies at most
// 256 entries of 24 or 32 bits to the 8-bit indices; other entry sizes are
// refused. Rows come out top row first, pixels blue first.
//
// The writer always writes top row first (descriptor 0x20) with the
// loader's comment as the image ID.
#include <algorithm>
#include <cstring>
#include <limits>

#include "framework/sys.h"
#include "texture/convert.h"
#include "texture/formats.h"

namespace {

constexpr size_t TGA_HEADER = 18;
constexpr uint8_t TGA_COLOR_MAPPED = 1;
constexpr uint8_t TGA_TRUE_COLOR = 2;
constexpr uint8_t TGA_GREY = 3;
constexpr uint8_t TGA_TOP_FIRST = 0x20;  // descriptor bit 5

pxBitmap fail(pxBitmap bitmap, int32_t code) {
  if (bitmap) txFree(&bitmap);
  SYS_ErrorSet(code);
  return nullptr;
}

bool startsWith(const uint8_t *data, size_t size, size_t at, const uint8_t *pattern, size_t n) {
  return size >= at + n && std::memcmp(data + at, pattern, n) == 0;
}

}  // namespace

int32_t tgaIdentify(const uint8_t *data, size_t size) {
  static const uint8_t trueColor[] = {0, TGA_TRUE_COLOR, 0, 0, 0, 0, 0};
  static const uint8_t mapped[] = {1, TGA_COLOR_MAPPED, 0, 0, 0};
  static const uint8_t grey[] = {0, TGA_GREY, 0, 0, 0, 0, 0};
  if (startsWith(data, size, 1, trueColor, sizeof trueColor) ||
      startsWith(data, size, 1, mapped, sizeof mapped) ||
      startsWith(data, size, 1, grey, sizeof grey))
    return 0;
  return TX_ERR_FORMAT;
}

pxBitmap tgaRead(const uint8_t *data, size_t size) {
  SYS_ErrorClear();
  if (!data || size < TGA_HEADER) return fail(nullptr, TX_ERR_SHORT);

  const size_t idLength = data[0];
  const size_t mapLength = txGet16(data + 5);
  const size_t mapEntryBits = data[7];
  const int32_t width = txGet16(data + 12);
  const int32_t height = txGet16(data + 14);
  const int32_t bits = data[16];
  const uint8_t descriptor = data[17];

  if (width == 0 || height == 0) return fail(nullptr, TX_ERR_SHORT);
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return fail(nullptr, TX_ERR_DEPTH);

  size_t offset = TGA_HEADER + idLength;
  const uint8_t *map = nullptr;
  size_t mapEntry = 0;
  if (mapLength != 0) {
    if (bits != 8 || (mapEntryBits != 24 && mapEntryBits != 32)) return fail(nullptr, TX_ERR_DEPTH);
    mapEntry = mapEntryBits / 8;
    map = data + offset;
    offset += mapLength * mapEntry;
  }
  if (offset > size) return fail(nullptr, TX_ERR_SHORT);

  size_t fileBytes = 0;  // pixel bytes as stored in the file
  if (!txPixelBytes(width, height, bits, &fileBytes) || fileBytes > size - offset)
    return fail(nullptr, TX_ERR_SHORT);

  pxBitmap bitmap = txNewBitmap("tgaRead: struct");
  if (!bitmap) return nullptr;
  bitmap->type = TX_BLUE_FIRST;
  bitmap->width = width;
  bitmap->height = height;
  bitmap->levels = 1;

  if (map) {
    uint8_t *palette = static_cast<uint8_t *>(
        SYS_MemGet(TX_PALETTE_BYTES, __FILE__, __LINE__, "tgaRead: palette"));
    if (!palette) return fail(bitmap, 5);
    std::memset(palette, 0, TX_PALETTE_BYTES);
    const size_t used = mapLength < TX_PALETTE_ENTRIES ? mapLength : TX_PALETTE_ENTRIES;
    for (size_t i = 0; i < used; ++i) std::memcpy(palette + 4 * i, map + i * mapEntry, 3);
    size_t bytes = 0;
    if (!txPixelBytes(width, height, 24, &bytes)) {
      SYS_MEMFREE(palette);
      return fail(bitmap, TX_ERR_SHORT);
    }
    bitmap->image[0] = static_cast<uint8_t *>(
        SYS_MemGet(bytes, __FILE__, __LINE__, "tgaRead: bitmap"));
    if (!bitmap->image[0]) {
      SYS_MEMFREE(palette);
      return fail(bitmap, 5);
    }
    txExpandPalette(data + offset, bitmap->image[0], fileBytes, palette);
    SYS_MEMFREE(palette);
    bitmap->imagesize[0] = uint32_t(bytes);
    bitmap->subtype = TX_LAYOUT_RGB;
    bitmap->bits = 24;
  } else {
    bitmap->image[0] = static_cast<uint8_t *>(
        SYS_MemGet(fileBytes, __FILE__, __LINE__, "tgaRead: bitmap"));
    if (!bitmap->image[0]) return fail(bitmap, 5);
    std::memcpy(bitmap->image[0], data + offset, fileBytes);
    bitmap->imagesize[0] = uint32_t(fileBytes);
    bitmap->bits = bits;
    bitmap->subtype = bits == 24 ? TX_LAYOUT_RGB
                      : bits == 32 ? TX_LAYOUT_RGBA
                      : bits == 8  ? TX_LAYOUT_GREY
                                   : TX_LAYOUT_OTHER;
  }

  if (!(descriptor & TGA_TOP_FIRST)) {
    const size_t row = bitmap->imagesize[0] / size_t(height);
    uint8_t *line = static_cast<uint8_t *>(SYS_MemGet(row, __FILE__, __LINE__, "tgaRead: line"));
    if (!line) return fail(bitmap, 5);
    uint8_t *pixels = bitmap->image[0];
    for (int32_t i = 0; i < height / 2; ++i) {
      uint8_t *a = pixels + size_t(i) * row;
      uint8_t *b = pixels + size_t(height - 1 - i) * row;
      std::memcpy(line, a, row);
      std::memcpy(a, b, row);
      std::memcpy(b, line, row);
    }
    SYS_MEMFREE(line);
  }
  return bitmap;
}

int32_t tgaWrite(const char *name, pxBitmap bitmap) {
  SYS_ErrorClear();
  if (!bitmap || !name) {
    SYS_ErrorSet(10);
    return -1;
  }
  SYS_Log(1, "[TL][tga] %s: %d\n", "smp->type", bitmap->type);
  SYS_Log(1, "[TL][tga] %s: %d\n", "smp->subtype", bitmap->subtype);
  if (bitmap->type < 0 || bitmap->type > 1) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  uint8_t imageType = 0;
  int32_t wantBits = 0;
  switch (bitmap->subtype) {
    case TX_LAYOUT_RGB: imageType = TGA_TRUE_COLOR; wantBits = 24; break;
    case TX_LAYOUT_RGB_DUMMY: imageType = TGA_TRUE_COLOR; wantBits = 24; break;
    case TX_LAYOUT_RGBA: imageType = TGA_TRUE_COLOR; wantBits = 32; break;
    case TX_LAYOUT_GREY: imageType = TGA_GREY; wantBits = 8; break;
    default: SYS_ErrorSet(TX_ERR_LAYOUT); return -1;
  }
  // The header can only describe what the buffer really holds.
  size_t bytes = 0;
  if (bitmap->bits != wantBits || bitmap->width > 0xFFFF || bitmap->height > 0xFFFF ||
      !bitmap->image[0] || !txPixelBytes(bitmap->width, bitmap->height, bitmap->bits, &bytes) ||
      bitmap->imagesize[0] < bytes || bytes > size_t(std::numeric_limits<int32_t>::max())) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }

  const char *comment = txState.tgaComment ? txState.tgaComment : "";
  const size_t commentLength = std::min<size_t>(std::strlen(comment), 255);
  uint8_t header[TGA_HEADER] = {};
  header[0] = uint8_t(commentLength);
  header[2] = imageType;
  header[12] = uint8_t(bitmap->width & 0xFF);
  header[13] = uint8_t(bitmap->width >> 8);
  header[14] = uint8_t(bitmap->height & 0xFF);
  header[15] = uint8_t(bitmap->height >> 8);
  header[16] = uint8_t(bitmap->bits);
  header[17] = TGA_TOP_FIRST;

  SYS_File_p file = SYS_FileOpen(name, SYS_FILE_WRITE);
  if (!file) {
    SYS_ErrorSet(2);
    return -1;
  }
  if (txState.debug) {
    SYS_Log(1, "[TL][tga] filename (write): %s\n", name);
    SYS_Log(1, "[TL][tga]  size: %dx%d\n", bitmap->width, bitmap->height);
    SYS_Log(1, "[TL][tga]  bits: %d\n", bitmap->bits);
    SYS_Log(1, "[TL][tga]  imagesize[0]: %u\n", unsigned(bytes));
    SYS_Log(1, "[TL][tga]  comment: %s\n", comment);
  }
  const bool swap = bitmap->subtype == TX_LAYOUT_RGB_DUMMY;
  if (swap) txSwapRB(bitmap);
  const bool ok = SYS_FileWrite(file, header, int32_t(TGA_HEADER)) == 0 &&
                  (commentLength == 0 || SYS_FileWrite(file, comment, int32_t(commentLength)) == 0) &&
                  SYS_FileWrite(file, bitmap->image[0], int32_t(bytes)) == 0;
  SYS_FileClose(file);
  if (swap) txSwapRB(bitmap);
  if (!ok) {
    SYS_ErrorSet(2);
    return -1;
  }
  SYS_ErrorClear();
  return 0;
}
