// Widget sets: the class table, loading a widget file into a set and
// unloading it, the window-event dispatcher, the set operations of the
// dialog loop and the operations on one widget.
//
// Loading walks the file's tags through the framework's XML reader; each
// tag that names a class gets a zeroed record, a serial and its class's
// create; a failed create is logged and the record freed. Serials never
// repeat in a process: a load starts one above the previous load's base,
// or after the last serial used, whichever is higher.
//
// A load costs time in proportion to the file: each element is appended
// after the last one and sees the set's first WINDOW as found so far,
// neither searched for again. A loaded set never changes until it is
// unloaded, so its ids are indexed once at the end of the load (first
// widget of each id in set order), and a group's members are found in
// constant time however many widgets the set holds.
#include <strings.h>

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "dialog/widget.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "framework/xml.h"

// Rows in the order tags are matched.
const widget_class_t *const widget_classes[] = {
    &widget_class_window,   &widget_class_button,   &widget_class_img,         &widget_class_frame,
    &widget_class_line,     &widget_class_label,    &widget_class_font,        &widget_class_group,
    &widget_class_checkbox, &widget_class_radiobutton, &widget_class_style,   &widget_class_progress,
    nullptr,
};

namespace {

// Each load numbers its elements past every serial handed out before, so
// no two sets share a text name. Counted in 64 bits: a process that loads
// sets without end runs past the 32-bit range, and the numbering then
// starts again at the first base, where names may meet as they would
// under the plain base-plus-counter scheme.
int32_t serial_base = WIDGET_SERIAL_BASE;
int64_t serial_counter = 0;
int64_t next_free_serial = WIDGET_SERIAL_BASE + 1;

int64_t NextBase() { return std::max<int64_t>(int64_t(serial_base) + 1, next_free_serial); }

int32_t TakeSerial() {
  if (int64_t(serial_base) + serial_counter > INT32_MAX) {
    serial_base = WIDGET_SERIAL_BASE + 1;
    serial_counter = 0;
    next_free_serial = serial_base;
  }
  const int32_t serial = int32_t(serial_base + serial_counter++);
  next_free_serial = std::max(next_free_serial, int64_t(serial) + 1);
  return serial;
}
// A callback may unload a set while a walk over it (a dispatch, draw,
// show, hide or process) is under way: a button that closes its dialog, a
// window that closes at its draw. The unload is done at once, windows,
// destroy messages and texts, so nothing of the set is heard from again;
// only its records and list nodes, which the walks stand on, wait until
// the last walk over the set ends. Each walk stops as soon as its set is
// gone.
std::vector<SYS_List_p> &Walking() {
  static auto *sets = new std::vector<SYS_List_p>;  // never destroyed
  return *sets;
}
std::vector<SYS_List_p> &Unloading() {
  static auto *sets = new std::vector<SYS_List_p>;  // never destroyed
  return *sets;
}
bool Listed(const std::vector<SYS_List_p> &sets, SYS_List_p set) {
  return std::find(sets.begin(), sets.end(), set) != sets.end();
}
bool Gone(SYS_List_p set) { return Listed(Unloading(), set); }

// Set when an element could not be kept for want of memory; the reader
// goes on regardless, so the load looks at this afterwards.
bool load_failed = false;
// The set under construction: its last node and its first WINDOW.
SYS_List_p load_tail = nullptr;
widget_item_t *load_window = nullptr;

// Loaded sets' ids, by the set's first node; dropped at unload.
using IdIndex = std::unordered_map<int32_t, widget_item_t *>;
std::unordered_map<const SYS_List_t *, IdIndex> &Indexes() {
  static std::unordered_map<const SYS_List_t *, IdIndex> indexes;
  return indexes;
}

widget_item_t *Item(SYS_List_p node) { return static_cast<widget_item_t *>(node->data); }
// A widget of a set unloaded while a walk still stands on it: its record
// stays readable until the walk ends, but its windows and texts are gone,
// so nothing draws, updates or calls back through it. A set's first widget
// keeps no set pointer; its node does.
bool Orphaned(const widget_item_t *w) {
  for (SYS_List_p set : Unloading())
    if (w->set == set || Item(set) == w) return true;
  return false;
}

bool Bad(const void *p) {
  SYS_ErrorClear();
  if (p) return false;
  SYS_ErrorSet(10);
  return true;
}

int32_t Send(widget_item_t *w, widget_msg_t message) {
  if (!w || !w->cls || !w->cls->handler || Orphaned(w)) return -1;
  wm_event_t event{};
  event.type = message;
  return w->cls->handler(w, &event);
}

int ElementStart(SYS_XML_p xml, const char *name, int32_t count, char **names, char **values) {
  auto set = reinterpret_cast<SYS_List_p>(xml->user);
  for (const widget_class_t *const *row = widget_classes; *row; ++row) {
    const widget_class_t *cls = *row;
    if (strcasecmp(cls->tag, name) != 0) continue;
    widget_item_t *first_window = load_window;
    auto *w = SYS_MEMGET(widget_item_t, 1, "new widget");
    if (!w) {
      load_failed = true;
      SYS_ErrorSet(5);
      return -1;
    }
    *w = widget_item_t{};
    if (first_window) w->set_window = first_window->window;
    w->cls = cls;
    w->set = set;
    w->serial = TakeSerial();
    const int32_t result = cls->create(w, count, names, values);
    if (result != 0) {
      SYS_Log(1, "[widget]  ! error in initialization: %s\n", cls->tag);
      const int32_t code = SYS_ErrorGet();
      widget_free_texts(w);
      if (w->style.own_font && w->style.font) frFreeFont(w->style.font);
      SYS_MEMFREE(w);
      SYS_ErrorSet(code);
      continue;
    }
    // Appended after the last node: the list's head stays the set's.
    SYS_List_p grown = SYS_ListAddLast(load_tail ? load_tail : set, w);
    if (!grown) {
      Send(w, WIDGET_MSG_DESTROY);
      widget_free_texts(w);
      SYS_MEMFREE(w);
      load_failed = true;
      SYS_ErrorSet(5);
      return -1;
    }
    load_tail = load_tail ? load_tail->next : grown;
    if (!set) set = grown;
    if (!load_window && w->type == WIDGET_WINDOW) load_window = w;
    xml->user = reinterpret_cast<uintptr_t>(set);
  }
  return 0;
}

int ElementData(SYS_XML_p, const char *, int32_t, char **, char **, const char *) { return 0; }
int ElementEnd(SYS_XML_p, const char *) { return 0; }

// One message to every widget, WINDOWs included or only them.
void SendAll(SYS_List_p set, widget_msg_t message, bool windows) {
  for (SYS_List_p node = set; node; node = node->next) {
    widget_item_t *w = Item(node);
    if (w && (w->type == WIDGET_WINDOW) == windows) Send(w, message);
  }
}

// Unloads a set, loaded or half-read; with the walks, below.
int32_t Unload(SYS_List_p set);

}  // namespace

