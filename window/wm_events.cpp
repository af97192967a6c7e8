// Event delivery: turns the platform's native events of a window into
// wm_event_t records and hands each to the window's callback; pumps one
// native event per call; maps virtual key codes to the framework's key
// codes; delivers files dropped on a window.
//
// The handlers also keep window state whether or not a callback is set:
// bounds from window events, held buttons and the last mouse position
// from mouse events. A window event that says the bounds changed sets the
// window's reset flag, and the next mouse event forgets every held button.
// Close requests are delivered as window action 5; nothing is destroyed.
//
// Main thread only: everything here runs inside wmPumpEvents.
#include "window/wm_event.h"

#include <sched.h>

#include <chrono>
#include <cstring>

#include "framework/log.h"
#include "window/wm.h"

// Virtual key code (the Mac keyboard's, by position) -> framework key
// code (positions on a PC keyboard); 0 for keys without a code.
const uint32_t wmKeyTable[WM_KEY_TABLE_SIZE] = {
    60,  61,  62,  63,  65,  64,  77,  78,   //   0 A S D F H G Z X
    79,  80,  0,   81,  39,  40,  41,  42,   //   8 C V section B Q W E R
    44,  43,  18,  19,  20,  21,  23,  22,   //  16 Y T 1 2 3 4 6 5
    29,  26,  24,  28,  25,  27,  50,  47,   //  24 = 9 7 - 8 0 ] O
    45,  49,  46,  48,  51,  68,  66,  70,   //  32 U [ I P Return L J '
    67,  69,  76,  84,  0,   82,  83,  0,    //  40 K ; \ , / N M .
    38,  95,  0,   30,  0,   1,   0,   0,    //  48 Tab Space ` Backspace - Escape rCmd Cmd
    0,   0,   0,   0,   17,  0,   0,   0,    //  56 Shift Caps Option Control rShift rOption rControl Fn
    0,   102, 0,   36,  0,   58,  0,   34,   //  64 F17 kp. - kp* - kp+ - kpClear
    0,   0,   0,   35,  92,  0,   37,  0,    //  72 VolUp VolDown Mute kp/ kpEnter - kp- F18
    0,   0,   101, 89,  90,  91,  72,  73,   //  80 F19 kp= kp0 kp1 kp2 kp3 kp4 kp5
    74,  55,  0,   56,  57,  0,   0,   0,    //  88 kp6 kp7 F20 kp8 kp9 Yen Underscore kp,
    6,   7,   9,   4,   0,   10,  0,   12,   //  96 F5 F6 F7 F3 F8 F9 Eisu F11
    0,   14,  0,   0,   0,   11,  105, 13,   // 104 Kana F13 F16 F14 - F10 Menu F12
    0,   0,   31,  32,  33,  52,  5,   53,   // 112 - F15 Help Home PgUp Del F4 End
    3,   54,  2,   98,  100, 99,  88,        // 120 F2 PgDn F1 Left Right Down Up
};

uint32_t wmKeyCode(uint32_t native_code) {
  return native_code < WM_KEY_TABLE_SIZE ? wmKeyTable[native_code] : 0;
}

