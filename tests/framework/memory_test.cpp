#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "core_test_util.h"
#include "support/test_support.h"

using ember_test::ReadFile;
using ember_test::TempDir;

namespace {

const SYS_MemBlock_t *Header(const void *p) {
  return reinterpret_cast<const SYS_MemBlock_t *>(static_cast<const char *>(p) - sizeof(SYS_MemBlock_t));
}

}  // namespace

TEST(Memory, BlocksAreZeroedAlignedAndDescribed) {
  void *p = SYS_MemGet(100, "x", 7, "abc");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  EXPECT_STREQ(Header(p)->description, "[x:7] abc");
  EXPECT_EQ(SYS_MemSize(p), 100);
  const unsigned char *bytes = static_cast<const unsigned char *>(p);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(bytes[i], 0);
  SYS_MemFree(&p, "x", 8);
  EXPECT_EQ(p, nullptr);

  // Folders in the source name are left out; long descriptions are cut at 31.
  void *q = SYS_MemGet(1, "/some/dir/file.cpp", 12345, "a-very-long-description-tag-here");
  EXPECT_EQ(strlen(Header(q)->description), 31u);
  EXPECT_EQ(std::string(Header(q)->description).rfind("[file.cpp:12345] ", 0), 0u);
  SYS_MEMFREE(q);
}

TEST(Memory, ZeroAndOverflowingSizesAreRefused) {
  size_t before = SYS_MemLiveCount();
  EXPECT_EQ(SYS_MemGet(0, "x", 1, "zero"), nullptr);
  EXPECT_EQ(SYS_MemGet(SIZE_MAX - 8, "x", 1, "huge"), nullptr);
  EXPECT_EQ(SYS_MemLiveCount(), before);
  EXPECT_EQ(SYS_MemSize(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

TEST(Memory, ReallocKeepsThePrefixAndZeroFillsTheRest) {
  auto *p = static_cast<unsigned char *>(SYS_MemGet(16, "x", 1, "grow"));
  for (int i = 0; i < 16; ++i) p[i] = static_cast<unsigned char>(i + 1);
  void *vp = p;
  ASSERT_NE(SYS_MemRealloc(&vp, 64, "x", 2, "grown"), nullptr);
  p = static_cast<unsigned char *>(vp);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], i + 1);
  for (int i = 16; i < 64; ++i) EXPECT_EQ(p[i], 0);
  EXPECT_EQ(SYS_MemSize(p), 64);
  size_t before = SYS_MemLiveCount();
  EXPECT_EQ(SYS_MemRealloc(&vp, 0, "x", 3, "gone"), nullptr);
  EXPECT_EQ(vp, nullptr);
  EXPECT_EQ(SYS_MemLiveCount(), before - 1);
  // From NULL it allocates.
  EXPECT_NE(SYS_MemRealloc(&vp, 8, "x", 4, "fresh"), nullptr);
  SYS_MEMFREE(vp);
  EXPECT_EQ(SYS_MemRealloc(nullptr, 8, "x", 5, "none"), nullptr);
}

TEST(Memory, BadReleasesAreReportedAndChangeNothing) {
  TempDir dir;
  ember_test::SetArgs({"-v"});
  SYS_LogSetFile(dir.str("bad.log").c_str());
  SYS_LogSetFlags(SYS_LOG_ON);

  // Released twice: the second release must not read the freed block.
  void *p = SYS_MemGet(8, "x", 1, "twice");
  void *copy = p;
  SYS_MemFree(&p, "x", 2);
  size_t before = SYS_MemLiveCount();
  SYS_MemFree(&copy, "y", 3);
  EXPECT_NE(copy, nullptr);  // the caller's pointer is left alone
  EXPECT_EQ(SYS_MemLiveCount(), before);

  // A live block whose header was overwritten: reported with the word found.
  void *q = SYS_MemGet(8, "x", 4, "smashed");
  auto *h = const_cast<SYS_MemBlock_t *>(Header(q));
  h->magic = 0xdeadbeef;
  void *q2 = q;
  SYS_MemFree(&q2, "z", 5);
  EXPECT_EQ(q2, q);
  h->magic = SYS_MEM_MAGIC;
  SYS_MEMFREE(q);

  // Memory the allocator never handed out.
  static char stray[128];
  void *s = stray + 64;
  SYS_MemFree(&s, "w", 6);
  EXPECT_EQ(s, stray + 64);

  std::string log = ReadFile(dir.path() / "bad.log");
  EXPECT_NE(log.find("!!! Already released or corrupted memory area: "), std::string::npos);
  EXPECT_NE(log.find("!!!  - data: 0xdeadbeef"), std::string::npos);
  EXPECT_NE(log.find("!!!  - SYS_MemFree position: [z:5]"), std::string::npos);
  EXPECT_NE(log.find("!!!  - SYS_MemGet info: '[x:4] smashed'"), std::string::npos);
  EXPECT_NE(log.find("SYS_MemFree position: [w:6]"), std::string::npos);
  ember_test::ResetLog();
}

TEST(MemoryDeathTest, HardFreeEndsTheProcessWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ember_test::SetArgs({"-debug-dfree"});
        SYS_MemInit();
        static char stray[128];
        void *s = stray + 64;
        SYS_MemFree(&s, "w", 1);
      },
      ::testing::ExitedWithCode(1), "");
}

