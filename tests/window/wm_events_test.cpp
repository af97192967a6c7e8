// Event delivery on the recording back-end: native events pushed into the
// fake queue come out of wmPumpEvents as wm_event_t records.
#include <cstring>

#include "wm_fake_fixture.h"

namespace {

using wm_test::AsValue;
using wm_test::Events;
using wm_test::WmFake;

class WmEvents : public WmFake {
protected:
  void SetUp() override {
    WmFake::SetUp();
    window_ = Shown(10, 20, 640, 480);
    wmParam(window_, WM_CALLBACK, AsValue(reinterpret_cast<void *>(wm_test::Collect)));
  }

  pl_event_t Native(int32_t cls, int32_t kind) const {
    pl_event_t e{};
    e.window = window_->window;
    e.cls = cls;
    e.kind = kind;
    e.key_code = PL_KEY_NONE;
    return e;
  }

  // Pushes one native event, pumps once, returns what was delivered.
  const wm_event_t *Deliver(const pl_event_t &e) {
    size_t before = Events().size();
    plFakePushEvent(e);
    wmPumpEvents();
    return Events().size() > before ? &Events().back().event : nullptr;
  }

  const wm_event_t *Key(int32_t kind, uint32_t code) {
    pl_event_t e = Native(PL_CLASS_KEYBOARD, kind);
    e.key_code = code;
    return Deliver(e);
  }

  const wm_event_t *Modifiers(uint32_t mask) {
    pl_event_t e = Native(PL_CLASS_KEYBOARD, PL_KEY_MODIFIERS);
    e.modifiers = mask;
    return Deliver(e);
  }

  const wm_event_t *Mouse(int32_t kind, int32_t button, int32_t x, int32_t y, int32_t wheel = 0) {
    pl_event_t e = Native(PL_CLASS_MOUSE, kind);
    e.button = button;
    e.x = x;
    e.y = y;
    e.wheel = wheel;
    return Deliver(e);
  }

