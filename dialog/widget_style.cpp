// STYLE: a named style block (colours, flags, font) that other elements
// copy with their STYLE attribute. Unknown attribute names are skipped,
// so a style may carry its keys (BC, FONT-PATH, ...) beside the ordinary
// attributes. A style with a FONT-PATH key creates and owns a font; the
// widgets that copy its block share that font and never free it.
#include <strings.h>

#include "dialog/widget.h"
#include "framework/log.h"
#include "framework/memory.h"

namespace {

constexpr int32_t kBold = 800;
constexpr int32_t kRegular = 100;

bool HasKey(int32_t count, char **names, const char *key) {
  for (int32_t i = 0; i < count; ++i)
    if (names[i] && strcasecmp(names[i], key) == 0) return true;
  return false;
}

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  w->type = WIDGET_STYLE;
  if (widget_parse_attributes(w, count, names, values, 0) != 0) return -1;
  w->style.background = w->style.border = w->style.onmouse = 1;
  int32_t halign = 0, valign = 0;
  widget_parse_style_keys(w, count, names, values, &halign, &valign);
  if (HasKey(count, names, "FONT-PATH")) {
    widget_load_face(w->style.font_path);
    frFont *font = frNewFont(w->style.encoding, WIDGET_FONT_WHITE, halign, valign);
    if (!font) {
      SYS_Log(1, "[widget][style]  ! not enough memory for font.\n");
      SYS_ErrorSet(5);
      return -1;
    }
    // The copied font, if any, stays its creator's.
    w->style.font = font;
    w->style.own_font = 1;
    frSetFont(font, w->style.font_path, w->style.font_size, w->style.bold ? kBold : kRegular, w->style.italic);
    SYS_ErrorClear();
  }
  SYS_Log(1, "[widget][style]  - new widget: %s (%d) : %s id: %d\n", w->cls->tag, w->type,
          w->style.font_path ? w->style.font_path : "(null)", w->id);
  return 0;
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  if (e->type != WIDGET_MSG_DESTROY) return 0;
  if (w->style.own_font && w->style.font) frFreeFont(w->style.font);
  w->style.font = nullptr;
  w->style.own_font = 0;
  if (w->style.font_path) SYS_MEMFREE(w->style.font_path);
  if (w->name) SYS_MEMFREE(w->name);
  return 0;
}

}  // namespace

const widget_class_t widget_class_style = {"STYLE", WIDGET_STYLE, Create, Handler};
