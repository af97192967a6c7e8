// The sound system's start-up and shutdown on OpenAL: one device (the
// default output) and one context, both process-wide and owned here.
//
// QSS_Init runs once on the main thread before any music handle is made,
// QSS_Shutdown once after the last one is freed. Between the two the
// context is current for every thread of the process, so the music player
// thread can issue its source and buffer calls without further set-up.
#pragma once

#include <cstdint>

// Bits 0-7 of the flags word: frequency index 1..6.
constexpr int32_t QSS_FREQ_11025 = 1;
constexpr int32_t QSS_FREQ_22050 = 2;
constexpr int32_t QSS_FREQ_44100 = 3;
constexpr int32_t QSS_FREQ_48000 = 4;
constexpr int32_t QSS_FREQ_88200 = 5;
constexpr int32_t QSS_FREQ_96000 = 6;
// Bits 8-15: source layout.
constexpr int32_t QSS_MONO_SOURCE = 1 << 8;
constexpr int32_t QSS_STEREO_SOURCE = 2 << 8;

// 0 once a device and a context are open and current; -1 with code 10 for
// an unknown frequency index or source layout (nothing is opened then) or
// when the system is already running, -1 with code 1 when no output
// device or context can be had.
int QSS_Init(int32_t flags);
// Releases the context and the device; 0. Harmless when nothing is open.
int QSS_Shutdown();
