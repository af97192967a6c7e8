// The JPEG filter: JPEG images in and out, through libjpeg.
//
// The reader decodes the loader's buffer with libjpeg's default settings
// into one level, top row first, red first (`type` 1): 24-bit RGB
// (subtype 0) for colour files, 8-bit grey (subtype 3) for one-component
// files. CMYK and YCCK files, which would come out as four inks, are
// turned into RGB the way libjpeg's own djpeg does (Adobe's inverted
// inks: each colour is ink × black / 255). A stream that ends early is
// closed with an end-of-image marker and a warning, so a truncated file
// gives the rows it holds and the rest as libjpeg fills them; it is never
// read again from its start and never past its end. Every frame up to
// 4096 x 4096 decodes; a larger one that its file's bytes could not code
// (see backedPixels) fails with 5 before it is decoded, as does a file
// whose scans would walk its frame too many times.
//
// The writers store level 0 of a 24-bit, 32-bit or grey bitmap through the
// file system, red first whatever the bitmap's own order; a 32-bit bitmap
// gives two files, the colour one and its alpha map ("name_a.ext").
//
// libjpeg reports every error through its error exit, which here logs the
// library's message and jumps back to the function that called into it.
// Those functions own no object with a destructor and keep what they must
// release in a job record their caller owns, so a jump neither leaks nor
// skips a destructor. Nothing ends the process. No process-wide state:
// each decode has its own source manager.
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <string>

#include "framework/sys.h"
#include "texture/formats.h"

namespace {

struct JpegError {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

// libjpeg's messages go to the framework's log, not to the terminal.
void jpegOutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  SYS_Log(1, "[TL][jpeg] %s\n", text);
}

void jpegErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  longjmp(reinterpret_cast<JpegError *>(cinfo->err)->jump, 1);
}

void jpegErrorManager(JpegError *error) {
  jpeg_std_error(&error->pub);
  error->pub.error_exit = jpegErrorExit;
  error->pub.output_message = jpegOutputMessage;
}

// ---------------------------------------------------------------------------
// Memory source

struct JpegSource {
  jpeg_source_mgr pub;
  const uint8_t *data;
  size_t size;
};

const JOCTET jpegEndOfImage[2] = {0xFF, JPEG_EOI};

void jpegInitSource(j_decompress_ptr) {}
void jpegTermSource(j_decompress_ptr) {}

// Called only when the whole file has been consumed: the stream ends here.
boolean jpegFillInput(j_decompress_ptr cinfo) {
  WARNMS(cinfo, JWRN_JPEG_EOF);
  cinfo->src->next_input_byte = jpegEndOfImage;
  cinfo->src->bytes_in_buffer = sizeof jpegEndOfImage;
  return TRUE;
}

