// Widget files and widget sets on the recording back-end and the recording
// OpenGL: no display needed. Every test must give back every tracked
// block it made.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "dialog/font_test_util.h"
#include "dialog/ttf_handler.h"
#include "dialog/widget.h"
#include "framework/core_test_util.h"
#include "framework/memory.h"
#include "gl_recorder.h"
#include "platform/fake.h"
#include "window/wm.h"

#include FT_MODULE_H

namespace {

using ember_test::FontPath;

struct Seen {
  widget_item_t *widget;
  wm_event_t event;
};
std::vector<Seen> seen;
int32_t Remember(widget_item_t *w, wm_event_t *e) {
  seen.push_back({w, *e});
  return 0;
}

size_t Occurrences(const std::string &text, const std::string &piece) {
  size_t n = 0;
  for (size_t at = 0; (at = text.find(piece, at)) != std::string::npos; ++at) ++n;
  return n;
}

class WidgetSet : public ::testing::Test {
protected:
  void SetUp() override {
    ember_test::SetArgs({});
    ASSERT_EQ(0, plSetBackend(PL_BACKEND_FAKE));
    plFakeReset();
    plFakeGiveUpAfter(50);
    ASSERT_EQ(0, wmInit());
    gl_.emplace();  // after the window manager filled the real tables
    live_ = SYS_MemLiveCount();
    ASSERT_EQ(0, frInit());
    seen.clear();
  }
  void TearDown() override {
    frClose();
    EXPECT_EQ(SYS_MemLiveCount(), live_) << "tracked blocks left behind";
    gl_.reset();
    while (SYS_List_p list = wmWindowList()) wmDestroyWindow(static_cast<wm_window_t *>(list->data));
    wmAglShutdown();
    plFakeReset();
  }
  SYS_List_p Load(const std::string &text) { return widget_load(0, text.c_str()); }
  static std::vector<widget_item_t *> Items(SYS_List_p set) {
    std::vector<widget_item_t *> out;
    for (; set; set = set->next) out.push_back(static_cast<widget_item_t *>(set->data));
    return out;
  }

