// Config variable files: text files of lines `name = "value"`, "#" starting
// a comment, bound to a caller's table of variables (SYS_CFG_t rows, ended
// by a row with a NULL name).
//
// Loading reads every line through the virtual file system (so a config
// file may come from a mounted folder or pack) and hands the value to every
// row of that exact name, by the row's type. Saving writes the rows whose
// save flag is absent or set, on disk.
//
// Numbers are read and written the same way whatever the process's locale
// (a decimal point, always); the locale itself is never touched, so loading
// a file cannot change how the rest of the program prints numbers.
//
// Threads: the caller's; no locks. A loaded text is a new tracked copy;
// the text it replaces stays with its owner (it may be a literal), unless
// the same load made it and no callback row has run since.
#include <charconv>
#include <cstring>
#include <string>
#include <unordered_map>

#include "framework/file.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "framework/options.h"
#include "framework/strings.h"

namespace {

// Longest line: 2047 characters; a longer one reads as several.
constexpr int32_t kLineBuffer = 2048;

struct Line {
  std::string name;
  std::string value;
};

// Parses one physical line; false when the line is empty once its
// comment is gone (such a line is skipped and not counted).
bool ParseLine(const char *text, Line &out) {
  std::string s(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  if (size_t hash = s.find('#'); hash != std::string::npos) s.erase(hash);
  if (s.empty()) return false;
  for (char &c : s)
    if (c == '\t') c = ' ';
  s.erase(0, s.find_first_not_of(' ') == std::string::npos ? s.size() : s.find_first_not_of(' '));

  size_t eq1 = s.find('=');
  out.name = s.substr(0, eq1);
  if (size_t blank = out.name.find(' '); blank != std::string::npos) out.name.erase(blank);

  out.value.clear();
  if (eq1 == std::string::npos) return true;
  size_t eq2 = s.find('=', eq1 + 1);
  std::string segment = s.substr(eq1 + 1, eq2 == std::string::npos ? std::string::npos : eq2 - eq1 - 1);
  size_t q1 = segment.find('"');
  size_t q2 = q1 == std::string::npos ? q1 : segment.find('"', q1 + 1);
  if (q2 != std::string::npos) out.value = segment.substr(q1 + 1, q2 - q1 - 1);
  return true;
}

// The texts one load has copied into each text variable since a callback
// row last ran. A later line that names the variable again frees the copy
// it replaces: no one but the load has seen it. A callback may have looked
// at every variable and kept what it saw, so from then on those copies
// stay, as a text the variable held before the load stays with its owner.
using Copies = std::unordered_map<void *, char *>;

void Assign(const SYS_CFG_t &row, const std::string &value, Copies &copies) {
  if (!row.variable) return;
  switch (row.type) {
    case SYS_CFG_FLAG:
      *static_cast<int32_t *>(row.variable) = (value == "yes" || value == "true" || value == "1") ? 1 : 0;
      break;
    case SYS_CFG_TEXT:
      if (char *copy = STRDUP(value.c_str())) {
        char *&held = *static_cast<char **>(row.variable);
        char *&made = copies[row.variable];
        if (made && held == made) SYS_MEMFREE(held);
        held = made = copy;
      }
      break;
    case SYS_CFG_INT:
      *static_cast<int32_t *>(row.variable) = SYS_StrToInt(value.c_str());
      break;
    case SYS_CFG_REAL:
      *static_cast<float *>(row.variable) = static_cast<float>(SYS_StrToReal(value.c_str()));
      break;
    case SYS_CFG_CALLBACK:
      copies.clear();
      reinterpret_cast<SYS_CfgCallback_t>(row.variable)(value.c_str());
      break;
    default:
      break;
  }
}

// "%f" with a decimal point whatever the locale.
std::string Real(float value) {
  char text[400];
  auto res = std::to_chars(text, text + sizeof text, static_cast<double>(value), std::chars_format::fixed, 6);
  return std::string(text, res.ec == std::errc() ? res.ptr : text);
}

}  // namespace

int SYS_CfgLoad(const char *filename, SYS_PCFG_t table) {
  SYS_ErrorClear();
  if (!filename || !table) {
    SYS_ErrorSet(10);
    return -1;
  }
  SYS_File_p file = SYS_FileOpen(filename, SYS_FILE_READ | SYS_FILE_TEXT);
  if (!file) {
    SYS_ErrorSet(SYS_ErrorGet());
    return -1;
  }
  SYS_Log(1, "[cfg] load config file: %s...\n", filename);

  int32_t total = 0;
  char text[kLineBuffer];
  Line line;
  Copies copies;
  // Regular files give NULL at their end, pack entries an empty text and
  // the end flag: stop on either.
  while (SYS_FileGets(file, text, kLineBuffer)) {
    if (ParseLine(text, line)) {
      ++total;
      for (const SYS_CFG_t *row = table; row->name; ++row)
        if (line.name == row->name) Assign(*row, line.value, copies);
    }
    if (SYS_FileEof(file)) break;
  }
  SYS_FileClose(file);
  SYS_Log(1, "[cfg] ...%d variables loaded.\n", total);
  SYS_ErrorClear();
  return 0;
}

int SYS_CfgSave(const char *filename, SYS_PCFG_t table) {
  SYS_ErrorClear();
  if (!filename || !table) {
    SYS_ErrorSet(10);
    return -1;
  }
  SYS_File_p file = SYS_FileOpen(filename, SYS_FILE_WRITE | SYS_FILE_TEXT);
  if (!file) {
    SYS_ErrorSet(SYS_ErrorGet());
    return -1;
  }
  SYS_Log(1, "[cfg] save config file: %s...\n", filename);

  int32_t saved = 0;
  bool failed = false;
  for (const SYS_CFG_t *row = table; row->name; ++row) {
    if (row->save && *row->save == 0) continue;
    ++saved;
    if (!row->variable) continue;
    int rc = 0;
    switch (row->type) {
      case SYS_CFG_FLAG:
        rc = SYS_FilePrintf(file, "%s = \"%s\"\n", row->name,
                            *static_cast<int32_t *>(row->variable) ? "true" : "false");
        break;
      case SYS_CFG_TEXT:
        if (const char *text = *static_cast<char **>(row->variable))
          rc = SYS_FilePrintf(file, "%s = \"%s\"\n", row->name, text);
        break;
      case SYS_CFG_INT:
        rc = SYS_FilePrintf(file, "%s = \"%d\"\n", row->name, *static_cast<int32_t *>(row->variable));
        break;
      case SYS_CFG_REAL:
        rc = SYS_FilePrintf(file, "%s = \"%s\"\n", row->name, Real(*static_cast<float *>(row->variable)).c_str());
        break;
      default:
        break;
    }
    if (rc != 0) failed = true;
  }
  SYS_Log(1, "[cfg] ... saved %d variable.\n", saved);
  // Buffered lines reach the disk at the close; its failure is a failed save.
  if (SYS_FileClose(file) != 0) failed = true;
  if (failed) {
    SYS_ErrorSet(2);
    return -1;
  }
  SYS_ErrorClear();
  return 0;
}
