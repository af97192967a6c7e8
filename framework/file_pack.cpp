// The "Pack handler": mounts data packs and serves their entries read-only.
//
// A pack is "QLPK", an entry count and a catalog offset (little-endian
// u32), then the entries' stored bytes, then the catalog: one z-block
// whose inflated bytes are the records {stored size u32, offset u32, flags
// u8, name length u16, name}. An entry with flag bit 0 is stored as one
// z-block, any other entry as its plain bytes.
//
// Mounting reads the header, the catalog and the first four bytes of
// every z-block entry (its raw size), and checks that the catalog's
// records lie inside the bytes the catalog's stream produced. Unlike an
// entry, the catalog is not zero-filled up to its raw size: records of
// zeros are entries no writer made, and a tiny file could claim millions
// of them. Its buffer grows as the stream inflates, so a mount costs what
// the file holds, not what its header and catalog claim. It reads nothing
// else of an entry, so damage to an entry's placement fails that entry
// alone, when it is opened or sized (code 7): stored bytes that run past
// the end of the file, a z-block entry shorter than a z-block header, or
// one whose raw size is beyond 2^31 - 1 (entry sizes travel in signed
// 32-bit file sizes). The layout is otherwise free: bytes may follow the
// catalog's z-block, the inflated catalog may hold spare bytes after the
// last record, and a z-block entry may be stored with padding after its
// stream. What only inflating shows (the packed size, CRC and stream of
// each entry) is checked when the entry is opened; such an entry fails to
// open (code 7 or 8) and the next open tries again. An entry's stream that
// ends before its raw size reads as its bytes followed by zeros, as every
// z-block does, so an open entry holds its whole raw size in memory
// however short its stream. Every read from the pack file stays inside it
// and is full or fails, so a corrupt pack never crashes.
//
// Mount codes: 10 null path, 1 no such path, the regular open's code,
// 12 wrong magic, 7 or 8 the catalog's z-block fails (7 as well when the
// file ends before the catalog does, or the header before its numbers),
// 7 more records than the catalog's stream produced (logged), 5 out of
// memory.
//
// An entry is read whole into memory (inflated when packed) when it is
// opened and released when it is closed. It has one read position and one
// buffer, shared by every open of it: a second open rewinds the first, and
// closing either unloads both (reads then fail with code 1).
//
// Mounts live until the process ends (or SYS_FileUnmountPacks for tests);
// the newest mount is searched first. A file still open when its pack is
// unmounted loses its handle, as a closed file does: it never reads the
// freed entry, every operation on it fails with code 10, and its close
// only frees the record. Threads: no locks.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

#include "framework/file_internal.h"
#include "framework/list.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "framework/strings.h"
#include "framework/zblock.h"

