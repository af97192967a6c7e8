// Helpers for tests of the framework core: set the argument words the
// framework sees and start or stop the log around a test.
#pragma once

#include <initializer_list>
#include <string>

#include "framework/sys.h"

namespace ember_test {

// Replaces the framework's argument words with "prog" followed by words.
inline void SetArgs(std::initializer_list<const char *> words) {
  SYS_CfgFree();
  SYS_CfgAdd("prog");
  for (const char *w : words) SYS_CfgAdd(w);
  SYS_ErrorGet();
}

// Turns the log off and forgets its file, so the next test starts clean.
inline void ResetLog() {
  SYS_LogClose();
  SYS_LogSetFlags(0);
  SYS_ErrorGet();
}

}  // namespace ember_test
