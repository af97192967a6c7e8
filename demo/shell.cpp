// The start-up shell's video, music and window-event procedures. See
// shell.h.
#include "demo/shell.h"

#include "demo/glow.h"
#include "framework/sys.h"
#include "sound/sound.h"
#include "window/gl_demo.h"
#include "window/wm.h"

wm_window_t *DemoWindow = nullptr;
QSS_Music_t *DemoMusic = nullptr;

namespace {

// 44100 Hz (low byte 3) with one stereo source (second byte 2).
constexpr int32_t kSoundFlags = 0x203;
constexpr int32_t kMusicOggVorbis = 0;
// Both buffers of the double-buffered context, twice over, start black.
constexpr int kClearedFrames = 4;
// While the music plays, an orderly shutdown (a fatal exit during play)
// stops it before the framework frees the blocks its player thread reads.
// Above the other units' slots, so it runs first.
constexpr int32_t kStopMusicSlot = 5;
constexpr const char *kStopMusicName = "Stop music ...";

}  // namespace

void StartVideo(const char *title, int32_t &width, int32_t &height, int32_t &fullscreen) {
  if (RunConfigDialog() != 0) SYS_Exit(0);
  width = cfg_settings.width;
  height = cfg_settings.height;
  fullscreen = cfg_settings.fullscreen;

  int32_t x = 0, y = 0;
  if (!fullscreen) {
    const auto desktop_width = static_cast<int32_t>(wmParam(nullptr, WM_DESKTOP_WIDTH, 0));
    const auto desktop_height = static_cast<int32_t>(wmParam(nullptr, WM_DESKTOP_HEIGHT, 0));
    x = (desktop_width - width) / 2;
    y = (desktop_height - height) / 2;
  }
  wm_window_t *window = wmNewWindow(x, y, width, height);
  if (!window) wmFatal("Unable to create window.");
  DemoWindow = window;
  wmParam(window, WM_TITLE, reinterpret_cast<intptr_t>(title));
  wmParam(window, WM_CALLBACK, reinterpret_cast<intptr_t>(&WindowCallback));
  pasLog(" - set view mode.");
  if (fullscreen) {
    wmParam(window, WM_CURSOR_HIDDEN, 1);
    // Without an exact mode the desktop stays as it is; the window still
    // covers it, borderless and on top.
    wmSetVideoMode(width, height, 32, 0.0f);
  }
  // The native window and its context are made here; without them every
  // OpenGL call below would have nothing to draw into.
  if (wmShowWindow(window) != 0) wmFatal("Unable to create window.");
  wmMakeCurrent(window);
  glInitExt();
  // The glow passes copy the lower-left 512 x 512 pixels of the drawable.
  CheckGlowDrawable(width, height);
  if (fullscreen) {
    wmParam(window, WM_BORDERLESS, 1);
    wmParam(window, WM_LEVEL, 1);
  }
  for (int i = 0; i < kClearedFrames; ++i) {
    dgl::glClearColor(0, 0, 0, 0);
    dgl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    wmSwapBuffers(window);
  }
}

void CloseVideo() {
  if (!DemoWindow) return;
  // A message box after a full-screen run needs its pointer back.
  if (DemoWindow->cursor_hidden) wmParam(DemoWindow, WM_CURSOR_HIDDEN, 0);
  wmHideWindow(DemoWindow);
  wmDestroyWindow(DemoWindow);
  DemoWindow = nullptr;
}

void StartMusic(const char *name) {
  if (QSS_Init(kSoundFlags) != 0) wmFatal("Unable to initialise sound system.");
  DemoMusic = QSS_NewMusic(kMusicOggVorbis, name, 0);
  if (!DemoMusic) wmFatal("Unable to load music.");
  SYS_AddExitProc(kStopMusicName, kStopMusicSlot, StopMusic);
  QSS_PlayMusic(DemoMusic);
}

void StopMusic() {
  SYS_RemoveExitProc(kStopMusicName);
  if (DemoMusic) {
    QSS_StopMusic(DemoMusic);
    QSS_FreeMusic(DemoMusic);
    DemoMusic = nullptr;
  }
  QSS_Shutdown();
}

int32_t WindowCallback(wm_event_t *event) {
  if (!event) return 0;
  switch (event->type) {
    case WM_EVENT_KEY:
      // The frame loop acts on the key of each frame and clears it after,
      // so a release landing in the next frame would act a second time:
      // only presses and repeats count, and a held key repeats its step.
      if (event->key.action == WM_KEY_PRESSED) cfg_settings.last_key = event->key.code;
      if (event->key.code == static_cast<int32_t>(WM_KEY_ESCAPE)) cfg_settings.quit = 1;
      break;
    case WM_EVENT_WINDOW:
      if (event->conf.action == WM_WINDOW_CLOSE) cfg_settings.quit = 1;
      if (event->conf.action == WM_WINDOW_BOUNDS) {
        wmMakeCurrent(event->window);
        dgl::glViewport(0, 0, event->conf.width, event->conf.height);
      }
      break;
    default:
      break;
  }
  return 0;
}
