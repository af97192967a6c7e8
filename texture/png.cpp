// The PNG filter: Portable Network Graphics in and out, through libpng.
//
// The reader decodes the loader's buffer into one level, top row first,
// red first (`type` 1), exactly as the library delivers it: no expansion,
// no depth reduction, no gamma. `bits` is the bit depth times the channels
// (grey 1, grey with alpha 2, RGB 3, RGBA 4, palette 1), so 16-bit samples
// stay 16-bit (big-endian, as in the file), grey with alpha keeps its two
// channels and 1, 2 and 4-bit pixels stay packed, each row ending on a
// whole byte. `subtype` says 0 for 24 bits, 2 for 32-bit RGBA, 3 for 8-bit
// grey, 4 for 8-bit palette indices (with a 256-entry palette of red,
// green, blue, 0), -1 for everything else; 16-bit grey with alpha is 32
// bits too but is not RGBA, so it is -1 as well. `imagesize` is the
// buffer's real size, rows included whole. Interlaced images are put
// together. It never reads outside the buffer: a read past its end is a
// libpng error.
//
// The writer stores level 0 of a 24-bit, 32-bit or grey bitmap through the
// file system, in red-first order whatever the bitmap's own order.
//
// libpng reports every error by a longjmp to the point armed in the
// function that called into it. Those functions own no object with a
// destructor and keep everything they must release in a job record that
// lives in their caller's frame, so a jump neither leaks nor skips a
// destructor. No process-wide state: the read position lives in the job.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <limits>

#include "framework/sys.h"
#include "texture/formats.h"

namespace {

constexpr size_t PNG_SIGNATURE = 8;

// Deflate never expands better than 1032:1, so a picture whose raw rows
// exceed that many times the file cannot be in it.
constexpr uint64_t PNG_MAX_RATIO = 1032;

void pngError(png_structp png, png_const_charp message) {
  if (txState.debug) SYS_Log(1, "[TL][png] %s\n", message);
  png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp message) {
  if (txState.debug) SYS_Log(1, "[TL][png] warning: %s\n", message);
}

// ---------------------------------------------------------------------------
// Reading

struct PngSource {
  const uint8_t *data;
  size_t size;
  size_t position;
  bool overrun;  // libpng asked for bytes the file does not have
};

void pngReadData(png_structp png, png_bytep out, png_size_t count) {
  PngSource *source = static_cast<PngSource *>(png_get_io_ptr(png));
  if (count > source->size - source->position) {
    source->overrun = true;
    png_error(png, "unexpected end of file");
  }
  std::memcpy(out, source->data + source->position, count);
  source->position += count;
}

struct PngReadJob {
  PngSource source;
  png_structp png;
  png_infop info;
  png_infop end;
  uint8_t *pixels;
  png_bytepp rows;
  uint8_t *palette;
  png_uint_32 width, height;
  int32_t bits;
  int32_t subtype;
  size_t bytes;
  int32_t code;  // the failure's code when not a libpng error
};

// Reads the layout the library delivers; false with job->code set when the
// image cannot be held.
bool choosePngLayout(PngReadJob *job) {
  png_structp png = job->png;
  png_infop info = job->info;
  png_uint_32 width = 0, height = 0;
  int depth = 0, color = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &color, &interlace, nullptr, nullptr);

  // The raw rows must fit into what the file could inflate to.
  const uint64_t rawRow = png_get_rowbytes(png, info);
  if (uint64_t(height) * rawRow > (uint64_t(job->source.size) + 1) * PNG_MAX_RATIO) {
    job->code = TX_ERR_SHORT;
    return false;
  }

  // Only the passes of an interlaced image are put together; the pixels
  // stay as they are.
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  const int channels = png_get_channels(png, info);
  job->width = width;
  job->height = height;
  job->bits = depth * channels;
  switch (job->bits) {
    case 8: job->subtype = color == PNG_COLOR_TYPE_PALETTE ? TX_LAYOUT_INDEXED : TX_LAYOUT_GREY; break;
    case 24: job->subtype = TX_LAYOUT_RGB; break;
    case 32: job->subtype = color == PNG_COLOR_TYPE_RGB_ALPHA ? TX_LAYOUT_RGBA : TX_LAYOUT_OTHER; break;
    default: job->subtype = TX_LAYOUT_OTHER; break;
  }
  const size_t row = png_get_rowbytes(png, info);
  size_t row8 = 0;
  if (!txRowBytes(width, job->bits, &row8) || row != row8 || height == 0 ||
      row > std::numeric_limits<uint32_t>::max() / height) {
    job->code = TX_ERR_DEPTH;
    return false;
  }
  job->bytes = row * height;
  return true;
}

