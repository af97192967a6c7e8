// FRAME: a filled, bordered rectangle. Without a height it takes its
// height from its width and aspect when shown.
#include "dialog/widget.h"
#include "framework/log.h"
#include "window/gl_stub.h"

namespace {

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  w->type = WIDGET_FRAME;
  w->aspect = 1.0f;
  w->style = widget_default_style(WIDGET_FRAME);
  if (widget_parse_attributes(w, count, names, values, 1) != 0) return -1;
  SYS_Log(1, "[widget][frame]  - new widget: %s (%d) : %d, %d, %d %dx%d\n", w->cls->tag, w->type, w->x, w->y,
          w->serial, w->width, w->height);
  return 0;
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  switch (e->type) {
    case WIDGET_MSG_DRAW:
      if (!widget_drawable(w)) return 0;
      gl_stub_table.glDisable(GL_TEXTURE_2D);
      gl_stub_table.glBlendFunc(GL_SRC_COLOR, GL_DST_COLOR);
      widget_draw_background(w);
      widget_draw_border(w);
      return 0;
    case WIDGET_MSG_SHOW:
      if (w->width != 0 && w->height == 0) w->height = widget_clamp_size(float(w->width) * w->aspect);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

const widget_class_t widget_class_frame = {"FRAME", WIDGET_FRAME, Create, Handler};
