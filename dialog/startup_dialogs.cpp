// The start of the dialog engine, the configuration dialog and the message
// box. See startup_dialogs.h.
//
// The message box reports missing files, and its own files are files too:
// a missing "msgbox.xml" (or a font it names) is reported through the file
// layer's error callback while the engine is still starting, and that
// report asks for the box again. The engine therefore answers -1 to a start
// nested in its own start, and the box refuses at once when it has nothing
// on screen to wait in; the caller then ends the program without it.
#include "dialog/startup_dialogs.h"

#include <cstdlib>
#include <string>

#include "dialog/font_renderer.h"
#include "dialog/widget.h"
#include "framework/base.h"
#include "framework/clock.h"
#include "framework/log.h"
#include "framework/options.h"
#include "texture/loader.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"
#include "window/wm.h"
#include "window/wm_display.h"

cfg_settings_t cfg_settings = {
    .quit = 0,
    .last_key = 0,
    .dialog_state = DIALOG_RUNNING,
    .width = 0,
    .height = 0,
    .nosound = 0,
    .vsync = 1,
    .fullscreen = 1,
    .texture_quality = 0,
    .aspect = ASPECT_4_3,
};

namespace {

bool started = false;
bool starting = false;
SYS_List_p config_set = nullptr;
SYS_List_p message_set = nullptr;

// Widget ids of the two dialog files.
enum : int32_t {
  ID_QUIT = 23,  // also the message box's OK
  ID_MESSAGE = 100,
  ID_MODE_800_600 = 101,
  ID_MODE_1024_768_WIDE = 102,
  ID_MODE_1280_720 = 103,
  ID_MODE_1024_768 = 104,
  ID_NOSOUND = 110,
  ID_VSYNC = 111,
  ID_WINDOWED = 112,
  ID_QUALITY_HIGH = 115,
  ID_START = 1000,
};

constexpr int32_t kModeButtons[] = {ID_MODE_800_600, ID_MODE_1024_768_WIDE, ID_MODE_1280_720,
                                    ID_MODE_1024_768};

struct ModeChoice {
  int32_t id, width, height, aspect;
};
constexpr ModeChoice kModes[] = {
    {ID_MODE_800_600, 800, 600, ASPECT_4_3},
    {ID_MODE_1024_768_WIDE, 1024, 768, ASPECT_16_10},
    {ID_MODE_1280_720, 1280, 720, ASPECT_16_9},
    {ID_MODE_1024_768, 1024, 768, ASPECT_5_4},
};

constexpr size_t kMessageMax = 255;

// A widget the code relies on but the file lacks is passed over with a
// log line, so the settings it would have changed keep their presets.
widget_item_t *Find(SYS_List_p set, int32_t id) {
  widget_item_t *w = widget_find_id(set, id);
  if (!w) SYS_Log(1, "[cfg] ! widget %d not found\n", id);
  return w;
}

// A mode button's text is grey while its mode is not offered.
void Offer(int32_t id, bool offered) {
  widget_item_t *w = Find(config_set, id);
  if (!w) return;
  if (offered) {
    widget_enable(w);
    widget_set_color(w, 228, 228, 228, 255);
  } else {
    widget_disable(w);
    widget_set_color(w, 100, 100, 100, 255);
  }
}

// Reads a check box into a setting; a missing one leaves it as it is.
void ReadCheck(int32_t id, int32_t &setting, bool when_set) {
  if (widget_item_t *w = Find(config_set, id)) setting = (widget_get_value(w) != 0) == when_set ? 1 : 0;
}

void ReadQuality() {
  for (int32_t i = 0; i < 3; ++i)
    if (widget_item_t *w = Find(config_set, ID_QUALITY_HIGH + i); w && widget_get_value(w) == 1)
      cfg_settings.texture_quality = i;
}

// The first WINDOW of the set has a window on screen: the only place a
// user could answer a dialog.
bool OnScreen(SYS_List_p set) {
  const widget_item_t *w = widget_first_of_type(set, WIDGET_WINDOW);
  return w && w->visible && w->window && w->window->window;
}

bool KeyReleased(const wm_event_t *e) { return e->type == WM_EVENT_KEY && e->key.action == WM_KEY_RELEASED; }
bool WindowClosed(const wm_event_t *e) { return e->type == WM_EVENT_WINDOW && e->conf.action == WM_WINDOW_CLOSE; }

void OfferModes() {
  for (int32_t id : kModeButtons) Offer(id, false);
  SYS_List_p modes = wmGetVideoModes();
  if (!modes) {
    SYS_Log(1, "[cfg] ! no available video modes?\n");
    return;
  }
  SYS_Log(1, "[cfg] yep.\n");
  for (SYS_List_p node = modes; node; node = node->next) {
    const auto *mode = static_cast<const wm_videomode_t *>(node->data);
    if (!mode || mode->bits != 32) continue;
    SYS_Log(1, "[cfg] - %dx%d %dbits\n", mode->width, mode->height, mode->bits);
    for (const ModeChoice &m : kModes)
      if (m.width == mode->width && m.height == mode->height) Offer(m.id, true);
  }
  wmFreeVideoModes(modes);
}

void LogSummary() {
  static const char *const kQuality[] = {"high", "medium", "low"};
  SYS_Log(1, "[cfg] width: %d\n", cfg_settings.width);
  SYS_Log(1, "[cfg] height: %d\n", cfg_settings.height);
  SYS_Log(1, "[cfg] windowed: %s\n", cfg_settings.fullscreen == 1 ? "false" : "true");
  SYS_Log(1, "[cfg] vsync %s\n", cfg_settings.vsync ? "on" : "off");
  SYS_Log(1, "[cfg] %s\n", cfg_settings.nosound ? "nosound" : "sound on");
  if (cfg_settings.texture_quality >= 0 && cfg_settings.texture_quality <= 2)
    SYS_Log(1, "[cfg] texture quality %s\n", kQuality[cfg_settings.texture_quality]);
}

}  // namespace