void jpegSkipInput(j_decompress_ptr cinfo, long count) {
  if (count < 1) return;
  jpeg_source_mgr *src = cinfo->src;
  if (size_t(count) >= src->bytes_in_buffer) {
    src->next_input_byte += src->bytes_in_buffer;
    src->bytes_in_buffer = 0;
    jpegFillInput(cinfo);
    return;
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= size_t(count);
}

void jpegMemSrc(j_decompress_ptr cinfo, JpegSource *source, const uint8_t *data, size_t size) {
  source->pub.init_source = jpegInitSource;
  source->pub.fill_input_buffer = jpegFillInput;
  source->pub.skip_input_data = jpegSkipInput;
  source->pub.resync_to_restart = jpeg_resync_to_restart;
  source->pub.term_source = jpegTermSource;
  source->pub.next_input_byte = data;
  source->pub.bytes_in_buffer = size;
  source->data = data;
  source->size = size;
  cinfo->src = &source->pub;
}

// ---------------------------------------------------------------------------
// Reading

struct JpegReadJob {
  jpeg_decompress_struct cinfo;  // first: the progress monitor finds the job through it
  JpegError error;
  JpegSource source;
  jpeg_progress_mgr progress;
  uint64_t scanBudget;  // pixels all scans together may visit
  bool created;
  uint8_t *pixels;
  size_t bytes;
  int32_t bits;
  int32_t code;  // the failure's code when not a libjpeg error
};

// Adobe's CMYK files store inverted inks; this is djpeg's conversion.
inline uint8_t inkTimesBlack(unsigned ink, unsigned black) {
  return uint8_t((2 * ink * black + 255) / 510);
}

// Any file may name a frame of up to 4096 x 4096 pixels, whatever its
// coding: arithmetic coding spends almost nothing on a flat block, so a
// solid full-HD frame takes a couple of hundred bytes. Such a frame costs
// at most 48 MB of pixels and, with at most four components, 128 MB of the
// library's coefficient buffers. A larger frame must be backed by its
// file's bytes: a complete Huffman-coded stream spends at least one bit on
// every 8 x 8 block it codes, so no such frame gives more than about 512
// pixels per byte; one of more than four times that fails with 5 before
// anything is allocated for it, as the fill of a cut stream that names
// gigabytes from a few hundred bytes would.
constexpr uint64_t JPEG_MAX_PIXELS_PER_BYTE = 2048;
constexpr uint64_t JPEG_ANY_FILE_PIXELS = uint64_t(4096) * 4096;

uint64_t backedPixels(size_t fileBytes) {
  return std::max(JPEG_ANY_FILE_PIXELS, JPEG_MAX_PIXELS_PER_BYTE * uint64_t(fileBytes));
}

// Every scan walks all the blocks of its components, even when its bytes
// run out or one end-of-band run covers them, so a scan of a dozen bytes
// costs a pass over the whole frame. All scans together may visit 64 times
// the pixels the file backs, several times what any progression script
// needs; past that the decode fails with 5, so its time stays a fixed
// multiple of the larger of the file's bytes and a 4096 x 4096 frame
// however many scans the file repeats.
constexpr uint64_t JPEG_MAX_PASSES = 64;

void jpegScanBudget(j_common_ptr common) {
  JpegReadJob *job = reinterpret_cast<JpegReadJob *>(common);
  const jpeg_decompress_struct &cinfo = job->cinfo;
  const uint64_t visited = uint64_t(cinfo.input_scan_number) * cinfo.image_width * cinfo.image_height;
  if (visited <= job->scanBudget) return;
  if (txState.debug) SYS_Log(1, "[TL][jpeg] more scans than the file's bytes back\n");
  job->code = 5;
  longjmp(job->error.jump, 1);
}

bool decodeJpeg(JpegReadJob *job, const uint8_t *data, size_t size) {
  j_decompress_ptr cinfo = &job->cinfo;
  jpegErrorManager(&job->error);
  cinfo->err = &job->error.pub;
  if (setjmp(job->error.jump)) return false;

  jpeg_create_decompress(cinfo);
  job->created = true;
  jpegMemSrc(cinfo, &job->source, data, size);
  jpeg_read_header(cinfo, TRUE);
  if (uint64_t(cinfo->image_width) * cinfo->image_height > backedPixels(size)) {
    job->code = 5;
    return false;
  }
  // Only grey, colour and ink files give pixels; refused here, other
  // component counts never get their coefficient buffers.
  if (cinfo->num_components != 1 && cinfo->num_components != 3 && cinfo->num_components != 4) {
    job->code = TX_ERR_DEPTH;
    return false;
  }
  job->scanBudget = JPEG_MAX_PASSES * backedPixels(size);
  job->progress.progress_monitor = jpegScanBudget;
  cinfo->progress = &job->progress;
  const bool inks = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  if (inks) cinfo->out_color_space = JCS_CMYK;
  jpeg_start_decompress(cinfo);

  const int components = cinfo->output_components;
  if (!(components == 1 || components == 3 || (inks && components == 4))) {
    job->code = TX_ERR_DEPTH;
    return false;
  }
  job->bits = components == 1 ? 8 : 24;
  if (!txPixelBytes(cinfo->output_width, cinfo->output_height, job->bits, &job->bytes)) {
    job->code = 5;
    return false;
  }
  job->pixels = static_cast<uint8_t *>(SYS_MemGet(job->bytes, __FILE__, __LINE__, "jpegRead: bitmap"));
  if (!job->pixels) {
    job->code = 5;
    return false;
  }
  const size_t width = cinfo->output_width;
  const size_t row = width * size_t(job->bits / 8);
  JSAMPARRAY line = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                JDIMENSION(width * size_t(components)), 1);
  while (cinfo->output_scanline < cinfo->output_height) {
    // The source never suspends, so each call gives a row.
    if (jpeg_read_scanlines(cinfo, line, 1) != 1) {
      job->code = 5;
      return false;
    }
    uint8_t *out = job->pixels + size_t(cinfo->output_scanline - 1) * row;
    if (components != 4) {
      std::memcpy(out, line[0], row);
      continue;
    }
    const JSAMPLE *in = line[0];
    for (size_t x = 0; x < width; ++x, in += 4, out += 3) {
      out[0] = inkTimesBlack(in[0], in[3]);
      out[1] = inkTimesBlack(in[1], in[3]);
      out[2] = inkTimesBlack(in[2], in[3]);
    }
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

// ---------------------------------------------------------------------------
// Writing

// Writes the compressor's output through the file system in slices.
struct JpegDestination {
  jpeg_destination_mgr pub;
  SYS_File_p file;
  JOCTET buffer[4096];
};

void jpegInitDestination(j_compress_ptr cinfo) {
  JpegDestination *dest = reinterpret_cast<JpegDestination *>(cinfo->dest);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = sizeof dest->buffer;
}

boolean jpegEmptyOutput(j_compress_ptr cinfo) {
  JpegDestination *dest = reinterpret_cast<JpegDestination *>(cinfo->dest);
  if (SYS_FileWrite(dest->file, dest->buffer, int32_t(sizeof dest->buffer)) != 0)
    ERREXIT(cinfo, JERR_FILE_WRITE);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = sizeof dest->buffer;
  return TRUE;
}

void jpegTermDestination(j_compress_ptr cinfo) {
  JpegDestination *dest = reinterpret_cast<JpegDestination *>(cinfo->dest);
  const size_t used = sizeof dest->buffer - dest->pub.free_in_buffer;
  if (used > 0 && SYS_FileWrite(dest->file, dest->buffer, int32_t(used)) != 0)
    ERREXIT(cinfo, JERR_FILE_WRITE);
}

struct JpegWriteJob {
  jpeg_compress_struct cinfo;
  JpegError error;
  JpegDestination dest;
  bool created;
  const char *name;
  const uint8_t *pixels;
  int32_t width, height, components;
  size_t stride;   // bytes from one source pixel to the next
  bool swapRB;     // source pixels are blue first
  JSAMPLE *line;   // one converted row, or NULL when rows go out as they are
  int32_t code;
};

bool encodeJpeg(JpegWriteJob *job) {
  j_compress_ptr cinfo = &job->cinfo;
  jpegErrorManager(&job->error);
  cinfo->err = &job->error.pub;
  if (setjmp(job->error.jump)) return false;

  jpeg_create_compress(cinfo);
  job->created = true;
  job->dest.file = SYS_FileOpen(job->name, SYS_FILE_WRITE);
  if (!job->dest.file) {
    job->code = 9;
    return false;
  }
  job->dest.pub.init_destination = jpegInitDestination;
  job->dest.pub.empty_output_buffer = jpegEmptyOutput;
  job->dest.pub.term_destination = jpegTermDestination;
  cinfo->dest = &job->dest.pub;

  if (txState.debug) {
    SYS_Log(1, "[TL][jpeg] JPEG name: %s\n", job->name);
    SYS_Log(1, "[TL][jpeg]  size: %dx%d %dbits\n", job->width, job->height, job->components * 8);
  }
  cinfo->in_color_space = job->components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  cinfo->input_components = job->components;
  cinfo->image_width = JDIMENSION(job->width);
  cinfo->image_height = JDIMENSION(job->height);
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, txState.jpegQuality, txState.jpegBaseline ? TRUE : FALSE);
  cinfo->optimize_coding = txState.jpegOptimize ? TRUE : FALSE;
  // libjpeg defines smoothing for 0..100 only.
  const int32_t smoothing = txState.jpegSmoothing;
  cinfo->smoothing_factor = smoothing < 0 ? 0 : smoothing > 100 ? 100 : smoothing;
  if (txState.jpegProgressive) jpeg_simple_progression(cinfo);
  jpeg_start_compress(cinfo, TRUE);

  const size_t width = size_t(job->width), components = size_t(job->components);
  if (job->stride != components || job->swapRB)
    job->line = static_cast<JSAMPLE *>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, width * components));
  for (int32_t y = 0; y < job->height; ++y) {
    const uint8_t *src = job->pixels + size_t(y) * width * job->stride;
    JSAMPROW row = const_cast<JSAMPROW>(src);
    if (job->line) {
      for (size_t x = 0; x < width; ++x) {
        const uint8_t *p = src + x * job->stride;
        JSAMPLE *q = job->line + x * components;
        if (components == 1) {
          q[0] = p[0];
        } else {
          q[0] = p[job->swapRB ? 2 : 0];
          q[1] = p[1];
          q[2] = p[job->swapRB ? 0 : 2];
        }
      }
      row = job->line;
    }
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

// Writes one file from pixels `stride` bytes apart, taking the first
// `components` bytes of each (bytes 0 and 2 swapped when `swapRB`).
int32_t writeJpeg(const char *name, const uint8_t *pixels, int32_t width, int32_t height,
                  int32_t components, size_t stride, bool swapRB) {
  SYS_ErrorClear();
  if (!name || !pixels || width <= 0 || height <= 0 || (components != 1 && components != 3)) {
    SYS_ErrorSet(10);
    return -1;
  }
  JpegWriteJob *job = static_cast<JpegWriteJob *>(
      SYS_MemGet(sizeof(JpegWriteJob), __FILE__, __LINE__, "jpegWriteFile: job"));
  if (!job) {
    SYS_ErrorSet(5);
    return -1;
  }
  std::memset(job, 0, sizeof *job);
  job->name = name;
  job->pixels = pixels;
  job->width = width;
  job->height = height;
  job->components = components;
  job->stride = stride;
  job->swapRB = swapRB;
  const bool ok = encodeJpeg(job);
  if (job->created) jpeg_destroy_compress(&job->cinfo);
  if (job->dest.file) SYS_FileClose(job->dest.file);
  const int32_t code = job->code ? job->code : 5;
  SYS_MEMFREE(job);
  if (!ok) {
    SYS_ErrorSet(code);
    return -1;
  }
  SYS_ErrorClear();
  return 0;
}

}  // namespace

