// The font renderer's registry, fonts and render entry point. The drawing
// itself is the accepting handler's (ttf_handler.cpp).
#include "dialog/font_renderer.h"

#include <cstring>
#include <unordered_set>

#include "dialog/ttf_handler.h"
#include "framework/file.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "framework/options.h"
#include "framework/strings.h"

const frHandler *const frHandlers[] = {
    &ttfHandler,
    nullptr,
};

SYS_List_p frFaces = nullptr;
int32_t frDebug = 0;
frReleaseProc frOnRelease = nullptr;

namespace {

// Handlers are started once; a later frInit keeps them, and every face
// they opened, as they are.
bool frStarted = false;

// The fonts not yet freed. Closing the registry frees every face, so it
// unbinds them all: none keeps a pointer to a freed face, and each renders
// as a font without face until it is bound again. Never destroyed: fonts
// may be freed from an exit handler.
std::unordered_set<frFont *> &LiveFonts() {
  static auto *fonts = new std::unordered_set<frFont *>;
  return *fonts;
}

#define FR_DEBUG(...)                     \
  do {                                    \
    if (frDebug) SYS_Log(1, __VA_ARGS__); \
  } while (0)

bool ValidEncoding(int32_t encoding) {
  return encoding == FR_ENC_ISO8859_1 || encoding == FR_ENC_ISO8859_2 || encoding == FR_ENC_UTF8 ||
         encoding == FR_ENC_UCS2;
}

// Fails the operation with code 10 when there is no font.
bool HaveFont(const frFont *font) {
  SYS_ErrorClear();
  if (font) return true;
  SYS_ErrorSet(10);
  return false;
}

}  // namespace

int32_t frInit() {
  SYS_ErrorClear();
  frDebug = SYS_CfgGet("debug-fr", SYS_CFG_FLAG) > 0;
  SYS_ErrorClear();
  if (frStarted) return 0;
  for (const frHandler *const *h = frHandlers; *h; ++h) {
    FR_DEBUG("[fr]  - initialize: %s\n", (*h)->name);
    if ((*h)->init() != 0) {
      const int32_t code = SYS_ErrorGet();
      frClose();
      SYS_ErrorSet(code);
      return -1;
    }
  }
  frStarted = true;
  FR_DEBUG("[fr]  ...done.\n");
  return 0;
}

int32_t frClose() {
  SYS_ErrorClear();
  for (const frHandler *const *h = frHandlers; *h; ++h) {
    FR_DEBUG("[fr]  - closing: %s\n", (*h)->name);
    if ((*h)->close() != 0) FR_DEBUG("[fr]   - error code: %d\n", SYS_ErrorGet());
  }
  for (frFont *font : LiveFonts()) font->face = nullptr;
  // A face leaves the list before it is freed, so a release listener that
  // looks faces up finds only those still held.
  while (frFaces) {
    auto *face = static_cast<frFace *>(frFaces->data);
    if (frOnRelease) frOnRelease(face);
    frFaces = SYS_ListRemove(frFaces, face);
    // The handler's face object reads the buffer: it goes first, or it
    // would outlive the bytes it points at, and stay allocated in the
    // handler for as long as the process runs.
    for (const frHandler *const *h = frHandlers; *h; ++h)
      if ((*h)->render == face->render && (*h)->free_face) {
        (*h)->free_face(face);
        break;
      }
    SYS_MEMFREE(face->name);
    SYS_MEMFREE(face->buffer);
    SYS_MEMFREE(face);
  }
  frStarted = false;
  SYS_ErrorClear();
  return 0;
}

frFace *frFindFace(const char *name) {
  SYS_ErrorClear();
  if (name) {
    for (SYS_List_p node = frFaces; node; node = node->next) {
      auto *face = static_cast<frFace *>(node->data);
      if (std::strcmp(face->name, name) == 0) return face;
    }
  }
  SYS_ErrorSet(14);
  return nullptr;
}

int32_t frNewFace(const char *name, uint8_t *buffer, int32_t size) {
  SYS_ErrorClear();
  if (!name) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (frFindFace(name)) {
    SYS_ErrorClear();
    return 0;
  }
  SYS_ErrorClear();
  // The tracked allocator sets no code: a failure leaves the pending one.
  frFace *face = SYS_MEMGET(frFace, 1, "new font face");
  if (!face) return -1;
  face->name = STRDUP(name);
  if (!face->name) {
    SYS_MEMFREE(face);
    return -1;
  }
  face->buffer = buffer;
  face->buffer_size = size;
  for (const frHandler *const *h = frHandlers; *h; ++h) {
    if ((*h)->new_face(face) == 0) {
      // A list that cannot grow keeps the faces it holds; the new one goes,
      // its handler face before the bytes it reads, which stay the caller's.
      SYS_List_p grown = SYS_ListAddFirst(frFaces, face);
      if (!grown) {
        if ((*h)->free_face) (*h)->free_face(face);
        SYS_MEMFREE(face->name);
        SYS_MEMFREE(face);
        SYS_ErrorSet(5);
        return -1;
      }
      frFaces = grown;
      SYS_ErrorClear();
      return 0;
    }
  }
  SYS_MEMFREE(face->name);
  SYS_MEMFREE(face);
  SYS_ErrorSet(11);
  return -1;
}

