// IMG: a picture from the texture manager that reports clicks in its own
// coordinates. The picture is loaded at show and removed, and freed, at
// destroy; the bitmap field only points at the manager's bitmap (for its
// size) and is never freed through it.
//
// A picture that cannot be loaded leaves the widget at its given size,
// drawing nothing.
#include "dialog/widget.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"

namespace {

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  w->type = WIDGET_IMG;
  w->aspect = 1.0f;
  if (widget_parse_attributes(w, count, names, values, 1) != 0) return -1;
  if (!w->src) SYS_Log(1, "[widget][img]  ! widget_img: texture is not defined.\n");
  SYS_Log(1, "[widget][img]  - new widget: %s (%d) : %s %d, %d, %d %dx%d %d\n", w->cls->tag, w->type,
          widget_log_text(w->src), w->x, w->y, w->serial, w->width, w->height, w->filter);
  return 0;
}

void Show(widget_item_t *w) {
  if (!w->visible || !w->src) return;
  w->bitmap = nullptr;
  if (widget_load_picture(w->src, w->filter) < 0) {
    SYS_Log(1, "[widget][img]  ! image not loaded: %s\n", w->src);
    return;
  }
  w->bitmap = tmGetBitmap(w->src);
  const txBitmap *b = w->bitmap;
  if (!b || b->width <= 0 || b->height <= 0) return;
  if (w->width != 0 && w->height == 0)
    w->height = widget_clamp_size(float(w->width) / float(b->width) * float(b->height) * w->aspect);
  if (w->width == 0) w->width = b->width;
  if (w->height == 0) w->height = b->height;
}

void Draw(widget_item_t *w) {
  if (!widget_drawable(w) || !w->src) return;
  if (!tmFind(w->src)) {  // never loaded: nothing to show
    SYS_ErrorClear();
    return;
  }
  const auto &gl = gl_stub_table;
  const int64_t x = w->x, Y = widget_gl_top(w), W = w->width, H = w->height;
  gl.glEnable(GL_TEXTURE_2D);
  tmBind(w->src);
  gl.glEnable(GL_BLEND);
  gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  gl.glColor4fv(&w->style.fgcolor.r);
  gl.glBegin(GL_QUADS);
  gl.glTexCoord2f(0, 1);
  widget_vertex(x, Y - H);
  gl.glTexCoord2f(0, 0);
  widget_vertex(x, Y);
  gl.glTexCoord2f(1, 0);
  widget_vertex(x + W, Y);
  gl.glTexCoord2f(1, 1);
  widget_vertex(x + W, Y - H);
  gl.glEnd();
  gl.glDisable(GL_BLEND);
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  switch (e->type) {
    case WIDGET_MSG_SHOW:
      Show(w);
      return 0;
    case WIDGET_MSG_DRAW:
      Draw(w);
      return 0;
    case WIDGET_MSG_MOUSE:
      if (!w->visible || w->disabled) return 0;
      w->mouse_over = 0;
      if (!widget_hit(w, e)) return 0;
      // The set shares one record: widgets after this one see these.
      e->mouse.x = e->mouse.x - w->x - 1;
      e->mouse.y = e->mouse.y - w->y - 1;
      w->mouse_over = 1;
      return widget_callback(w, e);
    case WIDGET_MSG_DESTROY:
      w->bitmap = nullptr;  // the manager's
      if (w->src) {
        widget_remove_picture(w->src);
        SYS_MEMFREE(w->src);
      }
      return 0;
    default:
      return 0;
  }
}

}  // namespace

const widget_class_t widget_class_img = {"IMG", WIDGET_IMG, Create, Handler};
