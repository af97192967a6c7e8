// The SDL2 back-end: the desktop's windows, OpenGL contexts, display modes
// and events through SDL, translated into the window manager's terms.
//
// Invariants kept here:
// - The OpenGL attributes are set once per video start, before the first
//   window (SDL reads them when it makes a window); every context is made
//   with sharing on, with a live context current, so all share textures.
// - An exact display mode is only stored by plDisplaySwitchMode; SDL gets
//   it when a window qualifies as full screen (shown, borderless, at the
//   screen-saver level, of the mode's size). Restoring leaves full screen.
// - Close requests arrive as events; no window is destroyed here unasked.
// - SDL's own SIGINT/SIGTERM handlers are off: an interrupt ends the
//   process as it would without SDL, instead of becoming a quit event that
//   nobody reads.
//
// Main thread only.
#include <SDL2/SDL.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "platform/backend.h"
#include "platform/test_hooks.h"

static_assert(PL_TEST_SHOWN == int{SDL_WINDOWEVENT_SHOWN} && PL_TEST_CLOSE == int{SDL_WINDOWEVENT_CLOSE} &&
                  PL_TEST_FOCUS_LOST == int{SDL_WINDOWEVENT_FOCUS_LOST} &&
                  PL_TEST_SIZE_CHANGED == int{SDL_WINDOWEVENT_SIZE_CHANGED},
              "test hook ids are SDL's window event ids");

namespace {

struct SdlState {
  std::vector<plWindow *> windows;
  std::vector<plContext *> contexts;
  std::map<intptr_t, int32_t> group_levels;
  intptr_t next_group = 1;
  bool attributes_set = false;
  bool quit_registered = false;
  bool mode_pending = false;
  pl_mode_t pending_mode{};
  uint32_t modifier_mask = 0;  // last mask reported in a modifier event
  std::string drop_path;       // path of the last dropped file
  uint16_t test_modifiers = 0; // modifier state of the test hooks
};

// Never destroyed: a window still open when the process ends (the message
// box's, hidden before the fatal exit frees the window records) is held
// here until the end, not dropped by a static destructor before the leak
// check at exit.
SdlState &State() {
  static SdlState &state = *new SdlState;
  return state;
}

SDL_Window *Native(const plWindow *window) { return static_cast<SDL_Window *>(window->native); }

plWindow *FindWindow(uint32_t id) {
  for (plWindow *w : State().windows)
    if (w->id == id) return w;
  return nullptr;
}

bool AtScreenSaverLevel(const plWindow *window) {
  auto it = State().group_levels.find(window->group);
  return it != State().group_levels.end() && it->second == PL_LEVEL_SCREEN_SAVER;
}

SDL_DisplayMode ToSdl(const pl_mode_t &mode) {
  SDL_DisplayMode m{};
  m.format = mode.native;
  m.w = mode.width;
  m.h = mode.height;
  m.refresh_rate = mode.refresh;
  return m;
}

pl_mode_t FromSdl(const SDL_DisplayMode &m) {
  return {m.w, m.h, static_cast<int32_t>(SDL_BYTESPERPIXEL(m.format)) * 8, m.refresh_rate, m.format};
}

void EnterFullScreen(plWindow *window, const pl_mode_t *mode) {
  if (mode) {
    SDL_DisplayMode m = ToSdl(*mode);
    SDL_SetWindowDisplayMode(Native(window), &m);
    SDL_SetWindowFullscreen(Native(window), SDL_WINDOW_FULLSCREEN);
  } else {
    SDL_SetWindowFullscreen(Native(window), SDL_WINDOW_FULLSCREEN_DESKTOP);
  }
  window->fullscreen = 1;
}

// The stored mode takes effect on the first window that qualifies.
void ApplyPendingMode(plWindow *window) {
  auto &state = State();
  if (!state.mode_pending || window->fullscreen || !window->visible) return;
  if (!(window->attributes & PL_ATTR_NO_TITLE_BAR) || !AtScreenSaverLevel(window)) return;
  int w = 0, h = 0;
  SDL_GetWindowSize(Native(window), &w, &h);
  if (w != state.pending_mode.width || h != state.pending_mode.height) return;
  EnterFullScreen(window, &state.pending_mode);
}

void ApplyAttributes(plWindow *window) {
  SDL_SetWindowBordered(Native(window), (window->attributes & PL_ATTR_NO_TITLE_BAR) ? SDL_FALSE : SDL_TRUE);
  SDL_SetWindowResizable(Native(window), (window->attributes & PL_ATTR_RESIZABLE) ? SDL_TRUE : SDL_FALSE);
}

int ProcessToFront() { return 0; }

intptr_t GroupCreate() {
  intptr_t group = State().next_group++;
  State().group_levels[group] = PL_LEVEL_NORMAL;
  return group;
}

int GroupSetLevel(intptr_t group, int32_t level) {
  State().group_levels[group] = level;
  for (plWindow *w : State().windows) {
    if (w->group != group) continue;
    SDL_SetWindowAlwaysOnTop(Native(w), level == PL_LEVEL_SCREEN_SAVER ? SDL_TRUE : SDL_FALSE);
    ApplyPendingMode(w);
  }
  return 0;
}

intptr_t MenuCreateWindowMenu() { return 1; }
int MenuBarShow() { return 0; }

int CursorShow(int visible) {
  return SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE) < 0 ? -1 : 0;
}

