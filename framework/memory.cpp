// Tracked memory.
//
// Every block is one system allocation: a 64-byte header followed by the
// zero-filled user data (16-byte aligned). Live headers form a doubly
// linked list, newest first, so a release can be verified and the blocks
// still live at shutdown can be reported.
//
// The live list is shared by every thread that allocates (the main thread
// and the music thread), so it has a lock of its own. A release looks the
// address up in a set of live headers before it reads anything, so a
// stray or doubled release never touches freed memory.
//
// This module never logs while it holds its own lock: the log may itself
// release memory, and the trace of allocations goes through the log.
#include "framework/memory.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/sysinfo.h>
#include <unistd.h>
#include <unordered_set>

#include "framework/clock.h"
#include "framework/log.h"
#include "framework/options.h"
#include "framework/strings.h"

namespace {

std::mutex g_mem_mutex;
SYS_MemBlock_t *g_head = nullptr;
// Kept outside tracked memory on purpose: it describes tracked memory.
std::unordered_set<const SYS_MemBlock_t *> *g_live = nullptr;
size_t g_count = 0;
uint64_t g_bytes = 0;

bool g_trace = false;
bool g_leak_report = false;
bool g_hard_free = false;
// The copy of "mf", tracked (so a report lists it); without "mf" the
// default name is kept untracked, so a clean run's report is empty.
char *g_report_name = nullptr;
std::string g_default_report;

std::unordered_set<const SYS_MemBlock_t *> &Live() {
  if (!g_live) g_live = new std::unordered_set<const SYS_MemBlock_t *>();
  return *g_live;
}

SYS_MemBlock_t *HeaderOf(const void *user) {
  return reinterpret_cast<SYS_MemBlock_t *>(const_cast<char *>(static_cast<const char *>(user)) -
                                            sizeof(SYS_MemBlock_t));
}

void *UserOf(SYS_MemBlock_t *h) { return reinterpret_cast<char *>(h) + sizeof(SYS_MemBlock_t); }

const char *BaseName(const char *path) {
  if (!path) return "";
  const char *slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

void Unlink(SYS_MemBlock_t *h) {
  if (h->newer) h->newer->older = h->older;
  if (h->older) h->older->newer = h->newer;
  if (g_head == h) g_head = h->older;
  h->newer = h->older = nullptr;
  Live().erase(h);
  g_count--;
  g_bytes -= h->size;
}

}  // namespace

void *SYS_MemGet(size_t size, const char *file, int32_t line, const char *tag) {
  if (size == 0 || size > SIZE_MAX - sizeof(SYS_MemBlock_t)) return nullptr;
  auto *h = static_cast<SYS_MemBlock_t *>(calloc(1, sizeof(SYS_MemBlock_t) + size));
  if (!h) return nullptr;
  h->magic = SYS_MEM_MAGIC;
  h->size = size;
  snprintf(h->description, sizeof h->description, "[%s:%d] %s", BaseName(file), line,
           tag ? tag : "");
  {
    std::lock_guard<std::mutex> lock(g_mem_mutex);
    try {
      Live().insert(h);
    } catch (...) {
      free(h);
      return nullptr;
    }
    h->older = g_head;
    if (g_head) g_head->newer = h;
    g_head = h;
    g_count++;
    g_bytes += size;
  }
  if (g_trace) SYS_Log(1, "[mem]  - allocated: 0x%" PRIxPTR " '%s'\n", reinterpret_cast<uintptr_t>(h), tag ? tag : "");
  return UserOf(h);
}

void SYS_MemFree(void *pointer_address, const char *file, int32_t line) {
  if (!pointer_address) return;
  void *&pointer = *static_cast<void **>(pointer_address);
  if (!pointer) return;
  SYS_MemBlock_t *h = HeaderOf(pointer);
  uint32_t found = 0;
  char description[sizeof h->description] = "";
  {
    std::lock_guard<std::mutex> lock(g_mem_mutex);
    if (Live().count(h)) {
      if (h->magic == SYS_MEM_MAGIC) {
        h->magic = 0;
        Unlink(h);
        free(h);
        pointer = nullptr;
        return;
      }
      // A live block whose header was overwritten: its words can be read.
      found = h->magic;
      memcpy(description, h->description, sizeof description);
      description[sizeof description - 1] = 0;
    }
  }
  SYS_Log(0,
          "\n!!! Already released or corrupted memory area: 0x%" PRIxPTR "\n!!!  - data: 0x%08x\n"
          "!!!  - SYS_MemFree position: [%s:%d]\n!!!  - SYS_MemGet info: '%s'\n\n",
          reinterpret_cast<uintptr_t>(h), found, BaseName(file), line, description);
  if (g_hard_free) exit(1);
}

void *SYS_MemRealloc(void *pointer_address, size_t size, const char *file, int32_t line,
                     const char *tag) {
  if (!pointer_address) return nullptr;
  void *&pointer = *static_cast<void **>(pointer_address);
  if (size == 0) {
    SYS_MemFree(pointer_address, __FILE__, 201);
    return nullptr;
  }
  if (!pointer) {
    pointer = SYS_MemGet(size, file, line, tag);
    if (!pointer) SYS_ErrorSet(SYS_ErrorGet());
    return pointer;
  }
  int64_t old_size = SYS_MemSize(pointer);
  if (old_size < 0) return nullptr;  // not a live block: nothing to copy from
  void *fresh = SYS_MemGet(size, file, line, tag);
  if (!fresh) {
    SYS_ErrorSet(SYS_ErrorGet());
    return nullptr;
  }
  memcpy(fresh, pointer, std::min(static_cast<size_t>(old_size), size));
  SYS_MemFree(pointer_address, file, line);
  pointer = fresh;
  return fresh;
}

int64_t SYS_MemSize(const void *pointer) {
  SYS_ErrorClear();
  if (!pointer) {
    SYS_ErrorSet(10);
    return -1;
  }
  SYS_MemBlock_t *h = HeaderOf(pointer);
  std::lock_guard<std::mutex> lock(g_mem_mutex);
  if (!Live().count(h) || h->magic != SYS_MEM_MAGIC) {
    SYS_ErrorSet(10);
    return -1;
  }
  return static_cast<int64_t>(h->size);
}

int SYS_MemInit() {
  g_trace = SYS_CfgGet("debug-memalloc", SYS_CFG_FLAG) == 1;
  g_leak_report = SYS_CfgGet("debug-memleak", SYS_CFG_FLAG) == 1;
  g_hard_free = SYS_CfgGet("debug-dfree", SYS_CFG_FLAG) == 1;
  SYS_MEMFREE(g_report_name);
  // A value-less "mf" is no name: the default stands. The report is written
  // at shutdown, after the change to the program's folder: the name is tied
  // to the folder the process started in.
  g_default_report.clear();
  if (const char *name = SYS_CfgGetText("mf")) {
    g_report_name = StrDupAbsolute(name, __FILE__, __LINE__);
  } else {
    char cwd[4096];
    g_default_report = getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/debug.memleaks" : "debug.memleaks";
  }
  SYS_ErrorClear();
  return 0;
}

void SYS_MemShutdown() {
  if (g_leak_report) {
    SYS_MemDumpLeaks(g_report_name ? g_report_name
                                   : g_default_report.empty() ? nullptr : g_default_report.c_str());
  }
  SYS_MEMFREE(g_report_name);
  SYS_ErrorClear();
  std::lock_guard<std::mutex> lock(g_mem_mutex);
  SYS_MemBlock_t *h = g_head;
  while (h) {
    SYS_MemBlock_t *older = h->older;
    h->magic = 0;
    free(h);
    h = older;
  }
  g_head = nullptr;
  if (g_live) g_live->clear();
  g_count = 0;
  g_bytes = 0;
}

int SYS_MemDumpLeaks(const char *name) {
  SYS_ErrorClear();
  if (!name) name = "debug.memleaks";
  SYS_Log(1, "[mem] dump allocation list to '%s'.\n", name);
  FILE *f = fopen(name, "w+");
  if (!f) {
    SYS_ErrorSet(9);
    return -1;
  }
  char *stamp = SYS_TimeStamp();
  fprintf(f, "\n--- zelka!quorvix memory manager\n--- started : %s\n\n", stamp ? stamp : "");
  SYS_MEMFREE(stamp);
  uint64_t total = 0;
  {
    std::lock_guard<std::mutex> lock(g_mem_mutex);
    if (!g_head) {
      fputs("No memory allocated.\n", f);
    } else {
      fputs("Unreleased memory:\n\n", f);
      for (SYS_MemBlock_t *h = g_head; h; h = h->older) {
        fprintf(f, "%s -> %zu bytes\n", h->description, h->size);
        total += h->size;
      }
    }
  }
  fprintf(f, "\n\nTotal: %llu bytes\n---\n", static_cast<unsigned long long>(total));
  fclose(f);
  return 0;
}

int SYS_MemDumpBlock(const void *pointer) {
  SYS_ErrorClear();
  if (!pointer) {
    SYS_ErrorSet(10);
    return -1;
  }
  SYS_MemBlock_t *h = HeaderOf(pointer);
  std::string name;
  size_t size = 0;
  {
    std::lock_guard<std::mutex> lock(g_mem_mutex);
    if (!Live().count(h)) {
      SYS_ErrorSet(10);
      return -1;
    }
    name = h->description;
    size = h->size;
  }
  // The description is "[file:line] tag": only a slash cannot stand in a
  // file name (a NUL ends the text), and it would lead into another folder.
  std::replace(name.begin(), name.end(), '/', '_');
  name += ".memdump";
  FILE *f = fopen(name.c_str(), "wb+");
  if (!f) {
    SYS_ErrorSet(9);
    return -1;
  }
  fwrite(pointer, 1, size, f);
  fclose(f);
  return 0;
}

int64_t SYS_MemTotal() {
  SYS_ErrorClear();
  struct sysinfo si;
  if (sysinfo(&si) != 0) {
    SYS_ErrorSet(7);
    return -1;
  }
  return static_cast<int64_t>(si.totalram) * si.mem_unit;
}

int64_t SYS_MemAvail() {
  struct sysinfo si;
  if (sysinfo(&si) != 0) return 0;
  return static_cast<int64_t>(si.freeram) * si.mem_unit;
}

size_t SYS_MemLiveCount() {
  std::lock_guard<std::mutex> lock(g_mem_mutex);
  return g_count;
}

uint64_t SYS_MemLiveBytes() {
  std::lock_guard<std::mutex> lock(g_mem_mutex);
  return g_bytes;
}