int32_t jpegIdentify(const uint8_t *data, size_t size) {
  return size >= 10 && std::memcmp(data + 6, "JFIF", 4) == 0 ? 0 : TX_ERR_FORMAT;
}

pxBitmap jpegRead(const uint8_t *data, size_t size) {
  SYS_ErrorClear();
  if (!data) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  pxBitmap bitmap = txNewBitmap("jpegRead: struct");
  if (!bitmap) return nullptr;
  // The job is large (libjpeg's records); it lives on the heap.
  JpegReadJob *job = static_cast<JpegReadJob *>(
      SYS_MemGet(sizeof(JpegReadJob), __FILE__, __LINE__, "jpegRead: job"));
  if (!job) {
    txFree(&bitmap);
    SYS_ErrorSet(5);
    return nullptr;
  }
  std::memset(job, 0, sizeof *job);
  const bool ok = decodeJpeg(job, data, size);
  if (ok) {
    bitmap->type = TX_RED_FIRST;
    bitmap->subtype = job->bits == 8 ? TX_LAYOUT_GREY : TX_LAYOUT_RGB;
    bitmap->width = int32_t(job->cinfo.output_width);
    bitmap->height = int32_t(job->cinfo.output_height);
    bitmap->bits = job->bits;
    bitmap->levels = 1;
    bitmap->imagesize[0] = uint32_t(job->bytes);
    bitmap->image[0] = job->pixels;
    job->pixels = nullptr;
    if (txState.debug) {
      SYS_Log(1, "[TL][jpeg] JPEG: %s\n", txState.loading.c_str());
      SYS_Log(1, "[TL][jpeg]  size: %dx%d bits: %d\n", bitmap->width, bitmap->height, bitmap->bits);
      SYS_Log(1, "[TL][jpeg]  imagesize[0]: %lu\n", static_cast<unsigned long>(job->bytes));
    }
  }
  if (job->created) jpeg_destroy_decompress(&job->cinfo);
  if (job->pixels) SYS_MEMFREE(job->pixels);
  const int32_t code = job->code ? job->code : 5;
  SYS_MEMFREE(job);
  if (!ok) {
    txFree(&bitmap);
    SYS_ErrorSet(code);
    return nullptr;
  }
  return bitmap;
}