int KeepAwake() {
  SDL_DisableScreenSaver();
  return 0;
}

int FadeReserve(float) { return 0; }
int Fade(float, float, float, int) { return 0; }
int FadeRelease() { return 0; }

// With no display to reach, SDL falls back to a driver that shows
// nothing, and a dialog there waits for an answer nobody can give. Such a
// driver is only taken when SDL_VIDEODRIVER, a comma-separated list, names it.
bool ShowsNothingUnasked(const char *driver) {
  if (!driver) return true;
  if (strcasecmp(driver, "offscreen") != 0 && strcasecmp(driver, "dummy") != 0 &&
      strcasecmp(driver, "evdev") != 0)
    return false;
  const char *asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  for (const char *at = asked; at && *at;) {
    const size_t length = strcspn(at, ",");
    if (length == strlen(driver) && strncasecmp(at, driver, length) == 0) return false;
    at += length + (at[length] == ',');
  }
  return true;
}

int DisplayInit() {
  auto &state = State();
  if (SDL_WasInit(SDL_INIT_VIDEO)) return 0;
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return -1;
  if (ShowsNothingUnasked(SDL_GetCurrentVideoDriver())) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return -1;
  }
  if (!state.quit_registered) {
    atexit(SDL_Quit);
    state.quit_registered = true;
  }
  // Starting video resets SDL's OpenGL attributes.
  state.attributes_set = false;
  // Keys arrive as key events; text events would only fill the queue.
  SDL_StopTextInput();
  return 0;
}

int DisplayCurrentMode(pl_mode_t *mode) {
  SDL_DisplayMode m;
  if (SDL_GetDesktopDisplayMode(0, &m) != 0) return -1;
  *mode = FromSdl(m);
  return 0;
}

int32_t DisplayModeCount() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
  int n = SDL_GetNumDisplayModes(0);
  return n < 0 ? 0 : n;
}

int DisplayMode(int32_t index, pl_mode_t *mode) {
  SDL_DisplayMode m;
  if (SDL_GetDisplayMode(0, index, &m) != 0) return -1;
  *mode = FromSdl(m);
  return 0;
}

int DisplaySwitchMode(const pl_mode_t *mode) {
  auto &state = State();
  state.mode_pending = true;
  state.pending_mode = *mode;
  for (plWindow *w : state.windows) ApplyPendingMode(w);
  return 0;
}

int DisplayRestore() {
  auto &state = State();
  state.mode_pending = false;
  for (plWindow *w : state.windows) {
    if (!w->fullscreen) continue;
    SDL_SetWindowFullscreen(Native(w), 0);
    w->fullscreen = 0;
  }
  return 0;
}

// SDL cannot name the renderer or its memory before a context exists.
int RendererInfo(pl_renderer_t *info) {
  *info = {};
  return 0;
}

