// The widget system: dialogs built from XML widget files.
//
// A widget file is a flat list of elements; each element whose tag names a
// widget class becomes one widget_item_t, created by its class row from
// the element's attributes, and appended to the set, a SYS_List_t in file
// order whose first node is the set's identity. The set's first WINDOW
// widget owns a window of the window manager; its callback is the event
// dispatcher, which hands every window event to every widget of the set.
// Widgets talk to their class only through the class's handler and the
// message codes below.
//
// Ownership: every record owns its texts (name, title, source, background
// image, text value, the style block's font path), each a tracked copy
// freed at unload. A style block copied from a STYLE is a deep copy whose
// font is shared: the font belongs to the FONT or STYLE that created it
// (style.own_font) and only that one frees it. Serial numbers, which name
// the text textures of text widgets, never repeat within a process.
//
// Unload sends destroy to every widget but the WINDOWs first, then to the
// WINDOWs, so textures go while their GL context still exists.
//
// Every operation clears the last-error code on entry and on failure sets
// it (5 no memory, 10 bad argument, 14 nothing found) and returns -1 or
// NULL. Main thread only; nothing is locked.
#pragma once

#include <cstdint>

#include "dialog/font_renderer.h"
#include "framework/list.h"
#include "texture/loader.h"
#include "window/wm.h"

struct widget_item_t;

// Class type ids.
enum : int32_t {
  WIDGET_WINDOW = 0,
  WIDGET_BUTTON = 1,
  WIDGET_IMG = 2,
  WIDGET_FRAME = 3,
  WIDGET_LINE = 4,
  WIDGET_LABEL = 5,
  WIDGET_FONT = 6,
  WIDGET_GROUP = 7,
  WIDGET_CHECKBOX = 8,
  WIDGET_RADIOBUTTON = 9,
  WIDGET_STYLE = 10,
  WIDGET_PROGRESS = 11,
};

// Message codes, the first word of the record a handler receives. 0 to 4
// are window events as the window manager delivered them.
typedef int32_t widget_msg_t;
enum : int32_t {
  WIDGET_MSG_KEY = 0,
  WIDGET_MSG_MOUSE = 1,
  WIDGET_MSG_WINDOW = 2,
  WIDGET_MSG_DRAW = 3,
  WIDGET_MSG_DROP = 4,
  WIDGET_MSG_DESTROY = 5,
  WIDGET_MSG_SHOW = 6,
  WIDGET_MSG_HIDE = 7,
  WIDGET_MSG_ENABLE = 8,
  WIDGET_MSG_DISABLE = 9,
  WIDGET_MSG_UPDATE = 10,
};

// The first serial base; each load starts above it.
constexpr int32_t WIDGET_SERIAL_BASE = 100000000;

typedef int32_t (*widget_callback_t)(widget_item_t *widget, wm_event_t *event);

struct widget_color_t {
  float r, g, b, a;
};

struct widget_style_t {
  widget_color_t border_top;
  widget_color_t border_bottom;
  widget_color_t border_left;
  widget_color_t border_right;
  widget_color_t fgcolor;
  widget_color_t bgcolor;
  widget_color_t ocolor;
  widget_color_t color;
  int32_t font_size;
  int32_t bold;
  int32_t italic;
  int32_t encoding;
  char *font_path;  // own copy
  frFont *font;     // shared; freed only by its creator
  int32_t background;
  int32_t border;
  int32_t onmouse;
  int32_t own_font;  // 1 in the FONT or STYLE that created font
};

struct widget_class_t {
  const char *tag;
  int32_t type;
  int32_t (*create)(widget_item_t *widget, int32_t count, char **names, char **values);
  int32_t (*handler)(widget_item_t *widget, wm_event_t *event);
};

struct widget_item_t {
  SYS_List_p set;           // the set as it stood when the element was read
  const widget_class_t *cls;
  wm_window_t *set_window;  // the set's first WINDOW's window; NULL before it
  wm_window_t *window;      // the window a WINDOW created
  int32_t resizable;
  int32_t drop;
  int32_t group_id;
  int32_t id;
  char *name;
  char *title;
  int32_t type;
  char *src;
  char *bg;
  int32_t filter;
  int32_t x, y;
  int32_t x2, y2;
  int32_t serial;
  int32_t width, height;
  int32_t text_width, text_height;
  float aspect;
  float depth;
  int32_t member_count;
  int32_t *members;
  int32_t visible;
  int32_t mouse_over;
  int32_t fullscreen;
  int32_t disabled;
  int32_t pressed;
  int32_t value;
  float value_f;
  char *value_s;
  widget_style_t style;
  int32_t font_id;
  txBitmap *bitmap;
  widget_callback_t callback;
  // PROGRESS: the text and font its bitmap was last rendered with.
  char drawn_text[16];
  const frFont *drawn_font;
};

