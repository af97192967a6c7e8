// RADIOBUTTON: a check box whose press selects it and clears every other
// radio button of the set with the same group id (GID). One created with a
// non-zero value takes the selection from those read before it.
#include "dialog/widget.h"
#include "framework/log.h"
#include "window/wm.h"

namespace {

void Select(widget_item_t *w, SYS_List_p set) {
  for (SYS_List_p node = set; node; node = node->next) {
    auto *other = static_cast<widget_item_t *>(node->data);
    if (other && other->type == WIDGET_RADIOBUTTON && other->group_id == w->group_id) other->value = 0;
  }
  w->value = 1;
}

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  if (widget_check_create(w, WIDGET_RADIOBUTTON, count, names, values) != 0) return -1;
  if (w->value != 0) Select(w, w->set);
  SYS_Log(1, "[widget][radiobutton]  - new widget: %s (%d) : %d, %d, %d %dx%d '%s'\n", w->cls->tag, w->type, w->x,
          w->y, w->serial, w->width, w->height, widget_log_text(w->title));
  return 0;
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  return widget_check_proc(w, e, [](widget_item_t *radio, wm_event_t *event) {
    // The first widget of a set keeps no set pointer; the window knows it.
    SYS_List_p set = radio->set;
    if (!set && event->window) set = reinterpret_cast<SYS_List_p>(wmParam(event->window, WM_USER_GET, 0));
    Select(radio, set);
  });
}

}  // namespace

const widget_class_t widget_class_radiobutton = {"RADIOBUTTON", WIDGET_RADIOBUTTON, Create, Handler};
