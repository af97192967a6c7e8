// LABEL: a line of text on the label's background colour, drawn at its
// top-left corner. Its text bitmap has the label's size (1 to 4096 pixels
// each way) cut to what can be on screen at once (see VisibleSide), is
// registered with the texture manager under "label-<serial>" at show and
// re-rendered at every update; the label frees it at destroy. A label
// never calls its callback.
#include <algorithm>

#include "dialog/widget.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"

namespace {

constexpr int32_t kMaxSide = 4096;

// A label draws the top-left part of its bitmap that its text covers, at
// the label's place in its window, so no more of the bitmap than the
// window's size can be on screen at once; the window is never larger
// than the larger of the desktop and its own stated size. A side of the
// bitmap past that can never be seen, and cutting it keeps a file of large
// labels in a small window from taking 64 MB a label. (A label before the
// first WINDOW has no window and is bound by the desktop alone.)
int32_t VisibleSide(int32_t side, int32_t desktop, int32_t window) {
  return std::min(side, std::max({desktop, window, 1}));
}

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  w->type = WIDGET_LABEL;
  w->width = 256;
  w->height = 32;
  w->depth = 1.0f;
  w->style = widget_default_style(WIDGET_LABEL);
  if (widget_parse_attributes(w, count, names, values, 1) != 0) return -1;
  if (widget_resolve_font(w) != 0) {
    SYS_Log(1, "[widget][label]  ! font id not found.\n");
    return -1;
  }
  if (w->width < 1 || w->height < 1 || w->width > kMaxSide || w->height > kMaxSide) {
    SYS_Log(1, "[widget][label]  ! bad size: %dx%d\n", w->width, w->height);
    SYS_ErrorSet(10);
    return -1;
  }
  if (widget_serial_name(w, "label-%d") != 0) return -1;
  const auto desktop_width = static_cast<int32_t>(wmParam(nullptr, WM_DESKTOP_WIDTH, 0));
  const auto desktop_height = static_cast<int32_t>(wmParam(nullptr, WM_DESKTOP_HEIGHT, 0));
  SYS_ErrorClear();
  const wm_window_t *window = w->set_window;
  if (widget_text_bitmap(w, VisibleSide(w->width, desktop_width, window ? window->width : 0),
                         VisibleSide(w->height, desktop_height, window ? window->height : 0)) != 0)
    return -1;
  SYS_Log(1, "[widget][label]  - new widget: %s (%d) : %d, %d, %d %dx%d title: '%s'\n   - texture id: %s\n",
          w->cls->tag, w->type, w->x, w->y, w->serial, w->text_width, w->text_height, widget_log_text(w->title),
          w->name);
  return 0;
}

void Draw(widget_item_t *w) {
  if (!widget_drawable(w) || !w->bitmap) return;
  const auto &gl = gl_stub_table;
  const int64_t Y = widget_gl_top(w);
  gl.glEnable(GL_TEXTURE_2D);
  if (tmBind(w->name) != 0) {  // not registered: nothing to draw from
    SYS_ErrorClear();
    return;
  }
  gl.glEnable(GL_BLEND);
  gl.glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
  gl.glColor4fv(&w->style.color.r);
  widget_text_quad(w->x, Y, w);
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  switch (e->type) {
    case WIDGET_MSG_SHOW:
      if (!w->bitmap || !w->set_window || !w->set_window->context) return 0;
      widget_label_render(w);
      widget_register_text(w->name, w->bitmap, false);
      return 0;
    case WIDGET_MSG_UPDATE:
      if (!w->bitmap) return 0;
      widget_label_render(w);
      if (tmGetBitmap(w->name) == w->bitmap) tmReloadBitmap(w->name, w->bitmap);
      SYS_ErrorClear();
      return 0;
    case WIDGET_MSG_DRAW:
      Draw(w);
      return 0;
    case WIDGET_MSG_DESTROY:
      widget_free_bitmap(w);
      for (char **text : {&w->name, &w->title, &w->src, &w->bg})
        if (*text) SYS_MEMFREE(*text);
      return 0;
    default:  // a label takes no input
      return 0;
  }
}

}  // namespace

int32_t widget_label_render(widget_item_t *w) {
  if (!w || !w->bitmap) return -1;
  const widget_color_t &bg = w->style.bgcolor;
  widget_fill(w->bitmap->image[0], int32_t(w->bitmap->imagesize[0]), bg.r, bg.g, bg.b, bg.a);
  widget_tint_font(w);
  return widget_render_text(w, w->title);
}

const widget_class_t widget_class_label = {"LABEL", WIDGET_LABEL, Create, Handler};
