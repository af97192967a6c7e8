// The module loader: loads shared libraries by a short name, trying a fixed
// series of file names, remembers every loaded module under the name it was
// asked for (a second request returns the same handle) and looks symbols up.
// Nodes count their users, so a library asked for under two names, or twice,
// is closed only when its last user lets go.
#pragma once

#include <cstdint>

struct TModule {
  char *name;
  void *handle;
  TModule *next;
  int32_t users;
};
typedef TModule *PModule;

int SYS_DlAddLib(void *handle, const char *name);
void *SYS_DlOpen(const char *name);
void *SYS_DlSym(void *handle, const char *symbol);
int SYS_DlClose(void *handle);
PModule SYS_DlGetList();
// After the memory shutdown has freed the module records: forgets them.
// The libraries stay loaded, as the shutdown leaves them.
void SYS_DlForget();
