// The platform wall: the few plain functions through which the window
// manager reaches the desktop (windows, OpenGL contexts, events, display
// modes, cursor). They speak the window manager's own terms: window
// attribute bits, event classes and kinds, modifier masks and virtual key
// codes are those of the Mac desktop the window manager was written for,
// so the code above this wall reads the same as on that desktop.
//
// Two back-ends serve the calls: SDL2 for real use, and a recording fake
// that keeps every call as one text line and dispatches events a test
// queued (platform/fake.h). plSetBackend switches between them while no
// window exists. Nothing outside this folder includes SDL; nothing inside
// it knows about the demo or the framework.
//
// Invariants: a native window exists from plWindowCreate to
// plWindowDestroy; handlers are called only from plDispatchEvent, on the
// caller's thread; a close request is only ever delivered as an event,
// nothing is destroyed behind the caller's back. Every OpenGL context made
// here lives in one share group, so textures made in one are seen by all.
//
// Threads: main thread only; nothing is locked.
#pragma once

#include <cstdint>
#include <string>

struct plWindow;
struct plContext;

enum : int32_t {
  PL_BACKEND_SDL = 0,
  PL_BACKEND_FAKE = 1,
};

// Window attribute bits (the desktop's own numbering).
enum : uint32_t {
  PL_ATTR_CLOSE_BOX = 1u << 0,
  PL_ATTR_HORIZONTAL_ZOOM = 1u << 1,
  PL_ATTR_VERTICAL_ZOOM = 1u << 2,
  PL_ATTR_COLLAPSE_BOX = 1u << 3,
  PL_ATTR_RESIZABLE = 1u << 4,
  PL_ATTR_NO_TITLE_BAR = 1u << 9,
  PL_ATTR_STANDARD_HANDLER = 1u << 25,
  PL_ATTR_LIVE_RESIZE = 1u << 28,
};

// Window group levels.
enum : int32_t {
  PL_LEVEL_NORMAL = 4,
  PL_LEVEL_SCREEN_SAVER = 13,
};

// Event classes; kinds within a class keep the desktop's numbers.
enum : int32_t {
  PL_CLASS_MOUSE = 1,
  PL_CLASS_KEYBOARD = 2,
  PL_CLASS_WINDOW = 3,
  PL_CLASS_COMMAND = 4,
  PL_CLASS_CONTROL = 5,  // drag and drop on a window's content
};

enum : int32_t {
  // mouse
  PL_MOUSE_DOWN = 1,
  PL_MOUSE_UP = 2,
  PL_MOUSE_MOVED = 5,
  PL_MOUSE_DRAGGED = 6,
  PL_MOUSE_ENTERED = 8,
  PL_MOUSE_EXITED = 9,
  PL_MOUSE_WHEEL = 10,
  // keyboard
  PL_KEY_DOWN = 1,
  PL_KEY_REPEAT = 2,
  PL_KEY_UP = 3,
  PL_KEY_MODIFIERS = 4,
  // window
  PL_WINDOW_UPDATE = 1,
  PL_WINDOW_DRAW_CONTENT = 2,
  PL_WINDOW_ACTIVATED = 5,
  PL_WINDOW_DEACTIVATED = 6,
  PL_WINDOW_SHOWING = 22,
  PL_WINDOW_SHOWN = 24,
  PL_WINDOW_HIDDEN = 25,
  PL_WINDOW_BOUNDS_CHANGING = 26,
  PL_WINDOW_BOUNDS_CHANGED = 27,
  PL_WINDOW_RESIZE_STARTED = 28,
  PL_WINDOW_RESIZE_COMPLETED = 29,
  PL_WINDOW_CLOSED = 73,
  PL_WINDOW_FOCUS_ACQUIRED = 200,
  PL_WINDOW_FOCUS_RELINQUISH = 201,
  // control (drag and drop)
  PL_DRAG_ENTER = 18,
  PL_DRAG_LEAVE = 20,
  PL_DRAG_RECEIVE = 21,
};

// Modifier mask bits of keyboard kind PL_KEY_MODIFIERS. Left and right
// keys of a pair share one bit.
enum : uint32_t {
  PL_MOD_COMMAND = 0x100,
  PL_MOD_SHIFT = 0x200,
  PL_MOD_CAPS_LOCK = 0x400,
  PL_MOD_OPTION = 0x800,
  PL_MOD_CONTROL = 0x1000,
};

// Virtual key code of a key that has none on the Mac keyboard; beyond
// every table indexed by virtual key codes.
constexpr uint32_t PL_KEY_NONE = 0xFFFF;