plWindow *WindowCreate(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t attributes) {
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  if (attributes & PL_ATTR_NO_TITLE_BAR) flags |= SDL_WINDOW_BORDERLESS;
  if (attributes & PL_ATTR_RESIZABLE) flags |= SDL_WINDOW_RESIZABLE;
  SDL_Window *native = SDL_CreateWindow("", x, y, width, height, flags);
  if (!native) return nullptr;
  auto *window = new plWindow{};
  window->native = native;
  window->id = SDL_GetWindowID(native);
  window->attributes = attributes;
  window->alpha = 1.0f;
  State().windows.push_back(window);
  return window;
}

int WindowDestroy(plWindow *window) {
  auto &w = State().windows;
  w.erase(std::remove(w.begin(), w.end(), window), w.end());
  // A context may outlive its window: it forgets the window, which is
  // never made current again through it.
  for (plContext *c : State().contexts)
    if (c->window == window) c->window = nullptr;
  SDL_DestroyWindow(Native(window));
  delete window;
  return 0;
}

int WindowShow(plWindow *window) {
  SDL_ShowWindow(Native(window));
  SDL_RaiseWindow(Native(window));
  window->visible = 1;
  ApplyPendingMode(window);
  return 0;
}

int WindowHide(plWindow *window) {
  SDL_HideWindow(Native(window));
  window->visible = 0;
  return 0;
}

int WindowSetGroup(plWindow *window, intptr_t group) {
  window->group = group;
  SDL_SetWindowAlwaysOnTop(Native(window), AtScreenSaverLevel(window) ? SDL_TRUE : SDL_FALSE);
  return 0;
}

int WindowSetBounds(plWindow *window, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return -1;
  SDL_SetWindowPosition(Native(window), x, y);
  SDL_SetWindowSize(Native(window), width, height);
  ApplyPendingMode(window);
  return 0;
}

int WindowGetBounds(plWindow *window, int32_t *x, int32_t *y, int32_t *width, int32_t *height) {
  int px = 0, py = 0, w = 0, h = 0;
  SDL_GetWindowPosition(Native(window), &px, &py);
  SDL_GetWindowSize(Native(window), &w, &h);
  *x = px;
  *y = py;
  *width = w;
  *height = h;
  return 0;
}

int WindowMoveStructure(plWindow *window, int32_t x, int32_t y) {
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(Native(window), &top, &left, &bottom, &right) != 0) top = left = 0;
  SDL_SetWindowPosition(Native(window), x + left, y + top);
  return 0;
}

int WindowSetTitle(plWindow *window, const std::string &utf8) {
  window->title = utf8;
  SDL_SetWindowTitle(Native(window), utf8.c_str());
  return 0;
}

std::string WindowGetTitle(plWindow *window) { return SDL_GetWindowTitle(Native(window)); }

int WindowSetAlpha(plWindow *window, float alpha) {
  window->alpha = alpha;
  // Without a compositor the desktop cannot blend windows; that is no error.
  SDL_SetWindowOpacity(Native(window), std::clamp(alpha, 0.0f, 1.0f));
  return 0;
}

int WindowChangeAttributes(plWindow *window, uint32_t set, uint32_t clear) {
  window->attributes = (window->attributes | set) & ~clear;
  ApplyAttributes(window);
  ApplyPendingMode(window);
  return 0;
}

int WindowAcceptsDrops(plWindow *) {
  SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
  SDL_EventState(SDL_DROPBEGIN, SDL_ENABLE);
  SDL_EventState(SDL_DROPCOMPLETE, SDL_ENABLE);
  return 0;
}

intptr_t GlChoosePixelFormat() {
  auto &state = State();
  if (!state.attributes_set) {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
    state.attributes_set = true;
  }
  return 1;
}

int GlDestroyPixelFormat(intptr_t) { return 0; }

plContext *GlCreateContext(plWindow *window, intptr_t) {
  auto &state = State();
  // Sharing follows the current context; keep one current so a new
  // context joins the group even after the last current one went away.
  if (!SDL_GL_GetCurrentContext()) {
    for (plContext *root : state.contexts) {
      if (!root->window) continue;
      SDL_GL_MakeCurrent(Native(root->window), root->native);
      break;
    }
  }
  SDL_GLContext gl = SDL_GL_CreateContext(Native(window));
  if (!gl) return nullptr;
  auto *context = new plContext{gl, window};
  state.contexts.push_back(context);
  return context;
}

