// The framework's copy of the program's argument words, option queries on
// them, and config variable files bound to a caller's table of variables.
#pragma once

#include <cstdint>

// Row types of a config table.
enum : int32_t {
  SYS_CFG_FLAG = 0,
  SYS_CFG_TEXT = 1,
  SYS_CFG_INT = 2,
  SYS_CFG_REAL = 3,
  SYS_CFG_CALLBACK = 4,
};

typedef void (*SYS_CfgCallback_t)(const char *value);

struct SYS_CFG_t {
  const char *name;   // NULL ends the table
  void *variable;     // int32_t*, char**, int32_t*, float* or SYS_CfgCallback_t
  int32_t type;
  int32_t *save;      // save flag, or NULL (always saved)
};
typedef SYS_CFG_t *SYS_PCFG_t;

void SYS_CfgAddArgs(int32_t count, char **vector);
void SYS_CfgAdd(const char *word);
void SYS_CfgFree();
// Types 0, 2 and 3 answer here; type 1 answers with its text through
// SYS_CfgGetText (a text cannot travel in a 32-bit result). Type 1 gives
// 1 when the option has a value, 0 when absent, -1 with code 10 when the
// value is missing.
int32_t SYS_CfgGet(const char *name, int32_t type);
// The value word of a value option, or NULL (absent, or no value behind
// it: code 10). The text belongs to the framework.
const char *SYS_CfgGetText(const char *name);
int SYS_CfgLoad(const char *filename, SYS_PCFG_t table);
int SYS_CfgSave(const char *filename, SYS_PCFG_t table);

// The stored words (word 0 is the program path).
int32_t SYS_CfgArgCount();
const char *SYS_CfgArg(int32_t index);
