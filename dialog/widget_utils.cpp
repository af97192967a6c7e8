// The widget file's attribute language (value parsers, the attribute
// table, the STYLE element's keys, the class default style blocks), the
// colour parsers and setters of a widget's style, and the packing of
// colours for the font renderer and for pixel fills, and the drawing and
// text-bitmap helpers the drawn widgets share.
//
// Numbers are read without the C locale's help, so a decimal point is a
// point whatever the process's locale; integers saturate to 32 bits and
// reals that are not finite read as 0. Texts are tracked copies that the
// record owns; a replaced text is copied before the old one is freed, so a
// widget's own text can be handed back to it.
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dialog/widget.h"
#include "framework/file.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "framework/strings.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"

namespace {

bool Same(const char *a, const char *b) { return a && b && strcasecmp(a, b) == 0; }

widget_color_t Bytes(int r, int g, int b, int a) {
  return {float(r & 255) / 255.0f, float(g & 255) / 255.0f, float(b & 255) / 255.0f, float(a & 255) / 255.0f};
}

// An earlier, successfully created widget with that id, without touching
// the last-error code.
widget_item_t *Earlier(const widget_item_t *widget, int32_t id) {
  for (SYS_List_p node = widget->set; node; node = node->next) {
    auto *item = static_cast<widget_item_t *>(node->data);
    if (item && item->id == id) return item;
  }
  return nullptr;
}

// Bytes of style texts copied since the widget file's load began.
uint64_t style_texts = 0;

// The files a holder (the texture manager, the font registry) keeps under
// the names they were loaded by, grouped by the file's identity, so that
// another spelling of a held file is told apart from a distinct file. An
// entry lives exactly as long as its holder keeps the name: the holder
// reports each one it lets go, so no identity outlives the name it was
// taken for. Bytes held under a second or later name of one file (the
// repeats) are kept as a running total. Every step costs O(log n) in the
// held files.
class HeldFiles {
public:
  // What the held file of this identity took, or 0 when none is held.
  uint64_t HeldBytes(const SYS_FileIdentity_t &identity) const {
    const auto it = groups_.find(identity);
    return it == groups_.end() ? 0 : it->second.bytes;
  }
  // Whether one more repeat of that many bytes stays within the bound.
  bool RepeatFits(uint64_t bytes, uint64_t limit) const {
    return bytes <= limit - std::min(repeats_, limit);
  }
  void Add(const void *holder, const SYS_FileIdentity_t &identity, uint64_t bytes) {
    Drop(holder);
    const auto [group, fresh] = groups_.try_emplace(identity, Group{bytes, 0});
    if (!fresh) repeats_ += group->second.bytes;
    group->second.holders += 1;
    holders_.emplace(holder, group);
  }
  void Drop(const void *holder) {
    const auto it = holders_.find(holder);
    if (it == holders_.end()) return;
    const auto group = it->second;
    holders_.erase(it);
    if (--group->second.holders > 0)
      repeats_ -= group->second.bytes;
    else
      groups_.erase(group);
  }

private:
  struct Group {
    uint64_t bytes;    // what the file took under its first name
    uint32_t holders;  // names it is held under
  };
  using Groups = std::map<SYS_FileIdentity_t, Group>;
  Groups groups_;
  std::unordered_map<const void *, Groups::iterator> holders_;
  uint64_t repeats_ = 0;
};

// Never destroyed: a holder may let names go from an exit handler.
HeldFiles &Faces() {
  static HeldFiles *faces = new HeldFiles;
  return *faces;
}

HeldFiles &Pictures() {
  static HeldFiles *pictures = new HeldFiles;
  return *pictures;
}

// The nodes whose bitmap widget_load_picture decoded, with that bitmap. A
// node leaves as the manager lets its bitmap go, whichever way; one is
// freed only while its node still holds the very bitmap decoded for it.
std::unordered_map<const tmNode *, const txBitmap *> &Decoded() {
  static auto *nodes = new std::unordered_map<const tmNode *, const txBitmap *>;
  return *nodes;
}

void FaceReleased(const frFace *face) { Faces().Drop(face); }
void PictureReleased(const tmNode *node) {
  Pictures().Drop(node);
  Decoded().erase(node);
}

int32_t ApplyStyleReference(widget_item_t *w, const char *value) {
  widget_item_t *style = Earlier(w, widget_parse_int(value));
  if (!style || style->type != WIDGET_STYLE) {
    SYS_Log(1, "[widget][utils]  ! requested item isn't style.\n");
    SYS_ErrorSet(10);
    return -1;
  }
  // Refused like a copy that cannot be allocated: the widget is dropped.
  const uint64_t bytes = style->style.font_path ? strlen(style->style.font_path) + 1 : 0;
  if (bytes > WIDGET_STYLE_COPY_BUDGET - std::min(style_texts, WIDGET_STYLE_COPY_BUDGET)) {
    SYS_Log(1, "[widget][utils]  ! style texts of this file would take more than %llu bytes.\n",
            static_cast<unsigned long long>(WIDGET_STYLE_COPY_BUDGET));
    SYS_ErrorSet(5);
    return -1;
  }
  style_texts += bytes;
  widget_copy_style(w, style->style);
  return 0;
}

// One attribute: its name, its code and what it does to the record.
struct Attribute {
  const char *name;
  int32_t code;
  int32_t (*apply)(widget_item_t *w, const char *value);
};

#define TEXT(field) [](widget_item_t *w, const char *v) { return widget_set_text(&w->field, v); }
#define INT(field) [](widget_item_t *w, const char *v) { w->field = widget_parse_int(v); return 0; }

const Attribute kAttributes[] = {
    {"WIDTH", 1, INT(width)},
    {"HEIGHT", 2, INT(height)},
    {"X", 3, INT(x)},
    {"Y", 4, INT(y)},
    {"TITLE", 5, TEXT(title)},
    {"ID", 6, INT(id)},
    {"FULLSCREEN", 7, INT(fullscreen)},
    {"BGCOLOR", 8, widget_parse_bgcolor},
    {"BGFILTER", 9, [](widget_item_t *w, const char *v) { w->filter = widget_parse_filter(v); return 0; }},
    {"BG", 10, TEXT(bg)},
    {"SRC", 11, TEXT(src)},
    {"ASPECT", 12, [](widget_item_t *w, const char *v) { w->aspect = widget_parse_real(v); return 0; }},
    {"FGCOLOR", 13, widget_parse_fgcolor},
    {"X2", 14, INT(x2)},
    {"Y2", 15, INT(y2)},
    {"DEPTH", 16, [](widget_item_t *w, const char *v) { w->depth = widget_parse_real(v); return 0; }},
    {"OCOLOR", 17, widget_parse_ocolor},
    {"COLOR", 18, widget_parse_color},
    {"NAME", 19, TEXT(name)},
    {"SIZE", 20, INT(style.font_size)},
    {"BOLD", 21, [](widget_item_t *w, const char *v) { w->style.bold = widget_parse_bool(v); return 0; }},
    {"ITALIC", 22, [](widget_item_t *w, const char *v) { w->style.italic = widget_parse_bool(v); return 0; }},
    {"FONTID", 23, INT(font_id)},
    {"ENCODING", 24,
     [](widget_item_t *w, const char *v) { w->style.encoding = widget_parse_encoding(v); return 0; }},
    {"FONTNAME", 25, TEXT(style.font_path)},
    {"WID", 26, [](widget_item_t *, const char *) { return 0; }},  // read by GROUP's create
    {"GID", 28, INT(group_id)},
    {"STYLE", 29, ApplyStyleReference},
    {"VALUE", 30, [](widget_item_t *w, const char *v) { widget_parse_value(w, v); return 0; }},
    {"RESIZEABLE", 31, [](widget_item_t *w, const char *v) { w->resizable = widget_parse_bool(v); return 0; }},
    {"DND", 32, [](widget_item_t *w, const char *v) { w->drop = widget_parse_bool(v); return 0; }},
};

#undef TEXT
#undef INT

// The STYLE element's keys; alignments go to the caller, not the record.
struct StyleKey {
  const char *name;
  void (*apply)(widget_item_t *w, const char *value, int32_t *halign, int32_t *valign);
};

#define COLOUR(parser) [](widget_item_t *w, const char *v, int32_t *, int32_t *) { parser(w, v); }

const StyleKey kStyleKeys[] = {
    {"BAC",
     [](widget_item_t *w, const char *v, int32_t *, int32_t *) {
       widget_parse_btc(w, v);
       widget_parse_bbc(w, v);
       widget_parse_blc(w, v);
       widget_parse_brc(w, v);
     }},
    {"BTC", COLOUR(widget_parse_btc)},
    {"BBC", COLOUR(widget_parse_bbc)},
    {"BLC", COLOUR(widget_parse_blc)},
    {"BRC", COLOUR(widget_parse_brc)},
    {"FC", COLOUR(widget_parse_fgcolor)},
    {"BC", COLOUR(widget_parse_bgcolor)},
    {"TC", COLOUR(widget_parse_color)},
    {"OC", COLOUR(widget_parse_ocolor)},
    {"FONT-SIZE", [](widget_item_t *w, const char *v, int32_t *, int32_t *) { w->style.font_size = widget_parse_int(v); }},
    {"FONT-BOLD", [](widget_item_t *w, const char *v, int32_t *, int32_t *) { w->style.bold = widget_parse_int(v); }},
    {"FONT-ITALIC", [](widget_item_t *w, const char *v, int32_t *, int32_t *) { w->style.italic = widget_parse_int(v); }},
    {"FONT-ENCODING",
     [](widget_item_t *w, const char *v, int32_t *, int32_t *) { w->style.encoding = widget_parse_encoding(v); }},
    {"FONT-PATH", [](widget_item_t *w, const char *v, int32_t *, int32_t *) { widget_set_text(&w->style.font_path, v); }},
    {"TEXT-VALIGN", [](widget_item_t *, const char *v, int32_t *, int32_t *valign) { *valign = widget_parse_align(v); }},
    {"TEXT-HALIGN", [](widget_item_t *, const char *v, int32_t *halign, int32_t *) { *halign = widget_parse_align(v); }},
    {"BACKGROUND", [](widget_item_t *w, const char *v, int32_t *, int32_t *) { w->style.background = widget_parse_bool(v); }},
    {"BORDER", [](widget_item_t *w, const char *v, int32_t *, int32_t *) { w->style.border = widget_parse_bool(v); }},
    {"ONMOUSE", [](widget_item_t *w, const char *v, int32_t *, int32_t *) { w->style.onmouse = widget_parse_bool(v); }},
};

#undef COLOUR

// Words of the filter, encoding and alignment attributes.
struct Word {
  const char *word;
  int32_t value;
};

const Word kFilters[] = {{"nearest", 0}, {"linear", 1}, {"mipmap_nearest", 2}, {"mipmap_linear", 3}};
const Word kEncodings[] = {{"UNICODE", FR_ENC_UCS2},   {"UTF8", FR_ENC_UTF8},
                           {"ISO-8859-1", FR_ENC_ISO8859_1}, {"ISO88591", FR_ENC_ISO8859_1},
                           {"ISO-8859-2", FR_ENC_ISO8859_2}, {"ISO88592", FR_ENC_ISO8859_2}};
const Word kAligns[] = {{"none", FR_ALIGN_NONE},        {"top", FR_VALIGN_TOP},   {"bottom", FR_VALIGN_BOTTOM},
                        {"center", FR_HALIGN_CENTER},   {"middle", FR_HALIGN_CENTER}, {"left", FR_HALIGN_LEFT},
                        {"right", FR_HALIGN_RIGHT}};

template <size_t N>
int32_t Lookup(const Word (&words)[N], const char *text, int32_t otherwise) {
  for (const Word &w : words)
    if (Same(w.word, text)) return w.value;
  return otherwise;
}

// The eight colour slots by their parser/setter family.
widget_color_t widget_style_t::*const kFg = &widget_style_t::fgcolor;

int32_t ParseSlot(widget_item_t *w, widget_color_t widget_style_t::*slot, const char *text) {
  SYS_ErrorClear();
  if (!w) {
    SYS_ErrorSet(10);
    return -1;
  }
  w->style.*slot = widget_parse_colour(text);
  widget_update(w);
  return 0;
}

int32_t SetSlot(widget_item_t *w, widget_color_t widget_style_t::*slot, int32_t r, int32_t g, int32_t b,
                int32_t a) {
  SYS_ErrorClear();
  if (!w) {
    SYS_ErrorSet(10);
    return -1;
  }
  w->style.*slot = Bytes(r, g, b, a);
  widget_update(w);
  return 0;
}

uint8_t Byte(float channel) { return static_cast<uint8_t>(static_cast<int32_t>(channel * 255.0f) & 255); }

}  // namespace

