// The frame loop: one pass per frame on the main thread until the quit
// flag is set or the demo time reaches 236000 ms. A pass sets the
// viewport, derives the sync value from the demo time, updates the
// music-sync flash levels, draws the one scene whose range holds the demo
// time, counts frames per second, draws the debug overlay and handles the
// seeking keys when the debug flag is set, swaps and pumps events.
//
// Scenes read DemoTime and SyncValue (a scene may use SyncValue as scratch
// after the flash update) and the tables of the set-up; they keep nothing
// between frames. Seeking moves only the start time and the music
// position. Flash levels stay within 0..1 whatever the seeks did.
#pragma once

#include <cstdint>
#include <string>

constexpr int32_t DEMO_END_TIME = 236000;  // ms: the timeline's end
constexpr int32_t SCENE_COUNT = 19;
constexpr int32_t SYNC_CHANNELS = 256;
constexpr int32_t OVERLAY_BAR_CHANNELS = 33;
constexpr int32_t FPS_INTERVAL = 200;  // ms between FPS updates at least

// One scene's half-open range of demo time and its drawing procedure.
struct TTimelineScene {
  int32_t from;  // inclusive
  int32_t to;    // exclusive
  void (*draw)();
};
// The timeline, tested in this order every pass; the ranges are
// contiguous and the first has no lower bound.
extern TTimelineScene DemoTimeline[SCENE_COUNT];

// An aspect code's viewport.
struct TAspectViewport {
  int32_t code;
  int32_t x, y, width, height;
};
extern const TAspectViewport cfg_aspect[4];

// Frame state.
extern int32_t DemoTime;    // ms, read once at the top of each pass
extern int32_t StartTime;   // framework clock at the timeline's start
extern int32_t SyncValue;   // trunc(DemoTime x 0.96), in music-sync units
extern float FlashLevels[SYNC_CHANNELS];
extern int32_t LastHits[SYNC_CHANNELS];
extern int32_t FrameCounter;
extern int32_t LastFpsTime;
extern std::string FpsText;  // "0" until the first update
extern std::string FpsLine;  // "FPS : [" + FpsText + "]" + a NUL character

// glViewport of the aspect code in cfg_settings; any other code leaves the
// viewport as it is.
void SetAspectViewport();

// The scene number (1..19) whose range holds t, 0 for none.
int32_t SceneForTime(int32_t t);
// trunc(t x 0.96).
int32_t SyncValueForTime(int32_t t);
// Steps 5 and 6 of a pass: music-sync records up to sync light their
// channel, then every channel decays by (sync - last hit) / 500, clamped
// to 0..1.
void UpdateFlashLevels(int32_t sync);
// Frames per elapsed milliseconds as frames per second with exactly two
// decimals, halves rounded away from zero.
std::string FormatFps(int32_t frames, int32_t elapsedMs);
// The music's byte position of a time in ms: 44100 frames of 4 bytes per
// second, to the nearest byte.
int32_t MusicBytePosition(int32_t ms);
// The overlay's status line for a demo time.
std::string OverlayStatusLine(int32_t demoTime);
// The bar of a flash level: round(level x 16) '=' characters, 0 to 22.
std::string OverlayBar(float level);
// The seeking keys (debug mode): moves StartTime and, with sound on, the
// music. Other keys do nothing.
void HandleSeekKey(int32_t key, int32_t demoTime);

// Resets the frame state for a new run of the timeline: demo time 0, FPS
// text "0", no flashes.
void ResetFrameState();
// One pass without the clock, the swap and the event pump: everything a
// frame draws at demo time t. Tests call it to draw any frame.
void DemoDrawFrame(int32_t demoTime);
// Passes until quit or the timeline's end; the loop starts with its end
// test.
void RunFrameLoop();
// The end: stops the music (unless sound is off), closes the window and
// ends the process with code 0 without the orderly shutdown.
[[noreturn]] void DemoExit();
