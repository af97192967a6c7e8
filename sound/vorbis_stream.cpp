// Ogg Vorbis streams over the virtual file system.
//
// vorbisfile pulls its bytes through four callbacks that forward to the
// SYS_File_t of the stream; the file is opened in plain read mode, so a
// regular file, a mounted folder and a pack entry serve alike. The file
// belongs to the stream from a successful open until VorbisClose, whose
// ov_clear closes it through the close callback; when vorbisfile rejects
// the bytes it leaves the file to us, and we close it at once.
//
// Positions given to the file are checked against the size the file had at
// open: the pack handler would clamp a seek beyond its end and let the
// decoder read the wrong bytes, so such a seek fails instead.
//
// One thread at a time per stream; decoding never allocates per call.
#include "sound/vorbis_stream.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include <vorbis/vorbisfile.h>

#include "framework/log.h"
#include "framework/memory.h"

static_assert(std::is_same_v<ogg_int64_t, int64_t>, "the seek callback's offset type");

namespace {

// ov_read's byte-order flag: 1 asks for big-endian samples.
constexpr int kHostBigEndian = std::endian::native == std::endian::big ? 1 : 0;
constexpr int kWordSize = 2;  // 16-bit samples
constexpr int kSigned = 1;
constexpr int32_t kDecodeStep = 8192;

const ov_callbacks kCallbacks = {VorbisFileRead, VorbisFileSeek, VorbisFileClose, VorbisFileTell};

// Channels x samples x 2, wrapped like the 32-bit field it lands in (only
// a multi-gigabyte stream would notice); 0 when the length is unknown.
int32_t DecodedSize(OggVorbis_File *decoder, int32_t channels) {
  const ogg_int64_t samples = ov_pcm_total(decoder, -1);
  if (samples <= 0 || channels <= 0) return 0;
  return int32_t(uint32_t(uint64_t(samples) * uint64_t(channels) * 2));
}

void ReleaseRecord(VorbisStream *stream) {
  SYS_MEMFREE(stream->decoder);
  SYS_MEMFREE(stream);
}

}  // namespace

size_t VorbisFileRead(void *buffer, size_t size, size_t count, void *file) {
  if (size == 0 || count == 0) {
    errno = 0;
    return 0;
  }
  // Whole items only, and never more than a signed 32-bit read can carry.
  const size_t most_items = size_t(INT32_MAX) / size;
  const size_t items = std::min(count, most_items);
  const int32_t got = SYS_FileRead(static_cast<SYS_File_p>(file), buffer, int32_t(items * size));
  // vorbisfile takes a zero result with errno set for a read error, so
  // errno must say which one this is.
  if (got < 0) {
    errno = EIO;
    return 0;
  }
  errno = 0;
  return size_t(got) / size;
}

int VorbisFileSeek(void *file, int64_t offset, int whence) {
  SYS_ErrorClear();
  auto *f = static_cast<SYS_File_p>(file);
  if (!f) {
    SYS_ErrorSet(10);
    return -1;
  }
  int64_t target = 0;
  switch (whence) {
    case SEEK_SET:
      target = offset;
      break;
    case SEEK_CUR:
      target = int64_t(SYS_FileTell(f)) + offset;
      break;
    case SEEK_END:
      target = int64_t(f->size) + offset;
      break;
    default:
      target = 0;
      break;
  }
  if (target < 0 || target > f->size) {
    SYS_ErrorSet(10);
    return -1;
  }
  return SYS_FileSeek(f, int32_t(target));
}

int VorbisFileClose(void *file) {
  SYS_FileClose(static_cast<SYS_File_p>(file));
  return 0;
}

long VorbisFileTell(void *file) { return SYS_FileTell(static_cast<SYS_File_p>(file)); }

