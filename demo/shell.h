// The start-up shell: the thin layer between the demo's main program and
// the window and sound services. It opens the demo window (after the
// configuration dialog has chosen the mode), closes it, starts and stops
// the soundtrack, owns the demo window's event callback, and installs the
// handler that reports a file the framework cannot open.
//
// It also owns the process-wide values the rest of the program reads:
// DemoWindow (the window the loading bar and the frame loop swap),
// DemoMusic (the handle the seeking keys move). The start-up settings
// (cfg_settings) belong to the configuration dialog that fills them.
//
// Everything runs on the main thread; WindowCallback runs inside
// wmPumpEvents. The only other thread is the music player, started by
// QSS_PlayMusic and joined by QSS_StopMusic. Failures never return: they
// end the program through the fatal exit (wmFatal) or, for a file that
// cannot be opened, through FatalErrorHandler.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dialog/startup_dialogs.h"

struct wm_window_t;
struct wm_event_t;
struct QSS_Music_t;

// NULL until StartVideo has made it, and again after CloseVideo.
extern wm_window_t *DemoWindow;
// NULL until StartMusic has made it, and again after StopMusic.
extern QSS_Music_t *DemoMusic;

// The configuration dialog, then the window and its OpenGL context; the
// chosen mode is copied into the three variables. Four cleared frames
// leave both buffers black.
void StartVideo(const char *title, int32_t &width, int32_t &height, int32_t &fullscreen);
// Hides and destroys the demo window and shows the mouse pointer again if
// the window had hidden it; nothing when there is no window. The display
// mode is left as it is.
void CloseVideo();
// Starts the sound system (44100 Hz, one stereo source) and plays the
// named Ogg Vorbis file of the file layer.
void StartMusic(const char *name);
// Stops and frees the music, then closes the sound system.
void StopMusic();
// The demo window's event callback: key presses and repeats store their
// code in last_key (releases do not), Escape sets quit on press and on
// release; closing the window sets quit; a resize sets the viewport to the
// new size. Always 0.
int32_t WindowCallback(wm_event_t *event);

// The module's initialisation: installs FatalErrorHandler as the
// framework's error callback. Runs before the main program opens a file.
void InstallFatalErrorHandler();
// The framework's error callback: closes the window, restores the display
// mode, writes the report (FatalErrorMessage) to standard error and the
// log, shows it in the message box until the user dismisses it, and ends
// the program through the orderly shutdown with exit code 1. Entered again while it reports,
// it returns at once.
void FatalErrorHandler(int32_t code, const char *name);
// The text the handler shows: "File not found: " + name + "." for the file
// layer's not-found codes (1, 2, 3, 11), the bare name for any other code,
// "Unknown error." in place of a missing name; the name is cut to 255
// characters first and the whole text again.
std::string FatalErrorMessage(int32_t code, const char *name);
