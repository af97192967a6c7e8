// The texture loader: turns an image file into a txBitmap.
//
// A load reads the whole file through five stream operations (txFunctions),
// offers its first bytes to the image filters in table order, lets the first
// filter that recognises them decode the buffer, and then applies the
// process-wide parameters: a separate alpha map ("name_a.ext"), the wanted
// channel order, an optional row flip and the texture-quality down-scaling.
//
// Invariants:
// - A bitmap and every buffer it points to are tracked-memory blocks owned by
//   whoever holds the pointer; txFree releases them.
// - Level buffers hold rows of width * bits / 8 bytes without gaps, top row
//   first; imagesize[n] is the byte size of image[n]. A PNG image keeps the
//   layout the library delivers (see txSampleLayout): rows of 1, 2 or 4-bit
//   pixels then end on a whole byte, and 16-bit samples are big-endian.
// - A palette, when present, always holds 256 entries of 4 bytes, so any
//   index byte addresses memory inside it.
//
// Threads: main thread only. The parameters, the default stream operations'
// one open file and the alpha-map flag are unguarded process-wide state; a
// load is re-entered only by the alpha-map load nested inside it.
//
// Never: reads past a buffer it was given; reports success after a failed
// decode (failures return NULL or -1 with the last-error code set).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr int TX_MAX_LEVELS = 13;
constexpr int TX_PALETTE_ENTRIES = 256;
constexpr size_t TX_PALETTE_BYTES = TX_PALETTE_ENTRIES * 4;

// Channel orders (txBitmap.type).
enum : int32_t {
  TX_BLUE_FIRST = 0,
  TX_RED_FIRST = 1,
  TX_COMPRESSED = 5,  // levels hold S3TC blocks as read from the file
};

// Pixel layouts (txBitmap.subtype) of uncompressed bitmaps.
enum : int32_t {
  TX_LAYOUT_OTHER = -1,
  TX_LAYOUT_RGB = 0,
  TX_LAYOUT_RGB_DUMMY = 1,
  TX_LAYOUT_RGBA = 2,
  TX_LAYOUT_GREY = 3,
  TX_LAYOUT_INDEXED = 4,
};

// Type ids of the image filters (txBitmap.id, txSave).
enum : int32_t {
  TX_ID_TGA = 0,
  TX_ID_JPEG = 1,
  TX_ID_BMP = 2,
  TX_ID_PNG = 3,
  TX_ID_DDS = 4,
  TX_ID_QTX = 5,
  TX_ID_PNM = 6,
  TX_ID_DICOM = 7,
};

// Texture-loader error codes (the framework's last-error code).
enum : int32_t {
  TX_ERR_FORMAT = 1000,      // not recognised, no writer, or a depth an operation cannot handle
  TX_ERR_NO_BITMAP = 1001,   // txDup without a bitmap
  TX_ERR_SHORT = 1002,       // a recognised file shorter than its header promises
  TX_ERR_ALPHA = 1003,       // alpha map not found or not usable
  TX_ERR_DEPTH = 1004,       // bit depth or compression not supported
  TX_ERR_LAYOUT = 1005,      // a layout a writer cannot store; load or upload failure
};

typedef uint32_t TImageSizeArray[TX_MAX_LEVELS];
typedef uint8_t *TImageArray[TX_MAX_LEVELS];

struct txBitmap {
  int32_t type;        // channel order, see TX_BLUE_FIRST ...
  int32_t subtype;     // pixel layout, or the GL compressed format when type is 5
  int32_t id;          // type id of the filter that read it
  uint32_t fourcc;     // "DXT1"/"DXT3"/"DXT5" of a DDS-read bitmap, else 0
  int32_t width;
  int32_t height;
  int32_t bits;        // bits per pixel
  int32_t levels;      // 1..13
  uint8_t *palette;    // 256 entries of 4 bytes for indexed bitmaps, else NULL
  TImageSizeArray imagesize;
  TImageArray image;
};
typedef txBitmap *pxBitmap;

// Stream operations. read() returns a tracked buffer owned by the caller.
typedef int32_t (*txOpenProc)(const char *name);
typedef uint8_t *(*txReadProc)();
typedef int32_t (*txSizeProc)();
typedef int32_t (*txCloseProc)();
typedef int32_t (*txExistProc)(const char *name);