SYS_List_p ConfigDialogSet() { return config_set; }
SYS_List_p MessageBoxSet() { return message_set; }

int32_t InitDialogEngine() {
  if (started) return 0;
  if (starting) return -1;
  starting = true;
  gl_stub_load();
  glu_stub_load();
  frInit();
  tmInit();
  txSetParam(3, TX_RED_FIRST);
  if (widget_init() != 0) wmFatal("Unable to initialize dialog engine.");
  if (!message_set) {
    message_set = widget_load(1, "msgbox.xml");
    if (message_set) widget_set_callback_all(message_set, MessageBoxCallback);
  }
  starting = false;
  started = true;
  return 0;
}

int32_t RunConfigDialog() {
  if (InitDialogEngine() != 0) return -1;
  if (!config_set) {
    config_set = widget_load(1, "cfg.xml");
    if (config_set) widget_set_callback_all(config_set, ConfigDialogCallback);
  }
  OfferModes();

  cfg_settings.width = 800;
  cfg_settings.height = 600;
  cfg_settings.fullscreen = 0;
  ReadCheck(ID_NOSOUND, cfg_settings.nosound, true);
  ReadCheck(ID_VSYNC, cfg_settings.vsync, true);
  ReadCheck(ID_WINDOWED, cfg_settings.fullscreen, false);
  ReadQuality();

  if (SYS_CfgGet("default", 0) == 0) {
    widget_show_set(config_set);
    // A dialog nobody can see would be waited for forever.
    if (!OnScreen(config_set)) wmFatal("Unable to initialize dialog engine.");
    cfg_settings.dialog_state = DIALOG_RUNNING;
    for (;;) {
      widget_process(config_set);
      // Quitting here ends the process as it stands: nothing has been
      // started that needs an orderly end.
      if (cfg_settings.dialog_state == DIALOG_QUIT) std::exit(0);
      if (cfg_settings.dialog_state == DIALOG_START) break;
      SYS_Sleep(0);
    }
    widget_hide_set(config_set);
  }

  if (cfg_settings.fullscreen == 0) {
    cfg_settings.width = 800;
    cfg_settings.height = 600;
    cfg_settings.aspect = ASPECT_4_3;
  }
  LogSummary();
  return 0;
}

int32_t ConfigDialogCallback(widget_item_t *widget, wm_event_t *event) {
  if (!widget || !event) return 0;
  if (WindowClosed(event)) cfg_settings.dialog_state = DIALOG_QUIT;
  if (KeyReleased(event)) {
    if (event->key.code == WM_KEY_ESCAPE) cfg_settings.dialog_state = DIALOG_QUIT;
    if (event->key.code == WM_KEY_RETURN || event->key.code == WM_KEY_ENTER)
      cfg_settings.dialog_state = DIALOG_START;
    return 0;
  }
  if (event->mouse.left != 1) return 0;
  switch (widget->id) {
    case ID_QUIT: cfg_settings.dialog_state = DIALOG_QUIT; break;
    case ID_NOSOUND: cfg_settings.nosound = widget_get_value(widget) != 0; break;
    case ID_VSYNC: cfg_settings.vsync = widget_get_value(widget) != 0; break;
    case ID_WINDOWED: cfg_settings.fullscreen = widget_get_value(widget) == 0; break;
    case ID_QUALITY_HIGH:
    case ID_QUALITY_HIGH + 1:
    case ID_QUALITY_HIGH + 2: ReadQuality(); break;
    case ID_START: cfg_settings.dialog_state = DIALOG_START; break;
    default:
      for (const ModeChoice &m : kModes)
        if (m.id == widget->id) {
          cfg_settings.width = m.width;
          cfg_settings.height = m.height;
          cfg_settings.aspect = m.aspect;
        }
      break;
  }
  return 0;
}

int32_t ShowMessageBox(std::string_view text) {
  if (InitDialogEngine() != 0 || !message_set) return -1;
  const std::string message(text.substr(0, kMessageMax));
  if (widget_item_t *label = Find(message_set, ID_MESSAGE)) widget_set_title(label, message.c_str());
  widget_show_set(message_set);
  if (!OnScreen(message_set)) {
    widget_hide_set(message_set);
    return -1;
  }
  cfg_settings.dialog_state = DIALOG_RUNNING;
  do {
    widget_process(message_set);
    if (cfg_settings.dialog_state == DIALOG_START) break;
    SYS_Sleep(0);
  } while (true);
  widget_hide_set(message_set);
  return 0;
}

int32_t MessageBoxCallback(widget_item_t *widget, wm_event_t *event) {
  if (!widget || !event) return 0;
  const bool dismiss_key = KeyReleased(event) && (event->key.code == WM_KEY_ESCAPE || event->key.code == WM_KEY_RETURN ||
                                                  event->key.code == WM_KEY_ENTER);
  if (WindowClosed(event) || dismiss_key || (event->mouse.left == 1 && widget->id == ID_QUIT))
    cfg_settings.dialog_state = DIALOG_START;
  return 0;
}
