// The log and the last-error code.
//
// The log is a plain stream of what callers wrote: each framework line
// starts with its module's tag and ends with "\n"; level-0 pieces continue
// the line before them and are never stamped. Every piece opens the log
// file for appending, writes and closes it again, under the log mutex, so
// two threads never interleave inside a piece and a crash loses at most the
// piece being written.
//
// Both mutexes are static objects rather than tracked blocks: they exist
// before the memory manager and outlive it, so a late shutdown or the
// music thread can never lock freed memory, and a piece is whole even
// when written before the log start or after its close.
// The error hook is called outside the error mutex.
#include "framework/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>

#include "framework/clock.h"
#include "framework/memory.h"
#include "framework/options.h"
#include "framework/strings.h"

int32_t SYS_LogDlSymbols = 0;
int32_t SYS_LogDlErrors = 0;

// Implemented with the system information.
int SYS_InfoInit();

namespace {

constexpr size_t kLineSize = 4096;

std::mutex g_error_mutex;
int32_t g_error_code = 0;
errCallback_t g_error_hook = nullptr;

std::recursive_mutex g_log_mutex;
uint32_t g_log_flags = 0;
char *g_log_file = nullptr;
char g_line[kLineSize];

void WritePiece(FILE *out, int level, const char *text) {
  if ((g_log_flags & SYS_LOG_STAMP) && level != 0) {
    char stamp[32];
    SYS_TimeStampInto(stamp, sizeof stamp);
    fputs(stamp, out);
    fputc(' ', out);
  }
  fputs(text, out);
  fflush(out);
}

int VLog(int level, const char *format, va_list args) {
  if (!(g_log_flags & SYS_LOG_ON)) return 0;
  std::lock_guard<std::recursive_mutex> lock(g_log_mutex);
  vsnprintf(g_line, kLineSize, format, args);
  g_line[kLineSize - 1] = 0;
  if (g_log_flags & SYS_LOG_ECHO) WritePiece(stdout, level, g_line);
  if (g_log_file) {
    if (FILE *f = fopen(g_log_file, "a+")) {
      WritePiece(f, level, g_line);
      fclose(f);
    }
  }
  return 0;
}

}  // namespace

int SYS_LogInit() {
  SYS_ErrorClear();
  if (SYS_CfgGet("v", SYS_CFG_FLAG) == 1) g_log_flags = SYS_LOG_ON;
  if (SYS_CfgGet("c", SYS_CFG_FLAG) == 1) g_log_flags = SYS_LOG_ON | SYS_LOG_ECHO;
  if (g_log_flags == 0) return 0;
  if (SYS_CfgGet("debug-ts", SYS_CFG_FLAG) == 1) g_log_flags |= SYS_LOG_STAMP;

  if (!g_log_file) {
    // A "debug-log" without a value behind it falls back to the default.
    const char *name = SYS_CfgGetText("debug-log");
    // Tied to the folder the process started in, so the later change to the
    // program's folder does not split one run's log in two.
    g_log_file = StrDupAbsolute(name ? name : "debug.log", __FILE__, __LINE__);
  }
  SYS_ErrorClear();
  if (SYS_CfgGet("debug-append", SYS_CFG_FLAG) != 1 && g_log_file) remove(g_log_file);

  SYS_LogDlSymbols = SYS_CfgGet("debug-dlsymbols", SYS_CFG_FLAG) == 1;
  SYS_LogDlErrors = SYS_CfgGet("debug-dlerrors", SYS_CFG_FLAG) == 1;

  char stamp[32];
  SYS_TimeStampInto(stamp, sizeof stamp);
  SYS_Log(0, "\n\n");
  SYS_Log(1, "--- zelka!quorvix application framework 0.8\n");
  SYS_Log(1, "--- started : %s\n", stamp);
  const char *program = SYS_CfgArg(0);
  SYS_Log(1, "--- application : %s\n\n", program ? program : "");
  return SYS_InfoInit();
}

int SYS_Log(int level, const char *format, ...) {
  if (!(g_log_flags & SYS_LOG_ON) || !format) return 0;
  va_list args;
  va_start(args, format);
  int r = VLog(level, format, args);
  va_end(args);
  return r;
}

int SYS_LogStr(const char *text) { return SYS_Log(1, "%s", text ? text : ""); }

void SYS_LogClose() {
  SYS_ErrorClear();
  SYS_Log(1, "\n--- End of log.\n\n");
  std::lock_guard<std::recursive_mutex> lock(g_log_mutex);
  SYS_MEMFREE(g_log_file);
}

int SYS_LogSetFile(const char *name) {
  SYS_ErrorClear();
  if (!name) {
    SYS_ErrorSet(10);
    return -1;
  }
  char *copy = StrDupAbsolute(name, __FILE__, __LINE__);
  std::lock_guard<std::recursive_mutex> lock(g_log_mutex);
  SYS_MEMFREE(g_log_file);
  g_log_file = copy;
  return 0;
}

int SYS_LogSetFlags(uint32_t flags) {
  g_log_flags = flags;
  return 0;
}

uint32_t SYS_LogGetFlags() { return g_log_flags; }
const char *SYS_LogGetFile() { return g_log_file; }

void SYS_ErrorSetCallback(errCallback_t hook) { g_error_hook = hook; }

void SYS_ErrorClear() {
  std::lock_guard<std::mutex> lock(g_error_mutex);
  g_error_code = 0;
}

void SYS_ErrorSet(int32_t code) {
  std::lock_guard<std::mutex> lock(g_error_mutex);
  g_error_code = code;
}

int SYS_ErrorReport(int32_t code, const char *name) {
  SYS_ErrorSet(code);
  if (name && g_error_hook) g_error_hook(code, name);
  return code;
}

int32_t SYS_ErrorGet() {
  std::lock_guard<std::mutex> lock(g_error_mutex);
  int32_t code = g_error_code;
  g_error_code = 0;
  return code;
}
