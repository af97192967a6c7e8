// The recording back-end: what it records, how events reach the handler
// of their window, and the wall's refusal of bad arguments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake.h"
#include "platform/platform.h"

namespace {

struct Received {
  int32_t cls;
  int32_t kind;
  void *user;
  std::string path;
};

std::vector<Received> received;

int32_t Record(const pl_event_t *event, void *user) {
  received.push_back({event->cls, event->kind, user, event->path ? event->path : ""});
  return 0;
}

pl_event_t Event(plWindow *window, int32_t cls, int32_t kind) {
  pl_event_t e{};
  e.window = window;
  e.cls = cls;
  e.kind = kind;
  return e;
}

class FakeBackend : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(0, plSetBackend(PL_BACKEND_FAKE));
    plFakeReset();
    received.clear();
  }
  void TearDown() override {
    for (plWindow *w : made) plWindowDestroy(w);
    plFakeReset();
  }
  plWindow *Make(uint32_t attributes = 0) {
    plWindow *w = plWindowCreate(10, 20, 640, 480, attributes);
    if (w) made.push_back(w);
    return w;
  }
  std::vector<plWindow *> made;
};

TEST_F(FakeBackend, RecordsEveryCallInOrderWithItsArguments) {
  intptr_t format = plGlChoosePixelFormat();
  plWindow *w = Make(0x1200001F);
  ASSERT_NE(nullptr, w);
  plWindowSetBounds(w, 1, 2, 300, 200);
  plWindowSetTitle(w, "Hello");
  plContext *c = plGlCreateContext(w, format);
  plGlMakeCurrent(w, c);
  plGlSwapBuffers(w);
  plGlDestroyContext(c);
  const std::vector<std::string> expected = {
      "GlAttributes doublebuffer rgba8888 depth24 stencil8 compatibility shared",
      "GlChoosePixelFormat",
      "WindowCreate 10,20 640x480 attrs=0x1200001f",
      "WindowSetBounds #1 1,2 300x200",
      "WindowSetTitle #1 Hello",
      "GlCreateContext #1",
      "GlMakeCurrent #1",
      "GlSwapBuffers #1",
      "GlDestroyContext #1",
  };
  EXPECT_EQ(expected, plFakeCalls());
}

TEST_F(FakeBackend, ContextAttributesAreSetOnceOnly) {
  plGlChoosePixelFormat();
  plGlChoosePixelFormat();
  EXPECT_EQ(1u, plFakeCallsStartingWith("GlAttributes").size());
  EXPECT_EQ(2u, plFakeCallsStartingWith("GlChoosePixelFormat").size());
}

TEST_F(FakeBackend, WindowsKeepTheirGeometryAndAttributes) {
  plWindow *w = Make(PL_ATTR_RESIZABLE);
  plWindowChangeAttributes(w, PL_ATTR_NO_TITLE_BAR, PL_ATTR_RESIZABLE);
  plWindowMoveStructure(w, 5, 6);
  int32_t x, y, width, height;
  ASSERT_EQ(0, plWindowGetBounds(w, &x, &y, &width, &height));
  EXPECT_EQ(5, x);
  EXPECT_EQ(6, y);
  EXPECT_EQ(640, width);
  EXPECT_EQ(480, height);
  EXPECT_EQ(plFakeCalls().back(), "WindowMoveStructure #1 5,6");
  EXPECT_EQ("WindowChangeAttributes #1 set=0x00000200 clear=0x00000010", plFakeCalls()[1]);
}

TEST_F(FakeBackend, FailureSwitchesMakeTheNamedCallFail) {
  plFakeFail("WindowCreate", true);
  EXPECT_EQ(nullptr, Make());
  plFakeFail("WindowCreate", false);
  plWindow *w = Make();
  ASSERT_NE(nullptr, w);
  plFakeFail("GlCreateContext", true);
  EXPECT_EQ(nullptr, plGlCreateContext(w, 1));
  plFakeFail("DisplayInit", true);
  EXPECT_EQ(-1, plDisplayInit());
  plFakeFail("WindowAcceptDrops", true);
  EXPECT_EQ(-1, plWindowInstallDropHandler(w, Record, nullptr));
}

TEST_F(FakeBackend, EventsGoToTheHandlerOfTheirWindowOnePerDispatch) {
  plWindow *a = Make();
  plWindow *b = Make();
  int user_a = 0, user_b = 0;
  plWindowInstallHandler(a, Record, &user_a);
  plWindowInstallHandler(b, Record, &user_b);
  plFakePushEvent(Event(a, PL_CLASS_KEYBOARD, PL_KEY_DOWN));
  plFakePushEvent(Event(b, PL_CLASS_WINDOW, PL_WINDOW_CLOSED));
  EXPECT_EQ(1, plDispatchEvent(0));
  ASSERT_EQ(1u, received.size());
  EXPECT_EQ(&user_a, received[0].user);
  EXPECT_EQ(1, plDispatchEvent(0));
  ASSERT_EQ(2u, received.size());
  EXPECT_EQ(&user_b, received[1].user);
  EXPECT_EQ(PL_WINDOW_CLOSED, received[1].kind);
  EXPECT_EQ(0, plDispatchEvent(0));
}

