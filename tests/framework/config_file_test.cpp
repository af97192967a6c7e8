#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <string>
#include <vector>

#include "core_test_util.h"
#include "vfs_test_util.h"

using ember_test::BuildPack;
using ember_test::ReadFile;
using ember_test::ReportedErrors;
using ember_test::VfsTest;
using ember_test::WriteFile;

namespace {

class ConfigFiles : public VfsTest {};

std::vector<std::string> &CallbackValues() {
  static std::vector<std::string> values;
  return values;
}
void Remember(const char *value) { CallbackValues().emplace_back(value); }

struct Vars {
  int32_t flag = 7;
  char *text = nullptr;
  int32_t number = -1;
  float real = -1;
  int32_t twin = 0;
};

std::vector<SYS_CFG_t> Table(Vars &v, int32_t *save_text = nullptr) {
  return {
      {"flag", &v.flag, SYS_CFG_FLAG, nullptr},
      {"text", &v.text, SYS_CFG_TEXT, save_text},
      {"alpha", &v.number, SYS_CFG_INT, nullptr},
      {"real", &v.real, SYS_CFG_REAL, nullptr},
      {"alpha", &v.twin, SYS_CFG_INT, nullptr},
      {"hook", reinterpret_cast<void *>(&Remember), SYS_CFG_CALLBACK, nullptr},
      {nullptr, nullptr, 0, nullptr},
  };
}

}  // namespace

TEST_F(ConfigFiles, LinesAreParsedByTheirQuotesAndEveryEqualRowReceives) {
  WriteFile(Path("a.cfg"),
            "# a comment line\n"
            "\talpha = \"12\" # trailing comment\n"
            "flag = \"true\"\n"
            "text=\"some words\"\n"
            "real = \"2.5\"\n"
            "hook = \"called\"\n"
            "\n"
            "unknown = \"x\"\n");
  Vars v;
  auto table = Table(v);
  CallbackValues().clear();
  ASSERT_EQ(SYS_CfgLoad("a.cfg", table.data()), 0);
  EXPECT_EQ(v.number, 12);
  EXPECT_EQ(v.twin, 12);  // the walk does not stop at the first equal row
  EXPECT_EQ(v.flag, 1);
  ASSERT_NE(v.text, nullptr);
  EXPECT_STREQ(v.text, "some words");
  EXPECT_FLOAT_EQ(v.real, 2.5f);
  EXPECT_EQ(CallbackValues(), std::vector<std::string>{"called"});
  SYS_MEMFREE(v.text);
}

TEST_F(ConfigFiles, OddLinesGiveEmptyValuesAndFlagsAreExact) {
  WriteFile(Path("b.cfg"),
            "flag = \"True\"\n"
            "alpha\n"
            "real = 3.5\n"
            "text = \"a=b\"\n");
  Vars v;
  v.number = 99;
  auto table = Table(v);
  ASSERT_EQ(SYS_CfgLoad("b.cfg", table.data()), 0);
  EXPECT_EQ(v.flag, 0);         // only "yes", "true" and "1" count
  EXPECT_EQ(v.number, 0);       // no "=": an empty value
  EXPECT_FLOAT_EQ(v.real, 0);   // no quotes: an empty value
  ASSERT_NE(v.text, nullptr);
  EXPECT_STREQ(v.text, "");     // the value stops at the second "="
  SYS_MEMFREE(v.text);

  for (const char *yes : {"yes", "1"}) {
    WriteFile(Path("c.cfg"), std::string("flag = \"") + yes + "\"\n");
    ASSERT_EQ(SYS_CfgLoad("c.cfg", table.data()), 0);
    EXPECT_EQ(v.flag, 1) << yes;
  }
}

TEST_F(ConfigFiles, RealsUseADecimalPointWhateverTheLocale) {
  const char *german = nullptr;
  for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
    if (setlocale(LC_ALL, name)) {
      german = name;
      break;
    }
  WriteFile(Path("r.cfg"), "real = \"1.25\"\n");
  Vars v;
  v.real = 4.5f;
  auto table = Table(v);
  ASSERT_EQ(SYS_CfgLoad("r.cfg", table.data()), 0);
  EXPECT_FLOAT_EQ(v.real, 1.25f);
  ASSERT_EQ(SYS_CfgSave("w.cfg", table.data()), 0);
  EXPECT_NE(ReadFile(Path("w.cfg")).find("real = \"1.250000\"\n"), std::string::npos);
  // The process's locale is the caller's business and stays as it was.
  if (german) {
    EXPECT_STREQ(setlocale(LC_ALL, nullptr), german);
  }
  setlocale(LC_ALL, "C");
}

