// The texture loader: the load sequence, its process-wide parameters, the
// default stream operations over the virtual file system, and the small
// bitmap utilities (dummy, copy, free, red/blue swap). See loader.h.
//
// A missing file is found through the size query before anything is
// opened, so a texture that does not exist never reaches the file system's
// error callback: the caller decides what a failed load means.
#include "texture/loader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "framework/sys.h"
#include "texture/convert.h"

namespace {

constexpr int TX_INIT_SLOT = 4;

// GL compressed formats that double as txSetParam codes.
constexpr int32_t TX_PARAM_DXT1 = 0x83F0;
constexpr int32_t TX_PARAM_DXT3 = 0x83F2;
constexpr int32_t TX_PARAM_DXT5 = 0x83F3;

// The default stream operations keep one open file.
struct txIFile {
  char *name;
  SYS_File_p handle;
  int32_t size;
};
txIFile txOpenFile = {nullptr, nullptr, 0};

const txFunctions txDefaultIO = {txIOpen, txIRead, txISize, txIClose, txIExist};

#define TX_DEBUG(...)                              \
  do {                                             \
    if (txState.debug) SYS_Log(1, __VA_ARGS__);    \
  } while (0)

}  // namespace

txLoaderState txState = {
    0, TX_BLUE_FIRST, 0, 0, 1, 0, 0, 0, 0,
    1, 1, 100, 0, 75, 9,
    "Created by zelka!quorvix's TGA output filter. v0.3",
    1, std::string(), txDefaultIO,
};

bool txPixelBytes(int64_t width, int64_t height, int32_t bits, size_t *bytes) {
  if (width <= 0 || height <= 0 || bits <= 0 || bits % 8 != 0) return false;
  const uint64_t limit = std::numeric_limits<uint32_t>::max();
  const uint64_t w = uint64_t(width), h = uint64_t(height), b = uint64_t(bits / 8);
  if (w > limit || h > limit || w * h > limit / b) return false;
  *bytes = size_t(w * h * b);
  return true;
}

bool txRowBytes(int64_t width, int32_t bits, size_t *bytes) {
  if (width <= 0 || bits <= 0 || uint64_t(width) > std::numeric_limits<uint32_t>::max()) return false;
  *bytes = size_t((uint64_t(width) * uint64_t(bits) + 7) / 8);
  return true;
}

bool txSampleLayout(const txBitmap *bitmap) {
  return bitmap && bitmap->id == TX_ID_PNG && bitmap->subtype == TX_LAYOUT_OTHER &&
         bitmap->type != TX_COMPRESSED;
}

pxBitmap txNewBitmap(const char *tag) {
  pxBitmap bitmap = static_cast<pxBitmap>(SYS_MemGet(sizeof(txBitmap), __FILE__, __LINE__, tag));
  if (!bitmap) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  std::memset(bitmap, 0, sizeof(txBitmap));
  return bitmap;
}

// ---------------------------------------------------------------------------
// Default stream operations

int32_t txIExist(const char *name) { return SYS_FileSize(name); }

int32_t txIClose() {
  if (txOpenFile.name) SYS_MEMFREE(txOpenFile.name);
  if (txOpenFile.handle) SYS_FileClose(txOpenFile.handle);
  txOpenFile.handle = nullptr;
  txOpenFile.size = 0;
  return 0;
}

int32_t txIOpen(const char *name) {
  if (txOpenFile.handle || txOpenFile.name) txIClose();
  if (!name) {
    SYS_ErrorSet(1);
    return -1;
  }
  const int32_t size = txIExist(name);
  if (size < 0) {
    SYS_ErrorSet(1);
    return -1;
  }
  SYS_File_p file = SYS_FileOpen(name, SYS_FILE_READ);
  if (!file) {
    SYS_ErrorSet(1);
    return -1;
  }
  txOpenFile.name = STRDUP(name);
  txOpenFile.handle = file;
  txOpenFile.size = size;
  return 0;
}

