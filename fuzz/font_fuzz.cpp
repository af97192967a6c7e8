// Fuzzes the font renderer on font bytes: a face made from them, then a few
// fixed texts rendered into small images of every depth, with every
// encoding and alignment. The images are exactly their pixels' size, so
// any write outside them is caught.
//
// Input: byte 0 picks the size (bits 0-1), the encoding (bits 2-3) and
// whether the text is placed by alignment or at a position (bit 4); the
// rest are the font file's bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dialog/font_renderer.h"
#include "framework/sys.h"
#include "texture/loader.h"

namespace {

const int32_t kSizes[] = {0, 9, 14, 40};
const int32_t kEncodings[] = {FR_ENC_ISO8859_1, FR_ENC_ISO8859_2, FR_ENC_UTF8, FR_ENC_UCS2};
// The last one names more glyphs than the fuzz build's render keeps, then
// draws one loaded again on both sides of a kept one.
const char *const kTexts[] = {"Ag", "-'", "W\xE9\xC3\xA9\xF0\x9F\x98\x80 y", " ", "-'AgyW-W'W"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  const uint8_t mode = data[0];
  if (frInit() != 0) return 0;
  auto *bytes = static_cast<uint8_t *>(SYS_MemGet(size - 1, __FILE__, __LINE__, "fuzz font"));
  std::memcpy(bytes, data + 1, size - 1);
  if (frNewFace("fuzz", bytes, int32_t(size - 1)) != 0) {
    SYS_MemFree(&bytes, __FILE__, __LINE__);
    return 0;
  }
  const int32_t encoding = kEncodings[(mode >> 2) & 3];
  frFont *font = frNewFont(encoding, 0xC0804080 | mode, FR_HALIGN_CENTER, FR_VALIGN_CENTER);
  frSetFont(font, "fuzz", kSizes[mode & 3], 100, 0);
  const int32_t dims[][3] = {{3, 13, 7}, {0, 40, 9}, {2, 24, 24}};
  for (const auto &d : dims) {
    pxBitmap image = txCreateDummy(d[0], d[1], d[2]);
    for (int align = 0; align < 3; ++align) {
      if (mode & 0x10) {
        frSetPosition(font, align * 9 - 5, align * 4 - 3);
      } else {
        frSetHAlign(font, align);
        frSetVAlign(font, align + 2);
      }
      int32_t w = 0, h = 0;
      for (const char *text : kTexts) frRender(font, image, text, &w, &h);
    }
    txFree(&image);
  }
  frFreeFont(font);
  frClose();
  return 0;
}
