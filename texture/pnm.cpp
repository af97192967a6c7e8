// The PNM filter: raw grey ("P5") and colour ("P6") portable anymaps with a
// maximum value of 255, read and written.
//
// The header is read as text lines ended by '\n', lines beginning with '#'
// being comments: the magic, then width and height, then the maximum
// value, whose line's '\n' is the last byte before the pixels. Every line
// is looked for inside the buffer, so a header without its end fails
// (1000) instead of running on; a maximum value other than 255 (two bytes
// per sample) is refused (1004), and pixels shorter than the header
// promises fail (1002). Colour pixels come out blue first (`type` 0).
//
// The writer stores level 0 of a 24-bit or grey bitmap, red first in the
// file whatever the bitmap's own order; the bitmap is never changed.
//
// Main thread only (the loader's parameters).
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

#include "framework/sys.h"
#include "texture/formats.h"

namespace {

const char *const PNM_COMMENT = "Created by zelka!quorvix's PNM output filter";

pxBitmap fail(pxBitmap bitmap, int32_t code) {
  if (bitmap) txFree(&bitmap);
  SYS_ErrorSet(code);
  return nullptr;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Reads a decimal number after optional blanks; advances `text` past it.
bool readNumber(std::string_view &text, int32_t *value) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  const auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), *value);
  if (error != std::errc()) return false;
  text.remove_prefix(size_t(end - text.data()));
  return true;
}

struct PnmHeader {
  char kind;  // '5' grey or '6' colour
  int32_t width, height;
  size_t pixels;  // offset of the first pixel byte
};

// Parses the header lines; the code of the failure otherwise.
int32_t parseHeader(const uint8_t *data, size_t size, PnmHeader *header) {
  std::string_view rest(reinterpret_cast<const char *>(data), size);
  int stage = 0;  // 0 magic, 1 size, 2 maximum value
  while (true) {
    const size_t newline = rest.find('\n');
    if (newline == std::string_view::npos) return TX_ERR_FORMAT;
    std::string_view line = rest.substr(0, newline);
    rest.remove_prefix(newline + 1);
    if (!line.empty() && line[0] == '#') continue;
    switch (stage++) {
      case 0:
        // Only the raw kinds: the text ("P1" to "P3") and bit ("P4") ones
        // have other layouts.
        if (line != "P5" && line != "P6") return TX_ERR_FORMAT;
        header->kind = line[1];
        break;
      case 1:
        if (!readNumber(line, &header->width) || !readNumber(line, &header->height) ||
            header->width <= 0 || header->height <= 0)
          return TX_ERR_FORMAT;
        break;
      default: {
        int32_t maximum = 0;
        std::string_view text = line;
        if (!readNumber(text, &maximum)) return TX_ERR_FORMAT;
        if (line != "255") return TX_ERR_DEPTH;
        header->pixels = size - rest.size();
        return 0;
      }
    }
  }
}

}  // namespace

int32_t pnmIdentify(const uint8_t *data, size_t size) {
  return size >= 3 && data[0] == 'P' && (data[1] == '5' || data[1] == '6') && data[2] == '\n'
             ? 0
             : TX_ERR_FORMAT;
}

