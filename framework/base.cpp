// Framework start-up and shutdown, the subsystem slots and the demo side's
// bridge to the framework.
//
// Start-up has two phases. In the first, every module runs its
// initialisation once, in the program's fixed order; the base module's
// (pasBaseInit) comes first and starts the framework with the program's
// arguments, then makes the program's folder the current folder. Modules
// that own a service only register an init and an exit procedure in one of
// 32 numbered slots. In the second phase the program runs the init table
// once, slots 0..31. The exit table runs only on the orderly shutdown
// (SYS_Exit), slots 31..0, followed by the framework shutdown; exit
// procedures therefore run even for slots whose init never ran, and must
// cope with a service that was never started.
//
// The program path is made absolute before anything reads it, so the
// program's folder, and with it the data pack three folders above, is found
// whatever folder the program was started from and whatever the current
// folder is later.
//
// Everything here runs on the main thread. PasStr hands out one shared
// buffer that every call overwrites.
#include "framework/base.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "framework/clock.h"
#include "framework/file.h"
#include "framework/file_internal.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "framework/module.h"
#include "framework/net.h"
#include "framework/options.h"
#include "framework/sysinfo.h"
#include "framework/thread.h"

SYS_PCPU_t pasCPU = nullptr;
char pasHomeDir[256];
char pasSystemDir[256];

namespace {

// One table of slots, zero-filled on its first registration.
struct SlotTable {
  SYS_TExitSlot slots[SYS_SLOT_COUNT];
  bool filled;
};

SlotTable init_table;
SlotTable exit_table;

// How far the orderly shutdown has come. An exit procedure that itself ends
// the program continues from where the shutdown stands instead of running
// the slots above it, or the framework shutdown, a second time.
enum class ExitStage { kRunning, kExitSlots, kFrameworkShutdown };
ExitStage exit_stage = ExitStage::kRunning;
int exit_next = SYS_SLOT_COUNT - 1;  // the exit slot to run next

char *pas_buffer = nullptr;
int32_t pas_capacity = 0;

constexpr size_t kLogLineMax = 255;    // a demo-side log line, line feed included
constexpr size_t kFolderMax = 255;     // pasHomeDir and pasSystemDir

std::string_view SlotName(std::string_view name) {
  return name.substr(0, std::min<size_t>(name.size(), SYS_SLOT_NAME_MAX));
}

int AddProc(SlotTable &table, std::string_view name, int32_t slot, SYS_TExitProc proc) {
  SYS_ErrorClear();
  if (slot < 0 || slot >= SYS_SLOT_COUNT) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (!table.filled) {
    memset(table.slots, 0, sizeof table.slots);
    table.filled = true;
  }
  SYS_TExitSlot &s = table.slots[slot];
  name = SlotName(name);
  memcpy(s.name, name.data(), name.size());
  s.name[name.size()] = 0;
  s.proc = proc;
  s.used = 1;
  return 0;
}

int RemoveProc(SlotTable &table, std::string_view name) {
  name = SlotName(name);
  for (SYS_TExitSlot &s : table.slots) {
    if (name == s.name) {
      s.used = 0;
      return 0;
    }
  }
  return 1;
}

void ReleaseBase() {}

// The program path made absolute: the real file when argv[0] names a path,
// the running executable when it was found through PATH.
std::string AbsoluteProgramPath(const char *argv0) {
  if (!argv0 || !*argv0) return argv0 ? argv0 : "";
  if (strchr(argv0, '/')) {
    if (char *real = realpath(argv0, nullptr)) {
      std::string path = real;
      free(real);
      return path;
    }
    if (argv0[0] == '/') return argv0;
    std::vector<char> cwd(PATH_MAX);
    if (!getcwd(cwd.data(), cwd.size())) return argv0;
    std::string rel = argv0;
    while (rel.compare(0, 2, "./") == 0) rel.erase(0, 2);
    return std::string(cwd.data()) + "/" + rel;
  }
  std::vector<char> exe(PATH_MAX + 1);
  ssize_t n = readlink("/proc/self/exe", exe.data(), PATH_MAX);
  if (n <= 0) return argv0;
  return std::string(exe.data(), static_cast<size_t>(n));
}

// The path of a kind with an empty name; empty when it cannot be built.
std::string FolderOf(int32_t kind) {
  char *path = SYS_PathGet(kind, "");
  std::string out = path ? path : "";
  SYS_MEMFREE(path);
  return out;
}

void CopyCut(char *dest, const std::string &text, size_t max) {
  size_t n = std::min(text.size(), max);
  memcpy(dest, text.data(), n);
  dest[n] = 0;
}

}  // namespace

int SYS_Init(void *module, int32_t argc, char **argv, SYS_PCPU_t *cpu) {
  SYS_ThreadInit();
  if (argc != 0 && argv) {
    std::string program = AbsoluteProgramPath(argv[0]);
    std::vector<char *> words(argv, argv + argc);
    words[0] = program.data();
    SYS_CfgAddArgs(argc, words.data());
  }
  SYS_LogInit();
  SYS_MemInit();
  SYS_ErrorClear();
  SYS_NetInit();
  SYS_PCPU_t detected = SYS_CpuDetect();
  if (cpu) *cpu = detected;
  SYS_TimerReset();
  if (module) SYS_DlAddLib(module, "Base");

  std::string home = FolderOf(2);
  std::string system = FolderOf(1);
  SYS_Log(1, "[base] HOME: '%s'\n", home.c_str());
  SYS_Log(1, "[base] SYSTEM DIR: '%s'\n", system.c_str());
  return 0;
}

