// Millisecond clock, application timer, date-time stamp and sleep.
//
// The clock reads the monotonic source, so a change of the wall-clock time
// never makes the demo's timeline jump. Millisecond values wrap in
// unsigned 32-bit arithmetic; differences between two values stay right
// across a wrap. The timer is read by the main thread only.
#include "framework/clock.h"

#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "framework/memory.h"

namespace {

struct Timer {
  uint32_t start = 0;
  uint32_t paused_total = 0;
  uint32_t elapsed = 0;
  int32_t paused = 0;
  uint32_t pause_start = 0;
} g_timer;

uint32_t Now() { return static_cast<uint32_t>(SYS_TimeGetMs()); }

}  // namespace

int32_t SYS_TimeGetMs() {
  struct timespec ts;
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
  uint32_t ms = static_cast<uint32_t>(ts.tv_sec) * 1000u + static_cast<uint32_t>(ts.tv_nsec / 1000000);
  return static_cast<int32_t>(ms);
}

void SYS_TimerReset() {
  g_timer.start = Now();
  g_timer.paused_total = 0;
  g_timer.elapsed = 0;
}

int32_t SYS_TimerGet() {
  if (!g_timer.paused) g_timer.elapsed = Now() - g_timer.start - g_timer.paused_total;
  return static_cast<int32_t>(g_timer.elapsed + 1);
}

void SYS_TimerShift(int32_t ms) { g_timer.paused_total += static_cast<uint32_t>(ms); }

void SYS_TimerPause() {
  if (!g_timer.paused) {
    g_timer.paused = 1;
    g_timer.pause_start = Now();
  } else {
    g_timer.paused = 0;
    g_timer.paused_total += Now() - g_timer.pause_start;
  }
}

void SYS_TimeStampInto(char *buffer, unsigned size) {
  if (!buffer || size == 0) return;
  time_t t = time(nullptr);
  struct tm tm_local;
  if (!localtime_r(&t, &tm_local)) {
    buffer[0] = 0;
    return;
  }
  snprintf(buffer, size, "%d%02d%02d %02d%02d%02d", tm_local.tm_year + 1900, tm_local.tm_mon + 1,
           tm_local.tm_mday, tm_local.tm_hour, tm_local.tm_min, tm_local.tm_sec);
}

char *SYS_TimeStamp() {
  char stamp[32];
  SYS_TimeStampInto(stamp, sizeof stamp);
  auto *copy = static_cast<char *>(SYS_MemGet(sizeof stamp, __FILE__, __LINE__, "SYS_TimeStamp"));
  if (copy) snprintf(copy, sizeof stamp, "%s", stamp);
  return copy;
}

int SYS_Sleep(uint32_t ms) { return usleep(static_cast<useconds_t>(ms) * 1000u); }
