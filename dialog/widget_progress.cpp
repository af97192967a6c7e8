// PROGRESS: a bar of WIDTH x VALUE (a fraction, 0 to 1) with the
// percentage written over it. The bar is drawn with the value kept in
// 0..1; the text shows the value as it is. Its font comes only from a
// STYLE. It takes no input and never calls its callback.
//
// The text bitmap (512 x 64, "progress-<serial>" unless NAME says
// otherwise) belongs to the bar and is given to its texture at every draw.
// Its pixels follow from the text and the font alone (rendered in white on
// a cleared bitmap), so it is rendered again only when either changed: a
// large font rendered anew for every bar in every frame would make each
// frame of a short file take seconds.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dialog/widget.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"

namespace {

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  w->type = WIDGET_PROGRESS;
  w->depth = 1.0f;
  if (widget_serial_name(w, "progress-%d") != 0) return -1;
  w->style = widget_default_style(WIDGET_PROGRESS);
  if (widget_parse_attributes(w, count, names, values, 1) != 0) return -1;
  if (widget_text_bitmap(w, 512, 64) != 0) return -1;
  SYS_Log(1, "[widget][progress]  - new widget: %s (%d) : %d,%d %d,%d %f\n", w->cls->tag, w->type, w->x, w->y, w->x2,
          w->y2, double(w->depth));
  return 0;
}

void Draw(widget_item_t *w) {
  if (!widget_drawable(w)) return;
  const auto &gl = gl_stub_table;
  const int64_t x = w->x, Y = widget_gl_top(w), H = w->height;
  gl.glDisable(GL_TEXTURE_2D);
  gl.glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
  widget_draw_background(w);
  widget_draw_border(w);
  const int32_t b = widget_clamp_size(float(w->width) * std::clamp(w->value_f, 0.0f, 1.0f));
  gl.glColor4fv(&w->style.fgcolor.r);
  gl.glBegin(GL_QUADS);
  widget_vertex(x + 2, Y - 2);
  widget_vertex(x + 2, Y - H + 2);
  widget_vertex(x + b - 2, Y - H + 2);
  widget_vertex(x + b - 2, Y - 2);
  gl.glEnd();
  char text[16];
  snprintf(text, sizeof text, "%.1f%%", double(w->value_f) * 100.0);
  if (std::strcmp(text, w->drawn_text) != 0 || w->drawn_font != w->style.font) {
    widget_clear_bitmap(w);
    widget_render_plain(w, text);
    std::memcpy(w->drawn_text, text, sizeof text);
    w->drawn_font = w->style.font;
  }
  widget_register_text(w->name, w->bitmap, true);  // the first time registered just below
  SYS_ErrorClear();
  widget_draw_text(x + (int64_t(w->width) - w->text_width) / 2, Y - (H - w->text_height) / 2 - 2, w);
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  switch (e->type) {
    case WIDGET_MSG_DRAW:
      Draw(w);
      return 0;
    case WIDGET_MSG_DESTROY:
      widget_free_bitmap(w);
      if (w->name) SYS_MEMFREE(w->name);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

const widget_class_t widget_class_progress = {"PROGRESS", WIDGET_PROGRESS, Create, Handler};
