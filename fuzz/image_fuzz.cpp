// Fuzzes the image loader from memory: every filter of the table, the
// alpha-map merge, the channel swap, the flip and the quality shrink, then
// the converters on whatever was decoded.
//
// Whatever the bytes, every tracked block a load or a converter makes goes
// back once its bitmap is freed.
//
// Input: byte 0 picks the loader parameters (bit 0 red first, bit 1 flip,
// bits 2-3 quality, bit 4 an alpha map present, bit 5 the renderer takes
// DXT1/3/5 compressed, bit 6 always decode S3TC); with an alpha map, bytes
// 1-2 give the image's length and the alpha map follows the image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/sys.h"
#include "texture/convert.h"
#include "texture/loader.h"

namespace {

std::vector<uint8_t> gImage, gAlpha;
const std::vector<uint8_t> *gOpen = nullptr;

const std::vector<uint8_t> *Lookup(const char *name) {
  if (!name) return nullptr;
  if (std::strcmp(name, "fuzz.img") == 0) return &gImage;
  if (std::strcmp(name, "fuzz_a.img") == 0 && !gAlpha.empty()) return &gAlpha;
  return nullptr;
}

int32_t MemOpen(const char *name) {
  gOpen = Lookup(name);
  if (!gOpen) SYS_ErrorSet(1);
  return gOpen ? 0 : -1;
}

uint8_t *MemRead() {
  const size_t n = gOpen->size();
  // Exactly the file's bytes, so ASan sees any read past them.
  auto *p = static_cast<uint8_t *>(SYS_MemGet(n ? n : 1, __FILE__, __LINE__, "fuzz"));
  if (p && n) std::memcpy(p, gOpen->data(), n);
  return p;
}

int32_t MemSize() { return int32_t(gOpen->size()); }
int32_t MemClose() {
  gOpen = nullptr;
  return 0;
}
int32_t MemExist(const char *name) {
  const std::vector<uint8_t> *f = Lookup(name);
  return f ? int32_t(f->size()) : -1;
}

txFunctions gOps = {MemOpen, MemRead, MemSize, MemClose, MemExist};

void Exercise(pxBitmap b) {
  if (pxBitmap copy = txDup(b)) {
    txUnpack(copy);  // as the uploaders do
    txFree(&copy);
  }
  if (pxBitmap grey = txIntensity(b, 1)) txFree(&grey);
  txScale(b, b->width / 2, b->height / 3);
  tx24to32(b);
  tx32to24(b);
  tx24to8(b, 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool started = [] {
    txInit(&gOps);
    return true;
  }();
  (void)started;
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  ++data;
  --size;
  size_t imageLength = size;
  if ((mode & 0x10) && size >= 2) {
    imageLength = std::min<size_t>(size - 2, size_t(data[0] | data[1] << 8));
    data += 2;
    size -= 2;
  }
  const size_t live = SYS_MemLiveCount();
  gImage.assign(data, data + imageLength);
  gAlpha.assign(data + imageLength, data + size);

  txSetParam(3, mode & 1);
  txSetParam(4, (mode >> 1) & 1);
  txState.quality = (mode >> 2) & 3;
  for (int32_t format : {0x83F0, 0x83F2, 0x83F3}) txSetParam(format, (mode >> 5) & 1);
  txSetParam(0, !((mode >> 6) & 1));

  if (pxBitmap b = txLoad("fuzz.img")) {
    Exercise(b);
    txFree(&b);
  }
  // Every reader straight on the bytes, whether or not its test accepts them.
  for (const txFilter *const *row = txFilters; *row; ++row) {
    if ((*row)->identify) (*row)->identify(gImage.data(), gImage.size());
    if (!(*row)->read) continue;
    std::vector<uint8_t> exact(gImage);  // its own block, sized exactly
    if (pxBitmap b = (*row)->read(exact.data(), exact.size())) {
      Exercise(b);
      txFree(&b);
    }
  }
  if (SYS_MemLiveCount() != live) abort();
  return 0;
}
