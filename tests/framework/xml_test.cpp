// The XML reader seen from its callers: which callbacks fire, with what, in
// which order; entity decoding; and input that is cut short or malformed.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "framework/core_test_util.h"
#include "framework/sys.h"
#include "framework/xml.h"
#include "support/test_support.h"

namespace {

// Everything the callbacks saw, one line per call.
struct Recorder {
  std::vector<std::string> calls;
};

std::string Attrs(int32_t count, char **names, char **values) {
  std::string s;
  for (int32_t i = 0; i < count; ++i) s += std::string(" ") + names[i] + "=" + values[i];
  return s;
}

Recorder &Rec(SYS_XML_p xml) { return *reinterpret_cast<Recorder *>(xml->user); }

int OnStart(SYS_XML_p xml, const char *name, int32_t count, char **names, char **values) {
  Rec(xml).calls.push_back("start " + std::string(name) + Attrs(count, names, values));
  return 0;
}

int OnText(SYS_XML_p xml, const char *name, int32_t, char **, char **, const char *text) {
  Rec(xml).calls.push_back("text " + std::string(name) + " [" + text + "]");
  return 0;
}

int OnEnd(SYS_XML_p xml, const char *name) {
  Rec(xml).calls.push_back("end " + std::string(name));
  return 0;
}

std::vector<std::string> ParseText(const std::string &input, bool with_end = true) {
  Recorder rec;
  SYS_XML_p xml = SYS_XmlOpen(SYS_XML_SOURCE_TEXT, input.c_str());
  EXPECT_NE(xml, nullptr);
  if (!xml) return {};
  EXPECT_EQ(SYS_XmlSetCallbacks(xml, OnStart, OnText, with_end ? OnEnd : nullptr,
                                reinterpret_cast<uintptr_t>(&rec)),
            0);
  EXPECT_EQ(SYS_XmlParse(xml), 0);
  EXPECT_EQ(SYS_XmlClose(xml), 0);
  return rec.calls;
}

using Calls = std::vector<std::string>;

class XmlTest : public ::testing::Test {
protected:
  void SetUp() override {
    ember_test::ResetLog();
    baseline_ = SYS_MemLiveCount();
  }
  // Every test leaves the tracked heap as it found it.
  void TearDown() override { EXPECT_EQ(SYS_MemLiveCount(), baseline_); }
  size_t baseline_ = 0;
};

TEST_F(XmlTest, CallbacksSeeNamesAttributesAndTextAsWritten) {
  const std::pair<const char *, Calls> cases[] = {
      {"<a x=\"1\" y=\"2\">hi</a>", {"start a x=1 y=2", "text a [hi]", "end a"}},
      {"<?xml version=\"1.0\"?><b/>", {"start b", "end b"}},
      {"<b x=\"1\"/>", {"start b x=1", "end b"}},
      // Text right before the next tag is still reported, empty.
      {"<a></a>", {"start a", "text a []", "end a"}},
      // A shorter text after a longer one is exact.
      {"<a>a long piece of text</a><b>xy</b>",
       {"start a", "text a [a long piece of text]", "end a", "start b", "text b [xy]", "end b"}},
      // Attribute names are trimmed, values and case kept as written.
      {"<a name = \"v w\">", {"start a name=v w"}},
      {"<a\n\tlong\tname\n=\"&lt; x \"/>", {"start a long name=&lt; x ", "end a"}},
      {"<Label Title=\"Ok\"/>", {"start Label Title=Ok", "end Label"}},
      // The last opening tag gets no text call.
      {"<a>text without a next tag", {"start a"}},
      // Tag names drop slashes and brackets; a comment is a tag named "!--".
      {"</WINDOW>", {"end WINDOW"}},
      {"<a/b>", {"start ab"}},
      {"<!-- note --><x/>", {"start !--", "text !-- []", "start x", "end x"}},
      // The tag ends at the first '>', even inside quotes.
      {"<a v=\"1>2\">t</a>", {"start a", "text a [2\">t]", "end a"}},
  };
  for (const auto &[input, calls] : cases) EXPECT_EQ(ParseText(input), calls) << input;
}

TEST_F(XmlTest, IndentedChildrenEachReportedOnce) {
  std::string input = "<root>\n";
  for (int i = 0; i < 20; ++i) input += "  <item n=\"" + std::to_string(i) + "\" />\n";
  input += "</root>\n";
  Calls calls = ParseText(input);
  ASSERT_EQ(calls.size(), 2u + 40u + 1u);
  EXPECT_EQ(calls[0], "start root");
  EXPECT_EQ(calls[1], "text root [\n  ]");
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(calls[2 + 2 * i], "start item n=" + std::to_string(i));
    EXPECT_EQ(calls[3 + 2 * i], "end item");
  }
  EXPECT_EQ(calls.back(), "end root");
}

