// Tracked memory: every framework allocation carries a header that lists it
// among the live blocks, so a release can be verified and the blocks still
// live at shutdown can be reported.
//
// The header sits directly before the user data and is padded so the user
// data stays 16-byte aligned. The live list has its own lock: the main
// thread and the music thread both allocate.
#pragma once

#include <cstddef>
#include <cstdint>

struct SYS_MemBlock_t {
  uint32_t magic;          // "zlk!" while live, 0 once released
  uint32_t reserved;
  size_t size;             // user size asked for
  SYS_MemBlock_t *newer;   // next newer live block, NULL for the newest
  SYS_MemBlock_t *older;   // next older live block, NULL for the oldest
  char description[32];   // "[file:line] tag", cut to 31 characters
};
static_assert(sizeof(SYS_MemBlock_t) % 16 == 0, "user data must stay 16-byte aligned");

constexpr uint32_t SYS_MEM_MAGIC = 0x7a6c6b21;  // "zlk!"

void *SYS_MemGet(size_t size, const char *file, int32_t line, const char *tag);
void SYS_MemFree(void *pointer_address, const char *file, int32_t line);
void *SYS_MemRealloc(void *pointer_address, size_t size, const char *file, int32_t line,
                     const char *tag);
int64_t SYS_MemSize(const void *pointer);
int SYS_MemInit();
void SYS_MemShutdown();
int SYS_MemDumpLeaks(const char *name);
int SYS_MemDumpBlock(const void *pointer);
int64_t SYS_MemTotal();
int64_t SYS_MemAvail();

// Number of live blocks and their summed sizes, for tests and the log.
size_t SYS_MemLiveCount();
uint64_t SYS_MemLiveBytes();

// Typed helpers so call sites need no casts. SYS_MEMFREE clears the pointer.
#define SYS_MEMGET(type, count, tag) \
  static_cast<type *>(SYS_MemGet(sizeof(type) * (count), __FILE__, __LINE__, (tag)))
#define SYS_MEMFREE(ptr) SYS_MemFree(&(ptr), __FILE__, __LINE__)