int32_t widget_parse_int(const char *text) { return SYS_StrToInt(text); }

float widget_parse_real(const char *text) {
  const float value = static_cast<float>(SYS_StrToReal(text));
  return std::isfinite(value) ? value : 0.0f;
}

widget_color_t widget_parse_colour(const char *text) {
  if (!text) return {};
  while (*text == ' ' || *text == '\t') ++text;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  uint64_t value = 0;
  int digits = 0;
  for (; *text; ++text, ++digits) {
    const char c = *text;
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      break;
    value = value * 16 + d;
    if (value > 0xFFFFFFFFull) value = 0x100000000ull;  // saturated, stays there
  }
  if (digits == 0) return {};
  if (value > 0xFFFFFFFFull) return {1.0f, 1.0f, 1.0f, 1.0f};
  const auto v = static_cast<uint32_t>(value);
  return Bytes(int(v >> 24), int(v >> 16), int(v >> 8), int(v));
}

int32_t widget_parse_bool(const char *text) {
  if (!text) return 0;
  if (strcmp(text, "1") == 0) return 1;
  for (const char *word : {"true", "yes", "on", "enable"})
    if (Same(word, text)) return 1;
  return 0;
}

int32_t widget_parse_filter(const char *text) { return Lookup(kFilters, text, 1); }
int32_t widget_parse_encoding(const char *text) { return Lookup(kEncodings, text, -1); }
int32_t widget_parse_align(const char *text) { return Lookup(kAligns, text, FR_ALIGN_NONE); }

