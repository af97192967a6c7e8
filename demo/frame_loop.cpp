// The frame loop, its debug overlay, the seeking keys and the exit. See
// frame_loop.h.
#include "demo/frame_loop.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "demo/debug_font.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "demo/shell.h"
#include "engine/render/engine_state.h"
#include "framework/sys.h"
#include "sound/sound.h"
#include "window/gl_demo.h"
#include "window/wm.h"

TTimelineScene DemoTimeline[SCENE_COUNT] = {
    {INT32_MIN, 8000, Scene1},   {8000, 16000, Scene2},    {16000, 18000, Scene3},
    {18000, 36000, Scene4},      {36000, 40000, Scene5},   {40000, 48000, Scene6},
    {48000, 56000, Scene7},      {56000, 57000, Scene8},   {57000, 60000, Scene9},
    {60000, 80000, Scene10},     {80000, 88000, Scene11},  {88000, 112000, Scene12},
    {112000, 116000, Scene13},   {116000, 120000, Scene14}, {120000, 152000, Scene15},
    {152000, 184000, Scene16},   {184000, 192000, Scene17}, {192000, 228000, Scene18},
    {228000, DEMO_END_TIME, Scene19},
};

const TAspectViewport cfg_aspect[4] = {
    {ASPECT_4_3, 0, 0, 800, 600},
    {ASPECT_16_10, 85, 0, 854, 768},
    {ASPECT_16_9, 160, 0, 960, 720},
    {ASPECT_5_4, 0, 24, 1024, 720},
};

int32_t DemoTime = 0;
int32_t StartTime = 0;
int32_t SyncValue = 0;
float FlashLevels[SYNC_CHANNELS];
int32_t LastHits[SYNC_CHANNELS];
int32_t FrameCounter = 0;
int32_t LastFpsTime = 0;
std::string FpsText = "0";
std::string FpsLine;

namespace {

// A flash fades out over this many sync units.
constexpr float kFlashDecay = 500.0f;
// The bar's full text; a level of 1 shows 16 of it.
constexpr std::string_view kBar = "======================";
// Music position of a restart: the first bytes, since 0 posts nothing.
constexpr int32_t kMusicRestart = 10;

struct SeekKey {
  int32_t key;
  int32_t delta;  // ms forward; 0 restarts
};

// Tested in this order; a key code matches one row at most.
constexpr SeekKey kSeekKeys[] = {
    {WM_KEY_RIGHT, 1000}, {WM_KEY_LEFT, -1000}, {WM_KEY_HOME, 0},
    {WM_KEY_PAGE_DOWN, 5000}, {WM_KEY_PAGE_UP, -5000},
};

void SeekMusic(int32_t position) {
  if (cfg_settings.nosound || !DemoMusic) return;
  QSS_SetMusicPos(DemoMusic, position);
}

int32_t SyncTime(int32_t record) {
  const uint8_t *p = MusicSyncFile.data + record * SYNC_RECORD_BYTES;
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

void UpdateFps(int32_t demoTime) {
  ++FrameCounter;
  if (demoTime - LastFpsTime >= FPS_INTERVAL) {
    FpsText = FormatFps(FrameCounter, demoTime - LastFpsTime);
    LastFpsTime = demoTime;
    FrameCounter = 0;
  }
  FpsLine = "FPS : [" + FpsText + "]";
  FpsLine.push_back('\0');
}

void ResetDrawingState() {
  dgl::glDisable(GL_LIGHTING);
  dgl::glViewport(0, 0, DemoWidth, DemoHeight);
  dgl::glColor3f(1, 1, 1);
  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::glDisable(GL_DEPTH_TEST);
}

void DrawOverlay(int32_t demoTime) {
  dgl::glColor3f(1, 1, 1);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(DebugFontTexture));
  dgl::glEnable(GL_TEXTURE_2D);
  DrawDebugText(OverlayStatusLine(demoTime), 1.0f, 1.0f, 0);
  dgl::glEnable(GL_BLEND);
  dgl::glDisable(GL_LIGHTING);
  dgl::glDisable(GL_DEPTH_TEST);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  for (int32_t i = 0; i < OVERLAY_BAR_CHANNELS; ++i)
    DrawDebugText(OverlayBar(FlashLevels[i]), 1.0f, static_cast<float>(i + 3), 0);
}

}  // namespace

void SetAspectViewport() {
  for (const TAspectViewport &v : cfg_aspect)
    if (cfg_settings.aspect == v.code) dgl::glViewport(v.x, v.y, v.width, v.height);
}

int32_t SceneForTime(int32_t t) {
  for (int32_t s = 0; s < SCENE_COUNT; ++s)
    if (t >= DemoTimeline[s].from && t < DemoTimeline[s].to) return s + 1;
  return 0;
}

