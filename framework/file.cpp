// The virtual file system core: one set of file operations in front of a
// fixed table of three handlers, plus standard paths, recursive folder
// creation and listing by pattern.
//
// A name is served by the first handler, in table order, whose exists test
// accepts it: a file on disk (relative to the current folder, or absolute)
// comes before a file of a mounted folder, which comes before a pack entry.
// So a file on disk shadows a packed file of the same name, and the size
// of a name always comes from the source an open would use. A name that no
// handler serves can still be opened for writing: the regular handler
// creates it on disk.
//
// Every open file is on the open-file list, newest first, from a successful
// open until its close. Each file carries copies of its handler's
// operations; the operations here check the file and its handle (a null
// file or a file whose handle is gone fails with code 10) and call through
// those copies.
//
// Threads: no locks. Opening, closing and mounting happen on the main
// thread; another thread may read, seek and tell through a file the main
// thread opened, never the same file at the same time.
//
// Only SYS_FileOpen calls the error callback (through SYS_ErrorReport),
// once for every open it fails.
#include "framework/file.h"

#include <errno.h>
#include <glob.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/file_internal.h"
#include "framework/list.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "framework/options.h"
#include "framework/strings.h"

namespace {

// Probing order: disk, mounted folders, mounted packs.
const SYS_FileHandler_t *const kHandlers[] = {
    &SYS_FileHandler_reg,
    &SYS_FileHandler_dir,
    &SYS_FileHandler_pack,
    nullptr,
};

SYS_List_p g_open_files = nullptr;

// The per-user folder below the home folder (kind 3 of SYS_PathGet).
const char *g_app_dir = ".zelka";

// Longest text SYS_FilePrintf hands on: a 2048-byte buffer formatted with
// a limit of 2047.
constexpr size_t kPrintfBuffer = 2048;
constexpr size_t kPrintfLimit = 2047;

const SYS_FileHandler_t *FindHandler(const char *name) {
  for (const SYS_FileHandler_t *const *h = kHandlers; *h; ++h)
    if ((*h)->exists && (*h)->exists(name) == 0) return *h;
  return nullptr;
}

bool Usable(SYS_File_p file) {
  if (file && file->handle) return true;
  SYS_ErrorSet(10);
  return false;
}

char *Tracked(const std::string &text, const char *tag) {
  auto *copy = static_cast<char *>(SYS_MemGet(text.size() + 1, __FILE__, __LINE__, tag));
  if (!copy) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// The program path is argument word 0; the home folder stands in for
// itself with the program's folder when HOME is not set.
std::string ProgramPath() {
  const char *p = SYS_CfgArg(0);
  return p ? p : "";
}

std::string HomeDir() {
  if (const char *home = getenv("HOME")) return home;
  std::string prog = ProgramPath();
  size_t slash = prog.rfind('/');
  return slash == std::string::npos ? prog : prog.substr(0, slash);
}

}  // namespace

int SYS_FilePackOpen(const char *path) {
  SYS_ErrorClear();
  for (const SYS_FileHandler_t *const *h = kHandlers; *h; ++h)
    if ((*h)->mount && (*h)->mount(path) == 0) return 0;
  SYS_ErrorSet(11);
  return -1;
}

SYS_File_p SYS_FileOpen(const char *name, uint32_t mode) {
  SYS_ErrorClear();
  if (!name) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  SYS_Log(1, "[file] open %s...\n", name);

  const SYS_FileHandler_t *handler = nullptr;
  int position = 0;
  for (const SYS_FileHandler_t *const *h = kHandlers; *h; ++h, ++position) {
    SYS_Log(1, "[file]  - %d: %s\n", position, (*h)->name);
    if ((*h)->exists && (*h)->exists(name) == 0) {
      handler = *h;
      break;
    }
  }
  if (!handler) {
    if (!(mode & SYS_FILE_WRITE)) {
      SYS_ErrorReport(11, name);
      return nullptr;
    }
    handler = &SYS_FileHandler_reg;
  }

  auto *file = static_cast<SYS_File_p>(SYS_MemGet(sizeof(SYS_File_t), __FILE__, __LINE__, "SYS_FileOpen"));
  char *copy = file ? STRDUP(name) : nullptr;
  if (!copy) {
    SYS_MEMFREE(file);
    SYS_ErrorReport(5, name);
    return nullptr;
  }
  file->name = copy;
  file->mode = mode;
  file->handler = handler;
  file->seek = handler->seek;
  file->read = handler->read;
  file->gets = handler->gets;
  file->puts = handler->puts;
  file->write = handler->write;
  file->eof = handler->eof;
  file->tell = handler->tell;
  file->close = handler->close;
  file->exists = handler->exists;
  file->size_of = handler->size;

  if (handler->open(file) == 0) {
    SYS_List_p head = SYS_ListAddFirst(g_open_files, file);
    if (head) {
      g_open_files = head;
      return file;
    }
    // Not listed means not closable through the list's bookkeeping; undo.
    handler->close(file);
    SYS_MEMFREE(file->name);
    SYS_MEMFREE(file);
    SYS_ErrorReport(5, name);
    return nullptr;
  }

  int32_t code = SYS_ErrorGet();
  if (code == 0) code = 2;  // a handler that failed without saying why
  SYS_MEMFREE(file->name);
  SYS_MEMFREE(file);
  SYS_ErrorReport(code, name);
  return nullptr;
}

int32_t SYS_FileSeek(SYS_File_p file, int32_t offset) {
  SYS_ErrorClear();
  if (!Usable(file)) return -1;
  return file->seek(file, offset);
}

int32_t SYS_FileRead(SYS_File_p file, void *buffer, int32_t count) {
  if (!Usable(file)) return -1;
  return file->read(file, buffer, count);
}

char *SYS_FileGets(SYS_File_p file, char *buffer, int32_t size) {
  if (!Usable(file)) return nullptr;
  return file->gets(file, buffer, size);
}

int SYS_FilePrintf(SYS_File_p file, const char *format, ...) {
  SYS_ErrorClear();
  if (!Usable(file) || !format) {
    SYS_ErrorSet(10);
    return -1;
  }
  char text[kPrintfBuffer];
  va_list args;
  va_start(args, format);
  // A limit of 2047 keeps at most 2046 characters; longer results are cut.
  int n = vsnprintf(text, kPrintfLimit, format, args);
  va_end(args);
  if (n < 0) text[0] = '\0';
  return file->puts(file, text);
}

int SYS_FileWrite(SYS_File_p file, const void *buffer, int32_t size) {
  if (!Usable(file)) return -1;
  return file->write(file, buffer, size);
}

int SYS_FileEof(SYS_File_p file) {
  // Nonzero for an unusable file, so a read-until-end loop stops.
  if (!Usable(file)) return -1;
  return file->eof(file);
}

int32_t SYS_FileTell(SYS_File_p file) {
  if (!Usable(file)) return -1;
  return file->tell(file);
}

int SYS_FileClose(SYS_File_p file) {
  if (!file) return 0;
  if (g_open_files) g_open_files = SYS_ListRemove(g_open_files, file);
  int rc = (file->handle && file->close) ? file->close(file) : 0;
  SYS_MEMFREE(file->name);
  SYS_MEMFREE(file);
  return rc;
}

int SYS_FileExists(const char *name) {
  SYS_ErrorClear();
  if (!name) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (FindHandler(name)) {
    SYS_ErrorClear();
    return 0;
  }
  SYS_ErrorSet(1);
  return -1;
}

int32_t SYS_FileSize(const char *name) {
  SYS_ErrorClear();
  if (!name) {
    SYS_ErrorSet(10);
    return -1;
  }
  const SYS_FileHandler_t *h = FindHandler(name);
  if (!h) {
    SYS_ErrorSet(1);
    return -1;
  }
  SYS_ErrorClear();
  return h->size(name);
}

namespace {

int64_t Nanoseconds(const timespec &t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }

SYS_FileIdentity_t DiskIdentity(const struct stat &st) {
  return {uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(st.st_size), Nanoseconds(st.st_mtim),
          Nanoseconds(st.st_ctim), SYS_FILE_ID_DISK};
}

}  // namespace

int SYS_FileIdentify(const char *name, SYS_FileIdentity_t *identity) {
  SYS_ErrorClear();
  if (!name || !identity) {
    SYS_ErrorSet(10);
    return -1;
  }
  const SYS_FileHandler_t *h = FindHandler(name);
  struct stat st;
  if (h == &SYS_FileHandler_reg) {
    std::string path = name;  // as the regular open spells it
    std::replace(path.begin(), path.end(), '\\', '/');
    if (stat(path.c_str(), &st) == 0) {
      *identity = DiskIdentity(st);
      return 0;
    }
  } else if (h == &SYS_FileHandler_dir) {
    char *full = SYS_FileFind(name);
    const bool found = full && stat(full, &st) == 0;
    if (full) SYS_MEMFREE(full);
    if (found) {
      *identity = DiskIdentity(st);
      return 0;
    }
  } else if (h == &SYS_FileHandler_pack) {
    SYS_Pack_t *pack = nullptr;
    SYS_PackEntry_t *entry = nullptr;
    if (SYS_PackFind(name, &pack, &entry)) {
      *identity = {pack->mount, entry->offset, entry->size, 0, 0, SYS_FILE_ID_PACK};
      return 0;
    }
  }
  SYS_ErrorSet(1);
  return -1;
}

void SYS_FileShutdown() { SYS_ErrorClear(); }

void SYS_FileForget() {
  g_open_files = nullptr;
  SYS_PackForget();
  SYS_DirForget();
}

void SYS_PathSetAppDir(const char *text) { g_app_dir = text; }

char *SYS_PathGet(int32_t kind, const char *name) {
  SYS_ErrorClear();
  if (kind == 0) return nullptr;
  if (kind < 0 || kind > 5 || !name) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  switch (kind) {
    case 1: {
      std::string prog = ProgramPath();
      size_t slash = prog.rfind('/');
      std::string dir = slash == std::string::npos ? std::string(".") : prog.substr(0, slash);
      return Tracked(dir + "/" + name, "SYS_PathGet: system_dir");
    }
    case 2:
      return Tracked(HomeDir() + "/" + name, "SYS_PathGet: home_dir");
    case 3:
      return Tracked(HomeDir() + "/" + (g_app_dir ? g_app_dir : "") + "/config/" + name,
                     "SYS_PathGet: home_cfgdir");
    case 4:
      return Tracked(HomeDir() + "/Desktop/" + name, "SYS_PathGet: home_cfgdir");
    default:
      return Tracked(std::string("/tmp/") + name, "SYS_PathGet: tmp");
  }
}

int SYS_MkDir(const char *path) {
  if (!path) return 1;
  if (mkdir(path, 0755) == 0) return 0;
  if (errno != ENOENT && errno != ENOTDIR) return 1;
  const char *slash = strrchr(path, '/');
  if (!slash) return 1;
  std::string parent(path, slash);
  if (SYS_MkDir(parent.c_str()) == 0) {
    // The parent exists now; whatever the second attempt gives counts as done.
    mkdir(path, 0755);
    return 0;
  }
  return 1;
}

int SYS_Glob(const char *pattern, SYS_Glob_pp result) {
  SYS_ErrorClear();
  if (!pattern || !result) {
    SYS_ErrorSet(10);
    return -1;
  }
  *result = nullptr;
  if (!*pattern) {
    SYS_ErrorSet(10);
    return -1;
  }
  auto *g = static_cast<SYS_Glob_t *>(SYS_MemGet(sizeof(SYS_Glob_t), __FILE__, __LINE__, "SYS_Glob: glob"));
  if (!g) {
    SYS_ErrorSet(5);
    return -1;
  }

  // Every ASCII letter becomes a bracket of both cases, its own first; a
  // backslash is a folder separator here, never an escape.
  size_t n = strlen(pattern);
  auto *filter = static_cast<char *>(SYS_MemGet(n * 4 + 1, __FILE__, __LINE__, "SYS_Glob: filter"));
  if (!filter) {
    SYS_MEMFREE(g);
    SYS_ErrorSet(5);
    return -1;
  }
  char *out = filter;
  for (const char *p = pattern; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x80 && isalpha(c)) {
      *out++ = '[';
      *out++ = static_cast<char>(c);
      *out++ = static_cast<char>(islower(c) ? toupper(c) : tolower(c));
      *out++ = ']';
    } else {
      *out++ = c == '\\' ? '/' : static_cast<char>(c);
    }
  }
  *out = '\0';