int32_t widget_send(widget_item_t *widget, widget_msg_t message) { return Send(widget, message); }

widget_item_t *widget_lookup_id(const widget_item_t *from, int32_t id) {
  if (!from || !from->set) return nullptr;
  // Every widget but a set's first holds the set's first node, so an
  // indexed set's index answers for the whole list.
  if (auto found = Indexes().find(from->set); found != Indexes().end()) {
    auto item = found->second.find(id);
    return item == found->second.end() ? nullptr : item->second;
  }
  for (SYS_List_p node = from->set; node; node = node->next)
    if (Item(node) && Item(node)->id == id) return Item(node);
  return nullptr;
}

widget_item_t *widget_first_of_type(SYS_List_p set, int32_t type) {
  for (SYS_List_p node = set; node; node = node->next)
    if (Item(node) && Item(node)->type == type) return Item(node);
  return nullptr;
}

int32_t widget_next_serial() {
  const int64_t next = NextBase();
  return next > INT32_MAX ? WIDGET_SERIAL_BASE + 1 : int32_t(next);
}

void widget_set_next_serial(int32_t serial) {
  serial_base = serial - 1;
  serial_counter = 0;
  next_free_serial = serial;
}

int32_t widget_init() {
  SYS_ErrorClear();
  return 0;
}

SYS_List_p widget_load(int32_t mode, const char *source) {
  SYS_ErrorClear();
  if (!source) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  int64_t next = NextBase();
  if (next > INT32_MAX) next = next_free_serial = WIDGET_SERIAL_BASE + 1;
  serial_base = int32_t(next);
  serial_counter = 0;
  load_failed = false;
  load_tail = nullptr;
  load_window = nullptr;
  widget_style_budget_reset();
  SYS_XML_p xml = SYS_XmlOpen(mode == 1 ? SYS_XML_SOURCE_FILE : SYS_XML_SOURCE_TEXT, source);
  if (!xml) {
    const int32_t code = SYS_ErrorGet();
    SYS_ErrorSet(code);
    return nullptr;
  }
  SYS_XmlSetCallbacks(xml, ElementStart, ElementData, ElementEnd, 0);
  const int parsed = SYS_XmlParse(xml);
  auto set = reinterpret_cast<SYS_List_p>(xml->user);
  SYS_XmlClose(xml);
  if (parsed != 0 || load_failed) {
    // Half a dialog is no dialog: hand nothing back rather than a set that
    // misses widgets its code will look for.
    if (set) Unload(set);
    SYS_ErrorSet(5);
    return nullptr;
  }
  if (set) {
    IdIndex &index = Indexes()[set];
    for (SYS_List_p node = set; node; node = node->next)
      if (Item(node)) index.emplace(Item(node)->id, Item(node));
  }
  if (widget_item_t *window = widget_first_of_type(set, WIDGET_WINDOW); window && window->window)
    wmParam(window->window, WM_USER_SET, reinterpret_cast<intptr_t>(set));
  return set;
}