uint8_t *txIRead() {
  if (!txOpenFile.handle) {
    SYS_ErrorSet(3);
    return nullptr;
  }
  // One spare byte, so an empty file still gets a buffer of its own.
  const size_t size = size_t(txOpenFile.size);
  uint8_t *buffer = static_cast<uint8_t *>(SYS_MemGet(size + 1, __FILE__, __LINE__, "txIRead"));
  if (!buffer) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  errno = 0;
  const int32_t got = SYS_FileRead(txOpenFile.handle, buffer, txOpenFile.size);
  if (got != txOpenFile.size) {
    std::printf("! %s\n", std::strerror(errno));
    SYS_MEMFREE(buffer);
    SYS_ErrorSet(3);
    return nullptr;
  }
  return buffer;
}

int32_t txISize() { return txOpenFile.size; }

// ---------------------------------------------------------------------------
// Loading

const txFilter *txIdentify(const uint8_t *data, size_t size) {
  for (const txFilter *const *row = txFilters; *row; ++row) {
    if ((*row)->identify && (*row)->identify(data, size) == 0) return *row;
  }
  SYS_ErrorSet(TX_ERR_FORMAT);
  return nullptr;
}

std::string txAlphaName(std::string_view name) {
  // Only a '.' in the file part of the name starts an extension.
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
    return std::string(name) + "_a";
  std::string alpha(name.substr(0, dot));
  alpha += "_a.";
  alpha += name.substr(dot + 1);
  return alpha;
}

int32_t txLoadAlphaMap(const char *alphaName, pxBitmap bitmap) {
  SYS_ErrorClear();
  pxBitmap alpha = txLoad(alphaName);
  if (!alpha) {
    TX_DEBUG("[TL] alpha map not found.\n");
    SYS_ErrorSet(TX_ERR_ALPHA);
    return -1;
  }
  // Only true-colour images take an alpha channel, and only pixel bytes
  // can serve as alpha values: a PNG image or alpha map in the library's
  // sample layout is unpacked to bytes first (16-bit colour and grey with
  // alpha become true colour, packed grey becomes 8-bit grey).
  const bool colour = txSampleLayout(bitmap) ? bitmap->bits >= 32
                                             : bitmap->bits == 24 || bitmap->bits == 32;
  if (!colour || alpha->type == TX_COMPRESSED || !alpha->image[0] ||
      (txSampleLayout(alpha) && txUnpack(alpha) != 0) ||
      (txSampleLayout(bitmap) && txUnpack(bitmap) != 0)) {
    txFree(&alpha);
    SYS_ErrorSet(TX_ERR_ALPHA);
    return -1;
  }
  if (bitmap->bits == 24 && tx24to32(bitmap) != 0) {
    txFree(&alpha);
    return -1;
  }
  size_t stride = 4;
  if (alpha->bits == 24) stride = 3;
  else if (alpha->bits == 8) stride = 1;
  const size_t size = bitmap->imagesize[0], alphaSize = alpha->imagesize[0];
  uint8_t *dst = bitmap->image[0];
  const uint8_t *src = alpha->image[0];
  for (size_t i = 3, j = 0; i < size && j < alphaSize; i += 4, j += stride) dst[i] = src[j];
  txFree(&alpha);
  bitmap->subtype = TX_LAYOUT_RGBA;
  return 0;
}

namespace {

// Turns level 0 upside down; false when the row buffer cannot be had.
bool flipRows(txBitmap *bitmap) {
  size_t row = 0;
  if (bitmap->height <= 0 || !bitmap->image[0] || !txRowBytes(bitmap->width, bitmap->bits, &row) ||
      bitmap->imagesize[0] / size_t(bitmap->height) < row)
    return true;  // nothing that can be turned over
  uint8_t *line = static_cast<uint8_t *>(SYS_MemGet(row, __FILE__, __LINE__, "txLoad: flipping"));
  if (!line) return false;
  uint8_t *pixels = bitmap->image[0];
  for (int32_t i = 0; i < bitmap->height / 2; ++i) {
    uint8_t *a = pixels + size_t(i) * row;
    uint8_t *b = pixels + size_t(bitmap->height - 1 - i) * row;
    std::memcpy(line, a, row);
    std::memcpy(a, b, row);
    std::memcpy(b, line, row);
  }
  SYS_MEMFREE(line);
  return true;
}

}  // namespace

