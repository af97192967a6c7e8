// The two dialogs the program shows around its start: the configuration
// dialog ("cfg.xml"), which fills cfg_settings before the demo window
// opens, and the message box ("msgbox.xml"), which reports a file that
// cannot be opened before the program ends. Both are widget sets of the
// data pack, run in their own windows of the window manager, loaded once
// and kept hidden when not in use.
//
// Main thread only: the callbacks run inside widget_process, on the thread
// of the loop that reads dialog_state.
#pragma once

#include <cstdint>
#include <string_view>

#include "framework/list.h"

struct widget_item_t;
struct wm_event_t;

// The start-up settings; every field a signed 32-bit integer.
struct cfg_settings_t {
  int32_t quit;             // 1 ends the demo's frame loop
  int32_t last_key;         // framework key code of the latest key press or repeat
  int32_t dialog_state;     // 0 running, 1 start/dismissed, 2 quit
  int32_t width;            // pixels
  int32_t height;
  int32_t nosound;          // 1: no music
  int32_t vsync;            // logged only
  int32_t fullscreen;       // 1: full screen, 0: window
  int32_t texture_quality;  // 0 full size, 1 half, 2 quarter
  int32_t aspect;           // 43, 1610, 169 or 54
};

// Aspect codes of cfg_settings.aspect.
enum : int32_t {
  ASPECT_4_3 = 43,
  ASPECT_16_10 = 1610,
  ASPECT_16_9 = 169,
  ASPECT_5_4 = 54,
};

// dialog_state values.
enum : int32_t {
  DIALOG_RUNNING = 0,
  DIALOG_START = 1,  // also: message box dismissed
  DIALOG_QUIT = 2,
};

extern cfg_settings_t cfg_settings;

// Starts the dialog engine once: the framework's GL tables, the font
// renderer, the texture manager and the message box's set. 0; -1 when
// entered again while it is starting (a file of the message box itself
// is missing and its report wants the box).
int32_t InitDialogEngine();
// Fills cfg_settings from the dialog, or with the option "default" from
// the dialog file's initial values: 0, or -1 when the dialog engine did
// not start. Quitting the dialog ends the process with status 0 instead
// of returning.
int32_t RunConfigDialog();
int32_t ConfigDialogCallback(widget_item_t *widget, wm_event_t *event);
// Shows the text (cut to 255 characters) and returns once the user has
// dismissed it: 0. -1, at once, when the box cannot be shown: the engine
// did not start, or the box's set has no WINDOW with a window on screen.
int32_t ShowMessageBox(std::string_view text);
int32_t MessageBoxCallback(widget_item_t *widget, wm_event_t *event);

// The loaded sets, NULL until loaded; for tests.
SYS_List_p ConfigDialogSet();
SYS_List_p MessageBoxSet();
