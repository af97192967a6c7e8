// What the three file handlers share with the file-system core and with
// each other, and nothing a normal caller needs: the handler records, the
// mount records of folders and packs, their lookups, and a reset that
// drops every mount (for tests, fuzzing and tools; the program itself
// never unmounts).
#pragma once

#include <cstdint>

#include "framework/file.h"
#include "framework/list.h"

// ---- handlers, in probing order -------------------------------------------

extern const SYS_FileHandler_t SYS_FileHandler_reg;
extern const SYS_FileHandler_t SYS_FileHandler_dir;
extern const SYS_FileHandler_t SYS_FileHandler_pack;

// Regular files. The folder handler opens through SYS_FileOpen_reg.
int SYS_FileOpen_reg(SYS_File_p file);
int32_t SYS_FileSize_reg(const char *name);

// ---- mounted folders -------------------------------------------------------

struct SYS_DirEntry_t {
  char *name;    // path relative to the root, '/'-separated, no leading '/'
  int32_t size;  // size when the folder was mounted
};

struct SYS_DirPack_t {
  char *root;    // the mount path, unchanged
  int32_t count;
  SYS_DirEntry_t **entries;
};

int SYS_FilePackOpen_dir(const char *path);
// A new tracked "root/name" for the first mounted folder holding the name
// exactly, or NULL.
char *SYS_FileFind(const char *name);

// ---- mounted packs ---------------------------------------------------------

struct SYS_PackEntry_t {
  uint32_t stored_size;  // bytes in the pack file (a whole z-block when packed)
  uint32_t size;         // content size
  uint32_t position;     // one read position, shared by every open
  uint32_t offset;       // of the stored bytes in the pack file
  uint8_t flags;         // bit 0: stored as a z-block
  uint16_t name_length;  // names are compared by their exact bytes
  char *name;
  unsigned char *data;   // whole content while open, NULL otherwise
  bool damaged;          // its bytes cannot be read: open and size fail (code 7)
};

struct SYS_Pack_t {
  char *path;
  SYS_File_p file;  // open for reading for as long as the pack is mounted
  int32_t count;
  SYS_PackEntry_t *entries;
  uint64_t mount;  // this mount's number, never given to another mount
};

constexpr uint8_t SYS_PACK_ZBLOCK = 0x01;
constexpr uint32_t SYS_PACK_HEADER = 12;
constexpr uint32_t SYS_PACK_RECORD = 11;  // record bytes before the name

int SYS_FilePackOpen_pack(const char *path);
int SYS_PackFind(const char *name, SYS_Pack_t **pack, SYS_PackEntry_t **entry);
// Mounted packs, newest first (data: SYS_Pack_t *).
SYS_List_p SYS_PackList();

// ---- reset -----------------------------------------------------------------

// Unmounts every folder and pack and releases their records. Files still
// open on a pack entry must be closed first.
void SYS_FileUnmountAll();
void SYS_FileUnmountDirs();
void SYS_FileUnmountPacks();

// After the memory shutdown has freed every block: forgets the open files,
// mounts and folders it freed, without touching them, so a later call
// finds none instead of reading freed records.
void SYS_FileForget();
void SYS_PackForget();
void SYS_DirForget();