pxBitmap txLoad(const char *name) {
  SYS_ErrorClear();
  // Our own copy: the caller's text may live in a buffer that later calls
  // overwrite, and the nested alpha-map load replaces the loading name.
  const std::string ownName = name ? name : "";
  txState.loading = ownName;
  TX_DEBUG("[TL] Load bitmap: %s\n", txState.loading.c_str());

  const txFunctions &io = txState.io;
  if (io.fOpen(name) != 0) {
    TX_DEBUG("[TL]  ! unable to open texture (%s).\n", txState.loading.c_str());
    return nullptr;
  }
  uint8_t *buffer = io.fRead();
  if (!buffer) {
    TX_DEBUG("[TL]  ! unable to read texture (%s).\n", txState.loading.c_str());
    const int32_t code = SYS_ErrorGet();
    io.fClose();
    SYS_ErrorSet(code);
    return nullptr;
  }
  const int32_t fileSize = io.fFSize();
  io.fClose();
  const size_t size = fileSize > 0 ? size_t(fileSize) : 0;

  const txFilter *filter = txIdentify(buffer, size);
  if (!filter) {
    SYS_MEMFREE(buffer);
    SYS_ErrorSet(TX_ERR_FORMAT);
    return nullptr;
  }
  TX_DEBUG("[TL] type: %s\n", filter->description);

  pxBitmap bitmap = filter->read(buffer, size);
  SYS_MEMFREE(buffer);
  if (!bitmap) return nullptr;
  bitmap->id = filter->id;
  TX_DEBUG("[TL] size: %dx%d bits: %d\n", bitmap->width, bitmap->height, bitmap->bits);
  TX_DEBUG("[TL] imagesize: %u\n", bitmap->imagesize[0]);

  if (txState.alphaFlag == 0 || bitmap->type == TX_COMPRESSED) return bitmap;

  const std::string alphaName = txAlphaName(ownName);
  txState.alphaFlag = 0;
  txLoadAlphaMap(alphaName.c_str(), bitmap);
  SYS_ErrorClear();
  TX_DEBUG("[TL] ---\n");
  txState.alphaFlag = 1;

  // The scaling averages colours: a PNG image in the library's sample
  // layout is unpacked first, and palette indices become the colours they
  // name (both before the channel swap, which then applies to them). One
  // that cannot be brought to colours is returned as read, unscaled. So is
  // one too small to have a target (a side that divides to 0): the scaling
  // leaves it alone, and so must this.
  const bool scale = txState.quality != 0 && bitmap->levels == 1;
  const int32_t d = txState.quality == 1 ? 2 : 4;
  const bool shrinks = scale && bitmap->width / d > 0 && bitmap->height / d > 0;
  if (shrinks && ((txSampleLayout(bitmap) && txUnpack(bitmap) != 0) || txExpandIndexed(bitmap) != 0))
    SYS_ErrorClear();

  if (bitmap->type != txState.order && txSwapRB(bitmap) == 0) bitmap->type = txState.order;

  if (txState.flip) {
    TX_DEBUG("[TL] Horizontal flipping.\n");
    if (!flipRows(bitmap)) {
      txFree(&bitmap);
      SYS_ErrorSet(5);
      return nullptr;
    }
  }

  if (scale && !txSampleLayout(bitmap) && bitmap->subtype != TX_LAYOUT_INDEXED)
    txScale(bitmap, bitmap->width / d, bitmap->height / d);
  return bitmap;
}