int GlDestroyContext(plContext *context) {
  auto &c = State().contexts;
  c.erase(std::remove(c.begin(), c.end(), context), c.end());
  if (SDL_GL_GetCurrentContext() == context->native)
    SDL_GL_MakeCurrent(context->window ? Native(context->window) : nullptr, nullptr);
  SDL_GL_DeleteContext(context->native);
  delete context;
  return 0;
}

int GlMakeCurrent(plWindow *window, plContext *context) {
  return SDL_GL_MakeCurrent(Native(window), context ? context->native : nullptr) == 0 ? 0 : -1;
}

int GlSwapBuffers(plWindow *window) {
  SDL_GL_SwapWindow(Native(window));
  return 0;
}

int GlSetFullScreen(plWindow *window, plContext *) {
  auto &state = State();
  EnterFullScreen(window, state.mode_pending ? &state.pending_mode : nullptr);
  return 0;
}

uint32_t MaskOf(uint16_t mod) {
  uint32_t mask = 0;
  if (mod & KMOD_GUI) mask |= PL_MOD_COMMAND;
  if (mod & KMOD_SHIFT) mask |= PL_MOD_SHIFT;
  if (mod & KMOD_CAPS) mask |= PL_MOD_CAPS_LOCK;
  if (mod & KMOD_ALT) mask |= PL_MOD_OPTION;
  if (mod & KMOD_CTRL) mask |= PL_MOD_CONTROL;
  return mask;
}

uint16_t ModifierOf(SDL_Scancode scancode) {
  switch (scancode) {
    case SDL_SCANCODE_LSHIFT: return KMOD_LSHIFT;
    case SDL_SCANCODE_RSHIFT: return KMOD_RSHIFT;
    case SDL_SCANCODE_LCTRL: return KMOD_LCTRL;
    case SDL_SCANCODE_RCTRL: return KMOD_RCTRL;
    case SDL_SCANCODE_LALT: return KMOD_LALT;
    case SDL_SCANCODE_RALT: return KMOD_RALT;
    case SDL_SCANCODE_LGUI: return KMOD_LGUI;
    case SDL_SCANCODE_RGUI: return KMOD_RGUI;
    case SDL_SCANCODE_CAPSLOCK: return KMOD_CAPS;
    default: return 0;
  }
}

// The key's text as the desktop gives it: one UTF-16 unit for keys that
// type a character of the basic plane, upper case with shift or caps lock.
void KeyText(const SDL_Keysym &keysym, uint8_t text[4]) {
  std::memset(text, 0, 4);
  SDL_Keycode sym = keysym.sym;
  if ((sym & SDLK_SCANCODE_MASK) || sym <= 0 || sym > 0xFFFF) return;
  bool upper = (keysym.mod & KMOD_SHIFT) != 0 ? (keysym.mod & KMOD_CAPS) == 0 : (keysym.mod & KMOD_CAPS) != 0;
  if (upper && sym >= 'a' && sym <= 'z') sym -= 'a' - 'A';
  uint16_t unit = static_cast<uint16_t>(sym);
  std::memcpy(text, &unit, sizeof unit);
}

bool TranslateKey(const SDL_KeyboardEvent &key, pl_event_t *event) {
  auto &state = State();
  event->cls = PL_CLASS_KEYBOARD;
  event->key_code = plVirtualKeyForScancode(key.keysym.scancode);
  if (ModifierOf(key.keysym.scancode)) {
    // Modifier keys report the new mask, and only when it changed.
    uint32_t mask = MaskOf(key.keysym.mod);
    if (mask == state.modifier_mask) return false;
    state.modifier_mask = mask;
    event->kind = PL_KEY_MODIFIERS;
    event->modifiers = mask;
    return true;
  }
  if (key.type == SDL_KEYUP)
    event->kind = PL_KEY_UP;
  else
    event->kind = key.repeat ? PL_KEY_REPEAT : PL_KEY_DOWN;
  KeyText(key.keysym, event->key_text);
  return true;
}