  std::optional<ember_test::GlRecorder> gl_;
  ember_test::LogCapture log_;
  size_t live_ = 0;
};

TEST(WidgetValues, ColoursReadAsHexadecimalBytes) {
  struct Case {
    const char *text;
    widget_color_t want;
  } cases[] = {
      {"FF000080", {1, 0, 0, 128 / 255.f}},
      {"0xFF000080", {1, 0, 0, 128 / 255.f}},
      {"FFFFFF", {0, 1, 1, 1}},  // right-aligned: red is the missing byte
      {"#FF0000FF", {0, 0, 0, 0}},
      {"0x", {0, 0, 0, 0}},
      {"", {0, 0, 0, 0}},
      {"zz", {0, 0, 0, 0}},
      {"123456789", {1, 1, 1, 1}},  // above eight digits
      {"000000001", {0, 0, 0, 1 / 255.f}},
  };
  for (const Case &c : cases) {
    const widget_color_t got = widget_parse_colour(c.text);
    EXPECT_FLOAT_EQ(got.r, c.want.r) << c.text;
    EXPECT_FLOAT_EQ(got.g, c.want.g) << c.text;
    EXPECT_FLOAT_EQ(got.b, c.want.b) << c.text;
    EXPECT_FLOAT_EQ(got.a, c.want.a) << c.text;
  }
}

TEST(WidgetValues, WordsAndNumbers) {
  for (const char *yes : {"true", "YES", "On", "enable", "1"}) EXPECT_EQ(1, widget_parse_bool(yes)) << yes;
  for (const char *no : {"01", "y", "", "2", "truee"}) EXPECT_EQ(0, widget_parse_bool(no)) << no;
  EXPECT_EQ(0, widget_parse_filter("NEAREST"));
  EXPECT_EQ(3, widget_parse_filter("mipmap_linear"));
  EXPECT_EQ(1, widget_parse_filter("bilinear"));
  EXPECT_EQ(30, widget_parse_encoding("unicode"));
  EXPECT_EQ(20, widget_parse_encoding("Utf8"));
  EXPECT_EQ(1, widget_parse_encoding("iso88591"));
  EXPECT_EQ(2, widget_parse_encoding("ISO-8859-2"));
  EXPECT_EQ(-1, widget_parse_encoding("latin1"));
  EXPECT_EQ(2, widget_parse_align("Middle"));
  EXPECT_EQ(-1, widget_parse_align("justify"));
  EXPECT_EQ(INT32_MAX, widget_parse_int("99999999999999999999"));
  EXPECT_EQ(INT32_MIN, widget_parse_int("-99999999999999999999"));
  EXPECT_EQ(12, widget_parse_int("12px"));
  EXPECT_EQ(0, widget_parse_int("px"));
  EXPECT_EQ(0.0f, widget_parse_real("1e999"));
  EXPECT_EQ(0.0f, widget_parse_real("nan"));
  // A locale with a decimal comma does not change how files read.
  const char *had = setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_FLOAT_EQ(0.5f, widget_parse_real("0.5"));
  if (had) setlocale(LC_NUMERIC, "C");
}

TEST(WidgetValues, ValueKinds) {
  struct Case {
    const char *text;
    int32_t value;
    float real;
    const char *str;
  } cases[] = {{"0.75", 0, 0.75f, nullptr}, {"1", 1, 0, nullptr}, {"", 0, 0, nullptr}, {"-1", 0, 0, "-1"},
               {"1.2.3", 0, 1.2f, nullptr}, {"abc", 0, 0, "abc"}};
  for (const Case &c : cases) {
    widget_item_t w{};
    widget_parse_value(&w, c.text);
    EXPECT_EQ(c.value, w.value) << c.text;
    EXPECT_FLOAT_EQ(c.real, w.value_f) << c.text;
    EXPECT_STREQ(c.str, w.value_s) << c.text;
    widget_free_texts(&w);
  }
}

TEST(WidgetValues, SettersUseTheLowByteAndPackingFollowsChannelOrder) {
  widget_item_t w{};
  EXPECT_EQ(-1, widget_set_color(nullptr, 1, 2, 3, 4));
  EXPECT_EQ(0, widget_set_color(&w, 356, 0, 0, 255));
  EXPECT_FLOAT_EQ(100 / 255.f, w.style.color.r);
  const int32_t order = txState.order;
  txState.order = TX_RED_FIRST;
  EXPECT_EQ(0xFF7F00FFu, widget_pack_color(1.0f, 0.5f, 0.0f, 1.0f));
  uint8_t pixels[12] = {};
  widget_fill(pixels, sizeof pixels, 1.0f, 0.5f, 0.0f, 1.0f);
  for (int i = 0; i < 12; i += 4) {
    EXPECT_EQ(0xFF, pixels[i]);
    EXPECT_EQ(0x7F, pixels[i + 1]);
    EXPECT_EQ(0x00, pixels[i + 2]);
    EXPECT_EQ(0xFF, pixels[i + 3]);
  }
  txState.order = TX_BLUE_FIRST;
  EXPECT_EQ(0xFF007FFFu, widget_pack_color(1.0f, 0.5f, 0.0f, 1.0f));
  txState.order = order;
}

TEST_F(WidgetSet, StrictPassDropsAndLenientPassSkips) {
  SYS_List_p set = Load(
      "<dialog><group id=\"3\" wid=\"1\" bogus=\"7\"/>"
      "<STYLE ID=\"4\" bogus=\"7\" BC=\"00FF00FF\" bgcolor=\"FF0000FF\"/>"
      "<GROUP ID=\"5\" WID=\"4\"/></dialog>");
  ASSERT_NE(nullptr, set);
  const auto items = Items(set);
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ(WIDGET_STYLE, items[0]->type);
  EXPECT_FLOAT_EQ(1.0f, items[0]->style.bgcolor.g);  // the key after the attribute wins
  EXPECT_EQ(1, items[0]->style.border);
  EXPECT_EQ(5, items[1]->id);
  const std::string log = log_.text();
  EXPECT_NE(std::string::npos, log.find("[widget][utils]  ! unknown parameter: bogus(7)\n"));
  EXPECT_NE(std::string::npos, log.find("[widget]  ! error in initialization: GROUP\n"));
  EXPECT_EQ(std::string::npos, log.find("error in initialization: STYLE"));
  EXPECT_EQ(0, widget_unload(set));
}

TEST_F(WidgetSet, StyleReferencesLookOnlyBackwardAtStyles) {
  SYS_List_p set = Load(
      "<STYLE ID=\"1\" STYLE=\"2\"/>"  // first element: nothing before it
      "<STYLE ID=\"2\" FC=\"FF0000FF\"/>"
      "<FONT ID=\"3\" ENCODING=\"UTF8\"/>"
      "<GROUP ID=\"4\" STYLE=\"3\" WID=\"2\"/>"   // a font is not a style
      "<GROUP ID=\"5\" STYLE=\"9\" WID=\"2\"/>"   // later element
      "<STYLE ID=\"9\"/>"
      "<GROUP ID=\"6\" FGCOLOR=\"0000FFFF\" STYLE=\"2\" WID=\"2\"/>");
  ASSERT_NE(nullptr, set);
  std::vector<int32_t> ids;
  for (auto *w : Items(set)) ids.push_back(w->id);
  EXPECT_EQ((std::vector<int32_t>{2, 3, 9, 6}), ids);
  widget_item_t *g = widget_find_id(set, 6);
  EXPECT_FLOAT_EQ(1.0f, g->style.fgcolor.r);  // the copy overwrote the earlier colour
  EXPECT_FLOAT_EQ(0.0f, g->style.fgcolor.b);
  EXPECT_EQ(3u, Occurrences(log_.text(), "requested item isn't style."));
  widget_unload(set);
}

TEST_F(WidgetSet, StyleCopyChainsOwnTheirTextsAndShareOneFont) {
  const std::string font = FontPath("sans_bold.ttf");
  const std::string text = "<STYLE ID=\"1\" FONT-PATH=\"" + font +
                           "\" FONT-SIZE=\"12\" FONT-ENCODING=\"UTF8\" FONT-BOLD=\"yes\"/>"
                           "<STYLE ID=\"2\" STYLE=\"1\" NAME=\"a\" NAME=\"b\"/>"
                           "<STYLE ID=\"3\" STYLE=\"2\" STYLE=\"1\"/>"
                           "<FONT ID=\"4\" STYLE=\"3\" NAME=\"" + font + "\" ENCODING=\"UTF8\" BOLD=\"yes\"/>"
                           "<GROUP ID=\"5\" STYLE=\"3\" WID=\"5\" WID=\"6\"/>"
                           "<GROUP ID=\"6\" WID=\"5\" WID=\"6\"/>";
  SYS_List_p set = Load(text);
  ASSERT_NE(nullptr, set);
  const auto items = Items(set);
  ASSERT_EQ(6u, items.size());
  frFont *shared = items[0]->style.font;
  ASSERT_NE(nullptr, shared);
  EXPECT_NE(nullptr, shared->face);
  EXPECT_EQ(0, items[0]->style.bold);  // FONT-BOLD takes integers
  EXPECT_EQ(1, items[0]->style.own_font);
  for (int i : {1, 2, 4}) {
    EXPECT_EQ(shared, items[i]->style.font) << i;
    EXPECT_EQ(0, items[i]->style.own_font) << i;
    EXPECT_NE(items[0]->style.font_path, items[i]->style.font_path) << i;
    EXPECT_EQ(font, items[i]->style.font_path) << i;
  }
  EXPECT_STREQ("b", items[1]->name);
  EXPECT_NE(shared, items[3]->style.font);  // a FONT makes its own
  EXPECT_EQ(1, items[3]->style.bold);
  // Groups that list themselves and each other end their walks.
  EXPECT_EQ(0, widget_show_set(set));
  EXPECT_EQ(0, widget_hide_set(set));
  EXPECT_NE(std::string::npos, log_.text().find("[widget][group]  ! group 5 is already on this walk, skipped.\n"));
  EXPECT_EQ(0, widget_unload(set));
}

// Each reference copies the style's font path: a hundred references to a
// 1 MB path stop at 64 MB of copies, later ones dropped as if memory ran out.
TEST_F(WidgetSet, StyleCopiesOfOneFileStopAtTheBudget) {
  std::string text = "<STYLE ID=\"9\" FONTNAME=\"" + std::string(size_t(1) << 20, 'a') + "\"/>";
  for (int i = 0; i < 100; ++i) text += "<FRAME ID=\"" + std::to_string(100 + i) + "\" STYLE=\"9\"/>";
  const uint64_t before = SYS_MemLiveBytes();
  SYS_List_p set = Load(text);
  ASSERT_NE(nullptr, set);
  EXPECT_LE(SYS_MemLiveBytes() - before, uint64_t(66) << 20);  // 64 MB and the style's own
  EXPECT_NE(nullptr, widget_find_id(set, 100));
  EXPECT_EQ(nullptr, widget_find_id(set, 199));
  EXPECT_NE(std::string::npos, log_.text().find("[widget][utils]  ! style texts of this file would take more than"));
  EXPECT_EQ(0, widget_unload(set));
}

// FreeType's own blocks, counted through a memory of the test's own.
struct CountedMemory {
  FT_MemoryRec_ rec{};
  long live = 0;
  CountedMemory() {
    rec.user = this;
    rec.alloc = [](FT_Memory m, long size) -> void * {
      ++static_cast<CountedMemory *>(m->user)->live;
      return std::malloc(size_t(size));
    };
    rec.free = [](FT_Memory m, void *block) {
      --static_cast<CountedMemory *>(m->user)->live;
      std::free(block);
    };
    rec.realloc = [](FT_Memory, long, long size, void *block) { return std::realloc(block, size_t(size)); };
  }
};

// Every face a dialog loads is FreeType's too; closing the registry frees
// the face's bytes, so it must hand FreeType's face back as well, or each
// close and reopen would leave faces behind that point at freed bytes.
TEST_F(WidgetSet, ClosingTheRegistryGivesBackEveryFreeTypeFaceADialogLoaded) {
  const std::string bold = FontPath("sans_bold.ttf"), plain = FontPath("sans_bold_nokern.ttf");
  const std::string text = "<WINDOW TITLE=\"w\" WIDTH=\"200\" HEIGHT=\"100\"/>"
                           "<STYLE ID=\"1\" FONT-PATH=\"" + bold + "\" FONT-SIZE=\"12\"/>"
                           "<FONT ID=\"2\" NAME=\"" + plain + "\" FONTNAME=\"" + plain + "\" SIZE=\"30\"/>"
                           "<LABEL TITLE=\"Ag\" WIDTH=\"60\" HEIGHT=\"40\" FONTID=\"2\"/>"
                           "<BUTTON TITLE=\"ok\" WIDTH=\"60\" HEIGHT=\"20\" STYLE=\"1\"/>";
  CountedMemory memory;
  FT_Library library = nullptr;
  ASSERT_EQ(FT_New_Library(&memory.rec, &library), 0);
  FT_Add_Default_Modules(library);
  frClose();
  const FT_Library shared = ttfLibrary;
  ttfLibrary = library;
  ASSERT_EQ(frInit(), 0);
  const long alone = memory.live;
  std::vector<long> after;
  for (int round = 0; round < 8; ++round) {
    SYS_List_p set = Load(text);
    ASSERT_NE(nullptr, set);
    ASSERT_NE(nullptr, frFindFace(bold.c_str()));
    ASSERT_NE(nullptr, frFindFace(plain.c_str()));
    EXPECT_GT(memory.live, alone);  // the faces really are this library's
    widget_show_set(set);
    widget_hide_set(set);
    widget_unload(set);
    frClose();
    after.push_back(memory.live - alone);
    ASSERT_EQ(frInit(), 0);
  }
  EXPECT_EQ(after, std::vector<long>(8, 0));
  frClose();
  ttfLibrary = shared;
  FT_Done_Library(library);
  EXPECT_EQ(memory.live, 0);
  ASSERT_EQ(frInit(), 0);
}

TEST_F(WidgetSet, GroupPassesMessagesUntilANestedGroup) {
  SYS_List_p set = Load(
      "<STYLE ID=\"1\"/><GROUP ID=\"2\" WID=\"5\" WID=\"7\" WID=\"9\"/>"
      "<STYLE ID=\"5\"/><GROUP ID=\"7\" WID=\"8\"/><STYLE ID=\"8\"/><STYLE ID=\"9\"/>");
  ASSERT_NE(nullptr, set);
  for (auto *w : Items(set)) w->visible = 1;
  widget_hide(widget_find_id(set, 2));
  EXPECT_EQ(0, widget_find_id(set, 5)->visible);
  EXPECT_EQ(0, widget_find_id(set, 8)->visible);
  EXPECT_EQ(1, widget_find_id(set, 9)->visible);
  widget_disable(widget_find_id(set, 2));
  EXPECT_EQ(1, widget_find_id(set, 5)->disabled);
  EXPECT_EQ(0, widget_find_id(set, 9)->disabled);
  widget_unload(set);
}

// 60,000 groups, each naming a style (a few exist) and then the next
// group, in a child with the usual stack: walks enter 64 groups.
TEST_F(WidgetSet, AGroupChainOfAnyLengthIsWalkedSixtyFourGroupsDeep) {
  std::string text = "<WINDOW/>";
  for (int i = 1; i <= 60000; ++i)
    text += "<GROUP ID=\"-" + std::to_string(i) + "\" WID=\"" + std::to_string(i) + "\" WID=\"-" +
            std::to_string(i + 1) + "\"/>";
  for (int id : {1, 64, 65, 60000}) text += "<STYLE ID=\"" + std::to_string(id) + "\"/>";
  const ember_test::RunResult r = ember_test::RunInChild([&] {
    SYS_List_p set = Load(text);
    widget_show_set(set);
    widget_hide(widget_find_id(set, -1));
    for (int id : {1, 64, 65, 60000}) std::printf("%d", widget_find_id(set, id)->visible);
    widget_unload(set);
    if (log_.text().find("group -65 nests deeper than 64 groups, not entered.") != std::string::npos)
      std::printf(" logged");
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.output, "0011 logged");
}

TEST_F(WidgetSet, SerialsNeverRepeatAcrossSets) {
  const int32_t first = widget_next_serial();
  SYS_List_p a = Load("<STYLE/><FONT/><STYLE/>");  // the FONT fails but uses a number
  SYS_List_p b = Load("<STYLE/><STYLE/>");
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(first, Items(a)[0]->serial);
  EXPECT_EQ(first + 2, Items(a)[1]->serial);
  EXPECT_EQ(first + 3, Items(b)[0]->serial);
  EXPECT_EQ(first + 4, Items(b)[1]->serial);
  EXPECT_EQ(nullptr, Load("<dialog><x/></dialog>"));
  EXPECT_EQ(0, SYS_ErrorGet());
  widget_unload(a);
  widget_unload(b);
}

// A process that loads sets without end runs past the 32-bit range: the
// numbering starts again at the first base instead of overflowing.
TEST_F(WidgetSet, SerialsStartAgainPastThe32BitRange) {
  widget_set_next_serial(INT32_MAX - 1);
  SYS_List_p a = Load("<STYLE/><STYLE/><STYLE/>");
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(INT32_MAX - 1, Items(a)[0]->serial);
  EXPECT_EQ(INT32_MAX, Items(a)[1]->serial);
  EXPECT_EQ(WIDGET_SERIAL_BASE + 1, Items(a)[2]->serial);
  SYS_List_p b = Load("<STYLE/>");
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(WIDGET_SERIAL_BASE + 2, Items(b)[0]->serial);
  widget_set_next_serial(INT32_MAX);
  SYS_List_p c = Load("<STYLE/>");
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(INT32_MAX, Items(c)[0]->serial);
  EXPECT_EQ(WIDGET_SERIAL_BASE + 1, widget_next_serial());
  for (SYS_List_p set : {a, b, c}) widget_unload(set);
}

pl_event_t ClickOn(widget_item_t *window, int32_t x, int32_t y) {
  pl_event_t click{};
  click.cls = PL_CLASS_MOUSE;
  click.kind = PL_MOUSE_DOWN;
  click.window = window->window->window;
  click.x = x;
  click.y = y;
  click.button = 1;
  return click;
}

// A callback that unloads its own set, as a button closing its dialog
// does: the unload is over when it returns (windows gone, one log line, a
// second unload a no-op), the event reaches no other widget, and the pass
// that pumped the event draws nothing of the set.
TEST_F(WidgetSet, ACallbackMayUnloadItsOwnSet) {
  static SYS_List_p set;
  set = Load(
      "<WINDOW TITLE=\"t\" WIDTH=\"200\" HEIGHT=\"100\"/>"
      "<IMG X=\"0\" Y=\"0\" WIDTH=\"200\" HEIGHT=\"100\"/><STYLE/>");
  ASSERT_NE(nullptr, set);
  static int calls;
  static bool windows_left;
  calls = 0;
  widget_set_callback_all(set, [](widget_item_t *, wm_event_t *e) {
    if (e->type != WIDGET_MSG_MOUSE) return 0;
    ++calls;
    widget_unload(set);
    windows_left = wmWindowList() != nullptr;
    return widget_unload(set);
  });
  ASSERT_EQ(0, widget_show_set(set));
  plFakePushEvent(ClickOn(Items(set)[0], 20, 20));
  plFakeClearCalls();
  EXPECT_EQ(0, widget_process(set));
  EXPECT_EQ(1, calls);  // the window heard it; the picture after it did not
  EXPECT_FALSE(windows_left);
  const std::string text = log_.text();
  const size_t unload = text.find("[widget]  - unload widget set.\n");
  EXPECT_NE(std::string::npos, unload);
  EXPECT_EQ(std::string::npos, text.find("[widget]  - unload widget set.\n", unload + 1));
  EXPECT_TRUE(plFakeCallsStartingWith("GlSwapBuffers").empty());
}

// A dialog's button closes another dialog and then asks a question in a
// message box of its own loop: the closed dialog's queued events are
// dropped with its window, and its records are back before the question.
TEST_F(WidgetSet, ASetUnloadedFromAnotherSetsCallbackIsGoneAtOnce) {
  static SYS_List_p other, box;
  static int heard_by_other;
  static size_t live_without_other, live_at_question;
  heard_by_other = 0;
  SYS_List_p set = Load("<WINDOW TITLE=\"a\" WIDTH=\"200\" HEIGHT=\"100\"/>");
  box = Load("<WINDOW TITLE=\"box\" WIDTH=\"100\" HEIGHT=\"50\"/>");
  ASSERT_NE(nullptr, set);
  ASSERT_NE(nullptr, box);
  ASSERT_EQ(0, widget_show_set(set));
  ASSERT_EQ(0, widget_show_set(box));
  live_without_other = SYS_MemLiveCount();
  other = Load("<WINDOW TITLE=\"b\" WIDTH=\"200\" HEIGHT=\"100\"/><IMG WIDTH=\"20\" HEIGHT=\"20\"/>");
  ASSERT_NE(nullptr, other);
  ASSERT_EQ(0, widget_show_set(other));
  widget_set_callback_all(other, [](widget_item_t *, wm_event_t *) { return ++heard_by_other; });
  widget_set_callback_all(set, [](widget_item_t *, wm_event_t *e) {
    if (e->type != WIDGET_MSG_MOUSE) return 0;
    widget_unload(other);
    live_at_question = SYS_MemLiveCount();
    for (int pass = 0; pass < 4; ++pass) widget_process(box);
    return 0;
  });
  plFakePushEvent(ClickOn(Items(set)[0], 20, 20));
  for (int i = 0; i < 3; ++i) plFakePushEvent(ClickOn(Items(other)[0], 30, 30));
  EXPECT_EQ(0, widget_process(set));
  EXPECT_EQ(0, heard_by_other);
  EXPECT_EQ(live_without_other, live_at_question);
  EXPECT_EQ(2u, [] {
    size_t n = 0;
    for (SYS_List_p w = wmWindowList(); w; w = w->next) ++n;
    return n;
  }());
  widget_unload(box);
  widget_unload(set);
}

// A window that closes its own set when it is shown or drawn stops the
// walk there: the set's next window hears nothing, nothing is swapped, and
// the pass still answers 0.
TEST_F(WidgetSet, ASetUnloadedAtItsOwnDrawOrShowStopsThere) {
  static SYS_List_p set;
  static int calls;
  static widget_msg_t closing_at;
  auto load = [this] {
    set = Load("<WINDOW TITLE=\"1\" WIDTH=\"200\" HEIGHT=\"100\"/><WINDOW TITLE=\"2\" WIDTH=\"200\" HEIGHT=\"100\"/>");
    ASSERT_NE(nullptr, set);
    calls = 0;
    widget_set_callback_all(set, [](widget_item_t *, wm_event_t *e) {
      if (e->type != closing_at) return 0;
      ++calls;
      return widget_unload(set);
    });
  };
  const std::pair<widget_msg_t, int32_t (*)(SYS_List_p)> passes[] = {
      {WIDGET_MSG_SHOW, widget_show_set}, {WIDGET_MSG_DRAW, widget_draw_set}, {WIDGET_MSG_DRAW, widget_process}};
  for (const auto &[message, pass] : passes) {
    closing_at = WIDGET_MSG_KEY;  // not yet
    load();
    if (message == WIDGET_MSG_DRAW) {
      ASSERT_EQ(0, widget_show_set(set));
    }
    closing_at = message;
    plFakeClearCalls();
    EXPECT_EQ(0, pass(set));
    EXPECT_EQ(1, calls) << message;
    EXPECT_EQ(nullptr, wmWindowList());
    EXPECT_TRUE(plFakeCallsStartingWith("GlSwapBuffers").empty());
  }
}

// Every operation on one widget, as a caller drives it.
int32_t (*const kOperations[])(widget_item_t *) = {
    [](widget_item_t *w) { return widget_clear_disabled(w); },
    [](widget_item_t *w) { return widget_update(w); },
    [](widget_item_t *w) { return widget_disable(w); },
    [](widget_item_t *w) { return widget_enable(w); },
    [](widget_item_t *w) { return widget_hide(w); },
    [](widget_item_t *w) { return widget_show(w); },
    [](widget_item_t *w) { return widget_set_title(w, "late"); },
    [](widget_item_t *w) { return widget_set_src(w, "late.png"); },
    [](widget_item_t *w) { return widget_set_pos(w, 7, 8); },
    [](widget_item_t *w) { return widget_set_size(w, 30, 40); },
    [](widget_item_t *w) { return widget_set_fgcolor(w, 1, 2, 3, 4); },
    [](widget_item_t *w) { return widget_send(w, WIDGET_MSG_DRAW); },
};

std::vector<int32_t> OperateOn(widget_item_t *w) {
  std::vector<int32_t> answers;
  for (auto operation : kOperations) answers.push_back(operation(w));
  int32_t x = 0, y = 0, width = 0, height = 0;
  widget_get_pos(w, &x, &y);
  widget_get_size(w, &width, &height);
  answers.insert(answers.end(), {x, y, width, height, w->title && std::string(w->title) == "late"});
  return answers;
}

// A button that closes its own dialog may go on operating on itself and on
// widgets found through it or the set until its walk ends: each answers as
// a widget whose class cannot act, reaches no window, GL or callback, and
// what it kept goes with the records.
TEST_F(WidgetSet, WidgetsOfASetUnloadedInItsWalkAnswerAsWidgetsThatCannotAct) {
  static const widget_class_t inert = {"INERT", WIDGET_FRAME, nullptr, nullptr};
  widget_item_t alone{};
  alone.cls = &inert;
  static std::vector<int32_t> expected;
  expected = OperateOn(&alone);
  widget_free_texts(&alone);

  static SYS_List_p set;
  static ember_test::GlRecorder *gl;
  static bool unloaded;
  static int heard_after;
  static std::vector<std::vector<int32_t>> answers;
  static std::vector<std::string> gl_calls, window_calls;
  gl = &*gl_;
  unloaded = false;
  heard_after = 0;
  answers.clear();
  set = Load(
      "<WINDOW ID=\"1\" TITLE=\"t\" WIDTH=\"200\" HEIGHT=\"100\"/>"
      "<BUTTON ID=\"2\" X=\"10\" Y=\"10\" WIDTH=\"60\" HEIGHT=\"20\"/>"
      "<CHECKBOX ID=\"3\" X=\"10\" Y=\"40\" WIDTH=\"20\" HEIGHT=\"20\"/>"
      "<IMG ID=\"4\" WIDTH=\"20\" HEIGHT=\"20\"/>");
  ASSERT_NE(nullptr, set);
  widget_set_callback_all(set, [](widget_item_t *w, wm_event_t *e) {
    if (unloaded) return ++heard_after;
    if (w->type != WIDGET_BUTTON || e->type != WIDGET_MSG_MOUSE) return 0;
    EXPECT_EQ(0, widget_unload(set));
    unloaded = true;
    gl->Clear();
    plFakeClearCalls();
    for (widget_item_t *target : {w, widget_lookup_id(w, 1), widget_lookup_id(w, 3),
                                  widget_first_of_type(set, WIDGET_IMG)}) {
      EXPECT_NE(nullptr, target);
      if (target) answers.push_back(OperateOn(target));
    }
    gl_calls = gl->Names();
    window_calls = plFakeCalls();
    return 0;
  });
  ASSERT_EQ(0, widget_show_set(set));
  plFakePushEvent(ClickOn(Items(set)[0], 20, 20));
  EXPECT_EQ(0, widget_process(set));
  EXPECT_EQ(answers, std::vector<std::vector<int32_t>>(4, expected));
  EXPECT_EQ(0, heard_after);
  EXPECT_EQ(gl_calls, std::vector<std::string>{});
  EXPECT_EQ(window_calls, std::vector<std::string>{});
}

// A set no walk stands on goes whole at its first unload; a later unload
// of it, from a callback or not, does nothing.
TEST_F(WidgetSet, ASecondUnloadDoesNothing) {
  static SYS_List_p set, other;
  static std::vector<int32_t> answers;
  answers.clear();
  set = Load("<WINDOW TITLE=\"a\" WIDTH=\"200\" HEIGHT=\"100\"/>");
  other = Load("<WINDOW TITLE=\"b\" WIDTH=\"200\" HEIGHT=\"100\"/><IMG WIDTH=\"20\" HEIGHT=\"20\"/>");
  ASSERT_NE(nullptr, set);
  ASSERT_NE(nullptr, other);
  widget_set_callback_all(set, [](widget_item_t *, wm_event_t *e) {
    if (e->type != WIDGET_MSG_MOUSE) return 0;
    for (SYS_List_p closing : {other, other, set, set}) answers.push_back(widget_unload(closing));
    return 0;
  });
  ASSERT_EQ(0, widget_show_set(set));
  plFakePushEvent(ClickOn(Items(set)[0], 20, 20));
  EXPECT_EQ(0, widget_process(set));
  EXPECT_EQ(answers, std::vector<int32_t>(4, 0));

  SYS_List_p plain = Load("<STYLE/><STYLE/>");
  ASSERT_NE(nullptr, plain);
  EXPECT_EQ(0, widget_unload(plain));
  EXPECT_EQ(0, widget_unload(plain));
  EXPECT_EQ(nullptr, wmWindowList());
  EXPECT_EQ(3u, Occurrences(log_.text(), "[widget]  - unload widget set.\n"));
}

#ifndef __SANITIZE_ADDRESS__  // the sanitizer's shadow memory needs the whole address space
// A file whose widgets outgrow memory half-way is no dialog: the widgets
// read so far, never handed out, still go whole with their texts.
TEST_F(WidgetSet, ASetThatRunsOutOfMemoryHalfReadGoesWhole) {
  std::string text;
  for (int i = 0; i < 400000; ++i) text += "<STYLE NAME=\"s\"/>";
  const ember_test::RunResult r = ember_test::RunInChild([&] {
    const size_t before = SYS_MemLiveCount();
    ember_test::LimitAddressSpaceAboveUse(size_t(64) << 20);
    SYS_List_p set = Load(text);
    std::printf("%d %d", set == nullptr, SYS_MemLiveCount() == before);
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.output, "1 1");
  EXPECT_NE(std::string::npos, log_.text().find("[widget]  - unload widget set.\n"));
}
#endif

TEST_F(WidgetSet, WindowOpensCentredAndDispatchesEveryEvent) {
  SYS_List_p set = Load(
      "<STYLE ID=\"1\"/>"
      "<WINDOW ID=\"2\" TITLE=\"t\" WIDTH=\"400\" HEIGHT=\"300\" X=\"-1\" BGCOLOR=\"FF0000FF\"/>"
      "<STYLE ID=\"3\"/>");
  ASSERT_NE(nullptr, set);
  const auto items = Items(set);
  widget_item_t *window = items[1];
  EXPECT_EQ(312, window->x);
  EXPECT_EQ(234, window->y);
  EXPECT_EQ(nullptr, items[0]->set_window);  // before the window: none
  EXPECT_EQ(window->window, items[2]->set_window);
  EXPECT_EQ(0, widget_set_callback_all(set, Remember));
  EXPECT_EQ(0, widget_show_set(set));
  EXPECT_EQ(1u, plFakeCallsStartingWith("GlSwapBuffers").size());
  ASSERT_EQ(2u, seen.size());  // drawn as it is shown, then with the set
  EXPECT_EQ(WIDGET_MSG_SHOW, seen[0].event.type);
  EXPECT_EQ(WIDGET_MSG_DRAW, seen[1].event.type);
  EXPECT_NE(nullptr, gl_->Find("glClearColor"));
  EXPECT_EQ(1.0, gl_->Find("glClearColor")->args[0]);
  seen.clear();

  plFakePushEvent(ClickOn(window, 17, 23));
  EXPECT_EQ(0, widget_process(set));
  ASSERT_EQ(2u, seen.size());  // the click, then the draw
  EXPECT_EQ(window, seen[0].widget);
  EXPECT_EQ(WIDGET_MSG_MOUSE, seen[0].event.type);
  EXPECT_EQ(17, seen[0].event.mouse.x);
  EXPECT_EQ(23, seen[0].event.mouse.y);
  EXPECT_EQ(1, seen[0].event.mouse.left);
  EXPECT_EQ(WIDGET_MSG_DRAW, seen[1].event.type);

  // Its own title handed back is copied before the old one goes.
  EXPECT_EQ(0, widget_set_title(window, window->title));
  EXPECT_STREQ("t", window->title);
  EXPECT_EQ(0, widget_hide_set(set));
  EXPECT_EQ(0, widget_unload(set));
  EXPECT_EQ(nullptr, wmWindowList());
}

TEST_F(WidgetSet, EveryWidgetOfTheSetSeesTheSameEvent) {
  SYS_List_p set = Load("<WINDOW ID=\"1\"/><STYLE ID=\"2\"/><WINDOW ID=\"3\"/>");
  ASSERT_NE(nullptr, set);
  widget_set_callback_all(set, Remember);
  widget_show_set(set);
  seen.clear();
  pl_event_t key{};
  key.cls = PL_CLASS_KEYBOARD;
  key.kind = PL_KEY_DOWN;
  key.key_code = 53;  // Escape
  key.window = widget_find_id(set, 1)->window->window;
  plFakePushEvent(key);
  wmPumpEvents();
  ASSERT_EQ(2u, seen.size());  // both windows; the style takes no callback
  EXPECT_EQ(1, seen[0].widget->id);
  EXPECT_EQ(3, seen[1].widget->id);
  for (const Seen &s : seen) {
    EXPECT_EQ(WIDGET_MSG_KEY, s.event.type);
    EXPECT_EQ(1, s.event.key.code);
  }
  widget_unload(set);
}

TEST_F(WidgetSet, WindowsThatCannotBeMadeAreDropped) {
  // Sides beyond both the desktop's (1024 x 768) and 4096 would size a
  // drawable of gigabytes.
  SYS_List_p set = Load("<WINDOW WIDTH=\"0\"/><WINDOW HEIGHT=\"-5\"/><WINDOW WIDTH=\"4097\"/>"
                        "<WINDOW WIDTH=\"16000\" HEIGHT=\"16000\"/><WINDOW HEIGHT=\"4097\"/><STYLE/>");
  ASSERT_NE(nullptr, set);
  EXPECT_EQ(1u, Items(set).size());
  EXPECT_EQ(nullptr, wmWindowList());
  widget_unload(set);
  set = Load("<WINDOW WIDTH=\"4096\" HEIGHT=\"4096\"/>");
  ASSERT_NE(nullptr, set);
  EXPECT_EQ(4096, Items(set)[0]->height);
  widget_unload(set);

  plFakeFail("GlCreateContext", true);
  set = Load("<WINDOW/><STYLE/>");
  ASSERT_NE(nullptr, set);
  EXPECT_EQ(0, widget_show_set(set));
  EXPECT_EQ(0, Items(set)[0]->visible);
  EXPECT_TRUE(plFakeCallsStartingWith("GlSwapBuffers").empty());
  EXPECT_EQ(0, gl_->Count("glClear"));
  EXPECT_EQ(0, widget_process(set));  // the rest of the set still runs
  EXPECT_EQ(0, widget_unload(set));
}

TEST_F(WidgetSet, BadArgumentsAndLookups) {
  EXPECT_EQ(nullptr, widget_load(1, "no-such-dialog.xml"));
  EXPECT_NE(0, SYS_ErrorGet());
  EXPECT_EQ(-1, widget_unload(nullptr));
  EXPECT_EQ(-1, widget_process(nullptr));
  EXPECT_EQ(10, SYS_ErrorGet());
  SYS_List_p set = Load("<STYLE ID=\"1\"/>");
  EXPECT_EQ(nullptr, widget_find_id(set, 2));
  EXPECT_EQ(14, SYS_ErrorGet());
  EXPECT_EQ(nullptr, widget_find_type(set, WIDGET_WINDOW));
  EXPECT_EQ(14, SYS_ErrorGet());
  EXPECT_EQ(0, widget_get_pos(widget_find_id(set, 1), nullptr, nullptr));
  EXPECT_EQ(-1, widget_set_callback_all(set, nullptr));
  widget_unload(set);
}

}  // namespace
