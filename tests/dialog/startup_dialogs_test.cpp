// The configuration dialog and the message box of the sample pack, run on
// the recording desktop with scripted events. Each run is a child process
// of its own (the dialog's quit ends the process, and the engine starts
// once per process); the child reports the settings it ended with on
// standard error, and the fake back-end gives up instead of waiting for
// events that never come.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "dialog/startup_dialogs.h"
#include "dialog/widget.h"
#include "framework/core_test_util.h"
#include "framework/file.h"
#include "gl_recorder.h"
#include "platform/fake.h"
#include "window/wm.h"
#include "support/test_support.h"

namespace {

using ember_test::TempDir;

using Child = ember_test::RunResult;

Child RunInChild(const std::function<void()> &body) {
  return ember_test::RunInChild(body, ember_test::kChildStderr, 0);
}

// Mac virtual key codes.
constexpr uint32_t kReturn = 36, kEscape = 53, kKeypadEnter = 76;

// Window-local points inside the pack's widgets.
struct Point {
  int x, y;
};
constexpr Point kMode800{100, 170}, kMode1610{350, 170}, kMode1280{100, 206}, kMode54{350, 206},
    kWindowed{90, 249}, kVsync{240, 249}, kNoSound{390, 249}, kLow{390, 311}, kMedium{240, 311}, kQuit{100, 365},
    kStart{350, 365}, kOk{280, 115};

// What a child does before its dialog: the recording desktop with the
// given modes, the sample pack, a log in dir, the engine started and a
// recording OpenGL behind it.
void Begin(const TempDir &dir, const std::vector<pl_mode_t> &modes) {
  ember_test::SetArgs({"-default"});
  plSetBackend(PL_BACKEND_FAKE);
  plFakeReset();
  plFakeSetDisplay({1280, 1024, 32, 60, 0}, modes);
  plFakeGiveUpAfter(200);
  if (wmInit() != 0) _exit(90);
  SYS_LogSetFile(dir.str("debug.log").c_str());
  SYS_LogSetFlags(SYS_LOG_ON);
  const std::string pack = (ember_test::BinaryDir() / "stage" / "emberfield.dat").string();
  if (SYS_FilePackOpen(pack.c_str()) != 0) _exit(91);
  if (InitDialogEngine() != 0) _exit(92);
  new ember_test::GlRecorder;  // the engine filled the real tables; lives till exit
}

// The set's native window, made by one show and hide, so events can be
// queued for it before the dialog runs.
plWindow *NativeWindow(SYS_List_p set) {
  widget_show_set(set);
  widget_hide_set(set);
  return widget_first_of_type(set, WIDGET_WINDOW)->window->window;
}

void Click(plWindow *w, Point p) {
  pl_event_t e{};
  e.cls = PL_CLASS_MOUSE;
  e.window = w;
  e.x = p.x;
  e.y = p.y;
  e.button = 1;
  e.kind = PL_MOUSE_DOWN;
  plFakePushEvent(e);
  e.kind = PL_MOUSE_UP;
  plFakePushEvent(e);
}

void Key(plWindow *w, uint32_t code, int32_t kind) {
  pl_event_t e{};
  e.cls = PL_CLASS_KEYBOARD;
  e.kind = kind;
  e.window = w;
  e.key_code = code;
  plFakePushEvent(e);
}

void Report() {
  const cfg_settings_t &s = cfg_settings;
  std::fprintf(stderr, "%dx%d full=%d nosound=%d vsync=%d quality=%d aspect=%d\n", s.width, s.height,
               s.fullscreen, s.nosound, s.vsync, s.texture_quality, s.aspect);
}

// Runs the dialog with the events that script() queues, then reports.
Child Dialog(const TempDir &dir, const std::function<void(plWindow *)> &script,
             std::vector<pl_mode_t> modes = {{800, 600, 32, 60, 0}, {1024, 768, 32, 60, 0}, {1280, 720, 32, 60, 0}}) {
  return RunInChild([&] {
    Begin(dir, modes);
    RunConfigDialog();  // loads the set; with "default" nothing is shown
    script(NativeWindow(ConfigDialogSet()));
    ember_test::SetArgs({});
    RunConfigDialog();
    Report();
  });
}

TEST(ConfigDialog, ClicksChooseTheModeAndTheOptions) {
  struct Run {
    std::vector<Point> clicks;  // then start
    const char *settings;
    std::vector<const char *> lines;
  } runs[] = {
      {{kMode1610, kWindowed, kVsync, kMedium},
       "1024x768 full=1 nosound=0 vsync=0 quality=1 aspect=1610\n",
       {"[cfg] width: 1024\n", "[cfg] height: 768\n", "[cfg] windowed: false\n", "[cfg] vsync off\n",
        "[cfg] sound on\n", "[cfg] texture quality medium\n"}},
      {{kMode54, kWindowed, kNoSound, kMedium, kLow},
       "1024x768 full=1 nosound=1 vsync=1 quality=2 aspect=54\n",
       {"[cfg] yep.\n", "[cfg] - 1280x720 32bits\n", "[cfg] vsync on\n", "[cfg] nosound\n",
        "[cfg] texture quality low\n"}},
      {{kMode1280, kWindowed},
       "1280x720 full=1 nosound=0 vsync=1 quality=0 aspect=169\n",
       {"[cfg] width: 1280\n", "[cfg] height: 720\n", "[cfg] texture quality high\n"}},
  };
  for (const Run &run : runs) {
    TempDir dir;
    Child c = Dialog(dir, [&](plWindow *w) {
      for (Point p : run.clicks) Click(w, p);
      Click(w, kStart);
    });
    EXPECT_EQ(c.status, 0) << c.output;
    EXPECT_EQ(c.output, run.settings);
    const std::string log = ember_test::ReadFile(dir.path() / "debug.log");
    for (const char *line : run.lines) EXPECT_NE(log.find(line), std::string::npos) << line << log;
  }
}

TEST(ConfigDialog, TheWindowedBoxOverridesTheChosenMode) {
  TempDir dir;
  Child c = Dialog(dir, [](plWindow *w) {
    Click(w, kWindowed);
    Click(w, kMode1280);
    Click(w, kWindowed);  // checked again
    Key(w, kReturn, PL_KEY_DOWN);
    Key(w, kReturn, PL_KEY_UP);
  });
  EXPECT_EQ(c.output, "800x600 full=0 nosound=0 vsync=1 quality=0 aspect=43\n");
}

TEST(ConfigDialog, KeysActOnlyOnTheirRelease) {
  TempDir dir;
  // Presses of Escape, Return and Enter change nothing; Enter's release
  // starts.
  Child start = Dialog(dir, [](plWindow *w) {
    for (uint32_t k : {kEscape, kReturn, kKeypadEnter}) Key(w, k, PL_KEY_DOWN);
    Key(w, kKeypadEnter, PL_KEY_UP);
  });
  EXPECT_EQ(start.status, 0);
  EXPECT_EQ(start.output, "800x600 full=0 nosound=0 vsync=1 quality=0 aspect=43\n");
  // Escape's release, the quit button and closing the window end the
  // process with 0 at once, without the exit slots.
  const std::vector<std::function<void(plWindow *)>> quits = {
      [](plWindow *w) { Key(w, kEscape, PL_KEY_UP); },
      [](plWindow *w) { Click(w, kQuit); },
      [](plWindow *w) {
        pl_event_t e{};
        e.cls = PL_CLASS_WINDOW;
        e.kind = PL_WINDOW_CLOSED;
        e.window = w;
        plFakePushEvent(e);
      },
  };
  for (const auto &quit : quits) {
    Child c = Dialog(dir, [&](plWindow *w) {
      SYS_AddExitProc("must not run", 9, [] { std::fputs("exit slot ran\n", stderr); });
      quit(w);
    });
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.output, "");
  }
}

