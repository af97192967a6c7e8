// Windows and window properties: the window manager's start-up, window
// records and their native windows and OpenGL contexts, the property
// table behind wmParam, context switches and buffer swaps.
//
// Invariants: every record made by wmNewWindow is in the window list
// (newest first) until wmDestroyWindow; its native window and context
// exist from the first wmShowWindow on, and only then are properties
// applied to the desktop, before that they are only stored. Every
// operation except wmMakeCurrent and wmSwapBuffers clears the last-error
// code first. No swap interval is ever set.
//
// Main thread only. The event handlers (wm_events.cpp) touch the same
// records from inside wmPumpEvents, on the same thread.
#include "window/wm.h"

#include <cstdio>
#include <cstring>

#include "framework/log.h"
#include "framework/memory.h"
#include "framework/strings.h"
#include "platform/platform.h"
#include "window/gl_stub.h"

namespace {

SYS_List_p window_list = nullptr;
intptr_t window_group = 0;
intptr_t main_display = 0;
double event_wait_seconds = 0.0;

bool IsLive(const wm_window_t *window) {
  for (SYS_List_p n = window_list; n; n = n->next)
    if (n->data == window) return true;
  return false;
}

void ApplyBounds(wm_window_t *w, int32_t extra_height = 0) {
  plWindowSetBounds(w->window, w->x, w->y, w->width, w->height + extra_height);
}

void ApplyTitle(wm_window_t *w) { plWindowSetTitle(w->window, w->title ? w->title : ""); }

void ApplyOpacity(wm_window_t *w) { plWindowSetAlpha(w->window, w->opacity / 100.0f); }

// --- the property table -------------------------------------------------

intptr_t GetRendererName(wm_window_t *, intptr_t) { return reinterpret_cast<intptr_t>(wmRendererName); }
intptr_t GetVideoMemory(wm_window_t *, intptr_t) { return static_cast<intptr_t>(wmVideoMemory); }

intptr_t SetCallback(wm_window_t *w, intptr_t value) {
  w->callback = reinterpret_cast<wm_callback_t>(value);
  return 0;
}

intptr_t SetBounds(wm_window_t *w, intptr_t value) {
  const auto *conf = reinterpret_cast<const wm_conf_t *>(value);
  if (!conf) {
    SYS_ErrorSet(10);
    return -1;
  }
  w->x = conf->x;
  w->y = conf->y;
  w->width = conf->width;
  w->height = conf->height;
  if (w->window) ApplyBounds(w);
  return 0;
}

intptr_t GetDesktopWidth(wm_window_t *, intptr_t) { return wmDesktopWidth; }
intptr_t GetDesktopHeight(wm_window_t *, intptr_t) { return wmDesktopHeight; }
intptr_t GetDesktopBits(wm_window_t *, intptr_t) { return wmDesktopBits; }
intptr_t GetDesktopFrequency(wm_window_t *, intptr_t) { return wmDesktopFrequency; }
intptr_t GetWidth(wm_window_t *w, intptr_t) { return w->width; }
intptr_t GetHeight(wm_window_t *w, intptr_t) { return w->height; }
intptr_t GetX(wm_window_t *w, intptr_t) { return w->x; }
intptr_t GetY(wm_window_t *w, intptr_t) { return w->y; }

intptr_t GetBounds(wm_window_t *w, intptr_t value) {
  if (auto *conf = reinterpret_cast<wm_conf_t *>(value)) {
    conf->x = w->x;
    conf->y = w->y;
    conf->width = w->width;
    conf->height = w->height;
  }
  return 0;
}

intptr_t SetPosition(wm_window_t *w, intptr_t value) {
  const auto *conf = reinterpret_cast<const wm_conf_t *>(value);
  if (!conf) {
    SYS_ErrorSet(10);
    return -1;
  }
  w->x = conf->x;
  w->y = conf->y;
  if (w->window) plWindowMoveStructure(w->window, w->x, w->y);
  return 0;
}

intptr_t SetEventWait(wm_window_t *, intptr_t value) {
  event_wait_seconds = static_cast<double>(value);
  return 0;
}

intptr_t SetCursorHidden(wm_window_t *w, intptr_t value) {
  w->cursor_hidden = value != 0;
  plCursorShow(value == 0);
  return 0;
}

intptr_t SetLevel(wm_window_t *w, intptr_t value) {
  w->level = value != 0;
  if (w->window) plGroupSetLevel(window_group, value ? PL_LEVEL_SCREEN_SAVER : PL_LEVEL_NORMAL);
  return 0;
}

intptr_t SetTitle(wm_window_t *w, intptr_t value) {
  const auto *text = reinterpret_cast<const char *>(value);
  // Copy before releasing: the text may be the old title itself.
  char *copy = text ? STRDUP(text) : nullptr;
  if (text && !copy) {
    SYS_ErrorSet(5);
    return -1;
  }
  if (w->title) SYS_MEMFREE(w->title);
  w->title = copy;
  if (w->window) ApplyTitle(w);
  return 0;
}

intptr_t SetOpacity(wm_window_t *w, intptr_t value) {
  w->opacity = static_cast<float>(value);
  if (w->window) ApplyOpacity(w);
  return 0;
}

intptr_t SetBorderless(wm_window_t *w, intptr_t value) {
  w->borderless = value != 0;
  if (!w->window) return 0;
  uint32_t set = value ? WM_ATTR_NO_TITLE_BAR : WM_ATTR_RESIZABLE_SET;
  uint32_t clear = value ? WM_ATTR_RESIZABLE_SET : WM_ATTR_NO_TITLE_BAR;
  w->attributes = (w->attributes | set) & ~clear;
  plWindowChangeAttributes(w->window, set, clear);
  // One pixel taller, then exact: the frame change takes effect only when
  // the content bounds really change.
  ApplyBounds(w, 1);
  ApplyBounds(w);
  return 0;
}

intptr_t SetUser(wm_window_t *w, intptr_t value) {
  w->user = value;
  return 0;
}

intptr_t GetUser(wm_window_t *w, intptr_t) { return w->user; }

intptr_t SetResizable(wm_window_t *w, intptr_t value) {
  w->resizable = value != 0;
  w->attributes = value ? WM_ATTR_RESIZABLE_SET : WM_ATTR_FIXED_SET;
  if (w->window) plWindowChangeAttributes(w->window, w->attributes, 0);
  return 0;
}

intptr_t SetDrop(wm_window_t *w, intptr_t value) {
  w->drop = value != 0;
  return 0;
}

struct wm_param_row_t {
  int32_t code;
  int32_t display;  // 1: works without a window
  intptr_t (*proc)(wm_window_t *window, intptr_t value);
};

constexpr wm_param_row_t kParams[] = {
    {WM_RENDERER_NAME, 1, GetRendererName},
    {WM_VIDEO_MEMORY, 1, GetVideoMemory},
    {WM_CALLBACK, 0, SetCallback},
    {WM_BOUNDS, 0, SetBounds},
    {WM_DESKTOP_WIDTH, 1, GetDesktopWidth},
    {WM_DESKTOP_HEIGHT, 1, GetDesktopHeight},
    {WM_DESKTOP_BITS, 1, GetDesktopBits},
    {WM_DESKTOP_FREQUENCY, 1, GetDesktopFrequency},
    {WM_WIDTH, 0, GetWidth},
    {WM_HEIGHT, 0, GetHeight},
    {WM_X, 0, GetX},
    {WM_Y, 0, GetY},
    {WM_GET_BOUNDS, 0, GetBounds},
    {WM_POSITION, 0, SetPosition},
    {WM_EVENT_WAIT, 1, SetEventWait},
    {WM_CURSOR_HIDDEN, 0, SetCursorHidden},
    {WM_LEVEL, 0, SetLevel},
    {WM_TITLE, 0, SetTitle},
    {WM_OPACITY, 0, SetOpacity},
    {WM_BORDERLESS, 0, SetBorderless},
    {WM_USER_SET, 0, SetUser},
    {WM_USER_GET, 0, GetUser},
    {WM_RESIZABLE, 0, SetResizable},
    {WM_DROP, 0, SetDrop},
};

}  // namespace

