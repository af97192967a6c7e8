#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core_test_util.h"
#include "vfs_test_util.h"

namespace fs = std::filesystem;
using ember_test::ReadFile;
using ember_test::ReportedErrors;
using ember_test::VfsTest;
using ember_test::WriteFile;

namespace {

std::string Take(char *text) {
  std::string s = text ? text : "(null)";
  SYS_MEMFREE(text);
  return s;
}

class FileCore : public VfsTest {};

}  // namespace

TEST_F(FileCore, UnservedNameFailsForReadingButIsCreatedForWriting) {
  for (uint32_t mode : {0u, 8u}) {
    ReportedErrors().clear();
    EXPECT_EQ(SYS_FileOpen("missing.txt", mode), nullptr);
    EXPECT_EQ(SYS_ErrorGet(), 11);
    ASSERT_EQ(ReportedErrors().size(), 1u);
    EXPECT_EQ(ReportedErrors()[0].code, 11);
    EXPECT_EQ(ReportedErrors()[0].name, "missing.txt");
  }
  EXPECT_EQ(SYS_FileExists("missing.txt"), -1);
  EXPECT_EQ(SYS_ErrorGet(), 1);
  EXPECT_EQ(SYS_FileSize("missing.txt"), -1);
  EXPECT_EQ(SYS_ErrorGet(), 1);

  for (uint32_t mode : {16u, 24u}) {
    std::string name = "new" + std::to_string(mode) + ".txt";
    SYS_File_p f = SYS_FileOpen(name.c_str(), mode);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(SYS_FilePrintf(f, "%s %d", "made", 7), 0);
    SYS_FileClose(f);
    EXPECT_EQ(ReadFile(Path(name)), "made 7");
    EXPECT_EQ(SYS_FileSize(name.c_str()), 6);
  }
}

TEST_F(FileCore, PrintfCutsAt2046Characters) {
  SYS_File_p f = SYS_FileOpen("long.txt", 16);
  ASSERT_NE(f, nullptr);
  std::string text(3000, 'q');
  EXPECT_EQ(SYS_FilePrintf(f, "%s", text.c_str()), 0);
  SYS_FileClose(f);
  EXPECT_EQ(ReadFile(Path("long.txt")), std::string(2046, 'q'));
}