namespace {

void FreeRecords(SYS_List_p set) {
  for (SYS_List_p node = set; node; node = node->next) {
    if (widget_item_t *w = Item(node)) {
      widget_free_texts(w);  // what a caller set on it after the unload
      SYS_MEMFREE(node->data);
    }
    node->data = nullptr;
  }
  SYS_ListFree(set);
}

// One walk over a set, for as long as it lasts; the last one over a set
// unloaded meanwhile frees what the unload left.
class Walk {
public:
  explicit Walk(SYS_List_p set) : set_(set) { Walking().push_back(set); }
  ~Walk() {
    auto &walking = Walking();
    walking.pop_back();  // walks nest: this one is the innermost
    if (Listed(walking, set_) || !Gone(set_)) return;
    auto &unloading = Unloading();
    unloading.erase(std::find(unloading.begin(), unloading.end(), set_));
    FreeRecords(set_);
  }
  Walk(const Walk &) = delete;
  Walk &operator=(const Walk &) = delete;

private:
  SYS_List_p set_;
};

int32_t Unload(SYS_List_p set) {
  SYS_Log(1, "[widget]  - unload widget set.\n");
  Indexes().erase(set);
  SendAll(set, WIDGET_MSG_DESTROY, false);
  SendAll(set, WIDGET_MSG_DESTROY, true);
  if (!Listed(Walking(), set)) {
    FreeRecords(set);
    return 0;
  }
  // The texts go now; the records a walk stands on wait for it to end.
  for (SYS_List_p node = set; node; node = node->next)
    if (widget_item_t *w = Item(node)) widget_free_texts(w);
  Unloading().push_back(set);
  return 0;
}

}  // namespace

int32_t widget_unload(SYS_List_p set) {
  if (Bad(set)) return -1;
  // Every loaded set has an index until it is unloaded: one unloaded
  // already, whether a walk still stands on it or it is freed, is left.
  if (Indexes().find(set) == Indexes().end()) return 0;
  return Unload(set);
}

int32_t widget_show_set(SYS_List_p set) {
  if (Bad(set)) return -1;
  if (Gone(set)) return 0;
  Walk walk(set);
  for (SYS_List_p node = set; node; node = node->next)
    if (widget_item_t *w = Item(node)) {
      w->visible = 1;
      Send(w, WIDGET_MSG_SHOW);
      if (Gone(set)) break;
    }
  return widget_draw_set(set);  // nothing, for a set gone meanwhile
}

int32_t widget_hide_set(SYS_List_p set) {
  if (Bad(set)) return -1;
  if (Gone(set)) return 0;
  Walk walk(set);
  for (SYS_List_p node = set; node; node = node->next)
    if (widget_item_t *w = Item(node)) {
      w->visible = 0;
      Send(w, WIDGET_MSG_HIDE);
      if (Gone(set)) break;
    }
  return 0;
}

int32_t widget_draw_set(SYS_List_p set) {
  if (Bad(set)) return -1;
  if (Gone(set)) return 0;
  Walk walk(set);
  widget_item_t *first = widget_first_of_type(set, WIDGET_WINDOW);
  if (first && first->window && first->window->context) wmMakeCurrent(first->window);
  wm_window_t *drawn = nullptr;
  for (SYS_List_p node = set; node; node = node->next) {
    widget_item_t *w = Item(node);
    if (!w) continue;
    Send(w, WIDGET_MSG_DRAW);
    if (Gone(set)) break;
    if (w->type == WIDGET_WINDOW && w->window && w->window->context) drawn = w->window;
  }
  if (drawn && !Gone(set)) wmSwapBuffers(drawn);  // a gone set's windows went with it
  SYS_ErrorClear();
  return 0;
}

int32_t widget_process(SYS_List_p set) {
  if (Bad(set)) return -1;
  Walk walk(set);
  wmPumpEvents();
  return widget_draw_set(set);  // nothing, if a callback unloaded the set
}