bool TranslateWindowEvent(const SDL_WindowEvent &we, pl_event_t *event) {
  event->cls = PL_CLASS_WINDOW;
  switch (we.event) {
    case SDL_WINDOWEVENT_SHOWN: event->kind = PL_WINDOW_SHOWN; return true;
    case SDL_WINDOWEVENT_HIDDEN: event->kind = PL_WINDOW_HIDDEN; return true;
    case SDL_WINDOWEVENT_EXPOSED: event->kind = PL_WINDOW_DRAW_CONTENT; return true;
    // SDL reports one size change twice (RESIZED, SIZE_CHANGED); only the
    // second comes for every change, so it alone stands for the bounds.
    case SDL_WINDOWEVENT_MOVED:
    case SDL_WINDOWEVENT_SIZE_CHANGED: event->kind = PL_WINDOW_BOUNDS_CHANGED; return true;
    case SDL_WINDOWEVENT_FOCUS_GAINED: event->kind = PL_WINDOW_FOCUS_ACQUIRED; return true;
    case SDL_WINDOWEVENT_FOCUS_LOST: event->kind = PL_WINDOW_FOCUS_RELINQUISH; return true;
    case SDL_WINDOWEVENT_CLOSE: event->kind = PL_WINDOW_CLOSED; return true;
    case SDL_WINDOWEVENT_ENTER:
    case SDL_WINDOWEVENT_LEAVE:
      event->cls = PL_CLASS_MOUSE;
      event->kind = we.event == SDL_WINDOWEVENT_ENTER ? PL_MOUSE_ENTERED : PL_MOUSE_EXITED;
      SDL_GetMouseState(&event->x, &event->y);
      return true;
    default: return false;
  }
}

// SDL numbers the middle button 2 and the right 3; the desktop the other way.
int32_t DesktopButton(uint8_t button) {
  switch (button) {
    case SDL_BUTTON_LEFT: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    case SDL_BUTTON_MIDDLE: return 3;
    default: return button;
  }
}

// Fills event for a native event of a known window; false for the rest.
bool Translate(SDL_Event &e, pl_event_t *event) {
  auto &state = State();
  *event = {};
  event->key_code = PL_KEY_NONE;
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      event->window = FindWindow(e.key.windowID);
      return event->window && TranslateKey(e.key, event);
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      event->window = FindWindow(e.button.windowID);
      event->cls = PL_CLASS_MOUSE;
      event->kind = e.type == SDL_MOUSEBUTTONDOWN ? PL_MOUSE_DOWN : PL_MOUSE_UP;
      event->button = DesktopButton(e.button.button);
      event->x = e.button.x;
      event->y = e.button.y;
      return event->window != nullptr;
    case SDL_MOUSEMOTION:
      event->window = FindWindow(e.motion.windowID);
      event->cls = PL_CLASS_MOUSE;
      event->kind = e.motion.state ? PL_MOUSE_DRAGGED : PL_MOUSE_MOVED;
      event->x = e.motion.x;
      event->y = e.motion.y;
      return event->window != nullptr;
    case SDL_MOUSEWHEEL: {
      event->window = FindWindow(e.wheel.windowID);
      event->cls = PL_CLASS_MOUSE;
      event->kind = PL_MOUSE_WHEEL;
      int32_t delta = e.wheel.y != 0 ? e.wheel.y : e.wheel.x;
      if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) delta = -delta;
      event->wheel = delta;
      event->x = e.wheel.mouseX;
      event->y = e.wheel.mouseY;
      return event->window != nullptr;
    }
    case SDL_WINDOWEVENT:
      event->window = FindWindow(e.window.windowID);
      return event->window && TranslateWindowEvent(e.window, event);
    case SDL_DROPBEGIN:
    case SDL_DROPCOMPLETE:
      event->window = FindWindow(e.drop.windowID);
      event->cls = PL_CLASS_CONTROL;
      event->kind = e.type == SDL_DROPBEGIN ? PL_DRAG_ENTER : PL_DRAG_LEAVE;
      return event->window != nullptr;
    case SDL_DROPFILE:
      event->window = FindWindow(e.drop.windowID);
      state.drop_path = e.drop.file ? e.drop.file : "";
      SDL_free(e.drop.file);
      e.drop.file = nullptr;
      event->cls = PL_CLASS_CONTROL;
      event->kind = PL_DRAG_RECEIVE;
      event->path = state.drop_path.c_str();
      return event->window != nullptr;
    case SDL_DROPTEXT:
      SDL_free(e.drop.file);
      return false;
    default:
      return false;
  }
}

