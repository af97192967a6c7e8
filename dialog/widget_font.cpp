// FONT: a font definition other widgets name by id (FONTID). It registers
// its font file with the font renderer and creates the font it owns; it
// draws nothing.
#include "dialog/widget.h"
#include "framework/log.h"
#include "framework/memory.h"

namespace {

// Font weights handed to the renderer.
constexpr int32_t kBold = 800;
constexpr int32_t kRegular = 100;

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  w->type = WIDGET_FONT;
  if (widget_parse_attributes(w, count, names, values, 1) != 0) return -1;
  // A file that cannot be read leaves a font without face, whose text
  // renders empty; the widget still stands for its id.
  if (w->style.font_path) widget_load_face(w->style.font_path);
  frFont *font = frNewFont(w->style.encoding, WIDGET_FONT_WHITE, FR_HALIGN_LEFT, FR_VALIGN_TOP);
  if (!font) {
    SYS_Log(1, "[widget][font]  ! not enough memory for font.\n");
    SYS_ErrorSet(5);
    return -1;
  }
  w->style.font = font;
  w->style.own_font = 1;
  frSetFont(font, w->name, w->style.font_size, w->style.bold ? kBold : kRegular, w->style.italic);
  SYS_ErrorClear();
  SYS_Log(1, "[widget][font]  - new widget: %s (%d) : %s id: %d bold: %d italic: %d encoding: %d\n", w->cls->tag,
          w->type, w->name ? w->name : "(null)", w->id, w->style.bold, w->style.italic, w->style.encoding);
  if (w->style.font_path) SYS_Log(1, "[widget][font]    - font file: %s\n", w->style.font_path);
  return 0;
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  if (e->type != WIDGET_MSG_DESTROY) return 0;
  if (w->style.own_font && w->style.font) frFreeFont(w->style.font);
  w->style.font = nullptr;
  w->style.own_font = 0;
  if (w->name) SYS_MEMFREE(w->name);
  if (w->style.font_path) SYS_MEMFREE(w->style.font_path);
  return 0;
}

}  // namespace

const widget_class_t widget_class_font = {"FONT", WIDGET_FONT, Create, Handler};
