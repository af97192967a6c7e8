// System and processor information.
//
// The machine is asked once: `uname` names the system, its kernel and the
// processor family; /proc/cpuinfo adds the clock, the PowerPC model and
// AltiVec; `sysconf` counts the processors. The facts become one
// process-wide SYS_CPU_t record whose address the framework start-up hands
// to its caller. Detection that fails (no `uname`, no processor count) is
// tried again on the next call; a detected record is never re-read, so a
// second call logs nothing.
//
// The information texts are tracked copies made by SYS_InfoInit, which the
// log start runs only while logging is on, and released at shutdown.
// Runs on the main thread during start-up; no locks.
#include "framework/sysinfo.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <sys/utsname.h>
#include <unistd.h>

#include "framework/log.h"
#include "framework/memory.h"
#include "framework/options.h"
#include "framework/strings.h"

namespace {

SYS_CPU_t cpu_record;
bool cpu_detected = false;

char *os_type = nullptr;
char *os_distrib = nullptr;
char *os_kernel = nullptr;

char clock_text[512];

// Processor type names by type number; unlisted numbers are "Unknown".
struct TypeName {
  int32_t type;
  const char *name;
};
constexpr TypeName kTypeNames[] = {
    {1, "VAX"},   {6, "MC680x0"}, {7, "x86"},   {10, "MC98000"}, {11, "HPPA"},
    {12, "ARM"},  {13, "MC88000"}, {14, "Sparc"}, {15, "i860"},    {16, "Alpha"},
};

// PowerPC model names by subtype number.
constexpr TypeName kPowerPCModels[] = {
    {1, "601"},  {2, "602"},  {3, "603"},       {4, "603e"}, {5, "603ev"},     {6, "604"},
    {7, "604e"}, {8, "620"},  {9, "G3 (750)"},  {10, "7400"}, {11, "G4 (7450)"}, {100, "G5 (970)"},
};

// uname's machine names (by prefix) and the type number they stand for.
struct MachineType {
  const char *prefix;
  int32_t type;
};
constexpr MachineType kMachineTypes[] = {
    {"x86_64", 7}, {"i386", 7},   {"i486", 7},    {"i586", 7}, {"i686", 7},
    {"aarch64", 12}, {"arm", 12}, {"ppc", 18},    {"powerpc", 18}, {"sparc", 14},
    {"alpha", 16}, {"parisc", 11}, {"m68k", 6},   {"vax", 1},
};

// Model of a PowerPC's "cpu" line in /proc/cpuinfo (without any "PPC"
// prefix), by prefix, longest first so "603ev" is not taken for "603".
struct ModelPrefix {
  const char *prefix;
  int32_t subtype;
};
constexpr ModelPrefix kPowerPCCpuLines[] = {
    {"970", 100}, {"7450", 11}, {"7455", 11},   {"7457", 11}, {"7447", 11}, {"7448", 11},
    {"7445", 11}, {"7400", 10}, {"7410", 10},   {"740/750", 9}, {"745/755", 9}, {"750", 9},
    {"620", 8},   {"604ev", 7}, {"604e", 7},    {"604r", 7},  {"604", 6},   {"603ev", 5},
    {"603e", 4},  {"603", 3},   {"602", 2},     {"601", 1},
};

// x86 processors are described as a whole family, as the Mac reports them.
constexpr int32_t kX86SubtypeAll = 3;

const char *TypeNameOf(int32_t type) {
  for (const auto &t : kTypeNames)
    if (t.type == type) return t.name;
  return "Unknown";
}

const char *PowerPCModelOf(int32_t subtype) {
  for (const auto &m : kPowerPCModels)
    if (m.type == subtype) return m.name;
  return "Unknown PPC processor";
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The value of the first "key : value" line of /proc/cpuinfo with this key.
bool CpuinfoValue(const std::string &text, std::string_view key, std::string_view *value) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (Trim(line.substr(0, colon)) != key) continue;
    *value = Trim(line.substr(colon + 1));
    return true;
  }
  return false;
}

// A leading decimal number of megahertz ("2096.014", "2000.000000MHz").
double MegahertzOf(std::string_view text) {
  std::string copy(text);
  double mhz = SYS_StrToReal(copy.c_str());
  return mhz > 0 ? mhz : 0;
}

std::string ReadWhole(const char *path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// PRETTY_NAME of /etc/os-release, without its quotes.
std::string DistributionName() {
  std::string text = ReadWhole("/etc/os-release");
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    constexpr std::string_view key = "PRETTY_NAME=";
    if (line.substr(0, key.size()) != key) continue;
    std::string_view value = Trim(line.substr(key.size()));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return {};
}

char *Copy(const std::string &text) { return StrDup(text.c_str(), __FILE__, __LINE__); }

}  // namespace

std::string SYS_CpuName(int32_t type, int32_t subtype) {
  char name[256];
  if (type == SYS_CPU_TYPE_POWERPC)
    snprintf(name, sizeof name, "%s %s", "PowerPC", PowerPCModelOf(subtype));
  else
    snprintf(name, sizeof name, "Unknown %s processor", TypeNameOf(type));
  return name;
}

