// A WINDOW widget on SDL under a virtual display with Mesa: what it clears
// to and how its background picture lies, read back from the frame.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "dialog/widget.h"
#include "framework/log.h"
#include "support/test_support.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"
#include "window/wm.h"

namespace {

class WidgetWindowOnSdl : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(0, plSetBackend(PL_BACKEND_SDL));
    ASSERT_EQ(0, wmInit()) << "error " << SYS_ErrorGet();
    txInit(nullptr);
    txSetParam(3, TX_RED_FIRST);  // the channel order the dialog engine works in
  }

  // The RGBA pixel at window x, y (y downward) of the frame just drawn.
  static std::vector<uint8_t> Pixel(int32_t x, int32_t y, int32_t height) {
    std::vector<uint8_t> p(4);
    gl_stub_table.glReadBuffer(GL_BACK);
    gl_stub_table.glReadPixels(x, height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return p;
  }
};

TEST_F(WidgetWindowOnSdl, ClearsToItsBackgroundAndStretchesItsPictureTopDown) {
  ember_test::TempDir dir;
  // A 2x2 picture: top row red, bottom row blue (PPM rows run top down).
  const std::string picture = dir.str("quad.ppm");
  ember_test::WriteFile(picture, std::string("P6\n2 2\n255\n") + std::string("\xFF\0\0\xFF\0\0", 6) +
                                     std::string("\0\0\xFF\0\0\xFF", 6));
  SYS_List_p set = widget_load(0, "<WINDOW WIDTH=\"64\" HEIGHT=\"48\" BGCOLOR=\"00FF00FF\"/>");
  ASSERT_NE(nullptr, set);
  widget_item_t *window = widget_first_of_type(set, WIDGET_WINDOW);
  ASSERT_EQ(0, widget_show_set(set));
  widget_send(window, WIDGET_MSG_DRAW);
  EXPECT_EQ((std::vector<uint8_t>{0, 255, 0, 255}), Pixel(32, 24, 48));
  widget_unload(set);

  const std::string text = "<WINDOW WIDTH=\"64\" HEIGHT=\"48\" FGCOLOR=\"FFFFFFFF\" BGFILTER=\"nearest\" BG=\"" +
                           picture + "\"/>";
  set = widget_load(0, text.c_str());
  ASSERT_NE(nullptr, set);
  window = widget_first_of_type(set, WIDGET_WINDOW);
  ASSERT_EQ(0, widget_show_set(set));
  ASSERT_NE(nullptr, tmFind(picture.c_str()));
  widget_send(window, WIDGET_MSG_DRAW);
  EXPECT_EQ((std::vector<uint8_t>{255, 0, 0, 255}), Pixel(32, 4, 48));
  EXPECT_EQ((std::vector<uint8_t>{0, 0, 255, 255}), Pixel(32, 44, 48));
  widget_unload(set);
  EXPECT_EQ(nullptr, tmFind(picture.c_str()));  // removed with its window
  EXPECT_EQ(nullptr, wmWindowList());
}

}  // namespace
