// Test hooks of the SDL back-end: they put native events into SDL's queue
// (SDL_PushEvent) as the desktop would, so the whole road from a native
// event to a window's callback can be tested under a virtual display.
// Numbers are SDL's: scancodes are USB HID usages, buttons are 1 left,
// 2 middle, 3 right. Each returns 0 when the event was queued.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// SDL's window event ids.
enum : int32_t {
  PL_TEST_SHOWN = 1,
  PL_TEST_HIDDEN = 2,
  PL_TEST_EXPOSED = 3,
  PL_TEST_MOVED = 4,
  PL_TEST_RESIZED = 5,
  PL_TEST_SIZE_CHANGED = 6,
  PL_TEST_ENTER = 10,
  PL_TEST_LEAVE = 11,
  PL_TEST_FOCUS_GAINED = 12,
  PL_TEST_FOCUS_LOST = 13,
  PL_TEST_CLOSE = 14,
};

// Modifier keys update a modifier state kept here, as SDL's keyboard
// would, so their events carry the state after the change.
int plTestPushKey(plWindow *window, int32_t scancode, int down, int repeat);
int plTestPushMouseButton(plWindow *window, int32_t button, int down, int32_t x, int32_t y);
int plTestPushMouseMotion(plWindow *window, int32_t x, int32_t y, int buttons_held);
int plTestPushWheel(plWindow *window, int32_t delta, int32_t x, int32_t y);
int plTestPushWindowEvent(plWindow *window, int32_t event, int32_t data1, int32_t data2);
// A whole drop: begin, one file, complete.
int plTestPushDrop(plWindow *window, const char *path);
// Forgets the hook's modifier state.
void plTestResetModifiers();