int32_t SyncValueForTime(int32_t t) { return static_cast<int32_t>(static_cast<double>(t) * 0.96); }

void UpdateFlashLevels(int32_t sync) {
  for (int32_t r = 0; r < MusicSyncCount; ++r) {
    const int32_t time = SyncTime(r);
    if (time > sync) continue;
    const uint8_t channel = MusicSyncFile.data[r * SYNC_RECORD_BYTES + 4];
    FlashLevels[channel] = 1.0f;
    LastHits[channel] = time;
  }
  for (int32_t c = 0; c < SYNC_CHANNELS; ++c) {
    float level = FlashLevels[c] - static_cast<float>(sync - LastHits[c]) / kFlashDecay;
    // After a seek backwards a channel's last hit can lie ahead of the
    // sync value, which would push the level past 1.
    if (level <= 0.0f) level = 0.0f;
    if (level > 1.0f) level = 1.0f;
    FlashLevels[c] = level;
  }
}

std::string FormatFps(int32_t frames, int32_t elapsedMs) {
  if (frames <= 0 || elapsedMs <= 0) return "0.00";
  const double fps = static_cast<double>(frames) * 1000.0 / static_cast<double>(elapsedMs);
  const long long hundredths = std::llround(fps * 100.0);
  char text[64];
  std::snprintf(text, sizeof text, "%lld.%02lld", hundredths / 100, hundredths % 100);
  return text;
}

int32_t MusicBytePosition(int32_t ms) {
  // 176.4 bytes per ms, rounded half away from zero in exact integers.
  const int64_t tenths = static_cast<int64_t>(ms) * 1764;
  const int64_t bytes = tenths >= 0 ? (tenths + 5) / 10 : -((-tenths + 5) / 10);
  return static_cast<int32_t>(bytes);
}

std::string OverlayStatusLine(int32_t demoTime) {
  const int32_t tenths = demoTime / 100;
  return std::to_string(demoTime) + " " + FpsLine + " " + std::to_string(tenths / 80) + " / " +
         std::to_string(tenths % 80 * 4 / 5);
}

std::string OverlayBar(float level) {
  long n = std::lround(static_cast<double>(level) * 16.0);
  if (n < 0) n = 0;
  if (n > static_cast<long>(kBar.size())) n = static_cast<long>(kBar.size());
  return std::string(kBar.substr(0, static_cast<size_t>(n)));
}

void HandleSeekKey(int32_t key, int32_t demoTime) {
  for (const SeekKey &seek : kSeekKeys) {
    if (key != seek.key) continue;
    if (seek.delta == 0) {
      SeekMusic(kMusicRestart);
      StartTime = SYS_TimerGet();
    } else if (seek.delta > 0) {
      SeekMusic(MusicBytePosition(demoTime + seek.delta));
      StartTime -= seek.delta;
    } else {
      SeekMusic(MusicBytePosition(demoTime + seek.delta));
      StartTime -= seek.delta;
      if (SYS_TimerGet() < StartTime) {  // before the beginning: restart
        StartTime = SYS_TimerGet();
        SeekMusic(kMusicRestart);
      }
    }
    return;
  }
}

void ResetFrameState() {
  DemoTime = 0;
  SyncValue = 0;
  std::memset(FlashLevels, 0, sizeof FlashLevels);
  std::memset(LastHits, 0, sizeof LastHits);
  FrameCounter = 0;
  LastFpsTime = 0;
  FpsText = "0";
  FpsLine.clear();
}

void DemoDrawFrame(int32_t demoTime) {
  dgl::glViewport(0, 0, DemoWidth, DemoHeight);
  dgl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  SetAspectViewport();
  DemoTime = demoTime;
  SyncValue = SyncValueForTime(demoTime);
  UpdateFlashLevels(SyncValue);

  dgl::glDisable(GL_LIGHTING);
  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glColor3f(1, 1, 1);
  _3DV_FacesDrawn = 0;
  _3DV_ObjectsDrawn = 0;
  _3DV_ParticlesDrawn = 0;

  for (const TTimelineScene &scene : DemoTimeline)
    if (demoTime >= scene.from && demoTime < scene.to) scene.draw();

  UpdateFps(demoTime);
  ResetDrawingState();
  if (DemoDebug) {
    DrawOverlay(demoTime);
    HandleSeekKey(cfg_settings.last_key, demoTime);
  }
}

void RunFrameLoop() {
  while (cfg_settings.quit == 0 && DemoTime < DEMO_END_TIME) {
    DemoDrawFrame(SYS_TimerGet() - StartTime);
    wmSwapBuffers(DemoWindow);
    cfg_settings.last_key = 0;
    wmPumpEvents();
  }
}

void DemoExit() {
  if (!cfg_settings.nosound) StopMusic();
  CloseVideo();
  std::exit(0);
}
