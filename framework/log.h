// The framework's diagnostic log and its process-wide last-error code.
//
// Framework operations clear the last-error code when they start and set it
// when they fail; callers read it (and reset it) with SYS_ErrorGet. The log
// is a text file opened, appended to and closed for every piece, written
// only when logging was asked for ("v" or "c"). Both are safe to use from
// any thread: each has a mutex of its own, and the two are never held
// together. The mutexes are static objects, so a late shutdown or a second
// thread never locks freed memory.
#pragma once

#include <cstdint>

typedef void (*errCallback_t)(int32_t code, const char *name);

// Log flag bits.
enum : uint32_t {
  SYS_LOG_ON = 1,     // logging is on
  SYS_LOG_ECHO = 2,   // every piece is copied to standard output
  SYS_LOG_STAMP = 4,  // level-1 pieces start with a date-time stamp
};

int SYS_LogInit();
int SYS_Log(int level, const char *format, ...) __attribute__((format(printf, 2, 3)));
int SYS_LogStr(const char *text);
void SYS_LogClose();
int SYS_LogSetFile(const char *name);
int SYS_LogSetFlags(uint32_t flags);
uint32_t SYS_LogGetFlags();
// The file every piece goes to; NULL while the log is off or closed.
const char *SYS_LogGetFile();

// Results of "debug-dlsymbols" and "debug-dlerrors", read by the module loader.
extern int32_t SYS_LogDlSymbols;
extern int32_t SYS_LogDlErrors;

void SYS_ErrorSetCallback(errCallback_t hook);
void SYS_ErrorClear();
void SYS_ErrorSet(int32_t code);
int SYS_ErrorReport(int32_t code, const char *name);
int32_t SYS_ErrorGet();
