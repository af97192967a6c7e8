// LINE: one line from (X, Y) to (X2, Y2), DEPTH pixels wide, in the
// foreground colour.
#include "dialog/widget.h"
#include "framework/log.h"
#include "window/gl_stub.h"

namespace {

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  w->type = WIDGET_LINE;
  w->depth = 1.0f;
  w->style = widget_default_style(WIDGET_LINE);
  if (widget_parse_attributes(w, count, names, values, 1) != 0) return -1;
  SYS_Log(1, "[widget][line]  - new widget: %s (%d) : %d, %d %d, %d %f\n", w->cls->tag, w->type, w->x, w->y, w->x2,
          w->y2, double(w->depth));
  return 0;
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  if (e->type != WIDGET_MSG_DRAW || !widget_drawable(w)) return 0;
  const auto &gl = gl_stub_table;
  const int64_t height = widget_window_height(w);
  gl.glDisable(GL_TEXTURE_2D);
  gl.glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
  gl.glLineWidth(w->depth);
  gl.glColor4fv(&w->style.fgcolor.r);
  gl.glBegin(GL_LINES);
  widget_vertex(w->x, height - w->y);
  widget_vertex(w->x2, height - w->y2);
  gl.glEnd();
  return 0;
}

}  // namespace

const widget_class_t widget_class_line = {"LINE", WIDGET_LINE, Create, Handler};
