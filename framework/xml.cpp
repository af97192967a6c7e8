// The XML reader: a walk over one input text that reports tags to callbacks.
//
// The input is kept as one terminated copy; the walk copies each tag and
// each text into two scratch buffers one byte longer than the input, so no
// copy can outgrow its buffer, and every search is bounded by the input's
// end. The attributes of the tag being reported live in the handle until
// the next tag is split or the handle is closed.
//
// The entity decoder is a chain of whole-text replacements applied in table
// order; each pass's intermediate text is released as soon as the next one
// exists, so only the final text survives and it belongs to the caller.
#include "framework/xml.h"

#include <cstring>
#include <string>
#include <string_view>

#include "framework/file.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "framework/strings.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void ReleaseAttributes(SYS_XML_p xml) {
  for (int32_t i = 0; i < xml->count; ++i) {
    if (xml->names) SYS_MEMFREE(xml->names[i]);
    if (xml->values) SYS_MEMFREE(xml->values[i]);
  }
  SYS_MEMFREE(xml->names);
  SYS_MEMFREE(xml->values);
  xml->count = 0;
}

// Makes room for one more attribute. The arrays grow geometrically so a tag
// with very many attributes costs linear time, not quadratic copying.
bool GrowAttributes(SYS_XML_p xml) {
  size_t need = static_cast<size_t>(xml->count) + 1;
  size_t have = xml->names ? static_cast<size_t>(SYS_MemSize(xml->names)) / sizeof(char *) : 0;
  if (need > have) {
    size_t grown = have < 4 ? 4 : have * 2;
    if (!SYS_MemRealloc(&xml->names, grown * sizeof(char *), __FILE__, __LINE__, "XML attrs"))
      return false;
    if (!SYS_MemRealloc(&xml->values, grown * sizeof(char *), __FILE__, __LINE__, "XML values"))
      return false;
  }
  return true;
}

bool AddAttribute(SYS_XML_p xml, std::string_view name, std::string_view value) {
  std::string n(name), v(value);
  for (char &c : n)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  SYS_StrTrim(n.data());
  n.resize(strlen(n.c_str()));
  if (!GrowAttributes(xml)) return false;
  char *name_copy = STRDUP(n.c_str());
  char *value_copy = STRDUP(v.c_str());
  if (!name_copy || !value_copy) {
    SYS_MEMFREE(name_copy);
    SYS_MEMFREE(value_copy);
    return false;
  }
  xml->names[xml->count] = name_copy;
  xml->values[xml->count] = value_copy;
  xml->count++;
  return true;
}

// The entity table: five named entities, then "&#1;" .. "&#255;" each to
// the byte of that value. Applied in this order, one pass per entry.
struct Entity {
  char text[8];
  char replacement[2];
};

struct EntityTable {
  Entity rows[260];
  EntityTable() : rows() {
    const char *named[5][2] = {{"&gt;", ">"}, {"&lt;", "<"}, {"&quot;", "\""}, {"&tilde;", "~"}, {"&amp;", "&"}};
    for (int i = 0; i < 5; ++i) {
      for (int k = 0; named[i][0][k]; ++k) rows[i].text[k] = named[i][0][k];
      rows[i].replacement[0] = named[i][1][0];
    }
    for (int v = 1; v <= 255; ++v) {
      Entity &e = rows[4 + v];
      int k = 0;
      e.text[k++] = '&';
      e.text[k++] = '#';
      if (v >= 100) e.text[k++] = static_cast<char>('0' + v / 100);
      if (v >= 10) e.text[k++] = static_cast<char>('0' + v / 10 % 10);
      e.text[k++] = static_cast<char>('0' + v % 10);
      e.text[k++] = ';';
      e.replacement[0] = static_cast<char>(v);
    }
  }
};

const EntityTable &Entities() {
  static const EntityTable table;
  return table;
}

}  // namespace

