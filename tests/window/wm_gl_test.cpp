// The window manager on SDL under a virtual display: real windows and
// OpenGL contexts, and native events injected into SDL's queue travelling
// all the way to a window's callback.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "framework/log.h"
#include "platform/backend.h"
#include "platform/test_hooks.h"
#include "window/gl_stub.h"
#include "window/wm.h"

#if defined(__SANITIZE_ADDRESS__)
#define WM_TEST_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WM_TEST_LEAK_CHECK 1
#endif
#endif
#ifdef WM_TEST_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// The leak check runs once the tests are done, while the display is still
// open. At process exit SDL closes the display, and the OpenGL driver,
// unloaded with it, takes along the only references to blocks it still
// holds, which the exit-time check would then report as leaks.
class LeakCheckBeforeDisplayCloses : public ::testing::Environment {
public:
  void TearDown() override {
#ifdef WM_TEST_LEAK_CHECK
    __lsan_do_leak_check();
#endif
  }
};

const ::testing::Environment *const leak_check =
    ::testing::AddGlobalTestEnvironment(new LeakCheckBeforeDisplayCloses);

std::vector<wm_event_t> delivered;
std::vector<std::string> drop_paths;

int32_t Collect(wm_event_t *event) {
  delivered.push_back(*event);
  if (event->type == WM_EVENT_DROP && event->drop.path) drop_paths.emplace_back(event->drop.path);
  return 0;
}

intptr_t AsValue(const void *p) { return reinterpret_cast<intptr_t>(p); }

class WmOnSdl : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(0, plSetBackend(PL_BACKEND_SDL));
    ASSERT_EQ(0, wmInit()) << "error " << SYS_ErrorGet();
  }

  void SetUp() override {
    delivered.clear();
    drop_paths.clear();
    plTestResetModifiers();
  }

  void TearDown() override {
    while (SYS_List_p list = wmWindowList()) wmDestroyWindow(static_cast<wm_window_t *>(list->data));
  }

  wm_window_t *Open(int32_t x, int32_t y, int32_t w, int32_t h, bool drops = false) {
    wm_window_t *window = wmNewWindow(x, y, w, h);
    EXPECT_NE(nullptr, window);
    wmParam(window, WM_CALLBACK, AsValue(reinterpret_cast<void *>(Collect)));
    if (drops) wmParam(window, WM_DROP, 1);
    EXPECT_EQ(0, wmShowWindow(window)) << "error " << SYS_ErrorGet();
    Drain();
    return window;
  }

  // Takes whatever the desktop queued (show, focus, expose) out of the way.
  static void Drain() {
    for (int i = 0; i < 200; ++i) wmPumpEvents();
    delivered.clear();
  }

  // Pumps until an event the test looks for has arrived.
  static const wm_event_t *PumpFor(const std::function<bool(const wm_event_t &)> &wanted) {
    for (int i = 0; i < 200; ++i) {
      size_t before = delivered.size();
      wmPumpEvents();
      for (size_t k = before; k < delivered.size(); ++k)
        if (wanted(delivered[k])) return &delivered[k];
    }
    return nullptr;
  }

  static const wm_event_t *NextKey() {
    return PumpFor([](const wm_event_t &e) { return e.type == WM_EVENT_KEY; });
  }
};

TEST_F(WmOnSdl, TheDesktopModeAndModeListComeFromTheDisplay) {
  EXPECT_EQ(1024, wmParam(nullptr, WM_DESKTOP_WIDTH, 0));
  EXPECT_EQ(768, wmParam(nullptr, WM_DESKTOP_HEIGHT, 0));
  EXPECT_EQ(32, wmParam(nullptr, WM_DESKTOP_BITS, 0));  // 24-bit colour in 4-byte pixels
  EXPECT_STREQ("Unknown", reinterpret_cast<const char *>(wmParam(nullptr, WM_RENDERER_NAME, 0)));

  SYS_List_p modes = wmGetVideoModes();
  ASSERT_NE(nullptr, modes);
  bool desktop_listed = false;
  for (SYS_List_p n = modes; n; n = n->next) {
    auto *m = static_cast<wm_videomode_t *>(n->data);
    desktop_listed |= m->width == 1024 && m->height == 768 && m->bits == 32;
  }
  EXPECT_TRUE(desktop_listed);
  wmFreeVideoModes(modes);
}