void widget_parse_value(widget_item_t *w, const char *text) {
  if (!text) text = "";
  bool point = false;
  for (const char *p = text; *p; ++p) {
    if (*p == '.') {
      point = true;
    } else if (*p < '0' || *p > '9') {
      widget_set_text(&w->value_s, text);
      return;
    }
  }
  if (point)
    w->value_f = widget_parse_real(text);
  else
    w->value = widget_parse_int(text);
}

int32_t widget_set_text(char **slot, const char *text) {
  char *copy = STRDUP(text ? text : "");
  if (!copy) {
    SYS_ErrorSet(5);
    return -1;
  }
  if (*slot) SYS_MEMFREE(*slot);
  *slot = copy;
  return 0;
}

void widget_copy_style(widget_item_t *w, const widget_style_t &style) {
  char *path = style.font_path ? STRDUP(style.font_path) : nullptr;
  if (w->style.own_font && w->style.font) frFreeFont(w->style.font);
  if (w->style.font_path) SYS_MEMFREE(w->style.font_path);
  w->style = style;
  w->style.font_path = path;
  w->style.own_font = 0;
}

int32_t widget_parse_attributes(widget_item_t *w, int32_t count, char **names, char **values, int strict) {
  for (int32_t i = 0; i < count; ++i) {
    const Attribute *found = nullptr;
    for (const Attribute &a : kAttributes)
      if (Same(a.name, names[i])) found = &a;
    if (!found) {
      if (!strict) continue;
      SYS_Log(1, "[widget][utils]  ! unknown parameter: %s(%s)\n", names[i], values[i] ? values[i] : "");
      SYS_ErrorSet(10);
      return -1;
    }
    if (found->apply(w, values[i] ? values[i] : "") != 0) return -1;
  }
  return 0;
}

