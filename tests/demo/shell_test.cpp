// The start-up shell on the recording desktop and a recording OpenGL: the
// window it opens, the events it turns into settings, and the report of a
// file that cannot be opened (run in a child process, which it ends).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include <AL/alc.h>

#include "demo/shell.h"
#include "framework/core_test_util.h"
#include "framework/sys.h"
#include "sound/sound.h"
#include "gl_recorder.h"
#include "platform/fake.h"
#include "window/wm.h"
#include "support/test_support.h"

namespace {

using ember_test::GlRecorder;

class Shell : public ::testing::Test {
protected:
  void SetUp() override {
    // The dialog's files are not here; "default" takes what stands.
    ember_test::SetArgs({"-default"});
    ASSERT_EQ(plSetBackend(PL_BACKEND_FAKE), 0);
    plFakeReset();
    saved_ = cfg_settings;
  }
  void TearDown() override {
    CloseVideo();
    wmAglShutdown();
    cfg_settings = saved_;
    plFakeReset();
  }
  void Desktop(int32_t w, int32_t h) {
    plFakeSetDisplay({w, h, 32, 60, 0}, {{w, h, 32, 60, 0}});
    ASSERT_EQ(wmInit(), 0);
    plFakeClearCalls();
  }
  cfg_settings_t saved_;
};

TEST_F(Shell, StartVideoCentresTheWindowAndLeavesFourClearedFrames) {
  Desktop(1024, 768);
  GlRecorder gl;
  int32_t w = 0, h = 0, full = 1;
  StartVideo("vantor - emberfield", w, h, full);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);
  EXPECT_EQ(full, 0);
  ASSERT_NE(DemoWindow, nullptr);
  EXPECT_EQ(DemoWindow->x, 112);
  EXPECT_EQ(DemoWindow->y, 84);
  EXPECT_STREQ(DemoWindow->title, "vantor - emberfield");
  EXPECT_EQ(DemoWindow->callback, &WindowCallback);
  EXPECT_EQ(gl.Count("glClear"), 4u);
  EXPECT_EQ(gl.Find("glClear")->args[0], double(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
  EXPECT_EQ(plFakeCallsStartingWith("GlSwapBuffers").size(), 4u);
  EXPECT_EQ(cfg_settings.aspect, ASPECT_4_3);
  EXPECT_EQ(cfg_settings.nosound, 0);
  EXPECT_EQ(cfg_settings.texture_quality, 0);
}

TEST_F(Shell, AWindowLargerThanTheDesktopStartsLeftOfAndAboveIt) {
  Desktop(640, 480);
  GlRecorder gl;
  int32_t w = 0, h = 0, full = 0;
  StartVideo("t", w, h, full);
  ASSERT_NE(DemoWindow, nullptr);
  EXPECT_EQ(DemoWindow->x, -80);
  EXPECT_EQ(DemoWindow->y, -60);
}

TEST_F(Shell, CloseVideoGivesAHiddenPointerBack) {
  Desktop(1024, 768);
  DemoWindow = wmNewWindow(0, 0, 320, 200);
  ASSERT_NE(DemoWindow, nullptr);
  wmParam(DemoWindow, WM_CURSOR_HIDDEN, 1);
  ASSERT_FALSE(plFakeCursorVisible());
  CloseVideo();
  EXPECT_TRUE(plFakeCursorVisible());
  EXPECT_EQ(DemoWindow, nullptr);
}

TEST_F(Shell, CloseVideoWithoutAWindowDoesNothing) {
  Desktop(1024, 768);
  CloseVideo();
  EXPECT_TRUE(plFakeCalls().empty());
}

wm_event_t Key(int32_t code, int32_t action) {
  wm_event_t e{};
  e.type = WM_EVENT_KEY;
  e.key.action = action;
  e.key.code = code;
  return e;
}

TEST_F(Shell, EscapeQuitsOnPressAndReleaseOtherKeysOnlyRecordTheirPress) {
  cfg_settings.quit = 0;
  wm_event_t e = Key(100, WM_KEY_PRESSED);
  EXPECT_EQ(WindowCallback(&e), 0);
  EXPECT_EQ(cfg_settings.last_key, 100);
  EXPECT_EQ(cfg_settings.quit, 0);
  e = Key(1, WM_KEY_PRESSED);
  WindowCallback(&e);
  EXPECT_EQ(cfg_settings.quit, 1);
  cfg_settings.quit = 0;
  e = Key(1, WM_KEY_RELEASED);
  WindowCallback(&e);
  EXPECT_EQ(cfg_settings.quit, 1);
  EXPECT_EQ(cfg_settings.last_key, 1);
  // The callback never clears the flag.
  e = Key(54, WM_KEY_PRESSED);
  WindowCallback(&e);
  EXPECT_EQ(cfg_settings.quit, 1);
  // A release is no key of its own: a tap would otherwise act twice.
  e = Key(100, WM_KEY_RELEASED);
  WindowCallback(&e);
  EXPECT_EQ(cfg_settings.last_key, 54);
}

TEST_F(Shell, ClosingTheWindowQuitsAndAResizeSetsTheViewportAtOnce) {
  Desktop(1024, 768);
  GlRecorder gl;
  cfg_settings.quit = 0;
  wm_event_t e{};
  e.type = WM_EVENT_WINDOW;
  e.conf.action = WM_WINDOW_ACTIVATED;
  WindowCallback(&e);
  EXPECT_EQ(cfg_settings.quit, 0);
  e.conf.action = WM_WINDOW_BOUNDS;
  e.conf.width = 1000;
  e.conf.height = 700;
  WindowCallback(&e);
  ASSERT_NE(gl.Find("glViewport"), nullptr);
  EXPECT_EQ(gl.Find("glViewport")->args, (std::vector<double>{0, 0, 1000, 700}));
  e.conf.action = WM_WINDOW_CLOSE;
  WindowCallback(&e);
  EXPECT_EQ(cfg_settings.quit, 1);
  e.type = WM_EVENT_NONE;
  EXPECT_EQ(WindowCallback(&e), 0);
}

TEST(FatalErrorMessage, NotFoundCodesNameTheFileOthersShowItBare) {
  EXPECT_EQ(FatalErrorMessage(11, "cfg.xml"), "File not found: cfg.xml.");
  for (int32_t code : {1, 2, 3}) EXPECT_EQ(FatalErrorMessage(code, "x"), "File not found: x.");
  EXPECT_EQ(FatalErrorMessage(5, "x"), "x");
  EXPECT_EQ(FatalErrorMessage(0, "x"), "x");
  EXPECT_EQ(FatalErrorMessage(12, nullptr), "Unknown error.");
  EXPECT_EQ(FatalErrorMessage(1, nullptr), "File not found: Unknown error..");
}

TEST(FatalErrorMessage, LongNamesAreCutBeforeAndAfterThePrefix) {
  const std::string name(300, 'n');
  EXPECT_EQ(FatalErrorMessage(5, name.c_str()), std::string(255, 'n'));
  const std::string message = FatalErrorMessage(11, name.c_str());
  EXPECT_EQ(message.size(), 255u);
  EXPECT_EQ(message, ("File not found: " + std::string(255, 'n')).substr(0, 255));
}

using Child = ember_test::RunResult;

Child RunInChild(const std::function<void()> &body) {
  return ember_test::RunInChild(body, ember_test::kChildBoth);
}

// The music on OpenAL Soft's null driver, in a child process each: the
// sound system it starts and stops, and the two ways it gives up.
TEST(Music, PlaysAt44100HzFromOneStereoSourceOrEndsWithTheReason) {
  ember_test::TempDir dir;
  ember_test::WriteFile(dir.path() / "alsoft.conf", "[general]\ndrivers=null\n");
  ember_test::WriteFile(dir.path() / "noise.ogg", std::string(4096, 'n'));
  const std::string pack = (ember_test::BinaryDir() / "stage" / "emberfield.dat").string();
  auto run = [&](const std::function<void()> &body) {
    return RunInChild([&] {
      setenv("ALSOFT_CONF", dir.str("alsoft.conf").c_str(), 1);
      ember_test::ScopedCwd cwd(dir.path());
      ember_test::SetArgs({});
      if (SYS_FilePackOpen(pack.c_str()) != 0) _exit(91);
      body();
    });
  };
  Child plays = run([] {
    StartMusic("emberfield.ogg");
    ALCdevice *device = alcGetContextsDevice(alcGetCurrentContext());
    ALCint frequency = 0, stereo = 0;
    alcGetIntegerv(device, ALC_FREQUENCY, 1, &frequency);
    alcGetIntegerv(device, ALC_STEREO_SOURCES, 1, &stereo);
    std::printf("%d %d %d ", frequency, stereo, DemoMusic->player_thread != nullptr);
    StopMusic();
    std::printf("%d %d", DemoMusic == nullptr, alcGetCurrentContext() == nullptr);
  });
  EXPECT_EQ(plays.status, 99);
  EXPECT_EQ(plays.output, "44100 1 1 1 1");
  // A sound system already running cannot be started again.
  Child busy = run([] {
    QSS_Init(515);
    StartMusic("emberfield.ogg");
  });
  EXPECT_EQ(busy.status, 1);
  EXPECT_NE(busy.output.find("Unable to initialise sound system.\n"), std::string::npos) << busy.output;
  // A fatal exit while the music plays stops it before the framework
  // frees what its player reads.
  Child fatal = run([] {
    StartMusic("emberfield.ogg");
    SYS_AddExitProc("reports", 0, [] { std::printf("%s", DemoMusic ? "playing" : "stopped"); });
    SYS_Exit(1);
  });
  EXPECT_EQ(fatal.status, 1);
  EXPECT_EQ(fatal.output, "stopped") << fatal.output;
  Child noise = run([] { StartMusic("noise.ogg"); });
  EXPECT_EQ(noise.status, 1);
  EXPECT_NE(noise.output.find("Unable to load music.\n"), std::string::npos) << noise.output;
}

TEST(FatalErrorHandler, AFileThatCannotBeOpenedEndsTheProgramWithStatusOne) {
  Child c = RunInChild([] {
    InstallFatalErrorHandler();
    SYS_FileOpen("no-such-colors.ini", SYS_FILE_TEXT);
  });
  EXPECT_EQ(c.status, 1);
  EXPECT_EQ(c.output, "File not found: no-such-colors.ini.\n");
}

TEST(FatalErrorHandler, AFailureWhileReportingDoesNotReportAgain) {
  Child c = RunInChild([] {
    InstallFatalErrorHandler();
    SYS_AddExitProc("opens a missing file", 7, [] {
      SYS_FileOpen("second.xml", SYS_FILE_READ);
      fputs("exit procedure went on\n", stderr);
    });
    FatalErrorHandler(11, "first.xml");
  });
  EXPECT_EQ(c.status, 1);
  EXPECT_EQ(c.output, "File not found: first.xml.\nexit procedure went on\n");
}

// A message box that cannot be built (its file, or the WINDOW of its file,
// missing) and a configuration dialog without a WINDOW end the program
// with status 1 and a reason, instead of recursing or waiting forever.
// Each case runs in a fresh process: the dialog engine starts once per
// process, and the tests above start it.
TEST(FatalErrorHandler, DialogsThatCannotBeShownEndWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char *msgbox;  // NULL: no such file
    const char *cfg;
    const char *said;
  } cases[] = {
      {nullptr, nullptr, "^File not found: msgbox\\.xml\\.\n$"},
      {"<dialog><LABEL ID=\"100\"/></dialog>", nullptr, "^File not found: cfg\\.xml\\.\n$"},
      {"<dialog><WINDOW WIDTH=\"64\" HEIGHT=\"64\"/></dialog>", "<dialog><BUTTON ID=\"1000\"/></dialog>",
       "^Unable to initialize dialog engine\\.\n$"},
  };
  for (const Case &k : cases) {
    ember_test::TempDir dir;
    if (k.msgbox) ember_test::WriteFile(dir.path() / "msgbox.xml", k.msgbox);
    if (k.cfg) ember_test::WriteFile(dir.path() / "cfg.xml", k.cfg);
    auto start = [&] {
      alarm(30);
      std::fflush(stdout);
      dup2(STDERR_FILENO, STDOUT_FILENO);
      ember_test::ScopedCwd cwd(dir.path());
      ember_test::SetArgs({});
      plSetBackend(PL_BACKEND_FAKE);
      plFakeReset();
      plFakeGiveUpAfter(50);
      if (wmInit() != 0) _exit(90);
      InstallFatalErrorHandler();
      int32_t w = 0, h = 0, full = 0;
      StartVideo("t", w, h, full);
    };
    EXPECT_EXIT(start(), ::testing::ExitedWithCode(1), k.said);
  }
}

}  // namespace
