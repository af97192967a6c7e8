// Stand-ins for the dialog engine's start-up dialogs, until it joins the
// build; delete this file then.
//
// RunConfigDialog gives what the real dialog gives with the option
// "default" and the shipped "cfg.xml": an 800 x 600 window with aspect 4:3,
// sound on, vertical sync on, full-size textures; it logs the same summary
// lines. ShowMessageBox cannot wait for a user: it writes the text to
// standard error and to the log and returns at once.
#include <cstdio>
#include <string>

#include "demo/shell.h"
#include "demo/startup_dialogs.h"
#include "framework/sys.h"

int32_t RunConfigDialog() {
  cfg_settings.width = 800;
  cfg_settings.height = 600;
  cfg_settings.fullscreen = 0;
  cfg_settings.nosound = 0;
  cfg_settings.vsync = 1;
  cfg_settings.texture_quality = 0;
  cfg_settings.aspect = ASPECT_4_3;

  static const char *const kQuality[] = {"high", "medium", "low"};
  SYS_Log(1, "[cfg] width: %d\n", cfg_settings.width);
  SYS_Log(1, "[cfg] height: %d\n", cfg_settings.height);
  SYS_Log(1, "[cfg] windowed: %s\n", cfg_settings.fullscreen == 1 ? "false" : "true");
  SYS_Log(1, "[cfg] vsync %s\n", cfg_settings.vsync ? "on" : "off");
  SYS_Log(1, "[cfg] %s\n", cfg_settings.nosound ? "nosound" : "sound on");
  if (cfg_settings.texture_quality >= 0 && cfg_settings.texture_quality <= 2)
    SYS_Log(1, "[cfg] texture quality %s\n", kQuality[cfg_settings.texture_quality]);
  return 0;
}

int32_t ShowMessageBox(std::string_view text) {
  std::string line(text.substr(0, 255));
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  pasLog(line);
  return 0;
}