TEST_F(XmlTest, WithoutEndCallbackClosingTagsAreNotSplit) {
  SYS_XML_p xml = SYS_XmlOpen(SYS_XML_SOURCE_TEXT, "<a x=\"1\" y=\"2\">t</a>");
  ASSERT_NE(xml, nullptr);
  Recorder rec;
  SYS_XmlSetCallbacks(xml, OnStart, nullptr, nullptr, reinterpret_cast<uintptr_t>(&rec));
  EXPECT_EQ(SYS_XmlParse(xml), 0);
  EXPECT_EQ(rec.calls, (Calls{"start a x=1 y=2"}));
  // The closing tag did not replace the opening tag's attributes.
  EXPECT_EQ(xml->count, 2);
  EXPECT_STREQ(xml->values[1], "2");
  SYS_XmlClose(xml);
}

// The user word carries a pointer through the callbacks in both directions.
int CountInto(SYS_XML_p xml, const char *, int32_t, char **, char **) {
  auto *n = reinterpret_cast<int64_t *>(xml->user);
  ++*n;
  return 0;
}

int SwapUser(SYS_XML_p xml, const char *name) {
  static int64_t other = 0;
  if (strcmp(name, "stop") == 0) xml->user = reinterpret_cast<uintptr_t>(&other);
  return 0;
}

TEST_F(XmlTest, UserWordIsPointerSized) {
  int64_t n = 0;
  SYS_XML_p xml = SYS_XmlOpen(SYS_XML_SOURCE_TEXT, "<a/><b/><stop/>");
  ASSERT_NE(xml, nullptr);
  SYS_XmlSetCallbacks(xml, CountInto, nullptr, SwapUser, reinterpret_cast<uintptr_t>(&n));
  SYS_XmlParse(xml);
  EXPECT_EQ(n, 3);
  EXPECT_NE(xml->user, reinterpret_cast<uintptr_t>(&n));
  SYS_XmlClose(xml);
}