// Runs libpng over the job's buffer; false on any failure (job->code set,
// or 0 for a libpng error).
bool decodePng(PngReadJob *job) {
  if (setjmp(png_jmpbuf(job->png))) return false;

  png_set_read_fn(job->png, &job->source, pngReadData);
  png_set_sig_bytes(job->png, int(PNG_SIGNATURE));
  png_read_info(job->png, job->info);
  if (!choosePngLayout(job)) return false;

  job->pixels = static_cast<uint8_t *>(SYS_MemGet(job->bytes, __FILE__, __LINE__, "pngRead: bitmap"));
  job->rows = static_cast<png_bytepp>(
      SYS_MemGet(size_t(job->height) * sizeof(png_bytep), __FILE__, __LINE__, "pngRead: row"));
  if (!job->pixels || !job->rows) {
    job->code = 5;
    return false;
  }
  const size_t row = job->bytes / job->height;
  for (png_uint_32 y = 0; y < job->height; ++y) job->rows[y] = job->pixels + size_t(y) * row;
  png_read_image(job->png, job->rows);
  SYS_MEMFREE(job->rows);

  png_colorp entries = nullptr;
  int count = 0;
  if (png_get_color_type(job->png, job->info) == PNG_COLOR_TYPE_PALETTE &&
      png_get_PLTE(job->png, job->info, &entries, &count)) {
    job->palette = static_cast<uint8_t *>(
        SYS_MemGet(TX_PALETTE_BYTES, __FILE__, __LINE__, "pngRead: palette"));
    if (!job->palette) {
      job->code = 5;
      return false;
    }
    std::memset(job->palette, 0, TX_PALETTE_BYTES);
    for (int i = 0; i < count && i < TX_PALETTE_ENTRIES; ++i) {
      job->palette[4 * i] = entries[i].red;
      job->palette[4 * i + 1] = entries[i].green;
      job->palette[4 * i + 2] = entries[i].blue;
    }
  }
  png_read_end(job->png, job->end);
  return true;
}

void releaseReadJob(PngReadJob *job) {
  png_destroy_read_struct(&job->png, job->info ? &job->info : nullptr,
                          job->end ? &job->end : nullptr);
  if (job->pixels) SYS_MEMFREE(job->pixels);
  if (job->rows) SYS_MEMFREE(job->rows);
  if (job->palette) SYS_MEMFREE(job->palette);
}

// ---------------------------------------------------------------------------
// Writing

void pngWriteData(png_structp png, png_bytep data, png_size_t count) {
  SYS_File_p file = static_cast<SYS_File_p>(png_get_io_ptr(png));
  while (count > 0) {
    const int32_t chunk = count > 0x40000000 ? 0x40000000 : int32_t(count);
    if (SYS_FileWrite(file, data, chunk) != 0) png_error(png, "cannot write the file");
    data += chunk;
    count -= size_t(chunk);
  }
}

void pngFlush(png_structp) {}

struct PngWriteJob {
  const char *name;
  pxBitmap bitmap;
  png_structp png;
  png_infop info;
  SYS_File_p file;
  int color;
  bool blueFirst;
  size_t row;
  int32_t code;
};

bool encodePng(PngWriteJob *job) {
  if (setjmp(png_jmpbuf(job->png))) return false;

  job->file = SYS_FileOpen(job->name, SYS_FILE_WRITE);
  if (!job->file) {
    job->code = 9;
    return false;
  }
  png_set_write_fn(job->png, job->file, pngWriteData, pngFlush);
  png_set_compression_level(job->png, txState.pngLevel);
  if (job->blueFirst) png_set_bgr(job->png);
  png_set_IHDR(job->png, job->info, png_uint_32(job->bitmap->width),
               png_uint_32(job->bitmap->height), 8, job->color, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(job->png, job->info);
  for (int32_t y = 0; y < job->bitmap->height; ++y)
    png_write_row(job->png, job->bitmap->image[0] + size_t(y) * job->row);
  png_write_end(job->png, nullptr);
  return true;
}

}  // namespace