int32_t widget_parse_style_keys(widget_item_t *w, int32_t count, char **names, char **values, int32_t *halign,
                                int32_t *valign) {
  for (int32_t i = 0; i < count; ++i)
    for (const StyleKey &k : kStyleKeys)
      if (Same(k.name, names[i])) k.apply(w, values[i] ? values[i] : "", halign, valign);
  return 0;
}

widget_style_t widget_default_style(int32_t type) {
  widget_style_t s{};
  const widget_color_t steel = Bytes(121, 129, 142, 255), slate = Bytes(51, 64, 81, 255),
                       white = Bytes(255, 255, 255, 255);
  switch (type) {
    case WIDGET_WINDOW:
      s.bgcolor = Bytes(33, 43, 59, 255);
      s.background = 1;
      break;
    case WIDGET_FRAME:
      s.fgcolor = steel;
      s.bgcolor = slate;
      s.background = s.border = 1;
      break;
    case WIDGET_LINE:
    case WIDGET_LABEL:
      s.fgcolor = steel;
      break;
    case WIDGET_BUTTON:
    case WIDGET_CHECKBOX:
    case WIDGET_RADIOBUTTON:
      s.fgcolor = s.ocolor = steel;
      s.bgcolor = slate;
      s.color = white;
      s.background = s.border = s.onmouse = 1;
      break;
    case WIDGET_PROGRESS:
      s.fgcolor = s.ocolor = steel;
      s.bgcolor = slate;
      s.color = white;
      s.background = s.border = 1;
      break;
    default:  // IMG, FONT, GROUP, STYLE
      break;
  }
  return s;
}

