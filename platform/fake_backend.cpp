// The recording fake back-end: every operation appends one line naming
// itself and its arguments to the call record and keeps just enough state
// (window geometry, attributes, the stored display mode) to answer later
// queries as a desktop would. Events come from a queue that tests fill.
// Windows are named "#<id>" in the record, ids counting from 1 after each
// plFakeReset.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <set>

#include "platform/backend.h"
#include "platform/fake.h"

namespace {

struct QueuedEvent {
  pl_event_t event;
  std::string path;
  bool has_path;
};

struct FakeState {
  std::vector<std::string> calls;
  std::deque<QueuedEvent> queue;
  std::string current_path;
  std::vector<plWindow *> windows;
  std::set<std::string> failing;
  pl_mode_t desktop{};
  std::vector<pl_mode_t> modes;
  pl_renderer_t renderer{};
  bool switched = false;
  pl_mode_t switched_mode{};
  bool cursor_visible = true;
  bool attributes_set = false;
  uint32_t next_id = 1;
  intptr_t next_handle = 1;
  int32_t give_up_after = 0;
  int32_t empty_waits = 0;

  FakeState() { Defaults(); }

  void Defaults() {
    desktop = {1024, 768, 32, 60, 0};
    modes = {{640, 480, 32, 60, 0}, {800, 600, 32, 60, 0}, {1024, 768, 32, 60, 0}};
    renderer = {};
    switched = false;
    cursor_visible = true;
  }
};

FakeState &State() {
  static FakeState state;
  return state;
}

__attribute__((format(printf, 1, 2))) void Record(const char *format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  State().calls.emplace_back(line);
}

bool Failing(const char *operation) { return State().failing.count(operation) != 0; }

bool Live(const plWindow *window) {
  auto &w = State().windows;
  return std::find(w.begin(), w.end(), window) != w.end();
}

int ProcessToFront() {
  Record("ProcessToFront");
  return 0;
}

intptr_t GroupCreate() {
  Record("GroupCreate");
  return State().next_handle++;
}

int GroupSetLevel(intptr_t group, int32_t level) {
  Record("GroupSetLevel %ld %d", static_cast<long>(group), level);
  return 0;
}

intptr_t MenuCreateWindowMenu() {
  Record("MenuCreateWindowMenu");
  return State().next_handle++;
}

int MenuBarShow() {
  Record("MenuBarShow");
  return 0;
}

int CursorShow(int visible) {
  Record("CursorShow %d", visible ? 1 : 0);
  State().cursor_visible = visible != 0;
  return 0;
}

int KeepAwake() {
  Record("KeepAwake");
  return 0;
}

int FadeReserve(float seconds) {
  Record("FadeReserve %g", seconds);
  return Failing("FadeReserve") ? -1 : 0;
}

int Fade(float seconds, float from, float to, int synchronous) {
  Record("Fade %g %g %g %s", seconds, from, to, synchronous ? "sync" : "async");
  return 0;
}

int FadeRelease() {
  Record("FadeRelease");
  return 0;
}

int DisplayInit() {
  Record("DisplayInit");
  return Failing("DisplayInit") ? -1 : 0;
}

int DisplayCurrentMode(pl_mode_t *mode) {
  Record("DisplayCurrentMode");
  *mode = State().desktop;
  return 0;
}

int32_t DisplayModeCount() { return static_cast<int32_t>(State().modes.size()); }

int DisplayMode(int32_t index, pl_mode_t *mode) {
  *mode = State().modes[static_cast<size_t>(index)];
  return 0;
}

int DisplaySwitchMode(const pl_mode_t *mode) {
  Record("DisplaySwitchMode %dx%dx%d@%d", mode->width, mode->height, mode->bits, mode->refresh);
  State().switched = true;
  State().switched_mode = *mode;
  return 0;
}

int DisplayRestore() {
  Record("DisplayRestore");
  State().switched = false;
  for (plWindow *w : State().windows) w->fullscreen = 0;
  return 0;
}

int RendererInfo(pl_renderer_t *info) {
  Record("RendererInfo");
  *info = State().renderer;
  return 0;
}

plWindow *WindowCreate(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t attributes) {
  Record("WindowCreate %d,%d %dx%d attrs=0x%08x", x, y, width, height, attributes);
  if (Failing("WindowCreate")) return nullptr;
  auto *window = new plWindow{};
  window->id = State().next_id++;
  window->attributes = attributes;
  window->x = x;
  window->y = y;
  window->width = width;
  window->height = height;
  window->alpha = 1.0f;
  State().windows.push_back(window);
  return window;
}

int WindowDestroy(plWindow *window) {
  Record("WindowDestroy #%u", window->id);
  auto &w = State().windows;
  w.erase(std::remove(w.begin(), w.end(), window), w.end());
  // Queued events of a destroyed window go with it, as on a desktop.
  auto &q = State().queue;
  q.erase(std::remove_if(q.begin(), q.end(),
                         [window](const QueuedEvent &e) { return e.event.window == window; }),
          q.end());
  delete window;
  return 0;
}

int WindowShow(plWindow *window) {
  Record("WindowShow #%u", window->id);
  window->visible = 1;
  return 0;
}

int WindowHide(plWindow *window) {
  Record("WindowHide #%u", window->id);
  window->visible = 0;
  return 0;
}

int WindowSetGroup(plWindow *window, intptr_t group) {
  Record("WindowSetGroup #%u %ld", window->id, static_cast<long>(group));
  window->group = group;
  return 0;
}

int WindowSetBounds(plWindow *window, int32_t x, int32_t y, int32_t width, int32_t height) {
  Record("WindowSetBounds #%u %d,%d %dx%d", window->id, x, y, width, height);
  window->x = x;
  window->y = y;
  window->width = width;
  window->height = height;
  return 0;
}

int WindowGetBounds(plWindow *window, int32_t *x, int32_t *y, int32_t *width, int32_t *height) {
  *x = window->x;
  *y = window->y;
  *width = window->width;
  *height = window->height;
  return 0;
}

int WindowMoveStructure(plWindow *window, int32_t x, int32_t y) {
  Record("WindowMoveStructure #%u %d,%d", window->id, x, y);
  window->x = x;
  window->y = y;
  return 0;
}

int WindowSetTitle(plWindow *window, const std::string &utf8) {
  Record("WindowSetTitle #%u %s", window->id, utf8.c_str());
  window->title = utf8;
  return 0;
}

std::string WindowGetTitle(plWindow *window) { return window->title; }

int WindowSetAlpha(plWindow *window, float alpha) {
  Record("WindowSetAlpha #%u %g", window->id, alpha);
  window->alpha = alpha;
  return 0;
}

int WindowChangeAttributes(plWindow *window, uint32_t set, uint32_t clear) {
  Record("WindowChangeAttributes #%u set=0x%08x clear=0x%08x", window->id, set, clear);
  window->attributes = (window->attributes | set) & ~clear;
  return 0;
}

int WindowAcceptsDrops(plWindow *window) {
  Record("WindowAcceptDrops #%u", window->id);
  return Failing("WindowAcceptDrops") ? -1 : 0;
}

intptr_t GlChoosePixelFormat() {
  if (!State().attributes_set) {
    Record("GlAttributes doublebuffer rgba8888 depth24 stencil8 compatibility shared");
    State().attributes_set = true;
  }
  Record("GlChoosePixelFormat");
  return 1;
}

int GlDestroyPixelFormat(intptr_t) {
  Record("GlDestroyPixelFormat");
  return 0;
}

plContext *GlCreateContext(plWindow *window, intptr_t) {
  Record("GlCreateContext #%u", window->id);
  if (Failing("GlCreateContext")) return nullptr;
  return new plContext{nullptr, window};
}

int GlDestroyContext(plContext *context) {
  Record("GlDestroyContext #%u", Live(context->window) ? context->window->id : 0u);
  delete context;
  return 0;
}

int GlMakeCurrent(plWindow *window, plContext *) {
  Record("GlMakeCurrent #%u", window->id);
  return 0;
}

int GlSwapBuffers(plWindow *window) {
  Record("GlSwapBuffers #%u", window->id);
  return 0;
}

int GlSetFullScreen(plWindow *window, plContext *) {
  Record("GlSetFullScreen #%u", window->id);
  window->fullscreen = 1;
  return 0;
}

int NextEvent(double, pl_event_t *event) {
  auto &state = State();
  while (!state.queue.empty()) {
    QueuedEvent queued = std::move(state.queue.front());
    state.queue.pop_front();
    if (!Live(queued.event.window)) continue;
    *event = queued.event;
    if (queued.has_path) {
      state.current_path = std::move(queued.path);
      event->path = state.current_path.c_str();
    } else {
      event->path = nullptr;
    }
    state.empty_waits = 0;
    return 1;
  }
  if (state.give_up_after > 0 && ++state.empty_waits >= state.give_up_after) {
    fprintf(stderr, "fake back-end: gave up after %d empty event waits\n", state.empty_waits);
    abort();
  }
  return 0;
}

int32_t WindowCount() { return static_cast<int32_t>(State().windows.size()); }

}  // namespace

