// Inside the platform wall: the table of operations each back-end fills,
// and the native window and context records both back-ends share.
// Only platform/*.cpp include this.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

struct plWindow {
  void *native;          // SDL_Window*, NULL in the fake back-end
  uint32_t id;           // back-end's window id
  uint32_t attributes;
  intptr_t group;
  int32_t x, y, width, height;  // kept by the fake back-end
  int32_t visible;
  int32_t fullscreen;
  float alpha;
  std::string title;     // UTF-8
  pl_handler_t handler;
  void *handler_user;
  pl_handler_t drop_handler;
  void *drop_user;
};

struct plContext {
  void *native;          // SDL_GLContext
  plWindow *window;      // the window it was made for
};

struct pl_backend_t {
  const char *name;
  int (*process_to_front)();
  intptr_t (*group_create)();
  int (*group_set_level)(intptr_t group, int32_t level);
  intptr_t (*menu_create_window_menu)();
  int (*menu_bar_show)();
  int (*cursor_show)(int visible);
  int (*keep_awake)();
  int (*fade_reserve)(float seconds);
  int (*fade)(float seconds, float from, float to, int synchronous);
  int (*fade_release)();
  int (*display_init)();
  int (*display_current_mode)(pl_mode_t *mode);
  int32_t (*display_mode_count)();
  int (*display_mode)(int32_t index, pl_mode_t *mode);
  int (*display_switch_mode)(const pl_mode_t *mode);
  int (*display_restore)();
  int (*renderer_info)(pl_renderer_t *info);
  plWindow *(*window_create)(int32_t x, int32_t y, int32_t width, int32_t height,
                             uint32_t attributes);
  int (*window_destroy)(plWindow *window);
  int (*window_show)(plWindow *window);
  int (*window_hide)(plWindow *window);
  int (*window_set_group)(plWindow *window, intptr_t group);
  int (*window_set_bounds)(plWindow *window, int32_t x, int32_t y, int32_t width, int32_t height);
  int (*window_get_bounds)(plWindow *window, int32_t *x, int32_t *y, int32_t *width,
                           int32_t *height);
  int (*window_move_structure)(plWindow *window, int32_t x, int32_t y);
  int (*window_set_title)(plWindow *window, const std::string &utf8);
  std::string (*window_get_title)(plWindow *window);
  int (*window_set_alpha)(plWindow *window, float alpha);
  int (*window_change_attributes)(plWindow *window, uint32_t set, uint32_t clear);
  int (*window_accepts_drops)(plWindow *window);
  intptr_t (*gl_choose_pixel_format)();
  int (*gl_destroy_pixel_format)(intptr_t format);
  plContext *(*gl_create_context)(plWindow *window, intptr_t format);
  int (*gl_destroy_context)(plContext *context);
  int (*gl_make_current)(plWindow *window, plContext *context);
  int (*gl_swap_buffers)(plWindow *window);
  int (*gl_set_full_screen)(plWindow *window, plContext *context);
  // Next event for a known window, waiting up to wait_seconds; 1 when one
  // was taken. The event's path stays valid until the next call.
  int (*next_event)(double wait_seconds, pl_event_t *event);
  int32_t (*window_count)();
};

// Both back-ends define their operations under the same names, so each
// table is this one list, in the record's order.
#define PL_BACKEND_OPERATIONS \
  ProcessToFront, GroupCreate, GroupSetLevel, MenuCreateWindowMenu, \
  MenuBarShow, CursorShow, KeepAwake, FadeReserve, Fade, FadeRelease, \
  DisplayInit, DisplayCurrentMode, DisplayModeCount, DisplayMode, \
  DisplaySwitchMode, DisplayRestore, RendererInfo, WindowCreate, \
  WindowDestroy, WindowShow, WindowHide, WindowSetGroup, WindowSetBounds, \
  WindowGetBounds, WindowMoveStructure, WindowSetTitle, WindowGetTitle, \
  WindowSetAlpha, WindowChangeAttributes, WindowAcceptsDrops, \
  GlChoosePixelFormat, GlDestroyPixelFormat, GlCreateContext, \
  GlDestroyContext, GlMakeCurrent, GlSwapBuffers, GlSetFullScreen, NextEvent, \
  WindowCount

extern const pl_backend_t pl_sdl_backend;
extern const pl_backend_t pl_fake_backend;
