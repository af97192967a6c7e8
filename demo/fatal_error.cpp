// The handler of files the framework cannot open.
//
// The framework's file layer calls it with the error code and the file
// name for every open that fails. It is the only place the demo tells the
// user about a missing file: it closes the demo window, puts the display
// mode back, shows the message and ends the program with exit code 1
// through the orderly shutdown. When the box cannot be shown (its own file
// is missing, or there is no screen) the program ends all the same. Main
// thread only (the music thread only reads a file that is already open).
//
// The shown flag is raised on entry, before anything is reported: the
// report itself may open files (the message box's own dialog file), and a
// failure there must not start a second report inside the first.
#include "demo/shell.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "framework/sys.h"
#include "window/wm.h"

namespace {

bool shown = false;

// Longest message the box holds.
constexpr size_t kMessageMax = 255;

bool IsNotFound(int32_t code) { return code == 1 || code == 2 || code == 3 || code == 11; }

}  // namespace

std::string FatalErrorMessage(int32_t code, const char *name) {
  const std::string_view what =
      name ? std::string_view(name).substr(0, kMessageMax) : std::string_view("Unknown error.");
  std::string message;
  if (IsNotFound(code)) {
    message.append("File not found: ").append(what).append(".");
  } else {
    message.append(what);
  }
  message.resize(std::min(message.size(), kMessageMax));
  return message;
}

void FatalErrorHandler(int32_t code, const char *name) {
  if (shown) return;
  shown = true;
  CloseVideo();
  wmRestoreVideoMode();
  const std::string message = FatalErrorMessage(code, name);
  // Said before the box is tried: a run without a screen, or one whose box
  // cannot be built, still tells why it ended.
  std::fprintf(stderr, "%s\n", message.c_str());
  std::fflush(stderr);
  pasLog(message);
  ShowMessageBox(message);
  SYS_Exit(1);
}

void InstallFatalErrorHandler() { SYS_ErrorSetCallback(FatalErrorHandler); }
