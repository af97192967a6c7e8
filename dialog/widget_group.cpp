// GROUP: a list of member ids (WID, repeatable) that shows, hides, enables
// and disables its members together. Members are looked up when a message
// passes, so they may stand later in the file. A member that is itself a
// group gets the message and ends the walk.
//
// Since a group hands the message on only as its walk's last step, the
// walk is one loop that moves into the member group, not a call per group:
// no chain a file writes can run the stack out. Two guards bound it. A
// group already on the walk is skipped with a log line, so a cycle ends;
// and a walk enters at most kMaxNesting groups, the last one named in a
// log line, so one message costs at most that many groups' member lists
// however long the chain, and showing a set of n chained groups costs n
// times that, not n squared.
//
// Draw changes nothing in a member, so a group does not walk for it; a
// set's every frame then costs one call per group, whatever the groups
// name.
#include <strings.h>

#include <algorithm>

#include "dialog/widget.h"
#include "framework/log.h"
#include "framework/memory.h"

namespace {

// Groups one walk may enter, the one the message came to included. Dialogs
// nest groups a level or two deep.
constexpr int32_t kMaxNesting = 64;

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

void Pass(widget_item_t *w, widget_msg_t message) {
  const widget_item_t *entered[kMaxNesting] = {w};
  int32_t depth = 1;
  widget_item_t *group = w;
  for (int32_t i = 0; i < group->member_count; ++i) {
    widget_item_t *m = widget_lookup_id(group, group->members[i]);
    if (!m) continue;
    if (m->type == WIDGET_GROUP) {
      if (std::find(entered, entered + depth, m) != entered + depth) {
        SYS_Log(1, "[widget][group]  ! group %d is already on this walk, skipped.\n", m->id);
        continue;
      }
      if (depth == kMaxNesting) {
        SYS_Log(1, "[widget][group]  ! group %d nests deeper than %d groups, not entered.\n", m->id,
                kMaxNesting);
        return;
      }
      // The member takes the message over and this group's walk ends.
      entered[depth++] = m;
      group = m;
      i = -1;
      continue;
    }
    switch (message) {
      case WIDGET_MSG_SHOW: m->visible = 1; break;
      case WIDGET_MSG_HIDE: m->visible = 0; break;
      case WIDGET_MSG_ENABLE: m->disabled = 0; break;
      case WIDGET_MSG_DISABLE: m->disabled = 1; break;
      default: break;
    }
  }
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
      Pass(w, e->type);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

const widget_class_t widget_class_group = {"GROUP", WIDGET_GROUP, Create, Handler};
