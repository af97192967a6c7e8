// A small event-driven reader for the framework's XML-like files.
//
// The reader takes a whole text (a file of the virtual file system, or a
// text in memory), finds tags by their angle brackets, splits each tag into
// a name and attribute name/value pairs and calls up to three callbacks: one
// for every opening (and self-closing) tag, one for the text that follows an
// opening tag, and one for every closing (and self-closing) tag. It keeps no
// tree; nesting means nothing to it.
//
// The name, count, names and values a callback receives belong to the
// handle and stay valid until the next tag is split; a callback copies what
// it keeps. The user word carries the caller's state (a pointer, so it is
// pointer-sized) through the callbacks and back out of the parse.
//
// Malformed input never fails a parse and never makes the reader look
// beyond the input: an unclosed tag or a missing next tag ends the walk.
// Everything runs on the caller's thread; a handle is used by one thread.
#pragma once

#include <cstdint>

struct SYS_XML_t;
typedef SYS_XML_t *SYS_XML_p;

typedef int (*SYS_XmlStart_t)(SYS_XML_p xml, const char *name, int32_t count, char **names,
                              char **values);
typedef int (*SYS_XmlText_t)(SYS_XML_p xml, const char *name, int32_t count, char **names,
                             char **values, const char *text);
typedef int (*SYS_XmlEnd_t)(SYS_XML_p xml, const char *name);

// Input sources of SYS_XmlOpen.
enum : int32_t {
  SYS_XML_SOURCE_TEXT = 0,
  SYS_XML_SOURCE_FILE = 1,
};

struct SYS_XML_t {
  SYS_XmlStart_t start;  // every opening and self-closing tag; may be null
  SYS_XmlText_t text;    // the text after an opening tag; may be null
  SYS_XmlEnd_t end;      // every closing and self-closing tag; may be null
  int32_t type;          // SYS_XML_SOURCE_*
  char *buffer;          // own terminated copy of the whole input
  char *filename;        // own copy of the file name (file source only)
  int32_t count;         // attributes of the tag being reported
  char **names;          // their names, own copies
  char **values;         // their values, own copies
  uintptr_t user;        // the caller's word
};

SYS_XML_p SYS_XmlOpen(int32_t type, const char *source);
int SYS_XmlSetCallbacks(SYS_XML_p xml, SYS_XmlStart_t start, SYS_XmlText_t text, SYS_XmlEnd_t end,
                        uintptr_t user);
int SYS_XmlParse(SYS_XML_p xml);
int SYS_XmlClose(SYS_XML_p xml);
// Splits one tag text ("<name a="1">") and overwrites it with the name.
int SYS_XmlParseTag(SYS_XML_p xml, char *tag);
// Replaces the entities of *text; *text then points at a new tracked text
// that the caller owns (the text it pointed at before is left alone).
int SYS_XmlDecode(char **text);
