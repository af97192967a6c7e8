// The pack's two dialogs on SDL under a virtual display with Mesa, read
// back from the back buffer before any swap: what a click, a hover and a
// greyed choice do to the pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialog/widget.h"
#include "framework/file.h"
#include "framework/log.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"
#include "window/wm.h"

namespace {

struct Rgb {
  int r, g, b;
};

class Dialogs : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(0, plSetBackend(PL_BACKEND_SDL));
    ASSERT_EQ(0, wmInit()) << "error " << SYS_ErrorGet();
    txInit(nullptr);
    txSetParam(3, TX_RED_FIRST);
    tmInit();
    frInit();
    const std::string pack = (ember_test::BinaryDir() / "stage" / "emberfield.dat").string();
    ASSERT_EQ(0, SYS_FilePackOpen(pack.c_str())) << pack;
  }

  // Every widget drawn, nothing swapped.
  static void Draw(SYS_List_p set) {
    for (SYS_List_p n = set; n; n = n->next) widget_send(static_cast<widget_item_t *>(n->data), WIDGET_MSG_DRAW);
  }
  static Rgb Pixel(SYS_List_p set, int32_t x, int32_t y) {
    const int32_t height = widget_first_of_type(set, WIDGET_WINDOW)->height;
    uint8_t p[4] = {};
    gl_stub_table.glReadBuffer(GL_BACK);
    gl_stub_table.glReadPixels(x, height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
  }
  // The brightest channel sum inside a widget's rectangle.
  static int Brightest(SYS_List_p set, const widget_item_t *w) {
    int best = 0;
    for (int y = w->y + 2; y < w->y + w->height - 2; ++y)
      for (int x = w->x + 2; x < w->x + w->width - 2; ++x) {
        const Rgb p = Pixel(set, x, y);
        best = std::max(best, p.r + p.g + p.b);
      }
    return best;
  }
  static void Mouse(SYS_List_p set, int kind, int x, int y) {
    wm_event_t e{};
    e.type = WIDGET_MSG_MOUSE;
    e.window = widget_first_of_type(set, WIDGET_WINDOW)->window;
    e.mouse.kind = kind;
    e.mouse.left = kind == 1;
    e.mouse.x = x;
    e.mouse.y = y;
    widget_window_event(&e);
  }
};

void ExpectNear(Rgb want, Rgb got, const char *what) {
  EXPECT_LE(std::abs(want.r - got.r) + std::abs(want.g - got.g) + std::abs(want.b - got.b), 6)
      << what << ": " << got.r << "," << got.g << "," << got.b;
}

TEST_F(Dialogs, ConfigurationDialogAnswersClicksAndHover) {
  SYS_List_p set = widget_load(1, "cfg.xml");
  ASSERT_NE(nullptr, set);
  ASSERT_EQ(0, widget_show_set(set));
  Draw(set);
  ASSERT_NE(nullptr, tmFind("cfglogo.tga"));
  // The "no sound" box: empty, then marked after a click on its title.
  ExpectNear({0x2A, 0x1E, 0x1C}, Pixel(set, 330, 249), "empty box");
  ExpectNear({0x3A, 0x26, 0x23}, Pixel(set, 25, 160), "mode button");
  Mouse(set, 1, 400, 249);
  Mouse(set, 0, 100, 170);  // over the first mode button, button up
  Draw(set);
  EXPECT_EQ(1, widget_find_id(set, 110)->value);
  ExpectNear({0xC8, 0x86, 0x4A}, Pixel(set, 330, 249), "marked box");
  ExpectNear({0x7A, 0x3A, 0x18}, Pixel(set, 25, 160), "hovered mode button");
  // A greyed mode and an offered one, as the dialog marks them. Each
  // title's texel of coverage a under its text grey c is laid over the
  // face by the blend (source colour, one minus source colour): with
  // s = a/255 x c/255, s x s + face x (1 - s).
  widget_item_t *grey = widget_find_id(set, 104), *plain = widget_find_id(set, 103);
  widget_disable(grey);
  ASSERT_EQ(0, widget_set_color(grey, 100, 100, 100, 255));
  ASSERT_EQ(0, widget_set_color(plain, 228, 228, 228, 255));
  Draw(set);
  const Rgb face{0x3A, 0x26, 0x23};
  auto blended = [&](const widget_item_t *b, int c) {
    uint8_t a = 0;
    for (int y = 0; y < std::min(b->text_height, b->bitmap->height); ++y)
      for (int x = 0; x < std::min(b->text_width, b->bitmap->width); ++x)
        a = std::max(a, b->bitmap->image[0][(size_t(y) * b->bitmap->width + x) * 4 + 3]);
    const double s = a / 255.0 * c / 255.0;
    int sum = 0;
    for (int f : {face.r, face.g, face.b}) sum += int(std::lround(255 * (s * s + f / 255.0 * (1 - s))));
    return sum;
  };
  const int dark = Brightest(set, grey), light = Brightest(set, plain);
  EXPECT_NEAR(blended(grey, 100), dark, 6);
  EXPECT_NEAR(blended(plain, 228), light, 6);
  EXPECT_GT(dark, face.r + face.g + face.b + 45);  // the greyed title reads on its face
  EXPECT_EQ(0, widget_unload(set));
  EXPECT_EQ(nullptr, wmWindowList());
}

TEST_F(Dialogs, MessageBoxShowsItsFrameAndButton) {
  SYS_List_p set = widget_load(1, "msgbox.xml");
  ASSERT_NE(nullptr, set);
  widget_set_title(widget_find_id(set, 100), "File not found: x");
  ASSERT_EQ(0, widget_show_set(set));
  Draw(set);
  ExpectNear({0x1C, 0x14, 0x18}, Pixel(set, 5, 5), "window");
  ExpectNear({0x2A, 0x1E, 0x1C}, Pixel(set, 15, 75), "frame");
  ExpectNear({0x6A, 0x34, 0x18}, Pixel(set, 234, 102), "button");
  const widget_item_t *label = widget_find_id(set, 100);
  EXPECT_GT(label->text_width, 50);
  EXPECT_GT(Brightest(set, label), 3 * 0x80);  // the message is there
  // The pack's longest name reads whole in the box.
  widget_set_title(widget_find_id(set, 100), "File not found: 0000_Deckf.vertexnormal.");
  EXPECT_LE(label->text_width, label->width);
  EXPECT_GT(label->text_width, 200);
  EXPECT_EQ(0, widget_unload(set));
}

}  // namespace
