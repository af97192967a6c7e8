// BUTTON: a text button (background, border, its title centred) or, with
// SRC, a picture cut from a vertical strip of four equal parts: normal,
// mouse over, pressed, disabled. Keys and mouse events inside it reach its
// callback.
//
// The text bitmap (512 x 64, "label-<serial>") belongs to the button; its
// title is rendered in opaque white whatever a shared font was last set
// to, and the text quad lays the button's text colour over it once. A
// strip that cannot be loaded leaves the button at its given size, drawing
// nothing.
#include "dialog/widget.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"

namespace {

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  w->type = WIDGET_BUTTON;
  w->aspect = 1.0f;
  w->style = widget_default_style(WIDGET_BUTTON);
  if (widget_parse_attributes(w, count, names, values, 1) != 0) return -1;
  if (!w->src) {
    if (widget_resolve_font(w) != 0) {
      SYS_Log(1, "[widget][button]  ! requested font do not be there.\n");
      if (w->title) SYS_MEMFREE(w->title);
      return -1;
    }
    if (widget_text_bitmap(w, 512, 64) != 0) return -1;
    widget_render_plain(w, w->title);
    if (widget_serial_name(w, "label-%d") != 0) {
      widget_free_bitmap(w);
      return -1;
    }
  } else {
    SYS_Log(1, "[widget][button]  button texture: %s\n", w->src);
  }
  SYS_ErrorClear();
  SYS_Log(1, "[widget][button]  - new widget: %s (%d) : %s %d, %d, %d %dx%d fontid: %d '%s' '%s' %dx%d\n",
          w->cls->tag, w->type, widget_log_text(w->bg), w->x, w->y, w->serial, w->width, w->height, w->font_id,
          widget_log_text(w->title), widget_log_text(w->name), w->text_width, w->text_height);
  return 0;
}

void DrawStrip(widget_item_t *w) {
  if (!tmFind(w->src)) {  // never loaded: nothing to show
    SYS_ErrorClear();
    return;
  }
  int32_t state = 0;
  if (w->mouse_over) state = 1;
  if (w->pressed) state = 2;
  if (w->disabled) state = 3;
  const float s = float(state) * 0.25f;
  const auto &gl = gl_stub_table;
  const int64_t x = w->x, Y = widget_gl_top(w), W = w->width, H = w->height;
  tmBind(w->src);
  gl.glDisable(GL_BLEND);
  gl.glColor4fv(&w->style.fgcolor.r);
  gl.glBegin(GL_QUADS);
  gl.glTexCoord2f(0, s + 0.25f);
  widget_vertex(x, Y - H);
  gl.glTexCoord2f(0, s);
  widget_vertex(x, Y);
  gl.glTexCoord2f(1, s);
  widget_vertex(x + W, Y);
  gl.glTexCoord2f(1, s + 0.25f);
  widget_vertex(x + W, Y - H);
  gl.glEnd();
}

void Draw(widget_item_t *w) {
  if (!widget_drawable(w)) return;
  if (w->src) {
    DrawStrip(w);
    return;
  }
  gl_stub_table.glDisable(GL_BLEND);
  gl_stub_table.glDisable(GL_TEXTURE_2D);
  widget_draw_background(w);
  widget_draw_border(w);
  widget_draw_text(w->x + (int64_t(w->width) - w->text_width) / 2,
                   widget_gl_top(w) - (int64_t(w->height) - w->text_height) / 2, w);
}

void Show(widget_item_t *w) {
  if (!w->visible || !w->src) return;
  if (widget_load_picture(w->src, TM_FILTER_LINEAR) < 0) {
    SYS_Log(1, "[widget][button]  ! image not loaded: %s\n", w->src);
    return;
  }
  const txBitmap *b = tmGetBitmap(w->src);
  if (!b) return;
  w->width = b->width;
  w->height = b->height / 4;
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  switch (e->type) {
    case WIDGET_MSG_KEY:
      return widget_callback(w, e);
    case WIDGET_MSG_MOUSE:
      if (!w->visible || w->disabled) return 0;
      w->mouse_over = 0;
      w->pressed = 0;
      if (!widget_hit(w, e)) return 0;
      w->mouse_over = 1;
      if (e->mouse.left) w->pressed = 1;
      return widget_callback(w, e);
    case WIDGET_MSG_DRAW:
      Draw(w);
      return 0;
    case WIDGET_MSG_SHOW:
      Show(w);
      return 0;
    case WIDGET_MSG_UPDATE:
      if (!w->bitmap) return 0;
      widget_clear_bitmap(w);
      widget_render_plain(w, w->title);
      if (tmGetBitmap(w->name) == w->bitmap) tmReloadBitmap(w->name, w->bitmap);
      SYS_ErrorClear();
      return 0;
    case WIDGET_MSG_DESTROY:
      widget_free_bitmap(w);
      if (w->src) widget_remove_picture(w->src);
      SYS_ErrorClear();
      if (w->title) SYS_MEMFREE(w->title);
      if (w->name) SYS_MEMFREE(w->name);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

const widget_class_t widget_class_button = {"BUTTON", WIDGET_BUTTON, Create, Handler};
