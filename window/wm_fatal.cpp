// The program's side of the window manager: the fatal exit that every
// unrecoverable start-up failure goes through, and the window manager's
// init slot.
//
// The fatal exit reports failure to whoever started the program: its
// exit status is 1. It runs the orderly shutdown (every registered exit
// procedure, then the framework's), so it may be called from inside an
// init procedure. Main thread only.
#include <cstdio>

#include "framework/base.h"
#include "window/wm.h"

namespace {

// Longest message the fatal exit writes.
constexpr size_t kMaxFatalMessage = 255;
constexpr int32_t kFatalExitStatus = 1;
constexpr int32_t kWindowManagerSlot = 1;

void wmUninit() {}

std::FILE *fatal_stream = nullptr;  // null: standard output

}  // namespace

void wmFatal(std::string_view message) {
  message = message.substr(0, kMaxFatalMessage);
  std::FILE *out = fatal_stream ? fatal_stream : stdout;
  std::fwrite(message.data(), 1, message.size(), out);
  std::fputc('\n', out);
  std::fflush(out);
  pasLog(message);
  SYS_Exit(kFatalExitStatus);
}

void wmFatalSetStream(std::FILE *stream) { fatal_stream = stream; }

void pasWmInit() {
  if (wmInit() != 0) wmFatal("WM initialization error.");
}

void pasWmRegister() {
  SYS_AddInitProc("Window manager ...", kWindowManagerSlot, pasWmInit);
  SYS_AddExitProc("Uninit window manager ...", kWindowManagerSlot, wmUninit);
}