int32_t widget_window_event(wm_event_t *event) {
  if (!event || !event->window) return 0;
  auto set = reinterpret_cast<SYS_List_p>(wmParam(event->window, WM_USER_GET, 0));
  if (!set) return 0;
  int32_t result = 0;
  Walk walk(set);
  for (SYS_List_p node = set; node; node = node->next) {
    widget_item_t *w = Item(node);
    if (w && w->cls && w->cls->handler) result = w->cls->handler(w, event);
    if (Gone(set)) break;  // a callback unloaded it: the event goes no further
  }
  return result;
}

int32_t widget_set_callback_all(SYS_List_p set, widget_callback_t callback) {
  if (Bad(set) || Bad(reinterpret_cast<void *>(callback))) return -1;
  for (SYS_List_p node = set; node; node = node->next)
    if (Item(node)) Item(node)->callback = callback;
  return 0;
}

widget_item_t *widget_find_type(SYS_List_p set, int32_t type) {
  SYS_ErrorClear();
  if (widget_item_t *w = widget_first_of_type(set, type)) return w;
  SYS_ErrorSet(14);
  return nullptr;
}

widget_item_t *widget_find_id(SYS_List_p set, int32_t id) {
  SYS_ErrorClear();
  for (SYS_List_p node = set; node; node = node->next)
    if (Item(node) && Item(node)->id == id) return Item(node);
  SYS_ErrorSet(14);
  return nullptr;
}

int32_t widget_update(widget_item_t *widget) {
  if (Bad(widget) || Bad(widget->cls)) return -1;
  Send(widget, WIDGET_MSG_UPDATE);
  return 0;
}

int32_t widget_set_title(widget_item_t *widget, const char *text) {
  if (Bad(widget) || Bad(text)) return -1;
  if (widget_set_text(&widget->title, text) != 0) return -1;
  return widget_update(widget);
}

int32_t widget_set_src(widget_item_t *widget, const char *text) {
  if (Bad(widget) || Bad(text)) return -1;
  if (widget_set_text(&widget->src, text) != 0) return -1;
  return widget_update(widget);
}

int32_t widget_get_pos(widget_item_t *widget, int32_t *x, int32_t *y) {
  if (Bad(widget)) return -1;
  if (x) *x = widget->x;
  if (y) *y = widget->y;
  return 0;
}

int32_t widget_get_size(widget_item_t *widget, int32_t *width, int32_t *height) {
  if (Bad(widget)) return -1;
  if (width) *width = widget->width;
  if (height) *height = widget->height;
  return 0;
}

int32_t widget_set_pos(widget_item_t *widget, int32_t x, int32_t y) {
  if (Bad(widget)) return -1;
  widget->x = x;
  widget->y = y;
  return widget_update(widget);
}

int32_t widget_set_size(widget_item_t *widget, int32_t width, int32_t height) {
  if (Bad(widget)) return -1;
  widget->width = width;
  widget->height = height;
  return widget_update(widget);
}

int32_t widget_set_callback(widget_item_t *widget, widget_callback_t callback) {
  if (Bad(widget) || Bad(reinterpret_cast<void *>(callback))) return -1;
  widget->callback = callback;
  return 0;
}

int32_t widget_hide(widget_item_t *widget) {
  if (Bad(widget)) return -1;
  widget->visible = 0;
  Send(widget, WIDGET_MSG_HIDE);
  return 0;
}

int32_t widget_show(widget_item_t *widget) {
  if (Bad(widget)) return -1;
  widget->visible = 1;
  Send(widget, WIDGET_MSG_SHOW);
  return 0;
}

int32_t widget_disable(widget_item_t *widget) {
  if (Bad(widget)) return -1;
  widget->disabled = 1;
  Send(widget, WIDGET_MSG_DISABLE);
  return 0;
}

int32_t widget_enable(widget_item_t *widget) {
  if (Bad(widget)) return -1;
  widget->disabled = 0;
  Send(widget, WIDGET_MSG_ENABLE);
  return 0;
}

int32_t widget_clear_disabled(widget_item_t *widget) {
  if (Bad(widget)) return -1;
  widget->disabled = 0;
  Send(widget, WIDGET_MSG_DRAW);
  return 0;
}

int32_t widget_get_value(widget_item_t *widget) {
  if (Bad(widget)) return -1;
  return widget->value;
}

float widget_get_value_f(widget_item_t *widget) {
  if (Bad(widget)) return -1.0f;
  return widget->value_f;
}

const char *widget_get_value_s(widget_item_t *widget) {
  if (Bad(widget)) return nullptr;
  return widget->value_s;
}