SYS_XML_p SYS_XmlOpen(int32_t type, const char *source) {
  SYS_ErrorClear();
  if (type != SYS_XML_SOURCE_TEXT && type != SYS_XML_SOURCE_FILE) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  if (!source) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  auto *xml = SYS_MEMGET(SYS_XML_t, 1, "new xml handle");
  if (!xml) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  xml->type = type;

  if (type == SYS_XML_SOURCE_FILE) {
    SYS_File_p file = SYS_FileOpen(source, SYS_FILE_TEXT);
    int32_t open_code = SYS_ErrorGet();
    SYS_Log(1, "[xml] open input file: %s\n", source);
    if (!file) {
      SYS_MEMFREE(xml);
      SYS_ErrorSet(open_code);
      return nullptr;
    }
    int32_t size = SYS_FileSize(source);
    if (size < 0) {
      int32_t code = SYS_ErrorGet();
      SYS_FileClose(file);
      SYS_MEMFREE(xml);
      SYS_ErrorSet(code ? code : 1);
      return nullptr;
    }
    xml->buffer = static_cast<char *>(SYS_MemGet(static_cast<size_t>(size) + 1, __FILE__, __LINE__, "buffer"));
    xml->filename = xml->buffer ? STRDUP(source) : nullptr;
    if (!xml->buffer || !xml->filename) {
      SYS_FileClose(file);
      SYS_MEMFREE(xml->buffer);
      SYS_MEMFREE(xml);
      SYS_ErrorSet(5);
      return nullptr;
    }
    // A short read would hand the parser a text that is not the file.
    int32_t got = size ? SYS_FileRead(file, xml->buffer, size) : 0;
    if (got != size) {
      int32_t code = SYS_ErrorGet();
      SYS_FileClose(file);
      SYS_MEMFREE(xml->buffer);
      SYS_MEMFREE(xml->filename);
      SYS_MEMFREE(xml);
      SYS_ErrorSet(code ? code : 1);
      return nullptr;
    }
    xml->buffer[size] = 0;
    SYS_FileClose(file);
    SYS_ErrorClear();
    return xml;
  }

  SYS_Log(1, "[xml] open input buffer: %p\n", static_cast<const void *>(source));
  xml->buffer = STRDUP(source);
  if (!xml->buffer) {
    SYS_MEMFREE(xml);
    SYS_ErrorSet(5);
    return nullptr;
  }
  return xml;
}

int SYS_XmlSetCallbacks(SYS_XML_p xml, SYS_XmlStart_t start, SYS_XmlText_t text, SYS_XmlEnd_t end,
                        uintptr_t user) {
  SYS_ErrorClear();
  if (!xml) {
    SYS_ErrorSet(10);
    return -1;
  }
  xml->start = start;
  xml->text = text;
  xml->end = end;
  xml->user = user;
  return 0;
}

int SYS_XmlParseTag(SYS_XML_p xml, char *tag) {
  if (!xml || !tag) {
    SYS_ErrorSet(10);
    return -1;
  }
  // The name: everything up to the first blank or '>', without '<' and '/'.
  std::string name;
  size_t i = 0;
  for (; tag[i]; ++i) {
    char c = tag[i];
    if (IsBlank(c) || c == '>') break;
    if (c == '<' || c == '/') continue;
    name += c;
  }

  ReleaseAttributes(xml);

  // Attributes: name="value" pairs. A pair without its '=' or without both
  // quotes is malformed; the rest of the tag is then ignored rather than
  // searched for beyond the tag's end.
  while (tag[i]) {
    char c = tag[i];
    if (IsBlank(c)) {
      ++i;
      continue;
    }
    if (c == '/' || c == '>') break;
    const char *eq = strchr(tag + i, '=');
    if (!eq) break;
    const char *open = strchr(eq + 1, '"');
    if (!open) break;
    const char *close = strchr(open + 1, '"');
    if (!close) break;
    if (!AddAttribute(xml, std::string_view(tag + i, static_cast<size_t>(eq - (tag + i))),
                      std::string_view(open + 1, static_cast<size_t>(close - open - 1)))) {
      SYS_ErrorSet(5);
      return -1;
    }
    i = static_cast<size_t>(close + 1 - tag);
  }

  memcpy(tag, name.c_str(), name.size() + 1);
  return 0;
}