TEST_F(FileCore, OperationsOnNullFilesFailWithBadArgument) {
  char buf[8];
  EXPECT_EQ(SYS_FileSeek(nullptr, 0), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FileRead(nullptr, buf, 8), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FileGets(nullptr, buf, 8), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FilePrintf(nullptr, "x"), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FileWrite(nullptr, buf, 8), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_NE(SYS_FileEof(nullptr), 0);  // a read-until-end loop must stop
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FileTell(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FileClose(nullptr), 0);
  EXPECT_EQ(SYS_ErrorGet(), 0);

  // A file record whose handle is gone is no better than no file.
  SYS_File_t hollow{};
  EXPECT_EQ(SYS_FileRead(&hollow, buf, 8), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);

  EXPECT_EQ(SYS_FileOpen(nullptr, 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FileExists(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FileSize(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_TRUE(ReportedErrors().empty());

  SYS_File_p f = SYS_FileOpen("w.txt", 16);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(SYS_FilePrintf(f, nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  SYS_FileClose(f);
}

TEST_F(FileCore, MountingSomethingNoHandlerTakesGivesCode11) {
  EXPECT_EQ(SYS_FilePackOpen("nothing-here"), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);
  WriteFile(Path("notapack.dat"), "ZZZZ and some more bytes");
  EXPECT_EQ(SYS_FilePackOpen("notapack.dat"), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);
  EXPECT_EQ(SYS_FilePackOpen(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);
}

TEST_F(FileCore, FailedOpensLeaveNothingBehind) {
  size_t live = SYS_MemLiveCount();
  fs::create_directory(Path("folder"));
  EXPECT_EQ(SYS_FileOpen("nope", 0), nullptr);
  EXPECT_EQ(SYS_FileOpen("folder", 0), nullptr);
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

TEST_F(FileCore, PathKinds) {
  ember_test::SetArgs({});
  SYS_CfgFree();
  SYS_CfgAdd("/opt/ember/bin/prog");
  const char *old_home = getenv("HOME");
  std::string saved = old_home ? old_home : "";
  setenv("HOME", "/home/h", 1);

  EXPECT_EQ(SYS_PathGet(0, "x"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  EXPECT_EQ(SYS_PathGet(6, "x"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_PathGet(-1, "x"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);

  EXPECT_EQ(Take(SYS_PathGet(1, "")), "/opt/ember/bin/");
  EXPECT_EQ(Take(SYS_PathGet(1, "../../../emberfield.dat")), "/opt/ember/bin/../../../emberfield.dat");
  EXPECT_EQ(Take(SYS_PathGet(2, "")), "/home/h/");
  EXPECT_EQ(Take(SYS_PathGet(3, "a.cfg")), "/home/h/.zelka/config/a.cfg");
  EXPECT_EQ(Take(SYS_PathGet(4, "shot.png")), "/home/h/Desktop/shot.png");
  EXPECT_EQ(Take(SYS_PathGet(5, "t")), "/tmp/t");

  static char app[] = ".ember";
  SYS_PathSetAppDir(app);
  EXPECT_EQ(Take(SYS_PathGet(3, "a.cfg")), "/home/h/.ember/config/a.cfg");
  SYS_PathSetAppDir(".zelka");

  // Without HOME the program's folder stands in.
  unsetenv("HOME");
  EXPECT_EQ(Take(SYS_PathGet(2, "n")), "/opt/ember/bin/n");
  EXPECT_EQ(Take(SYS_PathGet(3, "n")), "/opt/ember/bin/.zelka/config/n");

  // A program path without a folder.
  SYS_CfgFree();
  SYS_CfgAdd("prog");
  EXPECT_EQ(Take(SYS_PathGet(1, "x")), "./x");
  EXPECT_EQ(Take(SYS_PathGet(2, "x")), "prog/x");

  if (old_home) setenv("HOME", saved.c_str(), 1);
  ember_test::SetArgs({});
}

TEST_F(FileCore, MkDirMakesMissingParentsAndRefusesWhatExists) {
  EXPECT_EQ(SYS_MkDir("a/b/c"), 0);
  EXPECT_TRUE(fs::is_directory(Path("a/b/c")));
  EXPECT_EQ(SYS_MkDir("a/b/c"), 1);
  EXPECT_EQ(SYS_MkDir(""), 1);
  EXPECT_EQ(SYS_MkDir("x"), 0);
  WriteFile(Path("file"), "f");
  EXPECT_EQ(SYS_MkDir("file/sub"), 1);
}

TEST_F(FileCore, GlobIgnoresCaseAndTreatsBackslashAsSeparator) {
  fs::create_directory(Path("data"));
  WriteFile(Path("data/a.PNG"), "");
  WriteFile(Path("data/b.png"), "");
  WriteFile(Path("data/c.jpg"), "");
  WriteFile(Path("data/.hidden.png"), "");

  SYS_Glob_t *g = nullptr;
  ASSERT_EQ(SYS_Glob("Data/*.png", &g), 0);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->count, 2);
  EXPECT_STREQ(g->names[0], "data/a.PNG");
  EXPECT_STREQ(g->names[1], "data/b.png");
  EXPECT_EQ(SYS_GlobFree(&g), 0);
  EXPECT_EQ(g, nullptr);

  ASSERT_EQ(SYS_Glob("DATA\\C.*", &g), 0);
  ASSERT_EQ(g->count, 1);
  EXPECT_STREQ(g->names[0], "data/c.jpg");
  SYS_GlobFree(&g);

  ASSERT_EQ(SYS_Glob("nothing*", &g), 0);
  EXPECT_EQ(g->count, 0);
  EXPECT_EQ(g->names, nullptr);
  SYS_GlobFree(&g);

  EXPECT_EQ(SYS_Glob("", &g), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(g, nullptr);
  EXPECT_EQ(SYS_Glob(nullptr, &g), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_Glob("x", nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_GlobFree(&g), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}
