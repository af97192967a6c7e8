// Framework start-up and shutdown, the 32 numbered subsystem slots through
// which modules register an init and an exit procedure, the orderly
// shutdown, and the demo side's bridge (counted strings, log and memory
// wrappers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

struct SYS_CPU_t;
typedef SYS_CPU_t *SYS_PCPU_t;

typedef void (*SYS_TExitProc)();

constexpr int SYS_SLOT_COUNT = 32;
constexpr int SYS_SLOT_NAME_MAX = 32;

struct SYS_TExitSlot {
  int32_t used;
  char name[SYS_SLOT_NAME_MAX + 1];
  SYS_TExitProc proc;
};

int SYS_Init(void *module, int32_t argc, char **argv, SYS_PCPU_t *cpu);
int SYS_Shutdown();

// Counted strings of the demo side are std::string_view here.
// Registration: 0, or -1 with code 10 for a slot outside 0..31.
int SYS_AddInitProc(std::string_view name, int32_t slot, SYS_TExitProc proc);
int SYS_AddExitProc(std::string_view name, int32_t slot, SYS_TExitProc proc);
int SYS_RemoveInitProc(std::string_view name);
int SYS_RemoveExitProc(std::string_view name);
void SYS_CallInitProcs();
[[noreturn]] void SYS_Exit(int32_t code);

void pasLog(std::string_view text);
void pasLogRaw(std::string_view text);
void *pasMemGet(size_t size, const char *description);
void *pasMemRealloc(void *pointer_address, size_t size, const char *description);
void pasMemFree(void *pointer_address);
const char *PasStr(std::string_view text);

void pasBaseStart(int argc, char **argv);
void pasBaseInit(int argc, char **argv);

// The base module's process-wide values.
extern SYS_PCPU_t pasCPU;
extern char pasHomeDir[256];
extern char pasSystemDir[256];