TEST(Memory, LeakReportListsLiveBlocksNewestFirst) {
  TempDir dir;
  std::string name = dir.str("leaks.txt");
  size_t live = SYS_MemLiveCount();
  uint64_t bytes = SYS_MemLiveBytes();
  void *a = SYS_MemGet(10, "leak", 1, "first");
  void *b = SYS_MemGet(20, "leak", 2, "second");
  ASSERT_EQ(SYS_MemDumpLeaks(name.c_str()), 0);
  std::string report = ReadFile(name);
  EXPECT_EQ(report.rfind("\n--- zelka!quorvix memory manager\n--- started : ", 0), 0u);
  size_t second = report.find("[leak:2] second -> 20 bytes\n");
  size_t first = report.find("[leak:1] first -> 10 bytes\n");
  ASSERT_NE(second, std::string::npos);
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(second, first);
  EXPECT_NE(report.find("Total: " + std::to_string(bytes + 30) + " bytes\n---\n"), std::string::npos);
  EXPECT_EQ(SYS_MemLiveCount(), live + 2);
  SYS_MEMFREE(a);
  SYS_MEMFREE(b);
  EXPECT_EQ(SYS_MemDumpLeaks(dir.str("no/such/folder/x").c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 9);
}

TEST(Memory, DumpNamesReplaceOnlyTheSlash) {
  TempDir dir;
  ember_test::ScopedCwd cwd(dir.path());
  void *p = SYS_MemGet(4, "x", 7, "abc");
  memcpy(p, "abcd", 4);
  ASSERT_EQ(SYS_MemDumpBlock(p), 0);
  EXPECT_EQ(ReadFile(dir.path() / "[x:7] abc.memdump"), "abcd");
  SYS_MEMFREE(p);
  // A slash in the tag would lead into another folder.
  void *q = SYS_MemGet(2, "../../etc", 3, "x/../y");
  ASSERT_EQ(SYS_MemDumpBlock(q), 0);
  EXPECT_EQ(ReadFile(dir.path() / "[etc:3] x_.._y.memdump"), std::string(2, '\0'));
  SYS_MEMFREE(q);
}

TEST(Memory, TheAllocationTraceNamesTheHeaderAndTheTag) {
  ember_test::LogCapture log;
  ember_test::SetArgs({"-debug-memalloc"});
  SYS_MemInit();
  void *p = SYS_MemGet(4, "x", 7, "abc");
  ember_test::SetArgs({});
  SYS_MemInit();
  char expected[64];
  snprintf(expected, sizeof expected, "[mem]  - allocated: 0x%" PRIxPTR " 'abc'\n", reinterpret_cast<uintptr_t>(Header(p)));
  EXPECT_NE(log.text().find(expected), std::string::npos) << log.text();
  SYS_MEMFREE(p);
}

// The report of a run that released everything is empty unless "mf" named
// it: that name's own copy is still live when the report is written.
TEST(MemoryDeathTest, ShutdownReportListsOnlyTheReportNameGivenByMf) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto run = [](std::initializer_list<const char *> words, const char *report) {
    TempDir dir;
    ember_test::ScopedCwd cwd(dir.path());
    ember_test::SetArgs(words);
    SYS_MemInit();
    SYS_CfgFree();
    SYS_MemShutdown();
    fputs(ReadFile(dir.path() / report).c_str(), stderr);
  };
  EXPECT_EXIT(
      {
        run({"-debug-memleak"}, "debug.memleaks");
        run({"-debug-memleak", "-mf", "own.txt"}, "own.txt");
        _exit(0);
      },
      ::testing::ExitedWithCode(0),
      "No memory allocated\\.\n\n\nTotal: 0 bytes(.|\n)*Unreleased memory:\n\n\\[memory.cpp:[0-9]+\\] StrDup: ");
}

// The kernel's own account in /proc/meminfo: the total exactly, the free
// figure within what a busy machine frees or takes between two reads.
TEST(Memory, SystemFiguresAgreeWithTheKernel) {
  auto kilobytes = [](const std::string &key) {
    std::ifstream in("/proc/meminfo");
    std::string word;
    int64_t value = -1;
    while (in >> word)
      if (word == key + ":" && in >> value) return value;
    return int64_t(-1);
  };
  const int64_t total = SYS_MemTotal(), avail = SYS_MemAvail();
  EXPECT_EQ(total / 1024, kilobytes("MemTotal"));
  const int64_t free_kb = kilobytes("MemFree");
  ASSERT_GT(free_kb, 0);
  EXPECT_NEAR(double(avail / 1024), double(free_kb), 512.0 * 1024);  // 512 MB
  EXPECT_GT(avail, 0);
  EXPECT_LT(avail, total);
}