// Mouse buttons: 1 left, 2 right, 3 middle, 4 and 5 the side buttons.
struct pl_event_t {
  int32_t cls;
  int32_t kind;
  plWindow *window;
  int32_t x, y;            // mouse position, window-local pixels
  int32_t button;
  int32_t wheel;           // wheel delta, positive away from the user
  uint32_t key_code;       // virtual key code, or PL_KEY_NONE
  uint8_t key_text[4];     // first 4 bytes of the key's UTF-16 text
  uint32_t modifiers;      // PL_MOD_* mask after the change (PL_KEY_MODIFIERS)
  const char *path;        // dropped file, UTF-8; valid during the dispatch
};

// Return value is the handler's status; the platform ignores it.
typedef int32_t (*pl_handler_t)(const pl_event_t *event, void *user);

// One display mode. native is the back-end's own pixel format word.
struct pl_mode_t {
  int32_t width;
  int32_t height;
  int32_t bits;      // bytes per pixel * 8
  int32_t refresh;   // hertz, 0 when unknown
  uint32_t native;
};

struct pl_renderer_t {
  uint32_t id;              // 0 when the renderer cannot tell
  int64_t video_memory;     // bytes
  int64_t texture_memory;   // bytes
};

int plSetBackend(int32_t backend);  // -1 while a window exists
int32_t plGetBackend();

// Process, menus, window groups, fades: bookkeeping only, nothing drawn.
int plProcessToFront();
intptr_t plMainDisplay();
intptr_t plGroupCreate();
int plGroupSetLevel(intptr_t group, int32_t level);
intptr_t plMenuCreateWindowMenu();
int plMenuBarShow();
int plCursorShow(int visible);
int plKeepAwake();
int plFadeReserve(float seconds);  // 0 when the reservation is granted
int plFade(float seconds, float from, float to, int synchronous);
int plFadeRelease();

// Display. plDisplayInit starts the video service (once; SDL_Quit runs at
// process exit). plDisplaySwitchMode stores an exact mode; it takes effect
// on a full-screen window of that size (borderless, screen-saver level,
// shown) as soon as one exists. plDisplayRestore leaves full screen and
// forgets the stored mode.
int plDisplayInit();
int plDisplayCurrentMode(pl_mode_t *mode);
int32_t plDisplayModeCount();
int plDisplayMode(int32_t index, pl_mode_t *mode);
int plDisplaySwitchMode(const pl_mode_t *mode);
int plDisplayRestore();
int plRendererInfo(pl_renderer_t *info);

// Windows. Geometry is the content area in desktop coordinates.
plWindow *plWindowCreate(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t attributes);
int plWindowDestroy(plWindow *window);
int plWindowShow(plWindow *window);  // show, activate, bring to front
int plWindowHide(plWindow *window);
int plWindowSetGroup(plWindow *window, intptr_t group);
int plWindowSetBounds(plWindow *window, int32_t x, int32_t y, int32_t width, int32_t height);
int plWindowGetBounds(plWindow *window, int32_t *x, int32_t *y, int32_t *width, int32_t *height);
int plWindowMoveStructure(plWindow *window, int32_t x, int32_t y);  // frame's top left
int plWindowSetTitle(plWindow *window, const char *latin2);
std::string plWindowGetTitle(plWindow *window);  // UTF-8
int plWindowSetAlpha(plWindow *window, float alpha);
int plWindowChangeAttributes(plWindow *window, uint32_t set, uint32_t clear);
// One handler per window; installing again replaces it, so no event is
// delivered twice. The drop handler gets the control class; -1 when the
// window cannot take drops.
int plWindowInstallHandler(plWindow *window, pl_handler_t handler, void *user);
int plWindowInstallDropHandler(plWindow *window, pl_handler_t handler, void *user);

// OpenGL. plGlChoosePixelFormat sets the context attributes the first time
// (double buffer, RGBA 8 bits each, depth 24, stencil 8, compatibility
// profile) and must precede the window's creation. No swap interval is
// ever set.
intptr_t plGlChoosePixelFormat();
int plGlDestroyPixelFormat(intptr_t format);
plContext *plGlCreateContext(plWindow *window, intptr_t format);
int plGlDestroyContext(plContext *context);
int plGlMakeCurrent(plWindow *window, plContext *context);
int plGlSwapBuffers(plWindow *window);
int plGlSetFullScreen(plWindow *window, plContext *context);

// Takes at most one event that a window has a handler for (waiting up to
// wait_seconds for one) and dispatches it; 1 when one was dispatched.
int plDispatchEvent(double wait_seconds);

// Latin-2 (ISO 8859-2) text to UTF-8.
std::string plLatin2ToUtf8(const char *text);

// Virtual key code of a USB HID usage (the SDL scancode), or PL_KEY_NONE.
uint32_t plVirtualKeyForScancode(int32_t scancode);