void widget_free_texts(widget_item_t *w) {
  for (char **text : {&w->name, &w->title, &w->src, &w->bg, &w->value_s, &w->style.font_path})
    if (*text) SYS_MEMFREE(*text);
  if (w->members) SYS_MEMFREE(w->members);
  w->member_count = 0;
}

int32_t widget_parse_fgcolor(widget_item_t *w, const char *t) { return ParseSlot(w, kFg, t); }
int32_t widget_parse_bgcolor(widget_item_t *w, const char *t) { return ParseSlot(w, &widget_style_t::bgcolor, t); }
int32_t widget_parse_ocolor(widget_item_t *w, const char *t) { return ParseSlot(w, &widget_style_t::ocolor, t); }
int32_t widget_parse_color(widget_item_t *w, const char *t) { return ParseSlot(w, &widget_style_t::color, t); }
int32_t widget_parse_btc(widget_item_t *w, const char *t) { return ParseSlot(w, &widget_style_t::border_top, t); }
int32_t widget_parse_bbc(widget_item_t *w, const char *t) { return ParseSlot(w, &widget_style_t::border_bottom, t); }
int32_t widget_parse_blc(widget_item_t *w, const char *t) { return ParseSlot(w, &widget_style_t::border_left, t); }
int32_t widget_parse_brc(widget_item_t *w, const char *t) { return ParseSlot(w, &widget_style_t::border_right, t); }

int32_t widget_set_fgcolor(widget_item_t *w, int32_t r, int32_t g, int32_t b, int32_t a) {
  return SetSlot(w, kFg, r, g, b, a);
}
int32_t widget_set_bgcolor(widget_item_t *w, int32_t r, int32_t g, int32_t b, int32_t a) {
  return SetSlot(w, &widget_style_t::bgcolor, r, g, b, a);
}
int32_t widget_set_ocolor(widget_item_t *w, int32_t r, int32_t g, int32_t b, int32_t a) {
  return SetSlot(w, &widget_style_t::ocolor, r, g, b, a);
}
int32_t widget_set_color(widget_item_t *w, int32_t r, int32_t g, int32_t b, int32_t a) {
  return SetSlot(w, &widget_style_t::color, r, g, b, a);
}
int32_t widget_set_btc(widget_item_t *w, int32_t r, int32_t g, int32_t b, int32_t a) {
  return SetSlot(w, &widget_style_t::border_top, r, g, b, a);
}
int32_t widget_set_bbc(widget_item_t *w, int32_t r, int32_t g, int32_t b, int32_t a) {
  return SetSlot(w, &widget_style_t::border_bottom, r, g, b, a);
}
int32_t widget_set_blc(widget_item_t *w, int32_t r, int32_t g, int32_t b, int32_t a) {
  return SetSlot(w, &widget_style_t::border_left, r, g, b, a);
}
int32_t widget_set_brc(widget_item_t *w, int32_t r, int32_t g, int32_t b, int32_t a) {
  return SetSlot(w, &widget_style_t::border_right, r, g, b, a);
}