TEST_F(WmOnSdl, TwoWindowsHaveTheirOwnContextsAndShareTextures) {
  wm_window_t *a = Open(0, 0, 320, 240);
  wm_window_t *b = Open(400, 0, 200, 100);
  ASSERT_NE(nullptr, a->context);
  ASSERT_NE(nullptr, b->context);
  ASSERT_NE(a->context, b->context);
  ASSERT_NE(nullptr, gl_stub_table.glGenTextures);

  wmMakeCurrent(a);
  GLuint texture = 0;
  gl_stub_table.glGenTextures(1, &texture);
  gl_stub_table.glBindTexture(GL_TEXTURE_2D, texture);
  const unsigned char texel[4] = {1, 2, 3, 4};
  gl_stub_table.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);

  wmMakeCurrent(b);
  EXPECT_EQ(GL_TRUE, gl_stub_table.glIsTexture(texture));

  // Each context draws into its own window.
  gl_stub_table.glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  gl_stub_table.glClear(GL_COLOR_BUFFER_BIT);
  unsigned char pixel[4] = {};
  gl_stub_table.glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(0, pixel[0]);
  EXPECT_EQ(255, pixel[2]);
  wmSwapBuffers(b);

  wmMakeCurrent(a);
  gl_stub_table.glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  gl_stub_table.glClear(GL_COLOR_BUFFER_BIT);
  gl_stub_table.glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(255, pixel[0]);
  EXPECT_EQ(0, pixel[2]);
  wmSwapBuffers(a);
  gl_stub_table.glDeleteTextures(1, &texture);
}

TEST_F(WmOnSdl, ContextsHaveDepthStencilAndDoubleBuffering) {
  wm_window_t *w = Open(0, 0, 64, 64);
  wmMakeCurrent(w);
  GLint depth = 0, stencil = 0, alpha = 0, red = 0;
  GLboolean doubled = GL_FALSE;
  gl_stub_table.glGetIntegerv(GL_DEPTH_BITS, &depth);
  gl_stub_table.glGetIntegerv(GL_STENCIL_BITS, &stencil);
  gl_stub_table.glGetIntegerv(GL_ALPHA_BITS, &alpha);
  gl_stub_table.glGetIntegerv(GL_RED_BITS, &red);
  gl_stub_table.glGetBooleanv(GL_DOUBLEBUFFER, &doubled);
  EXPECT_GE(depth, 24);
  EXPECT_GE(stencil, 8);
  EXPECT_EQ(8, red);
  EXPECT_EQ(8, alpha);
  EXPECT_EQ(GL_TRUE, doubled);
  // A compatibility context: either a legacy one, which knows no profile,
  // or one whose profile mask says compatibility.
  GLint profile = 0;
  gl_stub_table.glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
  if (gl_stub_table.glGetError() == GL_NO_ERROR) {
    EXPECT_NE(0, profile & GL_CONTEXT_COMPATIBILITY_PROFILE_BIT);
  }
}

TEST_F(WmOnSdl, ALatin2TitleReachesTheDesktopAsUtf8) {
  wm_window_t *w = wmNewWindow(0, 0, 100, 100);
  wmParam(w, WM_TITLE, AsValue("vantor - \xA3\xF3" "d\xBC"));
  ASSERT_EQ(0, wmShowWindow(w));
  EXPECT_EQ("vantor - \xC5\x81\xC3\xB3" "d\xC5\xBA", plWindowGetTitle(w->window));
  wmParam(w, WM_TITLE, AsValue("\xA9\xE8"));
  EXPECT_EQ("\xC5\xA0\xC4\x8D", plWindowGetTitle(w->window));
}

