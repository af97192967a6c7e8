// Windows and their properties on the recording back-end: which native
// calls happen, in which order, with which arguments.
#include <string>
#include <vector>

#include "wm_fake_fixture.h"

namespace {

using wm_test::AsValue;
using wm_test::WmFake;
using Calls = std::vector<std::string>;

TEST_F(WmFake, StartUpBringsTheProcessForwardThenStartsTheDisplay) {
  plFakeReset();
  ASSERT_EQ(0, wmInit());
  const Calls expected = {"ProcessToFront", "GroupCreate", "DisplayInit", "DisplayCurrentMode",
                          "RendererInfo"};
  EXPECT_EQ(expected, plFakeCalls());
  EXPECT_NE(std::string::npos, Log().find("[wm][dm] Screen size: 1024x768 32 bits 60Hz\n"));
}

TEST_F(WmFake, ADisplayThatCannotStartFailsStartUpWithCode3009) {
  plFakeFail("DisplayInit", true);
  EXPECT_EQ(-1, wmInit());
  EXPECT_EQ(WM_ERR_DISPLAY, SYS_ErrorGet());
  EXPECT_NE(std::string::npos, Log().find("[wm]  ! unable to initialize display manager.\n"));
}

TEST_F(WmFake, DisplayCodesNeedNoWindowOtherCodesDo) {
  EXPECT_EQ(1024, wmParam(nullptr, WM_DESKTOP_WIDTH, 0));
  EXPECT_EQ(768, wmParam(nullptr, WM_DESKTOP_HEIGHT, 0));
  EXPECT_EQ(32, wmParam(nullptr, WM_DESKTOP_BITS, 0));
  EXPECT_EQ(60, wmParam(nullptr, WM_DESKTOP_FREQUENCY, 0));
  EXPECT_EQ(0, SYS_ErrorGet());
  EXPECT_EQ(-1, wmParam(nullptr, WM_WIDTH, 0));
  EXPECT_EQ(WM_ERR_NO_WINDOW, SYS_ErrorGet());
  EXPECT_EQ(-1, wmParam(nullptr, 77, 0));
  EXPECT_EQ(WM_ERR_NO_WINDOW, SYS_ErrorGet());

  wm_window_t *w = wmNewWindow(1, 2, 3, 4);
  EXPECT_EQ(0, wmParam(w, 77, 12345));  // unknown code: nothing changes
  EXPECT_EQ(3, wmParam(w, WM_WIDTH, 0));
  EXPECT_EQ(4, wmParam(w, WM_HEIGHT, 0));
  EXPECT_EQ(1, wmParam(w, WM_X, 0));
  EXPECT_EQ(2, wmParam(w, WM_Y, 0));
  EXPECT_EQ(1024, wmParam(w, WM_DESKTOP_WIDTH, 0));
}

TEST_F(WmFake, AWindowNeverShownMakesNoNativeCalls) {
  wm_window_t *w = wmNewWindow(10, 20, 300, 200);
  ASSERT_NE(nullptr, w);
  EXPECT_EQ(100.0f, w->opacity);
  wmParam(w, WM_TITLE, AsValue("t"));
  wmParam(w, WM_OPACITY, 50);
  wmParam(w, WM_BORDERLESS, 1);
  wmParam(w, WM_RESIZABLE, 1);
  wmParam(w, WM_LEVEL, 1);
  wmMakeCurrent(w);
  wmSwapBuffers(w);
  EXPECT_EQ(0, wmHideWindow(w));
  EXPECT_EQ(0, wmDestroyWindow(w));
  EXPECT_TRUE(plFakeCalls().empty());
}

TEST_F(WmFake, TheFirstShowBuildsTheWindowFromTheStoredProperties) {
  wm_window_t *w = wmNewWindow(10, 20, 300, 200);
  wmParam(w, WM_TITLE, AsValue("\xA3\xF3" "d\xBC"));
  wmParam(w, WM_OPACITY, 50);
  wmParam(w, WM_BORDERLESS, 1);
  ASSERT_EQ(0, wmShowWindow(w));
  const Calls expected = {
      "MenuCreateWindowMenu",
      "GlAttributes doublebuffer rgba8888 depth24 stencil8 compatibility shared",
      "GlChoosePixelFormat",
      "WindowCreate 10,20 300x200 attrs=0x00000200",
      "WindowSetGroup #1 1",
      "WindowSetBounds #1 10,20 300x200",
      "WindowSetAlpha #1 0.5",
      "WindowSetTitle #1 \xC5\x81\xC3\xB3" "d\xC5\xBA",
      "GlCreateContext #1",
      "GlMakeCurrent #1",
      "WindowShow #1",
  };
  EXPECT_EQ(expected, plFakeCalls());
  EXPECT_NE(std::string::npos, Log().find("[wm]  ! show window ("));
  EXPECT_NE(std::string::npos, Log().find(" -> 10,20 300x200).\n"));
}

TEST_F(WmFake, TitledWindowsGetTheResizableOrTheFixedAttributeSet) {
  wm_window_t *resizable = wmNewWindow(0, 0, 100, 100);
  wmParam(resizable, WM_RESIZABLE, 1);
  wm_window_t *fixed = wmNewWindow(0, 0, 100, 100);
  wmShowWindow(resizable);
  wmShowWindow(fixed);
  const Calls created = {"WindowCreate 0,0 100x100 attrs=0x1200001f",
                         "WindowCreate 0,0 100x100 attrs=0x02000009"};
  EXPECT_EQ(created, plFakeCallsStartingWith("WindowCreate"));
  // The context attributes are set once, before the first window only.
  EXPECT_EQ(1u, plFakeCallsStartingWith("GlAttributes").size());
  EXPECT_EQ("GlAttributes", plFakeCalls()[1].substr(0, 12));
}

TEST_F(WmFake, BorderlessOnAShownWindowChangesTheFrameThenNudgesTheBounds) {
  wm_window_t *w = Shown(0, 0, 1024, 768);
  EXPECT_EQ(0, wmParam(w, WM_BORDERLESS, 1));
  const Calls expected = {
      "WindowChangeAttributes #1 set=0x00000200 clear=0x1200001f",
      "WindowSetBounds #1 0,0 1024x769",
      "WindowSetBounds #1 0,0 1024x768",
  };
  EXPECT_EQ(expected, plFakeCalls());
  plFakeClearCalls();
  wmParam(w, WM_BORDERLESS, 0);
  EXPECT_EQ("WindowChangeAttributes #1 set=0x1200001f clear=0x00000200", plFakeCalls().at(0));
}

TEST_F(WmFake, ResizableOnAShownWindowOnlyAddsAttributes) {
  wm_window_t *w = Shown();
  wmParam(w, WM_RESIZABLE, 0);
  EXPECT_EQ(Calls{"WindowChangeAttributes #1 set=0x02000009 clear=0x00000000"}, plFakeCalls());
  EXPECT_EQ(WM_ATTR_FIXED_SET, w->attributes);
}

TEST_F(WmFake, TheLevelMovesTheWindowGroupOnceTheWindowExists) {
  wm_window_t *w = wmNewWindow(0, 0, 100, 100);
  wmParam(w, WM_LEVEL, 1);
  EXPECT_TRUE(plFakeCalls().empty());
  // A show with the level set also takes the context to full screen.
  wmShowWindow(w);
  EXPECT_EQ("GlSetFullScreen #1", plFakeCalls().back());
  EXPECT_EQ("WindowShow #1", plFakeCalls()[plFakeCalls().size() - 2]);
  plFakeClearCalls();
  wmParam(w, WM_LEVEL, 1);
  wmParam(w, WM_LEVEL, 0);
  EXPECT_EQ((Calls{"GroupSetLevel 1 13", "GroupSetLevel 1 4"}), plFakeCalls());
}

TEST_F(WmFake, ShowingAgainReusesTheNativeWindow) {
  wm_window_t *w = Shown();
  plWindow *native = w->window;
  wmHideWindow(w);
  EXPECT_EQ(0, wmShowWindow(w));
  EXPECT_EQ((Calls{"WindowHide #1", "WindowShow #1"}), plFakeCalls());
  EXPECT_EQ(native, w->window);
}

TEST_F(WmFake, AWindowThatCannotBeCreatedFailsWithCode3005) {
  plFakeFail("WindowCreate", true);
  wm_window_t *w = wmNewWindow(0, 0, 100, 100);
  EXPECT_EQ(-1, wmShowWindow(w));
  EXPECT_EQ(WM_ERR_WINDOW, SYS_ErrorGet());
  EXPECT_EQ(nullptr, w->window);
  EXPECT_NE(std::string::npos, Log().find("[wm]  ! unable to create window.\n"));
  plFakeFail("WindowCreate", false);
  EXPECT_EQ(0, wmShowWindow(w));
}

TEST_F(WmFake, AContextThatCannotBeMadeFailsWithCode3001AndLeavesNoWindowBehind) {
  plFakeFail("GlCreateContext", true);
  wm_window_t *w = wmNewWindow(0, 0, 100, 100);
  EXPECT_EQ(-1, wmShowWindow(w));
  EXPECT_EQ(WM_ERR_GL, SYS_ErrorGet());
  EXPECT_EQ(nullptr, w->window);
  EXPECT_EQ(1u, plFakeCallsStartingWith("WindowDestroy #1").size());
  // Nothing half-made: a later show starts over and succeeds.
  plFakeFail("GlCreateContext", false);
  EXPECT_EQ(0, wmShowWindow(w));
  EXPECT_NE(nullptr, w->context);
}

TEST_F(WmFake, DropsAreAcceptedAtShowTimeWhenAsked) {
  wm_window_t *w = wmNewWindow(0, 0, 100, 100);
  wmParam(w, WM_DROP, 1);
  EXPECT_TRUE(plFakeCalls().empty());
  wmShowWindow(w);
  EXPECT_EQ(1u, plFakeCallsStartingWith("WindowAcceptDrops #1").size());

  plFakeFail("WindowAcceptDrops", true);
  wm_window_t *v = wmNewWindow(0, 0, 100, 100);
  wmParam(v, WM_DROP, 1);
  EXPECT_EQ(0, wmShowWindow(v));  // goes on without drops
  EXPECT_NE(std::string::npos, Log().find("[wm]  ! HIViewFindByID() failed.\n"));
}

TEST_F(WmFake, DestroyingReleasesContextAndWindowAndForgetsTheRecord) {
  wm_window_t *w = Shown();
  const int64_t live_before = static_cast<int64_t>(SYS_MemLiveCount());
  wmParam(w, WM_TITLE, AsValue("title"));
  EXPECT_EQ(0, wmDestroyWindow(w));
  const Calls expected = {"WindowSetTitle #1 title", "WindowHide #1", "GlDestroyPixelFormat",
                          "GlMakeCurrent #1", "GlDestroyContext #1", "WindowDestroy #1"};
  EXPECT_EQ(expected, plFakeCalls());
  EXPECT_EQ(nullptr, wmWindowList());
  // The record, its list node and its title are gone.
  EXPECT_EQ(live_before - 2, static_cast<int64_t>(SYS_MemLiveCount()));
}

TEST_F(WmFake, DestroyingNothingOrTwiceIsRefused) {
  EXPECT_EQ(-1, wmDestroyWindow(nullptr));
  EXPECT_EQ(10, SYS_ErrorGet());
  wm_window_t *w = wmNewWindow(0, 0, 10, 10);
  ASSERT_EQ(0, wmDestroyWindow(w));
  EXPECT_EQ(-1, wmDestroyWindow(w));
  EXPECT_EQ(10, SYS_ErrorGet());
  EXPECT_EQ(-1, wmHideWindow(nullptr));
  EXPECT_EQ(10, SYS_ErrorGet());
  EXPECT_EQ(-1, wmShowWindow(nullptr));
}

TEST_F(WmFake, NewWindowsGoToTheFrontOfTheList) {
  wm_window_t *a = wmNewWindow(0, 0, 1, 1);
  wm_window_t *b = wmNewWindow(0, 0, 1, 1);
  ASSERT_NE(nullptr, wmWindowList());
  EXPECT_EQ(b, wmWindowList()->data);
  EXPECT_EQ(a, wmWindowList()->next->data);
  wmDestroyWindow(b);
  EXPECT_EQ(a, wmWindowList()->data);
  EXPECT_EQ(nullptr, wmWindowList()->next);
}

TEST_F(WmFake, GeometryCodesStoreBeforeShowAndApplyAfter) {
  wm_window_t *w = wmNewWindow(0, 0, 10, 10);
  wm_conf_t conf{0, 5, 6, 70, 80};
  EXPECT_EQ(0, wmParam(w, WM_BOUNDS, AsValue(&conf)));
  wm_conf_t out{};
  EXPECT_EQ(0, wmParam(w, WM_GET_BOUNDS, AsValue(&out)));
  EXPECT_EQ(5, out.x);
  EXPECT_EQ(6, out.y);
  EXPECT_EQ(70, out.width);
  EXPECT_EQ(80, out.height);
  EXPECT_EQ(0, wmParam(w, WM_GET_BOUNDS, 0));  // nowhere to write: nothing written
  EXPECT_TRUE(plFakeCalls().empty());

  wmShowWindow(w);
  plFakeClearCalls();
  conf = {0, 1, 2, 30, 40};
  wmParam(w, WM_BOUNDS, AsValue(&conf));
  conf = {0, 7, 8, 0, 0};
  wmParam(w, WM_POSITION, AsValue(&conf));
  EXPECT_EQ((Calls{"WindowSetBounds #1 1,2 30x40", "WindowMoveStructure #1 7,8"}), plFakeCalls());
  EXPECT_EQ(7, wmParam(w, WM_X, 0));
  EXPECT_EQ(30, wmParam(w, WM_WIDTH, 0));
}

TEST_F(WmFake, GeometryCodesWithoutARecordAreRefused) {
  wm_window_t *w = Shown();
  EXPECT_EQ(-1, wmParam(w, WM_BOUNDS, 0));
  EXPECT_EQ(10, SYS_ErrorGet());
  EXPECT_EQ(-1, wmParam(w, WM_POSITION, 0));
  EXPECT_EQ(10, SYS_ErrorGet());
  EXPECT_TRUE(plFakeCalls().empty());
}

TEST_F(WmFake, TitlesAreTrackedCopiesReplacedWithoutLeaks) {
  wm_window_t *w = wmNewWindow(0, 0, 10, 10);
  std::string text = "first";
  wmParam(w, WM_TITLE, AsValue(text.c_str()));
  text = "changed";
  EXPECT_STREQ("first", w->title);
  const size_t live = SYS_MemLiveCount();
  wmParam(w, WM_TITLE, AsValue("second"));
  EXPECT_EQ(live, SYS_MemLiveCount());
  // The window's own title given back to it survives the swap.
  wmParam(w, WM_TITLE, AsValue(w->title));
  EXPECT_STREQ("second", w->title);
  wmParam(w, WM_TITLE, 0);
  EXPECT_EQ(nullptr, w->title);
}

TEST_F(WmFake, CursorUserWordCallbackAndWaitTime) {
  wm_window_t *w = wmNewWindow(0, 0, 10, 10);
  wmParam(w, WM_CURSOR_HIDDEN, 1);
  EXPECT_FALSE(plFakeCursorVisible());  // at once, without a native window
  wmParam(w, WM_CURSOR_HIDDEN, 0);
  EXPECT_TRUE(plFakeCursorVisible());

  // The user word carries a whole pointer.
  int anchor = 0;
  wmParam(w, WM_USER_SET, AsValue(&anchor));
  EXPECT_EQ(AsValue(&anchor), wmParam(w, WM_USER_GET, 0));

  wmParam(w, WM_CALLBACK, AsValue(reinterpret_cast<void *>(wm_test::Collect)));
  EXPECT_EQ(wm_test::Collect, w->callback);

  EXPECT_EQ(0, wmParam(nullptr, WM_EVENT_WAIT, 2));
  EXPECT_EQ(2.0, wmEventWaitTime());
  wmParam(nullptr, WM_EVENT_WAIT, 0);
}

TEST_F(WmFake, SwapAndMakeCurrentGoToTheWindowsOwnContext) {
  wm_window_t *a = Shown();
  wm_window_t *b = Shown();
  wmMakeCurrent(a);
  wmSwapBuffers(b);
  wmMakeCurrent(nullptr);
  wmSwapBuffers(nullptr);
  EXPECT_EQ((Calls{"GlMakeCurrent #1", "GlSwapBuffers #2"}), plFakeCalls());
}

TEST_F(WmFake, ShutdownRestoresTheDisplayAndShowsTheMenuBar) {
  EXPECT_EQ(0, wmShutdown());
  EXPECT_EQ((Calls{"DisplayRestore", "MenuBarShow"}), plFakeCalls());
  EXPECT_EQ(0, wmParam(nullptr, WM_RENDERER_NAME, 0));  // the name was released
}

}  // namespace
