// The module loader.
//
// A module is asked for by a short name ("GL", "Base") or a file name. The
// loader tries a fixed series of file names, the first being the program's
// own "Modules/%s-osx.so" folder (relative to the current folder, which the
// start-up makes the program's folder), then the name itself and the usual
// "lib%s.so" spellings. Every loaded module is listed under the name it was
// asked for, newest first; asking again for a listed name returns the same
// handle without opening anything.
//
// Invariant: each node stands for exactly one `dlopen` (or one handle given
// to SYS_DlAddLib) and counts its users. A second request for its name adds
// a user; SYS_DlClose takes one away and closes the handle only when the
// last user lets go, so a module two parts share (OpenGL and GLU on some
// systems) is never closed twice. A handle that no node lists is closed as
// asked.
//
// Main thread only: modules are opened during start-up and closed during the
// orderly shutdown. The framework shutdown leaves modules loaded.
#include "framework/module.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>

#include "framework/log.h"
#include "framework/memory.h"
#include "framework/strings.h"

namespace {

PModule modules = nullptr;

// Last loader message, or a placeholder when the loader has none to give.
std::string LastDlError() {
  const char *text = dlerror();
  return text ? text : "no error text";
}

std::string Format(const char *format, const char *name) {
  int n = snprintf(nullptr, 0, format, name);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  snprintf(out.data(), out.size() + 1, format, name);
  return out;
}

// The file names tried for a module, in order.
constexpr const char *kFirstName = "Modules/%s-osx.so";
constexpr const char *kFurtherNames[] = {"%s", "lib%s.so", "lib%s.so.1", "lib%s.so.2"};

void *Open(const std::string &file) { return dlopen(file.c_str(), RTLD_LAZY | RTLD_GLOBAL); }

}  // namespace

int SYS_DlAddLib(void *handle, const char *name) {
  SYS_ErrorClear();
  if (!handle || !name) {
    SYS_ErrorSet(10);
    return -1;
  }
  auto *node = static_cast<TModule *>(
      SYS_MemGet(sizeof(TModule), __FILE__, __LINE__, "SYS_DlAddLib: register new module"));
  char *copy = node ? StrDup(name, __FILE__, __LINE__) : nullptr;
  if (!copy) {
    SYS_MEMFREE(node);
    SYS_ErrorSet(5);
    return -1;
  }
  node->name = copy;
  node->handle = handle;
  node->users = 1;
  node->next = modules;
  modules = node;
  return 0;
}

void *SYS_DlOpen(const char *name) {
  SYS_ErrorClear();
  if (!name) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  for (PModule m = modules; m; m = m->next) {
    if (strcmp(m->name, name) == 0) {
      SYS_Log(1, "[dl] preloaded module: %s\n", name);
      ++m->users;
      return m->handle;
    }
  }

  std::string file = strstr(name, "-osx.so") ? std::string(name) : Format(kFirstName, name);
  SYS_Log(1, "[dl] Load lib: %s\n", file.c_str());
  void *handle = Open(file);
  std::string failure;
  for (const char *pattern : kFurtherNames) {
    if (handle) break;
    failure = LastDlError();
    if (SYS_LogDlErrors) SYS_Log(1, "[dl] failed (%s).\n", failure.c_str());
    file = Format(pattern, name);
    SYS_Log(1, "[dl] try %s...\n", file.c_str());
    handle = Open(file);
  }
  if (!handle) {
    failure = LastDlError();
    SYS_Log(1, "[dl] error: %s\n", failure.c_str());
    SYS_ErrorSet(200);
    return nullptr;
  }

  if (SYS_DlAddLib(handle, name) != 0) {
    // Nothing lists the handle, so nothing would ever close it.
    int32_t code = SYS_ErrorGet();
    dlclose(handle);
    SYS_ErrorSet(code);
    return nullptr;
  }
  SYS_Log(1, "[dl] address: %p\n", handle);
  return handle;
}

void *SYS_DlSym(void *handle, const char *symbol) {
  SYS_ErrorClear();
  if (!handle) {
    SYS_ErrorSet(202);
    return nullptr;
  }
  if (!symbol) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  dlerror();
  void *address = dlsym(handle, symbol);
  if (!address && SYS_LogDlSymbols) {
    std::string why = LastDlError();
    SYS_Log(1, "[dl] symbol not found: %s (%s)\n", symbol, why.c_str());
  }
  return address;
}

int SYS_DlClose(void *handle) {
  SYS_ErrorClear();
  if (!handle) {
    SYS_ErrorSet(202);
    return -1;
  }
  PModule *link = &modules;
  while (*link) {
    PModule m = *link;
    SYS_Log(1, "[dl] release: %s\n", m->name);
    if (m->handle == handle) {
      if (--m->users > 0) return 0;
      *link = m->next;
      SYS_MEMFREE(m->name);
      SYS_MEMFREE(m);
      break;
    }
    link = &m->next;
  }
  if (dlclose(handle) != 0) {
    SYS_ErrorSet(203);
    return -1;
  }
  return 0;
}

PModule SYS_DlGetList() { return modules; }

void SYS_DlForget() { modules = nullptr; }
