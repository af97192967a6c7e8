#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "vfs_test_util.h"

namespace fs = std::filesystem;
using ember_test::ReadFile;
using ember_test::ReadWhole;
using ember_test::ReportedErrors;
using ember_test::VfsTest;
using ember_test::WriteFile;

namespace {

class RegularFiles : public VfsTest {};
class Folders : public VfsTest {};

// Every line gets gives until it gives NULL.
std::vector<std::string> Lines(const char *name, int32_t size = 64) {
  std::vector<std::string> out;
  SYS_File_p f = SYS_FileOpen(name, 8);
  if (!f) return out;
  std::vector<char> buf(size_t(size), 'x');
  while (SYS_FileGets(f, buf.data(), size)) {
    out.emplace_back(buf.data());
    if (out.size() > 100) break;  // never hang a broken reader
  }
  SYS_FileClose(f);
  return out;
}

}  // namespace

TEST_F(RegularFiles, LineEndsAreRemovedAndTheEndGivesNull) {
  WriteFile(Path("lines.txt"), "abc\r\nde\n\nlast");
  EXPECT_EQ(Lines("lines.txt"), (std::vector<std::string>{"abc", "de", "", "last"}));

  // A line that starts with a NUL byte reads as empty, and the reader
  // still moves on to the next line.
  WriteFile(Path("nul.txt"), std::string("\0zz\nnext\n", 9));
  EXPECT_EQ(Lines("nul.txt"), (std::vector<std::string>{"", "next"}));

  // A line longer than the buffer comes in pieces.
  WriteFile(Path("long.txt"), "abcdefgh\n");
  EXPECT_EQ(Lines("long.txt", 4), (std::vector<std::string>{"abc", "def", "gh"}));

  // A buffer that cannot hold one character is refused rather than
  // returning the same empty line forever.
  SYS_File_p f = SYS_FileOpen("long.txt", 8);
  char one[1];
  EXPECT_EQ(SYS_FileGets(f, one, 1), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  SYS_FileClose(f);
}

TEST_F(RegularFiles, ReadSeekTellEofAndWrite) {
  SYS_File_p w = SYS_FileOpen("data.bin", 16);
  ASSERT_NE(w, nullptr);
  std::string bytes(100, '\0');
  for (int i = 0; i < 100; ++i) bytes[size_t(i)] = static_cast<char>(i);
  EXPECT_EQ(SYS_FileWrite(w, bytes.data(), 100), 0);
  SYS_FileClose(w);

  SYS_File_p f = SYS_FileOpen("data.bin", 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->size, 100);
  EXPECT_EQ(SYS_FileSeek(f, 90), 0);
  EXPECT_EQ(SYS_FileTell(f), 90);
  char buf[32];
  EXPECT_EQ(SYS_FileEof(f), 0);
  EXPECT_EQ(SYS_FileRead(f, buf, 32), 10);
  EXPECT_EQ(buf[0], 90);
  EXPECT_NE(SYS_FileEof(f), 0);
  EXPECT_EQ(SYS_FileRead(f, nullptr, 4), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FileRead(f, buf, -1), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  SYS_FileClose(f);
}

TEST_F(RegularFiles, BackslashNamesOpenWithSlashesOnceServed) {
  fs::create_directory(Path("sub"));
  WriteFile(Path("sub/f.txt"), "slash");
  // The exists test takes the name unchanged: no such file.
  EXPECT_EQ(SYS_FileOpen("sub\\f.txt", 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 11);
  // A file of that very name exists: then the open uses '/'.
  WriteFile(Path("sub\\f.txt"), "backslash");
  std::string got;
  ASSERT_TRUE(ReadWhole("sub/f.txt", got));
  EXPECT_EQ(got, "slash");
  SYS_File_p f = SYS_FileOpen("sub\\f.txt", 0);
  ASSERT_NE(f, nullptr);
  char buf[16] = {};
  EXPECT_EQ(SYS_FileRead(f, buf, 15), 5);
  EXPECT_STREQ(buf, "slash");
  SYS_FileClose(f);
}

TEST_F(RegularFiles, AFolderIsNoFileAndAFailedOpenSaysNotFound) {
  fs::create_directory(Path("dir"));
  EXPECT_EQ(SYS_FileExists("dir"), 0);  // folders exist
  ReportedErrors().clear();
  EXPECT_EQ(SYS_FileOpen("dir", 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 2);
  ASSERT_EQ(ReportedErrors().size(), 1u);
  EXPECT_EQ(ReportedErrors()[0].code, 2);
  EXPECT_EQ(ReportedErrors()[0].name, "dir");
  EXPECT_EQ(SYS_FileOpen("dir", 16), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 2);
}

TEST_F(RegularFiles, AFailedWriteIsNotReportedAsSuccess) {
  ASSERT_EQ(access("/dev/full", W_OK), 0) << "no /dev/full to fill";
  SYS_File_p f = SYS_FileOpen("/dev/full", 16);
  ASSERT_NE(f, nullptr);
  std::string big(1 << 16, 'x');
  EXPECT_EQ(SYS_FileWrite(f, big.data(), int32_t(big.size())), -1);
  SYS_FileClose(f);
}

TEST_F(Folders, MountedFilesAreServedByTheirExactRelativeNames) {
  fs::create_directories(Path("root/Sub/deeper"));
  WriteFile(Path("root/Sub/A.txt"), "alpha");
  WriteFile(Path("root/Sub/deeper/b.bin"), "bb");
  WriteFile(Path("root/top.txt"), "top");
  WriteFile(Path("root/.hidden"), "h");
  fs::create_directory(Path("root/.git"));
  WriteFile(Path("root/.git/x"), "x");

  ASSERT_EQ(SYS_FilePackOpen(Path("root").c_str()), 0);
  std::string got;
  ASSERT_TRUE(ReadWhole("Sub/A.txt", got));
  EXPECT_EQ(got, "alpha");
  ASSERT_TRUE(ReadWhole("Sub/deeper/b.bin", got));
  EXPECT_EQ(got, "bb");
  EXPECT_EQ(SYS_FileSize("top.txt"), 3);

  for (const char *name : {"sub/a.txt", "Sub\\A.txt", "/Sub/A.txt", ".hidden", ".git/x", "Sub"}) {
    EXPECT_EQ(SYS_FileExists(name), -1) << name;
    char *full = SYS_FileFind(name);
    EXPECT_EQ(full, nullptr) << name;
  }

  char *full = SYS_FileFind("Sub/A.txt");
  EXPECT_EQ(std::string(full), Path("root") + "/Sub/A.txt");
  SYS_MEMFREE(full);
}

TEST_F(Folders, SizesAreAskedAtQueryTimeAndTheListingIsASnapshot) {
  fs::create_directory(Path("root"));
  WriteFile(Path("root/f"), "1234");
  ASSERT_EQ(SYS_FilePackOpen(Path("root").c_str()), 0);
  WriteFile(Path("root/f"), "123456");
  WriteFile(Path("root/later"), "x");
  EXPECT_EQ(SYS_FileSize("f"), 6);
  EXPECT_EQ(SYS_FileExists("later"), -1);

  // Removed after the mount: still listed, the open fails.
  fs::remove(Path("root/f"));
  EXPECT_EQ(SYS_FileExists("f"), 0);
  EXPECT_EQ(SYS_FileOpen("f", 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 2);
}

TEST_F(Folders, SamePathMountsOnceAnotherSpellingAgainAndTheLaterWins) {
  fs::create_directory(Path("one"));
  fs::create_directory(Path("two"));
  WriteFile(Path("one/f"), "one");
  WriteFile(Path("two/f"), "two");
  ASSERT_EQ(SYS_FilePackOpen(Path("one").c_str()), 0);
  ASSERT_EQ(SYS_FilePackOpen(Path("two").c_str()), 0);
  std::string got;
  ASSERT_TRUE(ReadWhole("f", got));
  EXPECT_EQ(got, "two");

  size_t live = SYS_MemLiveCount();
  ASSERT_EQ(SYS_FilePackOpen(Path("one").c_str()), 0);  // already mounted: nothing new
  EXPECT_EQ(SYS_MemLiveCount(), live);
  ASSERT_TRUE(ReadWhole("f", got));
  EXPECT_EQ(got, "two");

  ASSERT_EQ(SYS_FilePackOpen((Path("one") + "/").c_str()), 0);  // another text: a new mount
  EXPECT_GT(SYS_MemLiveCount(), live);
  ASSERT_TRUE(ReadWhole("f", got));
  EXPECT_EQ(got, "one");
}

TEST_F(Folders, ADiskFileShadowsAFolderFile) {
  fs::create_directory(Path("root"));
  WriteFile(Path("root/f"), "mounted");
  WriteFile(Path("f"), "on disk!");
  ASSERT_EQ(SYS_FilePackOpen(Path("root").c_str()), 0);
  std::string got;
  ASSERT_TRUE(ReadWhole("f", got));
  EXPECT_EQ(got, "on disk!");
  EXPECT_EQ(SYS_FileSize("f"), 8);
}

TEST_F(Folders, LinkLoopsAreNotFollowedAndPatternCharactersAreLiteral) {
  // A mount path full of pattern characters, a sibling that a
  // case-insensitive pattern would also match, and a link back up.
  std::string root = Path("[Ab]*?");
  fs::create_directories(root + "/in");
  fs::create_directory(Path("ab-other"));
  fs::create_directory(Path("[aB]*?"));
  WriteFile(Path("ab-other/wrong"), "no");
  WriteFile(Path("[aB]*?/wrong2"), "no");
  WriteFile(root + "/in/file", "yes");
  fs::create_directory_symlink("..", root + "/in/up");
  fs::create_directory_symlink(root, root + "/self");

  ASSERT_EQ(SYS_FilePackOpen(root.c_str()), 0);
  std::string got;
  ASSERT_TRUE(ReadWhole("in/file", got));
  EXPECT_EQ(got, "yes");
  EXPECT_EQ(SYS_FileExists("wrong"), -1);
  EXPECT_EQ(SYS_FileExists("wrong2"), -1);
  EXPECT_EQ(SYS_FileExists("in/up/in/file"), -1);
  EXPECT_EQ(SYS_FileExists("self/in/file"), -1);

  SYS_FileUnmountAll();
  // A link to a folder outside the chain is listed under its own name too.
  fs::create_directory(Path("shared"));
  WriteFile(Path("shared/s"), "s");
  fs::create_directory(Path("m"));
  fs::create_directory_symlink(Path("shared"), Path("m/link"));
  ASSERT_EQ(SYS_FilePackOpen(Path("m").c_str()), 0);
  EXPECT_EQ(SYS_FileExists("link/s"), 0);
}