// The class table, NULL-terminated, in the order tags are matched.
extern const widget_class_t *const widget_classes[];

extern const widget_class_t widget_class_window;
extern const widget_class_t widget_class_button;
extern const widget_class_t widget_class_img;
extern const widget_class_t widget_class_frame;
extern const widget_class_t widget_class_line;
extern const widget_class_t widget_class_label;
extern const widget_class_t widget_class_font;
extern const widget_class_t widget_class_group;
extern const widget_class_t widget_class_checkbox;
extern const widget_class_t widget_class_radiobutton;
extern const widget_class_t widget_class_style;
extern const widget_class_t widget_class_progress;

// What CHECKBOX and RADIOBUTTON share: the create up to its log line, and
// the handler, with what a press does to the value.
int32_t widget_check_create(widget_item_t *widget, int32_t type, int32_t count, char **names, char **values);
int32_t widget_check_proc(widget_item_t *widget, wm_event_t *event,
                          void (*press)(widget_item_t *widget, wm_event_t *event));

// LABEL's render: its bitmap filled with the background colour, the title
// drawn over it in the text colour; the font renderer's result.
int32_t widget_label_render(widget_item_t *widget);

// Set operations.
int32_t widget_init();
SYS_List_p widget_load(int32_t mode, const char *source);  // mode 1 file name, 0 text
// Takes effect at once, also from a callback of the set itself: its
// windows are gone (their queued events with them) and no widget of it is
// sent anything again; a walk over it stops where it stands.
int32_t widget_unload(SYS_List_p set);
int32_t widget_show_set(SYS_List_p set);
int32_t widget_hide_set(SYS_List_p set);
int32_t widget_draw_set(SYS_List_p set);
int32_t widget_process(SYS_List_p set);
int32_t widget_set_callback_all(SYS_List_p set, widget_callback_t callback);
widget_item_t *widget_find_type(SYS_List_p set, int32_t type);
widget_item_t *widget_find_id(SYS_List_p set, int32_t id);

// Single widgets.
int32_t widget_update(widget_item_t *widget);
int32_t widget_set_title(widget_item_t *widget, const char *text);
int32_t widget_set_src(widget_item_t *widget, const char *text);
int32_t widget_get_pos(widget_item_t *widget, int32_t *x, int32_t *y);
int32_t widget_get_size(widget_item_t *widget, int32_t *width, int32_t *height);
int32_t widget_set_pos(widget_item_t *widget, int32_t x, int32_t y);
int32_t widget_set_size(widget_item_t *widget, int32_t width, int32_t height);
int32_t widget_set_callback(widget_item_t *widget, widget_callback_t callback);
int32_t widget_hide(widget_item_t *widget);
int32_t widget_show(widget_item_t *widget);
int32_t widget_disable(widget_item_t *widget);
int32_t widget_enable(widget_item_t *widget);
int32_t widget_clear_disabled(widget_item_t *widget);
int32_t widget_get_value(widget_item_t *widget);
float widget_get_value_f(widget_item_t *widget);
const char *widget_get_value_s(widget_item_t *widget);

// Sends a message code (5 to 10, or draw) to one widget's handler in a
// record whose other words are zero; the handler's result, or -1.
int32_t widget_send(widget_item_t *widget, widget_msg_t message);
// The first widget with that id in the set as `from` saw it when it was
// read (from its set pointer on), without touching the last-error code;
// NULL when none. A loaded set answers from an index made at its load.
widget_item_t *widget_lookup_id(const widget_item_t *from, int32_t id);
// The set's first widget of a type as the set stands; NULL when none.
widget_item_t *widget_first_of_type(SYS_List_p set, int32_t type);
// The dispatcher installed as every WINDOW's window callback.
int32_t widget_window_event(wm_event_t *event);
// The serial the next load's first element would take, and a way to set
// it, for tests.
int32_t widget_next_serial();
void widget_set_next_serial(int32_t serial);

// ---- widget_utils: attribute parsing, colours, packing ----