TEST_F(ConfigFiles, SaveWritesEveryRowItMayAndLoadReadsItBack) {
  Vars v;
  v.flag = 1;
  static char words[] = "hello there";
  v.text = words;
  v.number = -42;
  v.real = 0.1f;
  int32_t save_text = 1;
  auto table = Table(v, &save_text);
  ASSERT_EQ(SYS_CfgSave("s.cfg", table.data()), 0);
  EXPECT_EQ(ReadFile(Path("s.cfg")),
            "flag = \"true\"\n"
            "text = \"hello there\"\n"
            "alpha = \"-42\"\n"
            "real = \"0.100000\"\n"
            "alpha = \"0\"\n");

  save_text = 0;  // a cleared save flag leaves the row out
  v.flag = 0;
  ember_test::LogCapture log;
  ASSERT_EQ(SYS_CfgSave("s.cfg", table.data()), 0);
  EXPECT_EQ(ReadFile(Path("s.cfg")),
            "flag = \"false\"\n"
            "alpha = \"-42\"\n"
            "real = \"0.100000\"\n"
            "alpha = \"0\"\n");

  Vars back;
  auto table2 = Table(back);
  ASSERT_EQ(SYS_CfgLoad("s.cfg", table2.data()), 0);
  EXPECT_EQ(back.flag, 0);
  EXPECT_EQ(back.number, 0);  // both rows named alpha took the last line's value
  EXPECT_FLOAT_EQ(back.real, 0.1f);
  // The callback row counts as saved though it writes nothing.
  EXPECT_NE(log.text().find("[cfg] save config file: s.cfg...\n[cfg] ... saved 5 variable.\n"), std::string::npos)
      << log.text();
  EXPECT_NE(log.text().find("[cfg] load config file: s.cfg...\n[cfg] ...4 variables loaded.\n"), std::string::npos);
}

TEST_F(ConfigFiles, MissingFilesAndBadArgumentsFail) {
  Vars v;
  auto table = Table(v);
  ReportedErrors().clear();
  EXPECT_EQ(SYS_CfgLoad("absent.cfg", table.data()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);
  EXPECT_EQ(ReportedErrors().size(), 1u);
  EXPECT_EQ(v.number, -1);  // untouched

  EXPECT_EQ(SYS_CfgLoad(nullptr, table.data()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_CfgLoad("absent.cfg", nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_CfgSave(nullptr, table.data()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);

  EXPECT_EQ(SYS_CfgSave(Path("no/such/folder/x.cfg").c_str(), table.data()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 2);
}

TEST_F(ConfigFiles, ASaveThatCannotReachTheDiskFails) {
  ASSERT_EQ(access("/dev/full", W_OK), 0) << "no /dev/full to fill";
  Vars v;
  auto table = Table(v);
  EXPECT_EQ(SYS_CfgSave("/dev/full", table.data()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 2);
}

TEST_F(ConfigFiles, AConfigFileLoadsFromAPackToo) {
  // Pack lines keep their line feeds; the last line has none, and the end
  // of the entry must stop the reader.
  std::string content = "alpha = \"5\"\nflag = \"yes\"\nreal = \"-0.5\"";
  WriteFile(Path("cfg.dat"), BuildPack({{"game.cfg", content, true}}).bytes);
  ASSERT_EQ(SYS_FilePackOpen(Path("cfg.dat").c_str()), 0);
  Vars v;
  auto table = Table(v);
  ASSERT_EQ(SYS_CfgLoad("game.cfg", table.data()), 0);
  EXPECT_EQ(v.number, 5);
  EXPECT_EQ(v.flag, 1);
  EXPECT_FLOAT_EQ(v.real, -0.5f);

  // Saving onto a packed-only name fails: packs are read-only.
  EXPECT_EQ(SYS_CfgSave("game.cfg", table.data()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);
}

// A file that names one text many times leaves one copy, its last value;
// the text the variable held before the load stays with its owner.
TEST_F(ConfigFiles, ATextNamedAgainKeepsOnlyItsLastCopy) {
  std::string lines;
  for (int i = 0; i < 500; ++i) lines += "text = \"value " + std::to_string(i) + "\"\n";
  WriteFile(Path("many.cfg"), lines);
  char owned[] = "the caller's";
  Vars v;
  v.text = owned;
  auto table = Table(v);
  const size_t live = SYS_MemLiveCount();
  ASSERT_EQ(SYS_CfgLoad("many.cfg", table.data()), 0);
  EXPECT_STREQ(v.text, "value 499");
  EXPECT_EQ(SYS_MemLiveCount(), live + 1);
  EXPECT_STREQ(owned, "the caller's");
  // A second load replaces the first load's copy without freeing it: the
  // caller may still hold it.
  char *first = v.text;
  ASSERT_EQ(SYS_CfgLoad("many.cfg", table.data()), 0);
  EXPECT_EQ(SYS_MemLiveCount(), live + 2);
  SYS_MEMFREE(first);
  SYS_MEMFREE(v.text);
}

// A callback row may look at a text the load made and keep it: that copy
// is never freed by the load, while one made after the callback and named
// again still is.
TEST_F(ConfigFiles, ATextACallbackMaySeeStaysWithItsReader) {
  static char **watched;
  static const char *seen;
  WriteFile(Path("seen.cfg"), "text = \"first\"\nhook = \"x\"\ntext = \"second\"\ntext = \"third\"\n");
  Vars v;
  watched = &v.text;
  seen = nullptr;
  std::vector<SYS_CFG_t> table = {
      {"text", &v.text, SYS_CFG_TEXT, nullptr},
      {"hook", reinterpret_cast<void *>(+[](const char *) { seen = *watched; }), SYS_CFG_CALLBACK, nullptr},
      {nullptr, nullptr, 0, nullptr},
  };
  const size_t live = SYS_MemLiveCount();
  ASSERT_EQ(SYS_CfgLoad("seen.cfg", table.data()), 0);
  EXPECT_STREQ(v.text, "third");
  EXPECT_EQ(SYS_MemLiveCount(), live + 2);
  ASSERT_NE(seen, nullptr);
  EXPECT_STREQ(seen, "first");
  auto *first = const_cast<char *>(seen);
  SYS_MEMFREE(first);
  SYS_MEMFREE(v.text);
}
