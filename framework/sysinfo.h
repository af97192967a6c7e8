// System and processor information: a few facts about the machine, collected
// once at start-up and written into the log (operating system, distribution,
// kernel, memory sizes, the processor's name, clock, count and vector unit).
//
// The processor is described by the type and subtype numbers the rest of
// the framework has always used (7 x86, 12 ARM, 18 PowerPC, ...); on Linux
// they are derived from `uname` and /proc/cpuinfo. A clock that the system
// does not tell reads 0 MHz; that is never a failure.
//
// Main thread only: detection runs during the framework start-up.
#pragma once

#include <cstdint>
#include <string>

struct SYS_CPU_t {
  int32_t AltiVec;   // 1: vector unit present and not disabled
  float clock;       // MHz
  char name[256];    // at most 253 characters
};
typedef SYS_CPU_t *SYS_PCPU_t;

// Processor type numbers with a meaning of their own.
enum : int32_t {
  SYS_CPU_TYPE_X86 = 7,
  SYS_CPU_TYPE_ARM = 12,
  SYS_CPU_TYPE_POWERPC = 18,
};

SYS_PCPU_t SYS_CpuDetect();
int SYS_InfoInit();
void SYS_InfoShutdown();
// Codes: 0 OS type, 1 distribution, 2 kernel version, 3 processor name,
// 4 clock text ("%.2f MHz", one static buffer), 5 the SYS_CPU_t record.
void *SYS_InfoGet(int32_t code);

// What the system tells about its processor, before it becomes a record.
struct SYS_CpuFacts {
  int32_t type = 0;
  int32_t subtype = 0;
  int32_t count = 0;       // processors online
  double hertz = 0;        // 0 when unknown
  int32_t sixtyfour = 0;   // 64-bit operations available
  int32_t altivec = 0;     // AltiVec unit present
};

// Facts from a machine name (as `uname` gives it) and the text of
// /proc/cpuinfo; the processor count is left to the caller.
SYS_CpuFacts SYS_CpuFactsParse(const std::string &machine, const std::string &cpuinfo);
// The record those facts make ("disable-altivec" applied), with its log
// lines written; detection uses this once.
void SYS_CpuDescribe(const SYS_CpuFacts &facts, SYS_CPU_t *record);
// "Unknown %s processor" with the type name, or "PowerPC" and the model.
std::string SYS_CpuName(int32_t type, int32_t subtype);