int wmInit() {
  SYS_ErrorClear();
  plProcessToFront();
  main_display = plMainDisplay();
  window_group = plGroupCreate();
  if (wmDmInit() != 0) {
    SYS_Log(1, "[wm]  ! unable to initialize display manager.\n");
    SYS_ErrorSet(WM_ERR_DISPLAY);
    return -1;
  }
  if (gl_stub_load() != 0) {
    SYS_Log(1, "[wm]  ! unable to initialize OpenGL.\n");
    SYS_ErrorSet(WM_ERR_GL);
    return -1;
  }
  if (wmAglInit() != 0) {
    SYS_Log(1, "[wm]  ! unable to initialize AGL.\n");
    SYS_ErrorSet(WM_ERR_GL);
    return -1;
  }
  return 0;
}

int wmShutdown() {
  SYS_ErrorClear();
  wmDmShutdown();
  wmAglShutdown();
  plMenuBarShow();
  return 0;
}

wm_window_t *wmNewWindow(int32_t x, int32_t y, int32_t width, int32_t height) {
  SYS_ErrorClear();
  auto *window = static_cast<wm_window_t *>(SYS_MemGet(sizeof(wm_window_t), __FILE__, __LINE__, "New Window"));
  if (!window) {
    SYS_ErrorSet(WM_ERR_WINDOW);
    return nullptr;
  }
  *window = wm_window_t{};
  window->x = x;
  window->y = y;
  window->width = width;
  window->height = height;
  window->opacity = 100.0f;
  SYS_List_p head = SYS_ListAddFirst(window_list, window);
  if (!head) {
    SYS_MEMFREE(window);
    SYS_ErrorSet(WM_ERR_WINDOW);
    return nullptr;
  }
  window_list = head;
  return window;
}