int32_t jpegWriteFile(const char *name, const uint8_t *pixels, int32_t width, int32_t height,
                      int32_t components) {
  return writeJpeg(name, pixels, width, height, components, size_t(components), false);
}

int32_t jpegWrite(const char *name, pxBitmap bitmap) {
  SYS_ErrorClear();
  if (!name || !bitmap) {
    SYS_ErrorSet(10);
    return -1;
  }
  if ((bitmap->type != TX_BLUE_FIRST && bitmap->type != TX_RED_FIRST) || bitmap->subtype < 0 ||
      bitmap->subtype > 3) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  static const int32_t bitsOf[] = {24, 24, 32, 8};
  size_t bytes = 0;
  if (bitmap->bits != bitsOf[bitmap->subtype] || !bitmap->image[0] ||
      !txPixelBytes(bitmap->width, bitmap->height, bitmap->bits, &bytes) ||
      bitmap->imagesize[0] < bytes) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  if (txState.jpegQuality < 0) txState.jpegQuality = 0;
  if (txState.jpegQuality > 100) txState.jpegQuality = 100;

  // Colour goes out red first; only a bitmap that says it is red first
  // (or a red-first dummy) is taken as it is.
  const bool swapRB = bitmap->type == TX_BLUE_FIRST && bitmap->subtype != TX_LAYOUT_RGB_DUMMY &&
                      bitmap->subtype != TX_LAYOUT_GREY;
  const int32_t w = bitmap->width, h = bitmap->height;
  const uint8_t *pixels = bitmap->image[0];
  if (bitmap->subtype != TX_LAYOUT_RGBA)
    return writeJpeg(name, pixels, w, h, bitmap->bits / 8, size_t(bitmap->bits / 8), swapRB);

  if (writeJpeg(name, pixels, w, h, 3, 4, swapRB) != 0) return -1;
  const std::string alphaName = txAlphaName(name);
  if (writeJpeg(alphaName.c_str(), pixels + 3, w, h, 1, 4, false) != 0) return -1;
  return 0;
}
