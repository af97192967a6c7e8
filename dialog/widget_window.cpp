// WINDOW: the dialog's own window of the window manager, its clearing, the
// two-dimensional projection every other widget draws in (window pixels,
// origin bottom left) and an optional background picture stretched over
// it.
//
// The window record is made at create, the native window and its context
// at the first show. A window whose size is not positive, or whose side
// is larger than both the desktop's and 4096, is never made; a window
// whose native window or context cannot be made stays hidden and is never
// drawn, so the rest of the set keeps working without it.
#include <algorithm>

#include "dialog/widget.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"

namespace {

// The drawable of a window (colour buffers and depth) takes some twelve
// bytes a pixel, so a stated size of 16000 x 16000 would take gigabytes.
// A side may reach the desktop's, like the demo's own full-screen window,
// or this, whichever is larger: every dialog that fits a screen is made,
// and no file can make one take more than a full-screen window or about
// 200 MB, whichever is more.
constexpr int32_t kLargestSide = 4096;

int32_t Callback(widget_item_t *w, wm_event_t *e) {
  if (w->callback) w->callback(w, e);
  return 1;
}

bool Drawable(const widget_item_t *w) { return w->visible && w->window && w->window->context; }

void Draw(widget_item_t *w, wm_event_t *e) {
  const auto &gl = gl_stub_table;
  wmMakeCurrent(w->window);
  gl.glViewport(0, 0, w->width, w->height);
  const widget_color_t &bg = w->style.bgcolor;
  gl.glClearColor(bg.r, bg.g, bg.b, bg.a);
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl.glDisable(GL_LIGHTING);
  gl.glDisable(GL_TEXTURE_2D);
  gl.glDisable(GL_BLEND);
  gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  gl.glEnable(GL_LINE_SMOOTH);
  gl.glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
  gl.glLineWidth(1.0f);
  gl.glShadeModel(GL_SMOOTH);
  gl.glDisable(GL_DEPTH_TEST);
  const auto width = static_cast<int32_t>(wmParam(w->window, WM_WIDTH, 0));
  const auto height = static_cast<int32_t>(wmParam(w->window, WM_HEIGHT, 0));
  gl.glMatrixMode(GL_PROJECTION);
  gl.glLoadIdentity();
  gl.glOrtho(0, width, 0, height, -10, 10);
  gl.glMatrixMode(GL_MODELVIEW);
  gl.glLoadIdentity();
  if (w->bg) {
    gl.glEnable(GL_TEXTURE_2D);
    tmBind(w->bg);
    gl.glColor4fv(&w->style.fgcolor.r);
    // The picture's first row at the top of the window.
    gl.glBegin(GL_QUADS);
    gl.glTexCoord2f(0, 0);
    gl.glVertex2i(0, height);
    gl.glTexCoord2f(0, 1);
    gl.glVertex2i(0, 0);
    gl.glTexCoord2f(1, 1);
    gl.glVertex2i(width, 0);
    gl.glTexCoord2f(1, 0);
    gl.glVertex2i(width, height);
    gl.glEnd();
  }
  Callback(w, e);
}

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  w->type = WIDGET_WINDOW;
  const auto desktop_width = static_cast<int32_t>(wmParam(nullptr, WM_DESKTOP_WIDTH, 0));
  const auto desktop_height = static_cast<int32_t>(wmParam(nullptr, WM_DESKTOP_HEIGHT, 0));
  SYS_ErrorClear();
  w->x = w->y = -1;
  w->width = 640;
  w->height = 480;
  w->style = widget_default_style(WIDGET_WINDOW);
  if (widget_parse_attributes(w, count, names, values, 1) != 0) return -1;
  if (w->width <= 0 || w->height <= 0 || w->width > std::max(desktop_width, kLargestSide) ||
      w->height > std::max(desktop_height, kLargestSide)) {
    SYS_Log(1, "[widget][window]  ! bad window size: %dx%d\n", w->width, w->height);
    SYS_ErrorSet(10);
    return -1;
  }
  // Half of any difference of two 32-bit numbers is one.
  if (w->x == -1) w->x = int32_t((int64_t(desktop_width) - w->width) / 2);
  if (w->y == -1) w->y = int32_t((int64_t(desktop_height) - w->height) / 2);
  w->window = wmNewWindow(w->x, w->y, w->width, w->height);
  if (!w->window) return -1;
  if (w->title) wmParam(w->window, WM_TITLE, reinterpret_cast<intptr_t>(w->title));
  wmParam(w->window, WM_CALLBACK, reinterpret_cast<intptr_t>(&widget_window_event));
  wmParam(w->window, WM_RESIZABLE, w->resizable);
  wmParam(w->window, WM_DROP, w->drop);
  SYS_Log(1, "[widget][window]  - new widget: WINDOW (%d) : %d, %d %dx%d (%d)\n", w->id, w->x, w->y, w->width,
          w->height, w->fullscreen);
  return 0;
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  switch (e->type) {
    case WIDGET_MSG_KEY:
    case WIDGET_MSG_MOUSE:
    case WIDGET_MSG_DROP:
      return Callback(w, e);
    case WIDGET_MSG_WINDOW:
      if (e->conf.action == WM_WINDOW_ACTIVATED && w->window && w->window->context) wmMakeCurrent(w->window);
      return Callback(w, e);
    case WIDGET_MSG_SHOW:
      if (!w->visible || !w->window) return 0;
      SYS_Log(1, "[widget][window]  ! show window.\n");
      if (wmShowWindow(w->window) != 0) {
        const int32_t code = SYS_ErrorGet();
        SYS_Log(1, "[widget]  ! error in initialization: %s\n", w->cls->tag);
        w->visible = 0;
        SYS_ErrorSet(code);
        return 0;
      }
      if (w->bg) widget_load_picture(w->bg, w->filter);
      if (Drawable(w)) Draw(w, e);
      return 0;
    case WIDGET_MSG_DRAW:
      if (Drawable(w)) Draw(w, e);
      return 0;
    case WIDGET_MSG_HIDE:
      SYS_Log(1, "[widget][window]  ! hide window (%s).\n", w->title ? w->title : "");
      if (w->window) wmHideWindow(w->window);
      return 0;
    case WIDGET_MSG_DESTROY:
      if (w->window) wmDestroyWindow(w->window);
      w->window = nullptr;
      if (w->title) SYS_MEMFREE(w->title);
      if (w->bg) {
        widget_remove_picture(w->bg);
        SYS_MEMFREE(w->bg);
      }
      if (w->src) SYS_MEMFREE(w->src);
      if (w->name) SYS_MEMFREE(w->name);
      return 0;
    default:  // enable, disable, update
      return 0;
  }
}

}  // namespace

const widget_class_t widget_class_window = {"WINDOW", WIDGET_WINDOW, Create, Handler};