TEST(ConfigDialog, OnlyThirtyTwoBitModesOfTheDisplayEnableTheirButtons) {
  TempDir dir;
  auto states = [](plWindow *) {
    for (int32_t id : {101, 102, 103, 104}) {
      const widget_item_t *b = widget_find_id(ConfigDialogSet(), id);
      std::fprintf(stderr, "%d:%d ", id, b->disabled);
    }
  };
  Child c = RunInChild([&] {
    Begin(dir, {{800, 600, 16, 60, 0}, {1024, 768, 32, 60, 0}, {1024, 768, 32, 75, 0}});
    RunConfigDialog();
    states(nullptr);
  });
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.output.substr(0, 24), "101:1 102:0 103:1 104:0 ") << c.output;
  const std::string log = ember_test::ReadFile(dir.path() / "debug.log");
  EXPECT_EQ(log.find("800x600"), std::string::npos);
  EXPECT_NE(log.find("[cfg] - 1024x768 32bits\n[cfg] - 1024x768 32bits\n"), std::string::npos) << log;

  // No modes at all: every button stays grey and does nothing; start gives
  // the preset.
  TempDir empty;
  Child none = Dialog(
      empty,
      [&](plWindow *w) {
        states(w);
        Click(w, kWindowed);
        Click(w, kMode800);
        Click(w, kStart);
      },
      {});
  EXPECT_EQ(none.output, "101:1 102:1 103:1 104:1 800x600 full=1 nosound=0 vsync=1 quality=0 aspect=43\n");
  EXPECT_NE(ember_test::ReadFile(empty.path() / "debug.log").find("[cfg] ! no available video modes?\n"),
            std::string::npos);
}

