// Fuzzes the XML reader on texts in memory: the walk with every callback
// set (each touching every name and value it is given), the walk with no
// end callback (closing tags are then not split), one tag split directly,
// and the entity decoder. The tracked heap must be as empty afterwards as
// before: nothing the reader allocates may outlive its handle.
//
// Input: byte 0 picks what runs (bit 0 no end callback, bit 1 the decoder);
// the rest, up to the first zero byte, is the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/sys.h"
#include "framework/xml.h"

namespace {

size_t Touch(const char *name, int32_t count, char **names, char **values) {
  size_t n = strlen(name);
  for (int32_t i = 0; i < count; ++i) n += strlen(names[i]) + strlen(values[i]);
  return n;
}

int OnStart(SYS_XML_p xml, const char *name, int32_t count, char **names, char **values) {
  xml->user += Touch(name, count, names, values);
  return 0;
}

int OnText(SYS_XML_p xml, const char *name, int32_t count, char **names, char **values,
           const char *text) {
  xml->user += Touch(name, count, names, values) + strlen(text);
  return 0;
}

int OnEnd(SYS_XML_p xml, const char *name) {
  xml->user += strlen(name);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  text.resize(strlen(text.c_str()));
  const size_t live = SYS_MemLiveCount();

  SYS_XML_p xml = SYS_XmlOpen(SYS_XML_SOURCE_TEXT, text.c_str());
  if (!xml) abort();
  SYS_XmlSetCallbacks(xml, OnStart, OnText, (mode & 1) ? nullptr : OnEnd, 0);
  if (SYS_XmlParse(xml) != 0) abort();

  // The whole text as one tag, split in an exactly sized buffer.
  std::string tag = text;
  SYS_XmlParseTag(xml, tag.data());
  if (strlen(tag.c_str()) > text.size()) abort();
  SYS_XmlClose(xml);

  if (mode & 2) {
    char *decoded = text.data();
    if (SYS_XmlDecode(&decoded) != 0) abort();
    if (decoded != text.data()) {
      if (strlen(decoded) > text.size()) abort();  // decoding never grows a text
      SYS_MEMFREE(decoded);
    }
  }

  if (SYS_MemLiveCount() != live) abort();
  return 0;
}
