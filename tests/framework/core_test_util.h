// Helpers for tests of the framework core: set the argument words the
// framework sees and start or stop the log around a test.
#pragma once

#include <initializer_list>
#include <string>

#include "framework/sys.h"
#include "support/test_support.h"

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

// Sends every log piece written during the object's life to a file of its
// own, and puts the log back as it was afterwards.
class LogCapture {
public:
  LogCapture() : file_(dir_.str("captured.log")) {
    old_flags_ = SYS_LogGetFlags();
    SYS_LogSetFile(file_.c_str());
    SYS_LogSetFlags(SYS_LOG_ON);
  }
  ~LogCapture() {
    SYS_LogSetFlags(0);
    SYS_LogClose();
    SYS_LogSetFlags(old_flags_);
  }
  std::string text() const { return ReadFile(file_); }

private:
  TempDir dir_;
  std::string file_;
  uint32_t old_flags_;
};

}  // namespace ember_test