// SDL counts its wait in int milliseconds.
constexpr double kLongestWaitMs = 2147483647.0;

int NextEvent(double wait_seconds, pl_event_t *event) {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
  SDL_Event e;
  bool first = true;
  for (;;) {
    int got;
    if (first && wait_seconds > 0.0)
      got = SDL_WaitEventTimeout(&e, static_cast<int>(std::min(wait_seconds * 1000.0, kLongestWaitMs)));
    else
      got = SDL_PollEvent(&e);
    first = false;
    if (!got) return 0;
    if (Translate(e, event)) return 1;
  }
}

int32_t WindowCount() { return static_cast<int32_t>(State().windows.size()); }

int Push(SDL_Event &e) { return SDL_PushEvent(&e) == 1 ? 0 : -1; }

}  // namespace

const pl_backend_t pl_sdl_backend = {"sdl", PL_BACKEND_OPERATIONS};

int plTestPushKey(plWindow *window, int32_t scancode, int down, int repeat) {
  if (!window || scancode < 0 || scancode >= SDL_NUM_SCANCODES) return -1;
  auto &state = State();
  auto sc = static_cast<SDL_Scancode>(scancode);
  if (uint16_t bit = ModifierOf(sc)) {
    if (bit == KMOD_CAPS) {
      if (down && !repeat) state.test_modifiers ^= KMOD_CAPS;
    } else if (down) {
      state.test_modifiers |= bit;
    } else {
      state.test_modifiers &= static_cast<uint16_t>(~bit);
    }
  }
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.windowID = window->id;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.repeat = repeat ? 1 : 0;
  e.key.keysym.scancode = sc;
  e.key.keysym.sym = SDL_GetKeyFromScancode(sc);
  e.key.keysym.mod = state.test_modifiers;
  return Push(e);
}

int plTestPushMouseButton(plWindow *window, int32_t button, int down, int32_t x, int32_t y) {
  if (!window) return -1;
  SDL_Event e{};
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.windowID = window->id;
  e.button.button = static_cast<uint8_t>(button);
  e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = 1;
  e.button.x = x;
  e.button.y = y;
  return Push(e);
}

int plTestPushMouseMotion(plWindow *window, int32_t x, int32_t y, int buttons_held) {
  if (!window) return -1;
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = window->id;
  e.motion.state = buttons_held ? SDL_BUTTON_LMASK : 0;
  e.motion.x = x;
  e.motion.y = y;
  return Push(e);
}

int plTestPushWheel(plWindow *window, int32_t delta, int32_t x, int32_t y) {
  if (!window) return -1;
  SDL_Event e{};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.windowID = window->id;
  e.wheel.y = delta;
  e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  e.wheel.mouseX = x;
  e.wheel.mouseY = y;
  return Push(e);
}

int plTestPushWindowEvent(plWindow *window, int32_t event, int32_t data1, int32_t data2) {
  if (!window) return -1;
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = window->id;
  e.window.event = static_cast<uint8_t>(event);
  e.window.data1 = data1;
  e.window.data2 = data2;
  return Push(e);
}

int plTestPushDrop(plWindow *window, const char *path) {
  if (!window || !path) return -1;
  SDL_Event e{};
  e.type = SDL_DROPBEGIN;
  e.drop.windowID = window->id;
  if (Push(e) != 0) return -1;
  e.type = SDL_DROPFILE;
  e.drop.file = SDL_strdup(path);
  if (Push(e) != 0) {
    SDL_free(e.drop.file);
    return -1;
  }
  e.type = SDL_DROPCOMPLETE;
  e.drop.file = nullptr;
  return Push(e);
}

void plTestResetModifiers() {
  State().test_modifiers = 0;
  State().modifier_mask = 0;
}
