// Fuzzes widget files: a set loaded from the text in memory, shown, drawn,
// fed mouse, key and window events through the window manager on the
// recording back-end, hidden and unloaded, unless its own callback closed
// it on the way (at a call the input's length picks), after which nothing
// of it may call back. OpenGL is a table of entry points that do nothing,
// so no context is needed. The tracked heap must be as full afterwards as
// before: every text, font and list a set makes goes with it, whatever
// references its elements make to each other.
//
// The working folder holds the system's DejaVu fonts (linked) beside a
// few small pictures (cfglogo.tga, strip.tga, p.png), so the fonts the
// dialogs name are found and rendered and their pictures, backgrounds and
// image buttons decode.
//
// Input: the whole input, up to the first zero byte, is the widget file.
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dialog/font_renderer.h"
#include "dialog/widget.h"
#include "framework/memory.h"
#include "framework/sys.h"
#include "platform/fake.h"
#include "texture/formats.h"
#include "texture/loader.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"
#include "window/wm.h"

namespace {

// One entry point that does nothing and answers zero, per type.
template <typename F>
struct Quiet;
template <typename R, typename... A>
struct Quiet<R (*)(A...)> {
  static R Call(A...) {
    if constexpr (!std::is_void_v<R>) return R{};
  }
};

GLuint next_texture = 1;
void GenTextures(GLsizei n, GLuint *names) {
  for (GLsizei i = 0; i < n; ++i) names[i] = next_texture++;
}
void GetIntegerv(GLenum, GLint *out) { *out = 4; }

void QuietGl() {
#define GL_ENTRY(name, type) gl_stub_table.name = &Quiet<type>::Call;
#include "window/gl_stub_names.inc"
#undef GL_ENTRY
#define GL_ENTRY(name, type) glu_stub_table.name = &Quiet<type>::Call;
#include "window/glu_stub_names.inc"
#undef GL_ENTRY
  gl_stub_table.glGenTextures = GenTextures;
  gl_stub_table.glGetIntegerv = GetIntegerv;
}

namespace fs = std::filesystem;

fs::path g_folder;

void RemoveFolder() {
  std::error_code ignored;
  if (!g_folder.empty()) fs::remove_all(g_folder, ignored);
}

// A picture of the given size, written by the texture pipeline's own writer.
bool WritePicture(int32_t (*write)(const char *, pxBitmap), const fs::path &path, int width, int height) {
  pxBitmap picture = txCreateDummy(TX_LAYOUT_RGB, width, height);
  const bool written = picture && write(path.c_str(), picture) == 0;
  txFree(&picture);
  return written;
}

bool MakeFolder() {
  char name[] = "/tmp/widget_fuzz_XXXXXX";
  if (!mkdtemp(name)) return false;
  g_folder = name;
  atexit(RemoveFolder);
  std::error_code error;
  for (const auto &font : fs::directory_iterator("/usr/share/fonts/truetype/dejavu", error))
    fs::create_symlink(font.path(), g_folder / font.path().filename(), error);
  const bool written = WritePicture(tgaWrite, g_folder / "cfglogo.tga", 8, 4) &&
                       WritePicture(tgaWrite, g_folder / "strip.tga", 4, 16) &&
                       WritePicture(pngWrite, g_folder / "p.png", 4, 4);
  return written && chdir(name) == 0;
}

bool Start() {
  if (!MakeFolder()) return false;
  if (plSetBackend(PL_BACKEND_FAKE) != 0) return false;
  if (wmInit() != 0) return false;
  QuietGl();
  txInit(nullptr);
  tmInit();
  frInit();
  widget_init();
  return true;
}

void Push(plWindow *window, int32_t cls, int32_t kind, int32_t x, int32_t y, int32_t button) {
  pl_event_t e{};
  e.cls = cls;
  e.kind = kind;
  e.window = window;
  e.x = x;
  e.y = y;
  e.button = button;
  e.key_code = 53;  // Escape
  plFakePushEvent(e);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool started = Start();
  if (!started) abort();
  if (size > (1u << 16)) return 0;
  const std::string text(reinterpret_cast<const char *>(data), size);
  const size_t live = SYS_MemLiveCount();

  // The callback closes its own dialog at its n-th call, as an OK button
  // does, wherever that call comes from (a show, a draw, an event); n is
  // set by the input's length, and past 48 it never does.
  static SYS_List_p set;
  static size_t calls_left;
  static bool closed;
  set = widget_load(0, text.c_str());
  calls_left = size % 64;
  closed = false;
  if (set) {
    widget_set_callback_all(set, [](widget_item_t *w, wm_event_t *) {
      if (closed) abort();  // nothing of a closed dialog is heard from again
      if (calls_left > 48 || calls_left-- != 0) return int32_t{0};
      closed = widget_unload(set) == 0;
      // Until the walk ends, what is left of it may still be operated on
      // and closed again: no window call, and nothing kept (counted below).
      const size_t calls = plFakeCalls().size();
      for (widget_item_t *left : {w, widget_lookup_id(w, w->id), widget_first_of_type(set, WIDGET_WINDOW)}) {
        if (!left) continue;
        widget_set_title(left, "late");
        widget_clear_disabled(left);
        widget_send(left, WIDGET_MSG_DRAW);
      }
      if (widget_unload(set) != 0 || plFakeCalls().size() != calls) abort();
      return int32_t{0};
    });
    widget_show_set(set);
    widget_item_t *window = closed ? nullptr : widget_first_of_type(set, WIDGET_WINDOW);
    if (window && window->window && window->window->window) {
      plWindow *native = window->window->window;
      const int32_t points[][2] = {{-1, -1}, {0, 0}, {30, 140}, {200, 170}, {479, 399}, {5000, 5000}};
      for (const auto &p : points) {
        Push(native, PL_CLASS_MOUSE, PL_MOUSE_MOVED, p[0], p[1], 0);
        Push(native, PL_CLASS_MOUSE, PL_MOUSE_DOWN, p[0], p[1], 1);
        Push(native, PL_CLASS_MOUSE, PL_MOUSE_UP, p[0], p[1], 1);
      }
      Push(native, PL_CLASS_KEYBOARD, PL_KEY_DOWN, 0, 0, 0);
      Push(native, PL_CLASS_WINDOW, PL_WINDOW_ACTIVATED, 0, 0, 0);
      Push(native, PL_CLASS_WINDOW, PL_WINDOW_BOUNDS_CHANGED, 0, 0, 0);
      for (int i = 0; i < 24 && !closed; ++i) widget_process(set);
    }
  }
  if (set && !closed) {
    for (SYS_List_p node = set; node; node = node->next) {
      auto *w = static_cast<widget_item_t *>(node->data);
      widget_set_title(w, w->title ? w->title : "x");
      widget_disable(w);
      widget_enable(w);
    }
    widget_hide_set(set);
    widget_unload(set);
  }
  plFakeReset();
  // Faces stay registered until the renderer closes; start it afresh so
  // the count below sees only what the set itself made.
  frClose();
  frInit();
  if (SYS_MemLiveCount() != live) {
    fprintf(stderr, "widget set left %zu tracked blocks behind\n", SYS_MemLiveCount() - live);
    abort();
  }
  return 0;
}