int32_t txSave(int32_t id, const char *name, pxBitmap bitmap) {
  SYS_ErrorClear();
  const txFilter *writer = nullptr;
  for (const txFilter *const *row = txFilters; *row; ++row) {
    if ((*row)->id != id) continue;
    TX_DEBUG("[TL]  ! saving with %s\n", (*row)->name);
    if (!writer && (*row)->write) writer = *row;
  }
  if (!writer) {
    TX_DEBUG("[TL]  ! unknown format.\n");
    SYS_ErrorSet(TX_ERR_FORMAT);
    return -1;
  }
  const int32_t result = writer->write(name, bitmap);
  if (result != 0 && txState.debug) {
    const int32_t code = SYS_ErrorGet();
    SYS_Log(1, "[TL]  ! returned with error, code: %d\n", code);
  }
  return result;
}

// ---------------------------------------------------------------------------
// Bitmap utilities

int32_t txFree(pxBitmap *bitmap) {
  SYS_ErrorClear();
  if (!bitmap || !*bitmap) {
    SYS_ErrorSet(10);
    return -1;
  }
  pxBitmap b = *bitmap;
  for (int i = 0; i < TX_MAX_LEVELS; ++i)
    if (b->image[i]) SYS_MEMFREE(b->image[i]);
  if (b->palette) SYS_MEMFREE(b->palette);
  SYS_MEMFREE(*bitmap);
  return 0;
}

pxBitmap txDup(pxBitmap bitmap) {
  SYS_ErrorClear();
  if (!bitmap) {
    SYS_ErrorSet(TX_ERR_NO_BITMAP);
    return nullptr;
  }
  pxBitmap copy = static_cast<pxBitmap>(SYS_MemGet(sizeof(txBitmap), __FILE__, __LINE__,
                                                   "txDup: struct"));
  if (!copy) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  *copy = *bitmap;
  // Every buffer is copied, so the copy never shares memory with the source.
  for (int i = 0; i < TX_MAX_LEVELS; ++i) copy->image[i] = nullptr;
  copy->palette = nullptr;
  bool ok = true;
  for (int i = 0; i < TX_MAX_LEVELS && ok; ++i) {
    if (!bitmap->image[i]) continue;
    const size_t n = bitmap->imagesize[i];
    copy->image[i] = static_cast<uint8_t *>(SYS_MemGet(n ? n : 1, __FILE__, __LINE__,
                                                       "txDup: bitmap"));
    if (copy->image[i]) std::memcpy(copy->image[i], bitmap->image[i], n);
    else ok = false;
  }
  if (ok && bitmap->palette) {
    copy->palette = static_cast<uint8_t *>(SYS_MemGet(TX_PALETTE_BYTES, __FILE__, __LINE__,
                                                      "txDup: palette"));
    if (copy->palette) std::memcpy(copy->palette, bitmap->palette, TX_PALETTE_BYTES);
    else ok = false;
  }
  if (!ok) {
    txFree(&copy);
    SYS_ErrorSet(5);
    return nullptr;
  }
  return copy;
}

pxBitmap txCreateDummy(int32_t type, int32_t width, int32_t height) {
  SYS_ErrorClear();
  static const int32_t depth[] = {24, 24, 32, 8};
  if (type < 0 || type > 3) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  size_t bytes = 0;
  if (!txPixelBytes(width, height, depth[type], &bytes)) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  pxBitmap bitmap = txNewBitmap("txCreateDummy: struct");
  if (!bitmap) return nullptr;
  bitmap->image[0] = static_cast<uint8_t *>(SYS_MemGet(bytes, __FILE__, __LINE__,
                                                       "txCreateDummy: buffer"));
  if (!bitmap->image[0]) {
    SYS_MEMFREE(bitmap);
    SYS_ErrorSet(5);
    return nullptr;
  }
  std::memset(bitmap->image[0], 0, bytes);
  bitmap->type = type;
  bitmap->subtype = type;
  bitmap->width = width;
  bitmap->height = height;
  bitmap->bits = depth[type];
  bitmap->levels = 1;
  bitmap->imagesize[0] = uint32_t(bytes);
  return bitmap;
}

