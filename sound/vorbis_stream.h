// An Ogg Vorbis stream read through the framework's virtual file system, so
// music can live in the data pack, decoded by vorbisfile into 16-bit signed
// PCM in the host's byte order (what OpenAL's 16-bit formats expect).
//
// A stream is used by one thread at a time: the music player's thread while
// it plays, the main thread before and after. Nothing here locks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/file.h"

struct OggVorbis_File;

struct VorbisStream {
  SYS_File_p file;           // the open file the decoder reads
  OggVorbis_File *decoder;   // vorbisfile state, tracked
  int32_t size;              // decoded size in bytes: channels x samples x 2
  int32_t channels;
  int32_t rate;              // samples per second
};

// NULL with code 5 (out of memory) or 1 (the file cannot be opened, or it
// is not Ogg Vorbis). A failed open leaves the file closed.
VorbisStream *VorbisOpen(const char *name);
// Bytes decoded into the buffer (at most n), 0 at the end of the stream,
// negative on a decoder error. Leaves the last-error code alone unless the
// arguments are bad (code 10, -1).
int32_t VorbisRead(VorbisStream *stream, void *buffer, int32_t n);
// Closes the decoder and its file and releases the record; 0, or -1 with
// code 10 for NULL.
int VorbisClose(VorbisStream *stream);
int64_t VorbisTellBytes(VorbisStream *stream);
double VorbisTellTime(VorbisStream *stream);
int32_t VorbisSize(VorbisStream *stream);
// Both seeks return vorbisfile's result: 0, or a negative OV_ code (a
// position beyond the end is refused, not clamped).
int VorbisSeekBytes(VorbisStream *stream, int32_t position);
int VorbisSeekTime(VorbisStream *stream, int32_t milliseconds);
// The whole stream decoded into one new tracked buffer (tag "buffer") of
// the stream's size, or NULL with code 5.
void *VorbisDecodeAll(VorbisStream *stream);

// The file callbacks vorbisfile reads through, each working on the
// stream's SYS_File_t. The seek goes to an absolute offset and fails (-1,
// code 10) for a target before the start or beyond the file's size at open.
size_t VorbisFileRead(void *buffer, size_t size, size_t count, void *file);
int VorbisFileSeek(void *file, int64_t offset, int whence);
int VorbisFileClose(void *file);
long VorbisFileTell(void *file);