struct txFunctions {
  txOpenProc fOpen;      // 0 when open
  txReadProc fRead;      // whole open file, or NULL
  txSizeProc fFSize;     // byte size of the open file
  txCloseProc fClose;
  txExistProc fFExist;   // byte size of the named file, negative when missing
};
typedef txFunctions *pxFunctions;

// One image filter. identify() gets the file's bytes and their count and
// returns 0 when it recognises them.
typedef int32_t (*txIdentifyProc)(const uint8_t *data, size_t size);
typedef pxBitmap (*txReadImageProc)(const uint8_t *data, size_t size);
typedef int32_t (*txWriteImageProc)(const char *name, pxBitmap bitmap);

struct txFilter {
  int32_t id;
  const char *name;
  const char *description;
  txIdentifyProc identify;
  txReadImageProc read;
  txWriteImageProc write;  // NULL for input-only filters
};

// The filter table in probing order, ended by NULL.
extern const txFilter *const txFilters[];

// Process-wide loader parameters (initial values as set at process start).
struct txLoaderState {
  int32_t debug;            // 0
  int32_t order;            // wanted channel order, 0
  int32_t flip;             // 0
  int32_t quality;          // 0 full size, 1 half, other a quarter
  int32_t keepCompressed;   // 1
  int32_t disableBits;      // 1 DXT1, 2 DXT3, 4 DXT5
  int32_t dxt1, dxt3, dxt5; // renderer support, 0
  int32_t jpegBaseline;     // 1
  int32_t jpegProgressive;  // 1
  int32_t jpegOptimize;     // 100
  int32_t jpegSmoothing;    // 0
  int32_t jpegQuality;      // 75
  int32_t pngLevel;         // 9
  const char *tgaComment;
  int32_t alphaFlag;        // 1; 0 while an alpha map is being loaded
  std::string loading;      // the name being loaded, for the filters' log lines
  txFunctions io;
};
extern txLoaderState txState;

int32_t txInit(pxFunctions ops);
pxBitmap txLoad(const char *name);
int32_t txLoadAlphaMap(const char *alphaName, pxBitmap bitmap);
int32_t txSave(int32_t id, const char *name, pxBitmap bitmap);
int32_t txFree(pxBitmap *bitmap);
pxBitmap txDup(pxBitmap bitmap);
pxBitmap txCreateDummy(int32_t type, int32_t width, int32_t height);
int32_t txSwapRB(pxBitmap bitmap);
int32_t txSetParam(int32_t code, int32_t value);
int32_t txGetError();
int32_t txGetBpp(pxBitmap bitmap);
uint8_t *txGetImage(pxBitmap bitmap, int32_t level);
uint32_t txGetImageSize(pxBitmap bitmap, int32_t level);
int32_t txGetConstant();
const txFilter *txIdentify(const uint8_t *data, size_t size);

// The alpha map's name for an image name: "base_a.ext", or "name_a" when
// the file part of the name has no '.'.
std::string txAlphaName(std::string_view name);

// Bytes of width x height pixels of the given depth; false when a side is
// not positive, the depth is not a whole number of bytes, or the size does
// not fit a level's 32-bit byte count.
bool txPixelBytes(int64_t width, int64_t height, int32_t bits, size_t *bytes);

// Bytes of a row of `width` pixels of `bits` each, rounded up to a whole
// byte; false when the width or depth is not positive or the row is huge.
bool txRowBytes(int64_t width, int32_t bits, size_t *bytes);

// Whether level 0 holds something other than one byte per channel: a PNG
// image as the library delivered it (packed 1, 2 or 4-bit rows, 16-bit
// samples, grey with alpha). Such a bitmap has `subtype` -1; the channel
// swap leaves it alone, while the alpha merge, the quality scaling and the
// uploaders bring it to bytes with txUnpack (convert.h) first.
bool txSampleLayout(const txBitmap *bitmap);

// A zeroed record (tracked, with the given tag), or NULL with code 5.
pxBitmap txNewBitmap(const char *tag);

// Default stream operations over the virtual file system.
int32_t txIOpen(const char *name);
uint8_t *txIRead();
int32_t txISize();
int32_t txIClose();
int32_t txIExist(const char *name);

// Demo-side bindings.
pxBitmap txLoadBitmap(std::string_view name);
int32_t txSaveBitmap(int32_t id, std::string_view name, pxBitmap bitmap);
void txLoaderInit();
void txLoaderRegister();