TEST(ConfigDialog, DefaultTakesTheFilesValuesAndShowsNothing) {
  TempDir dir;
  Child c = RunInChild([&] {
    Begin(dir, {{1280, 720, 32, 60, 0}});
    plFakeClearCalls();
    RunConfigDialog();
    SYS_List_p first = ConfigDialogSet();
    cfg_settings.width = 1;
    RunConfigDialog();  // the loaded set again, the presets again
    std::fprintf(stderr, "same=%d shown=%zu ", first == ConfigDialogSet(),
                 plFakeCallsStartingWith("WindowShow").size());
    Report();
  });
  EXPECT_EQ(c.output, "same=1 shown=0 800x600 full=0 nosound=0 vsync=1 quality=0 aspect=43\n");

  // A file on disk shadows the pack's: a dialog with only an unchecked
  // windowed box. The missing widgets are named and their presets stand.
  TempDir own;
  ember_test::WriteFile(own.path() / "cfg.xml",
                        "<dialog><WINDOW WIDTH=\"200\" HEIGHT=\"100\"/>"
                        "<CHECKBOX ID=\"112\" VALUE=\"0\" X=\"1\" Y=\"1\" WIDTH=\"20\" HEIGHT=\"20\"/></dialog>");
  Child full = RunInChild([&] {
    ember_test::ScopedCwd cwd(own.path());
    Begin(own, {{1280, 720, 32, 60, 0}});
    RunConfigDialog();
    Report();
  });
  EXPECT_EQ(full.output, "800x600 full=1 nosound=0 vsync=1 quality=0 aspect=43\n");
  const std::string log = ember_test::ReadFile(own.path() / "debug.log");
  for (const char *line : {"[cfg] ! widget 103 not found\n", "[cfg] ! widget 110 not found\n",
                           "[cfg] ! widget 117 not found\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line << log;
}

TEST(MessageBox, ShowsTheTextUntilOkOrAKeyIsReleased) {
  TempDir dir;
  auto run = [&](const std::function<void(plWindow *)> &dismiss) {
    return RunInChild([&] {
      Begin(dir, {{800, 600, 32, 60, 0}});
      plWindow *w = NativeWindow(MessageBoxSet());
      Key(w, kReturn, PL_KEY_DOWN);
      dismiss(w);
      const std::string text = "File not found: " + std::string(300, 'n');
      std::fprintf(stderr, "%d ", ShowMessageBox(text));
      std::fprintf(stderr, "%zu", std::string(widget_find_id(MessageBoxSet(), 100)->title).size());
    });
  };
  EXPECT_EQ(run([](plWindow *w) { Click(w, kOk); }).output, "0 255");
  EXPECT_EQ(run([](plWindow *w) { Key(w, kEscape, PL_KEY_UP); }).output, "0 255");
  // A press alone never dismisses it; the fake back-end gives up instead.
  Child waits = run([](plWindow *) {});
  EXPECT_NE(waits.status, 0);
  EXPECT_NE(waits.output.find("gave up"), std::string::npos) << waits.output;
}

}  // namespace