const pl_backend_t pl_fake_backend = {"fake", PL_BACKEND_OPERATIONS};

void plFakeReset() {
  auto &state = State();
  state.calls.clear();
  state.queue.clear();
  state.current_path.clear();
  state.failing.clear();
  state.Defaults();
  state.attributes_set = false;
  state.next_id = 1;
  state.next_handle = 1;
  state.give_up_after = 0;
  state.empty_waits = 0;
}

void plFakeGiveUpAfter(int32_t empty_waits) {
  State().give_up_after = empty_waits;
  State().empty_waits = 0;
}

const std::vector<std::string> &plFakeCalls() { return State().calls; }

void plFakeClearCalls() { State().calls.clear(); }

std::vector<std::string> plFakeCallsStartingWith(const std::string &prefix) {
  std::vector<std::string> out;
  for (const auto &line : State().calls)
    if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
  return out;
}

void plFakePushEvent(const pl_event_t &event) {
  QueuedEvent queued{event, event.path ? std::string(event.path) : std::string(), event.path != nullptr};
  State().queue.push_back(std::move(queued));
}

void plFakeSetDisplay(const pl_mode_t &desktop, const std::vector<pl_mode_t> &modes) {
  State().desktop = desktop;
  State().modes = modes;
}

void plFakeSetRenderer(const pl_renderer_t &info) { State().renderer = info; }

void plFakeFail(const std::string &operation, bool fail) {
  if (fail)
    State().failing.insert(operation);
  else
    State().failing.erase(operation);
}

bool plFakeSwitchedMode(pl_mode_t *mode) {
  if (State().switched && mode) *mode = State().switched_mode;
  return State().switched;
}

bool plFakeCursorVisible() { return State().cursor_visible; }