int SYS_Shutdown() {
  SYS_ErrorClear();
  SYS_ThreadShutdown();
  SYS_InfoShutdown();
  SYS_NetShutdown();
  SYS_CfgFree();
  SYS_FileShutdown();
  SYS_LogClose();
  SYS_MemShutdown();
  // The memory shutdown has returned every block, the PasStr buffer too,
  // and every record the process-wide lists still name.
  pas_buffer = nullptr;
  pas_capacity = 0;
  SYS_FileForget();
  SYS_ThreadForget();
  SYS_DlForget();
  return 0;
}

int SYS_AddInitProc(std::string_view name, int32_t slot, SYS_TExitProc proc) {
  return AddProc(init_table, name, slot, proc);
}

int SYS_AddExitProc(std::string_view name, int32_t slot, SYS_TExitProc proc) {
  return AddProc(exit_table, name, slot, proc);
}

int SYS_RemoveInitProc(std::string_view name) { return RemoveProc(init_table, name); }
int SYS_RemoveExitProc(std::string_view name) { return RemoveProc(exit_table, name); }

void SYS_CallInitProcs() {
  pasLog("[init] --- subsystems");
  for (const SYS_TExitSlot &s : init_table.slots) {
    if (!s.used) continue;
    pasLog("[init] -------------------------");
    pasLog(std::string("[init] call : ") + s.name);
    if (s.proc) s.proc();
  }
  pasLog("[init] --- end");
}

void SYS_Exit(int32_t code) {
  if (exit_stage == ExitStage::kRunning) {
    exit_stage = ExitStage::kExitSlots;
    pasLog("[exit] --- subsystems");
  }
  if (exit_stage == ExitStage::kExitSlots) {
    while (exit_next >= 0) {
      const SYS_TExitSlot &s = exit_table.slots[exit_next--];
      if (!s.used) continue;
      pasLog(std::string("[exit] call : ") + s.name);
      if (s.proc) s.proc();
    }
    pasLog("[exit]");
    exit_stage = ExitStage::kFrameworkShutdown;
    SYS_Shutdown();
  }
  exit(code & 0xff);
}

void pasLog(std::string_view text) {
  // A cut line keeps its line feed, so the next line starts on its own.
  std::string line(text.substr(0, std::min(text.size(), kLogLineMax - 1)));
  line += '\n';
  SYS_LogStr(PasStr(line));
}

void pasLogRaw(std::string_view text) {
  std::string line(text.substr(0, std::min(text.size(), kLogLineMax)));
  SYS_LogStr(PasStr(line));
}

void *pasMemGet(size_t size, const char *description) {
  return SYS_MemGet(size, "[pas]", 0, description);
}

void *pasMemRealloc(void *pointer_address, size_t size, const char *description) {
  return SYS_MemRealloc(pointer_address, size, "[pas]", 0, description);
}

void pasMemFree(void *pointer_address) { SYS_MemFree(pointer_address, "[pas]", 0); }

const char *PasStr(std::string_view text) {
  size_t length = text.size();
  if (length > static_cast<size_t>(INT32_MAX) - 5) return nullptr;
  if (!pas_buffer || length > static_cast<size_t>(pas_capacity)) {
    // The new buffer is filled before the old one goes, so a text that
    // lies in the old buffer (an earlier result) survives the move.
    auto *grown = static_cast<char *>(pasMemGet(length + 5, "PasStr"));
    if (!grown) return nullptr;
    memcpy(grown, text.data(), length);
    grown[length] = 0;
    pasMemFree(&pas_buffer);
    pas_buffer = grown;
    pas_capacity = static_cast<int32_t>(length);
    return pas_buffer;
  }
  memmove(pas_buffer, text.data(), length);
  pas_buffer[length] = 0;
  return pas_buffer;
}

void pasBaseStart(int argc, char **argv) {
  SYS_Init(nullptr, argc, argv, &pasCPU);
  SYS_AddExitProc("Release base lib ...", 0, ReleaseBase);
}

void pasBaseInit(int argc, char **argv) {
  pasBaseStart(argc, argv);
  std::string home = FolderOf(2);
  std::string system = FolderOf(1);
  CopyCut(pasHomeDir, home, kFolderMax);
  CopyCut(pasSystemDir, system, kFolderMax);
  // The whole path, not the cut copy: a longer path cut short would name
  // another folder.
  if (system.empty() || chdir(system.c_str()) != 0) {
    int why = system.empty() ? ENOMEM : errno;
    fprintf(stderr, "cannot change to the program's folder '%s': %s\n", system.c_str(),
            strerror(why));
    SYS_Log(1, "[base] cannot change to the program's folder '%s': %s\n", system.c_str(),
            strerror(why));
    SYS_Exit(1);
  }
}
