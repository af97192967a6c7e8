// Millisecond clock, the application timer, the date-time stamp and sleep.
// The clock reads a monotonic source; all millisecond arithmetic wraps in
// unsigned 32 bits, so only differences between values mean anything.
#pragma once

#include <cstdint>

int32_t SYS_TimeGetMs();
void SYS_TimerReset();
int32_t SYS_TimerGet();
void SYS_TimerShift(int32_t ms);
void SYS_TimerPause();
char *SYS_TimeStamp();  // tracked copy, released by the caller
// The same stamp into a caller's buffer of at least 16 bytes, no allocation.
void SYS_TimeStampInto(char *buffer, unsigned size);
int SYS_Sleep(uint32_t ms);