VorbisStream *VorbisOpen(const char *name) {
  SYS_ErrorClear();
  if (!name) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  auto *stream = SYS_MEMGET(VorbisStream, 1, "struct");
  if (!stream) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  *stream = VorbisStream{};
  stream->decoder = SYS_MEMGET(OggVorbis_File, 1, "file struct");
  if (!stream->decoder) {
    SYS_MEMFREE(stream);
    SYS_ErrorSet(5);
    return nullptr;
  }
  std::memset(stream->decoder, 0, sizeof(OggVorbis_File));

  stream->file = SYS_FileOpen(name, SYS_FILE_READ);
  if (!stream->file) {
    ReleaseRecord(stream);
    SYS_ErrorSet(1);
    return nullptr;
  }
  if (ov_open_callbacks(stream->file, stream->decoder, nullptr, 0, kCallbacks) != 0) {
    SYS_FileClose(stream->file);
    ReleaseRecord(stream);
    SYS_ErrorSet(1);
    return nullptr;
  }

  const vorbis_info *info = ov_info(stream->decoder, -1);
  stream->channels = info ? info->channels : 0;
  stream->rate = info ? int32_t(info->rate) : 0;
  stream->size = DecodedSize(stream->decoder, stream->channels);

  SYS_Log(1, "[vorbis] stream: %s\n", name);
  SYS_Log(1, "[vorbis]  - channels: %d\n", stream->channels);
  SYS_Log(1, "[vorbis]  - rate: %dHz\n", stream->rate);
  SYS_Log(1, "[vorbis]  - size: %d bytes\n", stream->size);
  return stream;
}

int32_t VorbisRead(VorbisStream *stream, void *buffer, int32_t n) {
  if (!stream || !buffer || n < 0) {
    SYS_ErrorSet(10);
    return -1;
  }
  return int32_t(ov_read(stream->decoder, static_cast<char *>(buffer), n, kHostBigEndian, kWordSize,
                         kSigned, nullptr));
}

int VorbisClose(VorbisStream *stream) {
  SYS_ErrorClear();
  if (!stream) {
    SYS_ErrorSet(10);
    return -1;
  }
  ov_clear(stream->decoder);
  ReleaseRecord(stream);
  return 0;
}

int64_t VorbisTellBytes(VorbisStream *stream) {
  SYS_ErrorClear();
  if (!stream) {
    SYS_ErrorSet(10);
    return -1;
  }
  return int64_t(ov_pcm_tell(stream->decoder)) * stream->channels * 2;
}

double VorbisTellTime(VorbisStream *stream) {
  SYS_ErrorClear();
  if (!stream) {
    SYS_ErrorSet(10);
    return -1.0;
  }
  return ov_time_tell(stream->decoder);
}

int32_t VorbisSize(VorbisStream *stream) {
  SYS_ErrorClear();
  if (!stream) {
    SYS_ErrorSet(10);
    return -1;
  }
  return DecodedSize(stream->decoder, stream->channels);
}

int VorbisSeekBytes(VorbisStream *stream, int32_t position) {
  SYS_ErrorClear();
  if (!stream || stream->channels < 1) {
    SYS_ErrorSet(10);
    return -1;
  }
  // Frames from bytes: per channel, then two bytes a sample, rounding down.
  const int64_t per_channel = position / stream->channels;
  return ov_pcm_seek(stream->decoder, per_channel >> 1);
}

int VorbisSeekTime(VorbisStream *stream, int32_t milliseconds) {
  SYS_ErrorClear();
  if (!stream) {
    SYS_ErrorSet(10);
    return -1;
  }
  const float seconds = float(milliseconds) / 1000.0f;
  return ov_time_seek(stream->decoder, double(seconds));
}

void *VorbisDecodeAll(VorbisStream *stream) {
  SYS_ErrorClear();
  if (!stream) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  const int32_t size = std::max(stream->size, 0);
  // A stream with no samples still gets a block, so NULL always means failure.
  auto *buffer = static_cast<char *>(SYS_MemGet(size_t(std::max(size, 1)), __FILE__, __LINE__, "buffer"));
  if (!buffer) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  // Never ask for more than the room left: a stream that decodes to more
  // than its header promised must not run past the block.
  int32_t filled = 0;
  while (filled < size) {
    const int want = int(std::min(kDecodeStep, size - filled));
    const long got = ov_read(stream->decoder, buffer + filled, want, kHostBigEndian, kWordSize, kSigned,
                             nullptr);
    if (got <= 0) break;
    filled += int32_t(got);
  }
  return buffer;
}
