// The virtual file system: one set of operations over a fixed table of
// three file handlers (regular files, mounted folders, mounted packs),
// probed in that order, so a file on disk shadows a packed file of the same
// name. Also the framework's standard paths, recursive folder creation and
// case-insensitive listing by pattern.
//
// Everything runs on the caller's thread and takes no lock: opening,
// closing and mounting happen on the main thread; the music thread only
// reads, seeks and tells through a file the main thread opened.
//
// Failures set the last-error code and return -1 or NULL. Every operation
// on a NULL file, or on one whose handle is gone, fails with code 10
// (SYS_FileEof then answers nonzero, so read-until-end loops stop);
// closing NULL does nothing. Only SYS_FileOpen calls the error callback:
// 11 no handler serves the name, 2 the disk file cannot be opened (also a
// folder), 1 not in any mounted folder or pack, 7 or 8 a packed entry that
// does not inflate, 5 out of memory.
#pragma once

#include <compare>
#include <cstdint>

struct SYS_File_t;
typedef SYS_File_t *SYS_File_p;

typedef int (*SYS_FileMount_t)(const char *path);
typedef int (*SYS_FileOpenOp_t)(SYS_File_p file);
typedef int32_t (*SYS_FileSeek_t)(SYS_File_p file, int32_t offset);
typedef int32_t (*SYS_FileRead_t)(SYS_File_p file, void *buffer, int32_t count);
typedef char *(*SYS_FileGets_t)(SYS_File_p file, char *buffer, int32_t size);
typedef int (*SYS_FilePuts_t)(SYS_File_p file, const char *text);
typedef int (*SYS_FileWrite_t)(SYS_File_p file, const void *buffer, int32_t size);
typedef int (*SYS_FileEof_t)(SYS_File_p file);
typedef int32_t (*SYS_FileTell_t)(SYS_File_p file);
typedef int (*SYS_FileClose_t)(SYS_File_p file);
typedef int (*SYS_FileExists_t)(const char *name);
typedef int32_t (*SYS_FileSize_t)(const char *name);

struct SYS_FileHandler_t {
  const char *name;
  SYS_FileMount_t mount;
  SYS_FileOpenOp_t open;
  SYS_FileSeek_t seek;
  SYS_FileRead_t read;
  SYS_FileGets_t gets;
  SYS_FilePuts_t puts;
  SYS_FileWrite_t write;
  SYS_FileEof_t eof;
  SYS_FileTell_t tell;
  SYS_FileClose_t close;
  SYS_FileExists_t exists;
  SYS_FileSize_t size;
};

// Open-mode bits.
enum : uint32_t {
  SYS_FILE_READ = 0x00,
  SYS_FILE_TEXT = 0x08,
  SYS_FILE_WRITE = 0x10,
  SYS_FILE_APPEND = 0x20,
};

struct SYS_File_t {
  char *name;
  uint32_t mode;
  void *handle;
  int32_t size;
  const SYS_FileHandler_t *handler;
  SYS_FileSeek_t seek;
  SYS_FileRead_t read;
  SYS_FileGets_t gets;
  SYS_FilePuts_t puts;
  SYS_FileWrite_t write;
  SYS_FileEof_t eof;
  SYS_FileTell_t tell;
  SYS_FileClose_t close;
  SYS_FileExists_t exists;
  SYS_FileSize_t size_of;
  void *entry;
};

struct SYS_Glob_t {
  int32_t count;
  char **names;
};
typedef SYS_Glob_t **SYS_Glob_pp;

int SYS_FilePackOpen(const char *path);
SYS_File_p SYS_FileOpen(const char *name, uint32_t mode);
int32_t SYS_FileSeek(SYS_File_p file, int32_t offset);
int32_t SYS_FileRead(SYS_File_p file, void *buffer, int32_t count);
char *SYS_FileGets(SYS_File_p file, char *buffer, int32_t size);
int SYS_FilePrintf(SYS_File_p file, const char *format, ...) __attribute__((format(printf, 2, 3)));
int SYS_FileWrite(SYS_File_p file, const void *buffer, int32_t size);
int SYS_FileEof(SYS_File_p file);
int32_t SYS_FileTell(SYS_File_p file);
int SYS_FileClose(SYS_File_p file);
int SYS_FileExists(const char *name);
int32_t SYS_FileSize(const char *name);
void SYS_FileShutdown();

// What a name would open, whatever its spelling: "a.png", "./a.png" and a
// link to it are one file on disk, and pack entries whose stored bytes
// start at one offset of one mount are one entry. Loaders that keep what
// they decode tell repeats from distinct files by it. Never opens or
// inflates anything.
//
// An identity names one unchanged file and nothing else, but only while
// that file exists: a deleted file's inode is handed to the next file made
// on its device at once. So a disk identity also carries the size and the
// modification and status-change times to the nanosecond (what changes
// with any write, rename or relink), and a pack's mount number is never
// given again. Whoever keeps an identity beyond one load must still drop
// it when the name it was taken for is let go.
struct SYS_FileIdentity_t {
  uint64_t source;    // the device, or the pack's mount number (never reused)
  uint64_t item;      // the inode, or the entry's stored offset
  uint64_t size;      // content bytes
  int64_t modified;   // disk files: modification time, ns since the epoch
  int64_t changed;    // disk files: status-change time, ns since the epoch
  uint32_t kind;      // SYS_FILE_ID_DISK or SYS_FILE_ID_PACK
  auto operator<=>(const SYS_FileIdentity_t &) const = default;
};
constexpr uint32_t SYS_FILE_ID_DISK = 1;
constexpr uint32_t SYS_FILE_ID_PACK = 2;
// 0 and the identity of the source SYS_FileOpen would use; -1 with code 10
// for a NULL argument or code 1 when no handler serves the name (the
// identity is then left alone).
int SYS_FileIdentify(const char *name, SYS_FileIdentity_t *identity);

void SYS_PathSetAppDir(const char *text);
char *SYS_PathGet(int32_t kind, const char *name);
int SYS_MkDir(const char *path);
int SYS_Glob(const char *pattern, SYS_Glob_pp result);
int SYS_GlobFree(SYS_Glob_pp result);