int SYS_XmlParse(SYS_XML_p xml) {
  SYS_ErrorClear();
  if (!xml || !xml->buffer) {
    SYS_ErrorSet(10);
    return -1;
  }
  const char *in = xml->buffer;
  const size_t n = strlen(in);
  char *tag = static_cast<char *>(SYS_MemGet(n + 1, __FILE__, __LINE__, "XML tag buffer"));
  char *text = static_cast<char *>(SYS_MemGet(n + 1, __FILE__, __LINE__, "XML value buffer"));
  if (!tag || !text) {
    SYS_MEMFREE(tag);
    SYS_MEMFREE(text);
    SYS_ErrorSet(5);
    return -1;
  }

  int result = 0;
  size_t cursor = 0;
  while (cursor < n) {
    const char *lt = static_cast<const char *>(memchr(in + cursor, '<', n - cursor));
    if (!lt) break;
    const size_t open = static_cast<size_t>(lt - in);
    const char *gt = static_cast<const char *>(memchr(lt, '>', n - open));
    if (!gt) break;
    const size_t close = static_cast<size_t>(gt - in);
    const size_t len = close - open + 1;  // at least 2: '<' and '>'
    memcpy(tag, lt, len);
    tag[len] = 0;

    if (tag[1] == '/') {
      if (xml->end) {
        if (SYS_XmlParseTag(xml, tag) < 0) {
          result = -1;
          break;
        }
        xml->end(xml, tag);
      }
      cursor = close + 1;
    } else if (tag[1] == '?') {
      cursor = close + 1;
    } else if (tag[len - 2] == '/') {
      if (SYS_XmlParseTag(xml, tag) < 0) {
        result = -1;
        break;
      }
      if (xml->start) xml->start(xml, tag, xml->count, xml->names, xml->values);
      if (xml->end) xml->end(xml, tag);
      cursor = close + 1;
    } else {
      if (SYS_XmlParseTag(xml, tag) < 0) {
        result = -1;
        break;
      }
      if (xml->start) xml->start(xml, tag, xml->count, xml->names, xml->values);
      const char *next = static_cast<const char *>(memchr(gt + 1, '<', n - close - 1));
      if (!next) break;
      const size_t text_len = static_cast<size_t>(next - (gt + 1));
      memcpy(text, gt + 1, text_len);
      text[text_len] = 0;
      if (xml->text) xml->text(xml, tag, xml->count, xml->names, xml->values, text);
      cursor = static_cast<size_t>(next - in);
    }
  }

  SYS_MEMFREE(tag);
  SYS_MEMFREE(text);
  if (result < 0) SYS_ErrorSet(5);
  return result;
}

int SYS_XmlClose(SYS_XML_p xml) {
  SYS_ErrorClear();
  if (!xml) {
    SYS_ErrorSet(10);
    return -1;
  }
  // The last tag's attributes die with the handle, not with a later split.
  ReleaseAttributes(xml);
  SYS_MEMFREE(xml->buffer);
  SYS_MEMFREE(xml->filename);
  SYS_MEMFREE(xml);
  return 0;
}

int SYS_XmlDecode(char **text) {
  SYS_ErrorClear();
  if (!text || !*text) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (!**text) return 0;
  char *const original = *text;
  char *current = original;
  for (const Entity &e : Entities().rows) {
    // A pass that finds nothing would only copy the text; skipping it
    // changes no result.
    if (!strstr(current, e.text)) continue;
    char *next = SYS_StrRep(current, e.text, e.replacement);
    if (!next) {
      if (current != original) SYS_MEMFREE(current);
      SYS_ErrorSet(5);
      return -1;
    }
    if (current != original) SYS_MEMFREE(current);
    current = next;
  }
  if (current == original) {
    current = STRDUP(original);
    if (!current) {
      SYS_ErrorSet(5);
      return -1;
    }
  }
  *text = current;
  return 0;
}