TEST_F(FakeBackend, InstallingAgainReplacesTheHandlerSoNothingArrivesTwice) {
  plWindow *w = Make();
  plWindowInstallHandler(w, Record, nullptr);
  plWindowInstallHandler(w, Record, nullptr);
  plFakePushEvent(Event(w, PL_CLASS_MOUSE, PL_MOUSE_DOWN));
  plDispatchEvent(0);
  EXPECT_EQ(1u, received.size());
}

TEST_F(FakeBackend, EventsNobodyListensToArePassedOver) {
  plWindow *deaf = Make();
  plWindow *listening = Make();
  plWindowInstallHandler(listening, Record, nullptr);
  plFakePushEvent(Event(deaf, PL_CLASS_KEYBOARD, PL_KEY_DOWN));
  plFakePushEvent(Event(listening, PL_CLASS_CONTROL, PL_DRAG_ENTER));  // no drop handler
  plFakePushEvent(Event(listening, PL_CLASS_KEYBOARD, PL_KEY_UP));
  EXPECT_EQ(1, plDispatchEvent(0));
  ASSERT_EQ(1u, received.size());
  EXPECT_EQ(PL_KEY_UP, received[0].kind);
}

TEST_F(FakeBackend, DropEventsGoToTheDropHandlerWithACopiedPath) {
  plWindow *w = Make();
  plWindowInstallHandler(w, Record, nullptr);
  int drop_user = 0;
  ASSERT_EQ(0, plWindowInstallDropHandler(w, Record, &drop_user));
  pl_event_t e = Event(w, PL_CLASS_CONTROL, PL_DRAG_RECEIVE);
  {
    std::string path = "/tmp/dropped file.png";
    e.path = path.c_str();
    plFakePushEvent(e);
  }  // the queued copy outlives the caller's text
  plDispatchEvent(0);
  ASSERT_EQ(1u, received.size());
  EXPECT_EQ(&drop_user, received[0].user);
  EXPECT_EQ("/tmp/dropped file.png", received[0].path);
}

TEST_F(FakeBackend, EventsOfADestroyedWindowAreDropped) {
  plWindow *w = plWindowCreate(0, 0, 10, 10, 0);
  plWindowInstallHandler(w, Record, nullptr);
  plFakePushEvent(Event(w, PL_CLASS_KEYBOARD, PL_KEY_DOWN));
  plWindowDestroy(w);
  EXPECT_EQ(0, plDispatchEvent(0));
  EXPECT_TRUE(received.empty());
}

TEST_F(FakeBackend, BackEndsCannotChangeUnderALiveWindow) {
  Make();
  EXPECT_EQ(-1, plSetBackend(PL_BACKEND_SDL));
  EXPECT_EQ(PL_BACKEND_FAKE, plGetBackend());
  EXPECT_EQ(0, plSetBackend(PL_BACKEND_FAKE));
  EXPECT_EQ(-1, plSetBackend(7));
}

TEST_F(FakeBackend, TheWallRefusesMissingWindowsAndBadSizes) {
  EXPECT_EQ(-1, plWindowShow(nullptr));
  EXPECT_EQ(-1, plWindowSetBounds(nullptr, 0, 0, 1, 1));
  EXPECT_EQ(-1, plGlSwapBuffers(nullptr));
  EXPECT_EQ(-1, plWindowInstallHandler(nullptr, Record, nullptr));
  EXPECT_EQ(nullptr, plGlCreateContext(nullptr, 1));
  EXPECT_EQ(nullptr, plWindowCreate(0, 0, 0, 100, 0));
  EXPECT_EQ(nullptr, plWindowCreate(0, 0, 100, -5, 0));
  pl_mode_t mode;
  EXPECT_EQ(-1, plDisplayMode(-1, &mode));
  EXPECT_EQ(-1, plDisplayMode(plDisplayModeCount(), &mode));
  EXPECT_TRUE(plFakeCalls().empty());
}

TEST_F(FakeBackend, DisplayModesAndTheStoredSwitch) {
  plFakeSetDisplay({1280, 1024, 32, 75, 0}, {{1280, 1024, 32, 75, 0}, {640, 480, 16, 0, 0}});
  pl_mode_t mode;
  ASSERT_EQ(0, plDisplayCurrentMode(&mode));
  EXPECT_EQ(1280, mode.width);
  EXPECT_EQ(75, mode.refresh);
  ASSERT_EQ(2, plDisplayModeCount());
  ASSERT_EQ(0, plDisplayMode(1, &mode));
  EXPECT_EQ(16, mode.bits);
  EXPECT_FALSE(plFakeSwitchedMode(nullptr));
  plDisplaySwitchMode(&mode);
  pl_mode_t switched;
  ASSERT_TRUE(plFakeSwitchedMode(&switched));
  EXPECT_EQ(640, switched.width);
  plDisplayRestore();
  EXPECT_FALSE(plFakeSwitchedMode(nullptr));
}

}  // namespace
