// A window manager on the recording back-end: no display needed. Each test
// starts with a fresh call record, a started window manager, a log file of
// its own and an empty list of delivered events.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/log.h"
#include "framework/memory.h"
#include "platform/fake.h"
#include "support/test_support.h"
#include "window/wm.h"

namespace wm_test {

struct Delivered {
  wm_event_t event;
  std::string path;  // copy of the drop path, valid after the callback
};

inline std::vector<Delivered> &Events() {
  static std::vector<Delivered> events;
  return events;
}

inline int32_t Collect(wm_event_t *event) {
  Events().push_back({*event, event->drop.path ? event->drop.path : ""});
  return 0;
}

inline intptr_t AsValue(const void *p) { return reinterpret_cast<intptr_t>(p); }

class WmFake : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(0, plSetBackend(PL_BACKEND_FAKE));
    plFakeReset();
    log_ = dir_.str("wm.log");
    SYS_LogSetFile(log_.c_str());
    SYS_LogSetFlags(SYS_LOG_ON);
    ASSERT_EQ(0, wmInit());
    plFakeClearCalls();
    Events().clear();
  }

  void TearDown() override {
    while (SYS_List_p list = wmWindowList()) wmDestroyWindow(static_cast<wm_window_t *>(list->data));
    wmAglShutdown();
    SYS_LogSetFlags(0);
    plFakeReset();
  }

  wm_window_t *Shown(int32_t x = 0, int32_t y = 0, int32_t w = 640, int32_t h = 480) {
    wm_window_t *window = wmNewWindow(x, y, w, h);
    EXPECT_NE(nullptr, window);
    EXPECT_EQ(0, wmShowWindow(window));
    plFakeClearCalls();
    return window;
  }

  std::string Log() const { return ember_test::ReadFile(log_); }

  ember_test::TempDir dir_;
  std::string log_;
};

}  // namespace wm_test