uint32_t widget_pack_color(float r, float g, float b, float a) {
  const uint32_t R = Byte(r), G = Byte(g), B = Byte(b), A = Byte(a);
  if (txState.order == TX_RED_FIRST) return R << 24 | G << 16 | B << 8 | A;
  return A << 24 | B << 16 | G << 8 | R;
}

uint32_t widget_pack_fill(float r, float g, float b, float a) {
  const uint8_t bytes[4] = {Byte(r), Byte(g), Byte(b), Byte(a)};
  uint8_t memory[4];
  if (txState.order == TX_RED_FIRST) {
    memcpy(memory, bytes, 4);
  } else {
    for (int i = 0; i < 4; ++i) memory[i] = bytes[3 - i];
  }
  uint32_t pixel;
  memcpy(&pixel, memory, 4);
  return pixel;
}

void widget_fill(void *pixels, int32_t bytes, float r, float g, float b, float a) {
  if (!pixels || bytes < 4) return;
  const uint32_t pixel = widget_pack_fill(r, g, b, a);
  auto *out = static_cast<uint8_t *>(pixels);
  for (int32_t i = bytes / 4 - 1; i >= 0; --i) memcpy(out + size_t(i) * 4, &pixel, 4);
}

// ---- drawing ----

int32_t widget_window_height(const widget_item_t *w) {
  if (!w || !w->set_window) return 0;
  return static_cast<int32_t>(wmParam(w->set_window, WM_HEIGHT, 0));
}

int64_t widget_gl_top(const widget_item_t *w) { return int64_t(widget_window_height(w)) - w->y; }

void widget_vertex(int64_t x, int64_t y) {
  constexpr int64_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  gl_stub_table.glVertex2i(int32_t(std::clamp(x, lo, hi)), int32_t(std::clamp(y, lo, hi)));
}

bool widget_drawable(const widget_item_t *w) {
  return w && w->visible && w->set_window && w->set_window->context;
}

void widget_draw_background(widget_item_t *w) {
  const bool over = w->style.onmouse && w->mouse_over;
  if (!w->style.background && !over) return;
  const auto &gl = gl_stub_table;
  const int64_t x = w->x, Y = widget_gl_top(w), W = w->width, H = w->height;
  gl.glColor4fv(w->mouse_over ? &w->style.ocolor.r : &w->style.bgcolor.r);
  gl.glBegin(GL_QUADS);
  widget_vertex(x, Y);
  widget_vertex(x, Y - H);
  widget_vertex(x + W, Y - H);
  widget_vertex(x + W, Y);
  gl.glEnd();
}

void widget_draw_border(widget_item_t *w) {
  if (!w->style.border) return;
  const auto &gl = gl_stub_table;
  const int64_t x = w->x, Y = widget_gl_top(w), W = w->width, H = w->height;
  gl.glBegin(GL_QUADS);
  gl.glColor4fv(&w->style.border_left.r);
  widget_vertex(x, Y);
  widget_vertex(x + 1, Y);
  widget_vertex(x + 1, Y - H + 1);
  widget_vertex(x, Y - H + 1);
  gl.glColor4fv(&w->style.border_top.r);
  widget_vertex(x, Y);
  widget_vertex(x + W, Y);
  widget_vertex(x + W, Y - 1);
  widget_vertex(x, Y - 1);
  gl.glColor4fv(&w->style.border_right.r);
  widget_vertex(x + W, Y);
  widget_vertex(x + W, Y - H + 1);
  widget_vertex(x + W - 1, Y - H + 1);
  widget_vertex(x + W - 1, Y);
  gl.glColor4fv(&w->style.border_bottom.r);
  widget_vertex(x + W, Y - H);
  widget_vertex(x, Y - H);
  widget_vertex(x, Y - H + 1);
  widget_vertex(x + W, Y - H + 1);
  gl.glEnd();
}

