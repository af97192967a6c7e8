// The "Regular file handler" and the "Dir pack handler".
//
// Regular files are served by name relative to the current folder (or as
// absolute paths) through stdio streams; the file's handle is the FILE *.
// A name is opened with '\' turned into '/', but the exists test uses the
// name unchanged. Folders exist for the exists test, but opening one as a
// file fails with code 2, as does any other stream that cannot be opened.
//
// A mounted folder is a snapshot: its files are listed once, depth first
// in sorted order, at mount and served by their path relative to the
// mount path, byte for byte (case counts). Names beginning with '.' are
// never listed. The mount path is used literally (no pattern characters),
// and a link back into a folder already being listed is not followed, so
// a link loop cannot make a mount run forever. Sizes are asked of the disk
// at query time. A served file is opened through the regular open and then
// uses the regular operations.
//
// Threads: no locks; mounting and opening happen on the main thread.
#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/file_internal.h"
#include "framework/list.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "framework/strings.h"

namespace {

FILE *Stream(SYS_File_p file) { return static_cast<FILE *>(file->handle); }

SYS_List_p g_dirs = nullptr;  // SYS_DirPack_t *, newest first

const char *ModeText(uint32_t mode) {
  // "w" before "a" before "r"; "t" or "b"; "+" only for write.
  if (mode & SYS_FILE_WRITE) return (mode & SYS_FILE_TEXT) ? "wt+" : "wb+";
  if (mode & SYS_FILE_APPEND) return (mode & SYS_FILE_TEXT) ? "at" : "ab";
  return (mode & SYS_FILE_TEXT) ? "rt" : "rb";
}

int32_t ClampSize(off_t size) {
  // A size beyond the signed 32-bit range cannot be told to callers.
  return size > INT32_MAX ? -1 : static_cast<int32_t>(size);
}

}  // namespace

// ---- regular files ---------------------------------------------------------

int SYS_FileOpen_reg(SYS_File_p file) {
  SYS_ErrorClear();
  std::string path = file->name;
  std::replace(path.begin(), path.end(), '\\', '/');
  SYS_Log(1, "[file-regularfile] [SYS_FileOpen_reg] open : %s -> %s\n", file->name, path.c_str());

  const char *mode = ModeText(file->mode);
  FILE *fp = fopen(path.c_str(), mode);
  int err = errno;
  struct stat st;
  if (fp && fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) {
    // stdio opens a folder for reading; every read would then fail.
    fclose(fp);
    fp = nullptr;
    err = EISDIR;
  }
  if (!fp) {
    SYS_Log(1, "[file-regularfile] file open error: %s (%s) -> %s (%d)\n", file->name, mode, strerror(err),
            err);
    SYS_ErrorSet(2);
    return -1;
  }
  file->handle = fp;
  file->size = SYS_FileSize_reg(path.c_str());
  return 0;
}

static int32_t SYS_FileSeek_reg(SYS_File_p file, int32_t offset) {
  return fseek(Stream(file), offset, SEEK_SET) == 0 ? 0 : -1;
}

static int32_t SYS_FileRead_reg(SYS_File_p file, void *buffer, int32_t count) {
  if (count < 0 || (!buffer && count > 0)) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (count == 0) return 0;
  return static_cast<int32_t>(fread(buffer, 1, static_cast<size_t>(count), Stream(file)));
}

