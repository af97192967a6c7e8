// The platform calls as the window manager sees them: each forwards to the
// back-end chosen with plSetBackend (SDL2 unless a test asks for the
// recording fake). Handler installation and event dispatch are the same
// for both back-ends and live here; a back-end only produces events.
//
// Main thread only. A NULL window is refused with -1 by every call that
// needs one, so a caller's slip never reaches SDL.
#include "platform/backend.h"

namespace {

const pl_backend_t *backend = &pl_sdl_backend;
int32_t backend_code = PL_BACKEND_SDL;

// Events nobody listens to are passed over within one dispatch, so a
// burst of them never delays the next event a window handles.
constexpr int kMaxSkippedEvents = 256;

}  // namespace

int plSetBackend(int32_t code) {
  const pl_backend_t *wanted = nullptr;
  if (code == PL_BACKEND_SDL) wanted = &pl_sdl_backend;
  if (code == PL_BACKEND_FAKE) wanted = &pl_fake_backend;
  if (!wanted) return -1;
  if (wanted != backend && backend->window_count() > 0) return -1;
  backend = wanted;
  backend_code = code;
  return 0;
}

int32_t plGetBackend() { return backend_code; }

int plProcessToFront() { return backend->process_to_front(); }
intptr_t plMainDisplay() { return 0; }
intptr_t plGroupCreate() { return backend->group_create(); }
int plGroupSetLevel(intptr_t group, int32_t level) { return backend->group_set_level(group, level); }
intptr_t plMenuCreateWindowMenu() { return backend->menu_create_window_menu(); }
int plMenuBarShow() { return backend->menu_bar_show(); }
int plCursorShow(int visible) { return backend->cursor_show(visible); }
int plKeepAwake() { return backend->keep_awake(); }
int plFadeReserve(float seconds) { return backend->fade_reserve(seconds); }
int plFade(float seconds, float from, float to, int synchronous) {
  return backend->fade(seconds, from, to, synchronous);
}
int plFadeRelease() { return backend->fade_release(); }

int plDisplayInit() { return backend->display_init(); }
int plDisplayCurrentMode(pl_mode_t *mode) { return mode ? backend->display_current_mode(mode) : -1; }
int32_t plDisplayModeCount() { return backend->display_mode_count(); }
int plDisplayMode(int32_t index, pl_mode_t *mode) {
  if (!mode || index < 0 || index >= backend->display_mode_count()) return -1;
  return backend->display_mode(index, mode);
}
int plDisplaySwitchMode(const pl_mode_t *mode) { return mode ? backend->display_switch_mode(mode) : -1; }
int plDisplayRestore() { return backend->display_restore(); }
int plRendererInfo(pl_renderer_t *info) { return info ? backend->renderer_info(info) : -1; }

plWindow *plWindowCreate(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t attributes) {
  if (width <= 0 || height <= 0) return nullptr;
  return backend->window_create(x, y, width, height, attributes);
}
int plWindowDestroy(plWindow *window) { return window ? backend->window_destroy(window) : -1; }
int plWindowShow(plWindow *window) { return window ? backend->window_show(window) : -1; }
int plWindowHide(plWindow *window) { return window ? backend->window_hide(window) : -1; }
int plWindowSetGroup(plWindow *window, intptr_t group) {
  return window ? backend->window_set_group(window, group) : -1;
}
int plWindowSetBounds(plWindow *window, int32_t x, int32_t y, int32_t width, int32_t height) {
  return window ? backend->window_set_bounds(window, x, y, width, height) : -1;
}
int plWindowGetBounds(plWindow *window, int32_t *x, int32_t *y, int32_t *width, int32_t *height) {
  if (!window || !x || !y || !width || !height) return -1;
  return backend->window_get_bounds(window, x, y, width, height);
}
int plWindowMoveStructure(plWindow *window, int32_t x, int32_t y) {
  return window ? backend->window_move_structure(window, x, y) : -1;
}
int plWindowSetTitle(plWindow *window, const char *latin2) {
  return window ? backend->window_set_title(window, plLatin2ToUtf8(latin2)) : -1;
}
std::string plWindowGetTitle(plWindow *window) { return window ? backend->window_get_title(window) : std::string(); }
int plWindowSetAlpha(plWindow *window, float alpha) {
  return window ? backend->window_set_alpha(window, alpha) : -1;
}
int plWindowChangeAttributes(plWindow *window, uint32_t set, uint32_t clear) {
  return window ? backend->window_change_attributes(window, set, clear) : -1;
}

int plWindowInstallHandler(plWindow *window, pl_handler_t handler, void *user) {
  if (!window) return -1;
  window->handler = handler;
  window->handler_user = user;
  return 0;
}

int plWindowInstallDropHandler(plWindow *window, pl_handler_t handler, void *user) {
  if (!window || backend->window_accepts_drops(window) != 0) return -1;
  window->drop_handler = handler;
  window->drop_user = user;
  return 0;
}

intptr_t plGlChoosePixelFormat() { return backend->gl_choose_pixel_format(); }
int plGlDestroyPixelFormat(intptr_t format) { return backend->gl_destroy_pixel_format(format); }
plContext *plGlCreateContext(plWindow *window, intptr_t format) {
  return window ? backend->gl_create_context(window, format) : nullptr;
}
int plGlDestroyContext(plContext *context) { return context ? backend->gl_destroy_context(context) : -1; }
int plGlMakeCurrent(plWindow *window, plContext *context) {
  return window ? backend->gl_make_current(window, context) : -1;
}
int plGlSwapBuffers(plWindow *window) { return window ? backend->gl_swap_buffers(window) : -1; }
int plGlSetFullScreen(plWindow *window, plContext *context) {
  return window ? backend->gl_set_full_screen(window, context) : -1;
}

int plDispatchEvent(double wait_seconds) {
  pl_event_t event;
  for (int i = 0; i < kMaxSkippedEvents; ++i) {
    if (!backend->next_event(i == 0 ? wait_seconds : 0.0, &event)) return 0;
    plWindow *window = event.window;
    if (!window) continue;
    if (event.cls == PL_CLASS_CONTROL) {
      if (!window->drop_handler) continue;
      window->drop_handler(&event, window->drop_user);
    } else {
      if (!window->handler) continue;
      window->handler(&event, window->handler_user);
    }
    return 1;
  }
  return 0;
}
