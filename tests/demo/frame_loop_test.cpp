// The frame loop without a display: OpenGL is a recorder, the scenes are
// replaced by markers, and the music-sync file is made here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "demo/frame_loop.h"
#include "demo/resources.h"
#include "demo/shell.h"
#include "engine/render/engine_state.h"
#include "framework/clock.h"
#include "gl_recorder.h"
#include "platform/fake.h"
#include "sound/music.h"
#include "window/wm.h"

namespace {

using ember_test::GlRecorder;

std::vector<int> drawn;  // scene numbers drawn, in order

template <int N>
void Marker() {
  drawn.push_back(N);
}

// The real timeline's ranges with markers in place of the scenes.
class FrameLoop : public ::testing::Test {
protected:
  void SetUp() override {
    // The loop pumps events: the recording desktop has none to deliver.
    ASSERT_EQ(plSetBackend(PL_BACKEND_FAKE), 0);
    plFakeReset();
    std::memcpy(saved_, DemoTimeline, sizeof saved_);
    void (*markers[SCENE_COUNT])() = {Marker<1>,  Marker<2>,  Marker<3>,  Marker<4>,  Marker<5>,
                                      Marker<6>,  Marker<7>,  Marker<8>,  Marker<9>,  Marker<10>,
                                      Marker<11>, Marker<12>, Marker<13>, Marker<14>, Marker<15>,
                                      Marker<16>, Marker<17>, Marker<18>, Marker<19>};
    for (int s = 0; s < SCENE_COUNT; ++s) DemoTimeline[s].draw = markers[s];
    drawn.clear();
    saved_settings_ = cfg_settings;
    cfg_settings.aspect = ASPECT_4_3;
    cfg_settings.nosound = 1;
    cfg_settings.last_key = 0;
    cfg_settings.quit = 0;
    DemoDebug = 0;
    DemoWidth = 800;
    DemoHeight = 600;
    SetSync({});
    ResetFrameState();
  }
  void TearDown() override {
    std::memcpy(DemoTimeline, saved_, sizeof saved_);
    cfg_settings = saved_settings_;
  }

  // Music-sync records (time in sync units, channel).
  void SetSync(const std::vector<std::pair<int32_t, uint8_t>> &records) {
    sync_.clear();
    for (auto [time, channel] : records) {
      for (int b = 0; b < 4; ++b) sync_.push_back(static_cast<uint8_t>(uint32_t(time) >> (8 * b)));
      sync_.push_back(channel);
    }
    sync_.push_back(0);  // a trailing partial record is never read
    MusicSyncFile = {sync_.data(), static_cast<int32_t>(sync_.size())};
    MusicSyncCount = static_cast<int32_t>(records.size());
  }