static char *SYS_FileGets_reg(SYS_File_p file, char *buffer, int32_t size) {
  // A buffer of one byte holds no character: reading into it would never
  // advance.
  if (!buffer || size < 2) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  if (!fgets(buffer, size, Stream(file))) return nullptr;
  // A line may start with a NUL byte; then there is nothing to trim.
  size_t n = strlen(buffer);
  if (n >= 1 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n')) buffer[n - 1] = '\0';
  if (n >= 2 && (buffer[n - 2] == '\r' || buffer[n - 2] == '\n')) buffer[n - 2] = '\0';
  return buffer;
}

static int SYS_FilePuts_reg(SYS_File_p file, const char *text) {
  if (!text) {
    SYS_ErrorSet(10);
    return -1;
  }
  // A failed write is not reported as success.
  return fputs(text, Stream(file)) == EOF ? -1 : 0;
}

static int SYS_FileWrite_reg(SYS_File_p file, const void *buffer, int32_t size) {
  if (size < 0 || (!buffer && size > 0)) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (size == 0) return 0;
  return fwrite(buffer, 1, static_cast<size_t>(size), Stream(file)) == static_cast<size_t>(size) ? 0 : -1;
}

static int SYS_FileEof_reg(SYS_File_p file) { return feof(Stream(file)); }

static int32_t SYS_FileTell_reg(SYS_File_p file) {
  long at = ftell(Stream(file));
  return at > INT32_MAX ? -1 : static_cast<int32_t>(at);
}

static int SYS_FileClose_reg(SYS_File_p file) {
  int rc = fclose(Stream(file));
  file->handle = nullptr;
  return rc;
}

static int SYS_FileExists_reg(const char *name) {
  struct stat st;
  return (name && stat(name, &st) == 0) ? 0 : -1;
}

int32_t SYS_FileSize_reg(const char *name) {
  struct stat st;
  if (!name || stat(name, &st) != 0) return -1;
  return ClampSize(st.st_size);
}

const SYS_FileHandler_t SYS_FileHandler_reg = {
    "Regular file handler", nullptr,           SYS_FileOpen_reg,  SYS_FileSeek_reg,  SYS_FileRead_reg,
    SYS_FileGets_reg,       SYS_FilePuts_reg,  SYS_FileWrite_reg, SYS_FileEof_reg,   SYS_FileTell_reg,
    SYS_FileClose_reg,      SYS_FileExists_reg, SYS_FileSize_reg,
};

// ---- mounted folders -------------------------------------------------------

namespace {

struct FolderId {
  dev_t dev;
  ino_t ino;
  bool operator==(const FolderId &o) const { return dev == o.dev && ino == o.ino; }
};

// Lists `folder` (below `root`) into `out`, depth first, in sorted order.
// `chain` holds the folders being listed above this one; a link to one of
// them would loop, so it is skipped. Returns false only when memory runs out.
bool MapDir(const std::string &root, const std::string &folder, std::vector<FolderId> &chain,
            std::vector<SYS_DirEntry_t *> &out) {
  std::vector<std::string> names;
  if (DIR *d = opendir(folder.c_str())) {
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());

  for (const std::string &leaf : names) {
    std::string path = folder + "/" + leaf;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      FolderId id{st.st_dev, st.st_ino};
      if (std::find(chain.begin(), chain.end(), id) != chain.end()) continue;
      chain.push_back(id);
      bool ok = MapDir(root, path, chain, out);
      chain.pop_back();
      if (!ok) return false;
    } else if (S_ISREG(st.st_mode)) {
      auto *entry = SYS_MEMGET(SYS_DirEntry_t, 1, "SYS_FileMapDir");
      if (!entry) return false;
      entry->name = STRDUP(path.c_str() + root.size() + 1);
      entry->size = ClampSize(st.st_size);
      out.push_back(entry);
      if (!entry->name) return false;
    }
  }
  return true;
}

void FreeDirPack(SYS_DirPack_t *pack) {
  for (int32_t i = 0; i < pack->count; ++i) {
    SYS_MEMFREE(pack->entries[i]->name);
    SYS_MEMFREE(pack->entries[i]);
  }
  SYS_MEMFREE(pack->entries);
  SYS_MEMFREE(pack->root);
  SYS_MemFree(&pack, __FILE__, __LINE__);
}

}  // namespace