TEST_F(WmOnSdl, EveryKeyOfTheTableArrivesWithItsFrameworkCode) {
  // USB HID usage of the key at each position -> framework key code.
  struct {
    int32_t usage;
    int32_t code;
  } const keys[] = {
      {4, 60},  {5, 81},  {6, 79},  {7, 62},  {8, 41},  {9, 63},  {10, 64}, {11, 65}, {12, 46},
      {13, 66}, {14, 67}, {15, 68}, {16, 83}, {17, 82}, {18, 47}, {19, 48}, {20, 39}, {21, 42},
      {22, 61}, {23, 43}, {24, 45}, {25, 80}, {26, 40}, {27, 78}, {28, 44}, {29, 77},   // A..Z
      {30, 18}, {31, 19}, {32, 20}, {33, 21}, {34, 22}, {35, 23}, {36, 24}, {37, 25}, {38, 26},
      {39, 27},                                                                         // 1..0
      {40, 51}, {41, 1},  {42, 30}, {43, 38}, {44, 95}, {45, 28}, {46, 29}, {47, 49}, {48, 50},
      {49, 76}, {51, 69}, {52, 70}, {54, 84},                                           // Return..,
      {58, 2},  {59, 3},  {60, 4},  {61, 5},  {62, 6},  {63, 7},  {64, 9},  {66, 10}, {67, 11},
      {68, 12}, {69, 13}, {70, 14},                                                     // F1..F12, F13
      {73, 31}, {74, 32}, {75, 33}, {76, 52}, {77, 53}, {78, 54},                       // Insert..PgDn
      {79, 100}, {80, 98}, {81, 99}, {82, 88},                                          // arrows
      {83, 34}, {84, 35}, {85, 36}, {86, 37}, {87, 58}, {88, 92}, {89, 89}, {90, 90}, {91, 91},
      {92, 72}, {93, 73}, {94, 74}, {95, 55}, {96, 56}, {97, 57}, {98, 101}, {99, 102}, // keypad
      {101, 105},                                                                       // menu
  };
  // The list names every code of the table but right shift's, which only
  // the modifier record carries.
  std::set<int32_t> listed, table;
  for (const auto &k : keys) listed.insert(k.code);
  for (uint32_t code : wmKeyTable)
    if (code && code != 17) table.insert(static_cast<int32_t>(code));
  EXPECT_EQ(table, listed);

  wm_window_t *w = Open(0, 0, 100, 100);
  for (const auto &k : keys) {
    ASSERT_EQ(0, plTestPushKey(w->window, k.usage, 1, 0));
    const wm_event_t *e = NextKey();
    ASSERT_NE(nullptr, e) << "usage " << k.usage;
    EXPECT_EQ(WM_KEY_PRESSED, e->key.action) << "usage " << k.usage;
    EXPECT_EQ(k.code, e->key.code) << "usage " << k.usage;
    ASSERT_EQ(0, plTestPushKey(w->window, k.usage, 0, 0));
    e = NextKey();
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(WM_KEY_RELEASED, e->key.action);
    EXPECT_EQ(k.code, e->key.code);
  }
}

TEST_F(WmOnSdl, KeyRepeatAndTextArriveWithTheKey) {
  wm_window_t *w = Open(0, 0, 100, 100);
  plTestPushKey(w->window, 4, 1, 1);  // A, repeated
  const wm_event_t *e = NextKey();
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(WM_KEY_PRESSED, e->key.action);
  uint16_t unit = 0;
  std::memcpy(&unit, &e->key.text, sizeof unit);
  EXPECT_EQ('a', unit);
  plTestPushKey(w->window, 225, 1, 0);  // with shift held the text is upper case
  NextKey();
  plTestPushKey(w->window, 4, 1, 0);
  e = NextKey();
  std::memcpy(&unit, &e->key.text, sizeof unit);
  EXPECT_EQ('A', unit);
  plTestPushKey(w->window, 225, 0, 0);
  NextKey();
}

TEST_F(WmOnSdl, ModifierKeysGiveOnlyTheModifierRecord) {
  wm_window_t *w = Open(0, 0, 100, 100);
  struct {
    int32_t usage;
    int32_t code;
  } const modifiers[] = {{225, 106}, {229, 106}, {224, 107}, {228, 107},
                         {226, 109}, {230, 109}, {227, 108}, {231, 108}};
  for (const auto &m : modifiers) {
    plTestPushKey(w->window, m.usage, 1, 0);
    const wm_event_t *e = NextKey();
    ASSERT_NE(nullptr, e) << m.usage;
    EXPECT_EQ(WM_KEY_PRESSED, e->key.action) << m.usage;
    EXPECT_EQ(m.code, e->key.code) << m.usage;
    plTestPushKey(w->window, m.usage, 0, 0);
    e = NextKey();
    ASSERT_NE(nullptr, e) << m.usage;
    EXPECT_EQ(WM_KEY_RELEASED, e->key.action) << m.usage;
    EXPECT_EQ(m.code, e->key.code) << m.usage;
  }
  // Caps lock locks: its release changes nothing, the next press unlocks.
  plTestPushKey(w->window, 57, 1, 0);
  const wm_event_t *e = NextKey();
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(WM_KEY_PRESSED, e->key.action);
  EXPECT_EQ(59, e->key.code);
  plTestPushKey(w->window, 57, 0, 0);
  EXPECT_EQ(nullptr, NextKey());
  plTestPushKey(w->window, 57, 1, 0);
  e = NextKey();
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(WM_KEY_RELEASED, e->key.action);
  EXPECT_EQ(59, e->key.code);
}

