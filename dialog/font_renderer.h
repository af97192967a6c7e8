// The font renderer: a registry of font faces held in memory, a table of
// font handlers that open and draw them, and fonts (a face plus encoding,
// colour, alignment or position and size) that render one line of text
// into a caller's txBitmap.
//
// A face is offered to the handlers in table order; the first that accepts
// it owns its handler face and draws with it. Faces stay registered, with
// their file bytes, for the rest of the run (until frClose, which has each
// handler release its face objects before their bytes go). Fonts belong
// to whoever created them.
//
// Every operation clears the last-error code first and on failure sets it
// and returns -1 or NULL (5 no memory, 10 bad argument, 11 no handler, 14
// face not registered; file-layer and handler codes are passed on). Log
// lines ("[fr]") are written only with the option "debug-fr".
//
// Threads: main thread only; nothing here takes a lock.
#pragma once

#include <cstdint>

#include "framework/list.h"
#include "texture/loader.h"

// Text encodings a font accepts.
enum : int32_t {
  FR_ENC_ISO8859_1 = 1,
  FR_ENC_ISO8859_2 = 2,
  FR_ENC_UTF8 = 20,
  FR_ENC_UCS2 = 30,  // a NUL-terminated text, one byte to a code unit
};

// Horizontal and vertical alignments; FR_ALIGN_NONE places at the font's
// x or y.
enum : int32_t {
  FR_ALIGN_NONE = -1,
  FR_HALIGN_LEFT = 0,
  FR_HALIGN_RIGHT = 1,
  FR_HALIGN_CENTER = 2,
  FR_VALIGN_CENTER = 2,
  FR_VALIGN_TOP = 3,
  FR_VALIGN_BOTTOM = 4,
};

struct frFont;
struct frFace;

typedef int32_t (*frRenderProc)(frFont *font, txBitmap *bitmap, const char *text, int32_t *width,
                                int32_t *height);

struct frHandler {
  const char *name;
  int32_t (*init)();
  int32_t (*close)();
  int32_t (*new_face)(frFace *face);  // 0 when it accepts the face
  frRenderProc render;
  // Releases the handler face of a face it accepted. The registry calls it
  // before it frees the face's buffer: the handler face reads that buffer.
  void (*free_face)(frFace *face);
};

struct frFace {
  char *name;            // as registered; for files, the name given to frLoadFace
  int32_t bold;
  int32_t italic;
  int32_t scalable;
  int32_t kerning;
  uint8_t *buffer;       // the whole font file, a tracked block owned by the registry
  int32_t buffer_size;
  int32_t reserved;
  void *handler_face;    // the accepting handler's own face object
  frRenderProc render;
};

struct frFont {
  frFace *face;          // NULL until frSetFont finds the face
  int32_t encoding;
  uint32_t color;        // bytes top to bottom: pixel bytes 0, 1, 2; lowest: opacity
  int32_t halign;
  int32_t valign;
  int32_t x;
  int32_t y;
  char *face_name;
  int32_t size;          // pixels
  int32_t weight;        // stored only
  int32_t italic;        // stored only
};

// The handler table in probing order, ended by NULL.
extern const frHandler *const frHandlers[];
// The face registry (newest first) and the "debug-fr" flag.
extern SYS_List_p frFaces;
extern int32_t frDebug;

// Called with each registered face just before frClose frees it, so that
// whoever keeps facts about a face drops them in step with the registry.
// NULL for no listener.
typedef void (*frReleaseProc)(const frFace *face);
extern frReleaseProc frOnRelease;

int32_t frInit();
int32_t frClose();
frFace *frFindFace(const char *name);
// On success the registry owns buffer (a tracked block); on failure it
// stays the caller's, and so it does when a face of that name is
// registered already (0 is returned, and frFindFace(name)->buffer is not
// buffer).
int32_t frNewFace(const char *name, uint8_t *buffer, int32_t size);
int32_t frLoadFace(const char *filename);

frFont *frNewFont(int32_t encoding, uint32_t color, int32_t halign, int32_t valign);
int32_t frFreeFont(frFont *font);
int32_t frSetEncoding(frFont *font, int32_t encoding);
int32_t frSetHAlign(frFont *font, int32_t value);
int32_t frSetVAlign(frFont *font, int32_t value);
int32_t frSetPosition(frFont *font, int32_t x, int32_t y);
int32_t frSetColor(frFont *font, uint32_t color);
int32_t frSetFont(frFont *font, const char *name, int32_t size, int32_t weight, int32_t italic);
int32_t frSetSize(frFont *font, int32_t size);
int32_t frSetWeight(frFont *font, int32_t weight);
int32_t frSetItalic(frFont *font, int32_t italic);

// Draws text over the bitmap's pixels (they are not cleared first) and
// writes its width and height in pixels where the addresses are given. An
// empty text returns 0 and writes nothing.
int32_t frRender(frFont *font, txBitmap *bitmap, const char *text, int32_t *width, int32_t *height);