TEST_F(XmlTest, BadArguments) {
  EXPECT_EQ(SYS_XmlOpen(2, "<a/>"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_XmlOpen(SYS_XML_SOURCE_TEXT, nullptr), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_XmlSetCallbacks(nullptr, OnStart, OnText, OnEnd, 0), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_XmlParse(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_XmlClose(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_XmlDecode(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

// Input that ends inside a tag, lacks '=' or quotes, or is only text: the
// walk stops quietly where the input stops.
TEST_F(XmlTest, MalformedInputEndsQuietly) {
  EXPECT_EQ(ParseText(""), Calls{});
  EXPECT_EQ(ParseText("plain text"), Calls{});
  EXPECT_EQ(ParseText("<a x=\"1\""), Calls{});
  EXPECT_EQ(ParseText("<a><b x=\"1"), (Calls{"start a", "text a []"}));
  EXPECT_EQ(ParseText("<<<<"), Calls{});
  EXPECT_EQ(ParseText(">>>><"), Calls{});
  EXPECT_EQ(ParseText("<>"), (Calls{"start "}));
  EXPECT_EQ(ParseText("</>"), (Calls{"end "}));
  EXPECT_EQ(ParseText("<a x y/>"), (Calls{"start a", "end a"}));
  // Without quotes the value is taken from the next quoted text.
  EXPECT_EQ(ParseText("<a x=1 y=\"2\"/>"), (Calls{"start a x=2", "end a"}));
  EXPECT_EQ(ParseText("<a x=\"1\" y=/>"), (Calls{"start a x=1", "end a"}));
  EXPECT_EQ(ParseText("<a x=\"1\" y=\"/>"), (Calls{"start a x=1", "end a"}));
  EXPECT_EQ(ParseText("<a =\"v\"/>"), (Calls{"start a =v", "end a"}));
}

TEST_F(XmlTest, RandomInputNeverEscapesTheBuffer) {
  // Run under the sanitizers this proves every search stays in bounds.
  // Everywhere, every name, value and text is made of the input's own
  // characters, and leaving out the end callback changes nothing else.
  std::mt19937 rng(115);
  const std::string alphabet = "<>/?=\" \t\nab!";
  for (int round = 0; round < 3000; ++round) {
    std::string input(rng() % 64, ' ');
    for (char &c : input) c = alphabet[rng() % alphabet.size()];
    const Calls with = ParseText(input);
    Calls others;
    for (const std::string &call : with) {
      if (call.rfind("end ", 0) != 0) others.push_back(call);
      // Past the call's kind: names, " name=value" pairs, " [text]".
      const std::string said = call.substr(call.find(' ') + 1);
      ASSERT_EQ(said.find_first_not_of(alphabet + "[]"), std::string::npos) << input << " -> " << call;
    }
    ASSERT_EQ(ParseText(input, false), others) << input;
  }
}

TEST_F(XmlTest, ManyAttributesOnOneTag) {
  std::string input = "<a";
  for (int i = 0; i < 5000; ++i) input += " k" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
  input += "/>";
  Recorder rec;
  SYS_XML_p xml = SYS_XmlOpen(SYS_XML_SOURCE_TEXT, input.c_str());
  ASSERT_NE(xml, nullptr);
  SYS_XmlSetCallbacks(xml, nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(SYS_XmlParse(xml), 0);
  ASSERT_EQ(xml->count, 5000);
  EXPECT_STREQ(xml->names[4999], "k4999");
  EXPECT_STREQ(xml->values[1234], "1234");
  SYS_XmlClose(xml);
}

// --- Entities ---------------------------------------------------------------

std::string Decode(const char *text) {
  char *p = const_cast<char *>(text);
  EXPECT_EQ(SYS_XmlDecode(&p), 0);
  std::string out = p;
  if (*text) {
    EXPECT_NE(p, text);
    SYS_MEMFREE(p);
  }
  return out;
}

TEST_F(XmlTest, DecodeNamedAndNumericEntities) {
  EXPECT_EQ(Decode("&lt;b&gt;"), "<b>");
  EXPECT_EQ(Decode("&#65;&#66;"), "AB");
  EXPECT_EQ(Decode("&quot;x&quot; &tilde; &amp;"), "\"x\" ~ &");
  EXPECT_EQ(Decode("no entities"), "no entities");
  EXPECT_EQ(Decode(""), "");
  EXPECT_EQ(Decode("&#0;&#256;&#x41;"), "&#0;&#256;&#x41;");
}

TEST_F(XmlTest, DecodeAppliesTheTableInOrder) {
  // "&amp;" runs after "&lt;" but before the numeric entities.
  EXPECT_EQ(Decode("&amp;lt;"), "&lt;");
  EXPECT_EQ(Decode("&amp;#65;"), "A");
  EXPECT_EQ(Decode("&#38;#66;"), "B");
  EXPECT_EQ(Decode("&#38;gt;"), "&gt;");
}

TEST_F(XmlTest, DecodeEveryByteValue) {
  for (int v = 1; v <= 255; ++v) {
    std::string in = "[&#" + std::to_string(v) + ";]";
    std::string expected = "[";
    expected += static_cast<char>(v);
    expected += "]";
    EXPECT_EQ(Decode(in.c_str()), expected) << v;
  }
}

// --- Files ------------------------------------------------------------------

// A dialog file as the configuration dialog writes them: comments, nesting
// that carries no meaning, mixed-case names, styles and groups.
const char kDialog[] =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
    "<!-- configuration dialog -->\n"
    "<DIALOG>\n"
    "  <WINDOW width=\"400\" height=\"300\" x=\"-1\" y=\"-1\" title=\"emberfield setup\"\n"
    "          bgcolor=\"212B3BFF\" bg=\"gfx/back.png\" bgfilter=\"linear\" resizeable=\"no\"/>\n"
    "  <FONT id=\"1\" name=\"sans\" size=\"12\" bold=\"true\" encoding=\"ISO-8859-1\"\n"
    "        fontname=\"fonts/DejaVuSans.ttf\"/>\n"
    "  <STYLE id=\"2\" bac=\"79818EFF\" bc=\"334051FF\" font-size=\"11\" text-halign=\"center\"/>\n"
    "  <FRAME x=\"8\" y=\"8\" width=\"384\" height=\"240\" style=\"2\"/>\n"
    "  <label x=\"16\" y=\"16\" fontid=\"1\" title=\"Screen mode\"></label>\n"
    "  <RADIOBUTTON id=\"10\" gid=\"1\" x=\"16\" y=\"40\" fontid=\"1\" title=\"640 x 480\" value=\"1\"/>\n"
    "  <RADIOBUTTON id=\"11\" gid=\"1\" x=\"16\" y=\"60\" fontid=\"1\" title=\"800 x 600\" value=\"0\"/>\n"
    "  <GROUP id=\"20\" wid=\"10\" wid=\"11\"/>\n"
    "  <CHECKBOX id=\"30\" x=\"16\" y=\"90\" fontid=\"1\" title=\"Fullscreen\" value=\"0\"/>\n"
    "  <PROGRESS x=\"16\" y=\"200\" width=\"200\" height=\"16\" value=\"0.75\"/>\n"
    "  <BUTTON id=\"100\" x=\"300\" y=\"260\" width=\"80\" height=\"24\" fontid=\"1\" title=\"Start\"/>\n"
    "</DIALOG>\n";

// The dialog engine's way of reading a file: a widget per element, kept in
// a list that the user word points at.
int CollectElement(SYS_XML_p xml, const char *name, int32_t count, char **names, char **values) {
  auto *widgets = reinterpret_cast<std::vector<std::string> *>(xml->user);
  std::string w = name;
  for (int32_t i = 0; i < count; ++i) w += std::string(" ") + names[i] + "=" + values[i];
  widgets->push_back(w);
  return 0;
}

int Ignore(SYS_XML_p, const char *) { return 0; }

TEST_F(XmlTest, DialogFileThroughTheFileSystem) {
  ember_test::TempDir dir;
  ember_test::WriteFile(dir.path() / "cfg.xml", kDialog);
  std::string path = dir.str("cfg.xml");

  std::vector<std::string> widgets;
  SYS_XML_p xml = SYS_XmlOpen(SYS_XML_SOURCE_FILE, path.c_str());
  ASSERT_NE(xml, nullptr);
  EXPECT_EQ(xml->type, SYS_XML_SOURCE_FILE);
  EXPECT_STREQ(xml->filename, path.c_str());
  SYS_XmlSetCallbacks(xml, CollectElement, nullptr, Ignore, reinterpret_cast<uintptr_t>(&widgets));
  ASSERT_EQ(SYS_XmlParse(xml), 0);
  EXPECT_EQ(reinterpret_cast<std::vector<std::string> *>(xml->user), &widgets);
  SYS_XmlClose(xml);

  ASSERT_EQ(widgets.size(), 13u);
  EXPECT_EQ(widgets[0], "!--");
  EXPECT_EQ(widgets[1], "DIALOG");
  EXPECT_EQ(widgets[2],
            "WINDOW width=400 height=300 x=-1 y=-1 title=emberfield setup bgcolor=212B3BFF "
            "bg=gfx/back.png bgfilter=linear resizeable=no");
  EXPECT_EQ(widgets[3],
            "FONT id=1 name=sans size=12 bold=true encoding=ISO-8859-1 fontname=fonts/DejaVuSans.ttf");
  EXPECT_EQ(widgets[4], "STYLE id=2 bac=79818EFF bc=334051FF font-size=11 text-halign=center");
  EXPECT_EQ(widgets[6], "label x=16 y=16 fontid=1 title=Screen mode");
  EXPECT_EQ(widgets[9], "GROUP id=20 wid=10 wid=11");
  EXPECT_EQ(widgets[11], "PROGRESS x=16 y=200 width=200 height=16 value=0.75");
  EXPECT_EQ(widgets[12], "BUTTON id=100 x=300 y=260 width=80 height=24 fontid=1 title=Start");
}

TEST_F(XmlTest, MessageBoxWithCrLfLineEnds) {
  std::string box =
      "<MSGBOX>\r\n"
      "\t<WINDOW width=\"320\" height=\"120\" title=\"Error\"/>\r\n"
      "\t<LABEL x=\"10\"\r\n\ty=\"10\" width=\"300\" title=\"File not found: a.png.\"/>\r\n"
      "\t<BUTTON id=\"1\" x=\"120\" y=\"80\" title=\"OK\"/>\r\n"
      "</MSGBOX>\r\n";
  EXPECT_EQ(ParseText(box),
            (Calls{"start MSGBOX", "text MSGBOX [\r\n\t]", "start WINDOW width=320 height=120 title=Error",
                   "end WINDOW", "start LABEL x=10 y=10 width=300 title=File not found: a.png.", "end LABEL",
                   "start BUTTON id=1 x=120 y=80 title=OK", "end BUTTON", "end MSGBOX"}));
}

int g_reported_code = 0;
std::string g_reported_name;
void RecordError(int32_t code, const char *name) {
  g_reported_code = code;
  g_reported_name = name ? name : "";
}

TEST_F(XmlTest, MissingFileFailsThroughTheErrorCallback) {
  ember_test::TempDir dir;
  std::string path = dir.str("missing.xml");
  SYS_ErrorSetCallback(RecordError);
  g_reported_code = 0;
  SYS_XML_p xml = SYS_XmlOpen(SYS_XML_SOURCE_FILE, path.c_str());
  int32_t code = SYS_ErrorGet();
  SYS_ErrorSetCallback(nullptr);
  EXPECT_EQ(xml, nullptr);
  EXPECT_NE(code, 0);
  EXPECT_EQ(code, g_reported_code);
  EXPECT_EQ(g_reported_name, path);
}

}  // namespace
