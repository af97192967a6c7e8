// Reading ".ife" files: lines, words, numbers, and whole interfaces with
// the faults the reader reports instead of ending the program.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "framework/sys.h"
#include "ife_test_util.h"

using namespace ember_test;

namespace {

// Reads every line of a text with ife_ReadLine, n times.
std::vector<std::string> Lines(const std::string &text, int n, std::vector<int32_t> *numbers = nullptr) {
  TempDir dir;
  WriteFile(dir.path() / "lines.ife", text);
  SYS_File_p file = SYS_FileOpen(dir.str("lines.ife").c_str(), SYS_FILE_TEXT);
  EXPECT_NE(file, nullptr);
  std::vector<std::string> lines;
  int32_t number = 0;
  for (int i = 0; i < n; ++i) {
    std::string line;
    ife_ReadLine(line, file, &number);
    lines.push_back(line);
    if (numbers) numbers->push_back(number);
  }
  SYS_FileClose(file);
  return lines;
}

TEST(IfeReadLine, SkipsCommentsTrimsAndKeepsEmptyLines) {
  const auto lines = Lines("# head\n  a b \t\r\n#x\n\n  # not a comment\n\x01z\x02\n", 6);
  EXPECT_EQ(lines, (std::vector<std::string>{"a b", "", "# not a comment", "z", "", ""}));
}

TEST(IfeReadLine, CutsAt255CharactersAndSplitsLongPhysicalLines) {
  const std::string longLine(600, 'x');
  const auto lines = Lines(" " + std::string(300, 'a') + "\n" + longLine + "\nnext\n", 4);
  EXPECT_EQ(lines[0], std::string(255, 'a'));
  // 511 bytes fit one read; the rest of the physical line is the next line.
  EXPECT_EQ(lines[1], std::string(255, 'x'));
  EXPECT_EQ(lines[2], std::string(600 - 511, 'x'));
  EXPECT_EQ(lines[3], "next");
}

TEST(IfeReadLine, CountsPhysicalLinesIncludingCommentsAndPastTheEnd) {
  std::vector<int32_t> numbers;
  Lines("1\n#c\n#c\n2\n", 3, &numbers);
  EXPECT_EQ(numbers, (std::vector<int32_t>{1, 4, 5}));
}

TEST(IfeGetWord, SplitsOnSingleBlanks) {
  std::string w;
  ife_GetWord(w, "a  b c", 1);
  EXPECT_EQ(w, "a");
  ife_GetWord(w, "a  b c", 2);
  EXPECT_EQ(w, "");  // two blanks enclose an empty word
  ife_GetWord(w, "a  b c", 3);
  EXPECT_EQ(w, "b");
  ife_GetWord(w, "a  b c", 4);
  EXPECT_EQ(w, "c");
  ife_GetWord(w, "a  b c", 5);
  EXPECT_EQ(w, "");
  ife_GetWord(w, "a b", 0);
  EXPECT_EQ(w, "");
  ife_GetWord(w, "a \tb\t c", 2);
  EXPECT_EQ(w, "b");  // words are trimmed
}

TEST(IfeGetFloat, ReadsGeneralNumbersAndZeroForEverythingElse) {
  EXPECT_DOUBLE_EQ(ife_GetFloat("1 -2.5 +3e2 .5 7.", 1), 1);
  EXPECT_DOUBLE_EQ(ife_GetFloat("1 -2.5 +3e2 .5 7.", 2), -2.5);
  EXPECT_DOUBLE_EQ(ife_GetFloat("1 -2.5 +3e2 .5 7.", 3), 300);
  EXPECT_DOUBLE_EQ(ife_GetFloat("1 -2.5 +3e2 .5 7.", 4), 0.5);
  EXPECT_DOUBLE_EQ(ife_GetFloat("1 -2.5 +3e2 .5 7.", 5), 7);
  for (const char *bad : {"abc", "12abc", "1,5", "+-1", "0x10", "nan", "inf", "1e999", "-", ""})
    EXPECT_EQ(ife_GetFloat(bad, 1), 0) << bad;
  EXPECT_EQ(ife_GetFloat("1 2", 3), 0);
}

TEST(IfeGetFloat, DoesNotDependOnTheLocale) {
  const char *german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  if (!german) german = std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
  EXPECT_DOUBLE_EQ(ife_GetFloat("12.5", 1), 12.5);
  EXPECT_EQ(ife_GetFloat("12,5", 1), 0);
  std::setlocale(LC_NUMERIC, "C");
}

TEST(IfeParseInt, AcceptsOnlyStrictDecimalIntegers) {
  int32_t v = -7;
  EXPECT_TRUE(ife_ParseInt("12", v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(ife_ParseInt("-3", v));
  EXPECT_EQ(v, -3);
  EXPECT_TRUE(ife_ParseInt("+4", v));
  EXPECT_EQ(v, 4);
  EXPECT_TRUE(ife_ParseInt("-2147483648", v));
  EXPECT_EQ(v, INT32_MIN);
  for (const char *bad : {"", "-", "+", "+-1", "5x", "1.0", "1e3", "0x10", " 5", "2147483648", "1 2"})
    EXPECT_FALSE(ife_ParseInt(bad, v)) << bad;
}

TEST(IfeParseKey, FillsTheElevenFieldsInOrder) {
  ife_keys k{};
  ife_ParseKey("0 400 300 0 0 800 600 255 255 255 255", k);
  EXPECT_EQ(k.time, 0);
  EXPECT_EQ(k.x, 400);
  EXPECT_EQ(k.y, 300);
  EXPECT_EQ(k.mode, 0);
  EXPECT_EQ(k.angle, 0);
  EXPECT_EQ(k.width, 800);
  EXPECT_EQ(k.height, 600);
  EXPECT_EQ(k.red, 255);
  EXPECT_EQ(k.green, 255);
  EXPECT_EQ(k.blue, 255);
  EXPECT_EQ(k.alpha, 255);

  ife_ParseKey("1 2 3 1 5 6 7 8 9 10 11", k);
  EXPECT_EQ(k.mode, 1);
  EXPECT_EQ(k.angle, 5);
  EXPECT_EQ(k.alpha, 11);
}

TEST(IfeParseKey, RoundsTimeAndModeHalfAwayFromZero) {
  ife_keys k{};
  ife_ParseKey("12.5 0 0 1.5", k);
  EXPECT_EQ(k.time, 13);
  EXPECT_EQ(k.mode, 2);
  ife_ParseKey("-12.5 0 0 258", k);
  EXPECT_EQ(k.time, -13);
  EXPECT_EQ(k.mode, 2);  // low 8 bits
  ife_ParseKey("12.4 0 0 -1", k);
  EXPECT_EQ(k.time, 12);
  EXPECT_EQ(k.mode, 255);
}

TEST(IfeParseKey, MissingAndMalformedWordsReadAsZero) {
  ife_keys k{};
  k.alpha = 9;
  ife_ParseKey("5 x 7", k);
  EXPECT_EQ(k.time, 5);
  EXPECT_EQ(k.x, 0);
  EXPECT_EQ(k.y, 7);
  EXPECT_EQ(k.alpha, 0);
}

TEST(IfeParseKey, PinsHugeValuesToTheRecordsRange) {
  ife_keys k{};
  ife_ParseKey("1e12 1e300 -1e300 1e300", k);
  EXPECT_EQ(k.time, INT32_MAX);
  EXPECT_TRUE(std::isfinite(k.x));
  EXPECT_GT(k.x, 1e38f);
  EXPECT_LT(k.y, -1e38f);
  ife_ParseKey("-1e12", k);
  EXPECT_EQ(k.time, INT32_MIN);
}

// ---- whole interfaces ---------------------------------------------------

class IfeRead : public ::testing::Test {
protected:
  void SetUp() override {
    // The log bridge keeps one growing block; make it before counting.
    pasLog(std::string(1024, ' '));
    live_ = SYS_MemLiveCount();
  }
  void TearDown() override {
    ife_FreeInterface(iface_);
    EXPECT_EQ(SYS_MemLiveCount(), live_) << "tracked blocks left behind";
  }
  ife_interface iface_{};
  size_t live_ = 0;
};

TEST_F(IfeRead, ReadsLayersInOrderWithTheirLinesKeysAndBlend) {
  IfeLayerText a, b;
  a.name = "logo.tga";
  a.line2 = "  some text ";
  a.line3 = "";
  a.blend = "2";
  a.keys = {KeyLine(0, 100, 200, 1, 0, 50, 60), KeyLine(50, 300, 200, 0, 90, 50, 60, 0, 0, 0, 0)};
  b.name = "RT";
  b.blend = "300";
  ReadResult r = ReadIfeText(IfeText({a, b}, "-7"), iface_);
  ASSERT_EQ(r.status, 0) << r.error.message;
  ASSERT_EQ(iface_.layercount, 2);
  EXPECT_EQ(iface_.header2, -7);
  const ife_layer &l0 = iface_.layers[0];
  EXPECT_STREQ(l0.name, "logo.tga");
  EXPECT_STREQ(l0.line2, "some text");
  EXPECT_STREQ(l0.line3, "");
  EXPECT_EQ(l0.keycount, 2);
  EXPECT_EQ(l0.blend, 2);
  EXPECT_EQ(l0.texture, 0);  // no hook: no texture
  EXPECT_EQ(l0.keys[0].mode, 1);
  EXPECT_EQ(l0.keys[1].time, 50);
  EXPECT_EQ(l0.keys[1].angle, 90);
  EXPECT_STREQ(iface_.layers[1].name, "RT");
  EXPECT_EQ(iface_.layers[1].blend, 300 & 0xFF);
}

TEST_F(IfeRead, CommentsBetweenEveryLineChangeNothing) {
  IfeLayerText a;
  a.keys = {KeyLine(0, 1, 2, 0, 0, 3, 4), KeyLine(10, 5, 6, 2, 7, 8, 9)};
  const std::string plain = IfeText({a, a});
  std::string commented;
  size_t start = 0;
  while (start < plain.size()) {
    const size_t end = plain.find('\n', start);
    commented += "# comment\n" + plain.substr(start, end - start + 1);
    start = end + 1;
  }

  ife_interface other{};
  ASSERT_EQ(ReadIfeText(plain, iface_).status, 0);
  ASSERT_EQ(ReadIfeText(commented, other).status, 0);
  ASSERT_EQ(other.layercount, iface_.layercount);
  for (int32_t i = 0; i < iface_.layercount; ++i) {
    EXPECT_STREQ(other.layers[i].line3, iface_.layers[i].line3);
    for (int32_t k = 0; k < iface_.layers[i].keycount; ++k) {
      EXPECT_EQ(other.layers[i].keys[k].time, iface_.layers[i].keys[k].time);
      EXPECT_EQ(other.layers[i].keys[k].angle, iface_.layers[i].keys[k].angle);
    }
  }
  ife_FreeInterface(other);
}

TEST_F(IfeRead, AZeroLayerFileIsEmpty) {
  ASSERT_EQ(ReadIfeText("0\n0\n", iface_).status, 0);
  EXPECT_EQ(iface_.layercount, 0);
  EXPECT_EQ(iface_.layers, nullptr);
}

TEST_F(IfeRead, KeyLinesPastTheEndReadAsZero) {
  ASSERT_EQ(ReadIfeText("1\n0\nwhite.tga\n\n\n2\n1\n5 1 2 0 0 3 4 5 6 7 8\n", iface_).status, 0);
  ASSERT_EQ(iface_.layers[0].keycount, 2);
  EXPECT_EQ(iface_.layers[0].keys[0].time, 5);
  EXPECT_EQ(iface_.layers[0].keys[1].time, 0);
  EXPECT_EQ(iface_.layers[0].keys[1].alpha, 0);
}

TEST_F(IfeRead, TheHookSeesNameAndSecondLineBeforeTheThirdIsRead) {
  struct Seen {
    std::vector<std::string> names, seconds, thirds;
  } seen;
  auto hook = [](ife_layer &layer, void *user) {
    auto *s = static_cast<Seen *>(user);
    s->names.push_back(layer.name);
    s->seconds.push_back(layer.line2);
    s->thirds.push_back(layer.line3);
    layer.texture = 42;
  };
  IfeLayerText a, b;
  a.name = "a.tga";
  b.name = "BUF0.JPG";
  ASSERT_EQ(ReadIfeText(IfeText({a, b}), iface_, hook, &seen).status, 0);
  EXPECT_EQ(seen.names, (std::vector<std::string>{"a.tga", "BUF0.JPG"}));
  EXPECT_EQ(seen.seconds, (std::vector<std::string>{"second", "second"}));
  EXPECT_EQ(seen.thirds, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(iface_.layers[1].texture, 42);
}

struct BadFile {
  const char *what;
  std::string text;
  int32_t line;
  const char *message;
};

TEST_F(IfeRead, MalformedCountsAreReportedWithTheirLineAndNothingIsKept) {
  IfeLayerText noKeys, tooMany, badBlend, textKeys;
  noKeys.keyCount = "0";
  tooMany.keyCount = "10002";
  badBlend.blend = "two";
  textKeys.keyCount = "3.0";
  const BadFile cases[] = {
      {"empty file", "", 1, "layer count is not a decimal integer"},
      {"word as layer count", "three\n0\n", 1, "layer count is not a decimal integer"},
      {"negative layer count", "-1\n0\n", 1, "layer count -1 is outside 0 to 1001"},
      {"too many layers", "1002\n0\n", 1, "layer count 1002 is outside 0 to 1001"},
      {"missing header", "1\n", 2, "second header value is not a decimal integer"},
      {"short file", "1\n0\nwhite.tga\n", 6, "key count is not a decimal integer"},
      {"comment counts as a line", "#\n1\n#\n0\n#\nx\n\n\n#\n2\n", 11,
       "blend mode is not a decimal integer"},
      {"no keys", IfeText({noKeys}), 6, "key count 0 is outside 1 to 10001"},
      {"too many keys", IfeText({tooMany}), 6, "key count 10002 is outside 1 to 10001"},
      {"blend word", IfeText({badBlend}), 7, "blend mode is not a decimal integer"},
      {"decimal key count", IfeText({textKeys}), 6, "key count is not a decimal integer"},
      {"second layer broken", IfeText({IfeLayerText{}, noKeys}), 12, "key count 0 is outside 1 to 10001"},
  };
  for (const BadFile &c : cases) {
    ife_interface iface{};
    iface.layercount = 5;
    ReadResult r = ReadIfeText(c.text, iface);
    EXPECT_EQ(r.status, -1) << c.what;
    EXPECT_EQ(r.error.line, c.line) << c.what;
    EXPECT_EQ(r.error.message, c.message) << c.what;
    EXPECT_EQ(iface.layercount, 0) << c.what;
    EXPECT_EQ(iface.layers, nullptr) << c.what;
  }
}

}  // namespace
