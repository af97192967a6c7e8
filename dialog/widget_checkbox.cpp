// CHECKBOX, and the drawing, creation and text handling it shares with
// RADIOBUTTON: a box with a mark while the value is not 0, the title to
// its right. Every mouse event inside with the left button held counts as
// a press: a check box flips its value between 0 and 1, a radio button
// takes the value 1 from the others of its group.
//
// The text bitmap (512 x 64, "label-<serial>") belongs to the widget; it
// is registered at each draw and taken out of the manager at each update.
#include "dialog/widget.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"

namespace {

void Quad(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t x3, int64_t y3) {
  const auto &gl = gl_stub_table;
  gl.glBegin(GL_QUADS);
  widget_vertex(x0, y0);
  widget_vertex(x1, y1);
  widget_vertex(x2, y2);
  widget_vertex(x3, y3);
  gl.glEnd();
}

void Draw(widget_item_t *w) {
  if (!widget_drawable(w)) return;
  const auto &gl = gl_stub_table;
  const int64_t Y = widget_gl_top(w);
  const int64_t T = Y - (int64_t(w->height) - 10) / 2, bx = int64_t(w->x) + 5;
  gl.glDisable(GL_TEXTURE_2D);
  gl.glDisable(GL_BLEND);
  widget_draw_background(w);
  widget_draw_border(w);
  gl.glColor4fv(&w->style.fgcolor.r);
  Quad(bx, T, bx, T - 10, bx + 10, T - 10, bx + 10, T);
  gl.glColor4fv(&w->style.bgcolor.r);
  Quad(bx + 1, T - 1, bx + 1, T - 9, bx + 9, T - 9, bx + 9, T - 1);
  if (w->value != 0) {
    gl.glColor4fv(&w->style.fgcolor.r);
    Quad(bx + 3, T - 8, bx + 3, T - 3, bx + 8, T - 3, bx + 8, T - 8);
  }
  widget_draw_text(bx + 15, Y - (int64_t(w->height) - w->text_height) / 2 - 1, w);
}

}  // namespace

int32_t widget_check_create(widget_item_t *w, int32_t type, int32_t count, char **names, char **values) {
  w->type = type;
  w->aspect = 1.0f;
  w->style = widget_default_style(type);
  if (widget_parse_attributes(w, count, names, values, 1) != 0) return -1;
  if (widget_resolve_font(w) != 0) {
    SYS_Log(1, type == WIDGET_CHECKBOX ? "[widget][checkbox]  ! requested font do not be there.\n"
                                       : "[widget][radiobutton]  ! requested font do not be there.\n");
    if (w->title) SYS_MEMFREE(w->title);
    return -1;
  }
  if (widget_text_bitmap(w, 512, 64) != 0) return -1;
  widget_render_plain(w, w->title);
  if (widget_serial_name(w, "label-%d") != 0) {
    widget_free_bitmap(w);
    return -1;
  }
  SYS_ErrorClear();
  return 0;
}

int32_t widget_check_proc(widget_item_t *w, wm_event_t *e, void (*press)(widget_item_t *w, wm_event_t *e)) {
  switch (e->type) {
    case WIDGET_MSG_DRAW:
      Draw(w);
      return 0;
    case WIDGET_MSG_MOUSE:
      if (!w->visible || w->disabled) return 0;
      w->mouse_over = 0;
      if (!widget_hit(w, e)) return 0;
      w->mouse_over = 1;
      if (e->mouse.left) press(w, e);
      return widget_callback(w, e);
    case WIDGET_MSG_UPDATE:
      if (!w->bitmap) return 0;
      if (tmGetBitmap(w->name) == w->bitmap) tmRemove(w->name);  // registered again at the next draw
      SYS_ErrorClear();
      widget_clear_bitmap(w);
      widget_render_plain(w, w->title);
      return 0;
    case WIDGET_MSG_DESTROY:
      widget_free_bitmap(w);
      if (w->title) SYS_MEMFREE(w->title);
      if (w->name) SYS_MEMFREE(w->name);
      return 0;
    default:
      return 0;
  }
}

namespace {

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  if (widget_check_create(w, WIDGET_CHECKBOX, count, names, values) != 0) return -1;
  SYS_Log(1, "[widget][checkbox]  - new widget: %s (%d) : %s %d, %d, %d %dx%d fontid: %d '%s' '%s' %dx%d\n",
          w->cls->tag, w->type, widget_log_text(w->bg), w->x, w->y, w->serial, w->width, w->height, w->font_id,
          widget_log_text(w->title), widget_log_text(w->name), w->text_width, w->text_height);
  return 0;
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  return widget_check_proc(w, e, [](widget_item_t *box, wm_event_t *) { box->value = box->value ? 0 : 1; });
}

}  // namespace

const widget_class_t widget_class_checkbox = {"CHECKBOX", WIDGET_CHECKBOX, Create, Handler};
