// The start-up shell: the thin layer between the demo's main program and
// the window and sound services. It opens the demo window (after the
// configuration dialog has chosen the mode), closes it, starts and stops
// the soundtrack, owns the demo window's event callback, and installs the
// handler that reports a file the framework cannot open.
//
// It also owns the process-wide values the rest of the program reads:
// DemoWindow (the window the loading bar and the frame loop swap),
// DemoMusic (the handle the seeking keys move) and cfg_settings (the
// start-up settings the dialog fills and the frame loop reads).
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

struct wm_window_t;
struct wm_event_t;
struct QSS_Music_t;

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

extern cfg_settings_t cfg_settings;
// NULL until StartVideo has made it, and again after CloseVideo.
extern wm_window_t *DemoWindow;
// NULL until StartMusic has made it, and again after StopMusic.
extern QSS_Music_t *DemoMusic;

// The configuration dialog, then the window and its OpenGL context; the
// chosen mode is copied into the three variables. Four cleared frames
// leave both buffers black.
void StartVideo(const char *title, int32_t &width, int32_t &height, int32_t &fullscreen);
// Hides and destroys the demo window; nothing when there is none. The
// display mode is left as it is.
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
// mode, reports the file (FatalErrorMessage) and ends the program through
// the orderly shutdown with exit code 1. Entered again while it reports,
// it returns at once.
void FatalErrorHandler(int32_t code, const char *name);
// The text the handler shows: "File not found: " + name + "." for the file
// layer's not-found codes (1, 2, 3, 11), the bare name for any other code,
// "Unknown error." in place of a missing name; the name is cut to 255
// characters first and the whole text again.
std::string FatalErrorMessage(int32_t code, const char *name);