namespace {

uint32_t saved_modifiers = 0;
bool kept_awake = false;
std::chrono::steady_clock::time_point last_keep_awake;

// How long the desktop may believe the user idle.
constexpr std::chrono::seconds kKeepAwakeEvery{30};

struct ModifierCode {
  uint32_t mask;
  int32_t code;
};

// A modifier change names its key by the one mask bit that changed; two
// bits at once name none.
constexpr ModifierCode kModifierCodes[] = {
    {PL_MOD_CAPS_LOCK, WM_KEY_CAPS_LOCK}, {PL_MOD_COMMAND, WM_KEY_COMMAND},
    {PL_MOD_SHIFT, WM_KEY_SHIFT},         {PL_MOD_OPTION, WM_KEY_OPTION},
    {PL_MOD_CONTROL, WM_KEY_CONTROL},
};

// The content area, into the record and the window.
void ReadBounds(wm_window_t *w, wm_event_t *e) {
  int32_t x = 0, y = 0, width = 0, height = 0;
  if (plWindowGetBounds(w->window, &x, &y, &width, &height) != 0) return;
  e->conf.x = w->x = x;
  e->conf.y = w->y = y;
  e->conf.width = w->width = width;
  e->conf.height = w->height = height;
}

void MouseEvent(const pl_event_t *ev, wm_window_t *w, wm_event_t *e) {
  wm_mouse_t &m = e->mouse;
  e->type = WM_EVENT_MOUSE;
  m.x = ev->x;
  m.y = ev->y;
  m.dx = m.x - w->last_x;
  m.dy = m.y - w->last_y;
  w->last_x = m.x;
  w->last_y = m.y;
  switch (ev->kind) {
    case PL_MOUSE_DOWN:
      m.kind = WM_MOUSE_BUTTON;
      if (ev->button == 1) {
        w->left = 1;
        m.action = WM_BUTTON_LEFT_DOWN;
      } else if (ev->button == 2) {
        w->right = 1;
        m.action = WM_BUTTON_RIGHT_DOWN;
      } else if (ev->button == 3) {
        w->middle = 1;
        m.action = WM_BUTTON_MIDDLE_DOWN;
      }
      break;
    case PL_MOUSE_UP:
      m.kind = WM_MOUSE_BUTTON;
      if (ev->button == 1) {
        w->left = 0;
        m.action = WM_BUTTON_LEFT_UP;
      } else if (ev->button == 2) {
        w->right = 0;
        m.action = WM_BUTTON_RIGHT_UP;
      } else if (ev->button == 3) {
        w->middle = 0;
        m.action = WM_BUTTON_MIDDLE_UP;
      }
      break;
    case PL_MOUSE_MOVED:
    case PL_MOUSE_DRAGGED:
      m.kind = WM_MOUSE_MOTION;
      break;
    case PL_MOUSE_ENTERED:
      SYS_Log(1, "[wm]  ! - mouse entered\n");
      break;
    case PL_MOUSE_EXITED:
      SYS_Log(1, "[wm]  ! - mouse exited\n");
      break;
    case PL_MOUSE_WHEEL:
      m.kind = WM_MOUSE_BUTTON;
      if (ev->wheel >= 0)
        m.wheel_up = 1;
      else
        m.wheel_down = 1;
      break;
    default:
      break;
  }
  if (w->reset) {
    w->left = w->middle = w->right = 0;
  } else {
    m.left = w->left;
    m.right = w->right;
    m.middle = w->middle;
  }
  w->reset = 0;
}

void WindowEvent(const pl_event_t *ev, wm_window_t *w, wm_event_t *e) {
  switch (ev->kind) {
    case PL_WINDOW_UPDATE:
    case PL_WINDOW_DRAW_CONTENT:
      e->type = WM_EVENT_REDRAW;
      ReadBounds(w, e);
      break;
    case PL_WINDOW_ACTIVATED:
      e->type = WM_EVENT_WINDOW;
      e->conf.action = WM_WINDOW_ACTIVATED;
      break;
    case PL_WINDOW_DEACTIVATED:
      e->type = WM_EVENT_WINDOW;
      e->conf.action = WM_WINDOW_DEACTIVATED;
      break;
    case PL_WINDOW_SHOWING:
    case PL_WINDOW_SHOWN:
    case PL_WINDOW_FOCUS_ACQUIRED:
      e->type = WM_EVENT_WINDOW;
      e->conf.action = WM_WINDOW_SHOWN;
      break;
    case PL_WINDOW_HIDDEN:
    case PL_WINDOW_FOCUS_RELINQUISH:
      e->type = WM_EVENT_WINDOW;
      e->conf.action = WM_WINDOW_HIDDEN;
      break;
    case PL_WINDOW_BOUNDS_CHANGED:
      w->reset = 1;
      [[fallthrough]];
    case PL_WINDOW_BOUNDS_CHANGING:
    case PL_WINDOW_RESIZE_STARTED:
      e->type = WM_EVENT_WINDOW;
      e->conf.action = WM_WINDOW_BOUNDS;
      ReadBounds(w, e);
      break;
    case PL_WINDOW_RESIZE_COMPLETED:
      w->reset = 1;
      break;
    case PL_WINDOW_CLOSED:
      e->type = WM_EVENT_WINDOW;
      e->conf.action = WM_WINDOW_CLOSE;
      break;
    default:
      SYS_Log(1, "[wm]  ! - unknown event: %d\n", ev->kind);
      break;
  }
}

void KeyEvent(const pl_event_t *ev, wm_event_t *e) {
  wm_key_t &k = e->key;
  e->type = WM_EVENT_KEY;
  switch (ev->kind) {
    case PL_KEY_UP: k.action = WM_KEY_RELEASED; break;
    case PL_KEY_DOWN:
    case PL_KEY_REPEAT: k.action = WM_KEY_PRESSED; break;
    case PL_KEY_MODIFIERS: break;
    default: return;  // delivered with action, code and text 0
  }
  k.code = static_cast<int32_t>(wmKeyCode(ev->key_code));
  std::memcpy(&k.text, ev->key_text, sizeof k.text);
  if (ev->kind != PL_KEY_MODIFIERS) return;
  uint32_t mask = ev->modifiers;
  k.action = mask > saved_modifiers ? WM_KEY_PRESSED : WM_KEY_RELEASED;
  uint32_t changed = mask > saved_modifiers ? mask - saved_modifiers : saved_modifiers - mask;
  k.code = 0;
  for (const ModifierCode &m : kModifierCodes)
    if (changed == m.mask) k.code = m.code;
  saved_modifiers = mask;
}

}  // namespace

