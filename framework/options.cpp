// The framework's copy of the program's argument words and the option
// queries on them.
//
// A word names an option when it starts with "-" or "/" and the rest equals
// the option's name, ASCII letters compared without regard to case. The
// first matching word decides; a value option takes the next word unchanged,
// even when it looks like an option itself. Results are not cached: every
// query walks the words again. Number conversion never depends on the
// process's locale.
#include "framework/options.h"

#include <cmath>
#include <cstring>

#include "framework/log.h"
#include "framework/memory.h"
#include "framework/strings.h"

namespace {

char **g_words = nullptr;
int32_t g_count = 0;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const char *a, const char *b) {
  for (; *a && *b; ++a, ++b)
    if (AsciiLower(*a) != AsciiLower(*b)) return false;
  return *a == *b;
}

// Index of the first word naming the option, or -1.
int32_t FindOption(const char *name) {
  for (int32_t i = 0; i < g_count; ++i) {
    const char *w = g_words[i];
    if ((w[0] == '-' || w[0] == '/') && SameName(w + 1, name)) return i;
  }
  return -1;
}

}  // namespace

void SYS_CfgAddArgs(int32_t count, char **vector) {
  for (int32_t i = 0; i < count && vector; ++i) SYS_CfgAdd(vector[i]);
}

void SYS_CfgAdd(const char *word) {
  SYS_ErrorClear();
  if (!word) {
    SYS_ErrorSet(10);
    return;
  }
  char *copy = STRDUP(word);
  auto **grown = static_cast<char **>(
      SYS_MemGet(sizeof(char *) * (static_cast<size_t>(g_count) + 1), __FILE__, __LINE__, "SYS_CfgAdd"));
  if (!copy || !grown) {
    SYS_MEMFREE(copy);
    SYS_MEMFREE(grown);
    SYS_ErrorSet(5);
    return;
  }
  if (g_count) memcpy(grown, g_words, sizeof(char *) * static_cast<size_t>(g_count));
  grown[g_count] = copy;
  SYS_MEMFREE(g_words);
  g_words = grown;
  g_count++;
}

void SYS_CfgFree() {
  for (int32_t i = 0; i < g_count; ++i) SYS_MEMFREE(g_words[i]);
  SYS_MEMFREE(g_words);
  g_count = 0;
}

int32_t SYS_CfgGet(const char *name, int32_t type) {
  SYS_ErrorClear();
  if (!name) {
    SYS_ErrorSet(10);
    return -1;
  }
  if (type < SYS_CFG_FLAG || type > SYS_CFG_REAL) return 0;  // such a query never matches
  int32_t i = FindOption(name);
  if (i < 0) return 0;
  if (type == SYS_CFG_FLAG) return 1;
  if (i + 1 >= g_count) {
    SYS_ErrorSet(10);
    return -1;
  }
  const char *value = g_words[i + 1];
  switch (type) {
    case SYS_CFG_TEXT:
      return 1;
    case SYS_CFG_INT:
      return SYS_StrToInt(value);
    default: {
      double v = std::trunc(SYS_StrToReal(value));
      if (std::isnan(v)) return 0;
      if (v >= 2147483647.0) return INT32_MAX;
      if (v <= -2147483648.0) return INT32_MIN;
      return static_cast<int32_t>(v);
    }
  }
}

const char *SYS_CfgGetText(const char *name) {
  SYS_ErrorClear();
  if (!name) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  int32_t i = FindOption(name);
  if (i < 0) return nullptr;
  if (i + 1 >= g_count) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  return g_words[i + 1];
}

int32_t SYS_CfgArgCount() { return g_count; }

const char *SYS_CfgArg(int32_t index) {
  return (index >= 0 && index < g_count) ? g_words[index] : nullptr;
}
