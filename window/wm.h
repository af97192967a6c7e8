// The window manager: windows with an OpenGL context each, their
// properties through one numbered-code operation, buffer swaps, the
// window manager's start-up, and the fatal exit of the program.
//
// A window is made in two steps: wmNewWindow only records geometry and
// defaults; the first wmShowWindow makes the native window and its
// context from what was stored. Properties set before that are stored,
// later ones applied at once. Callers hold wm_window_t as an opaque
// pointer; the window manager owns it until wmDestroyWindow.
//
// Main thread only; nothing is locked.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "framework/list.h"
#include "window/wm_display.h"
#include "window/wm_event.h"

struct plWindow;
struct plContext;

struct wm_window_t {
  plWindow *window;        // native window; NULL until the first show
  intptr_t menu;           // the window menu, made at the first show
  uint32_t attributes;     // native attribute bits, see WM_ATTR_*
  intptr_t view;           // non-zero once the content takes drops
  int32_t x, y;            // content area, desktop coordinates
  int32_t width, height;
  int32_t level;           // non-zero: screen-saver level
  int32_t borderless;
  int32_t resizable;
  float opacity;           // percent
  int32_t drop;            // non-zero: accepts dropped files
  int32_t left, middle, right;  // mouse buttons held
  int32_t cursor_hidden;
  int32_t last_x, last_y;  // previous mouse position
  int32_t reset;           // set by resizes: forget held buttons
  wm_callback_t callback;  // NULL: no delivery
  intptr_t pixel_format;
  plContext *context;
  char *title;             // tracked copy, Latin-2; NULL: none
  intptr_t user;           // the owner's word (codes 105, 106)
};
typedef wm_window_t *wm_window_p;

// Native attribute sets.
enum : uint32_t {
  WM_ATTR_RESIZABLE_SET = 0x1200001F,  // live resize, standard handler, boxes, resizable
  WM_ATTR_FIXED_SET = 0x02000009,      // standard handler, collapse box, close box
  WM_ATTR_NO_TITLE_BAR = 0x00000200,
};

// wmParam codes. Display codes (0, 1, 5-8, 15) need no window.
enum : int32_t {
  WM_RENDERER_NAME = 0,
  WM_VIDEO_MEMORY = 1,
  WM_CALLBACK = 3,
  WM_BOUNDS = 4,
  WM_DESKTOP_WIDTH = 5,
  WM_DESKTOP_HEIGHT = 6,
  WM_DESKTOP_BITS = 7,
  WM_DESKTOP_FREQUENCY = 8,
  WM_WIDTH = 9,
  WM_HEIGHT = 10,
  WM_X = 11,
  WM_Y = 12,
  WM_GET_BOUNDS = 13,
  WM_POSITION = 14,
  WM_EVENT_WAIT = 15,
  WM_CURSOR_HIDDEN = 100,
  WM_LEVEL = 101,
  WM_TITLE = 102,
  WM_OPACITY = 103,
  WM_BORDERLESS = 104,
  WM_USER_SET = 105,
  WM_USER_GET = 106,
  WM_RESIZABLE = 108,
  WM_DROP = 109,
};

// Error codes of the window manager.
enum : int32_t {
  WM_ERR_GL = 3001,        // OpenGL context or entry table
  WM_ERR_WINDOW = 3005,    // window record or native window
  WM_ERR_NO_WINDOW = 3006, // a window code without a window
  WM_ERR_NO_MODE = 3007,   // no exact display mode
  WM_ERR_DISPLAY = 3009,   // display manager start
};

int wmInit();
int wmShutdown();
wm_window_t *wmNewWindow(int32_t x, int32_t y, int32_t width, int32_t height);
int wmShowWindow(wm_window_t *window);
int wmHideWindow(wm_window_t *window);
int wmDestroyWindow(wm_window_t *window);
void wmMakeCurrent(wm_window_t *window);
void wmSwapBuffers(wm_window_t *window);
// Values and results that carry a pointer (callback, title, renderer name,
// wm_conf_t address, user word) travel as intptr_t.
intptr_t wmParam(wm_window_t *window, int32_t code, intptr_t value);

// The window list, newest window first.
SYS_List_p wmWindowList();
// The event wait time of code 15, in seconds.
double wmEventWaitTime();

// The fatal exit: message (at most 255 characters) to standard output and
// the log, then the orderly shutdown with exit status 1. Never returns.
[[noreturn]] void wmFatal(std::string_view message);
// Where the fatal exit writes its message from now on: a tool that says
// its reasons on standard error passes stderr. NULL restores standard
// output.
void wmFatalSetStream(std::FILE *stream);

// Init slot 1 "Window manager ...": wmInit, or the fatal exit.
void pasWmInit();
// Registers init slot 1 and its (empty) exit slot.
void pasWmRegister();
