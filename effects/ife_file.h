// The ".ife" text format and its reader.
//
// A file is read line by line through the virtual file system. A line is
// the next physical line (at most 511 bytes; a longer one is split) whose
// first byte is not "#"; comment lines are skipped wherever they stand, but
// a "#" after blanks is text. Each line used is logged as read (with its
// line feed only when the file source keeps it), then trimmed of blanks and
// control characters at both ends and cut to 255 characters. Empty lines
// are values, and past the end of the file every line is empty. Layout:
//
//   layer count                      decimal integer, 0 to 1001
//   second header value              decimal integer
//   per layer, first drawn first:
//     name                           texture file or special name
//     second line, third line        any text, kept
//     key count                      decimal integer, 1 to 10001
//     blend mode                     decimal integer, low 8 bits kept
//     key count key lines            11 numbers separated by single blanks:
//       time x y mode angle width height red green blue alpha
//
// Key numbers take sign, decimals and exponent, never depend on the locale,
// and read as 0 when a word is missing or not a number; time and mode are
// rounded half away from zero. Counts and the blend mode must be strict
// decimal integers: the reader reports the first that is not (or that is
// out of range) with its line and allocates nothing for it.
//
// The reader never ends the program and loads no texture: it reports
// faults to its caller, and hands each layer to a hook once its name is
// known, so the loader can load the texture at that point.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "effects/ife.h"
#include "framework/file.h"

// Size of the buffer one physical line is read into.
constexpr int32_t IFE_LINE_BUFFER = 512;

// The next line of the file as defined above. When lineNumber is given it
// counts every physical line read (comments included), and also each
// attempt past the end, so it names the line a value was expected on.
void ife_ReadLine(std::string &line, SYS_File_p file, int32_t *lineNumber = nullptr);

// Word n (from 1) of the line, words separated by single blanks (two blanks
// enclose an empty word), trimmed; empty past the end.
void ife_GetWord(std::string &word, std::string_view line, int32_t n);

// Word n as a number; 0 when it is missing, not a number or beyond the
// range of a double.
double ife_GetFloat(std::string_view line, int32_t n);

// A strict decimal integer (optional sign, digits, nothing else) that fits
// 32 bits; false otherwise.
bool ife_ParseInt(std::string_view text, int32_t &value);

// Fills one key from the words of a key line.
void ife_ParseKey(std::string_view line, ife_keys &key);

struct ife_ParseError {
  int32_t line;         // line the fault was found on, from 1
  std::string message;  // what was wrong, without the file name
};

// Called once per layer after its name and second line are read.
typedef void (*ife_LayerHook)(ife_layer &layer, void *user);

// Reads a whole interface from an open file into iface. Returns 0, or -1
// with error filled; iface is then empty and everything the reader
// allocated is released (textures a hook took are the hook owner's).
int32_t ife_ReadInterface(SYS_File_p file, ife_interface &iface, ife_LayerHook hook, void *user,
                          ife_ParseError &error);