SYS_CpuFacts SYS_CpuFactsParse(const std::string &machine, const std::string &cpuinfo) {
  SYS_CpuFacts f;
  for (const auto &m : kMachineTypes) {
    if (machine.compare(0, strlen(m.prefix), m.prefix) == 0) {
      f.type = m.type;
      break;
    }
  }
  f.sixtyfour = machine.size() >= 2 && machine.compare(machine.size() - 2, 2, "64") == 0;

  std::string_view value;
  if (CpuinfoValue(cpuinfo, "cpu MHz", &value))
    f.hertz = MegahertzOf(value) * 1e6;
  else if (CpuinfoValue(cpuinfo, "clock", &value))
    f.hertz = MegahertzOf(value) * 1e6;

  if (f.type == SYS_CPU_TYPE_X86) f.subtype = kX86SubtypeAll;
  if (f.type == SYS_CPU_TYPE_POWERPC && CpuinfoValue(cpuinfo, "cpu", &value)) {
    f.altivec = value.find("altivec supported") != std::string_view::npos;
    std::string_view model = value;
    if (model.substr(0, 3) == "PPC") model.remove_prefix(3);
    for (const auto &p : kPowerPCCpuLines) {
      if (model.substr(0, strlen(p.prefix)) == p.prefix) {
        f.subtype = p.subtype;
        break;
      }
    }
  }
  return f;
}

void SYS_CpuDescribe(const SYS_CpuFacts &facts, SYS_CPU_t *record) {
  *record = SYS_CPU_t{};
  record->clock = static_cast<float>(facts.hertz / 1000000.0);
  snprintf(record->name, 254, "%s", SYS_CpuName(facts.type, facts.subtype).c_str());
  record->AltiVec = facts.altivec ? 1 : 0;
  if (SYS_CfgGet("disable-altivec", SYS_CFG_FLAG) > 0) record->AltiVec = 0;

  SYS_Log(1, "[cpu] CPU: %s (%d:%d) %.2f MHz\n", record->name, facts.type, facts.subtype,
          static_cast<double>(record->clock));
  SYS_Log(1, "[cpu]  - ");
  SYS_Log(0, "[%d cpu] ", facts.count);
  if (facts.sixtyfour) SYS_Log(0, "[64bitops] ");
  if (record->AltiVec == 1) SYS_Log(0, "[altivec] ");
  SYS_Log(0, "\n");
}

SYS_PCPU_t SYS_CpuDetect() {
  SYS_ErrorClear();
  if (cpu_detected) return &cpu_record;

  utsname uts;
  long count = sysconf(_SC_NPROCESSORS_ONLN);
  if (uname(&uts) != 0 || count < 1) {
    SYS_ErrorSet(-1);
    return nullptr;
  }
  SYS_CpuFacts facts = SYS_CpuFactsParse(uts.machine, ReadWhole("/proc/cpuinfo"));
  facts.count = static_cast<int32_t>(count);
  SYS_CpuDescribe(facts, &cpu_record);
  cpu_detected = true;
  return &cpu_record;
}

int SYS_InfoInit() {
  SYS_ErrorClear();
  SYS_InfoShutdown();

  utsname uts;
  bool named = uname(&uts) == 0;
  std::string distrib = DistributionName();
  os_type = Copy(named ? uts.sysname : "Unknown");
  os_distrib = Copy(distrib.empty() ? "Unknown" : distrib);
  os_kernel = Copy(named ? uts.release : "unknown");

  // A size that cannot be read logs as 0 rather than as a huge figure.
  auto kilobytes = [](int64_t bytes) -> unsigned {
    return bytes > 0 ? static_cast<unsigned>(static_cast<uint64_t>(bytes) / 1024) : 0u;
  };
  SYS_Log(1, "[info] OS type: %s\n", os_type ? os_type : "");
  SYS_Log(1, "[info] Distrib: %s\n", os_distrib ? os_distrib : "");
  SYS_Log(1, "[info] Kernel version: %s\n", os_kernel ? os_kernel : "");
  SYS_Log(1, "[info] Total memory: %u KB\n", kilobytes(SYS_MemTotal()));
  SYS_Log(1, "[info] Free memory: %u KB\n", kilobytes(SYS_MemAvail()));

  SYS_CpuDetect();
  return 0;
}

void SYS_InfoShutdown() {
  SYS_MEMFREE(os_type);
  SYS_MEMFREE(os_distrib);
  SYS_MEMFREE(os_kernel);
}

void *SYS_InfoGet(int32_t code) {
  SYS_ErrorClear();
  if (code < 0 || code > 5) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  SYS_PCPU_t cpu = cpu_detected ? &cpu_record : SYS_CpuDetect();
  switch (code) {
    case 0: return os_type;
    case 1: return os_distrib;
    case 2: return os_kernel;
    case 3: return cpu ? cpu->name : nullptr;
    case 4:
      if (!cpu) return nullptr;
      snprintf(clock_text, sizeof clock_text, "%.2f MHz", static_cast<double>(cpu->clock));
      return clock_text;
    default: return cpu;
  }
}
