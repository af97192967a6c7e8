// GROUP: a list of member ids (WID, repeatable) that shows, hides, enables
// and disables its members together. Members are looked up when a message
// passes, so they may stand later in the file. A member that is itself a
// group gets the message and ends the walk.
//
// Groups may name each other: a group already on the current walk is
// skipped with a log line, so a cycle ends instead of recursing.
#include <strings.h>

#include <algorithm>
#include <vector>

#include "dialog/widget.h"
#include "framework/log.h"
#include "framework/memory.h"

namespace {

// The groups whose walk is in progress, outermost first (main thread only).
std::vector<const widget_item_t *> &Walk() {
  static std::vector<const widget_item_t *> walk;
  return walk;
}

int32_t Create(widget_item_t *w, int32_t count, char **names, char **values) {
  w->type = WIDGET_GROUP;
  if (widget_parse_attributes(w, count, names, values, 1) != 0) return -1;
  int32_t members = 0;
  for (int32_t i = 0; i < count; ++i)
    if (strcasecmp(names[i], "WID") == 0) ++members;
  if (members == 0) {
    SYS_ErrorClear();
    return -1;
  }
  w->members = SYS_MEMGET(int32_t, members, "WID list");
  if (!w->members) {
    SYS_ErrorSet(5);
    return -1;
  }
  for (int32_t i = 0; i < count; ++i)
    if (strcasecmp(names[i], "WID") == 0) w->members[w->member_count++] = widget_parse_int(values[i]);
  SYS_Log(1, "[widget][group]  - new widget: %s (%d) : id: %d\n", w->cls->tag, w->type, w->id);
  return 0;
}

widget_item_t *Member(const widget_item_t *group, int32_t id) {
  for (SYS_List_p node = group->set; node; node = node->next) {
    auto *item = static_cast<widget_item_t *>(node->data);
    if (item && item->id == id) return item;
  }
  return nullptr;
}

void Pass(widget_item_t *w, widget_msg_t message) {
  auto &walk = Walk();
  walk.push_back(w);
  for (int32_t i = 0; i < w->member_count; ++i) {
    widget_item_t *m = Member(w, w->members[i]);
    if (!m) continue;
    if (m->type == WIDGET_GROUP) {
      if (std::find(walk.begin(), walk.end(), m) != walk.end()) {
        SYS_Log(1, "[widget][group]  ! group %d is already on this walk, skipped.\n", m->id);
        continue;
      }
      widget_send(m, message);
      break;
    }
    switch (message) {
      case WIDGET_MSG_SHOW: m->visible = 1; break;
      case WIDGET_MSG_HIDE: m->visible = 0; break;
      case WIDGET_MSG_ENABLE: m->disabled = 0; break;
      case WIDGET_MSG_DISABLE: m->disabled = 1; break;
      default: break;  // draw: members draw at the set's own draw
    }
  }
  walk.pop_back();
}

int32_t Handler(widget_item_t *w, wm_event_t *e) {
  switch (e->type) {
    case WIDGET_MSG_DESTROY:
      if (w->members) SYS_MEMFREE(w->members);
      w->member_count = 0;
      return 0;
    case WIDGET_MSG_SHOW:
    case WIDGET_MSG_HIDE:
    case WIDGET_MSG_ENABLE:
    case WIDGET_MSG_DISABLE:
    case WIDGET_MSG_DRAW:
      Pass(w, e->type);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

const widget_class_t widget_class_group = {"GROUP", WIDGET_GROUP, Create, Handler};
