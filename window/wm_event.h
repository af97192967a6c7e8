// Window events as the window manager hands them to a window's callback:
// the event record, its parts, the key table and the event pump.
//
// One record per native event, zeroed before it is filled; type and
// window are always set, the part that matches the type is filled and the
// rest stays 0. Main thread only: callbacks run inside wmPumpEvents.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct wm_window_t;

// Event types.
enum : int32_t {
  WM_EVENT_NONE = -1,
  WM_EVENT_KEY = 0,
  WM_EVENT_MOUSE = 1,
  WM_EVENT_WINDOW = 2,
  WM_EVENT_REDRAW = 3,
  WM_EVENT_DROP = 4,
};

// Mouse kinds and button actions.
enum : int32_t {
  WM_MOUSE_ENTER_EXIT = 0,
  WM_MOUSE_MOTION = 10,
  WM_MOUSE_BUTTON = 11,  // also the wheel
  WM_BUTTON_LEFT_DOWN = 1,
  WM_BUTTON_RIGHT_DOWN = 2,
  WM_BUTTON_MIDDLE_DOWN = 3,
  WM_BUTTON_LEFT_UP = 4,
  WM_BUTTON_RIGHT_UP = 5,
  WM_BUTTON_MIDDLE_UP = 6,
};

// Key actions.
enum : int32_t {
  WM_KEY_PRESSED = 6,   // key down, key repeat, modifier pressed
  WM_KEY_RELEASED = 7,  // key up, modifier released
};

// Window actions.
enum : int32_t {
  WM_WINDOW_SHOWN = 1,        // shown or focus gained
  WM_WINDOW_HIDDEN = 2,       // hidden or focus lost
  WM_WINDOW_ACTIVATED = 3,
  WM_WINDOW_DEACTIVATED = 4,
  WM_WINDOW_CLOSE = 5,        // the user asks to close; nothing is destroyed
  WM_WINDOW_BOUNDS = 12,      // moved or resized
};

// Drop actions.
enum : int32_t {
  WM_DROP_ENTER = 0,
  WM_DROP_ITEM = 1,
  WM_DROP_LEAVE = 2,
};

// Framework key codes the program names (positions on a PC keyboard).
enum : uint32_t {
  WM_KEY_ESCAPE = 1,
  WM_KEY_HOME = 32,
  WM_KEY_PAGE_UP = 33,
  WM_KEY_RETURN = 51,
  WM_KEY_PAGE_DOWN = 54,
  WM_KEY_UP = 88,
  WM_KEY_ENTER = 92,
  WM_KEY_SPACE = 95,
  WM_KEY_LEFT = 98,
  WM_KEY_DOWN = 99,
  WM_KEY_RIGHT = 100,
  // From modifier changes only.
  WM_KEY_CAPS_LOCK = 59,
  WM_KEY_SHIFT = 106,
  WM_KEY_CONTROL = 107,
  WM_KEY_COMMAND = 108,
  WM_KEY_OPTION = 109,
};

struct wm_mouse_t {
  int32_t kind;
  int32_t action;
  int32_t left;      // held
  int32_t right;
  int32_t middle;
  int32_t wheel_up;  // delta >= 0
  int32_t wheel_down;
  int32_t x, y;      // window-local
  int32_t dx, dy;    // since the window's previous mouse event
};

struct wm_key_t {
  int32_t action;
  int32_t code;      // framework key code
  uint32_t text;     // first 4 bytes of the key's UTF-16 text
};

// Content area in desktop coordinates. Also the argument of wmParam
// codes 4, 13 and 14.
struct wm_conf_t {
  int32_t action;
  int32_t x, y;
  int32_t width, height;
};

struct wm_drop_t {
  int32_t action;
  int32_t length;     // bytes of path
  const char *path;   // UTF-8, valid only during the callback
};

struct wm_event_t {
  int32_t type;
  wm_window_t *window;
  wm_mouse_t mouse;
  wm_key_t key;
  wm_conf_t conf;
  wm_drop_t drop;
};
typedef wm_event_t *wm_event_p;

// The result is ignored.
typedef int32_t (*wm_callback_t)(wm_event_t *event);

constexpr int WM_KEY_TABLE_SIZE = 127;
// Virtual key code -> framework key code; 0 for a key without one.
extern const uint32_t wmKeyTable[WM_KEY_TABLE_SIZE];
// The table's answer for any native code, 0 beyond its end.
uint32_t wmKeyCode(uint32_t native_code);

// Dispatches at most one pending native event (waiting up to the event
// wait time of wmParam code 15), keeps the system awake, yields.
void wmPumpEvents();

// The handlers wmShowWindow installs; user is the window record. They
// return the desktop's status: 0 handled, WM_EVENT_NOT_HANDLED otherwise.
constexpr int32_t WM_EVENT_NOT_HANDLED = -9874;
int32_t wmEventHandler(const pl_event_t *event, void *user);
int32_t wmDropHandler(const pl_event_t *event, void *user);