TEST_F(WmOnSdl, MouseButtonsWheelAndMotion) {
  wm_window_t *w = Open(0, 0, 200, 200);
  auto mouse = [](const wm_event_t &e) { return e.type == WM_EVENT_MOUSE && e.mouse.kind != 0; };
  plTestPushMouseButton(w->window, 3, 1, 20, 30);  // SDL's right button
  const wm_event_t *e = PumpFor(mouse);
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(WM_BUTTON_RIGHT_DOWN, e->mouse.action);
  EXPECT_EQ(1, e->mouse.right);
  EXPECT_EQ(20, e->mouse.x);
  EXPECT_EQ(30, e->mouse.y);
  plTestPushMouseButton(w->window, 2, 1, 20, 30);  // SDL's middle button
  e = PumpFor(mouse);
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(WM_BUTTON_MIDDLE_DOWN, e->mouse.action);
  plTestPushMouseButton(w->window, 3, 0, 20, 30);
  e = PumpFor(mouse);
  EXPECT_EQ(WM_BUTTON_RIGHT_UP, e->mouse.action);
  EXPECT_EQ(0, e->mouse.right);
  EXPECT_EQ(1, e->mouse.middle);
  plTestPushMouseMotion(w->window, 25, 22, 1);
  e = PumpFor(mouse);
  EXPECT_EQ(WM_MOUSE_MOTION, e->mouse.kind);
  EXPECT_EQ(5, e->mouse.dx);
  EXPECT_EQ(-8, e->mouse.dy);
  plTestPushWheel(w->window, -1, 25, 22);
  e = PumpFor(mouse);
  EXPECT_EQ(1, e->mouse.wheel_down);
  plTestPushWheel(w->window, 2, 25, 22);
  e = PumpFor(mouse);
  EXPECT_EQ(1, e->mouse.wheel_up);
}

TEST_F(WmOnSdl, ACloseRequestLeavesTheWindowAlive) {
  wm_window_t *w = Open(0, 0, 100, 100);
  plTestPushWindowEvent(w->window, PL_TEST_CLOSE, 0, 0);
  const wm_event_t *e = PumpFor([](const wm_event_t &ev) { return ev.type == WM_EVENT_WINDOW; });
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(WM_WINDOW_CLOSE, e->conf.action);
  EXPECT_EQ(w, e->window);
  wmMakeCurrent(w);
  wmSwapBuffers(w);
  EXPECT_EQ(w, wmWindowList()->data);
}

TEST_F(WmOnSdl, ASizeChangeReportsTheNewBounds) {
  wm_window_t *w = Open(10, 10, 100, 100);
  plWindowSetBounds(w->window, 10, 10, 150, 120);
  plTestPushWindowEvent(w->window, PL_TEST_SIZE_CHANGED, 150, 120);
  const wm_event_t *e = PumpFor([](const wm_event_t &ev) {
    return ev.type == WM_EVENT_WINDOW && ev.conf.action == WM_WINDOW_BOUNDS && ev.conf.width == 150;
  });
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(120, e->conf.height);
  EXPECT_EQ(150, wmParam(w, WM_WIDTH, 0));
  EXPECT_EQ(1, w->reset);
}

TEST_F(WmOnSdl, DroppedFilesReachWindowsThatTakeThem) {
  wm_window_t *w = Open(0, 0, 100, 100, true);
  ASSERT_EQ(0, plTestPushDrop(w->window, "/tmp/picture one.png"));
  const wm_event_t *e = PumpFor([](const wm_event_t &ev) {
    return ev.type == WM_EVENT_DROP && ev.drop.action == WM_DROP_LEAVE;
  });
  ASSERT_NE(nullptr, e);
  ASSERT_EQ(1u, drop_paths.size());
  EXPECT_EQ("/tmp/picture one.png", drop_paths[0]);
  std::vector<int32_t> actions;
  for (const wm_event_t &ev : delivered)
    if (ev.type == WM_EVENT_DROP) actions.push_back(ev.drop.action);
  EXPECT_EQ((std::vector<int32_t>{WM_DROP_ENTER, WM_DROP_ITEM, WM_DROP_LEAVE}), actions);

  wm_window_t *deaf = Open(200, 0, 100, 100);
  plTestPushDrop(deaf->window, "/tmp/other.png");
  Drain();
  EXPECT_EQ(1u, drop_paths.size());
}

TEST_F(WmOnSdl, TheSwitchedModeTakesAFullScreenWindowOfItsSize) {
  ASSERT_EQ(0, wmSetVideoMode(1024, 768, 32, 0));
  EXPECT_EQ(-1, wmSetVideoMode(1000, 700, 32, 0));
  EXPECT_EQ(WM_ERR_NO_MODE, SYS_ErrorGet());
  wm_window_t *w = Open(0, 0, 1024, 768);
  EXPECT_EQ(0, w->window->fullscreen);  // a titled window is no full-screen window
  wmMakeCurrent(w);
  wmParam(w, WM_BORDERLESS, 1);
  wmParam(w, WM_LEVEL, 1);
  EXPECT_EQ(1, w->window->fullscreen);
  wmSwapBuffers(w);
  wmRestoreVideoMode();
  EXPECT_EQ(0, w->window->fullscreen);
  wmParam(w, WM_LEVEL, 0);
}

}  // namespace
