// Display modes, renderer names and fades on the recording back-end.
#include <string>
#include <vector>

#include "wm_fake_fixture.h"

namespace {

using wm_test::WmFake;
using Calls = std::vector<std::string>;

class WmDisplay : public WmFake {
protected:
  // Restarts the window manager on another display.
  void Display(const pl_mode_t &desktop, const std::vector<pl_mode_t> &modes) {
    plFakeSetDisplay(desktop, modes);
    ASSERT_EQ(0, wmInit());
    plFakeClearCalls();
  }
};

TEST_F(WmDisplay, ModesAreListedInTheDisplaysOrderAsNewRecords) {
  Display({1280, 1024, 32, 75, 0}, {{640, 480, 16, 0, 0}, {1280, 1024, 32, 75, 0}});
  const size_t live = SYS_MemLiveCount();
  SYS_List_p modes = wmGetVideoModes();
  ASSERT_NE(nullptr, modes);
  auto *first = static_cast<wm_videomode_t *>(modes->data);
  EXPECT_EQ(640, first->width);
  EXPECT_EQ(480, first->height);
  EXPECT_EQ(16, first->bits);
  EXPECT_EQ(0.0f, first->frequency);
  ASSERT_NE(nullptr, modes->next);
  auto *second = static_cast<wm_videomode_t *>(modes->next->data);
  EXPECT_EQ(1280, second->width);
  EXPECT_EQ(75.0f, second->frequency);
  EXPECT_EQ(nullptr, modes->next->next);
  wmFreeVideoModes(modes);
  EXPECT_EQ(live, SYS_MemLiveCount());
}

TEST_F(WmDisplay, ADisplayWithoutModesListsNothing) {
  Display({800, 600, 32, 0, 0}, {});
  EXPECT_EQ(nullptr, wmGetVideoModes());
  EXPECT_EQ(0, SYS_ErrorGet());
}

TEST_F(WmDisplay, OnlyAnExactModeIsSwitchedTo) {
  Display({1024, 768, 32, 60, 0}, {{800, 600, 16, 60, 0}, {800, 600, 32, 60, 0}, {1024, 768, 32, 75, 0}});
  EXPECT_EQ(-1, wmSetVideoMode(640, 480, 32, 0));
  EXPECT_EQ(WM_ERR_NO_MODE, SYS_ErrorGet());
  EXPECT_EQ(-1, wmSetVideoMode(1024, 768, 16, 0));  // right size, wrong depth
  EXPECT_EQ(-1, wmSetVideoMode(1024, 768, 32, 60));  // right mode, wrong frequency
  EXPECT_TRUE(plFakeCalls().empty());
  EXPECT_FALSE(plFakeSwitchedMode(nullptr));

  EXPECT_EQ(0, wmSetVideoMode(800, 600, 32, 0));  // frequency 0: any
  EXPECT_EQ(0, wmSetVideoMode(1024, 768, 32, 75));
  EXPECT_EQ((Calls{"DisplaySwitchMode 800x600x32@60", "DisplaySwitchMode 1024x768x32@75"}), plFakeCalls());
}

TEST_F(WmDisplay, RestoringForgetsTheSwitchedMode) {
  ASSERT_EQ(0, wmSetVideoMode(800, 600, 32, 0));
  ASSERT_TRUE(plFakeSwitchedMode(nullptr));
  wmRestoreVideoMode();
  EXPECT_FALSE(plFakeSwitchedMode(nullptr));
  EXPECT_EQ("DisplayRestore", plFakeCalls().back());
  // With nothing switched the restore is harmless.
  EXPECT_EQ(0, wmRestoreVideoMode());
}

TEST_F(WmDisplay, RendererIdsNameTheRendererAndMemoryIsLoggedInMegabytes) {
  plFakeSetRenderer({0x00021601, 67108864, 33554432});
  ASSERT_EQ(0, wmInit());
  EXPECT_STREQ("ATI Radeon 9200", reinterpret_cast<const char *>(wmParam(nullptr, WM_RENDERER_NAME, 0)));
  EXPECT_EQ(67108864, wmParam(nullptr, WM_VIDEO_MEMORY, 0));
  const std::string log = Log();
  EXPECT_NE(std::string::npos, log.find("[wm][agl]  - device name: ATI Radeon 9200 (0x21601)\n"));
  EXPECT_NE(std::string::npos, log.find("[wm][agl]   - total memory: 64MB\n"));
  EXPECT_NE(std::string::npos, log.find("[wm][agl]   - texture memory: 32MB\n"));

  plFakeSetRenderer({0x12345678, 0, 0});
  ASSERT_EQ(0, wmInit());
  EXPECT_STREQ("Unknown", reinterpret_cast<const char *>(wmParam(nullptr, WM_RENDERER_NAME, 0)));
}

TEST_F(WmDisplay, WithoutARendererIdTheNameIsUnknownAndMemoryZero) {
  EXPECT_STREQ("Unknown", reinterpret_cast<const char *>(wmParam(nullptr, WM_RENDERER_NAME, 0)));
  EXPECT_EQ(0, wmParam(nullptr, WM_VIDEO_MEMORY, 0));
  EXPECT_NE(std::string::npos, Log().find("[wm][agl]  - device name: Unknown (0x0)\n"));
}

TEST_F(WmDisplay, AFadeHoldsTheDisplayUntilReleased) {
  wmFadeDisplay(0, 1.5f);
  wmFadeDisplay(1, 1.5f);  // ignored while the first holds
  EXPECT_EQ((Calls{"FadeReserve 15", "Fade 1.5 0 1 sync"}), plFakeCalls());
  wmFadeRelease();
  wmFadeDisplay(1, 2.0f);
  wmFadeRelease();
  EXPECT_EQ((Calls{"FadeReserve 15", "Fade 1.5 0 1 sync", "FadeRelease", "FadeReserve 15",
                   "Fade 2 1 0 async", "FadeRelease"}),
            plFakeCalls());
}

TEST_F(WmDisplay, ABadFadeDirectionIsRefused) {
  wmFadeDisplay(7, 1.0f);
  EXPECT_EQ(10, SYS_ErrorGet());
  plFakeClearCalls();
  wmFadeRelease();  // nothing active
  EXPECT_TRUE(plFakeCalls().empty());
  plFakeFail("FadeReserve", true);
  wmFadeDisplay(0, 1.0f);
  EXPECT_EQ(Calls{"FadeReserve 15"}, plFakeCalls());
  plFakeFail("FadeReserve", false);
}

}  // namespace