namespace {

SYS_List_p g_packs = nullptr;  // SYS_Pack_t *, newest first
// Numbers the mounts, so an identity taken in one mount never names an
// entry of a later one that happens to reuse the record's memory.
uint64_t g_mounts = 0;

constexpr char kMagic[4] = {'Q', 'L', 'P', 'K'};

uint32_t GetLE32(const unsigned char *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t GetLE16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

SYS_PackEntry_t *Entry(SYS_File_p file) { return static_cast<SYS_PackEntry_t *>(file->entry); }

// The pack files open now, so an unmount can part them from the entries it
// frees. Never destroyed: files may be closed from an exit handler.
std::unordered_set<SYS_File_p> &OpenFiles() {
  static auto *files = new std::unordered_set<SYS_File_p>;
  return *files;
}

// Reads exactly `count` bytes at `offset` of the pack file.
bool ReadAt(SYS_File_p pack, uint32_t offset, void *buffer, uint32_t count) {
  if (count > INT32_MAX) return false;
  if (SYS_FileSeek(pack, static_cast<int32_t>(offset)) != 0) return false;
  return count == 0 || SYS_FileRead(pack, buffer, static_cast<int32_t>(count)) == static_cast<int32_t>(count);
}

void FreePack(SYS_Pack_t *pack) {
  if (pack->entries) {
    for (int32_t i = 0; i < pack->count; ++i) {
      SYS_MEMFREE(pack->entries[i].name);
      SYS_MEMFREE(pack->entries[i].data);
    }
    SYS_MEMFREE(pack->entries);
  }
  if (pack->file) SYS_FileClose(pack->file);
  SYS_MEMFREE(pack->path);
  SYS_MemFree(&pack, __FILE__, __LINE__);
}

// Fills the pack's entries from the inflated catalog and checks each
// against the file. Returns 0 or an error code.
int32_t ReadCatalog(SYS_Pack_t *pack, const unsigned char *cat, uint32_t length, uint32_t file_size) {
  uint32_t at = 0;
  for (int32_t i = 0; i < pack->count; ++i) {
    SYS_PackEntry_t &e = pack->entries[i];
    if (length - at < SYS_PACK_RECORD) {
      SYS_Log(1, "[file-pack]  ! record %d runs past the catalog's %u inflated bytes\n", i, length);
      return 7;
    }
    e.stored_size = GetLE32(cat + at);
    e.offset = GetLE32(cat + at + 4);
    e.flags = cat[at + 8];
    e.name_length = GetLE16(cat + at + 9);
    at += SYS_PACK_RECORD;
    if (length - at < e.name_length) {
      SYS_Log(1, "[file-pack]  ! the name of record %d runs past the catalog's %u inflated bytes\n", i, length);
      return 7;
    }
    e.name = static_cast<char *>(SYS_MemGet(size_t(e.name_length) + 1, __FILE__, __LINE__, "pack: name"));
    if (!e.name) return 5;
    memcpy(e.name, cat + at, e.name_length);
    at += e.name_length;

    // The entry's own damage is its own: only its open and size fail.
    const bool inside = uint64_t(e.offset) + e.stored_size <= file_size;
    e.damaged = !inside;
    if (e.flags & SYS_PACK_ZBLOCK) {
      unsigned char head[4];
      e.size = 0;
      if (uint64_t(e.offset) + sizeof head <= file_size && ReadAt(pack->file, e.offset, head, sizeof head))
        e.size = GetLE32(head);
      else
        e.damaged = true;
      if (e.stored_size < SYS_ZBLOCK_HEADER || e.size > SYS_ZBLOCK_MAX_RAW) e.damaged = true;
    } else {
      e.size = e.stored_size;
    }
    e.position = 0;
    e.data = nullptr;
    SYS_Log(1, "[file-pack]     - %s\n", e.name);
  }
  // Spare bytes after the last record are no concern of ours.
  return 0;
}

}  // namespace

int SYS_FilePackOpen_pack(const char *path) {
  SYS_ErrorClear();
  if (!path) {
    SYS_ErrorSet(10);
    return -1;
  }
  struct stat st;
  if (stat(path, &st) != 0) {
    SYS_ErrorSet(1);
    return -1;
  }
  SYS_File_p file = SYS_FileOpen(path, SYS_FILE_READ);
  if (!file) {
    SYS_ErrorSet(SYS_ErrorGet());
    return -1;
  }

  int32_t code = 0;
  unsigned char header[SYS_PACK_HEADER];
  if (file->size < int32_t(sizeof kMagic) || !ReadAt(file, 0, header, sizeof kMagic) ||
      memcmp(header, kMagic, sizeof kMagic) != 0) {
    SYS_FileClose(file);
    SYS_ErrorSet(12);
    return -1;
  }
  // A pack that ends inside its header has no catalog.
  if (file->size < int32_t(SYS_PACK_HEADER) ||
      !ReadAt(file, sizeof kMagic, header + sizeof kMagic, SYS_PACK_HEADER - sizeof kMagic)) {
    SYS_FileClose(file);
    SYS_ErrorSet(7);
    return -1;
  }
  uint32_t count = GetLE32(header + 4);
  uint32_t catalog_offset = GetLE32(header + 8);
  // The numbers as they lie in the file, then as they mean.
  uint32_t raw_count, raw_offset;
  memcpy(&raw_count, header + 4, 4);
  memcpy(&raw_offset, header + 8, 4);
  SYS_Log(1, "[file-pack]  - number of entrys (original) : %d\n", static_cast<int32_t>(raw_count));
  SYS_Log(1, "[file-pack]  - catalog's offset (original) : %u\n", raw_offset);
  SYS_Log(1, "[file-pack] %s\n", path);
  SYS_Log(1, "[file-pack]  - number of entrys: %d\n", static_cast<int32_t>(count));
  SYS_Log(1, "[file-pack]  - catalog's offset: %u\n", catalog_offset);

  // A catalog region that is missing or shorter than a z-block header
  // fails as its z-block would.
  uint32_t file_size = static_cast<uint32_t>(file->size);
  if (catalog_offset > file_size || file_size - catalog_offset < SYS_ZBLOCK_HEADER) {
    SYS_FileClose(file);
    SYS_ErrorSet(7);
    return -1;
  }

  auto *pack = SYS_MEMGET(SYS_Pack_t, 1, "pack: tree list");
  if (!pack) {
    SYS_FileClose(file);
    SYS_ErrorSet(5);
    return -1;
  }
  pack->file = file;
  pack->path = STRDUP(path);
  pack->mount = ++g_mounts;

  uint32_t catalog_length = file_size - catalog_offset;
  void *catalog = nullptr;
  uint32_t catalog_raw = 0;  // the bytes its stream produced, no zero fill
  auto *stored = static_cast<unsigned char *>(SYS_MemGet(catalog_length, __FILE__, __LINE__, "pack: tree buffer"));
  if (!pack->path || !stored) {
    code = 5;
  } else if (!ReadAt(file, catalog_offset, stored, catalog_length)) {
    code = 7;
  } else if (SYS_ZUncompressProduced(stored, catalog_length, &catalog, &catalog_raw) != 0) {
    code = SYS_ErrorGet();
  } else if (count > catalog_raw / SYS_PACK_RECORD || count > INT32_MAX) {
    // Checked before the entries are allocated, so what a mount takes stays
    // bounded by what the catalog's stream holds, not by what the header
    // says.
    SYS_Log(1, "[file-pack]  ! %u records cannot lie in the catalog's %u inflated bytes\n", count, catalog_raw);
    code = 7;
  } else {
    pack->count = static_cast<int32_t>(count);
    if (count) {
      pack->entries = SYS_MEMGET(SYS_PackEntry_t, count, "list");
      if (!pack->entries) code = 5;
    }
    if (!code) {
      SYS_Log(1, "[file-pack]  - files:\n");
      code = ReadCatalog(pack, static_cast<unsigned char *>(catalog), catalog_raw, file_size);
    }
  }
  SYS_MEMFREE(stored);
  SYS_MemFree(&catalog, __FILE__, __LINE__);

  if (!code) {
    SYS_List_p head = SYS_ListAddFirst(g_packs, pack);
    if (head) {
      g_packs = head;
      SYS_ErrorClear();
      return 0;
    }
    code = 5;
  }
  FreePack(pack);
  SYS_ErrorSet(code);
  return -1;
}

int SYS_PackFind(const char *name, SYS_Pack_t **pack, SYS_PackEntry_t **entry) {
  if (!name) return 0;
  size_t length = strlen(name);
  for (SYS_List_p n = g_packs; n; n = n->next) {
    auto *p = static_cast<SYS_Pack_t *>(n->data);
    for (int32_t i = 0; i < p->count; ++i) {
      SYS_PackEntry_t &e = p->entries[i];
      if (e.name_length == length && memcmp(e.name, name, length) == 0) {
        if (pack) *pack = p;
        if (entry) *entry = &e;
        return 1;
      }
    }
  }
  return 0;
}

SYS_List_p SYS_PackList() { return g_packs; }

static int SYS_FileOpen_pack(SYS_File_p file) {
  SYS_ErrorClear();
  if (file->mode & (SYS_FILE_WRITE | SYS_FILE_APPEND)) {
    SYS_ErrorSet(11);
    return -1;
  }
  SYS_Pack_t *pack = nullptr;
  SYS_PackEntry_t *e = nullptr;
  if (!SYS_PackFind(file->name, &pack, &e)) {
    SYS_ErrorSet(1);
    return -1;
  }

  if (e->damaged) {
    SYS_ErrorSet(7);
    return -1;
  }
  // Room in the open-file set first: a failed insert after loading would
  // strand the entry's bytes.
  try {
    OpenFiles().reserve(OpenFiles().size() + 1);
  } catch (const std::bad_alloc &) {
    SYS_ErrorSet(5);
    return -1;
  }
  if (!e->data) {
    if (e->flags & SYS_PACK_ZBLOCK) {
      auto *tmp = static_cast<unsigned char *>(SYS_MemGet(e->stored_size, __FILE__, __LINE__, "open: tmp buffer"));
      if (!tmp) {
        SYS_ErrorSet(5);
        return -1;
      }
      if (!ReadAt(pack->file, e->offset, tmp, e->stored_size)) {
        SYS_MEMFREE(tmp);
        SYS_ErrorSet(7);
        return -1;
      }
      void *data = nullptr;
      uint32_t length = 0;
      int rc = SYS_ZUncompress(tmp, e->stored_size, &data, &length);
      int32_t code = rc == 0 ? 0 : SYS_ErrorGet();
      SYS_MEMFREE(tmp);
      if (rc == 0 && length != e->size) {
        // The file changed under the mount.
        SYS_MemFree(&data, __FILE__, __LINE__);
        code = 7;
      }
      if (code) {
        SYS_ErrorSet(code);
        return -1;
      }
      e->data = static_cast<unsigned char *>(data);
    } else {
      // One spare byte: an empty entry still has a buffer, so it reads as
      // loaded.
      auto *data = static_cast<unsigned char *>(SYS_MemGet(size_t(e->size) + 1, __FILE__, __LINE__, "open: buffer"));
      if (!data) {
        SYS_ErrorSet(5);
        return -1;
      }
      if (!ReadAt(pack->file, e->offset, data, e->size)) {
        SYS_MEMFREE(data);
        SYS_ErrorSet(7);
        return -1;
      }
      e->data = data;
    }
  }
  e->position = 0;

  file->entry = e;
  file->handle = pack->file;
  file->size = static_cast<int32_t>(e->size);
  OpenFiles().insert(file);
  SYS_ErrorClear();
  return 0;
}

static int32_t SYS_FileSeek_pack(SYS_File_p file, int32_t offset) {
  SYS_ErrorClear();
  SYS_PackEntry_t *e = Entry(file);
  if (offset < 0) {
    SYS_ErrorSet(10);
    return -1;
  }
  uint32_t at = static_cast<uint32_t>(offset);
  // Past the end lands on the last byte; exactly at the end is allowed.
  if (at > e->size) at = e->size ? e->size - 1 : 0;
  e->position = at;
  return 0;
}

static int32_t SYS_FileRead_pack(SYS_File_p file, void *buffer, int32_t count) {
  SYS_ErrorClear();
  SYS_PackEntry_t *e = Entry(file);
  if (!e->data) {
    SYS_ErrorSet(1);
    return -1;
  }
  if (count < 0 || (!buffer && count > 0)) {
    SYS_ErrorSet(10);
    return -1;
  }
  uint32_t n = std::min(static_cast<uint32_t>(count), e->size - e->position);
  if (n) memcpy(buffer, e->data + e->position, n);
  e->position += n;
  return static_cast<int32_t>(n);
}

static char *SYS_FileGets_pack(SYS_File_p file, char *buffer, int32_t size) {
  SYS_ErrorClear();
  // A buffer of one byte holds only the terminator: it comes back as an
  // empty text and the position stays.
  if (!buffer || size < 1) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  SYS_PackEntry_t *e = Entry(file);
  if (!e->data) {
    SYS_ErrorSet(1);
    return nullptr;
  }
  memset(buffer, 0, static_cast<size_t>(size));
  uint32_t count = std::min(static_cast<uint32_t>(size - 1), e->size - e->position);
  const unsigned char *from = e->data + e->position;
  uint32_t n = 0;
  while (n < count) {
    unsigned char c = from[n++];
    if (c == '\n') break;
  }
  memcpy(buffer, from, n);
  // Advance by what was taken, not by the text's length: a NUL byte in the
  // line must not stop the reader from moving on.
  e->position += n;
  return buffer;
}

static int SYS_FilePuts_pack(SYS_File_p, const char *) {
  SYS_ErrorSet(11);
  return -1;
}

static int SYS_FileWrite_pack(SYS_File_p, const void *, int32_t) {
  SYS_ErrorSet(11);
  return -1;
}

static int SYS_FileEof_pack(SYS_File_p file) {
  SYS_ErrorClear();
  SYS_PackEntry_t *e = Entry(file);
  return e->position >= e->size ? 1 : 0;
}

static int32_t SYS_FileTell_pack(SYS_File_p file) {
  SYS_ErrorClear();
  return static_cast<int32_t>(Entry(file)->position);
}

static int SYS_FileClose_pack(SYS_File_p file) {
  SYS_ErrorClear();
  if (SYS_PackEntry_t *e = Entry(file)) SYS_MEMFREE(e->data);
  OpenFiles().erase(file);
  // The pack's own file stays open; this file only borrowed it.
  file->handle = nullptr;
  file->entry = nullptr;
  return 0;
}

static int SYS_FileExists_pack(const char *name) {
  SYS_ErrorClear();
  if (SYS_PackFind(name, nullptr, nullptr)) return 0;
  SYS_ErrorSet(1);
  return -1;
}

static int32_t SYS_FileSize_pack(const char *name) {
  SYS_ErrorClear();
  SYS_PackEntry_t *e = nullptr;
  if (!SYS_PackFind(name, nullptr, &e)) {
    SYS_ErrorSet(1);
    return -1;
  }
  if (e->damaged) {
    SYS_ErrorSet(7);
    return -1;
  }
  return static_cast<int32_t>(e->size);
}

const SYS_FileHandler_t SYS_FileHandler_pack = {
    "Pack handler",     SYS_FilePackOpen_pack, SYS_FileOpen_pack,  SYS_FileSeek_pack,   SYS_FileRead_pack,
    SYS_FileGets_pack,  SYS_FilePuts_pack,     SYS_FileWrite_pack, SYS_FileEof_pack,    SYS_FileTell_pack,
    SYS_FileClose_pack, SYS_FileExists_pack,   SYS_FileSize_pack,
};

void SYS_FileUnmountPacks() {
  while (g_packs) {
    auto *pack = static_cast<SYS_Pack_t *>(g_packs->data);
    g_packs = SYS_ListRemove(g_packs, pack);
    for (auto it = OpenFiles().begin(); it != OpenFiles().end();) {
      SYS_File_p file = *it;
      if (file->handle != pack->file) {
        ++it;
        continue;
      }
      file->handle = nullptr;
      file->entry = nullptr;
      it = OpenFiles().erase(it);
    }
    FreePack(pack);
  }
}

void SYS_PackForget() {
  g_packs = nullptr;
  OpenFiles().clear();
}