  wm_window_t *window_ = nullptr;
};

TEST_F(WmEvents, EscapeGivesCodeOneOnPressRepeatAndRelease) {
  const wm_event_t *e = Key(PL_KEY_DOWN, 53);
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(WM_EVENT_KEY, e->type);
  EXPECT_EQ(window_, e->window);
  EXPECT_EQ(WM_KEY_PRESSED, e->key.action);
  EXPECT_EQ(1, e->key.code);
  e = Key(PL_KEY_REPEAT, 53);
  EXPECT_EQ(WM_KEY_PRESSED, e->key.action);
  e = Key(PL_KEY_UP, 53);
  EXPECT_EQ(WM_KEY_RELEASED, e->key.action);
  EXPECT_EQ(1, e->key.code);
}

TEST_F(WmEvents, TheKeyTextTravelsAsFourBytes) {
  pl_event_t e = Native(PL_CLASS_KEYBOARD, PL_KEY_DOWN);
  e.key_code = 0;
  const uint8_t text[4] = {'A', 0, 0, 0};
  std::memcpy(e.key_text, text, 4);
  const wm_event_t *got = Deliver(e);
  ASSERT_NE(nullptr, got);
  EXPECT_EQ(60, got->key.code);
  EXPECT_EQ(0, std::memcmp(&got->key.text, text, 4));
}

TEST_F(WmEvents, ModifierChangesNameTheOneKeyThatChanged) {
  const wm_event_t *e = Modifiers(PL_MOD_SHIFT);
  EXPECT_EQ(WM_KEY_PRESSED, e->key.action);
  EXPECT_EQ(106, e->key.code);
  e = Modifiers(0);
  EXPECT_EQ(WM_KEY_RELEASED, e->key.action);
  EXPECT_EQ(106, e->key.code);
  e = Modifiers(PL_MOD_CONTROL);
  EXPECT_EQ(107, e->key.code);
  e = Modifiers(PL_MOD_CONTROL | PL_MOD_OPTION);
  EXPECT_EQ(WM_KEY_PRESSED, e->key.action);
  EXPECT_EQ(109, e->key.code);
  e = Modifiers(PL_MOD_OPTION);
  EXPECT_EQ(WM_KEY_RELEASED, e->key.action);
  EXPECT_EQ(107, e->key.code);
  e = Modifiers(PL_MOD_OPTION | PL_MOD_CAPS_LOCK);
  EXPECT_EQ(59, e->key.code);
  e = Modifiers(0);
  EXPECT_EQ(0, e->key.code);  // two bits at once name no key
  // Shift and command in one change name no key either.
  e = Modifiers(PL_MOD_SHIFT | PL_MOD_COMMAND);
  EXPECT_EQ(WM_KEY_PRESSED, e->key.action);
  EXPECT_EQ(0, e->key.code);
  e = Modifiers(PL_MOD_SHIFT);
  EXPECT_EQ(108, e->key.code);
  Modifiers(0);
}

TEST_F(WmEvents, OtherKeyboardKindsArriveEmpty) {
  const wm_event_t *e = Key(5, 53);
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(WM_EVENT_KEY, e->type);
  EXPECT_EQ(0, e->key.action);
  EXPECT_EQ(0, e->key.code);
  EXPECT_EQ(0u, e->key.text);
}

TEST_F(WmEvents, ButtonsFollowTheDesktopsNumbering) {
  const wm_event_t *e = Mouse(PL_MOUSE_DOWN, 2, 5, 6);
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(WM_EVENT_MOUSE, e->type);
  EXPECT_EQ(WM_MOUSE_BUTTON, e->mouse.kind);
  EXPECT_EQ(WM_BUTTON_RIGHT_DOWN, e->mouse.action);
  EXPECT_EQ(1, e->mouse.right);
  EXPECT_EQ(0, e->mouse.middle);
  e = Mouse(PL_MOUSE_DOWN, 3, 5, 6);
  EXPECT_EQ(WM_BUTTON_MIDDLE_DOWN, e->mouse.action);
  EXPECT_EQ(1, e->mouse.middle);
  EXPECT_EQ(1, e->mouse.right);
  e = Mouse(PL_MOUSE_UP, 2, 5, 6);
  EXPECT_EQ(WM_BUTTON_RIGHT_UP, e->mouse.action);
  EXPECT_EQ(0, e->mouse.right);
  e = Mouse(PL_MOUSE_UP, 3, 5, 6);
  EXPECT_EQ(WM_BUTTON_MIDDLE_UP, e->mouse.action);
  e = Mouse(PL_MOUSE_DOWN, 1, 5, 6);
  EXPECT_EQ(WM_BUTTON_LEFT_DOWN, e->mouse.action);
  EXPECT_EQ(1, e->mouse.left);
  e = Mouse(PL_MOUSE_UP, 1, 5, 6);
  EXPECT_EQ(WM_BUTTON_LEFT_UP, e->mouse.action);
  EXPECT_EQ(0, e->mouse.left);
}

TEST_F(WmEvents, AResizeMakesTheNextMouseEventForgetHeldButtons) {
  Mouse(PL_MOUSE_DOWN, 2, 5, 6);
  EXPECT_EQ(1, window_->right);
  Deliver(Native(PL_CLASS_WINDOW, PL_WINDOW_BOUNDS_CHANGED));
  const wm_event_t *e = Mouse(PL_MOUSE_MOVED, 0, 7, 8);
  EXPECT_EQ(0, e->mouse.right);
  EXPECT_EQ(0, window_->right);
  EXPECT_EQ(0, window_->reset);
  // A completed resize delivers nothing but has the same effect.
  Mouse(PL_MOUSE_DOWN, 1, 7, 8);
  size_t before = Events().size();
  EXPECT_EQ(nullptr, Deliver(Native(PL_CLASS_WINDOW, PL_WINDOW_RESIZE_COMPLETED)));
  EXPECT_EQ(before, Events().size());
  e = Mouse(PL_MOUSE_MOVED, 0, 7, 8);
  EXPECT_EQ(0, e->mouse.left);
  EXPECT_EQ(0, window_->left);
}

TEST_F(WmEvents, MotionCarriesPositionAndDeltaWheelItsDirection) {
  Mouse(PL_MOUSE_MOVED, 0, 100, 50);
  const wm_event_t *e = Mouse(PL_MOUSE_DRAGGED, 0, 90, 65);
  EXPECT_EQ(WM_MOUSE_MOTION, e->mouse.kind);
  EXPECT_EQ(90, e->mouse.x);
  EXPECT_EQ(65, e->mouse.y);
  EXPECT_EQ(-10, e->mouse.dx);
  EXPECT_EQ(15, e->mouse.dy);
  e = Mouse(PL_MOUSE_WHEEL, 0, 90, 65, 0);
  EXPECT_EQ(WM_MOUSE_BUTTON, e->mouse.kind);
  EXPECT_EQ(1, e->mouse.wheel_up);
  EXPECT_EQ(0, e->mouse.wheel_down);
  e = Mouse(PL_MOUSE_WHEEL, 0, 90, 65, -3);
  EXPECT_EQ(0, e->mouse.wheel_up);
  EXPECT_EQ(1, e->mouse.wheel_down);
  e = Mouse(PL_MOUSE_ENTERED, 0, 1, 1);
  EXPECT_EQ(WM_MOUSE_ENTER_EXIT, e->mouse.kind);
  EXPECT_NE(std::string::npos, Log().find("[wm]  ! - mouse entered\n"));
}

TEST_F(WmEvents, WindowKindsBecomeWindowActions) {
  struct {
    int32_t kind;
    int32_t action;
  } const cases[] = {
      {PL_WINDOW_ACTIVATED, WM_WINDOW_ACTIVATED},  {PL_WINDOW_DEACTIVATED, WM_WINDOW_DEACTIVATED},
      {PL_WINDOW_SHOWING, WM_WINDOW_SHOWN},        {PL_WINDOW_SHOWN, WM_WINDOW_SHOWN},
      {PL_WINDOW_FOCUS_ACQUIRED, WM_WINDOW_SHOWN}, {PL_WINDOW_HIDDEN, WM_WINDOW_HIDDEN},
      {PL_WINDOW_FOCUS_RELINQUISH, WM_WINDOW_HIDDEN},
      {PL_WINDOW_BOUNDS_CHANGING, WM_WINDOW_BOUNDS}, {PL_WINDOW_RESIZE_STARTED, WM_WINDOW_BOUNDS},
  };
  for (const auto &c : cases) {
    const wm_event_t *e = Deliver(Native(PL_CLASS_WINDOW, c.kind));
    ASSERT_NE(nullptr, e) << c.kind;
    EXPECT_EQ(WM_EVENT_WINDOW, e->type) << c.kind;
    EXPECT_EQ(c.action, e->conf.action) << c.kind;
  }
}

TEST_F(WmEvents, ACloseRequestIsOnlyAnEvent) {
  const wm_event_t *e = Deliver(Native(PL_CLASS_WINDOW, PL_WINDOW_CLOSED));
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(WM_WINDOW_CLOSE, e->conf.action);
  EXPECT_EQ(window_, wmWindowList()->data);
  EXPECT_NE(nullptr, window_->window);
  EXPECT_TRUE(plFakeCallsStartingWith("WindowDestroy").empty());
}

TEST_F(WmEvents, BoundsEventsReadTheContentAreaIntoRecordAndWindow) {
  // The desktop moved the window behind the window manager's back.
  plWindowSetBounds(window_->window, 30, 40, 800, 600);
  const wm_event_t *e = Deliver(Native(PL_CLASS_WINDOW, PL_WINDOW_BOUNDS_CHANGED));
  EXPECT_EQ(WM_WINDOW_BOUNDS, e->conf.action);
  EXPECT_EQ(30, e->conf.x);
  EXPECT_EQ(40, e->conf.y);
  EXPECT_EQ(800, e->conf.width);
  EXPECT_EQ(600, e->conf.height);
  EXPECT_EQ(800, wmParam(window_, WM_WIDTH, 0));
  EXPECT_EQ(1, window_->reset);

  e = Deliver(Native(PL_CLASS_WINDOW, PL_WINDOW_DRAW_CONTENT));
  EXPECT_EQ(WM_EVENT_REDRAW, e->type);
  EXPECT_EQ(0, e->conf.action);
  EXPECT_EQ(600, e->conf.height);
}

TEST_F(WmEvents, UnknownWindowKindsAreLoggedNotDelivered) {
  EXPECT_EQ(nullptr, Deliver(Native(PL_CLASS_WINDOW, 99)));
  EXPECT_NE(std::string::npos, Log().find("[wm]  ! - unknown event: 99\n"));
}

TEST_F(WmEvents, AWindowWithoutCallbackStillKeepsItsState) {
  wmParam(window_, WM_CALLBACK, 0);
  Mouse(PL_MOUSE_DOWN, 1, 3, 4);
  plWindowSetBounds(window_->window, 1, 2, 300, 200);
  Deliver(Native(PL_CLASS_WINDOW, PL_WINDOW_BOUNDS_CHANGED));
  EXPECT_TRUE(Events().empty());
  EXPECT_EQ(1, window_->left);
  EXPECT_EQ(3, window_->last_x);
  EXPECT_EQ(300, window_->width);
}

TEST_F(WmEvents, OtherClassesAreNotHandled) {
  pl_event_t e = Native(PL_CLASS_COMMAND, 1);
  EXPECT_EQ(WM_EVENT_NOT_HANDLED, wmEventHandler(&e, window_));
  EXPECT_TRUE(Events().empty());
  e = Native(PL_CLASS_KEYBOARD, PL_KEY_DOWN);
  EXPECT_EQ(0, wmEventHandler(&e, window_));
}

TEST_F(WmEvents, DropsArriveAsEnterItemLeave) {
  wm_window_t *w = wmNewWindow(0, 0, 100, 100);
  wmParam(w, WM_DROP, 1);
  wmParam(w, WM_CALLBACK, AsValue(reinterpret_cast<void *>(wm_test::Collect)));
  wmShowWindow(w);
  pl_event_t e{};
  e.window = w->window;
  e.cls = PL_CLASS_CONTROL;
  for (int32_t kind : {PL_DRAG_ENTER, PL_DRAG_RECEIVE, PL_DRAG_LEAVE}) {
    e.kind = kind;
    e.path = kind == PL_DRAG_RECEIVE ? "/tmp/\xC5\x81\xC3\xB3" "d\xC5\xBA.png" : nullptr;
    plFakePushEvent(e);
    wmPumpEvents();
  }
  ASSERT_EQ(3u, Events().size());
  EXPECT_EQ(WM_EVENT_DROP, Events()[0].event.type);
  EXPECT_EQ(WM_DROP_ENTER, Events()[0].event.drop.action);
  EXPECT_EQ(WM_DROP_ITEM, Events()[1].event.drop.action);
  EXPECT_EQ("/tmp/\xC5\x81\xC3\xB3" "d\xC5\xBA.png", Events()[1].path);
  EXPECT_EQ(static_cast<int32_t>(Events()[1].path.size()), Events()[1].event.drop.length);
  EXPECT_EQ(WM_DROP_LEAVE, Events()[2].event.drop.action);
  EXPECT_EQ(w, Events()[2].event.window);
}

TEST_F(WmEvents, AWindowThatTakesNoDropsHearsNothingOfThem) {
  pl_event_t e = Native(PL_CLASS_CONTROL, PL_DRAG_RECEIVE);
  e.path = "/tmp/x";
  EXPECT_EQ(nullptr, Deliver(e));
  EXPECT_EQ(WM_EVENT_NOT_HANDLED, wmDropHandler(&e, nullptr));
  e.cls = PL_CLASS_MOUSE;
  EXPECT_EQ(WM_EVENT_NOT_HANDLED, wmDropHandler(&e, window_));
}

TEST_F(WmEvents, PumpingAnEmptyQueueReturnsAtOnceAndKeepsAwakeRarely) {
  wmPumpEvents();
  wmPumpEvents();
  EXPECT_TRUE(Events().empty());
  // Earlier pumps of this process may already have kept it awake.
  EXPECT_LE(plFakeCallsStartingWith("KeepAwake").size(), 1u);
}

TEST(WmKeyTable, OutOfRangeCodesGiveZeroAndNoCodeRepeats) {
  EXPECT_EQ(0u, wmKeyCode(127));
  EXPECT_EQ(0u, wmKeyCode(PL_KEY_NONE));
  // Every framework code appears at most once.
  for (int i = 0; i < WM_KEY_TABLE_SIZE; ++i)
    for (int j = i + 1; j < WM_KEY_TABLE_SIZE; ++j) {
      if (wmKeyTable[i]) {
        EXPECT_NE(wmKeyTable[i], wmKeyTable[j]) << i << " and " << j;
      }
    }
}

}  // namespace