int32_t wmEventHandler(const pl_event_t *event, void *user) {
  auto *window = static_cast<wm_window_t *>(user);
  if (!event || !window) return WM_EVENT_NOT_HANDLED;
  int32_t result = 0;
  wm_event_t e{};
  e.type = WM_EVENT_NONE;
  e.window = window;
  switch (event->cls) {
    case PL_CLASS_MOUSE: MouseEvent(event, window, &e); break;
    case PL_CLASS_WINDOW: WindowEvent(event, window, &e); break;
    case PL_CLASS_KEYBOARD: KeyEvent(event, &e); break;
    default: result = WM_EVENT_NOT_HANDLED; break;
  }
  if (window->callback && e.type != WM_EVENT_NONE) window->callback(&e);
  return result;
}

int32_t wmDropHandler(const pl_event_t *event, void *user) {
  auto *window = static_cast<wm_window_t *>(user);
  if (!event || !window || event->cls != PL_CLASS_CONTROL) return WM_EVENT_NOT_HANDLED;
  wm_event_t e{};
  e.type = WM_EVENT_DROP;
  e.window = window;
  switch (event->kind) {
    case PL_DRAG_ENTER: e.drop.action = WM_DROP_ENTER; break;
    case PL_DRAG_LEAVE: e.drop.action = WM_DROP_LEAVE; break;
    case PL_DRAG_RECEIVE:
      // An item whose path cannot be told is passed over.
      if (!event->path) return 0;
      e.drop.action = WM_DROP_ITEM;
      e.drop.length = static_cast<int32_t>(std::strlen(event->path));
      e.drop.path = event->path;
      break;
    default: return WM_EVENT_NOT_HANDLED;
  }
  if (window->callback) window->callback(&e);
  return 0;
}

void wmPumpEvents() {
  plDispatchEvent(wmEventWaitTime());
  auto now = std::chrono::steady_clock::now();
  if (!kept_awake || now - last_keep_awake >= kKeepAwakeEvery) {
    plKeepAwake();
    kept_awake = true;
    last_keep_awake = now;
  }
  sched_yield();
}