int32_t pngIdentify(const uint8_t *data, size_t size) {
  return size >= 4 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G'
             ? 0
             : TX_ERR_FORMAT;
}

pxBitmap pngRead(const uint8_t *data, size_t size) {
  SYS_ErrorClear();
  if (!data || size < PNG_SIGNATURE) {
    SYS_ErrorSet(TX_ERR_SHORT);
    return nullptr;
  }
  if (png_sig_cmp(data, 0, PNG_SIGNATURE) != 0) {
    SYS_ErrorSet(TX_ERR_FORMAT);
    return nullptr;
  }
  pxBitmap bitmap = txNewBitmap("pngRead: struct");
  if (!bitmap) return nullptr;

  PngReadJob job = {};
  job.source = {data, size, PNG_SIGNATURE, false};
  job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (job.png) job.info = png_create_info_struct(job.png);
  if (job.info) job.end = png_create_info_struct(job.png);
  if (!job.end) {
    releaseReadJob(&job);
    txFree(&bitmap);
    SYS_ErrorSet(5);
    return nullptr;
  }

  if (!decodePng(&job)) {
    const int32_t code = job.code ? job.code : job.source.overrun ? TX_ERR_SHORT : TX_ERR_FORMAT;
    releaseReadJob(&job);
    txFree(&bitmap);
    SYS_ErrorSet(code);
    return nullptr;
  }

  bitmap->type = TX_RED_FIRST;
  bitmap->subtype = job.subtype;
  bitmap->id = TX_ID_PNG;
  bitmap->width = int32_t(job.width);
  bitmap->height = int32_t(job.height);
  bitmap->bits = job.bits;
  bitmap->levels = 1;
  bitmap->imagesize[0] = uint32_t(job.bytes);
  bitmap->image[0] = job.pixels;
  bitmap->palette = job.palette;
  job.pixels = nullptr;
  job.palette = nullptr;
  releaseReadJob(&job);
  return bitmap;
}

int32_t pngWrite(const char *name, pxBitmap bitmap) {
  SYS_ErrorClear();
  if (!name || !bitmap) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (uint32_t(bitmap->type) > 2 || uint32_t(bitmap->subtype) > 3) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  static const int colorOf[] = {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA,
                                PNG_COLOR_TYPE_GRAY};
  static const int32_t bitsOf[] = {24, 24, 32, 8};
  // The header can only describe what the buffer really holds.
  size_t bytes = 0;
  if (bitmap->bits != bitsOf[bitmap->subtype] || !bitmap->image[0] ||
      !txPixelBytes(bitmap->width, bitmap->height, bitmap->bits, &bytes) ||
      bitmap->imagesize[0] < bytes) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  if (txState.debug) {
    SYS_Log(1, "[TL][png] PNG write: %s\n", name);
    SYS_Log(1, "[TL][png]  size: %dx%d %dbits\n", bitmap->width, bitmap->height, bitmap->bits);
    SYS_Log(1, "[TL][png]  type: %d subtype: %d\n", bitmap->type, bitmap->subtype);
  }

  PngWriteJob job = {};
  job.name = name;
  job.bitmap = bitmap;
  job.color = colorOf[bitmap->subtype];
  // Colour pixels are stored red first; only a bitmap that says it is
  // red first goes out as it is.
  job.blueFirst = job.color != PNG_COLOR_TYPE_GRAY && bitmap->type != TX_RED_FIRST &&
                  bitmap->subtype != TX_LAYOUT_RGB_DUMMY;
  job.row = bytes / size_t(bitmap->height);
  job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!job.png) {
    SYS_ErrorSet(10000);
    return -1;
  }
  job.info = png_create_info_struct(job.png);
  if (!job.info) {
    png_destroy_write_struct(&job.png, nullptr);
    SYS_ErrorSet(9);
    return -1;
  }
  const bool ok = encodePng(&job);
  png_destroy_write_struct(&job.png, &job.info);
  if (job.file) SYS_FileClose(job.file);
  if (!ok) {
    SYS_ErrorSet(job.code ? job.code : 5);
    return -1;
  }
  SYS_ErrorClear();
  return 0;
}