  GlRecorder gl;
  TTimelineScene saved_[SCENE_COUNT];
  cfg_settings_t saved_settings_;
  std::vector<uint8_t> sync_;
};

TEST_F(FrameLoop, EachDemoTimeDrawsTheOneSceneWhoseRangeHoldsIt) {
  const std::vector<std::pair<int32_t, int>> cases = {
      {-50, 1},      {0, 1},        {7999, 1},     {8000, 2},     {16000, 3},    {18000, 4},
      {36000, 5},    {40000, 6},    {48000, 7},    {56000, 8},    {57000, 9},    {60000, 10},
      {80000, 11},   {88000, 12},   {112000, 13},  {116000, 14},  {120000, 15},  {152000, 16},
      {184000, 17},  {192000, 18},  {227999, 18},  {228000, 19},  {235999, 19}};
  for (auto [t, scene] : cases) {
    drawn.clear();
    DemoDrawFrame(t);
    EXPECT_EQ(drawn, std::vector<int>{scene}) << "t=" << t;
    EXPECT_EQ(SceneForTime(t), scene) << "t=" << t;
  }
  // Every boundary belongs to exactly one scene.
  for (int s = 1; s < SCENE_COUNT; ++s) EXPECT_EQ(DemoTimeline[s].from, DemoTimeline[s - 1].to);
}

TEST_F(FrameLoop, TheEndOfTheTimelineDrawsNoSceneButStillClearsAndResets) {
  DemoDrawFrame(DEMO_END_TIME);
  EXPECT_TRUE(drawn.empty());
  EXPECT_EQ(SceneForTime(DEMO_END_TIME), 0);
  EXPECT_EQ(gl.Count("glClear"), 1u);
  EXPECT_EQ(gl.Count("glLoadIdentity"), 2u);
}

TEST_F(FrameLoop, TheLoopEndsAfterThePassThatReadsTheEndTime) {
  StartTime = SYS_TimerGet() - DEMO_END_TIME;
  RunFrameLoop();
  EXPECT_TRUE(drawn.empty());
  EXPECT_GE(DemoTime, DEMO_END_TIME);
  EXPECT_EQ(gl.Count("glClear"), 1u);
}

TEST_F(FrameLoop, TheQuitFlagStopsTheLoopBeforeAnyPass) {
  cfg_settings.quit = 1;
  StartTime = SYS_TimerGet();
  RunFrameLoop();
  EXPECT_EQ(gl.Count("glClear"), 0u);
}

TEST_F(FrameLoop, EachPassStartsWithTheFrameHeadAndClearsTheEngineCounters) {
  _3DV_FacesDrawn = 5;
  _3DV_ObjectsDrawn = 6;
  _3DV_ParticlesDrawn = 7;
  DemoDrawFrame(100);
  EXPECT_EQ(_3DV_FacesDrawn + _3DV_ObjectsDrawn + _3DV_ParticlesDrawn, 0);
  const auto names = gl.Names();
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(names[0], "glViewport");
  EXPECT_EQ(names[1], "glClear");
  EXPECT_EQ(gl.Find("glClear")->args[0], double(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
}

TEST_F(FrameLoop, TheAspectCodeChoosesTheViewportAndAnUnknownCodeKeepsTheWindow) {
  const std::vector<std::pair<int32_t, std::vector<double>>> cases = {
      {ASPECT_4_3, {0, 0, 800, 600}},     {ASPECT_16_10, {85, 0, 854, 768}},
      {ASPECT_16_9, {160, 0, 960, 720}},  {ASPECT_5_4, {0, 24, 1024, 720}}};
  for (const auto &[code, viewport] : cases) {
    gl.Clear();
    cfg_settings.aspect = code;
    DemoDrawFrame(100);
    ASSERT_NE(gl.Find("glViewport", 1), nullptr);
    EXPECT_EQ(gl.Find("glViewport", 1)->args, viewport) << code;
  }
  gl.Clear();
  cfg_settings.aspect = 99;
  DemoWidth = 1280;
  DemoHeight = 720;
  DemoDrawFrame(100);
  // The full-window viewport, then straight to the reset's full window.
  EXPECT_EQ(gl.Count("glViewport"), 2u);
  EXPECT_EQ(gl.Find("glViewport", 0)->args, (std::vector<double>{0, 0, 1280, 720}));
}

TEST_F(FrameLoop, AFlashPeaksOnItsRecordAndFadesOverFiveHundredUnits) {
  SetSync({{100, 3}, {1000, 3}, {300, 5}});
  UpdateFlashLevels(99);
  EXPECT_EQ(FlashLevels[3], 0.0f);
  UpdateFlashLevels(100);
  EXPECT_EQ(FlashLevels[3], 1.0f);
  UpdateFlashLevels(350);
  EXPECT_EQ(FlashLevels[3], 0.5f);
  EXPECT_FLOAT_EQ(FlashLevels[5], 0.9f);
  UpdateFlashLevels(600);
  EXPECT_EQ(FlashLevels[3], 0.0f);
  UpdateFlashLevels(1000);
  EXPECT_EQ(FlashLevels[3], 1.0f);
  EXPECT_EQ(FlashLevels[5], 0.0f);
  EXPECT_EQ(FlashLevels[0], 0.0f);
}

TEST_F(FrameLoop, AfterASeekBackFlashLevelsAndBarsStayInRange) {
  SetSync({{100, 3}, {1000, 3}, {900, 7}});
  UpdateFlashLevels(1000);
  UpdateFlashLevels(0);  // every channel's last hit now lies ahead
  for (int c = 0; c < SYNC_CHANNELS; ++c) {
    EXPECT_GE(FlashLevels[c], 0.0f) << c;
    EXPECT_LE(FlashLevels[c], 1.0f) << c;
  }
  for (float level : {-3.0f, 0.0f, 0.5f, 1.0f, 1.4f, 40.0f}) EXPECT_LE(OverlayBar(level).size(), 22u);
  EXPECT_EQ(OverlayBar(1.0f), std::string(16, '='));
  EXPECT_EQ(OverlayBar(0.5f), std::string(8, '='));
  EXPECT_EQ(OverlayBar(0.0f), "");
}

TEST_F(FrameLoop, TheSyncValueIsTheDemoTimeInSyncUnits) {
  EXPECT_EQ(SyncValueForTime(0), 0);
  EXPECT_EQ(SyncValueForTime(1000), 960);
  EXPECT_EQ(SyncValueForTime(1001), 960);  // 960.96 truncated
  EXPECT_EQ(SyncValueForTime(235999), 226559);
  DemoDrawFrame(1001);
  EXPECT_EQ(SyncValue, 960);
  EXPECT_EQ(DemoTime, 1001);
}

TEST_F(FrameLoop, FramesPerSecondShowTwoDecimalsAndStartAsZero) {
  EXPECT_EQ(FormatFps(479, 8000), "59.88");  // 59.875
  EXPECT_EQ(FormatFps(60, 1000), "60.00");
  EXPECT_EQ(FormatFps(1, 300), "3.33");
  EXPECT_EQ(FormatFps(2, 3), "666.67");
  EXPECT_EQ(FpsText, "0");
  DemoDrawFrame(0);
  DemoDrawFrame(150);  // under 200 ms: no update yet
  EXPECT_EQ(FpsText, "0");
  EXPECT_EQ(FpsLine, std::string("FPS : [0]\0", 10));
  DemoDrawFrame(200);
  EXPECT_EQ(FpsText, "15.00");  // 3 frames in 200 ms
  EXPECT_EQ(FpsLine, std::string("FPS : [15.00]\0", 14));
  EXPECT_EQ(LastFpsTime, 200);
  EXPECT_EQ(FrameCounter, 0);
}

TEST_F(FrameLoop, TheStatusLineShowsTimeFpsPatternAndRow) {
  DemoDrawFrame(0);
  EXPECT_EQ(OverlayStatusLine(123456), "123456 " + FpsLine + " 15 / 27");
  EXPECT_EQ(OverlayStatusLine(8000), "8000 " + FpsLine + " 1 / 0");
  EXPECT_EQ(OverlayStatusLine(7999), "7999 " + FpsLine + " 0 / 63");
}

TEST_F(FrameLoop, MusicPositionsAreTheTimeTimes176Point4Rounded) {
  EXPECT_EQ(MusicBytePosition(0), 0);
  EXPECT_EQ(MusicBytePosition(1), 176);     // 176.4
  EXPECT_EQ(MusicBytePosition(2), 353);     // 352.8
  EXPECT_EQ(MusicBytePosition(1000), 176400);
  EXPECT_EQ(MusicBytePosition(235000), 41454000);
  EXPECT_EQ(MusicBytePosition(-1000), -176400);
}

TEST_F(FrameLoop, WithoutTheDebugFlagKeysDoNothingAndNoOverlayIsDrawn) {
  StartTime = 5000;
  for (int32_t key : {100, 98, 54, 33, 32}) {
    cfg_settings.last_key = key;
    DemoDrawFrame(3000);
  }
  EXPECT_EQ(StartTime, 5000);
  EXPECT_EQ(gl.Count("glBlendFunc"), 0u);
  EXPECT_EQ(gl.Count("glBindTexture"), 0u);
}

// The music position of a time: 44100 frames of 4 bytes per second.
int32_t BytesAt(int32_t ms) { return static_cast<int32_t>(std::llround(ms * 176.4)); }

TEST_F(FrameLoop, DebugKeysMoveTheStartTimeAndTheMusic) {
  DemoDebug = 1;
  DebugFontTexture = 42;
  cfg_settings.nosound = 0;
  QSS_Music_t music{};  // never played: a seek is only posted to it
  DemoMusic = &music;
  const int32_t now = SYS_TimerGet();

  StartTime = now - 230000;
  cfg_settings.last_key = 54;  // Page Down: 5 s on
  DemoDrawFrame(230000);
  EXPECT_EQ(StartTime, now - 235000);
  EXPECT_EQ(DemoTime, 230000);  // the pass itself keeps its time
  EXPECT_EQ(music.pending_byte_seek, BytesAt(235000));

  cfg_settings.last_key = 100;  // Right: 1 s on
  DemoDrawFrame(230000);
  EXPECT_EQ(StartTime, now - 236000);
  EXPECT_EQ(music.pending_byte_seek, BytesAt(231000));

  StartTime = now - 50000;
  cfg_settings.last_key = 33;  // Page Up: 5 s back
  DemoDrawFrame(50001);
  EXPECT_EQ(StartTime, now - 45000);
  EXPECT_EQ(music.pending_byte_seek, BytesAt(45001));
  cfg_settings.last_key = 98;  // Left: 1 s back
  DemoDrawFrame(45003);
  EXPECT_EQ(StartTime, now - 44000);
  EXPECT_EQ(music.pending_byte_seek, BytesAt(44003));

  StartTime = SYS_TimerGet() - 500;
  cfg_settings.last_key = 98;  // back past the beginning: restart
  DemoDrawFrame(500);
  EXPECT_LE(SYS_TimerGet() - StartTime, 5);
  EXPECT_GE(SYS_TimerGet() - StartTime, 0);
  EXPECT_EQ(music.pending_byte_seek, 10);

  music.pending_byte_seek = 0;
  StartTime = now - 100000;
  cfg_settings.last_key = 32;  // Home
  DemoDrawFrame(100000);
  EXPECT_LE(SYS_TimerGet() - StartTime, 5);
  EXPECT_EQ(music.pending_byte_seek, 10);

  // With sound off only the picture's time moves.
  music.pending_byte_seek = 0;
  cfg_settings.nosound = 1;
  cfg_settings.last_key = 100;
  DemoDrawFrame(1000);
  EXPECT_EQ(music.pending_byte_seek, 0);
  DemoMusic = nullptr;

  // The overlay binds the font and adds its bars.
  const auto *bind = gl.Find("glBindTexture");
  ASSERT_NE(bind, nullptr);
  EXPECT_EQ(bind->args[1], 42.0);
  EXPECT_EQ(gl.Find("glBlendFunc")->args, (std::vector<double>{GL_ONE, GL_ONE}));
}

// What each pass of the real loop saw when its scene was drawn.
struct PassSeen {
  int32_t time, start, seek;
};
std::vector<PassSeen> passes;
QSS_Music_t *seen_music = nullptr;

void RecordPass() {
  passes.push_back({DemoTime, StartTime, seen_music->pending_byte_seek.exchange(0)});
}

// Keys come from the recording desktop one event per pump, so a tap's
// press and release land in different frames, as they do on a real one.
TEST_F(FrameLoop, OneTapStepsOnceAndAHeldKeyStepsOncePerRepeat) {
  ASSERT_EQ(wmInit(), 0);
  DemoWindow = wmNewWindow(0, 0, 800, 600);
  wmParam(DemoWindow, WM_CALLBACK, reinterpret_cast<intptr_t>(&WindowCallback));
  ASSERT_EQ(wmShowWindow(DemoWindow), 0);
  QSS_Music_t music{};
  DemoMusic = seen_music = &music;
  cfg_settings.nosound = 0;
  DemoDebug = 1;
  for (TTimelineScene &scene : DemoTimeline) scene.draw = RecordPass;
  passes.clear();

  // Virtual key codes: 121 Page Down, 124 Right, 115 Home, 53 Escape.
  const std::pair<uint32_t, int32_t> keys[] = {
      {121, PL_KEY_DOWN},   {121, PL_KEY_UP},  {124, PL_KEY_DOWN}, {124, PL_KEY_REPEAT},
      {124, PL_KEY_REPEAT}, {124, PL_KEY_UP},  {115, PL_KEY_DOWN}, {115, PL_KEY_UP},
      {53, PL_KEY_DOWN}};
  for (auto [code, kind] : keys) {
    pl_event_t e{};
    e.window = DemoWindow->window;
    e.cls = PL_CLASS_KEYBOARD;
    e.kind = kind;
    e.key_code = code;
    plFakePushEvent(e);
  }
  StartTime = SYS_TimerGet() - 50000;
  RunFrameLoop();

  // Each pass acts on the event pumped after the pass before it; the next
  // pass's scene sees its seek.
  ASSERT_EQ(passes.size(), 9u);
  const int32_t steps[] = {0, 5000, 0, 1000, 1000, 1000, 0};  // per pass
  for (int n = 1; n <= 7; ++n) {
    const int32_t step = steps[n - 1];
    EXPECT_EQ(passes[n].start, passes[n - 1].start - step) << n;
    EXPECT_EQ(passes[n].seek, step ? BytesAt(passes[n - 1].time + step) : 0) << n;
  }
  EXPECT_EQ(passes[8].seek, 10);  // Home
  // The clock restarted at Home, not 50 s back; a busy machine may take a
  // few milliseconds over the last pass.
  EXPECT_LE(SYS_TimerGet() - passes[8].start, 1000);
  EXPECT_EQ(cfg_settings.quit, 1);

  wmDestroyWindow(DemoWindow);
  DemoWindow = nullptr;
  DemoMusic = nullptr;
  wmAglShutdown();
}

// A loading step draws "loadbar.ife" over the picture at 9 effect frames
// per step, in the aspect's viewport, and shows it.
TEST_F(FrameLoop, ALoadingStepDrawsTheBarAtNineFramesPerStepInTheAspectViewport) {
  ife_keys keys[2] = {};
  keys[1].time = 1000;
  keys[1].x = 1000;
  ife_layer layer{};
  std::snprintf(layer.name, sizeof layer.name, "white.tga");
  layer.keycount = 2;
  layer.keys = keys;
  const ife_interface saved = IfeLoadBar;
  IfeLoadBar = {1, 0, &layer};
  const int32_t savedSteps = LoadingSteps;
  LoadingSteps = 4;
  cfg_settings.aspect = ASPECT_16_10;
  cfg_settings.last_key = 54;

  LoadingStep();
  EXPECT_EQ(LoadingSteps, 5);
  ASSERT_NE(gl.Find("glTranslatef"), nullptr);
  EXPECT_FLOAT_EQ(static_cast<float>(gl.Find("glTranslatef")->args[0]), 45.0f);
  EXPECT_EQ(gl.Names().front(), "glViewport");
  EXPECT_EQ(gl.Find("glViewport")->args, (std::vector<double>{85, 0, 854, 768}));
  EXPECT_EQ(gl.Count("glClear"), 0u);
  EXPECT_EQ(cfg_settings.last_key, 0);

  gl.Clear();
  cfg_settings.aspect = 99;  // no viewport of its own
  LoadingStep();
  EXPECT_EQ(gl.Count("glViewport"), 0u);
  EXPECT_FLOAT_EQ(static_cast<float>(gl.Find("glTranslatef")->args[0]), 54.0f);

  IfeLoadBar = saved;
  LoadingSteps = savedSteps;
}

}  // namespace