int32_t frLoadFace(const char *filename) {
  SYS_ErrorClear();
  if (!filename) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (frFindFace(filename)) {
    SYS_ErrorClear();
    return 0;
  }
  SYS_ErrorClear();
  SYS_File_p file = SYS_FileOpen(filename, SYS_FILE_READ);
  if (!file) return -1;  // the open's code stands
  const int32_t size = SYS_FileSize(filename);
  if (size < 0) {
    const int32_t code = SYS_ErrorGet();
    SYS_FileClose(file);
    SYS_ErrorSet(code ? code : 10);
    return -1;
  }
  auto *buffer = static_cast<uint8_t *>(SYS_MemGet(size_t(size), __FILE__, __LINE__, "font buffer"));
  if (!buffer) {
    // Also a file of 0 bytes: the allocator refuses it and sets no code.
    SYS_FileClose(file);
    SYS_ErrorClear();
    return -1;
  }
  // A face must never be made from part of a file.
  const int32_t got = SYS_FileRead(file, buffer, size);
  const int32_t readCode = SYS_ErrorGet();
  SYS_FileClose(file);
  if (got != size) {
    SYS_MEMFREE(buffer);
    SYS_ErrorSet(readCode ? readCode : 10);
    return -1;
  }
  if (frNewFace(filename, buffer, size) != 0) {
    const int32_t code = SYS_ErrorGet();
    SYS_MEMFREE(buffer);
    SYS_ErrorSet(code);
    return -1;
  }
  return 0;
}

frFont *frNewFont(int32_t encoding, uint32_t color, int32_t halign, int32_t valign) {
  SYS_ErrorClear();
  if (!ValidEncoding(encoding)) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  frFont *font = SYS_MEMGET(frFont, 1, "new font");
  if (!font) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  font->encoding = encoding;
  font->color = color;
  font->halign = halign;
  font->valign = valign;
  font->size = 10;
  LiveFonts().insert(font);
  return font;
}

int32_t frFreeFont(frFont *font) {
  if (!HaveFont(font)) return -1;
  LiveFonts().erase(font);
  SYS_MEMFREE(font->face_name);
  SYS_MEMFREE(font);
  return 0;
}

int32_t frSetEncoding(frFont *font, int32_t encoding) {
  if (!HaveFont(font)) return -1;
  if (!ValidEncoding(encoding)) {
    SYS_ErrorSet(10);
    return -1;
  }
  font->encoding = encoding;
  return 0;
}

int32_t frSetHAlign(frFont *font, int32_t value) {
  if (!HaveFont(font)) return -1;
  if (value != FR_HALIGN_LEFT && value != FR_HALIGN_RIGHT && value != FR_HALIGN_CENTER) {
    SYS_ErrorSet(10);
    return -1;
  }
  font->halign = value;
  return 0;
}

int32_t frSetVAlign(frFont *font, int32_t value) {
  if (!HaveFont(font)) return -1;
  if (value != FR_VALIGN_CENTER && value != FR_VALIGN_TOP && value != FR_VALIGN_BOTTOM) {
    SYS_ErrorSet(10);
    return -1;
  }
  font->valign = value;
  return 0;
}

int32_t frSetPosition(frFont *font, int32_t x, int32_t y) {
  if (!HaveFont(font)) return -1;
  font->halign = FR_ALIGN_NONE;
  font->valign = FR_ALIGN_NONE;
  font->x = x;
  font->y = y;
  return 0;
}

int32_t frSetColor(frFont *font, uint32_t color) {
  if (!HaveFont(font)) return -1;
  font->color = color;
  return 0;
}

int32_t frSetFont(frFont *font, const char *name, int32_t size, int32_t weight, int32_t italic) {
  SYS_ErrorClear();
  if (!font || !name) {
    SYS_ErrorSet(10);
    return -1;
  }
  font->size = size;
  font->weight = weight;
  font->italic = italic;
  char *copy = STRDUP(name);
  if (!copy) {
    SYS_ErrorSet(5);
    return -1;
  }
  SYS_MEMFREE(font->face_name);
  font->face_name = copy;
  font->face = frFindFace(name);
  if (!font->face) return -1;  // code 14 from the lookup
  FR_DEBUG("[fr] ! set font: %s (handler: %p)\n", name, reinterpret_cast<void *>(font->face->render));
  return 0;
}

int32_t frSetSize(frFont *font, int32_t size) {
  if (!HaveFont(font)) return -1;
  font->size = size;
  return 0;
}

int32_t frSetWeight(frFont *font, int32_t weight) {
  if (!HaveFont(font)) return -1;
  font->weight = weight;
  return 0;
}

int32_t frSetItalic(frFont *font, int32_t italic) {
  if (!HaveFont(font)) return -1;
  font->italic = italic;
  return 0;
}

int32_t frRender(frFont *font, txBitmap *bitmap, const char *text, int32_t *width, int32_t *height) {
  SYS_ErrorClear();
  if (!font || !bitmap || !text) {
    SYS_ErrorSet(10);
    return -1;
  }
  // Texts of every encoding end at their first 0 byte.
  if (text[0] == '\0') return 0;
  if (!font->face || !font->face->render) {
    SYS_ErrorSet(11);
    return -1;
  }
  if (font->face->render(font, bitmap, text, width, height) == -1) {
    const int32_t code = SYS_ErrorGet();
    SYS_ErrorSet(code);
    return -1;
  }
  return 0;
}
