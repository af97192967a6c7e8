// A scene's text configuration: a plain file beside the chunked scene file
// that sets the camera lens, the materials, the objects' render and
// particle settings and the eight lights of a loaded scene.
//
// The file is "# 3DVell config file" followed by lines of three shapes:
//   camerafov=0.7854                         (also cameranear, camerafar)
//   material(wood).shine=20                  (also object(...), light(...))
//   # a comment
// Nothing is trimmed and every comparison is exact, so a blank before the
// "=" or before the key makes a line that matches nothing, and a line
// that matches nothing is ignored. A line is cut to its first 255
// characters; LF, CR LF and a lone CR all end a line.
//
// Names select the last entry of that name; a name that matches none
// selects entry 0, and a section line of a scene without materials (or
// objects) is ignored. Numbers are read and written the same way in every
// locale: Singles are written with four decimals, integers in decimal and
// read with an optional "$", "x", "0x" (hex), "%" (binary) or "&" (octal)
// prefix. A Single or a material integer that cannot be read is 0; an
// object integer that cannot be read is an error of the file, and
// _3DV_LoadConfig ends the process naming the file and the line. An object
// material index outside the scene's materials is ignored with a log line.
// After reading, the scene's passcount is recomputed from its objects.
//
// The blend line of a material and the passno line of an object are not
// their fields: they are derived from the material's bpp and transparency
// (24 bits opaque 0, 24 bits transparent 1, 32 bits 2, no line otherwise),
// so a save followed by a load changes them to what the material says.
//
// Files are plain files relative to the current folder. A file that cannot
// be opened, read, created or written ends the process through the fatal
// exit. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/scene/records.h"

// Reads the file and applies it to the scene, line by line as the lines
// come: a file costs the memory of one line, whatever its size.
void _3DV_LoadConfig(_3DV_SCENE &scene, std::string_view filename);
// Creates the file (or empties it) and writes the scene's settings.
void _3DV_SaveConfig(const _3DV_SCENE &scene, std::string_view filename);

// What _3DV_SaveConfig writes, as text.
std::string _3DV_ConfigText(const _3DV_SCENE &scene);
// What _3DV_LoadConfig does with the bytes of a file. Answers false, with
// "line N: ..." in error, at an object integer that cannot be read; the
// lines before it stay applied and passcount is recomputed either way.
bool _3DV_ParseConfig(_3DV_SCENE &scene, std::string_view text, std::string &error);

// One section line given its key, value and name. The object form answers
// false, changing nothing, when an integer key's value cannot be read.
void _3DV_ConfigMaterialKey(std::string_view key, std::string_view value, std::string_view name,
                            _3DV_SCENE &scene);
bool _3DV_ConfigObjectKey(std::string_view key, std::string_view value, std::string_view name,
                          _3DV_SCENE &scene);
void _3DV_ConfigLightKey(std::string_view key, std::string_view value, std::string_view name,
                         _3DV_SCENE &scene);

// The last entry of that name, else 0 (also for a scene without entries).
int32_t _3DV_FindMaterialByName(const _3DV_SCENE &scene, std::string_view name);
int32_t _3DV_FindObjectByName(const _3DV_SCENE &scene, std::string_view name);
int32_t _3DV_FindLightByName(const _3DV_SCENE &scene, std::string_view name);

// The splitters. Of a line: the head (text before the first of "=", "("
// and ".", else the whole line), the name (between the first "(" and the
// first ")"), the key (between the first "." and the first "=") and the
// value (after the first "=", else the whole line). Of a value: the first,
// second and third comma-separated parts; all empty without a comma, the
// second runs to the end and the third is empty without a second comma.
// A part that is missing, or whose end comes before its start, is empty.
std::string _3DV_CfgKeyHead(std::string_view line);
std::string _3DV_CfgAfterParen(std::string_view line);
std::string _3DV_CfgAfterDot(std::string_view line);
std::string _3DV_CfgValue(std::string_view line);
std::string _3DV_CfgFirst(std::string_view value);
std::string _3DV_CfgSecond(std::string_view value);
std::string _3DV_CfgThird(std::string_view value);