char *SYS_FileFind(const char *name) {
  if (!name) return nullptr;
  for (SYS_List_p n = g_dirs; n; n = n->next) {
    auto *pack = static_cast<SYS_DirPack_t *>(n->data);
    for (int32_t i = 0; i < pack->count; ++i) {
      if (strcmp(pack->entries[i]->name, name) != 0) continue;
      std::string full = std::string(pack->root) + "/" + name;
      auto *copy = static_cast<char *>(SYS_MemGet(full.size() + 1, __FILE__, __LINE__, "SYS_FileFind"));
      if (copy) memcpy(copy, full.c_str(), full.size() + 1);
      return copy;
    }
  }
  return nullptr;
}

int SYS_FilePackOpen_dir(const char *path) {
  struct stat st;
  if (!path || stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
  for (SYS_List_p n = g_dirs; n; n = n->next)
    if (strcmp(static_cast<SYS_DirPack_t *>(n->data)->root, path) == 0) return 0;

  SYS_Log(1, "[file-dir] open new pack: %s\n", path);
  auto *pack = SYS_MEMGET(SYS_DirPack_t, 1, "SYS_FilePackOpen_dir");
  if (!pack) return -1;
  pack->root = STRDUP(path);

  std::vector<SYS_DirEntry_t *> found;
  std::vector<FolderId> chain{{st.st_dev, st.st_ino}};
  bool ok = pack->root && MapDir(path, path, chain, found);
  if (ok && !found.empty()) {
    pack->entries = SYS_MEMGET(SYS_DirEntry_t *, found.size(), "SYS_FileMapDir");
    ok = pack->entries != nullptr;
  }
  if (ok) {
    std::copy(found.begin(), found.end(), pack->entries);
    pack->count = static_cast<int32_t>(found.size());
    SYS_List_p head = SYS_ListAddFirst(g_dirs, pack);
    if (head) {
      g_dirs = head;
      return 0;
    }
  } else {
    for (SYS_DirEntry_t *e : found) {
      SYS_MEMFREE(e->name);
      SYS_MEMFREE(e);
    }
  }
  FreeDirPack(pack);
  SYS_ErrorSet(5);
  return -1;
}

static int SYS_FileOpen_dir(SYS_File_p file) {
  char *full = SYS_FileFind(file->name);
  SYS_ErrorClear();
  SYS_Log(1, "[file-dir] [SYS_FileOpen_dir] open : %s -> %s\n", file->name, full ? full : "(null)");
  if (!full) {
    SYS_ErrorSet(1);
    return -1;
  }
  char *name = file->name;
  file->name = full;
  int rc = SYS_FileOpen_reg(file);
  file->name = name;
  SYS_MEMFREE(full);
  return rc;
}

static int SYS_FileExists_dir(const char *name) {
  SYS_ErrorClear();
  if (!name) return -1;
  for (SYS_List_p n = g_dirs; n; n = n->next) {
    auto *pack = static_cast<SYS_DirPack_t *>(n->data);
    for (int32_t i = 0; i < pack->count; ++i)
      if (strcmp(pack->entries[i]->name, name) == 0) return 0;
  }
  return -1;
}

static int32_t SYS_FileSize_dir(const char *name) {
  char *full = SYS_FileFind(name);
  if (!full) return -1;
  int32_t size = SYS_FileSize_reg(full);
  SYS_MEMFREE(full);
  return size;
}

const SYS_FileHandler_t SYS_FileHandler_dir = {
    "Dir pack handler", SYS_FilePackOpen_dir, SYS_FileOpen_dir,  SYS_FileSeek_reg,   SYS_FileRead_reg,
    SYS_FileGets_reg,   SYS_FilePuts_reg,     SYS_FileWrite_reg, SYS_FileEof_reg,    SYS_FileTell_reg,
    SYS_FileClose_reg,  SYS_FileExists_dir,   SYS_FileSize_dir,
};

void SYS_FileUnmountDirs() {
  while (g_dirs) {
    auto *pack = static_cast<SYS_DirPack_t *>(g_dirs->data);
    g_dirs = SYS_ListRemove(g_dirs, pack);
    FreeDirPack(pack);
  }
}

void SYS_DirForget() { g_dirs = nullptr; }