pxBitmap pnmRead(const uint8_t *data, size_t size) {
  SYS_ErrorClear();
  if (!data) return fail(nullptr, 10);
  PnmHeader header = {};
  if (const int32_t code = parseHeader(data, size, &header)) return fail(nullptr, code);

  const int32_t bits = header.kind == '5' ? 8 : 24;
  size_t bytes = 0;
  if (!txPixelBytes(header.width, header.height, bits, &bytes) || bytes > size - header.pixels)
    return fail(nullptr, TX_ERR_SHORT);

  pxBitmap bitmap = txNewBitmap("pnmRead: struct");
  if (!bitmap) return nullptr;
  bitmap->type = TX_BLUE_FIRST;
  bitmap->subtype = bits == 8 ? TX_LAYOUT_GREY : TX_LAYOUT_RGB;
  bitmap->width = header.width;
  bitmap->height = header.height;
  bitmap->bits = bits;
  bitmap->levels = 1;
  bitmap->imagesize[0] = uint32_t(bytes);
  if (txState.debug) {
    SYS_Log(1, "[TL][pnm] PNM: %s\n", txState.loading.c_str());
    SYS_Log(1, "[TL][pnm]  size: %dx%d bits: %d\n", bitmap->width, bitmap->height, bits);
    SYS_Log(1, "[TL][pnm]  imagesize[0]: %lu\n", static_cast<unsigned long>(bytes));
  }
  bitmap->image[0] = static_cast<uint8_t *>(SYS_MemGet(bytes, __FILE__, __LINE__, "bmpRead: bitmap"));
  if (!bitmap->image[0]) return fail(bitmap, 5);
  std::memcpy(bitmap->image[0], data + header.pixels, bytes);
  if (bits == 24) txSwapRB(bitmap);
  return bitmap;
}

int32_t pnmWrite(const char *name, pxBitmap bitmap) {
  SYS_ErrorClear();
  if (!name || !bitmap) {
    SYS_ErrorSet(10);
    return -1;
  }
  const int32_t subtype = bitmap->subtype;
  if (subtype != TX_LAYOUT_RGB && subtype != TX_LAYOUT_RGB_DUMMY && subtype != TX_LAYOUT_GREY) {
    SYS_ErrorSet(TX_ERR_FORMAT);
    return -1;
  }
  const bool grey = subtype == TX_LAYOUT_GREY;
  size_t bytes = 0;
  if (bitmap->bits != (grey ? 8 : 24) || bitmap->type == TX_COMPRESSED || !bitmap->image[0] ||
      !txPixelBytes(bitmap->width, bitmap->height, bitmap->bits, &bytes) ||
      bitmap->imagesize[0] < bytes || bytes / size_t(bitmap->height) > size_t(INT32_MAX)) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  if (txState.debug) {
    SYS_Log(1, "[TL][pnm] filename ( write ): %s\n", name);
    SYS_Log(1, "[TL][pnm]  size: %dx%d\n", bitmap->width, bitmap->height);
    SYS_Log(1, "[TL][pnm]  bits: %d\n", bitmap->bits);
    SYS_Log(1, "[TL][pnm]  imagesize[0]: %u\n", unsigned(bytes));
    SYS_Log(1, "[TL][pnm]  comment: %s\n", PNM_COMMENT);
  }
  SYS_File_p file = SYS_FileOpen(name, SYS_FILE_WRITE);
  if (!file) {
    SYS_ErrorSet(9);
    return -1;
  }
  bool ok = SYS_FilePrintf(file, "%s\n# %s\n%d %d\n255\n", grey ? "P5" : "P6", PNM_COMMENT,
                           bitmap->width, bitmap->height) >= 0;

  // The file is red first; blue-first rows are turned around on the way.
  const bool swapRB = !grey && bitmap->type != TX_RED_FIRST && subtype != TX_LAYOUT_RGB_DUMMY;
  const size_t row = bytes / size_t(bitmap->height);
  std::vector<uint8_t> line(swapRB ? row : 0);
  for (int32_t y = 0; ok && y < bitmap->height; ++y) {
    const uint8_t *src = bitmap->image[0] + size_t(y) * row;
    if (swapRB) {
      for (size_t x = 0; x < row; x += 3) {
        line[x] = src[x + 2];
        line[x + 1] = src[x + 1];
        line[x + 2] = src[x];
      }
      src = line.data();
    }
    ok = SYS_FileWrite(file, src, int32_t(row)) == 0;
  }
  SYS_FileClose(file);
  if (!ok) {
    SYS_ErrorSet(9);
    return -1;
  }
  SYS_ErrorClear();
  return 0;
}
