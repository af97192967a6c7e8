// The drawn widgets on the recording back-end and the recording OpenGL:
// their call sequences, their state under mouse events, and that every
// text bitmap goes back exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dialog/font_test_util.h"
#include "dialog/widget.h"
#include "framework/core_test_util.h"
#include "framework/memory.h"
#include "gl_recorder.h"
#include "platform/fake.h"
#include "support/test_support.h"
#include "texture/formats.h"
#include "texture/texture_manager.h"
#include "window/wm.h"

namespace {

using ember_test::FontPath;

int32_t calls = 0;
int32_t Count(widget_item_t *, wm_event_t *) { return ++calls; }

size_t Occurrences(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Quads and lines as drawn: one vertex list per glBegin/glEnd.
struct Shape {
  std::vector<std::pair<int, int>> vertices;
  std::vector<std::pair<float, float>> texture;
};

class Drawn : public ::testing::Test {
protected:
  void SetUp() override {
    ember_test::SetArgs({});
    ASSERT_EQ(0, plSetBackend(PL_BACKEND_FAKE));
    plFakeReset();
    plFakeGiveUpAfter(50);
    ASSERT_EQ(0, wmInit());
    gl_.emplace();
    txInit(nullptr);
    txSetParam(3, TX_RED_FIRST);
    live_ = SYS_MemLiveCount();
    ASSERT_EQ(0, frInit());
    calls = 0;
  }
  void TearDown() override {
    tmDeleteAll();
    frClose();
    EXPECT_EQ(SYS_MemLiveCount(), live_) << "tracked blocks left behind";
    gl_.reset();
    while (SYS_List_p list = wmWindowList()) wmDestroyWindow(static_cast<wm_window_t *>(list->data));
    wmAglShutdown();
    plFakeReset();
  }
  // A shown set in a 640 x 480 window, with the test font as id 1.
  SYS_List_p Show(const std::string &body) {
    const std::string text = "<WINDOW/><FONT ID=\"1\" NAME=\"" + FontPath("sans_bold.ttf") + "\" FONTNAME=\"" +
                             FontPath("sans_bold.ttf") + "\" SIZE=\"20\" ENCODING=\"UTF8\"/>" + body;
    SYS_List_p set = widget_load(0, text.c_str());
    if (set) widget_show_set(set);
    return set;
  }
  std::vector<Shape> Shapes() const {
    std::vector<Shape> out;
    for (const auto &c : gl_->calls()) {
      if (c.name == "glBegin") out.emplace_back();
      if (out.empty()) continue;
      if (c.name == "glVertex2i") out.back().vertices.emplace_back(int(c.args[0]), int(c.args[1]));
      if (c.name == "glTexCoord2f") out.back().texture.emplace_back(float(c.args[0]), float(c.args[1]));
    }
    return out;
  }
  void Mouse(SYS_List_p set, int kind, int x, int y, int button) {
    pl_event_t e{};
    e.cls = PL_CLASS_MOUSE;
    e.kind = kind;
    e.window = widget_first_of_type(set, WIDGET_WINDOW)->window->window;
    e.x = x;
    e.y = y;
    e.button = button;
    plFakePushEvent(e);
    wmPumpEvents();
  }

  std::optional<ember_test::GlRecorder> gl_;
  ember_test::LogCapture log_;
  size_t live_ = 0;
};

TEST_F(Drawn, FrameBackgroundBorderAndHeightFromAspect) {
  SYS_List_p set = Show("<FRAME X=\"30\" Y=\"20\" WIDTH=\"100\" ASPECT=\"0.5\"/>");
  ASSERT_NE(nullptr, set);
  widget_item_t *frame = widget_first_of_type(set, WIDGET_FRAME);
  EXPECT_EQ(50, frame->height);
  gl_->Clear();
  widget_send(frame, WIDGET_MSG_DRAW);
  const auto shapes = Shapes();
  ASSERT_EQ(2u, shapes.size());
  using V = std::vector<std::pair<int, int>>;
  EXPECT_EQ((V{{30, 460}, {30, 410}, {130, 410}, {130, 460}}), shapes[0].vertices);
  EXPECT_EQ((V{{30, 460}, {31, 460}, {31, 411}, {30, 411},      // left
               {30, 460}, {130, 460}, {130, 459}, {30, 459},    // top
               {130, 460}, {130, 411}, {129, 411}, {129, 460},  // right
               {130, 410}, {30, 410}, {30, 411}, {130, 411}}),  // bottom
            shapes[1].vertices);
  EXPECT_EQ(5u, gl_->Count("glColor4fv"));
  EXPECT_EQ(GL_SRC_COLOR, gl_->Find("glBlendFunc")->args[0]);
  EXPECT_EQ(GL_DST_COLOR, gl_->Find("glBlendFunc")->args[1]);
  // An absurd aspect stays a size.
  frame->height = 0;
  frame->aspect = 1e30f;
  widget_send(frame, WIDGET_MSG_SHOW);
  EXPECT_EQ(65535, frame->height);
  widget_unload(set);
}

TEST_F(Drawn, TextQuadStaysInsideItsBitmapAndBlendsByColour) {
  SYS_List_p set = Show(
      "<BUTTON X=\"10\" Y=\"10\" WIDTH=\"100\" HEIGHT=\"30\" FONTID=\"1\" "
      "TITLE=\"a title far too long for the five hundred and twelve pixels of a button\"/>"
      "<LABEL X=\"10\" Y=\"50\" WIDTH=\"64\" HEIGHT=\"16\" FONTID=\"1\" TITLE=\"longer than 64 pixels\"/>");
  ASSERT_NE(nullptr, set);
  widget_item_t *button = widget_first_of_type(set, WIDGET_BUTTON);
  widget_item_t *label = widget_first_of_type(set, WIDGET_LABEL);
  EXPECT_GT(button->text_width, 512);
  EXPECT_GT(label->text_width, 64);
  gl_->Clear();
  widget_send(button, WIDGET_MSG_DRAW);
  widget_send(label, WIDGET_MSG_DRAW);
  for (const Shape &s : Shapes())
    for (auto [u, v] : s.texture) {
      EXPECT_LE(u, 1.0f);
      EXPECT_LE(v, 1.0f);
    }
  size_t quads = 0;
  for (const Shape &s : Shapes())
    if (!s.texture.empty()) {
      ++quads;
      EXPECT_FLOAT_EQ(1.0f, s.texture[2].first);  // the right edge of the bitmap, no further
    }
  EXPECT_EQ(2u, quads);
  for (size_t i = 0; const ember_test::GlCall *c = gl_->Find("glBlendFunc", i); ++i) {
    EXPECT_EQ(GL_SRC_COLOR, c->args[0]);
    EXPECT_EQ(GL_ONE_MINUS_SRC_COLOR, c->args[1]);
  }
  EXPECT_EQ(0, widget_unload(set));
}

TEST_F(Drawn, PressesHoversAndEdges) {
  SYS_List_p set = Show(
      "<CHECKBOX ID=\"5\" X=\"10\" Y=\"10\" WIDTH=\"100\" HEIGHT=\"20\" FONTID=\"1\" TITLE=\"c\"/>"
      "<RADIOBUTTON ID=\"6\" GID=\"1\" VALUE=\"1\" X=\"10\" Y=\"40\" WIDTH=\"100\" HEIGHT=\"20\"/>"
      "<RADIOBUTTON ID=\"7\" GID=\"1\" VALUE=\"1\" X=\"10\" Y=\"70\" WIDTH=\"100\" HEIGHT=\"20\"/>"
      "<RADIOBUTTON ID=\"8\" GID=\"2\" VALUE=\"1\" X=\"10\" Y=\"100\" WIDTH=\"100\" HEIGHT=\"20\"/>"
      "<BUTTON ID=\"9\" X=\"200\" Y=\"10\" WIDTH=\"100\" HEIGHT=\"20\" TITLE=\"b\"/>");
  ASSERT_NE(nullptr, set);
  auto value = [&](int id) { return widget_find_id(set, id)->value; };
  EXPECT_EQ(0, value(6));  // the later selected one of a group wins
  EXPECT_EQ(1, value(7));
  EXPECT_EQ(1, value(8));
  widget_set_callback(widget_find_id(set, 5), Count);
  Mouse(set, PL_MOUSE_DOWN, 20, 15, 1);
  Mouse(set, PL_MOUSE_MOVED, 21, 15, 0);  // still held
  Mouse(set, PL_MOUSE_MOVED, 22, 15, 0);
  EXPECT_EQ(1, value(5));
  EXPECT_EQ(3, calls);
  Mouse(set, PL_MOUSE_UP, 22, 15, 1);
  Mouse(set, PL_MOUSE_DOWN, 10, 15, 1);  // exactly on the left edge
  EXPECT_EQ(1, value(5));
  EXPECT_EQ(0, widget_find_id(set, 5)->mouse_over);
  Mouse(set, PL_MOUSE_UP, 10, 15, 1);
  Mouse(set, PL_MOUSE_DOWN, 20, 45, 1);
  EXPECT_EQ(1, value(6));
  EXPECT_EQ(0, value(7));
  EXPECT_EQ(1, value(8));
  Mouse(set, PL_MOUSE_UP, 20, 45, 1);
  // Hover paints a button's background in its mouse-over colour.
  widget_item_t *button = widget_find_id(set, 9);
  Mouse(set, PL_MOUSE_MOVED, 250, 20, 0);
  EXPECT_EQ(1, button->mouse_over);
  EXPECT_EQ(0, button->pressed);
  gl_->Clear();
  widget_send(button, WIDGET_MSG_DRAW);
  EXPECT_EQ(&button->style.ocolor.r, gl_->Find("glColor4fv")->pointers[0]);
  EXPECT_EQ(0, widget_unload(set));
}

TEST_F(Drawn, TitlesOfButtonsAndBoxesAreWhiteWhateverALabelLeftInTheirFont) {
  SYS_List_p set = Show(
      "<LABEL FONTID=\"1\" TITLE=\"red\" COLOR=\"FF0000FF\"/>"
      "<BUTTON ID=\"2\" FONTID=\"1\" TITLE=\"green\" COLOR=\"00FF00FF\" WIDTH=\"100\" HEIGHT=\"30\"/>"
      "<CHECKBOX ID=\"3\" FONTID=\"1\" TITLE=\"green\" COLOR=\"00FF00FF\" WIDTH=\"100\" HEIGHT=\"30\"/>");
  ASSERT_NE(nullptr, set);
  for (int id : {2, 3}) {
    widget_item_t *w = widget_find_id(set, id);
    widget_set_title(w, "green again");  // rendered after the label's red
    // White on transparent black: every byte of a pixel is its coverage;
    // the quad gives the text colour.
    int inked = 0, tinted = 0;
    for (uint32_t i = 0; i < w->bitmap->imagesize[0]; i += 4) {
      const uint8_t *p = w->bitmap->image[0] + i;
      inked += p[3] != 0;
      tinted += p[0] != p[3] || p[1] != p[3] || p[2] != p[3];
    }
    EXPECT_EQ(0, tinted) << id;
    EXPECT_GT(inked, 20) << id;
  }
  EXPECT_EQ(0, widget_unload(set));
}

TEST_F(Drawn, AUnicodeFontReadsEveryTextUpToItsEnd) {
  // The same titles through a UCS-2 font and a Latin-1 one: the same
  // extents, and nothing read past a title's 0 byte.
  const std::string face = FontPath("sans_bold.ttf");
  SYS_List_p set = Show(
      "<FONT ID=\"2\" NAME=\"" + face + "\" SIZE=\"20\" ENCODING=\"UNICODE\"/>"
      "<FONT ID=\"3\" NAME=\"" + face + "\" SIZE=\"20\" ENCODING=\"ISO-8859-1\"/>"
      "<STYLE ID=\"4\" FONT-PATH=\"" + face + "\" FONT-SIZE=\"20\" FONT-ENCODING=\"UNICODE\"/>"
      "<BUTTON ID=\"10\" FONTID=\"2\" TITLE=\"OK\"/><BUTTON ID=\"20\" FONTID=\"3\" TITLE=\"OK\"/>"
      "<LABEL ID=\"11\" FONTID=\"2\" TITLE=\"cafe\"/><LABEL ID=\"21\" FONTID=\"3\" TITLE=\"cafe\"/>"
      "<RADIOBUTTON ID=\"12\" FONTID=\"2\" TITLE=\"odd\"/><RADIOBUTTON ID=\"22\" FONTID=\"3\" TITLE=\"odd\"/>"
      "<PROGRESS ID=\"13\" STYLE=\"4\" VALUE=\"0.5\" WIDTH=\"200\" HEIGHT=\"20\"/>");
  ASSERT_NE(nullptr, set);
  for (int id : {10, 11, 12}) {
    const widget_item_t *wide = widget_find_id(set, id), *narrow = widget_find_id(set, id + 10);
    EXPECT_GT(narrow->text_width, 0) << id;
    EXPECT_EQ(narrow->text_width, wide->text_width) << id;
    EXPECT_EQ(narrow->text_height, wide->text_height) << id;
  }
  widget_item_t *bar = widget_find_id(set, 13);
  widget_send(bar, WIDGET_MSG_DRAW);
  ember_test::Image alone(2, 512, 64);
  int32_t width = 0;
  ASSERT_EQ(0, frRender(widget_find_id(set, 3)->style.font, alone.b, "50.0%", &width, nullptr));
  EXPECT_EQ(width, bar->text_width);
  EXPECT_EQ(0, widget_unload(set));
}

TEST_F(Drawn, ProgressBarAndText) {
  SYS_List_p set = Show(
      "<STYLE ID=\"2\" FONT-PATH=\"" + FontPath("sans_bold.ttf") + "\" FONT-SIZE=\"20\" FONT-ENCODING=\"UTF8\"/>"
      "<PROGRESS STYLE=\"2\" VALUE=\"0.5\" X=\"10\" Y=\"10\" WIDTH=\"200\" HEIGHT=\"20\"/>"
      "<PROGRESS STYLE=\"2\" VALUE=\"1\" X=\"10\" Y=\"40\" WIDTH=\"200\" HEIGHT=\"20\"/>"
      "<PROGRESS STYLE=\"2\" VALUE=\"7.5\" X=\"10\" Y=\"70\" WIDTH=\"200\" HEIGHT=\"20\"/>");
  ASSERT_NE(nullptr, set);
  // The oracle: the same font rendering the expected text on its own.
  frFont *font = widget_find_id(set, 2)->style.font;
  auto expect_text = [&](widget_item_t *bar, const char *text) {
    ember_test::Image alone(2, 512, 64);
    int32_t w = 0, h = 0;
    ASSERT_EQ(0, frRender(font, alone.b, text, &w, &h));
    EXPECT_EQ(w, bar->text_width) << text;
    EXPECT_EQ(0, memcmp(alone.b->image[0], bar->bitmap->image[0], bar->bitmap->imagesize[0])) << text;
  };
  std::vector<widget_item_t *> bars;
  for (SYS_List_p n = set; n; n = n->next)
    if (auto *w = static_cast<widget_item_t *>(n->data); w->type == WIDGET_PROGRESS) bars.push_back(w);
  ASSERT_EQ(3u, bars.size());
  gl_->Clear();
  widget_send(bars[0], WIDGET_MSG_DRAW);
  // background, border, bar, text
  using V = std::vector<std::pair<int, int>>;
  EXPECT_EQ((V{{12, 468}, {12, 452}, {108, 452}, {108, 468}}), Shapes()[2].vertices);
  expect_text(bars[0], "50.0%");
  widget_send(bars[1], WIDGET_MSG_DRAW);
  expect_text(bars[1], "0.0%");
  gl_->Clear();
  widget_send(bars[2], WIDGET_MSG_DRAW);  // the bar stops at full, the text does not
  EXPECT_EQ((V{{12, 408}, {12, 392}, {208, 392}, {208, 408}}), Shapes()[2].vertices);
  expect_text(bars[2], "750.0%");
  // Drawn again with the same text and font, the bitmap is handed over as
  // it is, without another render.
  frDebug = 1;
  const size_t renders = Occurrences(log_.text(), "[fr][ttf]  - bitmap size");
  gl_->Clear();
  widget_send(bars[2], WIDGET_MSG_DRAW);
  frDebug = 0;
  EXPECT_EQ(renders, Occurrences(log_.text(), "[fr][ttf]  - bitmap size"));
  EXPECT_NE(0u, gl_->Count("glTexImage2D"));  // still given to its texture
  expect_text(bars[2], "750.0%");
  EXPECT_EQ(0, widget_unload(set));
  EXPECT_EQ(nullptr, tmNodes);
}

// Positions and sizes at the ends of the 32-bit range, a WIDTH of many
// digits among them: every drawn class loads, shows and draws (the sanitizer
// build stops at any overflow), its sums taken whole and each vertex
// clamped to what GL takes.
TEST_F(Drawn, WidgetsAtTheEndsOfTheRangeDrawWithClampedVertices) {
  const std::string many = "99999999999999999999";  // reads as 2147483647
  struct Box {
    std::string x, y, w, h;
  };
  auto gl = [](int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  for (const Box &b : {Box{"10", "10", many, "20"}, Box{"2147483647", "-2147483648", many, many},
                       Box{"-2147483648", "2147483647", "-2147483648", "-2147483648"},
                       Box{"-5", "2147483647", many, "-2147483648"}}) {
    // A label keeps the sizes it takes (1 to 4096 each way), so only its place is extreme.
    const std::string place = " X=\"" + b.x + "\" Y=\"" + b.y + "\"";
    const std::string at = place + " WIDTH=\"" + b.w + "\" HEIGHT=\"" + b.h + "\"";
    SYS_List_p set = Show("<FRAME" + at + "/><PROGRESS FONTID=\"1\" VALUE=\"0.5\"" + at + "/>" +
                          "<BUTTON FONTID=\"1\" TITLE=\"OK\"" + at + "/><CHECKBOX FONTID=\"1\" TITLE=\"a\"" + at +
                          "/><RADIOBUTTON FONTID=\"1\" TITLE=\"b\"" + at + "/><LABEL FONTID=\"1\" TITLE=\"c\"" + place +
                          "/><LINE X=\"" + b.x + "\" Y=\"" + b.y + "\" X2=\"" + b.w + "\" Y2=\"" + b.h + "\"/>");
    ASSERT_NE(nullptr, set) << at;
    std::vector<int32_t> drawn;
    for (SYS_List_p n = set; n; n = n->next) {
      auto *w = static_cast<widget_item_t *>(n->data);
      if (w->type == WIDGET_WINDOW || w->type == WIDGET_FONT) continue;
      drawn.push_back(w->type);
      gl_->Clear();
      widget_send(w, WIDGET_MSG_DRAW);
      if (w->type != WIDGET_FRAME && w->type != WIDGET_PROGRESS) continue;
      // The background: (x, Y), (x, Y - h), (x + w, Y - h), (x + w, Y).
      const int64_t x = w->x, Y = 480 - int64_t(w->y), W = w->width, H = w->height;
      using V = std::vector<std::pair<int, int>>;
      ASSERT_FALSE(Shapes().empty());
      EXPECT_EQ((V{{gl(x), gl(Y)}, {gl(x), gl(Y - H)}, {gl(x + W), gl(Y - H)}, {gl(x + W), gl(Y)}}),
                Shapes()[0].vertices)
          << at;
    }
    EXPECT_EQ((std::vector<int32_t>{WIDGET_FRAME, WIDGET_PROGRESS, WIDGET_BUTTON, WIDGET_CHECKBOX,
                                    WIDGET_RADIOBUTTON, WIDGET_LABEL, WIDGET_LINE}),
              drawn)
        << at;
    EXPECT_EQ(0, widget_unload(set));
  }
}

TEST_F(Drawn, LabelSizesAndTextBitmapsGoBackOnce) {
  SYS_List_p set = Show(
      "<LABEL ID=\"3\" WIDTH=\"0\"/><LABEL ID=\"4\" HEIGHT=\"4097\"/><LABEL ID=\"5\" WIDTH=\"-3\"/>"
      "<LABEL ID=\"6\" FONTID=\"1\" TITLE=\"one\" BGCOLOR=\"FF0000FF\"/>"
      "<LABEL ID=\"7\" FONTID=\"9\"/><LABEL ID=\"8\" WIDTH=\"4096\" HEIGHT=\"1\"/>"
      "<STYLE ID=\"10\" FONT-PATH=\"" + FontPath("sans_bold.ttf") + "\" FONT-ENCODING=\"UTF8\"/>"
      "<LABEL ID=\"11\" STYLE=\"10\"/><LABEL ID=\"12\" FONTID=\"11\" TITLE=\"x\"/>"
      "<BUTTON ID=\"13\" FONTID=\"10\" TITLE=\"x\"/>");
  ASSERT_NE(nullptr, set);
  for (int id : {3, 4, 5, 7}) EXPECT_EQ(nullptr, widget_find_id(set, id)) << id;
  // Fonts are lent by FONT and STYLE only, not by a label holding a copy.
  EXPECT_EQ(nullptr, widget_find_id(set, 12)->style.font);
  EXPECT_EQ(widget_find_id(set, 10)->style.font, widget_find_id(set, 13)->style.font);
  widget_item_t *label = widget_find_id(set, 6);
  ASSERT_NE(nullptr, label);
  ASSERT_NE(nullptr, widget_find_id(set, 8));
  EXPECT_EQ(label->bitmap, tmGetBitmap(label->name));
  EXPECT_EQ(255, label->bitmap->image[0][255 * 4]);  // background filled on the first show
  const int32_t first = label->text_width;
  EXPECT_EQ(0, widget_set_title(label, "a longer one"));
  EXPECT_GT(label->text_width, first);
  EXPECT_EQ(label->bitmap, tmGetBitmap(label->name));
  const std::string log = log_.text();
  EXPECT_NE(std::string::npos, log.find("[widget][label]  ! font id not found.\n"));
  EXPECT_EQ(0, widget_unload(set));
  EXPECT_EQ(nullptr, tmNodes);
}

// Text widgets are never refused for their number, and a label's bitmap
// holds what can be on screen at once: thirty 4096 x 4096 labels in a
// 640 x 480 window take a desktop's worth each, and one whose text is
// wider than the window still covers the window with it.
TEST_F(Drawn, TextWidgetsAreNeverRefusedForTheirNumber) {
  std::string text;
  for (int i = 0; i < 513; ++i) text += "<CHECKBOX ID=\"" + std::to_string(1000 + i) + "\" FONTID=\"1\" TITLE=\"x\"/>";
  for (int i = 0; i < 30; ++i)
    text += "<LABEL ID=\"" + std::to_string(100 + i) + "\" WIDTH=\"4096\" HEIGHT=\"4096\" FONTID=\"1\" TITLE=\"" +
            std::string(80, 'W') + "\"/>";
  const uint64_t before = SYS_MemLiveBytes();
  SYS_List_p set = Show(text);
  ASSERT_NE(nullptr, set);
  EXPECT_LE(SYS_MemLiveBytes() - before, 513 * uint64_t(512 * 64 * 4) + 30 * uint64_t(1024 * 768 * 4) + (4 << 20));
  for (int id = 100; id < 130; ++id) EXPECT_NE(nullptr, widget_find_id(set, id)) << id;
  for (int id = 1000; id < 1513; ++id) EXPECT_NE(nullptr, widget_find_id(set, id)) << id;
  widget_item_t *label = widget_find_id(set, 100);
  EXPECT_GT(label->text_width, 1024);
  gl_->Clear();
  widget_send(label, WIDGET_MSG_DRAW);
  ASSERT_EQ(1u, Shapes().size());
  const Shape quad = Shapes()[0];
  EXPECT_EQ(0, quad.vertices[1].first);
  EXPECT_EQ(480, quad.vertices[1].second);  // the top-left corner
  EXPECT_GE(quad.vertices[2].first, 640);
  EXPECT_EQ(480 - label->text_height, quad.vertices[0].second);
  EXPECT_EQ(0, widget_unload(set));
}

namespace {
// A picture file of that size, transparent black.
void WritePicture(const std::string &path, int32_t width, int32_t height) {
  txSetParam(11, 1);  // the quickest compression
  pxBitmap picture = txCreateDummy(TX_LAYOUT_RGBA, width, height);
  ASSERT_NE(nullptr, picture);
  EXPECT_EQ(0, pngWrite(path.c_str(), picture));
  txFree(&picture);
}
}  // namespace

// Distinct pictures always load, however large and however many: a
// 4096 x 4096 background with a small icon, five 2048 x 2048 pictures, and
// twelve 1920 x 1080 slides shown in turn by one IMG.
TEST_F(Drawn, DistinctPicturesAlwaysLoad) {
  ember_test::TempDir dir;
  WritePicture(dir.str("back.png"), 4096, 4096);
  WritePicture(dir.str("icon.png"), 32, 32);
  WritePicture(dir.str("large0.png"), 2048, 2048);
  WritePicture(dir.str("slide0.png"), 1920, 1080);
  std::string text = "<IMG ID=\"2\" SRC=\"" + dir.str("icon.png") + "\"/><IMG ID=\"3\" SRC=\"" + dir.str("slide0.png") + "\"/>";
  for (int i = 1; i < 12; ++i)
    std::filesystem::copy_file(dir.path() / "slide0.png", dir.path() / ("slide" + std::to_string(i) + ".png"));
  for (int i = 0; i < 5; ++i) {
    if (i) std::filesystem::copy_file(dir.path() / "large0.png", dir.path() / ("large" + std::to_string(i) + ".png"));
    text += "<IMG ID=\"" + std::to_string(10 + i) + "\" SRC=\"" + dir.str("large" + std::to_string(i) + ".png") + "\"/>";
  }
  const std::string window = "<WINDOW BG=\"" + dir.str("back.png") + "\"/>";
  SYS_List_p set = widget_load(0, (window + text).c_str());
  ASSERT_NE(nullptr, set);
  widget_show_set(set);
  EXPECT_NE(nullptr, tmFind(dir.str("back.png").c_str()));
  for (int id : {2, 3, 10, 11, 12, 13, 14}) EXPECT_NE(nullptr, widget_find_id(set, id)->bitmap) << id;
  widget_item_t *slides = widget_find_id(set, 3);
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 12; ++i) {
      const std::string slide = dir.str("slide" + std::to_string(i) + ".png");
      EXPECT_EQ(0, widget_set_src(slides, slide.c_str()));
      EXPECT_EQ(0, widget_show(slides));
      EXPECT_EQ(tmGetBitmap(slide.c_str()), slides->bitmap) << i;
      ASSERT_NE(nullptr, slides->bitmap) << i;
    }
  EXPECT_EQ(std::string::npos, log_.text().find("image not loaded"));
  EXPECT_EQ(0, widget_unload(set));
}

// The manager knows a picture by its name: thirty spellings of one
// 4096 x 4096 picture would decode it thirty times. The spellings that
// repeat a held picture stop at the budget and draw nothing, as if
// unloadable; once the set is gone, what they held is given back.
TEST_F(Drawn, RepeatedPicturesStopAtTheBudgetHoweverTheyAreSpelled) {
  ember_test::TempDir dir;
  WritePicture(dir.str("big.png"), 4096, 4096);
  WritePicture(dir.str("other.png"), 16, 16);
  std::vector<std::string> names;
  std::string text = "<IMG SRC=\"" + dir.str("other.png") + "\"/>";
  for (int i = 0; i < 30; ++i) {
    std::string name = dir.str() + "/";
    for (int k = 0; k < i; ++k) name += "./";
    names.push_back(name += "big.png");
    text += "<IMG WIDTH=\"4\" HEIGHT=\"4\" SRC=\"" + name + "\"/>";
  }
  for (int round = 0; round < 2; ++round) {
    const uint64_t before = SYS_MemLiveBytes();
    SYS_List_p set = Show(text);
    ASSERT_NE(nullptr, set);
    EXPECT_LE(SYS_MemLiveBytes() - before, 2 * WIDGET_PICTURE_REPEAT_BUDGET + (1 << 20));  // the picture, one repeat
    EXPECT_NE(nullptr, tmFind(names[0].c_str()));
    EXPECT_NE(nullptr, tmFind(names[1].c_str()));
    EXPECT_EQ(nullptr, tmFind(names[2].c_str()));
    EXPECT_NE(nullptr, tmFind(dir.str("other.png").c_str()));
    EXPECT_NE(std::string::npos, log_.text().find("[widget]  ! repeated pictures would take more than 67108864 bytes: " + names[2] + "\n"));
    EXPECT_EQ(0, widget_unload(set));
  }
}

// A held picture is known by its file as it was: the file on its inode,
// rewritten with another picture and renamed, is a distinct file and loads
// however full the repeats are.
TEST_F(Drawn, AFileOnAHeldPicturesInodeIsAnotherPicture) {
  ember_test::TempDir dir;
  WritePicture(dir.str("v1.png"), 4096, 4096);
  const std::string repeat = dir.str() + "/./v1.png";
  SYS_List_p set = Show("<IMG SRC=\"" + dir.str("v1.png") + "\"/><IMG SRC=\"" + repeat + "\"/>");
  ASSERT_NE(nullptr, set);
  ASSERT_NE(nullptr, tmFind(repeat.c_str()));  // 64 MB of repeats: no room for another
  WritePicture(dir.str("v1.png"), 16, 16);  // truncated in place: the same inode
  std::filesystem::rename(dir.path() / "v1.png", dir.path() / "v2.png");
  EXPECT_EQ(0, widget_load_picture(dir.str("v2.png").c_str(), 0));
  EXPECT_EQ(std::string::npos, log_.text().find("repeated pictures"));
  EXPECT_EQ(0, widget_unload(set));
}

// The renderer knows a face by its file name: a thousand spellings of one
// 2 MB font file would read it a thousand times. Spellings that repeat a
// held file stop at the budget, and fonts past it have no face, as if
// their file could not be read; distinct files are read however large.
TEST_F(Drawn, RepeatedFontFilesStopAtTheBudgetButDistinctOnesAreRead) {
  ember_test::TempDir dir;
  const std::string face = ember_test::ReadFile(FontPath("sans_bold.ttf"));
  // Bytes after the last table are never looked at.
  auto padded = [&](const std::string &name, uintmax_t size) {
    ember_test::WriteFile(dir.path() / name, face);
    std::filesystem::resize_file(dir.path() / name, size);
    return dir.str(name);
  };
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const std::string name = padded("cjk" + std::to_string(i) + ".ttf", uintmax_t(17) << 20);
    text += "<FONT ID=\"" + std::to_string(10 + i) + "\" NAME=\"" + name + "\" FONTNAME=\"" + name + "\" ENCODING=\"UTF8\"/>";
  }
  const size_t slash = dir.str().size() + 1;
  std::string name = padded("padded.ttf", uintmax_t(2) << 20);
  for (int i = 0; i < 1000; ++i, name.insert(slash, "./"))
    text += "<FONT ID=\"" + std::to_string(100 + i) + "\" NAME=\"" + name + "\" FONTNAME=\"" + name + "\" ENCODING=\"UTF8\"/>";
  const uint64_t before = SYS_MemLiveBytes();
  SYS_List_p set = widget_load(0, text.c_str());
  ASSERT_NE(nullptr, set);
  // The four, the 2 MB file and its repeats up to the budget.
  EXPECT_LE(SYS_MemLiveBytes() - before, (uint64_t(4 * 17 + 2 + 6) << 20) + WIDGET_FONT_REPEAT_BUDGET);
  for (int id : {10, 11, 12, 13, 100, 131, 132}) EXPECT_NE(nullptr, widget_find_id(set, id)->style.font->face) << id;
  EXPECT_EQ(nullptr, widget_find_id(set, 133)->style.font->face);
  EXPECT_EQ(nullptr, widget_find_id(set, 1099)->style.font->face);
  EXPECT_NE(std::string::npos, log_.text().find("[widget]  ! repeated font files would take more than 67108864 bytes: "));
  EXPECT_EQ(0, widget_unload(set));
}

// Texts render again at every update however many there were: a title of
// forty W at the largest size rasterises only what lands in its bitmap.
TEST_F(Drawn, TextsRenderAtEveryUpdateHoweverManyThereWere) {
  const std::string text = "<FONT ID=\"2\" NAME=\"" + FontPath("sans_bold.ttf") + "\" FONTNAME=\"" +
                           FontPath("sans_bold.ttf") + "\" SIZE=\"1024\" ENCODING=\"UTF8\"/>"
                           "<LABEL ID=\"3\" FONTID=\"2\" WIDTH=\"512\" HEIGHT=\"64\" COLOR=\"FFFFFFFF\"/><BUTTON ID=\"4\" FONTID=\"2\"/>";
  SYS_List_p set = Show(text);
  ASSERT_NE(nullptr, set);
  const long advance = ember_test::Metric("advance.87") * 1024 / 2048;
  for (int update = 0; update < 100; ++update) {
    const std::string title(size_t(40 + update % 2), 'W');
    for (int id : {3, 4}) {
      widget_item_t *w = widget_find_id(set, id);
      ASSERT_EQ(0, widget_set_title(w, title.c_str()));
      ASSERT_EQ(long(title.size()) * advance, w->text_width) << update << " " << id;
      const uint8_t *pixels = w->bitmap->image[0];
      ASSERT_TRUE(std::any_of(pixels, pixels + w->bitmap->imagesize[0], [](uint8_t b) { return b != 0; }))
          << update << " " << id;
    }
  }
  EXPECT_EQ(0, widget_unload(set));
}

TEST_F(Drawn, PicturesThatCannotBeLoadedKeepTheirSizeAndDrawNothing) {
  ember_test::TempDir dir;
  // A strip of four 8 x 8 parts.
  const std::string strip = dir.str("strip.ppm");
  ember_test::WriteFile(strip, "P6\n8 32\n255\n" + std::string(8 * 32 * 3, '\x40'));
  const std::string text = "<IMG X=\"5\" Y=\"5\" WIDTH=\"40\" HEIGHT=\"30\" SRC=\"" + dir.str("none.ppm") +
                           "\"/><BUTTON X=\"60\" Y=\"5\" WIDTH=\"40\" HEIGHT=\"30\" SRC=\"" + dir.str("none.tga") +
                           "\"/><BUTTON ID=\"4\" X=\"100\" Y=\"100\" WIDTH=\"1\" HEIGHT=\"1\" SRC=\"" + strip +
                           "\"/><IMG ID=\"5\" WIDTH=\"4\" SRC=\"" + strip + "\"/>";
  SYS_List_p set = Show(text);
  ASSERT_NE(nullptr, set);
  gl_->Clear();
  widget_send(widget_first_of_type(set, WIDGET_IMG), WIDGET_MSG_DRAW);
  widget_send(widget_first_of_type(set, WIDGET_BUTTON), WIDGET_MSG_DRAW);
  EXPECT_TRUE(Shapes().empty());
  EXPECT_EQ(40, widget_first_of_type(set, WIDGET_IMG)->width);
  EXPECT_EQ(30, widget_first_of_type(set, WIDGET_BUTTON)->height);
  EXPECT_NE(std::string::npos, log_.text().find("[widget][img]  ! image not loaded: "));
  // The strip: a quarter of its height, and the disabled part wins.
  widget_item_t *button = widget_find_id(set, 4);
  EXPECT_EQ(8, button->width);
  EXPECT_EQ(8, button->height);
  EXPECT_EQ(16, widget_find_id(set, 5)->height);  // 4 / 8 x 32
  button->mouse_over = button->pressed = 1;
  for (auto [disabled, top] : {std::pair{0, 0.5f}, {1, 0.75f}}) {
    button->disabled = disabled;
    gl_->Clear();
    widget_send(button, WIDGET_MSG_DRAW);
    ASSERT_EQ(1u, Shapes().size());
    EXPECT_FLOAT_EQ(top + 0.25f, Shapes()[0].texture[0].second);
    EXPECT_FLOAT_EQ(top, Shapes()[0].texture[1].second);
  }
  EXPECT_EQ(0, widget_unload(set));
}

// Every picture a set decodes goes with the set, however many widgets
// showed it: a background, pictures, an image button, two pictures of one
// file, a picture whose name a progress bar's text takes over. A bitmap a
// caller gave the manager under a name a picture uses stays the caller's.
// So a set loaded, shown, drawn and unloaded again and again holds nothing
// more each time.
TEST_F(Drawn, ASetShownAndUnloadedAgainAndAgainKeepsNoPicture) {
  ember_test::TempDir dir;
  for (const char *name : {"back.png", "a.png", "b.png", "strip.png"}) WritePicture(dir.str(name), 16, 32);
  pxBitmap given = txCreateDummy(TX_LAYOUT_RGBA, 4, 4);
  const std::string text = "<WINDOW BG=\"" + dir.str("back.png") + "\"/>" + "<IMG SRC=\"" + dir.str("a.png") +
                           "\"/><IMG SRC=\"" + dir.str("b.png") + "\"/><IMG SRC=\"" + dir.str("b.png") +
                           "\"/><BUTTON WIDTH=\"8\" HEIGHT=\"8\" SRC=\"" + dir.str("strip.png") +
                           "\"/><IMG SRC=\"given\"/><PROGRESS WIDTH=\"40\" HEIGHT=\"10\" NAME=\"" +
                           dir.str("a.png") + "\"/>";
  const size_t before = SYS_MemLiveCount();
  for (int round = 0; round < 3; ++round) {
    ASSERT_GT(tmLoadBitmap("given", given, TM_FILTER_LINEAR), 0);
    SYS_List_p set = widget_load(0, text.c_str());
    ASSERT_NE(nullptr, set);
    widget_show_set(set);
    for (const char *name : {"back.png", "a.png", "b.png", "strip.png"})
      EXPECT_NE(nullptr, tmFind(dir.str(name).c_str())) << name;
    widget_draw_set(set);
    EXPECT_EQ(0, widget_unload(set));
    EXPECT_EQ(nullptr, tmNodes);
    EXPECT_EQ(SYS_MemLiveCount(), before) << round;
    EXPECT_GT(SYS_MemSize(given->image[0]), 0);  // still the caller's
  }
  txFree(&given);
}

}  // namespace