int wmShowWindow(wm_window_t *window) {
  SYS_ErrorClear();
  if (!window) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (!window->window) {
    if (!window->menu) window->menu = plMenuCreateWindowMenu();
    window->attributes = 0;
    if (!window->borderless)
      wmParam(window, WM_RESIZABLE, window->resizable);
    else
      window->attributes = WM_ATTR_NO_TITLE_BAR;
    // The context's attributes must be known before the native window is.
    window->pixel_format = plGlChoosePixelFormat();
    window->window = plWindowCreate(window->x, window->y, window->width, window->height, window->attributes);
    if (!window->window) {
      plGlDestroyPixelFormat(window->pixel_format);
      window->pixel_format = 0;
      SYS_Log(1, "[wm]  ! unable to create window.\n");
      SYS_ErrorSet(WM_ERR_WINDOW);
      return -1;
    }
    SYS_Log(1, "[wm]  - window handle: %p\n", static_cast<void *>(window->window));
    plWindowSetGroup(window->window, window_group);
    ApplyBounds(window);
    ApplyOpacity(window);
    if (window->title) ApplyTitle(window);
    window->context = plGlCreateContext(window->window, window->pixel_format);
    if (!window->context) {
      // Nothing half-made stays behind: a later show starts over.
      plWindowDestroy(window->window);
      window->window = nullptr;
      plGlDestroyPixelFormat(window->pixel_format);
      window->pixel_format = 0;
      SYS_ErrorSet(WM_ERR_GL);
      return -1;
    }
    plGlMakeCurrent(window->window, window->context);
  }
  SYS_Log(1, "[wm]  ! show window (%p -> %d,%d %dx%d).\n", static_cast<void *>(window->window), window->x,
          window->y, window->width, window->height);
  plWindowInstallHandler(window->window, wmEventHandler, window);
  if (window->drop) {
    if (plWindowInstallDropHandler(window->window, wmDropHandler, window) == 0)
      window->view = 1;
    else
      SYS_Log(1, "[wm]  ! HIViewFindByID() failed.\n");
  }
  plWindowShow(window->window);
  if (window->level) plGlSetFullScreen(window->window, window->context);
  return 0;
}

int wmHideWindow(wm_window_t *window) {
  SYS_ErrorClear();
  if (!window) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (window->window) plWindowHide(window->window);
  return 0;
}

int wmDestroyWindow(wm_window_t *window) {
  SYS_ErrorClear();
  if (!window || !IsLive(window)) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (window->window) {
    plWindowHide(window->window);
    plGlDestroyPixelFormat(window->pixel_format);
    plGlMakeCurrent(window->window, nullptr);
    plGlDestroyContext(window->context);
    plWindowDestroy(window->window);
  }
  window_list = SYS_ListRemove(window_list, window);
  if (window->title) SYS_MEMFREE(window->title);
  SYS_MEMFREE(window);
  return 0;
}

void wmMakeCurrent(wm_window_t *window) {
  if (window && window->window && window->context) plGlMakeCurrent(window->window, window->context);
}

void wmSwapBuffers(wm_window_t *window) {
  if (window && window->window) plGlSwapBuffers(window->window);
}

intptr_t wmParam(wm_window_t *window, int32_t code, intptr_t value) {
  SYS_ErrorClear();
  for (const wm_param_row_t &row : kParams) {
    if (row.code != code) continue;
    if (!window && !row.display) break;
    return row.proc(window, value);
  }
  if (!window) {
    SYS_ErrorSet(WM_ERR_NO_WINDOW);
    return -1;
  }
  return 0;
}

SYS_List_p wmWindowList() { return window_list; }

double wmEventWaitTime() { return event_wait_seconds; }