void widget_text_quad(int64_t x, int64_t y, const widget_item_t *w) {
  const txBitmap *b = w->bitmap;
  if (!b || b->width <= 0 || b->height <= 0) return;
  // A text wider or taller than its bitmap shows what the bitmap holds.
  const int32_t tw = std::clamp(w->text_width, 0, b->width), th = std::clamp(w->text_height, 0, b->height);
  const float s = float(tw) / float(b->width), t = float(th) / float(b->height);
  const auto &gl = gl_stub_table;
  gl.glBegin(GL_QUADS);
  gl.glTexCoord2f(0, t);
  widget_vertex(x, y - th);
  gl.glTexCoord2f(0, 0);
  widget_vertex(x, y);
  gl.glTexCoord2f(s, 0);
  widget_vertex(x + tw, y);
  gl.glTexCoord2f(s, t);
  widget_vertex(x + tw, y - th);
  gl.glEnd();
}

void widget_draw_text(int64_t x, int64_t y, widget_item_t *w) {
  if (!w->bitmap || !w->name) return;
  const auto &gl = gl_stub_table;
  gl.glEnable(GL_TEXTURE_2D);
  gl.glEnable(GL_BLEND);
  gl.glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
  if (widget_register_text(w->name, w->bitmap, false) < 0) return;
  gl.glColor4fv(&w->style.color.r);
  widget_text_quad(x, y, w);
}

bool widget_hit(const widget_item_t *w, const wm_event_t *e) {
  const int64_t ex = e->mouse.x, ey = e->mouse.y;
  return w->x < ex && ex < int64_t(w->x) + w->width && w->y < ey && ey < int64_t(w->y) + w->height;
}

int32_t widget_callback(widget_item_t *w, wm_event_t *e) {
  if (w->callback) w->callback(w, e);
  return 1;
}

int32_t widget_clamp_size(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 65535.0f) return 65535;
  return static_cast<int32_t>(value);
}

// ---- text widgets ----

int32_t widget_resolve_font(widget_item_t *w) {
  if (!w->font_id) return 0;
  widget_item_t *font = Earlier(w, w->font_id);
  if (!font) {
    SYS_ErrorSet(10);
    return -1;
  }
  // Only font definitions lend their font: a text widget's block may hold
  // a font copied from a style, which is not its to give.
  w->style.font = font->type == WIDGET_FONT || font->type == WIDGET_STYLE ? font->style.font : nullptr;
  w->style.own_font = 0;
  return 0;
}

void widget_style_budget_reset() { style_texts = 0; }

void widget_load_face(const char *path) {
  if (!path) return;
  if (frFindFace(path)) return;
  // A name no source serves goes to frLoadFace all the same, which reports
  // it as the open fails.
  SYS_FileIdentity_t identity{};
  const bool identified = SYS_FileIdentify(path, &identity) == 0;
  SYS_ErrorClear();
  if (identified) {
    const uint64_t repeat = Faces().HeldBytes(identity);
    if (repeat && !Faces().RepeatFits(repeat, WIDGET_FONT_REPEAT_BUDGET)) {
      SYS_Log(1, "[widget]  ! repeated font files would take more than %llu bytes: %s\n",
              static_cast<unsigned long long>(WIDGET_FONT_REPEAT_BUDGET), path);
      return;
    }
  }
  if (frLoadFace(path) != 0 || !identified) return;
  frOnRelease = FaceReleased;
  const frFace *face = frFindFace(path);
  Faces().Add(face, identity, uint64_t(std::max(face->buffer_size, 0)));
}

int32_t widget_text_bitmap(widget_item_t *w, int32_t width, int32_t height) {
  w->bitmap = txCreateDummy(TX_LAYOUT_RGBA, width, height);
  if (!w->bitmap) {
    SYS_ErrorSet(5);
    return -1;
  }
  SYS_ErrorClear();
  return 0;
}

namespace {
uint64_t PictureBytes(const txBitmap *b) {
  uint64_t bytes = 0;
  for (int32_t level = 0; b && level < std::min(b->levels, TX_MAX_LEVELS); ++level) bytes += b->imagesize[level];
  return bytes;
}
}  // namespace