  glob_t found{};
  int rc = glob(filter, 0, nullptr, &found);
  SYS_MEMFREE(filter);
  size_t count = rc == 0 ? found.gl_pathc : 0;
  if (count) {
    g->names = static_cast<char **>(SYS_MemGet(count * sizeof(char *), __FILE__, __LINE__, "SYS_Glob: list"));
    bool ok = g->names != nullptr;
    for (size_t i = 0; ok && i < count; ++i) {
      g->names[i] = STRDUP(found.gl_pathv[i]);
      if (!g->names[i]) ok = false;
      else g->count = static_cast<int32_t>(i + 1);
    }
    if (!ok) {
      globfree(&found);
      SYS_GlobFree(&g);
      SYS_ErrorSet(5);
      return -1;
    }
  }
  globfree(&found);
  *result = g;
  return 0;
}

int SYS_GlobFree(SYS_Glob_pp result) {
  SYS_ErrorClear();
  if (!result || !*result) {
    SYS_ErrorSet(10);
    return -1;
  }
  SYS_Glob_t *g = *result;
  for (int32_t i = 0; i < g->count; ++i) SYS_MEMFREE(g->names[i]);
  SYS_MEMFREE(g->names);
  SYS_MEMFREE(*result);
  return 0;
}

void SYS_FileUnmountAll() {
  SYS_FileUnmountPacks();
  SYS_FileUnmountDirs();
}