// Value parsers of the widget file.
int32_t widget_parse_int(const char *text);     // saturates to 32 bits
float widget_parse_real(const char *text);      // locale-free; non-finite gives 0
widget_color_t widget_parse_colour(const char *text);
int32_t widget_parse_bool(const char *text);
int32_t widget_parse_filter(const char *text);
int32_t widget_parse_encoding(const char *text);
int32_t widget_parse_align(const char *text);
// VALUE: fills the integer, real or text field by the text's characters.
void widget_parse_value(widget_item_t *widget, const char *text);
// Replaces *slot with a copy of text (copy first, then free): 0 or -1.
int32_t widget_set_text(char **slot, const char *text);
// Copies a style block over the widget's own: a deep copy of the font
// path, a shared font that the widget does not own.
void widget_copy_style(widget_item_t *widget, const widget_style_t &style);

// The attribute pass: strict (an unknown name drops the widget) or
// lenient (unknown names skipped). 0, or -1 with error 10.
int32_t widget_parse_attributes(widget_item_t *widget, int32_t count, char **names, char **values,
                                int strict);
// The STYLE element's keys, applied in file order.
int32_t widget_parse_style_keys(widget_item_t *widget, int32_t count, char **names, char **values,
                                int32_t *halign, int32_t *valign);
// The class's default style block (all zero for classes without one).
widget_style_t widget_default_style(int32_t type);
// Frees every text and list a record owns (not the font).
void widget_free_texts(widget_item_t *widget);

// Colour parsers and setters, one per style slot: 0, or -1 with error 10.
int32_t widget_parse_fgcolor(widget_item_t *widget, const char *text);
int32_t widget_parse_bgcolor(widget_item_t *widget, const char *text);
int32_t widget_parse_ocolor(widget_item_t *widget, const char *text);
int32_t widget_parse_color(widget_item_t *widget, const char *text);
int32_t widget_parse_btc(widget_item_t *widget, const char *text);
int32_t widget_parse_bbc(widget_item_t *widget, const char *text);
int32_t widget_parse_blc(widget_item_t *widget, const char *text);
int32_t widget_parse_brc(widget_item_t *widget, const char *text);
int32_t widget_set_fgcolor(widget_item_t *widget, int32_t r, int32_t g, int32_t b, int32_t a);
int32_t widget_set_bgcolor(widget_item_t *widget, int32_t r, int32_t g, int32_t b, int32_t a);
int32_t widget_set_ocolor(widget_item_t *widget, int32_t r, int32_t g, int32_t b, int32_t a);
int32_t widget_set_color(widget_item_t *widget, int32_t r, int32_t g, int32_t b, int32_t a);
int32_t widget_set_btc(widget_item_t *widget, int32_t r, int32_t g, int32_t b, int32_t a);
int32_t widget_set_bbc(widget_item_t *widget, int32_t r, int32_t g, int32_t b, int32_t a);
int32_t widget_set_blc(widget_item_t *widget, int32_t r, int32_t g, int32_t b, int32_t a);
int32_t widget_set_brc(widget_item_t *widget, int32_t r, int32_t g, int32_t b, int32_t a);

// Packing for the font renderer (text colour) and for pixel fills, in the
// texture loader's channel order.
uint32_t widget_pack_color(float r, float g, float b, float a);
uint32_t widget_pack_fill(float r, float g, float b, float a);
void widget_fill(void *pixels, int32_t bytes, float r, float g, float b, float a);

// ---- widget_utils: drawing ----
//
// Widgets draw in the WINDOW's projection: GL y = window height - y. A
// widget draws only while visible and while its set's window has a
// context; otherwise nothing reaches OpenGL.

// The set window's height (0 without a window).
int32_t widget_window_height(const widget_item_t *widget);
// The GL y of the widget's top edge, window height - y.
//
// A widget's position and size are each any 32-bit number a file gives, so
// the drawing sums them in 64 bits; a vertex reaches OpenGL clamped to its
// 32-bit range, which leaves every on-screen vertex as it is.
int64_t widget_gl_top(const widget_item_t *widget);
void widget_vertex(int64_t x, int64_t y);
// Visible, with a set window that has a context.
bool widget_drawable(const widget_item_t *widget);
void widget_draw_background(widget_item_t *widget);
void widget_draw_border(widget_item_t *widget);
// Registers the widget's text bitmap under its name and draws it with its
// top-left corner at GL x, y. Nothing without a bitmap.
void widget_draw_text(int64_t x, int64_t y, widget_item_t *widget);
// The textured quad of the text extent, texture coordinates kept inside
// the bitmap; the texture must be bound.
void widget_text_quad(int64_t x, int64_t y, const widget_item_t *widget);
// Strictly inside the widget's rectangle (window-local, y downward).
bool widget_hit(const widget_item_t *widget, const wm_event_t *event);
// The user callback, if any; 1.
int32_t widget_callback(widget_item_t *widget, wm_event_t *event);
// Float to pixel count: truncated, kept in 0..65535 (NaN gives 0).
int32_t widget_clamp_size(float value);