int32_t txSwapRB(pxBitmap bitmap) {
  SYS_ErrorClear();
  // Compressed blocks hold no pixel bytes to swap, and in 16-bit samples
  // bytes 0 and 2 are not red and blue.
  if (!bitmap || bitmap->bits < 24 || bitmap->type == TX_COMPRESSED || txSampleLayout(bitmap) ||
      (bitmap->bits != 24 && bitmap->bits != 32)) {
    SYS_ErrorSet(TX_ERR_FORMAT);
    return -1;
  }
  const size_t stride = size_t(bitmap->bits / 8);
  for (int level = 0; level < TX_MAX_LEVELS; ++level) {
    uint8_t *p = bitmap->image[level];
    if (!p) continue;
    const size_t size = bitmap->imagesize[level];
    for (size_t i = 0; i + 2 < size; i += stride) std::swap(p[i], p[i + 2]);
  }
  return 0;
}

int32_t txSetParam(int32_t code, int32_t value) {
  SYS_ErrorClear();
  switch (code) {
    case 0: txState.keepCompressed = value; return 0;
    case 1: txState.debug = value; return 0;
    case 2:
      txState.quality = value;
      SYS_Log(1, "[TL] Set texture quality: %d\n", value);
      return 0;
    case 3: txState.order = value; return 0;
    case 4: txState.flip = value; return 0;
    case 5: txState.jpegBaseline = value; return 0;
    case 6: txState.jpegProgressive = value; return 0;
    case 7: txState.jpegOptimize = value; return 0;
    case 8: txState.jpegSmoothing = value; return 0;
    case 9: txState.jpegQuality = value; return 0;
    case 11: txState.pngLevel = value; return 0;
    case 12: return txState.order;
    case TX_PARAM_DXT1:
      if (!(txState.disableBits & 1)) txState.dxt1 = value;
      return 0;
    case TX_PARAM_DXT3:
      if (!(txState.disableBits & 2)) txState.dxt3 = value;
      return 0;
    case TX_PARAM_DXT5:
      if (!(txState.disableBits & 4)) txState.dxt5 = value;
      return 0;
    default: SYS_ErrorSet(10); return -1;
  }
}

int32_t txGetError() { return SYS_ErrorGet(); }
int32_t txGetBpp(pxBitmap bitmap) { return bitmap ? bitmap->bits : 0; }

uint8_t *txGetImage(pxBitmap bitmap, int32_t level) {
  if (!bitmap || level < 0 || level >= TX_MAX_LEVELS) return nullptr;
  return bitmap->image[level];
}

uint32_t txGetImageSize(pxBitmap bitmap, int32_t level) {
  if (!bitmap || level < 0 || level >= TX_MAX_LEVELS) return 0;
  return bitmap->imagesize[level];
}

int32_t txGetConstant() { return 96; }

int32_t txInit(pxFunctions ops) {
  SYS_ErrorClear();
  txState.io = ops ? *ops : txDefaultIO;
  txState.debug = SYS_CfgGet("debug-tl", SYS_CFG_FLAG) > 0;
  if (SYS_CfgGet("disable-dxt1", SYS_CFG_FLAG) > 0) txState.disableBits |= 1;
  if (SYS_CfgGet("disable-dxt3", SYS_CFG_FLAG) > 0) txState.disableBits |= 2;
  if (SYS_CfgGet("disable-dxt5", SYS_CFG_FLAG) > 0) txState.disableBits |= 4;
  SYS_ErrorClear();
  return 0;
}

// ---------------------------------------------------------------------------
// Demo-side bindings

namespace {
constexpr size_t TX_NAME_MAX = 255;
void txLoaderUninit() {}
}  // namespace

pxBitmap txLoadBitmap(std::string_view name) {
  return txLoad(PasStr(name.substr(0, std::min(name.size(), TX_NAME_MAX))));
}

int32_t txSaveBitmap(int32_t id, std::string_view name, pxBitmap bitmap) {
  const std::string text(name);
  return txSave(id, text.c_str(), bitmap);
}

void txLoaderInit() { txInit(nullptr); }

void txLoaderRegister() {
  SYS_AddInitProc("Texture loader ...", TX_INIT_SLOT, txLoaderInit);
  SYS_AddExitProc("Uninit texture loader ...", TX_INIT_SLOT, txLoaderUninit);
}