int32_t widget_load_picture(const char *name, int32_t filter) {
  const bool held = tmFind(name) != nullptr;
  SYS_ErrorClear();
  SYS_FileIdentity_t identity{};
  const bool identified = !held && SYS_FileIdentify(name, &identity) == 0;
  SYS_ErrorClear();
  if (identified) {
    // A repeat decodes to what the held one took, so it is measured
    // before it is decoded.
    const uint64_t repeat = Pictures().HeldBytes(identity);
    if (repeat && !Pictures().RepeatFits(repeat, WIDGET_PICTURE_REPEAT_BUDGET)) {
      SYS_Log(1, "[widget]  ! repeated pictures would take more than %llu bytes: %s\n",
              static_cast<unsigned long long>(WIDGET_PICTURE_REPEAT_BUDGET), name);
      SYS_ErrorSet(5);
      return -1;
    }
  }
  if (tmLoad(name, filter) < 0) return -1;
  if (held) return 0;
  tmOnRelease = PictureReleased;
  const tmNode *node = tmFind(name);  // the newest node: found at once
  Decoded()[node] = node->bitmap;
  if (identified) Pictures().Add(node, identity, PictureBytes(node->bitmap));
  return 0;
}

namespace {

// The picture widget_load_picture decoded for the node of that name, while
// that node still holds it; NULL otherwise.
pxBitmap DecodedUnder(const char *name) {
  const tmNode *node = name ? tmFind(name) : nullptr;
  const auto it = node ? Decoded().find(node) : Decoded().end();
  return it != Decoded().end() && it->second == node->bitmap ? node->bitmap : nullptr;
}

// Frees a decoded picture the manager has just let go, unless another name
// still holds it. The last-error code stays as the caller left it.
void FreeIfUnheld(pxBitmap decoded) {
  if (!decoded) return;
  for (SYS_List_p l = tmNodes; l; l = l->next)
    if (static_cast<const tmNode *>(l->data)->bitmap == decoded) return;
  const int32_t code = SYS_ErrorGet();
  txFree(&decoded);
  if (code) SYS_ErrorSet(code);
}

}  // namespace

void widget_remove_picture(const char *name) {
  pxBitmap decoded = DecodedUnder(name);
  tmRemove(name);  // its code stands, as the callers have always seen it
  FreeIfUnheld(decoded);
}

int32_t widget_register_text(const char *name, pxBitmap bitmap, bool reload) {
  pxBitmap decoded = DecodedUnder(name);
  const int32_t result = reload ? tmReloadBitmap(name, bitmap) : tmLoadBitmap(name, bitmap, TM_FILTER_LINEAR);
  if (decoded != bitmap) FreeIfUnheld(decoded);
  return result;
}

int32_t widget_render_text(widget_item_t *w, const char *text) {
  if (!w->style.font || !w->bitmap || !text || !*text) return 0;
  return frRender(w->style.font, w->bitmap, text, &w->text_width, &w->text_height);
}

void widget_clear_bitmap(widget_item_t *w) {
  if (w->bitmap && w->bitmap->image[0]) memset(w->bitmap->image[0], 0, w->bitmap->imagesize[0]);
}

void widget_tint_font(widget_item_t *w) {
  if (!w->style.font) return;
  const widget_color_t &c = w->style.color;
  frSetColor(w->style.font, widget_pack_color(c.r, c.g, c.b, c.a));
}

int32_t widget_render_plain(widget_item_t *w, const char *text) {
  // A LABEL sharing the font may have left its own colour in it.
  if (w->style.font) frSetColor(w->style.font, WIDGET_FONT_WHITE);
  return widget_render_text(w, text);
}

void widget_free_bitmap(widget_item_t *w) {
  if (!w->bitmap) return;
  const int32_t code = SYS_ErrorGet();
  if (w->name && tmFind(w->name) && tmGetBitmap(w->name) == w->bitmap) tmRemove(w->name);
  txFree(&w->bitmap);
  w->bitmap = nullptr;
  SYS_ErrorClear();
  if (code) SYS_ErrorSet(code);
}

int32_t widget_serial_name(widget_item_t *w, const char *format) {
  char name[32];
  snprintf(name, sizeof name, format, w->serial);
  return widget_set_text(&w->name, name);
}

const char *widget_log_text(const char *text) { return text ? text : "(null)"; }