// ---- widget_utils: text widgets ----

// The colour FONT and STYLE create their fonts with: opaque white, so
// that a text quad's colour is applied once, by the quad.
constexpr uint32_t WIDGET_FONT_WHITE = 0xFFFFFFFF;

// FONTID: takes the font of the widget with that id, looked up from the
// widget's set: a FONT's or a STYLE's, and no font from any other class.
// 0, or -1 with error 10 when no such widget. No font id: the style's font
// stands.
int32_t widget_resolve_font(widget_item_t *widget);
// A new empty 32-bit text bitmap of that size into widget->bitmap; 0, or
// -1 with error 5 when it cannot be allocated.
int32_t widget_text_bitmap(widget_item_t *widget, int32_t width, int32_t height);
// Bytes of font files held under a second spelling (FONT, STYLE with
// FONT-PATH). The font renderer knows a face by its file name, so a short
// file naming one font file under many spellings ("a.ttf", "./a.ttf")
// would hold it once per spelling; a distinct file is never counted.
constexpr uint64_t WIDGET_FONT_REPEAT_BUDGET = uint64_t(64) << 20;
// Registers a font file with the renderer (frLoadFace) unless the renderer
// holds that very file under another name already and one more copy would
// take the repeats it holds beyond the budget: it is then left unread,
// like a file that cannot be read, with a log line naming it.
void widget_load_face(const char *path);
// Bytes of texts one widget file's STYLE references may copy: each
// reference copies the style's font path, so a few bytes of reference
// could copy a long path again and again. A path names a file, so it is
// at most a few kilobytes long, and no dialog holds the thousands of
// references to one that would reach this.
constexpr uint64_t WIDGET_STYLE_COPY_BUDGET = uint64_t(64) << 20;
// Starts a new style copy budget; each widget file load calls it first.
void widget_style_budget_reset();
// Bytes of pictures (IMG, image BUTTON, WINDOW background) held under a
// second spelling. The texture manager knows a picture by its name, so a
// short file naming one picture file under many spellings ("a.png",
// "./a.png", ".//a.png") would decode it once per spelling; a distinct
// file is never counted.
constexpr uint64_t WIDGET_PICTURE_REPEAT_BUDGET = uint64_t(64) << 20;
// Loads a picture through the texture manager (tmLoad); 0, or -1 when it
// cannot be loaded, or with error 5 and a log line naming it when the
// manager holds that very file under another name already and one more
// copy would take the repeats it holds beyond the budget.
// A picture it decodes from a file is the widgets' own: the widget that
// removes it (widget_remove_picture) frees it.
int32_t widget_load_picture(const char *name, int32_t filter);
// Takes the picture of that name out of the texture manager (tmRemove) and
// frees its bitmap when widget_load_picture decoded it and no other name
// holds it; a bitmap a caller gave the manager stays the caller's.
void widget_remove_picture(const char *name);
// Registers a text bitmap under the widget's name (tmLoadBitmap, or
// tmReloadBitmap when reload) and returns its result. A picture
// widget_load_picture decoded under that name is freed as the text takes
// its place, unless another name holds it: the manager never frees a
// bitmap it drops.
int32_t widget_register_text(const char *name, pxBitmap bitmap, bool reload);
// Renders text into the bitmap (nothing without a font, bitmap or text).
int32_t widget_render_text(widget_item_t *widget, const char *text);
// Clears the bitmap's pixels to 0.
void widget_clear_bitmap(widget_item_t *widget);
// Sets the font's colour to the widget's text colour (a LABEL's glyphs).
void widget_tint_font(widget_item_t *widget);
// Renders text in opaque white on what the bitmap holds: the title of a
// BUTTON, CHECKBOX or RADIOBUTTON and a PROGRESS text, whose quads carry
// the text colour.
int32_t widget_render_plain(widget_item_t *widget, const char *text);
// Frees the text bitmap exactly once: takes its texture out of the
// manager first when the manager holds this very bitmap under the name.
// A set is unloaded before the manager's tmDeleteAll.
void widget_free_bitmap(widget_item_t *widget);
// "label-%d" (or another format) of the serial into the name.
int32_t widget_serial_name(widget_item_t *widget, const char *format);
// Text for a log line: "(null)" for none.
const char *widget_log_text(const char *text);
